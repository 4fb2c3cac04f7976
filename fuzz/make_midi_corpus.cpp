// Writes the MIDI fuzzer's seed corpus: every kind of message the amplifier sends, good and spoiled, built
// with the catalogue's own builders. Run it again after a format change:
//   build/fuzz/orx_midi_corpus fuzz/corpus-midi
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysexCatalogue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using namespace orx;
using sysex::Bytes;

// The first byte of an input tells the fuzzer to cut it into messages (0) or hand it over whole (1).
constexpr std::uint8_t kSplit = 0;
constexpr std::uint8_t kWhole = 1;

Bytes parameter(std::uint8_t group, std::uint8_t number, std::uint8_t data1, std::uint8_t data2)
{
    const auto m = sysex::parameterMessage(group, number, data1, data2);
    return Bytes(m.begin(), m.end());
}

std::array<std::uint8_t, kIrNameLength> name(const char* text)
{
    std::array<std::uint8_t, kIrNameLength> out{};
    std::memcpy(out.data(), text, std::min(std::strlen(text), out.size()));
    return out;
}

EffectData effect(std::uint8_t slot1, std::uint8_t slot2)
{
    EffectData e;
    e.bytes = {slot1, 1, 0, 3, 1, 0, 1, 0, slot2, 2, 1, 2, 3, 0, 0, 0};
    return e;
}

Bytes withChecksumSpoiled(Bytes m)
{
    m[m.size() - 2] ^= 0x01;
    return m;
}
Bytes withoutByte(Bytes m, std::size_t at)
{
    m.erase(m.begin() + static_cast<std::ptrdiff_t>(at));
    return m;
}
Bytes withExtraByte(Bytes m)
{
    m.insert(m.end() - 1, 0x00);
    return m;
}

Bytes input(std::uint8_t mode, std::initializer_list<Bytes> messages)
{
    Bytes out{mode};
    for (const Bytes& m : messages)
        out.insert(out.end(), m.begin(), m.end());
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    namespace pm = sysex::param;
    const Bytes effectDump = sysex::effectDataDump(effect(2, 4));
    const Bytes headerL0 = sysex::firHeaderDump(0, name("Factory MODERN I"), 5181);
    const Bytes headerR4 = sysex::firHeaderDump(9, name("Factory SOLID II"), kMaxFIRCOE);
    const Bytes heartbeat1 = sysex::heartbeat('1');
    const Bytes heartbeat2 = sysex::heartbeat('2');
    const Bytes storeOk = parameter(pm::kGroupFIR, pm::kStoreReply, 0, 0);
    const Bytes storeOkChannel2 = parameter(pm::kGroupFIR, pm::kStoreReply, 1, 0);
    const Bytes storeFailed = parameter(pm::kGroupFIR, pm::kStoreReply, 0, 1);
    const Bytes blockOk = parameter(pm::kGroupFIR, pm::kBlockReply, 0, 0);
    const Bytes blockBad = parameter(pm::kGroupFIR, pm::kBlockReply, 1, 1);
    const Bytes reset = parameter(pm::kGroupFIR, pm::kResetReply, 0, 0);
    const auto updaterValue = sysex::encode14(0x1234);
    const Bytes updater = parameter(pm::kGroupSystem, pm::kUpdaterReply, updaterValue[0], updaterValue[1]);

    Bytes allHeaders;
    for (int type = 0; type < sysex::kDumpTypeEffectData; ++type) {
        const Bytes dump = sysex::firHeaderDump(type, name("IR"), static_cast<std::uint16_t>(1000 * type));
        allHeaders.insert(allHeaders.end(), dump.begin(), dump.end());
    }
    Bytes wrongCount = headerL0;
    wrongCount[5] = sysex::kEffectDumpCount;
    std::array<std::uint8_t, sysex::kFIRBlockPayload> payload{};
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    // A whole session as the amplifier lives it: found, read, switched by its knob, stored into, reset.
    const std::initializer_list<Bytes> session{heartbeat2,  effectDump,
                                               allHeaders,  parameter(pm::kGroupEffect, pm::kSlotSwitchChannel1, 0, 3),
                                               storeOk,     parameter(pm::kGroupEffect, pm::kSlotSwitchChannel2, 0, 1),
                                               storeFailed, blockOk,
                                               reset,       updater};

    const std::vector<std::pair<const char*, Bytes>> seeds{
        {"effect-dump", input(kSplit, {effectDump})},
        {"effect-dump-bad-checksum", input(kSplit, {withChecksumSpoiled(effectDump)})},
        {"effect-dump-short", input(kSplit, {withoutByte(effectDump, 20)})},
        {"effect-dump-long", input(kSplit, {withExtraByte(effectDump)})},
        // Slot numbers past the five a channel has, then stores into them.
        {"effect-dump-bad-slots", input(kSplit, {sysex::effectDataDump(effect(0x7F, 5)), storeOk, storeOkChannel2})},
        {"fir-header-l0", input(kSplit, {headerL0})},
        {"fir-header-r4", input(kSplit, {headerR4})},
        {"fir-header-bad-checksum", input(kSplit, {withChecksumSpoiled(headerL0)})},
        {"fir-header-short", input(kSplit, {withoutByte(headerL0, 30)})},
        {"fir-header-long", input(kSplit, {withExtraByte(headerL0)})},
        {"fir-header-wrong-count", input(kSplit, {wrongCount})},
        {"fir-header-full-name", input(kSplit, {sysex::firHeaderDump(3, name(std::string(64, 'N').c_str()), 1)})},
        {"slot-switch-channel1", input(kSplit, {parameter(pm::kGroupEffect, pm::kSlotSwitchChannel1, 0, 3)})},
        {"slot-switch-channel2", input(kSplit, {parameter(pm::kGroupEffect, pm::kSlotSwitchChannel2, 0, 4)})},
        {"slot-switch-bad-slot", input(kSplit, {parameter(pm::kGroupEffect, pm::kSlotSwitchChannel1, 0, 9)})},
        {"block-reply-ok", input(kSplit, {blockOk})},
        {"block-reply-bad", input(kSplit, {blockBad})},
        {"store-ok", input(kSplit, {storeOk})},
        {"store-ok-channel2", input(kSplit, {storeOkChannel2})},
        {"store-failed", input(kSplit, {storeFailed})},
        {"reset-reply", input(kSplit, {reset})},
        {"updater-reply", input(kSplit, {updater})},
        {"heartbeat-model1", input(kSplit, {heartbeat1})},
        {"heartbeat-model2", input(kSplit, {heartbeat2})},
        {"model-change", input(kSplit, {heartbeat1, heartbeat2, heartbeat1})},
        // Not the amplifier's: another maker's System Exclusive, and a data block only the program sends.
        {"foreign-sysex", input(kSplit, {{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0x00, 0x20, 0x33, 0x01, 0xF7}})},
        {"fir-data-block", input(kSplit, {sysex::firDataBlock(0, 0, payload.data(), payload.size())})},
        {"short-message", input(kWhole, {{0x90, 0x40, 0x7F}})},
        // The amplifier's header on messages too short to be what their kind byte says.
        {"short-sysex", input(kSplit, {{0xF0, 0x43, 0x7D, 0x60, 'X', 'Q', 0xF7},
                                       {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x04, 0x47, 0xF7},
                                       {0xF0, 0x43, 0x7D, 0x00, 0x00, 0x4E, 'X', 'Q', 'V', '2', 'F', 'H', 0xF7}})},
        {"session-split", input(kSplit, session)},
        {"session-whole", input(kWhole, session)},
    };
    for (const auto& [file, bytes] : seeds) {
        std::ofstream out(folder / file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "%s: cannot be written\n", (folder / file).c_str());
            return 1;
        }
    }
    std::printf("%zu seeds in %s\n", seeds.size(), folder.c_str());
    return 0;
}
