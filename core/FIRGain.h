// The one conversion of a gain in decibels to the amplifier's FIR gain value.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace orx {

// Linear gain times 16384 as the amplifier's fixed-point step computes it; 0 dB gives 0x3FFF.
// Meant for -30 dB to 0 dB; the 32-bit step overflows above about +6 dB.
std::uint16_t dBToFIRCOE(double inDB);

} // namespace orx
