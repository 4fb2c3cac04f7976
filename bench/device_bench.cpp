// Speed of whole device requests against the in-process simulated amplifier (no reply delay).
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CORXManager.h"
#include "SimulatorPorts.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace orx;

// A connected session with its worker running; waits on events without polling.
class Rig {
public:
    Rig()
    {
        CMIDIManager::setBackendFactory([this] { return std::make_unique<sim::SimulatorPortBackend>(m_amp); });
        m_session = CORXManager::createInstance(SessionTiming{}, std::make_shared<SystemSessionClock>());
        m_session->addEventCallback(&Rig::onEvent, this);
        m_session->startRequestThread();
        m_session->addRequest(kRequestOpen, 0, 0);
        waitFor(kEventConnected);
    }
    ~Rig()
    {
        m_session->stopRequestThread();
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
        CMIDIManager::setBackendFactory({});
    }
    CORXManager& session() { return *m_session; }

    void waitFor(int event)
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [&] { return m_seen[event] > 0; });
        --m_seen[event];
    }

private:
    static void onEvent(std::int32_t event, std::int32_t, void* context)
    {
        auto* rig = static_cast<Rig*>(context);
        {
            std::lock_guard lock(rig->m_lock);
            if (event >= 0 && event < 16)
                ++rig->m_seen[event];
        }
        rig->m_changed.notify_all();
    }

    std::shared_ptr<sim::SimulatedAmp> m_amp = std::make_shared<sim::SimulatedAmp>('2');
    CORXManager* m_session = nullptr;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_seen[16] = {};
};

void BM_InstallTenBlocks(benchmark::State& state)
{
    Rig rig;
    FIRRecord record;
    for (std::size_t i = 0; i < record.coefficients.size(); ++i)
        record.coefficients[i] = static_cast<std::int16_t>(i * 131);
    for (auto _ : state) {
        rig.session().setSpeakerTabFIRCOE(record);
        rig.session().addRequest(kRequestInstall, 0, 0);
        rig.waitFor(kEventInstalled);
    }
}
BENCHMARK(BM_InstallTenBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadAllModelTwo(benchmark::State& state)
{
    Rig rig;
    for (auto _ : state) {
        rig.session().addRequest(kRequestReadAll, 0, 0);
        rig.waitFor(kEventReadAll);
    }
}
BENCHMARK(BM_ReadAllModelTwo)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg: seconds of watching a connected, idle session on the real clock. The worker's due heartbeat requests
// and connection checks are all it should wake for.
void BM_IdleWorkerWakeups(benchmark::State& state)
{
    Rig rig;
    const auto watch = std::chrono::seconds(state.range(0));
    for (auto _ : state) {
        const std::uint64_t before = rig.session().workerWakeCount();
        std::this_thread::sleep_for(watch);
        const std::uint64_t woke = rig.session().workerWakeCount() - before;
        state.counters["wakeups_per_s"] = static_cast<double>(woke) / static_cast<double>(watch.count());
    }
}
BENCHMARK(BM_IdleWorkerWakeups)->Arg(5)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
