// dBToFIRCOE, bit for bit as the amplifier's own tables were made.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "FIRGain.h"

#include <cmath>

namespace orx {

std::uint16_t dBToFIRCOE(double inDB)
{
    const double scaled = std::pow(10.0, inDB / 20.0) * 1073741824.0; // 2^30
    // Beyond the 32-bit step the gain is at its ceiling anyway; converting it would be undefined.
    if (!(scaled < 2147483648.0))
        return 0x3FFF;
    const auto t = static_cast<std::int32_t>(scaled); // truncated toward zero
    std::int32_t h = t >> 16;
    // Rounds up only when bit 16 is set as well: the amplifier's rounding, not round-half-up.
    if ((t & 0x8000) && (t & 0x10000))
        h += 1;
    if (static_cast<std::int16_t>(h) >= 0x4000)
        return 0x3FFF;
    return static_cast<std::uint16_t>(h);
}

} // namespace orx
