// A private JACK server (dummy driver) for the tests and benchmarks, and the environment they point at it.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"

#include "backends/RtMidiBackendImpl.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace orx::test {

// How long a child gets to come up; generous, since CI machines can be slow. Never an assertion.
inline constexpr std::chrono::milliseconds kStartLimit{20000};
// How long to wait for one MIDI message to make it through JACK.
inline constexpr std::chrono::milliseconds kMessageLimit{10000};
// The dummy driver's own period, which a server keeps unless asked for another, and its rate, which they all keep.
inline constexpr int kDummyDefaultPeriod = 1024;
inline constexpr int kDummySampleRate = 48000;

class JackServer {
public:
    // Starts jackd under a name no other run uses and points this process (and so every child it
    // starts later) at it. Returns nullptr and a reason when the server does not come up.
    // periodFrames: frames per JACK cycle, which sets how long a MIDI message waits for the next cycle;
    // 0 keeps the dummy driver's own period (kDummyDefaultPeriod), as the end-to-end tests have always run.
    static std::unique_ptr<JackServer> start(std::string& failure, std::chrono::milliseconds limit = kStartLimit,
                                             int periodFrames = 0)
    {
        std::random_device random;
        const std::string name = "orx-test-" + std::to_string(getpid()) + "-" + std::to_string(random() % 1000000);
        // No reservation of audio devices over D-Bus, no server started behind our back, and this one by default.
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);

        std::unique_ptr<JackServer> server(new JackServer(name));
        // -r before the driver: no realtime scheduling, which a container or an unprivileged CI runner may refuse.
        // -t: without realtime scheduling a busy machine can keep a client from its cycle for a while; the
        // default half second would make the server drop it ("zombify") and the test see a lost message.
        server->m_args = {"-n", name, "-r", "-t", "10000", "-d", "dummy"};
        if (periodFrames > 0)
            server->m_args.insert(server->m_args.end(), {"-p", std::to_string(periodFrames)});
        if (!server->launch(failure, limit))
            return nullptr;
        return server;
    }

    // Ends the server, as a user quitting JACK does; its clients lose it.
    void stop()
    {
        if (m_process)
            m_process->stop();
    }

    // Starts the server again under the same name and with the same options.
    bool restart(std::string& failure, std::chrono::milliseconds limit = kStartLimit)
    {
        stop();
        return launch(failure, limit);
    }

    const std::string& name() const { return m_name; }
    std::string output() const { return m_process ? m_process->output() : std::string(); }

private:
    explicit JackServer(std::string name) : m_name(std::move(name)) {}

    bool launch(std::string& failure, std::chrono::milliseconds limit)
    {
        std::string command = ORX_TEST_JACKD;
        for (const std::string& arg : m_args)
            command += " " + arg;
        try {
            m_process = std::make_unique<ChildProcess>(ORX_TEST_JACKD, m_args);
        } catch (const std::exception& e) {
            failure = "cannot start " + command + ": " + e.what();
            return false;
        }
        // Ready when a client can connect: RtMidi's port object is such a client.
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        std::string lastReason;
        for (;;) {
            if (rtmidi::createInput(RtMidi::UNIX_JACK, "orx-test-probe", lastReason))
                return true;
            if (!m_process->running()) {
                failure = command + " exited; its output:\n" + m_process->output();
                return false;
            }
            if (std::chrono::steady_clock::now() >= giveUp) {
                failure = command + " did not accept clients (" + lastReason + "); its output:\n" + m_process->output();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    std::string m_name;
    std::vector<std::string> m_args;
    std::unique_ptr<ChildProcess> m_process;
};

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace orx::test
