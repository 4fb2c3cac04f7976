// A device session wired to fake system ports and the in-process simulated amplifier, on a hand-set clock.
#pragma once

#include "CORXManager.h"
#include "FakeMidiBackend.h"
#include "SimulatorPorts.h"
#include "backends/CombinedBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace orx::test {

// Records events from whichever thread raises them.
class EventLog {
public:
    static void record(std::int32_t event, std::int32_t value, void* context)
    {
        auto* log = static_cast<EventLog*>(context);
        {
            std::lock_guard lock(log->m_lock);
            log->m_events.emplace_back(event, value);
        }
        log->m_changed.notify_all();
    }
    // Waits (bounded, generously) until the event has been raised `count` times; false if it never was.
    bool waitFor(int event, std::size_t count = 1)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] {
            std::size_t seen = 0;
            for (const auto& [e, v] : m_events)
                seen += e == event;
            return seen >= count;
        });
    }
    std::vector<std::pair<int, int>> all()
    {
        std::lock_guard lock(m_lock);
        return m_events;
    }
    // Only the events of one code, in order, as their values.
    std::vector<int> valuesOf(int event)
    {
        std::vector<int> values;
        for (const auto& [e, v] : all())
            if (e == event)
                values.push_back(v);
        return values;
    }
    // The codes in order, leaving out the given one (event 5 interleaves with everything).
    std::vector<int> codesWithout(int skipped)
    {
        std::vector<int> codes;
        for (const auto& [e, v] : all())
            if (e != skipped)
                codes.push_back(e);
        return codes;
    }
    void clear()
    {
        std::lock_guard lock(m_lock);
        m_events.clear();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::pair<int, int>> m_events;
};

class SessionFixture : public ::testing::Test {
protected:
    // Ports: the fake system's first (names from fakePorts), then the simulator's, unless withSimulator is false.
    void startSession(bool withSimulator = true, SessionTiming timing = {})
    {
        CMIDIManager::setBackendFactory([this, withSimulator]() -> std::unique_ptr<MidiBackend> {
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
        CMIDIManager::setBackendFactory({});
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
};

} // namespace orx::test
