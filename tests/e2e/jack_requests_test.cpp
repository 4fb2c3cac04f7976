// The session's request worker over a real JACK server, against orx-amp-sim driven through its command lines.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "GenericException.h"
#include "ScopedOverride.h"
#include "SessionClock.h"
#include "SimulatedAmp.h"
#include "SysexCatalogue.h"

#include "AmpSimProcess.h"
#include "EventLog.h"
#include "SharedJackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orx {
namespace {

using namespace std::chrono_literals;
using test::describeEvents;
using test::EventLog;

// How long a request, a connection or an event may take before the test gives up. Never an assertion.
constexpr std::chrono::milliseconds kLinkLimit{20000};
// How long one open request is given before another is queued: the simulator's ports can reach
// JACK's port list a moment after it says ready, and an open that finds no port does nothing.
constexpr std::chrono::milliseconds kOpenRetry{500};

SessionTiming linkTiming()
{
    SessionTiming timing;
    timing.heartbeatRequestPeriod = 50ms; // the first heartbeat, and so event 2, comes quickly
    return timing;                        // replyTimeout stays at its generous default
}

std::string nameOf(const FIRRecord& record)
{
    const auto end = std::find(record.irName.begin(), record.irName.end(), std::uint8_t{0});
    return std::string(record.irName.begin(), end);
}

void setName(FIRRecord& record, const std::string& name)
{
    record.irName.fill(0);
    std::memcpy(record.irName.data(), name.data(), std::min(name.size(), record.irName.size() - 1));
}

// Worked out here rather than taken from the simulator, so a checksum or layout slip there shows.
std::uint32_t fnv1aOfCoefficients(const FIRRecord& record)
{
    std::uint32_t hash = 2166136261u;
    for (const std::int16_t c : record.coefficients) {
        const auto u = static_cast<std::uint16_t>(c);
        for (const std::uint8_t byte : {static_cast<std::uint8_t>(u & 0xFF), static_cast<std::uint8_t>(u >> 8)}) {
            hash ^= byte;
            hash *= 16777619u;
        }
    }
    return hash;
}

// The simulator's "state" line for a record held under label ("slot 8", "current 1").
std::string stateLineFor(const std::string& label, const FIRRecord& record)
{
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08X", static_cast<unsigned>(fnv1aOfCoefficients(record)));
    return label + " fircoe " + std::to_string(record.FIRCOE) + " fnv1a " + hash + " name \"" + nameOf(record) + "\"";
}

// A response no slot holds: pseudo-random over the whole 16-bit range, and words whose bytes look
// like the start and end of a SysEx message, which only the 7-bit packing keeps off the wire.
FIRRecord distinctiveRecord()
{
    FIRRecord record;
    setName(record, "E2E cabinet 4x12 #7");
    record.FIRCOE = 9000;
    std::uint32_t x = 0x2545F491u;
    for (auto& c : record.coefficients) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<std::int16_t>(x >> 16);
    }
    record.coefficients[0] = static_cast<std::int16_t>(0xF7F0);
    record.coefficients[1] = static_cast<std::int16_t>(0x80F7);
    record.coefficients[2] = 0x7FFF;
    record.coefficients[3] = -0x8000;
    record.coefficients[kCoefficientCount - 1] = static_cast<std::int16_t>(0xF0F7);
    return record;
}

// What the simulator prints for a message with --verbose.
std::string described(const sysex::Bytes& message)
{
    return sim::SimulatedAmp::describe(message.data(), message.size());
}

std::string describedParameter(std::uint8_t group, std::uint8_t parameter, std::uint8_t data1, std::uint8_t data2)
{
    const auto message = sysex::parameterMessage(group, parameter, data1, data2);
    return described(sysex::Bytes(message.begin(), message.end()));
}

std::optional<std::size_t> indexOfLine(const std::vector<std::string>& lines, const std::string& line)
{
    const auto it = std::find(lines.begin(), lines.end(), line);
    if (it == lines.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - lines.begin());
}

class WorkerOverJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure;
        if (!test::SharedJackServer::get(failure))
            FAIL() << "no JACK server for the test: " << failure;
        m_api.emplace("ORX_MIDI_API", "jack");
        m_systemPorts.emplace(&CMIDIManager::setBackendFactory, MidiBackendFactory{});
    }

    void TearDown() override
    {
        if (m_session) {
            m_session->stopRequestThread();
            m_session->removeEventCallback(&EventLog::record);
            CORXManager::deleteInstance();
            m_session = nullptr;
        }
        CMIDIManager::deleteInstance();
        if (m_sim) {
            const auto status = m_sim->process().stop();
            // A crash on the way out would hide behind a passing test otherwise.
            EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
                << "orx-amp-sim did not stop cleanly; its output:\n"
                << m_sim->output();
        }
        m_api.reset();
    }

    // orx-amp-sim as model 2 with --verbose, and any further arguments.
    void startSimulator(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args{"--model", "2", "--verbose"};
        args.insert(args.end(), extra.begin(), extra.end());
        try {
            m_sim = std::make_unique<test::AmpSimProcess>(args);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }

    void startWorker(const SessionTiming& timing = linkTiming())
    {
        m_session = CORXManager::createInstance(timing, std::make_shared<SystemSessionClock>());
        ASSERT_NE(m_session, nullptr);
        m_session->addEventCallback(&EventLog::record, &m_log);
        m_session->startRequestThread();
    }

    // Open (request 0) and wait for the first heartbeat (event 2), as the program's start does.
    void connect()
    {
        const auto giveUp = std::chrono::steady_clock::now() + kLinkLimit;
        do
            m_session->addRequest(kRequestOpen, 0, 0);
        while (!m_log.waitFor(kEventOpened, 1, kOpenRetry) && std::chrono::steady_clock::now() < giveUp);
        ASSERT_TRUE(m_session->isOpen()) << "the worker never opened the simulator's ports; " << context();
        ASSERT_TRUE(m_log.waitFor(kEventConnected, 1, kLinkLimit)) << "no heartbeat reached the session; " << context();
        EXPECT_EQ(m_log.valuesOf(kEventConnected), std::vector<std::int32_t>{2}) << context();
    }

    // Queues a request and waits until endEvent has been raised once more.
    void run(std::int32_t type, std::int32_t arg1, std::int32_t arg2, std::int32_t endEvent)
    {
        const std::size_t before = m_log.valuesOf(endEvent).size();
        m_session->addRequest(type, arg1, arg2);
        ASSERT_TRUE(m_log.waitFor(endEvent, before + 1, kLinkLimit))
            << "request " << type << " never raised event " << endEvent << "; " << context();
    }

    // Runs a console command that must succeed; returns its lines.
    std::vector<std::string> command(const std::string& line)
    {
        const auto printed = m_sim->command(line);
        EXPECT_TRUE(printed && !printed->empty() && printed->back().rfind("ok ", 0) == 0)
            << "command \"" << line << "\" failed; orx-amp-sim:\n"
            << m_sim->output();
        return printed ? *printed : std::vector<std::string>{};
    }

    // The simulator's state line that starts with label.
    std::string stateLine(const std::vector<std::string>& state, const std::string& label)
    {
        for (const auto& line : state)
            if (line.rfind(label + " ", 0) == 0)
                return line;
        ADD_FAILURE() << "no \"" << label << "\" line in the simulator's state";
        return {};
    }

    std::string context()
    {
        return "events: " + describeEvents(m_log.all()) + "\norx-amp-sim:\n" + (m_sim ? m_sim->output() : "");
    }

    void expectNoEvent(std::int32_t event)
    {
        EXPECT_TRUE(m_log.valuesOf(event).empty()) << "event " << event << " was raised; " << context();
    }

    std::optional<test::ScopedEnv> m_api;
    std::optional<ScopedOverride<MidiBackendFactory>> m_systemPorts;
    std::unique_ptr<test::AmpSimProcess> m_sim;
    CORXManager* m_session = nullptr;
    EventLog m_log;
};

// Would catch: coefficients garbled, shortened or reordered anywhere between the staging record and
// the amplifier's slot (packing, block split, RtMidi, JACK, the simulator's assembly); a store sent
// to the wrong slot; a read-all that keeps defaults instead of what the amplifier reported; a knob
// announcement that never reaches the session.
TEST_F(WorkerOverJack, ReadAllThenInstallAndStorePutTheRecordSentIntoTheSimulatorsSlot)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_NO_FATAL_FAILURE(startWorker());
    ASSERT_NO_FATAL_FAILURE(connect());

    // Amp channel II to its fourth slot (record 8), so the store has to follow what the amplifier says.
    command("knob 1 3");
    ASSERT_TRUE(m_log.waitFor(kEventSlotSwitched, 1, kLinkLimit)) << context();
    EXPECT_EQ(m_log.valuesOf(kEventSlotSwitched), std::vector<std::int32_t>{1});

    run(kRequestReadAll, 0, 0, kEventReadAll);
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        const FIRRecord held = m_session->getSlot(slot);
        EXPECT_EQ(nameOf(held), nameOf(sim::factoryRecord(slot)));
        EXPECT_EQ(held.FIRCOE, sim::factoryRecord(slot).FIRCOE);
    }
    EXPECT_EQ(nameOf(m_session->getSlot(8)), "Factory CLEAN II");
    FIRRecord current;
    m_session->getCurrentIR(1, current);
    EXPECT_EQ(nameOf(current), "Factory CLEAN II");

    const FIRRecord sent = distinctiveRecord();
    m_session->setSpeakerTabFIRCOE(sent);
    run(kRequestInstall, 1, 0, kEventInstalled);
    // The last block's event is raised on the input thread and may come just after event 9.
    EXPECT_TRUE(m_log.waitFor(kEventBlockAccepted, sysex::kFIRBlockCount, kLinkLimit)) << context();
    EXPECT_EQ(m_log.valuesOf(kEventBlockAccepted), std::vector<std::int32_t>(sysex::kFIRBlockCount, 1));
    run(kRequestStore, 1, 0, kEventStored);
    EXPECT_EQ(m_log.valuesOf(kEventStored), std::vector<std::int32_t>{1});
    EXPECT_TRUE(m_session->getSlot(8) == sent) << "the session's own copy of slot 8 differs from the record sent";

    const auto state = command("state");
    EXPECT_EQ(stateLine(state, "effect"), "effect 00 00 00 00 00 00 00 00 03 00 00 00 00 00 00 00");
    EXPECT_EQ(stateLine(state, "slot 8"), stateLineFor("slot 8", sent));
    EXPECT_EQ(stateLine(state, "current 1"), stateLineFor("current 1", sent));
    // Everything else as it left the factory: the store touched one slot, the install one channel.
    for (const std::size_t slot : {0, 1, 2, 3, 4, 5, 6, 7, 9}) {
        const std::string label = "slot " + std::to_string(slot);
        EXPECT_EQ(stateLine(state, label), stateLineFor(label, sim::factoryRecord(slot)));
    }
    EXPECT_EQ(stateLine(state, "current 0"), stateLineFor("current 0", sim::factoryRecord(0)));

    for (const auto event : {kEventError, kEventBlockBad, kEventStoreFailed, kEventDisconnected})
        expectNoEvent(event);
}

// Would catch: --updater or the "updater" command not reaching the amplifier's answer.
TEST_F(WorkerOverJack, UpdaterValueComesFromTheOptionThenFromTheCommand)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--updater", "1234"}));
    ASSERT_NO_FATAL_FAILURE(startWorker());
    ASSERT_NO_FATAL_FAILURE(connect());

    run(kRequestUpdater, 0, 0, kEventUpdater);
    command("updater 16383");
    run(kRequestUpdater, 0, 0, kEventUpdater);
    EXPECT_EQ(m_log.valuesOf(kEventUpdater), (std::vector<std::int32_t>{1234, 16383})) << context();
}

// Would catch: the fault commands wired to the wrong fault, or to none.
TEST_F(WorkerOverJack, BadBlockAndFailedStoreSetFromTheConsoleReachTheSession)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_NO_FATAL_FAILURE(startWorker());
    ASSERT_NO_FATAL_FAILURE(connect());

    command("bad-block 4");
    m_session->setSpeakerTabFIRCOE(distinctiveRecord());
    run(kRequestInstall, 0, 0, kEventInstalled);
    EXPECT_TRUE(m_log.waitFor(kEventBlockAccepted, sysex::kFIRBlockCount - 1, kLinkLimit)) << context();
    EXPECT_EQ(m_log.valuesOf(kEventBlockBad), std::vector<std::int32_t>{0}) << context();
    EXPECT_EQ(m_log.valuesOf(kEventBlockAccepted), std::vector<std::int32_t>(sysex::kFIRBlockCount - 1, 0))
        << context();

    command("fail-store");
    run(kRequestStore, 0, 0, kEventStoreFailed);
    EXPECT_EQ(m_log.valuesOf(kEventStoreFailed), std::vector<std::int32_t>{0});
    expectNoEvent(kEventStored);
    EXPECT_EQ(stateLine(command("state"), "slot 0"), stateLineFor("slot 0", sim::factoryRecord(0)));
}

// Would catch: "model" not changing what the heartbeat reports.
TEST_F(WorkerOverJack, ModelChangedFromTheConsoleEndsTheConnection)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_NO_FATAL_FAILURE(startWorker());
    ASSERT_NO_FATAL_FAILURE(connect());
    expectNoEvent(kEventDisconnected);

    command("model 1");
    EXPECT_TRUE(m_log.waitFor(kEventDisconnected, 1, kLinkLimit)) << context();
}

// Would catch: answers not held back at all by "delay".
TEST_F(WorkerOverJack, AnswersHeldBackPastTheReplyTimeoutEndInATimeout)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    SessionTiming timing = linkTiming();
    timing.replyTimeout = 1s; // far below the delay; a limit, not a measurement
    ASSERT_NO_FATAL_FAILURE(startWorker(timing));
    ASSERT_NO_FATAL_FAILURE(connect());

    command("delay 600000");
    run(kRequestUpdater, 0, 0, kEventDisconnected);
    EXPECT_EQ(m_log.valuesOf(kEventError), std::vector<std::int32_t>{mstd::kErrTimeout}) << context();
    expectNoEvent(kEventUpdater);
}

// Would catch: something the amplifier says by itself overtaking an answer the reply delay holds back.
// Only the order on the simulator's output is looked at: an announcement right behind an answer can
// cost the session that answer, which is the session's matter, not the simulator's.
TEST_F(WorkerOverJack, AKnobTurnedWhileAnAnswerIsHeldBackGoesOutAfterIt)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--reply-delay", "1000"}));
    ASSERT_NO_FATAL_FAILURE(startWorker());
    ASSERT_NO_FATAL_FAILURE(connect());

    namespace pm = sysex::param;
    const std::string request = "<- " + describedParameter(pm::kGroupSystem, pm::kUpdaterRequest, 0, 0);
    const auto value = sysex::encode14(sim::kDefaultUpdaterValue);
    const std::string answer = "-> " + describedParameter(pm::kGroupSystem, pm::kUpdaterReply, value[0], value[1]);
    const std::string announcement = "-> " + describedParameter(pm::kGroupEffect, pm::kSlotSwitchChannel1, 0, 2);
    auto is = [](const std::string& wanted) { return [wanted](const std::string& line) { return line == wanted; }; };

    const std::size_t from = m_sim->process().lineCount();
    m_session->addRequest(kRequestUpdater, 0, 0);
    ASSERT_TRUE(m_sim->process().waitForLine(is(request), kLinkLimit, from)) << context();
    command("knob 0 2");
    ASSERT_TRUE(m_sim->process().waitForLine(is(announcement), kLinkLimit, from)) << context();

    const auto lines = m_sim->process().lines(from);
    const auto answered = indexOfLine(lines, answer);
    const auto announced = indexOfLine(lines, announcement);
    ASSERT_TRUE(answered && announced) << context();
    EXPECT_LT(*answered, *announced) << context();
}

// Would catch: the simulator stopping when its standard input ends (CI gives it none), or a bad
// command line answered with more, or less, than one line.
TEST_F(WorkerOverJack, EndOfStandardInputLeavesTheSimulatorAnswering)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    for (const char* bad : {"bogus", "knob 0", "knob 2 0", "delay soon"}) {
        const auto printed = m_sim->command(bad);
        ASSERT_TRUE(printed) << bad << "\n" << m_sim->output();
        ASSERT_EQ(printed->size(), 1u) << bad;
        EXPECT_EQ(printed->front().rfind("error: ", 0), 0u) << printed->front();
    }
    m_sim->process().closeInput();

    ASSERT_NO_FATAL_FAILURE(startWorker());
    ASSERT_NO_FATAL_FAILURE(connect());
    run(kRequestReadAll, 0, 0, kEventReadAll);
    EXPECT_EQ(nameOf(m_session->getSlot(0)), "Factory MODERN I");
    EXPECT_TRUE(m_sim->process().running());
}

// Would catch: "quit" ignored, or a stop that crashes or reports failure.
TEST_F(WorkerOverJack, QuitStopsTheSimulatorCleanly)
{
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    EXPECT_EQ(command("quit"), std::vector<std::string>{"ok quit"});
    const auto status = m_sim->process().waitForExit(kLinkLimit);
    ASSERT_TRUE(status) << "orx-amp-sim still runs after quit; its output:\n" << m_sim->output();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << m_sim->output();
}

} // namespace
} // namespace orx
