// The device session's events as a listener sees them, from whichever thread raises them.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orx::test {

using Events = std::vector<std::pair<std::int32_t, std::int32_t>>;

class EventLog {
public:
    static void record(std::int32_t event, std::int32_t value, void* context)
    {
        auto* log = static_cast<EventLog*>(context);
        {
            std::lock_guard lock(log->m_lock);
            log->m_events.emplace_back(event, value);
        }
        log->m_changed.notify_all();
    }

    // Waits until the event has been raised `count` times in all; false when the (generous) limit passed.
    bool waitFor(std::int32_t event, std::size_t count = 1,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(20000))
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, limit, [&] {
            return static_cast<std::size_t>(std::count_if(m_events.begin(), m_events.end(),
                                                          [&](const auto& e) { return e.first == event; })) >= count;
        });
    }

    Events all()
    {
        std::lock_guard lock(m_lock);
        return m_events;
    }

    // The values one event was raised with, in order.
    std::vector<int> valuesOf(std::int32_t event)
    {
        std::vector<int> values;
        for (const auto& [e, v] : all())
            if (e == event)
                values.push_back(v);
        return values;
    }

    // The codes in order, leaving out one (event 5 interleaves with everything).
    std::vector<int> codesWithout(std::int32_t skipped)
    {
        std::vector<int> codes;
        for (const auto& [e, v] : all())
            if (e != skipped)
                codes.push_back(e);
        return codes;
    }

    void clear()
    {
        std::lock_guard lock(m_lock);
        m_events.clear();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    Events m_events;
};

// Polls until the condition holds; false when the (generous) limit passed first. Never a timing assertion.
template <typename F> bool waitUntil(F condition, std::chrono::milliseconds limit = std::chrono::milliseconds(20000))
{
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::string describeEvents(const Events& events)
{
    std::string text;
    for (const auto& [event, value] : events)
        text += "(" + std::to_string(event) + ", " + std::to_string(value) + ") ";
    return text.empty() ? "none" : text;
}

} // namespace orx::test
