// The simulated amplifier answers as the real one must, and its ports behave like a system's.
#include "SimulatedAmp.h"
#include "SimulatorPorts.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
