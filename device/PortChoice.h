// The MIDI ports the user chose, found again among the ports the system lists now.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orx {

// What of a port's name stays when the cable is plugged in again: the ALSA sequencer's trailing
// " <client>:<port>" numbers (which change then) are dropped, and letters are folded to lower case,
// so "TEVO:TEVO MIDI 1 20:0" and "tevo:tevo midi 1 24:0" are the same port.
std::string portKey(std::string_view name);

// The port's own part of its name, short enough for a status line: the ALSA numbers and the client before the
// last ':' dropped ("TEVO:TEVO MIDI 1 20:0" and "orx-amp-sim-out:TEVO MIDI 1" both give "TEVO MIDI 1").
std::string portShortName(std::string_view name);

// The lowest index whose name is the chosen port's; -1 when none is, or nothing was chosen.
int findChosenPort(const std::vector<std::string>& names, std::string_view chosen);

// A port the user chose: by its whole name (the settings file, the MIDI ports dialog), or by a part of it
// (the command line's --midi-in and --midi-out), compared without case.
struct ChosenPort {
    std::string name;
    bool byPart = false;

    bool empty() const { return name.empty(); }
};

// The lowest index of the chosen port; -1 when none matches, or nothing was chosen.
int findChosenPort(const std::vector<std::string>& names, const ChosenPort& chosen);

} // namespace orx
