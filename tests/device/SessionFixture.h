// A device session wired to fake system ports and the in-process simulated amplifier, on a hand-set clock.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CORXManager.h"
#include "EventLog.h"
#include "FakeMidiBackend.h"
#include "ScopedOverride.h"
#include "SimulatorPorts.h"
#include "backends/CombinedBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace orx::test {

// Reply waits are short so time-out paths finish at once; nothing depends on how fast the machine is.
inline SessionTiming fastRequestTiming()
{
    using namespace std::chrono_literals;
    SessionTiming t;
    t.replyTimeout = 300ms;
    t.pollInterval = 1ms;
    t.nameCharacterPause = 0ms;
    return t;
}

class SessionFixture : public ::testing::Test {
protected:
    // Ports: the fake system's first (names from fakePorts), then the simulator's, unless withSimulator is false.
    void startSession(bool withSimulator = true, SessionTiming timing = {})
    {
        m_backend.reset(); // one case's ports never stay behind for the next
        m_backend.emplace(&CMIDIManager::setBackendFactory, [this, withSimulator]() -> std::unique_ptr<MidiBackend> {
            auto system = std::make_unique<FakeMidiBackend>(fakePorts);
            if (!withSimulator)
                return system;
            auto simulator = std::make_unique<sim::SimulatorPortBackend>(amp);
            ports = simulator.get();
            return std::make_unique<CombinedBackend>(std::move(system), std::move(simulator));
        });
        session = CORXManager::createInstance(timing, clock);
        session->addEventCallback(&EventLog::record, &events);
    }

    void TearDown() override
    {
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
        m_backend.reset();
    }

    // What the worker does between passes, after the clock moved on; then lets the amp's answers arrive.
    void tick(std::chrono::milliseconds by)
    {
        clock->advance(by);
        session->checkConnection();
        flush();
    }
    void flush()
    {
        if (ports)
            ports->flush();
    }
    void inject(std::vector<std::uint8_t> message)
    {
        ports->inject(std::move(message));
        flush();
    }
    // Open the simulator's ports and let the first heartbeat arrive.
    void connect()
    {
        session->openORX();
        ASSERT_TRUE(session->isOpen());
        tick(std::chrono::milliseconds(0));
        ASSERT_EQ(events.valuesOf(kEventConnected).size(), 1u);
    }

    std::shared_ptr<FakeMidiBackend::Shared> fakePorts = std::make_shared<FakeMidiBackend::Shared>();
    std::shared_ptr<sim::SimulatedAmp> amp = std::make_shared<sim::SimulatedAmp>('2');
    std::shared_ptr<ManualSessionClock> clock = std::make_shared<ManualSessionClock>();
    sim::SimulatorPortBackend* ports = nullptr;
    CORXManager* session = nullptr;
    EventLog events;

private:
    std::optional<ScopedOverride<MidiBackendFactory>> m_backend;
};

} // namespace orx::test
