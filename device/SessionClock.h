// Time as the device session sees it, and every time limit it keeps, so tests can shrink or fake them.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace orx {

// Every period and limit of the device link, with the amplifier protocol's values as defaults.
struct SessionTiming {
    std::chrono::milliseconds heartbeatRequestPeriod{500};
    std::chrono::milliseconds connectionCheckPeriod{3000};
    std::int64_t heartbeatMaxAgeSeconds = 5;
    std::chrono::milliseconds replyTimeout{5000};
    // Pause between bulk dump attempts. The idle worker does not poll: it sleeps until the next heartbeat
    // request or connection check is due, or until it is handed work.
    std::chrono::milliseconds pollInterval{10};
    // Pause after each changed character of an IR name.
    std::chrono::milliseconds nameCharacterPause{10};
};

class SessionClock {
public:
    virtual ~SessionClock() = default;
    // A millisecond process clock; wraps like a 32-bit tick count.
    virtual std::uint32_t milliseconds() = 0;
    // Seconds since 1970.
    virtual std::int64_t secondsSince1970() = 0;

    // False for a clock that stands still until it is moved by hand: sleeping on real time until it shows
    // a given time would then never end, so a sleeper waits for the clock's own word instead.
    virtual bool followsRealTime() const { return true; }
    // Called after every move of a clock that does not follow real time, on the thread that moved it.
    // unwatch waits for a call in progress, so a removed watcher is never called after it returns.
    using Watcher = std::function<void()>;
    virtual std::uint64_t watch(Watcher) { return 0; }
    virtual void unwatch(std::uint64_t) {}
};

class SystemSessionClock final : public SessionClock {
public:
    std::uint32_t milliseconds() override;
    std::int64_t secondsSince1970() override;
};

// A clock a test sets by hand.
class ManualSessionClock final : public SessionClock {
public:
    std::uint32_t milliseconds() override { return m_ms.load(); }
    std::int64_t secondsSince1970() override { return m_seconds.load(); }
    void advance(std::chrono::milliseconds by)
    {
        m_ms += static_cast<std::uint32_t>(by.count());
        m_subSecond += by.count();
        m_seconds += m_subSecond / 1000;
        m_subSecond %= 1000;
        tellWatchers();
    }
    void setSeconds(std::int64_t s)
    {
        m_seconds = s;
        tellWatchers();
    }

    bool followsRealTime() const override { return false; }
    std::uint64_t watch(Watcher watcher) override
    {
        std::lock_guard lock(m_watchLock);
        m_watchers.emplace(++m_lastToken, std::move(watcher));
        return m_lastToken;
    }
    void unwatch(std::uint64_t token) override
    {
        std::lock_guard lock(m_watchLock);
        m_watchers.erase(token);
    }

private:
    void tellWatchers()
    {
        std::lock_guard lock(m_watchLock);
        for (const auto& [token, watcher] : m_watchers)
            watcher();
    }

    std::atomic<std::uint32_t> m_ms{100000};
    std::atomic<std::int64_t> m_seconds{1'700'000'000};
    std::int64_t m_subSecond = 0;
    std::mutex m_watchLock;
    std::map<std::uint64_t, Watcher> m_watchers;
    std::uint64_t m_lastToken = 0;
};

} // namespace orx
