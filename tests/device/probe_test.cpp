// The port probe on a bus of ports named as Linux names them: one amplifier, a loop-back port that echoes what it
// is sent, a box that never answers, and an output whose port cannot be opened.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "MidiTrace.h"
#include "PortProbe.h"
#include "ScopedOverride.h"
#include "SimulatedAmp.h"
#include "SysexCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

namespace orx {
namespace {

const std::string kThrough = "Midi Through:Midi Through Port-0 14:0";
const std::string kAmp = "TEVO:TEVO MIDI 1 20:0";
const std::string kSilent = "Silent Box:Silent Box MIDI 1 24:0";
const std::string kBusy = "Busy Synth:Busy Synth MIDI 1 28:0";

// Every client (backend) of the bus sees the same ports; what reaches an input port reaches every client that
// has it open and started, as with the ALSA sequencer.
struct Bus {
    std::mutex lock;
    std::vector<std::string> inputs{kThrough, kAmp, kSilent};
    std::vector<std::string> outputs{kThrough, kSilent, kBusy, kAmp};
    sim::SimulatedAmp amp{'2'};
    struct Listener {
        std::size_t input;
        MidiInputSink* sink;
    };
    std::vector<Listener> listeners;
    std::vector<std::string> askedOutputs;
    bool ampSilent = false;

    void deliver(const std::string& input, const std::vector<sysex::Bytes>& messages)
    {
        std::vector<MidiInputSink*> sinks;
        {
            std::lock_guard guard(lock);
            for (const auto& l : listeners)
                if (inputs[l.input] == input)
                    sinks.push_back(l.sink);
        }
        for (MidiInputSink* sink : sinks)
            for (const auto& m : messages)
                sink->onLongMessage(m.data(), m.size());
    }
};

class BusBackend final : public MidiBackend {
public:
    explicit BusBackend(std::shared_ptr<Bus> bus) : m_bus(std::move(bus)) {}
    ~BusBackend() override { closeIn(); }

    std::vector<std::string> inputPortNames() override
    {
        std::lock_guard guard(m_bus->lock);
        return m_bus->inputs;
    }
    std::vector<std::string> outputPortNames() override
    {
        std::lock_guard guard(m_bus->lock);
        return m_bus->outputs;
    }
    int openIn(unsigned id, MidiInputSink* sink) override
    {
        m_in = id;
        m_sink = sink;
        return kMidiOk;
    }
    int startIn() override
    {
        std::lock_guard guard(m_bus->lock);
        m_bus->listeners.push_back({m_in, m_sink});
        return kMidiOk;
    }
    int resetIn() override { return kMidiOk; }
    int stopIn() override { return kMidiOk; }
    int closeIn() override
    {
        std::lock_guard guard(m_bus->lock);
        auto& l = m_bus->listeners;
        l.erase(std::remove_if(l.begin(), l.end(), [&](const Bus::Listener& x) { return x.sink == m_sink; }), l.end());
        return kMidiOk;
    }
    int openOut(unsigned id, MidiOutputSink* sink) override
    {
        std::lock_guard guard(m_bus->lock);
        if (id >= m_bus->outputs.size() || m_bus->outputs[id] == kBusy)
            return kMidiAllocated;
        m_out = m_bus->outputs[id];
        m_outSink = sink;
        return kMidiOk;
    }
    int sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t bufferId) override
    {
        // The buffer is the sender's again once it is reported done.
        const sysex::Bytes message(data, data + size);
        bool silent = false;
        {
            std::lock_guard guard(m_bus->lock);
            m_bus->askedOutputs.push_back(m_out);
            silent = m_bus->ampSilent;
        }
        m_outSink->onOutputDone(bufferId);
        if (m_out == kThrough)
            m_bus->deliver(kThrough, {message});
        else if (m_out == kAmp && !silent)
            m_bus->deliver(kAmp, m_bus->amp.receive(message.data(), message.size()));
        return kMidiOk;
    }
    int resetOut() override { return kMidiOk; }
    int closeOut() override { return kMidiOk; }

private:
    std::shared_ptr<Bus> m_bus;
    unsigned m_in = 0;
    MidiInputSink* m_sink = nullptr;
    std::string m_out;
    MidiOutputSink* m_outSink = nullptr;
};

class Probe : public ::testing::Test {
protected:
    std::shared_ptr<Bus> bus = std::make_shared<Bus>();
    ScopedOverride<MidiBackendFactory> factory{&CMIDIManager::setBackendFactory,
                                               [this] { return std::make_unique<BusBackend>(bus); }};
    ProbeOptions options = [] {
        ProbeOptions o;
        o.listen = std::chrono::milliseconds(5); // the bus answers before the send returns
        return o;
    }();
};

TEST_F(Probe, FindsTheAmplifierAndNothingElse)
{
    const ProbeResult result = probeForAmp(options);
    EXPECT_TRUE(result.problem.empty());
    EXPECT_EQ(result.inputs, bus->inputs);
    EXPECT_EQ(result.outputs, bus->outputs);
    ASSERT_EQ(result.answers.size(), 1u);
    EXPECT_EQ(result.answers[0].inputPort, kAmp);
    EXPECT_EQ(result.answers[0].outputPort, kAmp);
    EXPECT_EQ(result.answers[0].modelCode, '2');
    // Every output that could be opened was asked; the echo of the loop-back port is no answer. A port that said
    // nothing is asked a second time (a new JACK connection may have lost the first), the amp that answered is not.
    EXPECT_EQ(bus->askedOutputs, (std::vector<std::string>{kThrough, kThrough, kSilent, kSilent, kAmp}));
    EXPECT_TRUE(bus->listeners.empty()) << "the probe's inputs stay open";
}

TEST_F(Probe, AConnectedPairIsListedAndNeverAsked)
{
    options.connected = ProbeAnswer{kAmp, kAmp, '2'};
    const ProbeResult result = probeForAmp(options);
    ASSERT_EQ(result.answers.size(), 1u);
    EXPECT_EQ(result.answers[0].outputPort, kAmp);
    EXPECT_EQ(std::count(bus->askedOutputs.begin(), bus->askedOutputs.end(), kAmp), 0);
}

TEST_F(Probe, AnAmplifierThatDoesNotAnswerIsNotListed)
{
    bus->ampSilent = true;
    EXPECT_TRUE(probeForAmp(options).answers.empty());
}

TEST_F(Probe, ACancelledProbeAsksNothingMore)
{
    std::atomic<bool> cancel{true};
    options.cancel = &cancel;
    const ProbeResult result = probeForAmp(options);
    EXPECT_TRUE(result.answers.empty());
    EXPECT_TRUE(bus->askedOutputs.empty());
}

// What a user pastes into a bug report: the request and its answer, each with the port it went through.
TEST(MidiTrace, EveryMessageSentAndReceivedIsOneLineWithTimeDirectionPortAndBytes)
{
    const std::uint8_t bytes[] = {0xF0, 0x00, 0x7F, 0xF7};
    EXPECT_EQ(miditrace::formatLine(1234.5678, miditrace::Direction::Out, kAmp, bytes, sizeof bytes),
              "MIDI 1234.568 ms out \"TEVO:TEVO MIDI 1 20:0\": F0 00 7F F7");
    EXPECT_EQ(miditrace::formatLine(0, miditrace::Direction::In, "", bytes, 0), "MIDI 0.000 ms in \"\":");

    auto bus = std::make_shared<Bus>();
    std::vector<std::string> lines;
    const ScopedOverride<miditrace::Writer> writer(&miditrace::setWriter,
                                                   [&](const std::string& line) { lines.push_back(line); });
    const bool wasOn = miditrace::setEnabled(true);
    {
        CMIDIManager midi(std::make_unique<BusBackend>(bus));
        std::vector<std::string> names;
        midi.getInDeviceNames(names);
        midi.getOutDeviceNames(names);
        ASSERT_EQ(midi.openIn(1, [](void*, const std::uint8_t*, std::size_t) {}, nullptr), kMidiOk);
        ASSERT_EQ(midi.startIn(), kMidiOk);
        ASSERT_EQ(midi.openOut(3), kMidiOk);
        const auto request = sysex::heartbeatRequest();
        midi.sendLongMessage(request.data(), request.size());
        midi.closeIn();
    }
    miditrace::setEnabled(wasOn);
    ASSERT_EQ(lines.size(), 2u);
    const auto hex = [](const auto& message) {
        std::string out;
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (const std::uint8_t b : message)
            out += std::string(" ") + kHex[b >> 4] + kHex[b & 15];
        return out;
    };
    const auto request = sysex::heartbeatRequest();
    EXPECT_NE(lines[0].find(" ms out \"" + kAmp + "\":" + hex(request)), std::string::npos) << lines[0];
    sim::SimulatedAmp sameAmp{'2'};
    const auto answer = sameAmp.receive(request.data(), request.size());
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_NE(lines[1].find(" ms in \"" + kAmp + "\":" + hex(answer[0])), std::string::npos) << lines[1];
}

} // namespace
} // namespace orx
