// Requests on the worker against the simulated amplifier: bulk dumps, writes, transfers, errors, queue rules.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionFixture.h"
#include "WindowLikeListener.h"

#include "FIRGain.h"
#include "GenericException.h"
#include "SysexCatalogue.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <stdexcept>

namespace orx {
namespace {

using namespace std::chrono_literals;
using B = std::vector<std::uint8_t>;

class Requests : public test::SessionFixture {
protected:
    // Worker running, amplifier connected (event 2 seen), nothing else sent yet.
    void startConnected(std::uint8_t model = '2', SessionTiming timing = test::fastRequestTiming())
    {
        amp->setModelCode(model);
        startSession(true, timing);
        session->startRequestThread();
        session->addRequest(kRequestOpen, 0, 0);
        ASSERT_TRUE(events.waitFor(kEventConnected));
        amp->clearReceived();
    }

    void TearDown() override
    {
        if (session)
            session->stopRequestThread();
        SessionFixture::TearDown();
    }
    // For a table of cases in one test: nothing of one case's session or amplifier reaches the next.
    void freshSessionForNextCase()
    {
        TearDown();
        session = nullptr;
        ports = nullptr;
        amp = std::make_shared<sim::SimulatedAmp>('2');
        events.clear();
    }

    // Messages the amp received, heartbeat requests left out.
    std::vector<B> sent()
    {
        const auto beat = sysex::heartbeatRequest();
        std::vector<B> out;
        for (auto& m : amp->received())
            if (m != B(beat.begin(), beat.end()))
                out.push_back(std::move(m));
        return out;
    }
    std::vector<int> dumpRequestsSent()
    {
        std::vector<int> types;
        for (const auto& m : sent())
            if (const auto t = sysex::parseDumpRequest(m.data(), m.size()))
                types.push_back(*t);
        return types;
    }
    std::vector<int> blocksSent()
    {
        std::vector<int> blocks;
        for (const auto& m : sent())
            if (const auto b = sysex::parseFIRDataBlock(m.data(), m.size()))
                blocks.push_back(b->blockNumber);
        return blocks;
    }
    // Runs a request and waits for the event that ends it.
    void run(std::int32_t type, std::int32_t a1, std::int32_t a2, int endEvent, std::size_t count = 1)
    {
        session->addRequest(type, a1, a2);
        ASSERT_TRUE(events.waitFor(endEvent, count)) << "request " << type << " never raised " << endEvent;
    }
    // Plain writes raise no event: an updater request queued behind them marks when they have run.
    void runWrite(std::int32_t type, std::int32_t a1, std::int32_t a2)
    {
        const std::size_t before = events.valuesOf(kEventUpdater).size();
        session->addRequest(type, a1, a2);
        run(kRequestUpdater, 0, 0, kEventUpdater, before + 1);
    }

    static FIRRecord record(const char* name, std::int16_t seed)
    {
        FIRRecord r;
        std::memcpy(r.irName.data(), name, std::strlen(name));
        r.FIRCOE = dBToFIRCOE(-6);
        for (std::size_t i = 0; i < r.coefficients.size(); ++i)
            r.coefficients[i] = static_cast<std::int16_t>(seed * 31 + static_cast<int>(i) * 977);
        return r;
    }
    void install(int ampCh, const FIRRecord& r, std::size_t count = 1)
    {
        session->setSpeakerTabFIRCOE(r);
        run(kRequestInstall, ampCh, 0, kEventInstalled, count);
    }
};

// --- bulk dumps ------------------------------------------------------------------

TEST_F(Requests, ReadAllAsksForSixDumpsWithModelOneAndElevenWithModelTwo)
{
    struct Case {
        std::uint8_t model;
        std::vector<int> types;
    } cases[] = {{'1', {10, 0, 1, 2, 3, 4}}, {'2', {10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        events.clear();
        startConnected(c.model);
        run(kRequestReadAll, 0, 0, kEventReadAll);
        EXPECT_EQ(dumpRequestsSent(), c.types);
        TearDown();
        session = nullptr;
    }
}

TEST_F(Requests, ReadAllTakesTheAmplifiersStateAndItsCurrentResponses)
{
    amp->setEffectByte(0, 2);  // channel I uses slot 2
    amp->setEffectByte(8, 4);  // channel II uses slot 4 (record 9)
    amp->setEffectByte(9, 2);  // booster Amber on II
    amp->setEffectByte(10, 1); // parallel FX loop on II
    amp->setEffectByte(11, 3); // Hall on II
    amp->setEffectByte(12, 2); // gate 2 on II
    amp->setEffectByte(5, 1);  // loop send Mixed
    FIRRecord custom = record("My Cab", 3);
    custom.FIRCOE = 1234;
    amp->setSlot(9, custom);
    startConnected();
    run(kRequestReadAll, 0, 0, kEventReadAll);

    std::int32_t p[4] = {};
    ASSERT_TRUE(session->getEffectParams(1, p[0], p[1], p[2], p[3]));
    EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{2, 1, 3, 2}));
    std::int32_t send = -1, ret = -1;
    session->getFXLoopSettings(send, ret);
    EXPECT_EQ(send, 1);
    EXPECT_EQ(ret, 0);

    FIRRecord current;
    session->getCurrentIR(1, current);
    EXPECT_EQ(current.irName, custom.irName);
    EXPECT_EQ(current.FIRCOE, 1234);
    EXPECT_EQ(current.coefficients, FIRRecord{}.coefficients) << "header dumps carry no coefficients";
    session->getCurrentIR(0, current);
    EXPECT_EQ(current.irName, amp->model().slots[2].irName);
}

TEST_F(Requests, ABadDumpIsAskedForAgainUpToSixTimes)
{
    startConnected();
    amp->corruptNextDumps(5);
    ::testing::internal::CaptureStderr();
    run(kRequestReadAll, 0, 0, kEventReadAll);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(dumpRequestsSent().size(), 11u + 5u);
    EXPECT_NE(log.find("[ERROR] Bulk dump effect data check sum error.\n[ERROR] Bulk dump received effect data error."),
              std::string::npos);
    EXPECT_TRUE(events.valuesOf(kEventError).empty());
}

TEST_F(Requests, SixBadDumpsEndWithReceiveErrorAndKeepTheConnection)
{
    startConnected();
    amp->corruptNextDumps(6);
    ::testing::internal::CaptureStderr();
    session->addRequest(kRequestReadAll, 0, 0);
    session->addRequest(kRequestBooster, 0, 1); // emptied with the queue
    ASSERT_TRUE(events.waitFor(kEventError));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(events.valuesOf(kEventError), std::vector<int>{mstd::kErrReceiveData});
    EXPECT_EQ(dumpRequestsSent(), std::vector<int>(6, 10));
    EXPECT_TRUE(session->isOpen());
    EXPECT_TRUE(events.valuesOf(kEventDisconnected).empty());
    runWrite(kRequestReverb, 0, 1); // the worker goes on with later requests
    const auto dropped = sysex::parameterMessage(0, 1, 0, 1);
    for (const auto& m : sent())
        EXPECT_NE(m, B(dropped.begin(), dropped.end())) << "the booster write was emptied with the queue";
}

// The awaited dump comes bad and another slot's good dump is right behind it, both in before the wait
// begins: the good one must not pass for the awaited one.
TEST_F(Requests, ABadDumpIsNotTakenForGoodBecauseAnotherGoodDumpFollowsIt)
{
    struct Case {
        const char* what;
        int dumpType;
        int badAnswers;
        int expectedError; // 0: the request ends well
    };
    const Case cases[] = {
        {"FIR header, one bad answer", 3, 1, 0},
        {"effect data, one bad answer", sysex::kDumpTypeEffectData, 1, 0},
        {"FIR header, bad six times", 3, 6, mstd::kErrReceiveData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FIRRecord warm = record("Warm Cab", 4);
        warm.FIRCOE = 1234;
        amp->setSlot(3, warm);
        amp->setEffectByte(1, 2); // booster Amber on I
        startSession();
        connect();
        ports->setAnswersBeforeSendReturns(true);
        amp->clearReceived();
        amp->corruptNextDumps(c.badAnswers);
        amp->addStrayDumps(c.badAnswers);
        ::testing::internal::CaptureStderr();
        int error = 0;
        try {
            session->requestBulkDump(c.dumpType);
        } catch (const mstd::CGenericException& e) {
            error = e.getCode();
        }
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(error, c.expectedError);
        EXPECT_EQ(dumpRequestsSent(),
                  std::vector<int>(static_cast<std::size_t>(c.badAnswers + (error ? 0 : 1)), c.dumpType));
        const FIRRecord slot = session->getSlot(3);
        std::int32_t p[4] = {};
        session->getEffectParams(0, p[0], p[1], p[2], p[3]);
        if (c.expectedError != 0) {
            EXPECT_EQ(slot.irName, FIRRecord{}.irName) << "the slot keeps what it had";
        } else if (c.dumpType == 3) {
            EXPECT_EQ(slot.irName, warm.irName);
            EXPECT_EQ(slot.FIRCOE, 1234);
        } else {
            EXPECT_EQ(p[0], 2);
        }
        freshSessionForNextCase();
    }
}

// Would catch: a test dump asked for again when it comes damaged (a bad cable would then look sound), a lost
// one ending the request in an error or the connection as a lost read does, or its wait taken from the session's
// reply time-out rather than from the request.
TEST_F(Requests, ATestDumpIsAskedForOnceAndSaysWhatCameBack)
{
    const struct {
        const char* what;
        void (*fault)(sim::SimulatedAmp&);
        int outcome;
    } cases[] = {
        {"nothing wrong", [](sim::SimulatedAmp&) {}, kDumpWhole},
        {"a bad checksum", [](sim::SimulatedAmp& a) { a.corruptNextDumps(1); }, kDumpDamaged},
        {"the answer lost", [](sim::SimulatedAmp& a) { a.dropNextReplies(1); }, kDumpLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SessionTiming timing = test::fastRequestTiming();
        timing.replyTimeout = 60s; // far beyond the test's own limit: only the request's 50 ms can end a lost wait
        startConnected('2', timing);
        c.fault(*amp);
        ::testing::internal::CaptureStderr();
        run(kRequestTestDump, 4, 50, kEventDumpTested);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(events.valuesOf(kEventDumpTested), std::vector<int>{c.outcome});
        EXPECT_EQ(dumpRequestsSent(), std::vector<int>{4});
        EXPECT_TRUE(events.valuesOf(kEventError).empty());
        EXPECT_TRUE(session->isOpen());
        run(kRequestTestDump, sysex::kDumpTypeEffectData, 50, kEventDumpTested, 2);
        EXPECT_EQ(events.valuesOf(kEventDumpTested).back(), kDumpWhole) << "the link goes on working";
        freshSessionForNextCase();
    }
}

// Would catch: an answer that came after its wait gave up being taken for the answer to the next request of
// the same kind, so that a dump the amplifier never sent counts as whole.
TEST_F(Requests, ALateAnswerIsNoAnswerToTheNextTestDump)
{
    startConnected();
    FIRRecord late = record("Late", 1);
    amp->setSlot(4, late);
    amp->setReplyDelay(200ms);
    run(kRequestTestDump, 4, 20, kEventDumpTested);
    ASSERT_EQ(events.valuesOf(kEventDumpTested), std::vector<int>{kDumpLost});
    amp->setSilent(true);
    ASSERT_TRUE(test::waitUntil([&] { return session->getSlot(4).irName == late.irName; })) << "the late answer came";
    run(kRequestTestDump, 4, 20, kEventDumpTested, 2);
    EXPECT_EQ(events.valuesOf(kEventDumpTested), (std::vector<int>{kDumpLost, kDumpLost}));
}

// --- a model change and stopping, while a request is in flight or not ---------------------------

TEST_F(Requests, AModelChangeEndsTheRequestInFlightAndReconnectsWithoutAnError)
{
    for (const bool duringReadAll : {true, false}) {
        SCOPED_TRACE(duringReadAll ? "during a read-all" : "while idle");
        startConnected('2');
        session->addEventCallback(&test::answerAsTheWindowDoes, session);
        if (duringReadAll) {
            amp->setReplyDelay(20ms); // eleven dumps: the change lands in the middle
            session->addRequest(kRequestReadAll, 0, 0);
            ASSERT_TRUE(test::waitUntil([&] { return dumpRequestsSent().size() >= 2; }));
        }
        amp->setModelCode('1');
        if (duringReadAll)
            ports->inject(sysex::heartbeat('1')); // the amplifier says so unasked, mid-transfer
        else
            clock->advance(500ms); // the next heartbeat request brings the news
        ASSERT_TRUE(events.waitFor(kEventDisconnected));
        const std::size_t sentBeforeChange = amp->received().size();
        ASSERT_TRUE(events.waitFor(kEventReadAll)) << test::describeEvents(events.all());

        EXPECT_TRUE(events.valuesOf(kEventError).empty()) << test::describeEvents(events.all());
        EXPECT_EQ(events.codesWithout(kEventNoHeartbeat),
                  (std::vector<int>{kEventOpened, kEventConnected, kEventDisconnected, kEventOpened, kEventConnected,
                                    kEventUpdater, kEventReadAll}))
            << "the interrupted read-all raises nothing";
        EXPECT_EQ(events.valuesOf(kEventConnected), (std::vector<int>{2, 1}));
        EXPECT_EQ(session->getModelCode(), '1');
        std::vector<int> dumpsAfter;
        const auto received = amp->received();
        for (std::size_t i = sentBeforeChange; i < received.size(); ++i)
            if (const auto t = sysex::parseDumpRequest(received[i].data(), received[i].size()))
                dumpsAfter.push_back(*t);
        EXPECT_EQ(dumpsAfter, (std::vector<int>{10, 0, 1, 2, 3, 4})) << "only the new model's read-all";

        freshSessionForNextCase();
    }
}

TEST_F(Requests, StoppingEndsAWaitForASilentAmplifierWithoutAnError)
{
    SessionTiming timing = test::fastRequestTiming();
    timing.replyTimeout = 30s; // far longer than the test waits: only the stop can end the wait
    startConnected('2', timing);
    amp->setSilent(true);
    session->setSpeakerTabFIRCOE(record("Slow", 1));
    session->addRequest(kRequestInstall, 0, 0);
    ASSERT_TRUE(test::waitUntil([&] { return !blocksSent().empty(); }));
    auto stopped = std::async(std::launch::async, [this] { session->stopRequestThread(); });
    EXPECT_EQ(stopped.wait_for(10s), std::future_status::ready) << "the stop waited for the amplifier";
    stopped.wait();
    EXPECT_EQ(blocksSent(), std::vector<int>{0});
    EXPECT_TRUE(events.valuesOf(kEventError).empty());
    EXPECT_TRUE(events.valuesOf(kEventInstalled).empty());
}

TEST_F(Requests, NoAnswerEndsWithTimeoutThenDisconnection)
{
    startConnected();
    amp->setSilent(true);
    run(kRequestReadAll, 0, 0, kEventDisconnected);
    EXPECT_EQ(events.codesWithout(kEventNoHeartbeat),
              (std::vector<int>{kEventOpened, kEventConnected, kEventError, kEventDisconnected}));
    EXPECT_EQ(events.valuesOf(kEventError), std::vector<int>{mstd::kErrTimeout});
    EXPECT_FALSE(session->isOpen());
    EXPECT_EQ(session->getModelCode(), 0);
}

struct DumpCase {
    const char* what;
    bool effect;
    std::size_t size; // received length
    bool breakChecksum;
    std::vector<std::string> log;
};

TEST_F(Requests, BadDumpDiagnostics)
{
    const DumpCase cases[] = {
        {"long effect data",
         true,
         37,
         false,
         {"[ERROR] Too long bulkdump effect data.", "[ERROR] Bulk dump received effect data error."}},
        {"short effect data",
         true,
         30,
         false,
         {"[ERROR] Too short bulk dump effect data.", "[ERROR] Bulk dump effect data check sum error.",
          "[ERROR] Bulk dump received effect data error."}},
        {"effect checksum",
         true,
         36,
         true,
         {"[ERROR] Bulk dump effect data check sum error.", "[ERROR] Bulk dump received effect data error."}},
        {"long header",
         false,
         87,
         false,
         {"[ERROR] Too long bulkdump FIR header.", "[ERROR] bulk dump received FIR data error."}},
        {"short header",
         false,
         80,
         false,
         {"[ERROR] Too short bulk dump FIR header.", "[ERROR] Bulk dump FIR header check sum error.",
          "[ERROR] bulk dump received FIR data error."}},
        {"header checksum",
         false,
         86,
         true,
         {"[ERROR] Bulk dump FIR header check sum error.", "[ERROR] bulk dump received FIR data error."}},
    };
    startSession();
    session->openORX();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        B m = c.effect ? sysex::effectDataDump(EffectData{}) : sysex::firHeaderDump(3, {'x'}, 5);
        if (c.breakChecksum)
            m[m.size() - 2] ^= 0x01;
        m.resize(c.size, 0x00);
        ::testing::internal::CaptureStderr();
        inject(m);
        std::string expected;
        for (const auto& line : c.log)
            expected += line + "\n";
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), expected);
        EXPECT_EQ(session->getSlot(3).irName[0], 0) << "a bad header changes nothing";
    }
}

TEST_F(Requests, AGoodHeaderDumpChangesOnlyNameAndGainOfItsSlot)
{
    startSession();
    session->openORX();
    const FIRRecord before7 = session->getSlot(7);
    inject(sysex::firHeaderDump(7, {'N', 'e', 'w'}, 0x3FFF));
    const FIRRecord after7 = session->getSlot(7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(after7.irName.data())), "New");
    EXPECT_EQ(after7.FIRCOE, 0x3FFF);
    EXPECT_EQ(after7.coefficients, before7.coefficients);
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot) {
        if (slot != 7) {
            EXPECT_EQ(session->getSlot(slot).FIRCOE, 5181) << slot;
        }
    }
}

// --- amplifier announcements ---------------------------------------------------------

TEST_F(Requests, AmpTypeKnobSwitchesTheCurrentResponse)
{
    startConnected();
    run(kRequestReadAll, 0, 0, kEventReadAll);
    amp->turnAmpTypeKnob(1, 3);
    ASSERT_TRUE(events.waitFor(kEventSlotSwitched));
    EXPECT_EQ(events.valuesOf(kEventSlotSwitched), std::vector<int>{1});
    FIRRecord current;
    session->getCurrentIR(1, current);
    EXPECT_EQ(current, session->getSlot(8));
}

TEST_F(Requests, ASlotOutsideTheChannelsFiveIsIgnored)
{
    startSession();
    session->openORX();
    FIRRecord before;
    session->getCurrentIR(1, before);
    for (std::uint8_t slot : {5, 9, 0x7F}) {
        const auto m = sysex::parameterMessage(0x00, 0x48, 0, slot);
        inject(B(m.begin(), m.end()));
    }
    EXPECT_TRUE(events.valuesOf(kEventSlotSwitched).empty());
    FIRRecord after;
    session->getCurrentIR(1, after);
    EXPECT_EQ(after, before);
}

// --- writes ----------------------------------------------------------------------------

TEST_F(Requests, ParameterWritesSendTheirExactBytes)
{
    startConnected();
    amp->setEffectByte(0, 1);
    amp->setEffectByte(8, 3);
    run(kRequestReadAll, 0, 0, kEventReadAll);
    amp->clearReceived();
    struct Case {
        const char* what;
        std::int32_t type, a1, a2;
        B bytes;
    } cases[] = {
        {"reverb (parameter 3) of channel II",
         kRequestReverb,
         1,
         2,
         {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x00, 0x0B, 0x00, 0x02, 0xF7}},
        {"booster of channel I",
         kRequestBooster,
         0,
         1,
         {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x00, 0x01, 0x00, 0x01, 0xF7}},
        {"loop return", kRequestLoopReturn, 1, 0, {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x00, 0x06, 0x00, 0x01, 0xF7}},
        {"gain 0x3FFF on channel II",
         kRequestFIRCOE,
         1,
         0x3FFF,
         {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x04, 0x06, 0x7F, 0x7F, 0xF7}},
        {"gain 5181 on channel I",
         kRequestFIRCOE,
         0,
         5181,
         {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x04, 0x04, 0x28, 0x3D, 0xF7}},
        {"select: channel II uses slot 3 + 5",
         kRequestSelect,
         1,
         0,
         {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x04, 0x00, 0x01, 0x08, 0xF7}},
        {"select: channel I uses slot 1",
         kRequestSelect,
         0,
         0,
         {0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x04, 0x00, 0x00, 0x01, 0xF7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        amp->clearReceived();
        runWrite(c.type, c.a1, c.a2);
        const auto all = sent();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.front(), c.bytes);
    }
    std::int32_t p[4] = {};
    session->getEffectParams(1, p[0], p[1], p[2], p[3]);
    EXPECT_EQ(p[2], 2);
    FIRRecord current;
    session->getCurrentIR(1, current);
    EXPECT_EQ(current.FIRCOE, 0x3FFF);
}

TEST_F(Requests, RenamingSendsOnlyTheChangedCharacters)
{
    startConnected();
    install(1, record("Cab A", 1));
    struct Case {
        const char* what;
        const char* name;
        std::vector<std::pair<int, int>> sentChars; // index, byte
    } cases[] = {
        {"one character differs", "Cab B", {{4, 'B'}}},
        {"identical name", "Cab B", {}},
        {"shorter name clears the rest", "Cab", {{3, 0}, {4, 0}}},
        {"bytes outside ASCII go as '?'", "Cab\xC3\xA9", {{3, '?'}, {4, '?'}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        amp->clearReceived();
        std::array<std::uint8_t, kIrNameLength> name{};
        std::memcpy(name.data(), c.name, std::strlen(c.name));
        session->setSpeakerTabIrName(name.data());
        runWrite(kRequestName, 1, 0);
        std::vector<std::pair<int, int>> chars;
        for (const auto& m : sent())
            if (const auto p = sysex::parseParameter(m.data(), m.size()); p && p->group == 4 && p->parameter == 5)
                chars.emplace_back(p->data1, p->data2);
        EXPECT_EQ(chars, c.sentChars);
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(amp->model().current[1].irName.data())), "Cab??");
}

TEST_F(Requests, AFullNameNeverTouchesTheLastByte)
{
    startConnected();
    std::array<std::uint8_t, kIrNameLength> name;
    name.fill('Z');
    session->setSpeakerTabIrName(name.data());
    runWrite(kRequestName, 0, 0);
    int count = 0;
    for (const auto& m : sent())
        if (const auto p = sysex::parseParameter(m.data(), m.size()); p && p->group == 4 && p->parameter == 3) {
            EXPECT_LT(p->data1, 63);
            ++count;
        }
    EXPECT_EQ(count, 63);
    FIRRecord current;
    session->getCurrentIR(0, current);
    EXPECT_EQ(current.irName[63], 0);
}

TEST_F(Requests, StoreReplyCopiesTheCurrentResponseIntoTheChannelsSlot)
{
    amp->setEffectByte(8, 3);
    startConnected();
    run(kRequestReadAll, 0, 0, kEventReadAll);
    const FIRRecord r = record("Stored", 9);
    install(1, r);
    run(kRequestStore, 1, 0, kEventStored);
    EXPECT_EQ(events.valuesOf(kEventStored), std::vector<int>{1});
    EXPECT_EQ(session->getSlot(8), r) << "coefficients included";
    EXPECT_EQ(amp->model().slots[8], r);

    amp->failNextStore();
    install(1, record("Other", 4), 2);
    run(kRequestStore, 1, 0, kEventStoreFailed);
    EXPECT_EQ(session->getSlot(8), r);
}

TEST_F(Requests, ResetRaisesEventFourteenTwice)
{
    startConnected();
    amp->setSlot(2, record("Mine", 2));
    run(kRequestReset, 0, 0, kEventReset, 2);
    EXPECT_EQ(events.valuesOf(kEventReset).size(), 2u);
    EXPECT_EQ(events.valuesOf(kEventReset).back(), 0);
    EXPECT_EQ(amp->model().slots[2], sim::factoryRecord(2));
}

TEST_F(Requests, UpdaterValueArrivesWithEventFifteen)
{
    startConnected();
    amp->setUpdaterValue(0x1234);
    run(kRequestUpdater, 0, 0, kEventUpdater);
    EXPECT_EQ(events.valuesOf(kEventUpdater), std::vector<int>{0x1234});
    EXPECT_EQ(session->getUpdaterValue(), 0x1234);
}

// --- transfers -------------------------------------------------------------------------

TEST_F(Requests, InstallSendsTenBlocksAndTheAmplifierAssemblesTheSameRecord)
{
    startConnected();
    const FIRRecord r = record("Greenback 4x12", 5);
    install(0, r);
    EXPECT_EQ(blocksSent(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(events.valuesOf(kEventBlockAccepted), std::vector<int>(10, 0));
    EXPECT_EQ(events.valuesOf(kEventInstalled), std::vector<int>{0});
    EXPECT_EQ(amp->model().current[0], r);
    FIRRecord current;
    session->getCurrentIR(0, current);
    EXPECT_EQ(current, r);
}

TEST_F(Requests, AMissingBlockReplyStopsTheTransfer)
{
    startConnected();
    amp->dropReplyToBlock(4);
    session->setSpeakerTabFIRCOE(record("Lost", 1));
    run(kRequestInstall, 0, 0, kEventDisconnected);
    EXPECT_EQ(blocksSent(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(events.valuesOf(kEventError), std::vector<int>{mstd::kErrTimeout});
    EXPECT_TRUE(events.valuesOf(kEventInstalled).empty());
}

TEST_F(Requests, AnAnnouncementRightBehindAnAwaitedReplyDoesNotHideIt)
{
    SessionTiming timing = test::fastRequestTiming();
    timing.replyTimeout = 60s; // a lost reply would hang here rather than pass by luck
    startConnected('2', timing);
    amp->setSilent(true);
    session->addRequest(kRequestUpdater, 0, 0);
    for (int i = 0; i < 20000 && sent().empty(); ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(sent().size(), 1u);
    // The reply and an amp-type announcement arrive back to back, before the worker looks.
    const auto reply = sysex::parameterMessage(0x70, 0x61, 0, 110);
    const auto knob = sysex::parameterMessage(0x00, 0x40, 0, 2);
    ports->inject(B(reply.begin(), reply.end()));
    ports->inject(B(knob.begin(), knob.end()));
    ASSERT_TRUE(events.waitFor(kEventUpdater));
    ASSERT_TRUE(events.waitFor(kEventSlotSwitched)); // the announcement may land just after the reply's event
    EXPECT_TRUE(events.valuesOf(kEventError).empty());
    EXPECT_EQ(events.valuesOf(kEventSlotSwitched), std::vector<int>{0});
}

TEST_F(Requests, ABadBlockIsReportedAndTheTransferGoesOn)
{
    startConnected();
    amp->reportBlockBad(3);
    install(1, record("Bad three", 2));
    EXPECT_EQ(blocksSent().size(), 10u);
    EXPECT_EQ(events.valuesOf(kEventBlockBad), std::vector<int>{1});
    EXPECT_EQ(events.valuesOf(kEventBlockAccepted).size(), 9u);
}

TEST_F(Requests, BypassSendsTheNeutralResponse)
{
    startConnected();
    install(1, record("Some cab", 7));
    run(kRequestBypass, 1, 0, kEventBypassed);
    EXPECT_EQ(amp->model().current[1], makeBypassRecord());
    FIRRecord current;
    session->getCurrentIR(1, current);
    EXPECT_EQ(current, makeBypassRecord());
}

TEST_F(Requests, ASecondHandOverDoesNotChangeWhatAnEarlierRequestSends)
{
    startConnected();
    amp->setReplyDelay(5ms);
    const FIRRecord first = record("First", 1);
    session->setSpeakerTabFIRCOE(first);
    session->addRequest(kRequestInstall, 0, 0);
    session->setSpeakerTabFIRCOE(record("Second", 2)); // while the first may still be in flight
    ASSERT_TRUE(events.waitFor(kEventInstalled));
    EXPECT_EQ(amp->model().current[0], first);
}

// --- queue and worker ---------------------------------------------------------------------

TEST_F(Requests, RequestsRunInQueueOrderAndUnknownTypesAreDropped)
{
    startConnected();
    session->addRequest(kRequestBooster, 0, 2);
    session->addRequest(17, 0, 0);
    session->addRequest(-1, 0, 0);
    session->addRequest(kRequestReverb, 0, 3);
    session->addRequest(kRequestFIRCOE, 0, 100);
    run(kRequestReadAll, 0, 0, kEventReadAll);
    std::vector<std::pair<int, int>> writes;
    for (const auto& m : sent())
        if (const auto p = sysex::parseParameter(m.data(), m.size()))
            writes.emplace_back(p->group, p->parameter);
    EXPECT_EQ(writes, (std::vector<std::pair<int, int>>{{0, 1}, {0, 3}, {4, 4}}));
}

TEST_F(Requests, AddRequestNeverWaitsForTheAmplifier)
{
    SessionTiming timing = test::fastRequestTiming();
    timing.replyTimeout = 60s; // never reached: the test answers the block itself
    startConnected('2', timing);
    amp->setSilent(true);
    session->setSpeakerTabFIRCOE(record("Waiting", 3));
    session->addRequest(kRequestInstall, 0, 0);
    // Wait until the worker has sent block 0 and is waiting for its reply.
    for (int i = 0; i < 20000 && blocksSent().empty(); ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(blocksSent(), std::vector<int>{0});

    session->addRequest(kRequestBooster, 0, 1); // returns while the worker waits
    EXPECT_EQ(session->queuedRequestCount(), 1u);
    EXPECT_TRUE(events.valuesOf(kEventInstalled).empty());

    amp->setSilent(false);
    const auto reply = sysex::parameterMessage(0x04, 0x42, 0, 0);
    inject(B(reply.begin(), reply.end()));
    ASSERT_TRUE(events.waitFor(kEventInstalled));
    run(kRequestReadAll, 0, 0, kEventReadAll);
    EXPECT_EQ(session->queuedRequestCount(), 0u);
    EXPECT_EQ(amp->model().effect.bytes[1], 1);
}

TEST_F(Requests, StoppingDropsWhatIsStillQueued)
{
    startConnected();
    amp->setReplyDelay(50ms);
    session->addRequest(kRequestUpdater, 0, 0); // keeps the worker busy for a moment
    session->addRequest(kRequestBooster, 0, 1);
    session->addRequest(kRequestReverb, 0, 1);
    session->addRequest(kRequestNoiseGate, 0, 1);
    session->stopRequestThread();
    session->stopRequestThread(); // the second call has nothing to stop
    for (const auto& m : sent()) {
        if (const auto p = sysex::parseParameter(m.data(), m.size())) {
            EXPECT_NE(p->group, 0x00) << "no effect write may run after the stop";
        }
    }
}

// The MIDI ports dialog stops the worker to replace the MIDI system and starts it again: the new worker must run
// requests, not end at once because of the earlier stop.
TEST_F(Requests, AWorkerStartedAgainAfterAStopRunsRequests)
{
    startConnected();
    session->stopRequestThread();
    session->disconnect();
    ASSERT_FALSE(session->isOpen());
    events.clear();
    session->startRequestThread();
    session->addRequest(kRequestOpen, 0, 0);
    ASSERT_TRUE(events.waitFor(kEventOpened)) << "the worker started again never searched";
    clock->advance(test::fastRequestTiming().heartbeatRequestPeriod); // the next heartbeat request is due
    EXPECT_TRUE(events.waitFor(kEventConnected)) << "the worker started again never asked for the heartbeat";
}

TEST_F(Requests, AnUnexpectedExceptionBecomesErrorTenTen)
{
    startConnected();
    static std::atomic<bool> thrown{false};
    thrown = false;
    session->addEventCallback(
        [](std::int32_t event, std::int32_t, void*) {
            if (event == kEventReadAll && !thrown.exchange(true))
                throw std::runtime_error("listener bug");
        },
        nullptr);
    ::testing::internal::CaptureStderr();
    session->addRequest(kRequestReadAll, 0, 0);
    ASSERT_TRUE(events.waitFor(kEventError));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[CATCH] Exception! - CORXManager::doRequestEvent()\n");
    EXPECT_EQ(events.valuesOf(kEventError), std::vector<int>{mstd::kErrUnknown});
    EXPECT_TRUE(session->isOpen());
}

TEST_F(Requests, ASendErrorDisconnectsAndForgetsPendingOutput)
{
    fakePorts->inNames = {"Kovalex/ORX"};
    fakePorts->outNames = {"Kovalex/ORX"};
    startSession(false, test::fastRequestTiming());
    session->openORX();
    ASSERT_TRUE(session->isOpen());
    fakePorts->sendResult = kMidiError;
    session->startRequestThread();
    session->addRequest(kRequestBooster, 0, 1);
    ASSERT_TRUE(events.waitFor(kEventDisconnected));
    EXPECT_EQ(events.valuesOf(kEventError), std::vector<int>{mstd::kErrMidiSend});
    EXPECT_EQ(CMIDIManager::getInstance()->pendingOutCount(), 0u);
    EXPECT_FALSE(session->isOpen());
}

// --- gain conversion ---------------------------------------------------------------------

TEST(Gain, DecibelsToFIRCOEBitForBit)
{
    struct Case {
        double dB;
        std::uint16_t coe;
    } cases[] = {{0, 0x3FFF}, {-0.5, 15467}, {-3, 11598}, {-6, 8211},  {-8, 6522}, {-10, 5181},
                 {-12, 4115}, {-16, 2596},   {-18, 2062}, {-20, 1638}, {-30, 518}, {40, 0x3FFF}};
    for (const auto& c : cases)
        EXPECT_EQ(dBToFIRCOE(c.dB), c.coe) << c.dB << " dB";
}

} // namespace
} // namespace orx
