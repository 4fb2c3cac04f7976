// The words the window shows for the amplifier's settings, for everything that writes them as text.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

namespace orx::words {

// By the value the amplifier reports. The window draws some of them into its pictures (the FX loop switch's
// legends, the noise gate's scale); these are the same words as text.
inline constexpr std::array<const char*, 2> kAmpChannels{"I", "II"};
// The IR slot in use of an amp channel, which the amp's amp-type knob chooses.
inline constexpr std::array<const char*, 5> kAmpTypes{"MODERN", "LEAD", "CRUNCH", "CLEAN", "SOLID"};
// As the display above the booster's foot switches shows them.
inline constexpr std::array<const char*, 3> kBoosters{"White Drive", "Green Drive", "Amber Drive"};
// As the display above the reverb's foot switches shows them.
inline constexpr std::array<const char*, 4> kReverbs{"Spring", "Plate", "Room", "Hall"};
// The lamps of the FX LOOP switch: off, on.
inline constexpr std::array<const char*, 2> kFxLoopModes{"SERIAL", "PARALLEL"};
// The NOISE GATE dial's scale.
inline constexpr std::array<const char*, 4> kNoiseGates{"OFF", "1", "2", "3"};
// The Properties dialog's FX LOOP SEND and FX LOOP RETURN Connection choices.
inline constexpr std::array<const char*, 2> kLoopConnections{"Separate", "Mixed"};

// The word for value, or "? (value)" for a value the window has no word for.
template <std::size_t N> std::string wordFor(const std::array<const char*, N>& table, int value)
{
    if (value >= 0 && static_cast<std::size_t>(value) < N)
        return table[static_cast<std::size_t>(value)];
    return "? (" + std::to_string(value) + ")";
}

} // namespace orx::words
