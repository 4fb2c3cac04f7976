// orx-tevo status's lines.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusText.h"

#include "AmpWords.h"
#include "DeviceRecords.h"

#include <algorithm>
#include <cstdio>

namespace orx::tevo {

namespace {

std::string padded(const std::string& text, std::size_t width)
{
    const std::size_t shown = displayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

constexpr int kPerChannel = static_cast<int>(kSlotsPerChannel);

std::string channelOf(int slot)
{
    return words::wordFor(words::kAmpChannels, slot / kPerChannel);
}

std::string typeOf(int slot)
{
    return words::wordFor(words::kAmpTypes, slot % kPerChannel);
}

} // namespace

std::size_t displayWidth(std::string_view utf8)
{
    // Continuation bytes (10xxxxxx) belong to the character before them.
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string connectedLine(const std::string& inputPort, const std::string& outputPort)
{
    return "Connected: input \"" + inputPort + "\", output \"" + outputPort + "\"";
}

std::string channelLine(int ampChannel, const ChannelSettings& s)
{
    return "Channel " + words::wordFor(words::kAmpChannels, ampChannel) +
           ": amp type " + words::wordFor(words::kAmpTypes, s.ampType) +
           ", booster " + words::wordFor(words::kBoosters, s.booster) +
           ", FX loop " + words::wordFor(words::kFxLoopModes, s.fxLoop) +
           ", reverb " + words::wordFor(words::kReverbs, s.reverb) +
           ", noise gate " + words::wordFor(words::kNoiseGates, s.noiseGate);
}

std::string wiringLine(int send, int ret)
{
    return "FX loop wiring: send " + words::wordFor(words::kLoopConnections, send) + ", return " +
           words::wordFor(words::kLoopConnections, ret);
}

std::vector<std::string> slotLines(const std::vector<SlotShown>& slots)
{
    std::size_t channelWidth = 0;
    std::size_t typeWidth = 0;
    std::size_t nameWidth = 0;
    for (const SlotShown& s : slots) {
        channelWidth = std::max(channelWidth, displayWidth(channelOf(s.slot)));
        typeWidth = std::max(typeWidth, displayWidth(typeOf(s.slot)));
        nameWidth = std::max(nameWidth, displayWidth(s.name) + 2);
    }
    std::vector<std::string> lines;
    for (const SlotShown& s : slots) {
        // Right-aligned, so that the decimal points line up too: -30.0 to 0.0.
        char gain[32];
        std::snprintf(gain, sizeof gain, "gain %5.1f dB", s.gainDb);
        lines.push_back("Slot " + padded(channelOf(s.slot), channelWidth) + " " + padded(typeOf(s.slot), typeWidth) +
                        "  " + padded("\"" + s.name + "\"", nameWidth) + "  " + gain);
    }
    return lines;
}

} // namespace orx::tevo
