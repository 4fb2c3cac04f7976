// Speed of whole device requests over a private JACK server against orx-amp-sim (model 2), both started once.
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "SessionClock.h"

#include "AmpSimProcess.h"
#include "JackServer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

namespace {

using namespace orx;

// How long one request or the connection may take before the run is called off. Never a measurement.
constexpr std::chrono::milliseconds kLimit{20000};
// An open that finds no port does nothing; the simulator's ports can reach JACK's list a moment late.
constexpr std::chrono::milliseconds kOpenRetry{500};

// The session with its worker, connected to the simulator for the whole run; waits on events without polling.
class Rig {
public:
    Rig()
    {
        CMIDIManager::setBackendFactory({});
        m_session = CORXManager::createInstance(SessionTiming{}, std::make_shared<SystemSessionClock>());
        m_session->addEventCallback(&Rig::onEvent, this);
        m_session->startRequestThread();
    }
    ~Rig()
    {
        m_session->stopRequestThread();
        m_session->removeEventCallback(&Rig::onEvent);
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    bool connect()
    {
        const auto giveUp = std::chrono::steady_clock::now() + kLimit;
        while (!m_session->isOpen() && std::chrono::steady_clock::now() < giveUp) {
            m_session->addRequest(kRequestOpen, 0, 0);
            std::unique_lock lock(m_lock);
            m_changed.wait_for(lock, kOpenRetry, [&] { return m_seen[kEventOpened] > 0; });
        }
        return m_session->isOpen() && waitFor(kEventConnected);
    }

    CORXManager& session() { return *m_session; }

    // Takes one occurrence of the event; false when it did not come within the limit or the link failed.
    bool waitFor(int event)
    {
        std::unique_lock lock(m_lock);
        const bool came = m_changed.wait_for(lock, kLimit, [&] {
            return m_seen[event] > 0 || m_seen[kEventError] > 0 || m_seen[kEventDisconnected] > 0;
        });
        if (!came || m_seen[event] == 0)
            return false;
        --m_seen[event];
        return true;
    }

private:
    static void onEvent(std::int32_t event, std::int32_t, void* context)
    {
        auto* rig = static_cast<Rig*>(context);
        {
            std::lock_guard lock(rig->m_lock);
            if (event >= 0 && event < kEventCount)
                ++rig->m_seen[event];
        }
        rig->m_changed.notify_all();
    }

    static constexpr int kEventCount = 16;
    CORXManager* m_session = nullptr;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_seen[kEventCount] = {};
};

Rig* g_rig = nullptr;

// Ten blocks of 7-bit packed coefficients to amp channel II, each acknowledged before the next.
void BM_JackInstallTenBlocks(benchmark::State& state)
{
    FIRRecord record;
    for (std::size_t i = 0; i < record.coefficients.size(); ++i)
        record.coefficients[i] = static_cast<std::int16_t>(i * 131);
    for (auto _ : state) {
        g_rig->session().setSpeakerTabFIRCOE(record);
        g_rig->session().addRequest(kRequestInstall, 1, 0);
        if (!g_rig->waitFor(kEventInstalled)) {
            state.SkipWithError("the install did not finish");
            break;
        }
    }
}
BENCHMARK(BM_JackInstallTenBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

// Effect data and the ten slot headers, one request and answer at a time.
void BM_JackReadAllModelTwo(benchmark::State& state)
{
    for (auto _ : state) {
        g_rig->session().addRequest(kRequestReadAll, 0, 0);
        if (!g_rig->waitFor(kEventReadAll)) {
            state.SkipWithError("the read-all did not finish");
            break;
        }
    }
}
BENCHMARK(BM_JackReadAllModelTwo)->Unit(benchmark::kMillisecond)->UseRealTime();

int runWithJack()
{
    std::string failure;
    const auto server = test::JackServer::start(failure);
    if (!server) {
        std::fprintf(stderr, "orx_jack_bench: no JACK server: %s\n", failure.c_str());
        return 1;
    }
    setenv("ORX_MIDI_API", "jack", 1);
    test::AmpSimProcess simulator({"--model", "2"});
    int exitCode = 0;
    {
        Rig rig;
        if (!rig.connect()) {
            std::fprintf(stderr, "orx_jack_bench: the session did not connect to orx-amp-sim; its output:\n%s",
                         simulator.output().c_str());
            return 1;
        }
        g_rig = &rig;
        benchmark::RunSpecifiedBenchmarks();
        g_rig = nullptr;
    }
    const auto status = simulator.process().stop();
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        std::fprintf(stderr, "orx_jack_bench: orx-amp-sim did not stop cleanly; its output:\n%s",
                     simulator.output().c_str());
        exitCode = 1;
    }
    return exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    int exitCode = 1;
    try {
        exitCode = runWithJack();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orx_jack_bench: %s\n", e.what());
    }
    benchmark::Shutdown();
    return exitCode;
}
