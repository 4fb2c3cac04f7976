// What the main window and the MIDI ports dialog say about the link to the amplifier, in words, without Qt.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PortChoice.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orx {

// What the session and the MIDI system show at one moment.
struct ConnectionSnapshot {
    bool connected = false;
    std::string inputPort; // the open ports' names; empty when closed
    std::string outputPort;
    int model = 0;            // 1 or 2 while connected
    std::uint16_t firmware = 0; // the updater value; 0 until the amplifier reported it
    std::string midiProblem;  // why the MIDI system cannot be used; empty while it can
    std::int32_t lastError = 0; // the code of the last error event since the last connection; 0 for none
};

struct ConnectionStatus {
    std::string text;    // one line, short enough for the tab strip's row
    std::string tooltip; // the same and what the user can do about it, several lines
};

// `pointToDialog`: while searching, say where the ports are chosen (not needed inside that dialog).
ConnectionStatus describeConnection(const ConnectionSnapshot& snapshot, bool pointToDialog = true);

// The session and the MIDI instance as they are now; nothing is created.
ConnectionSnapshot currentConnection(std::int32_t lastError);

// Whether the session has to drop its connection to take the user's choice: only when both ports are chosen,
// both are listed now and the session is connected elsewhere. A choice that is not listed would only send the
// search back to the amplifier's own ports, which is where a working connection already is.
bool connectionMissesChoice(const ChosenPort& input, const ChosenPort& output, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs, const std::string& openInput,
                            const std::string& openOutput);

} // namespace orx
