// The idle worker sleeps until checkConnection has something due; only the clock reaching that time wakes it.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionFixture.h"

#include "SysexCatalogue.h"

#include <algorithm>
#include <functional>

namespace orx {
namespace {

using namespace std::chrono_literals;

// How long the worker is given to show it stays asleep; a polling worker wakes hundreds of times in it.
constexpr auto kQuietWindow = 200ms;

class IdleWorker : public test::SessionFixture {
protected:
    void TearDown() override
    {
        if (session)
            session->stopRequestThread();
        SessionFixture::TearDown();
    }

    std::size_t heartbeatRequestsSent() const
    {
        const auto beat = sysex::heartbeatRequest();
        const auto all = amp->received();
        return static_cast<std::size_t>(
            std::count(all.begin(), all.end(), sysex::Bytes(beat.begin(), beat.end())));
    }
};

TEST_F(IdleWorker, SleepsUntilTheNextDueTimeAndWakesOnceWhenTheClockReachesIt)
{
    const SessionTiming timing = test::fastRequestTiming();
    struct Case {
        const char* what;
        bool amplifierThere;
        std::chrono::milliseconds due; // after the moment the worker went to sleep
        std::function<std::size_t()> done;
    } cases[] = {
        {"connected: the next heartbeat request", true, timing.heartbeatRequestPeriod,
         [this] { return heartbeatRequestsSent(); }},
        {"no amplifier: the next connection check, which starts a search", false, timing.connectionCheckPeriod,
         [this] { return events.valuesOf(kEventNoHeartbeat).size(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startSession(c.amplifierThere, timing);
        session->startRequestThread();
        if (c.amplifierThere) {
            session->addRequest(kRequestOpen, 0, 0);
            ASSERT_TRUE(events.waitFor(kEventConnected));
        } else {
            ASSERT_TRUE(events.waitFor(kEventNoHeartbeat)); // the first pass's check
        }
        const std::uint64_t wakes = session->workerWakeCount();
        const std::size_t before = c.done();

        clock->advance(c.due - 1ms);
        EXPECT_FALSE(test::waitUntil([&] { return session->workerWakeCount() != wakes; }, kQuietWindow))
            << "woke before anything was due";
        EXPECT_EQ(c.done(), before);

        clock->advance(1ms);
        ASSERT_TRUE(test::waitUntil([&] { return c.done() > before; })) << "slept through the due time";
        EXPECT_EQ(session->workerWakeCount(), wakes + 1);

        TearDown();
        session = nullptr;
        ports = nullptr;
        amp = std::make_shared<sim::SimulatedAmp>('2');
        events.clear();
    }
}

} // namespace
} // namespace orx
