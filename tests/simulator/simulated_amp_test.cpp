// The simulated amplifier answers as the real one must, and its ports behave like a system's.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatedAmp.h"
#include "SimulatorPorts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace orx::sim {
namespace {

template <typename C> std::vector<sysex::Bytes> send(SimulatedAmp& amp, const C& message)
{
    return amp.receive(message.data(), message.size());
}

TEST(SimulatedAmp, AnswersHeartbeatRequestsWithItsModelUnlessSilenced)
{
    SimulatedAmp amp('1');
    auto answers = send(amp, sysex::heartbeatRequest());
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], sysex::heartbeat('1'));
    amp.setAnswersHeartbeat(false);
    EXPECT_TRUE(send(amp, sysex::heartbeatRequest()).empty());
}

TEST(SimulatedAmp, AnswersEveryDumpRequestWithAValidDumpOfItsState)
{
    SimulatedAmp amp('2');
    amp.setEffectByte(11, 3);
    for (int type = 0; type < sysex::kDumpTypeCount; ++type) {
        SCOPED_TRACE(type);
        auto answers = send(amp, sysex::dumpRequest(type));
        ASSERT_EQ(answers.size(), 1u);
        const auto& dump = answers[0];
        EXPECT_EQ(sysex::recogniseBulkDump(dump.data(), dump.size()), type);
        const bool effect = type == sysex::kDumpTypeEffectData;
        EXPECT_EQ(dump.size(), effect ? sysex::kEffectDumpLength : sysex::kFIRHeaderDumpLength);
        EXPECT_TRUE(sysex::checksumMatches(dump.data(), dump.size(), dump.size() - 2));
        if (effect) {
            EXPECT_EQ(dump[18 + 11], 3);
        } else {
            const FIRRecord slot = amp.model().slots[static_cast<std::size_t>(type)];
            EXPECT_TRUE(std::equal(slot.irName.begin(), slot.irName.end(), dump.begin() + 18));
            EXPECT_EQ(sysex::decode14(dump[82], dump[83]), slot.FIRCOE);
        }
    }
}

TEST(SimulatedAmp, StoresEffectAndLoopWritesAndIgnoresOthers)
{
    SimulatedAmp amp;
    namespace pm = sysex::param;
    EXPECT_TRUE(send(amp, sysex::parameterMessage(pm::kGroupEffect, pm::effectParameter(3, 1), 0, 2)).empty());
    send(amp, sysex::parameterMessage(pm::kGroupEffect, pm::kLoopReturn, 0, 1));
    send(amp, sysex::parameterMessage(pm::kGroupEffect, 0x07, 0, 9)); // byte 7 is not a parameter
    send(amp, sysex::parameterMessage(pm::kGroupEffect, 0x01, 1, 2)); // data 1 must be 0
    const auto bytes = amp.model().effect.bytes;
    EXPECT_EQ(bytes[11], 2);
    EXPECT_EQ(bytes[6], 1);
    EXPECT_EQ(bytes[7], 0);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(amp.received().size(), 4u);
}

sysex::Bytes param(std::uint8_t group, std::uint8_t parameter, std::uint8_t d1, std::uint8_t d2)
{
    const auto m = sysex::parameterMessage(group, parameter, d1, d2);
    return sysex::Bytes(m.begin(), m.end());
}

std::vector<sysex::Bytes> transferBlocks(const FIRRecord& record, int ampCh)
{
    const FIRTransferImage image = toTransferImage(record);
    std::vector<sysex::Bytes> blocks;
    for (int b = 0; b < static_cast<int>(sysex::kFIRBlockCount); ++b)
        blocks.push_back(
            sysex::firDataBlock(b, ampCh, image.data() + sysex::firBlockOffset(b), sysex::firBlockPayloadSize(b)));
    return blocks;
}

FIRRecord sample(std::int16_t seed)
{
    FIRRecord r;
    std::memcpy(r.irName.data(), "Sample", 6);
    r.FIRCOE = 4115;
    for (std::size_t i = 0; i < r.coefficients.size(); ++i)
        r.coefficients[i] = static_cast<std::int16_t>(seed + static_cast<int>(i) * 613);
    return r;
}

TEST(SimulatedAmp, AssemblesTenGoodBlocksIntoTheChannelsCurrentResponse)
{
    SimulatedAmp amp;
    const FIRRecord r = sample(11);
    auto blocks = transferBlocks(r, 1);
    for (const auto& block : blocks) {
        auto answers = send(amp, block);
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0], param(0x04, 0x42, 1, 0));
    }
    EXPECT_EQ(amp.model().current[1], r);
    EXPECT_NE(amp.model().current[0], r);
}

TEST(SimulatedAmp, ABadBlockIsReportedAndLeavesTheResponseAlone)
{
    SimulatedAmp amp;
    const FIRRecord before = amp.model().current[0];
    auto blocks = transferBlocks(sample(3), 0);
    blocks[2][40] ^= 0x01; // a flipped bit breaks the checksum
    for (std::size_t b = 0; b < blocks.size(); ++b)
        EXPECT_EQ(send(amp, blocks[b])[0], param(0x04, 0x42, 0, b == 2 ? 1 : 0)) << b;
    EXPECT_EQ(amp.model().current[0], before);

    amp.reportBlockBad(5);
    blocks = transferBlocks(sample(3), 0);
    EXPECT_EQ(send(amp, blocks[5])[0], param(0x04, 0x42, 0, 1));
    EXPECT_EQ(send(amp, blocks[5])[0], param(0x04, 0x42, 0, 0)) << "reported bad once";
    amp.dropReplyToBlock(6);
    EXPECT_TRUE(send(amp, blocks[6]).empty());
}

TEST(SimulatedAmp, StoreResetAndUpdater)
{
    SimulatedAmp amp;
    for (const auto& block : transferBlocks(sample(5), 1))
        send(amp, block);
    EXPECT_EQ(send(amp, param(0x04, 0x07, 1, 7))[0], param(0x04, 0x47, 1, 0));
    EXPECT_EQ(amp.model().slots[7], sample(5));
    EXPECT_EQ(send(amp, param(0x04, 0x07, 1, 2))[0], param(0x04, 0x47, 1, 1)) << "slot 2 belongs to channel I";
    amp.failNextStore();
    EXPECT_EQ(send(amp, param(0x04, 0x07, 1, 8))[0], param(0x04, 0x47, 1, 1));
    EXPECT_NE(amp.model().slots[8], sample(5));

    EXPECT_EQ(send(amp, param(0x04, 0x08, 0, 0))[0], param(0x04, 0x48, 0, 0));
    EXPECT_EQ(amp.model().slots[7], factoryRecord(7));

    EXPECT_EQ(send(amp, sysex::updaterRequest())[0], param(0x70, 0x61, 0, 110));
    amp.setUpdaterValue(0x3FFF);
    EXPECT_EQ(send(amp, sysex::updaterRequest())[0], param(0x70, 0x61, 0x7F, 0x7F));
}

TEST(SimulatedAmp, NameGainAndSlotSelection)
{
    SimulatedAmp amp;
    send(amp, param(0x04, 0x05, 0, 'Z'));  // first name character, channel II
    send(amp, param(0x04, 0x05, 63, 'Q')); // the last byte is never written
    send(amp, param(0x04, 0x04, 0x28, 0x3D));
    auto model = amp.model();
    EXPECT_EQ(model.current[1].irName[0], 'Z');
    EXPECT_EQ(model.current[1].irName[63], 0);
    EXPECT_EQ(model.current[0].FIRCOE, 5181);

    send(amp, param(0x04, 0x00, 1, 9));
    model = amp.model();
    EXPECT_EQ(model.current[1], model.slots[9]);
    EXPECT_EQ(model.effect.bytes[8], 4);
    send(amp, param(0x04, 0x00, 0, 9)); // channel I has no slot 9
    EXPECT_EQ(amp.model().effect.bytes[0], 0);
}

TEST(SimulatedAmp, FaultsTakeEffectForAsLongAsAsked)
{
    SimulatedAmp amp;
    amp.dropNextReplies(2);
    EXPECT_TRUE(send(amp, sysex::heartbeatRequest()).empty());
    EXPECT_TRUE(send(amp, sysex::dumpRequest(3)).empty());
    EXPECT_EQ(send(amp, sysex::heartbeatRequest()).size(), 1u);

    amp.corruptNextDumps(1);
    auto dump = send(amp, sysex::dumpRequest(10))[0];
    EXPECT_FALSE(sysex::checksumMatches(dump.data(), dump.size(), 34));
    dump = send(amp, sysex::dumpRequest(10))[0];
    EXPECT_TRUE(sysex::checksumMatches(dump.data(), dump.size(), 34));

    amp.setSilent(true);
    EXPECT_TRUE(send(amp, sysex::heartbeatRequest()).empty());
    EXPECT_TRUE(send(amp, sysex::updaterRequest()).empty());
    EXPECT_EQ(amp.received().size(), 7u) << "a silent amp still hears everything";
}

// The next dumps, of every kind in turn, as a row: '.' for a good checksum, 'x' for a bad one.
std::string checksumsOfNextDumps(SimulatedAmp& amp, int count)
{
    std::string row;
    for (int i = 0; i < count; ++i) {
        const auto dump = send(amp, sysex::dumpRequest(i % sysex::kDumpTypeCount)).at(0);
        row += sysex::checksumMatches(dump.data(), dump.size(), dump.size() - 2) ? '.' : 'x';
    }
    return row;
}

// Would catch: the steady fault off by one, counting one kind of dump only, ending after its first bad dump,
// keeping its old count when given again, or the one-off fault shifting it or being swallowed by it.
TEST(SimulatedAmp, EveryNthDumpCarriesABadChecksumUntilStopped)
{
    SimulatedAmp amp;
    amp.corruptEveryNthDump(3);
    EXPECT_EQ(checksumsOfNextDumps(amp, 13), "..x..x..x..x.");
    amp.corruptEveryNthDump(3);
    EXPECT_EQ(checksumsOfNextDumps(amp, 3), "..x") << "given again, it counts from there";
    amp.corruptEveryNthDump(1);
    EXPECT_EQ(checksumsOfNextDumps(amp, 4), "xxxx");

    amp.corruptEveryNthDump(4);
    amp.corruptNextDumps(2);
    EXPECT_EQ(checksumsOfNextDumps(amp, 9), "xx.x...x.");

    amp.corruptEveryNthDump(0);
    EXPECT_EQ(checksumsOfNextDumps(amp, 12), "............");
}

TEST(SimulatedAmp, TheAmpTypeKnobSwitchesAndAnnounces)
{
    SimulatedAmp amp;
    std::vector<sysex::Bytes> announced;
    amp.setOutlet([&](sysex::Bytes m) { announced.push_back(std::move(m)); });
    amp.turnAmpTypeKnob(1, 3);
    amp.turnAmpTypeKnob(0, 2);
    amp.turnAmpTypeKnob(0, 5); // no such amp type
    EXPECT_EQ(announced, (std::vector<sysex::Bytes>{param(0x00, 0x48, 0, 3), param(0x00, 0x40, 0, 2)}));
    const auto model = amp.model();
    EXPECT_EQ(model.effect.bytes[8], 3);
    EXPECT_EQ(model.current[1], model.slots[8]);
    EXPECT_EQ(model.current[0], model.slots[2]);
}

TEST(SimulatedAmp, DescribesMessagesInOneLine)
{
    const auto request = sysex::dumpRequest(7);
    EXPECT_EQ(SimulatedAmp::describe(request.data(), request.size()), "dump request, type 7");
    const auto beat = sysex::heartbeat('2');
    EXPECT_EQ(SimulatedAmp::describe(beat.data(), beat.size()), "heartbeat, model 2");
    const std::uint8_t junk[] = {0x90, 0x3C, 0x64};
    EXPECT_EQ(SimulatedAmp::describe(junk, sizeof junk), "unknown, 3 bytes: 90 3C 64");
}

struct Collector : MidiInputSink, MidiOutputSink {
    std::mutex lock;
    std::vector<sysex::Bytes> in;
    std::vector<std::uint64_t> done;
    void onShortMessage(std::uint32_t) override {}
    void onLongMessage(const std::uint8_t* d, std::size_t n) override
    {
        std::lock_guard l(lock);
        in.emplace_back(d, d + n);
    }
    void onOutputDone(std::uint64_t id) override
    {
        std::lock_guard l(lock);
        done.push_back(id);
    }
};

TEST(SimulatorPorts, AnswersArriveOnTheInputOnlyWhileStarted)
{
    SimulatorPortBackend ports(std::make_shared<SimulatedAmp>('2'));
    Collector c;
    ASSERT_EQ(ports.openIn(0, &c), kMidiOk);
    ASSERT_EQ(ports.openOut(0, &c), kMidiOk);
    EXPECT_EQ(ports.openIn(0, &c), kMidiAllocated);
    EXPECT_EQ(ports.openOut(1, &c), kMidiBadDeviceId);

    const auto request = sysex::heartbeatRequest();
    ports.sendLong(request.data(), request.size(), 7);
    ports.flush();
    EXPECT_TRUE(c.in.empty()) << "not started: dropped";
    EXPECT_EQ(c.done, std::vector<std::uint64_t>{7});

    ports.startIn();
    ports.sendLong(request.data(), request.size(), 8);
    ports.flush();
    ASSERT_EQ(c.in.size(), 1u);
    EXPECT_EQ(c.in[0], sysex::heartbeat('2'));

    ports.closeIn();
    ports.inject(sysex::heartbeat('2'));
    ports.flush();
    EXPECT_EQ(c.in.size(), 1u) << "closed: never called again";
}

TEST(SimulatorPorts, EnvironmentAddsTheSimulatorAfterTheSystemPorts)
{
    ::setenv("ORX_MIDI_API", "alsa", 1);
    ::unsetenv("ORX_SIMULATED_AMP");
    const auto systemOnly = makeBackendFromEnvironment()->inputPortNames();
    for (const char* model : {"1", "2"}) {
        ::setenv("ORX_SIMULATED_AMP", model, 1);
        auto backend = makeBackendFromEnvironment();
        auto in = backend->inputPortNames();
        auto out = backend->outputPortNames();
        ASSERT_FALSE(in.empty());
        EXPECT_EQ(in.back(), kSimulatorPortName);
        EXPECT_EQ(out.back(), kSimulatorPortName);
        EXPECT_EQ(in.size(), systemOnly.size() + 1);
    }
    ::setenv("ORX_SIMULATED_AMP", "3", 1);
    EXPECT_EQ(makeBackendFromEnvironment()->inputPortNames().size(), systemOnly.size());
    ::unsetenv("ORX_SIMULATED_AMP");
}

} // namespace
} // namespace orx::sim
