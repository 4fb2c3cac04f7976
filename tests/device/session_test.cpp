// The device session: finding the amplifier, heartbeat and connection watch, listeners, initial state.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionFixture.h"

#include "SysexCatalogue.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace orx {
namespace {

using namespace std::chrono_literals;
using test::EventLog;
using test::SessionFixture;

class Session : public SessionFixture {
protected:
    // A fresh session whose system ports carry these names, and no simulator.
    void startOnFakePorts(const std::vector<std::string>& in, const std::vector<std::string>& out)
    {
        fakePorts = std::make_shared<test::FakeMidiBackend::Shared>();
        fakePorts->inNames = in;
        fakePorts->outNames = out;
        events.clear();
        startSession(false);
    }
};

struct PortCase {
    const char* what;
    std::vector<std::string> in, out;
    int expectedIn, expectedOut; // -1: nothing opened
};

TEST_F(Session, FindsTheAmplifierByName)
{
    const PortCase cases[] = {
        {"lowest matching index wins", {"Synth", "Kovalex/ORX A", "Kovalex/ORX B"}, {"Kovalex/ORX O", "Other"}, 1, 0},
        {"anywhere in the name", {"USB Kovalex/Amp"}, {"x Kovalex/"}, 0, 0},
        {"another case does not match", {"kovalex/ORX"}, {"KOVALEX/ORX"}, -1, -1},
        {"the slash is part of the name", {"Kovalex ORX"}, {"Kovalex:ORX"}, -1, -1},
        {"input only", {"Kovalex/ORX"}, {"Other"}, -1, -1},
        {"output only", {"Other"}, {"Kovalex/ORX"}, -1, -1},
        {"names are matched after the -1 rule", {"Kovalex/ORX-1"}, {"Kovalex/1-1"}, 0, 0},
        {"the -1 rule can cut the marker off", {"Amp-1 Kovalex/"}, {"Kovalex/ORX"}, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startOnFakePorts(c.in, c.out);
        session->openORX();
        EXPECT_EQ(fakePorts->openedIn, c.expectedIn);
        EXPECT_EQ(fakePorts->openedOut, c.expectedOut);
        EXPECT_EQ(session->isOpen(), c.expectedIn >= 0);
        EXPECT_EQ(events.valuesOf(kEventOpened).size(), c.expectedIn >= 0 ? 1u : 0u);
        TearDown();
    }
}

// Port names as Linux gives them: the ALSA sequencer appends "<client>:<port>" numbers that change when the
// cable is plugged in again; JACK's bridge and PipeWire name the ports their own way.
TEST_F(Session, TheUsersChosenPortsComeFirstAndAreFoundAgainUnderNewNumbers)
{
    struct Case {
        const char* what;
        std::vector<std::string> in, out;
        std::string chosenIn, chosenOut;
        int expectedIn, expectedOut;
        bool byPart = false; // as --midi-in and --midi-out give them
    };
    const std::vector<std::string> alsaIn{"Midi Through:Midi Through Port-0 14:0", "TEVO:TEVO MIDI 1 20:0"};
    const std::vector<std::string> alsaOut{"Midi Through:Midi Through Port-0 14:0", "TEVO:TEVO MIDI 1 20:0"};
    const Case cases[] = {
        {"chosen without the numbers", alsaIn, alsaOut, "TEVO:TEVO MIDI 1", "TEVO:TEVO MIDI 1", 1, 1},
        {"plugged in again under other numbers",
         {"TEVO:TEVO MIDI 1 24:0"},
         {"Midi Through:Midi Through Port-0 14:0", "TEVO:TEVO MIDI 1 24:0"},
         "TEVO:TEVO MIDI 1 20:0",
         "TEVO:TEVO MIDI 1 20:0",
         0,
         1},
        {"letters in another case", alsaIn, alsaOut, "tevo:tevo midi 1", "TEVO:tevo MIDI 1", 1, 1},
        {"JACK's bridge",
         {"system:midi_capture_1", "system:midi_capture_2"},
         {"system:midi_playback_1", "system:midi_playback_2"},
         "system:midi_capture_2",
         "system:midi_playback_2",
         1,
         1},
        {"PipeWire",
         {"Midi-Bridge:TEVO 1:(capture_0) TEVO MIDI 1"},
         {"Midi-Bridge:TEVO 1:(playback_0) TEVO MIDI 1"},
         "Midi-Bridge:TEVO 1:(capture_0) TEVO MIDI 1",
         "Midi-Bridge:TEVO 1:(playback_0) TEVO MIDI 1",
         0,
         0},
        {"the choice wins over the marker",
         {"Kovalex/ORX", "TEVO:TEVO MIDI 1 20:0"},
         {"Kovalex/ORX", "TEVO:TEVO MIDI 1 20:0"},
         "TEVO:TEVO MIDI 1",
         "TEVO:TEVO MIDI 1",
         1,
         1},
        {"half a choice present: the marker decides",
         {"Kovalex/ORX", "TEVO:TEVO MIDI 1 20:0"},
         {"Kovalex/ORX"},
         "TEVO:TEVO MIDI 1",
         "TEVO:TEVO MIDI 1",
         0,
         0},
        {"a chosen port that is not there, and no marker", alsaIn, alsaOut, "Other:Amp 1", "Other:Amp 1", -1, -1},
        {"a longer name is another port",
         {"TEVO:TEVO MIDI 10 20:0"},
         {"TEVO:TEVO MIDI 10 20:0"},
         "TEVO:TEVO MIDI 1",
         "TEVO:TEVO MIDI 1",
         -1,
         -1},
        {"no choice: only the marker", alsaIn, alsaOut, "", "", -1, -1},
        {"a part of the name, in any case", alsaIn, alsaOut, "tevo midi", "TEVO MIDI 1", 1, 1, true},
        {"a part of the name: the first port holding it",
         {"system:midi_capture_1", "system:midi_capture_2"},
         {"system:midi_playback_1", "system:midi_playback_2"},
         "capture",
         "playback",
         0,
         0,
         true},
        {"a part that no port holds: the marker decides",
         {"Kovalex/ORX", "TEVO:TEVO MIDI 1 20:0"},
         {"Kovalex/ORX", "TEVO:TEVO MIDI 1 20:0"},
         "Other amp",
         "TEVO",
         0,
         0,
         true},
        {"a whole name is not taken for a part",
         {"TEVO:TEVO MIDI 1 20:0"},
         {"TEVO:TEVO MIDI 1 20:0"},
         "TEVO MIDI",
         "TEVO MIDI",
         -1,
         -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startOnFakePorts(c.in, c.out);
        session->setPortChoice(ChosenPort{c.chosenIn, c.byPart}, ChosenPort{c.chosenOut, c.byPart});
        session->openORX();
        EXPECT_EQ(fakePorts->openedIn, c.expectedIn);
        EXPECT_EQ(fakePorts->openedOut, c.expectedOut);
        TearDown();
    }
}

TEST_F(Session, WithoutAMatchingPairNoEventButNoHeartbeatEveryCheckPeriod)
{
    fakePorts->inNames = {"Kovalex/ORX"};
    fakePorts->outNames = {"Something else"};
    startSession(false);
    session->openORX();
    EXPECT_TRUE(events.all().empty());
    tick(0ms); // the first check is due at once
    tick(2999ms);
    tick(1ms);
    tick(3000ms);
    EXPECT_EQ(events.all(), (std::vector<std::pair<int, int>>{{5, 0}, {5, 0}, {5, 0}}));
}

TEST_F(Session, OpenRaisesEventOneAndTheFirstHeartbeatEventTwoOnce)
{
    startSession();
    session->openORX();
    EXPECT_EQ(events.all(), (std::vector<std::pair<int, int>>{{kEventOpened, 0}}));
    session->openORX(); // already open: nothing again
    for (int i = 0; i < 4; ++i)
        tick(500ms);
    EXPECT_EQ(events.valuesOf(kEventConnected), std::vector<int>{2});
    EXPECT_EQ(session->getModelCode(), '2');
    // One heartbeat request per 500 ms, the first at once.
    const auto request = sysex::heartbeatRequest();
    const auto received = amp->received();
    EXPECT_EQ(std::count(received.begin(), received.end(), std::vector<std::uint8_t>(request.begin(), request.end())),
              4);
}

TEST_F(Session, NoHeartbeatRequestBeforeHalfASecond)
{
    startSession();
    session->openORX();
    tick(0ms);
    amp->clearReceived();
    tick(499ms);
    EXPECT_TRUE(amp->received().empty());
    tick(1ms);
    EXPECT_EQ(amp->received().size(), 1u);
}

TEST_F(Session, ModelChangeDisconnectsAndTheWorkerReopensBeforeTheNewModelIsAnnounced)
{
    startSession();
    connect();
    session->addRequest(16, 0, 0); // queued before the change: dropped with the old connection
    events.clear();
    amp->setModelCode('1');
    inject(sysex::heartbeat('1'));
    EXPECT_EQ(events.all(), (std::vector<std::pair<int, int>>{{kEventDisconnected, 0}}))
        << "the new model is not announced over ports that are about to close";
    EXPECT_EQ(session->getModelCode(), 0);
    EXPECT_EQ(session->queuedRequestCount(), 0u);
    EXPECT_TRUE(session->isOpen()) << "ports are closed by the worker, not inside the input callback";
    inject(sysex::heartbeat('1')); // still in flight on the old ports: ignored
    EXPECT_EQ(events.all().size(), 1u);

    tick(1ms); // the worker's next pass: close, open again, ask for the heartbeat at once
    EXPECT_EQ(events.all(),
              (std::vector<std::pair<int, int>>{{kEventDisconnected, 0}, {kEventOpened, 0}, {kEventConnected, 1}}));
    EXPECT_EQ(session->getModelCode(), '1');
    EXPECT_TRUE(session->isOpen());
}

TEST_F(Session, MessagesOfEightBytesOrFewerAreIgnored)
{
    startSession();
    amp->setAnswersHeartbeat(false);
    session->openORX();
    const std::vector<std::uint8_t> nine{0xF0, 0x43, 0x7D, 0x60, 'X', 'Q', 'V', '1', 0xF7};
    for (std::size_t size = 1; size <= 8; ++size)
        inject(std::vector<std::uint8_t>(nine.begin(), nine.begin() + static_cast<long>(size)));
    EXPECT_TRUE(events.valuesOf(kEventConnected).empty());
    inject(nine);
    EXPECT_EQ(events.valuesOf(kEventConnected), std::vector<int>{1});
}

TEST_F(Session, ForeignAndMalformedHeartbeatsAreIgnored)
{
    startSession();
    amp->setAnswersHeartbeat(false);
    session->openORX();
    const std::vector<std::vector<std::uint8_t>> foreign{
        {0xF0, 0x41, 0x7D, 0x60, 'X', 'Q', 'V', '1', 0xF7}, // another maker's header
        {0xF0, 0x43, 0x7D, 0x60, 'X', 'Q', 'W', '1', 0xF7}, // wrong tag
        {0xF0, 0x43, 0x7D, 0x60, 'X', 'Q', 'V', '3', 0xF7}, // no such model
        {0xF0, 0x43, 0x7D, 0x50, 'X', 'Q', 'V', '1', 0xF7}, // not a heartbeat kind
    };
    for (const auto& m : foreign)
        inject(m);
    EXPECT_TRUE(events.valuesOf(kEventConnected).empty());
}

TEST_F(Session, NoHeartbeatEventRepeatsEveryThreeSecondsWhilePortsAreOpen)
{
    startSession();
    amp->setAnswersHeartbeat(false);
    session->openORX();
    tick(0ms);
    tick(2999ms);
    EXPECT_EQ(events.valuesOf(kEventNoHeartbeat).size(), 1u);
    tick(1ms);
    tick(3000ms);
    EXPECT_EQ(events.valuesOf(kEventNoHeartbeat).size(), 3u);
    EXPECT_TRUE(session->isOpen()) << "an open amplifier that stays silent is not closed";
}

TEST_F(Session, AHeartbeatOlderThanTheLimitDisconnects)
{
    startSession();
    connect();
    amp->setAnswersHeartbeat(false);
    const std::int64_t lastBeat = clock->secondsSince1970();
    events.clear();

    clock->advance(3000ms);
    clock->setSeconds(lastBeat + 5); // exactly the limit: still connected
    session->checkConnection();
    EXPECT_TRUE(events.all().empty());

    clock->advance(3000ms);
    clock->setSeconds(lastBeat + 6);
    session->checkConnection();
    EXPECT_EQ(events.all(), (std::vector<std::pair<int, int>>{{kEventDisconnected, 0}}));
    EXPECT_FALSE(session->isOpen());
    EXPECT_EQ(session->getModelCode(), 0);

    tick(3000ms); // searching again
    EXPECT_EQ(events.valuesOf(kEventNoHeartbeat).size(), 1u);
}

TEST_F(Session, AClockGoingBackwardsDoesNotDisconnect)
{
    startSession();
    connect();
    amp->setAnswersHeartbeat(false);
    events.clear();
    clock->setSeconds(clock->secondsSince1970() - 100);
    tick(3000ms);
    EXPECT_TRUE(session->isOpen());
    EXPECT_TRUE(events.all().empty());
}

TEST_F(Session, ReconnectsAfterADisconnection)
{
    startSession();
    connect();
    session->disconnect();
    EXPECT_FALSE(session->isOpen());
    session->openORX();
    tick(500ms);
    EXPECT_EQ(events.valuesOf(kEventConnected), (std::vector<int>{2, 2}));
    EXPECT_EQ(events.valuesOf(kEventOpened).size(), 2u);
}

TEST_F(Session, APortThatFailsToOpenIsLoggedAndRetriedFromTheTop)
{
    fakePorts->inNames = {"Kovalex/ORX"};
    fakePorts->outNames = {"Kovalex/ORX"};
    fakePorts->openOutResult = kMidiAllocated;
    startSession(false);
    ::testing::internal::CaptureStderr();
    session->openORX();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[CATCH] Exception! - CORXManager::openORX()\n");
    EXPECT_FALSE(session->isOpen());
    EXPECT_TRUE(events.all().empty());

    fakePorts->openOutResult = kMidiOk;
    session->openORX();
    EXPECT_TRUE(session->isOpen());
    EXPECT_EQ(fakePorts->closeInCalls, 1) << "the half-opened input was closed before opening again";
    EXPECT_EQ(events.valuesOf(kEventOpened).size(), 1u);
}

TEST_F(Session, InitialRecordsAndGetters)
{
    startSession();
    FIRRecord current;
    session->getCurrentIR(1, current);
    EXPECT_EQ(current, makeBypassRecord());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(current.irName.data())), "Bypass");
    EXPECT_EQ(current.FIRCOE, 0x3FFF);
    EXPECT_EQ(current.coefficients[0], 0x7FFF);

    std::int32_t a = -1, b = -1, c = -1, d = -1;
    EXPECT_TRUE(session->getEffectParams(0, a, b, c, d));
    EXPECT_EQ(a + b + c + d, 0);
    EXPECT_FALSE(session->getEffectParams(2, a, b, c, d));
    EXPECT_EQ(session->getModelCode(), 0);
    session->setLoopSettingsAvailable(true);
    EXPECT_TRUE(session->isLoopSettingsAvailable());
}

// --- listener registry ----------------------------------------------------------

struct Tagged {
    static void first(std::int32_t e, std::int32_t v, void* c)
    {
        static_cast<std::vector<std::string>*>(c)->push_back("1:" + std::to_string(e) + "," + std::to_string(v));
    }
    static void second(std::int32_t e, std::int32_t, void* c)
    {
        static_cast<std::vector<std::string>*>(c)->push_back("2:" + std::to_string(e));
    }
};

TEST_F(Session, ListenersAreCalledInOrderWithTheirOwnContextAndRemovedOnce)
{
    startSession();
    std::vector<std::string> calls;
    session->addEventCallback(&Tagged::first, &calls);
    session->addEventCallback(&Tagged::second, &calls);
    session->addEventCallback(&Tagged::first, &calls);
    session->notifyEvent(9, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"1:9,1", "2:9", "1:9,1"}));
    calls.clear();
    session->removeEventCallback(&Tagged::first); // only the first entry goes
    session->notifyEvent(8, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"2:8", "1:8,0"}));
}

// Two listeners of one function with contexts of their own (a restore listening inside the tool's own wait):
// removing one by its context leaves the other, even when the other came first.
TEST_F(Session, AListenerRemovedByItsContextLeavesOneSharingItsFunction)
{
    startSession();
    std::vector<std::string> outer, inner;
    session->addEventCallback(&Tagged::first, &outer);
    session->addEventCallback(&Tagged::first, &inner);
    session->removeEventCallback(&Tagged::first, &inner);
    session->notifyEvent(7, 2);
    EXPECT_EQ(outer, (std::vector<std::string>{"1:7,2"}));
    EXPECT_TRUE(inner.empty());
    session->removeEventCallback(&Tagged::first, &inner); // not there any more: nothing else goes
    session->notifyEvent(6, 0);
    EXPECT_EQ(outer.size(), 2u);
}

TEST_F(Session, ListenersCanComeAndGoWhileAnotherThreadNotifies)
{
    startSession();
    std::atomic<bool> stop{false};
    std::thread notifier([&] {
        while (!stop)
            session->notifyEvent(10, 0);
    });
    std::atomic<int> calls{0};
    auto counter = [](std::int32_t, std::int32_t, void* c) { ++*static_cast<std::atomic<int>*>(c); };
    for (int i = 0; i < 2000; ++i) {
        session->addEventCallback(counter, &calls);
        session->removeEventCallback(counter);
    }
    stop = true;
    notifier.join();
    // Once removed, it is never called again.
    const int seen = calls.load();
    session->notifyEvent(10, 0);
    EXPECT_EQ(calls.load(), seen);
}

} // namespace
} // namespace orx
