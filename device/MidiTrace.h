// ORX_MIDI_TRACE=1: every MIDI message sent and received, one line each on standard error, for bug reports.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orx::miditrace {

enum class Direction { Out, In };

// On when ORX_MIDI_TRACE is 1 at the first look, or when set.
bool enabled();
// Returns the previous state.
bool setEnabled(bool on);

// Where the lines go (standard error when empty). Returns the writer it replaces.
using Writer = std::function<void(const std::string& line)>;
Writer setWriter(Writer writer);

// "MIDI 1234.567 ms out "TEVO:TEVO MIDI 1 20:0": F0 00 ... F7": the time since the program started, the
// direction, the port as the MIDI system names it and every byte in hexadecimal.
std::string formatLine(double milliseconds, Direction direction, std::string_view port, const std::uint8_t* data,
                       std::size_t size);
// Writes the line when tracing is on.
void message(Direction direction, std::string_view port, const std::uint8_t* data, std::size_t size);

} // namespace orx::miditrace
