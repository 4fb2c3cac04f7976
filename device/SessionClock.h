// Time as the device session sees it, and every time limit it keeps, so tests can shrink or fake them.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace orx {

// Every period and limit of the device link, with the amplifier protocol's values as defaults.
struct SessionTiming {
    std::chrono::milliseconds heartbeatRequestPeriod{500};
    std::chrono::milliseconds connectionCheckPeriod{3000};
    std::int64_t heartbeatMaxAgeSeconds = 5;
    std::chrono::milliseconds replyTimeout{5000};
    // Worker pause between passes and between bulk dump attempts.
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
    }
    void setSeconds(std::int64_t s) { m_seconds = s; }

private:
    std::atomic<std::uint32_t> m_ms{100000};
    std::atomic<std::int64_t> m_seconds{1'700'000'000};
    std::int64_t m_subSecond = 0;
};

} // namespace orx
