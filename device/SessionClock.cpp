// The real clocks.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionClock.h"

namespace orx {

std::uint32_t SystemSessionClock::milliseconds()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::int64_t SystemSessionClock::secondsSince1970()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::seconds>(now).count();
}

} // namespace orx
