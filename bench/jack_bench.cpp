// Speed of whole device requests over a private JACK server against orx-amp-sim (model 2), at several JACK
// periods. A MIDI message waits for the next JACK cycle at each hop, so the transport's share grows with the
// period while the program's own share does not; the per-trip counters and the in-process figures of
// orx_device_bench (the same requests without JACK) tell the two apart.
// With ORX_BENCH_ALSA=1 the same requests go over the ALSA sequencer to an amp that is already there instead (the
// system tests' USB MIDI gadget with orx-amp-sim behind it, found by its name as the program finds an amp), and
// no JACK server is started: the figures of a USB amp beside those of JACK, on the same machine.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "ErrorTexts.h"
#include "SessionClock.h"
#include "SysexCatalogue.h"

#include "AmpSimProcess.h"
#include "JackServer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace orx;

// How long one request or the connection may take before the run is called off. Never a measurement.
constexpr std::chrono::milliseconds kLimit{20000};
// An open that finds no port does nothing; the simulator's ports can reach JACK's list a moment late.
constexpr std::chrono::milliseconds kOpenRetry{500};
// How often one request is tried, each time on a new session, before the run is given up.
constexpr int kAttempts = 3;
// Frames per JACK cycle the benchmarks run at, shortest first.
constexpr int kPeriods[] = {64, 256, 1024};
// The "period" of an amp already on the system's ports: no JACK server, no simulator of the benchmark's own.
constexpr int kAlreadyThere = 0;

// One request and its answer each: the coefficient blocks, and the effect data plus the slot headers of
// both amp channels (model 2).
constexpr int kInstallTrips = static_cast<int>(sysex::kFIRBlockCount);
constexpr int kReadAllTrips = 1 + 2 * static_cast<int>(kSlotsPerChannel);

// The session with its worker, connected to the simulator; waits on events without polling.
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
        std::string ignored;
        return m_session->isOpen() && waitFor(kEventConnected, ignored);
    }

    CORXManager& session() { return *m_session; }

    // Takes one occurrence of the event. When an error or a disconnection comes first, this wait takes
    // those too and fails with what happened; so does a wait that runs out of time.
    bool waitFor(int event, std::string& failure)
    {
        std::unique_lock lock(m_lock);
        const bool came = m_changed.wait_for(lock, kLimit, [&] {
            return m_seen[event] > 0 || m_seen[kEventError] > 0 || m_seen[kEventDisconnected] > 0;
        });
        if (came && m_seen[event] > 0) {
            --m_seen[event];
            return true;
        }
        if (!came)
            failure = "no answer within " + std::to_string(kLimit.count()) + " ms";
        else if (m_seen[kEventError] > 0)
            failure = mstd::errorMessage(m_lastError);
        else
            failure = "the session lost the amplifier";
        m_seen[kEventError] = 0;
        m_seen[kEventDisconnected] = 0;
        return false;
    }

private:
    static void onEvent(std::int32_t event, std::int32_t value, void* context)
    {
        auto* rig = static_cast<Rig*>(context);
        {
            std::lock_guard lock(rig->m_lock);
            if (event >= 0 && event < kEventCount)
                ++rig->m_seen[event];
            if (event == kEventError)
                rig->m_lastError = value;
        }
        rig->m_changed.notify_all();
    }

    static constexpr int kEventCount = 16;
    CORXManager* m_session = nullptr;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_seen[kEventCount] = {};
    std::int32_t m_lastError = 0;
};

// The JACK server at one period, orx-amp-sim on it and a session connected to it. Changing the period
// restarts all three. A session that met an error is dropped whole, worker and MIDI ports with it, so nothing
// it still had in flight reaches the next one.
class Transport {
public:
    ~Transport() { stop(); }

    // A connected session at `period`, or null with the reason.
    Rig* ready(int period, std::string& failure)
    {
        if (period != m_period)
            stop();
        if (period != kAlreadyThere && !m_server) {
            m_period = period;
            m_server = test::JackServer::start(failure, test::kStartLimit, period);
            if (!m_server)
                return nullptr;
            try {
                m_simulator = std::make_unique<test::AmpSimProcess>(std::vector<std::string>{"--model", "2"});
            } catch (const std::exception& e) {
                failure = e.what();
                stop();
                return nullptr;
            }
        }
        if (!m_rig) {
            m_rig = std::make_unique<Rig>();
            if (!m_rig->connect()) {
                failure = m_simulator ? "the session did not connect to orx-amp-sim; its output:\n" + m_simulator->output()
                                      : std::string("the session found no amplifier on the ALSA sequencer");
                m_rig.reset();
                return nullptr;
            }
        }
        return m_rig.get();
    }

    void sessionFailed() { m_rig.reset(); }
    // A run that could not be measured: the program's exit status tells it, as the output does.
    void runFailed() { m_clean = false; }

    // Whether every run so far was measured and every simulator stopped so far exited cleanly.
    bool clean() const { return m_clean; }

    void stop()
    {
        m_rig.reset();
        if (m_simulator) {
            const auto status = m_simulator->process().stop();
            if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
                std::fprintf(stderr, "orx_jack_bench: orx-amp-sim (period %d) did not stop cleanly; its output:\n%s",
                             m_period, m_simulator->output().c_str());
                m_clean = false;
            }
            m_simulator.reset();
        }
        m_server.reset();
        m_period = 0;
    }

private:
    int m_period = 0;
    std::unique_ptr<test::JackServer> m_server;
    std::unique_ptr<test::AmpSimProcess> m_simulator;
    std::unique_ptr<Rig> m_rig;
    bool m_clean = true;
};

Transport* g_transport = nullptr;

// Runs `request` once per iteration at the period of the benchmark's argument, timing each request alone, and adds
// the time per round trip and that time in JACK periods: what stays when the period shrinks is the program's own
// cost. A failed request is told once, on the standard error; the session is replaced and the request timed
// again on the new one, so one error fails neither the run nor those after it. Only a request that keeps
// failing ends the run.
template <typename Request> void runRequests(benchmark::State& state, int roundTrips, Request request)
{
    const int period = static_cast<int>(state.range(0));
    std::string failure;
    Rig* rig = g_transport->ready(period, failure);
    if (!rig) {
        g_transport->runFailed();
        state.SkipWithError(failure.c_str());
        return;
    }
    double spentSeconds = 0.0;
    for (auto _ : state) {
        for (int attempt = 1;; ++attempt) {
            const auto start = std::chrono::steady_clock::now();
            if (request(*rig, failure)) {
                const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
                state.SetIterationTime(took.count());
                spentSeconds += took.count();
                break;
            }
            std::fprintf(stderr, "orx_jack_bench: %s (period %d, attempt %d)\n", failure.c_str(), period, attempt);
            g_transport->sessionFailed();
            rig = attempt < kAttempts ? g_transport->ready(period, failure) : nullptr;
            if (!rig) {
                g_transport->runFailed();
                state.SkipWithError(failure.c_str());
                return;
            }
        }
    }
    const double tripMs = 1000.0 * spentSeconds / (static_cast<double>(state.iterations()) * roundTrips);
    state.counters["trips"] = roundTrips;
    state.counters["ms_per_trip"] = tripMs;
    if (period != kAlreadyThere)
        state.counters["periods_per_trip"] = tripMs / (1000.0 * period / test::kDummySampleRate);
}

// Ten blocks of 7-bit packed coefficients to amp channel II, each acknowledged before the next.
void BM_JackInstallTenBlocks(benchmark::State& state)
{
    FIRRecord record;
    for (std::size_t i = 0; i < record.coefficients.size(); ++i)
        record.coefficients[i] = static_cast<std::int16_t>(i * 131);
    runRequests(state, kInstallTrips, [&](Rig& rig, std::string& failure) {
        rig.session().setSpeakerTabFIRCOE(record);
        rig.session().addRequest(kRequestInstall, 1, 0);
        if (rig.waitFor(kEventInstalled, failure))
            return true;
        failure = "the install did not finish: " + failure;
        return false;
    });
}

// Effect data and the ten slot headers, one request and answer at a time.
void BM_JackReadAllModelTwo(benchmark::State& state)
{
    runRequests(state, kReadAllTrips, [](Rig& rig, std::string& failure) {
        rig.session().addRequest(kRequestReadAll, 0, 0);
        if (rig.waitFor(kEventReadAll, failure))
            return true;
        failure = "the read-all did not finish: " + failure;
        return false;
    });
}

bool overAlsa()
{
    const char* value = std::getenv("ORX_BENCH_ALSA");
    return value && std::string(value) == "1";
}

// Period by period, so each server is started once when the benchmarks run in order.
void registerBenchmarks()
{
    if (overAlsa()) {
        benchmark::RegisterBenchmark("BM_AlsaInstallTenBlocks", BM_JackInstallTenBlocks)
            ->Arg(kAlreadyThere)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
        benchmark::RegisterBenchmark("BM_AlsaReadAllModelTwo", BM_JackReadAllModelTwo)
            ->Arg(kAlreadyThere)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
        return;
    }
    for (const int period : kPeriods) {
        benchmark::RegisterBenchmark("BM_JackInstallTenBlocks", BM_JackInstallTenBlocks)
            ->ArgName("period")
            ->Arg(period)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
        benchmark::RegisterBenchmark("BM_JackReadAllModelTwo", BM_JackReadAllModelTwo)
            ->ArgName("period")
            ->Arg(period)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
    }
}

int runWithJack()
{
    setenv("ORX_MIDI_API", overAlsa() ? "alsa" : "jack", 1);
    Transport transport;
    g_transport = &transport;
    benchmark::RunSpecifiedBenchmarks();
    transport.stop();
    g_transport = nullptr;
    return transport.clean() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    registerBenchmarks();
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
