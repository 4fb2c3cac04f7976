// What orx-tevo status prints, in the window's words, without the session: so its lines can be checked alone.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orx::tevo {

// One amp channel's settings as the amplifier reports them.
struct ChannelSettings {
    int ampType = -1; // the IR slot in use, 0 to 4; -1 when not reported
    int booster = 0;
    int fxLoop = 0;
    int reverb = 0;
    int noiseGate = 0;
};

struct SlotShown {
    int slot = 0;     // 0 to 9
    std::string name; // UTF-8
    double gainDb = 0.0;
};

// "Connected: input "TEVO MIDI 1", output "TEVO MIDI 1"": the ports in use, as the MIDI system names them.
std::string connectedLine(const std::string& inputPort, const std::string& outputPort);
// "Channel I: amp type LEAD, booster Green Drive, FX loop PARALLEL, reverb Hall, noise gate 2"
std::string channelLine(int ampChannel, const ChannelSettings& settings);
// "FX loop wiring: send Mixed, return Separate"
std::string wiringLine(int send, int ret);
// One line per slot, its label, name and gain each starting in the same column of the terminal.
std::vector<std::string> slotLines(const std::vector<SlotShown>& slots);

// How many characters a terminal shows for UTF-8 text: one per code point. The amplifier's names are
// Windows-1252, none of whose characters is wide or combining.
std::size_t displayWidth(std::string_view utf8);

} // namespace orx::tevo
