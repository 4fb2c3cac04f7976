// orx-amp-sim's command lines: what a person or a test types to change the running amplifier or look at it.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SimulatedAmp.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orx::ampsim {

struct ConsoleReply {
    // Every command but a blank or comment line ends with one "ok ..." or "error: ..." line, so a
    // script knows when the amplifier has taken it.
    std::vector<std::string> lines;
    bool quit = false;
};

// Runs one line against the amplifier.
ConsoleReply runCommand(std::string_view line, sim::SimulatedAmp& amp);

// The lines of the "state" command: settings, then one line per slot and per amp channel's current
// response, e.g. `slot 5 fircoe 5181 fnv1a 0A1B2C3D name "Factory MODERN II"`.
std::vector<std::string> stateLines(const sim::AmpModel& model);

// FNV-1a (32 bit) of the coefficients as the amplifier receives them: 16-bit little-endian, in order.
std::uint32_t coefficientChecksum(const FIRRecord& record);

// A whole word as a decimal number within [lowest, highest]; nullopt for anything else.
std::optional<long> parseNumber(std::string_view word, long lowest, long highest);

// The command summary, as "help" and --help print it.
const std::vector<std::string>& commandSummary();

} // namespace orx::ampsim
