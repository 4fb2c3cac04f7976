// The session's events as they come, from whichever thread raises them, for one thread that waits for them: the
// command-line tool and the restore, which run without a window to post them to.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CORXManager.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace orx {

class SessionEvents {
public:
    struct Event {
        int event = 0;
        int value = 0;
    };

    // Listens from now until destroyed; several may listen at once (a restore inside the tool's own wait).
    explicit SessionEvents(CORXManager& session) : m_session(session) { m_session.addEventCallback(&callback, this); }
    ~SessionEvents() { m_session.removeEventCallback(&callback, this); }
    SessionEvents(const SessionEvents&) = delete;
    SessionEvents& operator=(const SessionEvents&) = delete;

    // The next event, in the order raised; nothing when none came before the deadline.
    std::optional<Event> next(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_lock);
        if (!m_wake.wait_until(lock, deadline, [this] { return !m_events.empty(); }))
            return std::nullopt;
        const Event e = m_events.front();
        m_events.pop_front();
        return e;
    }

private:
    static void callback(std::int32_t event, std::int32_t value, void* context)
    {
        auto* self = static_cast<SessionEvents*>(context);
        {
            std::lock_guard lock(self->m_lock);
            self->m_events.push_back({event, value});
        }
        self->m_wake.notify_all();
    }

    CORXManager& m_session;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Event> m_events;
};

} // namespace orx
