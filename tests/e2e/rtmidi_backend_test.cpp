// The RtMidi backend against no MIDI system at all, and against real JACK MIDI ports on a private server.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "ScopedOverride.h"
#include "SysexCatalogue.h"
#include "backends/RtMidiBackend.h"
#include "backends/RtMidiBackendImpl.h"

#include "SharedJackServer.h"
#include "StderrCapture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace orx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::kMessageLimit;
using test::linesOf;
using test::ScopedEnv;
using test::StderrCapture;

// How long closeIn runs against a held sink before the sink is released.
constexpr std::chrono::milliseconds kCloseHeadStart{200};

// Records what the backend hands over; can hold the delivery of one chosen message until released.
class RecordingSink final : public MidiInputSink, public MidiOutputSink {
public:
    void onShortMessage(std::uint32_t packed) override
    {
        std::lock_guard lock(m_lock);
        m_shorts.push_back(packed);
        m_changed.notify_all();
    }

    void onLongMessage(const std::uint8_t* data, std::size_t size) override
    {
        std::unique_lock lock(m_lock);
        m_longs.emplace_back(data, data + size);
        if (m_holdOn && m_longs.back() == *m_holdOn) {
            m_heldInside = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return !m_holdOn; });
            m_heldInside = false;
            m_heldFinished = true;
        }
        m_changed.notify_all();
    }

    void onOutputDone(std::uint64_t bufferId) override
    {
        std::lock_guard lock(m_lock);
        m_done.push_back(bufferId);
        m_changed.notify_all();
    }

    // The delivery of this message will not return until release().
    void holdOn(Bytes message)
    {
        std::lock_guard lock(m_lock);
        m_holdOn = std::move(message);
    }
    void release()
    {
        {
            std::lock_guard lock(m_lock);
            m_holdOn.reset();
        }
        m_changed.notify_all();
    }

    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = kMessageLimit)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, limit, condition);
    }
    bool waitForLong(const Bytes& message)
    {
        return waitFor([&] { return std::find(m_longs.begin(), m_longs.end(), message) != m_longs.end(); });
    }

    std::vector<Bytes> longs()
    {
        std::lock_guard lock(m_lock);
        return m_longs;
    }
    std::vector<std::uint32_t> shorts()
    {
        std::lock_guard lock(m_lock);
        return m_shorts;
    }
    std::vector<std::uint64_t> done()
    {
        std::lock_guard lock(m_lock);
        return m_done;
    }
    bool heldFinished()
    {
        std::lock_guard lock(m_lock);
        return m_heldFinished;
    }

    // Unlocked access for waitFor conditions, which run with the lock held.
    const std::vector<Bytes>& longsLocked() const { return m_longs; }
    const std::vector<std::uint32_t>& shortsLocked() const { return m_shorts; }
    bool heldInsideLocked() const { return m_heldInside; }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Bytes> m_longs;
    std::vector<std::uint32_t> m_shorts;
    std::vector<std::uint64_t> m_done;
    std::optional<Bytes> m_holdOn;
    bool m_heldInside = false;
    bool m_heldFinished = false;
};

Bytes firBlock532()
{
    Bytes payload(sysex::firBlockPayloadSize(0));
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return sysex::firDataBlock(0, 1, payload.data(), payload.size());
}

Bytes smallSysex(std::uint8_t tag)
{
    return {0xF0, 0x43, 0x7D, 0x10, tag, 0xF7};
}

// --- no MIDI system ----------------------------------------------------------------------------

// What a backend with no usable MIDI system must do: empty lists, failing opens, no crash, one line.
void exerciseUnavailableBackend(MidiBackend& backend)
{
    RecordingSink sink;
    // The port layer lists ports over and over; each call must stay quiet after the first line.
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(backend.inputPortNames().empty());
        EXPECT_TRUE(backend.outputPortNames().empty());
    }
    EXPECT_NE(backend.openIn(0, &sink), kMidiOk);
    EXPECT_NE(backend.startIn(), kMidiOk);
    EXPECT_NE(backend.openOut(0, &sink), kMidiOk);
    const Bytes message = smallSysex(1);
    EXPECT_NE(backend.sendLong(message.data(), message.size(), 1), kMidiOk);
    EXPECT_NE(backend.openIn(0, &sink), kMidiOk);
    backend.resetIn();
    backend.stopIn();
    backend.closeIn();
    backend.resetOut();
    backend.closeOut();
    EXPECT_TRUE(sink.longs().empty());
    EXPECT_TRUE(sink.shorts().empty());
}

class RtMidiBackendWithoutMidiSystem : public ::testing::Test {
protected:
    // This machine has no /dev/snd; where one exists, an empty ALSA configuration hides the sequencer.
    void SetUp() override
    {
        if (std::filesystem::exists("/dev/snd/seq")) {
            m_emptyConfig =
                std::filesystem::temp_directory_path() / ("orx-empty-alsa-" + std::to_string(getpid()) + ".conf");
            std::ofstream(m_emptyConfig).flush();
            m_alsaConfig.emplace("ALSA_CONFIG_PATH", m_emptyConfig.c_str());
        }
    }
    void TearDown() override
    {
        m_alsaConfig.reset();
        if (!m_emptyConfig.empty())
            std::filesystem::remove(m_emptyConfig);
    }

    std::filesystem::path m_emptyConfig;
    std::optional<ScopedEnv> m_alsaConfig;
};

// Would catch: an RtMidiError escaping the constructor, ALSA's or RtMidi's own lines reaching the
// terminal, a line per listing, or an open that claims success with no ports.
TEST_F(RtMidiBackendWithoutMidiSystem, AlsaGivesEmptyListsFailingOpensAndExactlyOneLine)
{
    ScopedEnv api("ORX_MIDI_API", "alsa");
    StderrCapture capture;
    {
        auto backend = makeSystemMidiBackend();
        ASSERT_NE(backend, nullptr);
        exerciseUnavailableBackend(*backend);
    }
    const auto lines = linesOf(capture.finish());
    ASSERT_EQ(lines.size(), 1u) << capture.finish();
    EXPECT_NE(lines[0].find("ALSA"), std::string::npos) << lines[0];
}

// Would catch: a JACK client left retrying (libjack prints several lines per attempt), or the
// warning RtMidi only prints instead of throwing being taken for success.
TEST_F(RtMidiBackendWithoutMidiSystem, JackWithNoServerGivesEmptyListsAndExactlyOneLine)
{
    ScopedEnv api("ORX_MIDI_API", "jack");
    const std::string nowhere = "orx-test-no-server-" + std::to_string(getpid());
    ScopedEnv server("JACK_DEFAULT_SERVER", nowhere.c_str());
    ScopedEnv noStart("JACK_NO_START_SERVER", "1");
    StderrCapture capture;
    {
        auto backend = makeSystemMidiBackend();
        ASSERT_NE(backend, nullptr);
        exerciseUnavailableBackend(*backend);
    }
    const auto lines = linesOf(capture.finish());
    ASSERT_EQ(lines.size(), 1u) << capture.finish();
    EXPECT_NE(lines[0].find("JACK"), std::string::npos) << lines[0];
}

// Would catch: an unknown ORX_MIDI_API value silently ignored, or taken for JACK.
TEST_F(RtMidiBackendWithoutMidiSystem, UnknownApiValueIsNamedOnceAndAlsaIsUsed)
{
    ScopedEnv api("ORX_MIDI_API", "coreaudio");
    StderrCapture capture;
    {
        auto backend = makeSystemMidiBackend();
        exerciseUnavailableBackend(*backend);
    }
    const auto lines = linesOf(capture.finish());
    ASSERT_EQ(lines.size(), 2u) << capture.finish();
    EXPECT_NE(lines[0].find("coreaudio"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("ALSA"), std::string::npos) << lines[1];
}

// Would catch: the port layer on top of a dead system returning success or names.
TEST_F(RtMidiBackendWithoutMidiSystem, PortLayerOnTopSeesNoPortsAndFailsToOpen)
{
    ScopedEnv api("ORX_MIDI_API", "alsa");
    StderrCapture capture;
    const ScopedOverride<MidiBackendFactory> systemPorts(&CMIDIManager::setBackendFactory, MidiBackendFactory{});
    CMIDIManager* midi = CMIDIManager::createInstance();
    std::vector<std::string> names{"stale"};
    midi->getInDeviceNames(names);
    EXPECT_TRUE(names.empty());
    midi->getOutDeviceNames(names);
    EXPECT_TRUE(names.empty());
    EXPECT_NE(midi->openIn(
                  0, [](void*, const std::uint8_t*, std::size_t) {}, nullptr),
              kMidiOk);
    EXPECT_NE(midi->openOut(0), kMidiOk);
    EXPECT_FALSE(midi->isInputOpen());
    EXPECT_FALSE(midi->isOutputOpen());
    CMIDIManager::deleteInstance();
    EXPECT_EQ(linesOf(capture.finish()).size(), 1u) << capture.finish();
}

TEST(RtMidiApiNames, OnlyAlsaAndJackAreRecognised)
{
    EXPECT_EQ(rtmidi::apiFromName("alsa"), RtMidi::LINUX_ALSA);
    EXPECT_EQ(rtmidi::apiFromName("jack"), RtMidi::UNIX_JACK);
    EXPECT_EQ(rtmidi::apiFromName("JACK"), std::nullopt);
    EXPECT_EQ(rtmidi::apiFromName(""), std::nullopt);
    EXPECT_EQ(rtmidi::apiFromName("alsa "), std::nullopt);
}

TEST(RtMidiOneLine, JoinsLinesAndDropsBlankOnes)
{
    EXPECT_EQ(rtmidi::oneLine("\nMidiInJack::initialize: JACK server not running?\n\n"),
              "MidiInJack::initialize: JACK server not running?");
    EXPECT_EQ(rtmidi::oneLine("first\n\nsecond  part\n"), "first; second part");
    EXPECT_EQ(rtmidi::oneLine(""), "");
}

// --- real ports on a private JACK server --------------------------------------------------------

// The far side of the backend's ports: a virtual input and output, plus a probe listening to the
// peer's own output. The probe tells when a message has been through the JACK graph, which is the
// only way to know the backend has seen (and perhaps dropped) it.
class JackPeer {
public:
    explicit JackPeer(std::string tag) : m_tag(std::move(tag))
    {
        std::string failure;
        m_in = rtmidi::createInput(RtMidi::UNIX_JACK, "orx-test-" + m_tag + "-in", failure);
        if (!m_in)
            throw std::runtime_error(failure);
        m_out = rtmidi::createOutput(RtMidi::UNIX_JACK, "orx-test-" + m_tag + "-out", failure);
        if (!m_out)
            throw std::runtime_error(failure);
        m_probe = rtmidi::createInput(RtMidi::UNIX_JACK, "orx-test-" + m_tag + "-probe", failure);
        if (!m_probe)
            throw std::runtime_error(failure);
        for (RtMidiIn* in : {m_in.get(), m_probe.get()})
            in->ignoreTypes(false, true, true);
        m_in->setCallback(&JackPeer::onIn, this);
        m_probe->setCallback(&JackPeer::onProbe, this);
        m_in->openVirtualPort(kPortName);
        m_out->openVirtualPort(kPortName);
        connectProbe();
    }

    ~JackPeer()
    {
        // Ports go before the state their callbacks use.
        m_probe.reset();
        m_in.reset();
        m_out.reset();
    }

    // The names the backend lists: the peer's output is one of its inputs, and the other way round.
    std::string outputPortName() const { return "orx-test-" + m_tag + "-out:" + kPortName; }
    std::string inputPortName() const { return "orx-test-" + m_tag + "-in:" + kPortName; }

    void send(const Bytes& message) { m_out->sendMessage(message.data(), message.size()); }

    // Sends the message, then a marker, and returns once the probe has seen both: by then every
    // client connected to the peer's output has been handed the message (the marker itself may
    // still be on its way, so assertions leave markers out).
    ::testing::AssertionResult sendThroughGraph(const Bytes& message)
    {
        const Bytes marker = nextMarker();
        send(message);
        if (!waitForProbe(message))
            return ::testing::AssertionFailure() << "the probe never saw the message";
        send(marker);
        if (!waitForProbe(marker))
            return ::testing::AssertionFailure() << "the probe never saw the marker";
        return ::testing::AssertionSuccess();
    }

    // JACK makes a new connection live some cycles after it is made, and applies graph changes in
    // order. So once a message reaches a probe connected just now, every connection made before
    // (the backend's included) carries messages too.
    ::testing::AssertionResult settle()
    {
        connectProbe();
        const auto giveUp = std::chrono::steady_clock::now() + kMessageLimit;
        while (std::chrono::steady_clock::now() < giveUp) {
            const Bytes marker = nextMarker();
            send(marker);
            if (waitForProbe(marker, kSettlePoll))
                return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the JACK connections never became live";
    }

    bool waitForReceived(const Bytes& message)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, kMessageLimit, [&] {
            return std::find(m_received.begin(), m_received.end(), message) != m_received.end();
        });
    }

    std::vector<Bytes> received()
    {
        std::lock_guard lock(m_lock);
        return m_received;
    }

    static std::vector<Bytes> withoutMarkers(std::vector<Bytes> messages)
    {
        std::erase_if(messages, [](const Bytes& m) { return m.size() == 4 && m[1] == kMarkerId; });
        return messages;
    }

private:
    static constexpr const char* kPortName = "Test Peer";
    static constexpr std::uint8_t kMarkerId = 0x7D;
    // How long settle() waits for each marker before sending another.
    static constexpr std::chrono::milliseconds kSettlePoll{50};

    Bytes nextMarker() { return {0xF0, kMarkerId, static_cast<std::uint8_t>(m_nextMarker++ & 0x7F), 0xF7}; }

    void connectProbe()
    {
        if (m_probe->isPortOpen())
            m_probe->closePort();
        for (unsigned i = 0; i < m_probe->getPortCount(); ++i) {
            if (m_probe->getPortName(i) == outputPortName()) {
                m_probe->openPort(i, "probe");
                break;
            }
        }
        if (!m_probe->isPortOpen())
            throw std::runtime_error("the probe cannot find " + outputPortName());
    }

    bool waitForProbe(const Bytes& message, std::chrono::milliseconds limit = kMessageLimit)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(
            lock, limit, [&] { return std::find(m_probed.begin(), m_probed.end(), message) != m_probed.end(); });
    }

    static void onIn(double, std::vector<unsigned char>* message, void* self)
    {
        static_cast<JackPeer*>(self)->add(false, *message);
    }
    static void onProbe(double, std::vector<unsigned char>* message, void* self)
    {
        static_cast<JackPeer*>(self)->add(true, *message);
    }
    void add(bool probe, const std::vector<unsigned char>& message)
    {
        {
            std::lock_guard lock(m_lock);
            (probe ? m_probed : m_received).emplace_back(message.begin(), message.end());
        }
        m_changed.notify_all();
    }

    std::string m_tag;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Bytes> m_received;
    std::vector<Bytes> m_probed;
    int m_nextMarker = 0;
    std::unique_ptr<RtMidiIn> m_in;
    std::unique_ptr<RtMidiOut> m_out;
    std::unique_ptr<RtMidiIn> m_probe;
};

std::optional<unsigned> indexOf(const std::vector<std::string>& names, const std::string& name)
{
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end())
        return std::nullopt;
    return static_cast<unsigned>(it - names.begin());
}

class RtMidiBackendOverJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure;
        if (!test::SharedJackServer::get(failure))
            FAIL() << "no JACK server for the test: " << failure;
        m_api.emplace("ORX_MIDI_API", "jack");
        m_backend = makeSystemMidiBackend();
    }
    void TearDown() override
    {
        m_backend.reset();
        m_peer.reset();
        m_api.reset();
    }

    JackPeer& peer(const std::string& tag)
    {
        m_peer = std::make_unique<JackPeer>(tag);
        return *m_peer;
    }

    // Opens the backend's input on the peer's output and the backend's output on the peer's input.
    void openBoth(JackPeer& p, RecordingSink& sink, bool start = true)
    {
        const auto inId = indexOf(m_backend->inputPortNames(), p.outputPortName());
        const auto outId = indexOf(m_backend->outputPortNames(), p.inputPortName());
        ASSERT_TRUE(inId && outId);
        ASSERT_EQ(m_backend->openIn(*inId, &sink), kMidiOk);
        if (start) {
            ASSERT_EQ(m_backend->startIn(), kMidiOk);
        }
        ASSERT_EQ(m_backend->openOut(*outId, &sink), kMidiOk);
        ASSERT_TRUE(p.settle());
    }

    std::optional<ScopedEnv> m_api;
    std::unique_ptr<JackPeer> m_peer;
    // Declared before the backend: the backend may still be inside the sink until it is destroyed.
    RecordingSink m_sink;
    std::unique_ptr<MidiBackend> m_backend;
};

// Would catch: a FIR data block split into pieces or truncated in either direction, a done report
// missing or carrying the wrong buffer id, short messages packed in the wrong byte order.
TEST_F(RtMidiBackendOverJack, LongestBlockTravelsWholeBothWaysAndShortMessagesArePacked)
{
    JackPeer& p = peer("roundtrip");
    RecordingSink& sink = m_sink;
    ASSERT_NO_FATAL_FAILURE(openBoth(p, sink));

    const Bytes block = firBlock532();
    ASSERT_EQ(block.size(), sysex::kMaxFIRBlockLength);
    ASSERT_EQ(m_backend->sendLong(block.data(), block.size(), 77), kMidiOk);
    EXPECT_EQ(sink.done(), std::vector<std::uint64_t>{77});
    ASSERT_TRUE(p.waitForReceived(block));
    EXPECT_EQ(p.received(), std::vector<Bytes>{block});

    p.send(block);
    ASSERT_TRUE(sink.waitForLong(block));
    EXPECT_EQ(JackPeer::withoutMarkers(sink.longs()), std::vector<Bytes>{block});

    p.send({0x90, 0x3C, 0x64});
    p.send({0xC2, 0x05});
    ASSERT_TRUE(sink.waitFor([&] { return sink.shortsLocked().size() >= 2; }));
    EXPECT_EQ(sink.shorts(), (std::vector<std::uint32_t>{0x643C90u, 0x05C2u}));
}

// Would catch: the program's own ports offered as amplifiers (they appear in JACK's lists as soon
// as they open), or a device id that no longer means the listed port once our own port appears.
TEST_F(RtMidiBackendOverJack, ListsHideTheProgramsOwnPorts)
{
    JackPeer& p = peer("own");
    RecordingSink& sink = m_sink;
    ASSERT_NO_FATAL_FAILURE(openBoth(p, sink));

    std::string failure;
    auto raw = rtmidi::createInput(RtMidi::UNIX_JACK, "orx-test-raw", failure);
    ASSERT_NE(raw, nullptr) << failure;
    bool rawShowsOwn = false;
    for (unsigned i = 0; i < raw->getPortCount(); ++i)
        rawShowsOwn = rawShowsOwn || raw->getPortName(i).rfind(rtmidi::kClientName, 0) == 0;
    ASSERT_TRUE(rawShowsOwn) << "the program's output port should be visible to other JACK clients";

    for (const auto& names : {m_backend->inputPortNames(), m_backend->outputPortNames()}) {
        for (const auto& name : names) {
            EXPECT_NE(name.rfind(rtmidi::kClientName, 0), 0u) << name;
        }
    }
    EXPECT_TRUE(indexOf(m_backend->inputPortNames(), p.outputPortName()));
    EXPECT_TRUE(indexOf(m_backend->outputPortNames(), p.inputPortName()));
}

// Would catch: opening by raw index after the list changed. JACK gives a new port the lowest free
// slot, so a port registered after the listing can push the listed port one place down.
TEST_F(RtMidiBackendOverJack, DeviceIdStillMeansTheListedPortAfterAPortAppearsBeforeIt)
{
    std::string failure;
    auto gap = rtmidi::createOutput(RtMidi::UNIX_JACK, "orx-test-gap", failure);
    ASSERT_NE(gap, nullptr) << failure;
    gap->openVirtualPort("Gap");
    JackPeer& p = peer("shift");
    gap.reset(); // frees a slot below the peer's ports

    const auto listed = m_backend->inputPortNames();
    const auto inId = indexOf(listed, p.outputPortName());
    ASSERT_TRUE(inId);

    auto late = rtmidi::createOutput(RtMidi::UNIX_JACK, "orx-test-late", failure);
    ASSERT_NE(late, nullptr) << failure;
    late->openVirtualPort("Late");
    // Peek without refreshing the backend's own idea of the list.
    auto raw = rtmidi::createInput(RtMidi::UNIX_JACK, "orx-test-raw", failure);
    ASSERT_NE(raw, nullptr) << failure;
    std::vector<std::string> now;
    for (unsigned i = 0; i < raw->getPortCount(); ++i)
        now.push_back(raw->getPortName(i));
    const auto lateAt = indexOf(now, "orx-test-late:Late");
    const auto peerAt = indexOf(now, p.outputPortName());
    ASSERT_TRUE(lateAt && peerAt);
    ASSERT_LT(*lateAt, *peerAt) << "JACK placed the new port after the peer's, so this case does not arise";

    RecordingSink& sink = m_sink;
    ASSERT_EQ(m_backend->openIn(*inId, &sink), kMidiOk);
    ASSERT_EQ(m_backend->startIn(), kMidiOk);
    ASSERT_TRUE(p.settle());
    const Bytes message = smallSysex(0x21);
    p.send(message);
    EXPECT_TRUE(sink.waitForLong(message)) << "the input was opened on another port";
}

// Would catch: input delivered before startIn or after stopIn/resetIn, or a queue that keeps what
// arrived while stopped and hands it over on the next start.
TEST_F(RtMidiBackendOverJack, InputReachesTheSinkOnlyWhileStarted)
{
    JackPeer& p = peer("gate");
    RecordingSink& sink = m_sink;
    ASSERT_NO_FATAL_FAILURE(openBoth(p, sink, false));

    ASSERT_TRUE(p.sendThroughGraph(smallSysex(0x01))); // opened, not started
    ASSERT_EQ(m_backend->startIn(), kMidiOk);
    p.send(smallSysex(0x02));
    ASSERT_TRUE(sink.waitForLong(smallSysex(0x02)));

    ASSERT_EQ(m_backend->stopIn(), kMidiOk);
    ASSERT_TRUE(p.sendThroughGraph(smallSysex(0x03)));
    ASSERT_EQ(m_backend->startIn(), kMidiOk);
    p.send(smallSysex(0x04));
    ASSERT_TRUE(sink.waitForLong(smallSysex(0x04)));

    ASSERT_EQ(m_backend->resetIn(), kMidiOk);
    ASSERT_TRUE(p.sendThroughGraph(smallSysex(0x05)));
    ASSERT_EQ(m_backend->startIn(), kMidiOk);
    p.send(smallSysex(0x06));
    ASSERT_TRUE(sink.waitForLong(smallSysex(0x06)));

    EXPECT_EQ(JackPeer::withoutMarkers(sink.longs()),
              (std::vector<Bytes>{smallSysex(0x02), smallSysex(0x04), smallSysex(0x06)}));
}

// Would catch: closeIn returning while the sink is still running, or a delivery after it returned.
TEST_F(RtMidiBackendOverJack, CloseInWaitsForADeliveryInFlightAndEndsDelivery)
{
    JackPeer& p = peer("close");
    RecordingSink& sink = m_sink;
    ASSERT_NO_FATAL_FAILURE(openBoth(p, sink));

    const Bytes held = smallSysex(0x11);
    sink.holdOn(held);
    p.send(held);
    ASSERT_TRUE(sink.waitFor([&] { return sink.heldInsideLocked(); }));

    bool finishedWhenClosed = false;
    std::thread closer([&] {
        m_backend->closeIn();
        finishedWhenClosed = sink.heldFinished();
    });
    // Give a faulty closeIn every chance to return early before the sink is let go.
    std::this_thread::sleep_for(kCloseHeadStart);
    sink.release();
    closer.join();
    EXPECT_TRUE(finishedWhenClosed) << "closeIn returned while the sink was still running";

    // The backend's input port is gone from the graph, so nothing sent now may reach the sink.
    ASSERT_TRUE(p.sendThroughGraph(smallSysex(0x12)));
    EXPECT_EQ(JackPeer::withoutMarkers(sink.longs()), std::vector<Bytes>{held});
    EXPECT_EQ(m_backend->startIn(), kMidiInvalidHandle);
}

// Would catch: an operation on a closed handle claiming success, or a second open replacing the first.
TEST_F(RtMidiBackendOverJack, OperationsOnClosedOrBusyPortsFail)
{
    JackPeer& p = peer("handles");
    RecordingSink& sink = m_sink;
    const Bytes message = smallSysex(0x31);
    EXPECT_EQ(m_backend->startIn(), kMidiInvalidHandle);
    EXPECT_EQ(m_backend->closeIn(), kMidiInvalidHandle);
    EXPECT_EQ(m_backend->sendLong(message.data(), message.size(), 1), kMidiInvalidHandle);
    EXPECT_EQ(m_backend->closeOut(), kMidiInvalidHandle);
    EXPECT_EQ(m_backend->openIn(10000, &sink), kMidiBadDeviceId);
    EXPECT_EQ(m_backend->openOut(10000, &sink), kMidiBadDeviceId);

    ASSERT_NO_FATAL_FAILURE(openBoth(p, sink));
    EXPECT_EQ(m_backend->openIn(0, &sink), kMidiAllocated);
    EXPECT_EQ(m_backend->openOut(0, &sink), kMidiAllocated);
    EXPECT_EQ(m_backend->resetOut(), kMidiOk);
    EXPECT_EQ(m_backend->closeOut(), kMidiOk);
    EXPECT_EQ(m_backend->sendLong(message.data(), message.size(), 2), kMidiInvalidHandle);
    EXPECT_TRUE(sink.done().empty());
    EXPECT_EQ(m_backend->closeIn(), kMidiOk);
}

} // namespace
} // namespace orx
