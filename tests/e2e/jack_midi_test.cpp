// The program's session over a real JACK MIDI server, with orx-amp-sim (a separate process) as the amplifier.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "ScopedOverride.h"
#include "SessionClock.h"
#include "SysexCatalogue.h"

#include "AmpSimProcess.h"
#include "EventLog.h"
#include "SharedJackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orx {
namespace {

// How long one pass of the connection loop waits for an event before polling the session again.
constexpr std::chrono::milliseconds kEventPollInterval{20};
// The heartbeat request period the session runs with here, so the first heartbeat comes quickly.
constexpr std::chrono::milliseconds kTestHeartbeatPeriod{50};

using test::describeEvents;
using test::EventLog;

// Parameter: the model code orx-amp-sim reports (1 or 2).
class SessionOverJack : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        std::string failure;
        if (!test::SharedJackServer::get(failure))
            FAIL() << "no JACK server for the test: " << failure;
        m_api.emplace("ORX_MIDI_API", "jack");
        m_systemPorts.emplace(&CMIDIManager::setBackendFactory, MidiBackendFactory{});

        try {
            m_sim = std::make_unique<test::AmpSimProcess>(
                std::vector<std::string>{"--model", std::to_string(GetParam()), "--verbose"});
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }

    void TearDown() override
    {
        if (m_session) {
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

    // Drives the session as the program's timer does until the first heartbeat is reported.
    void connect()
    {
        SessionTiming timing;
        timing.heartbeatRequestPeriod = kTestHeartbeatPeriod;
        m_session = CORXManager::createInstance(timing, std::make_shared<SystemSessionClock>());
        ASSERT_NE(m_session, nullptr);
        m_session->addEventCallback(&EventLog::record, &m_log);

        const auto giveUp = std::chrono::steady_clock::now() + test::kStartLimit;
        while (std::chrono::steady_clock::now() < giveUp) {
            if (!m_session->isOpen())
                m_session->openORX();
            else
                m_session->checkConnection();
            if (m_log.waitFor(kEventConnected, 1, kEventPollInterval))
                break;
        }
        ASSERT_TRUE(m_session->isOpen()) << "the session never opened the simulator's ports; events: "
                                         << describeEvents(m_log.all()) << "\norx-amp-sim:\n"
                                         << m_sim->output();
        ASSERT_TRUE(m_log.waitFor(kEventConnected, 1, std::chrono::milliseconds(0)))
            << "no heartbeat reached the session; events: " << describeEvents(m_log.all()) << "\norx-amp-sim:\n"
            << m_sim->output();
    }

    std::optional<test::ScopedEnv> m_api;
    std::optional<ScopedOverride<MidiBackendFactory>> m_systemPorts;
    std::unique_ptr<test::AmpSimProcess> m_sim;
    CORXManager* m_session = nullptr;
    EventLog m_log;
};

// Would catch: the RtMidi backend not finding "Kovalex/" in JACK's port names, heartbeat requests
// or answers lost between the processes, or the model code mangled on the way.
TEST_P(SessionOverJack, OpensTheSimulatorsPortsThenReportsItsHeartbeatAndModel)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    const auto events = m_log.all();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().first, kEventOpened) << describeEvents(events);
    const auto connected =
        std::find_if(events.begin(), events.end(), [](const auto& e) { return e.first == kEventConnected; });
    ASSERT_NE(connected, events.end());
    EXPECT_EQ(connected->second, GetParam()) << describeEvents(events);
    for (auto it = events.begin(); it != connected; ++it) {
        EXPECT_NE(it->first, kEventDisconnected) << describeEvents(events);
        EXPECT_NE(it->first, kEventError) << describeEvents(events);
    }
}

// Would catch: the longest message the program sends cut into pieces or truncated between the
// program's RtMidi output and the amplifier (the simulator checks the block's checksum).
TEST_P(SessionOverJack, LongestFirBlockReachesTheSimulatorWhole)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    const int block = 3;
    std::vector<std::uint8_t> payload(sysex::firBlockPayloadSize(block));
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(255 - i);
    const auto message = sysex::firDataBlock(block, 1, payload.data(), payload.size());
    ASSERT_EQ(message.size(), sysex::kMaxFIRBlockLength);

    const std::size_t linesBefore = m_sim->process().lineCount();
    ASSERT_EQ(CMIDIManager::getInstance()->sendLongMessage(message.data(), message.size()), kMidiOk);
    const std::string expected = "<- FIR data block 3, amp channel 1, 532 bytes";
    const auto seen = m_sim->process().waitForLine([](const std::string& line) { return line.rfind("<- FIR", 0) == 0; },
                                                   test::kMessageLimit, linesBefore);
    ASSERT_TRUE(seen) << "orx-amp-sim never saw the block; its output:\n" << m_sim->output();
    EXPECT_EQ(*seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Models, SessionOverJack, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Model" + std::to_string(info.param);
                         });

} // namespace
} // namespace orx
