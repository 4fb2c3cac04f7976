// The simulated amplifier behind an in-process pair of MIDI ports.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MidiBackend.h"
#include "SimulatedAmp.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace orx::sim {

inline constexpr const char* kSimulatorPortName = "Kovalex/ORX Simulator";

// One input and one output port named kSimulatorPortName. Answers reach the input sink on the
// backend's own delivery thread, as a system's MIDI input would. Backends made on the same amplifier are
// clients of one device: what the amplifier says reaches every one of them whose input is started, as a
// real amplifier's output reaches every program listening to it.
class SimulatorPortBackend final : public MidiBackend {
public:
    explicit SimulatorPortBackend(std::shared_ptr<SimulatedAmp> amp);
    ~SimulatorPortBackend() override;

    std::shared_ptr<SimulatedAmp> amp() const { return m_amp; }
    // A message from the amplifier that answers nothing (an announcement, or a test's own bytes).
    void inject(sysex::Bytes message);
    // Returns when everything queued so far has been delivered or dropped.
    void flush();
    // Answers reach the input sink before sendLong returns, as when the program is descheduled between
    // sending and waiting: the whole burst of answers is in before the wait for the first one begins.
    void setAnswersBeforeSendReturns(bool on) { m_answersBeforeSendReturns = on; }

    std::vector<std::string> inputPortNames() override;
    std::vector<std::string> outputPortNames() override;
    int openIn(unsigned deviceId, MidiInputSink* sink) override;
    int startIn() override;
    int resetIn() override;
    int stopIn() override;
    int closeIn() override;
    int openOut(unsigned deviceId, MidiOutputSink* sink) override;
    int sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t bufferId) override;
    int resetOut() override;
    int closeOut() override;

private:
    void deliveryLoop();
    static void broadcast(const SimulatedAmp* amp, const std::vector<sysex::Bytes>& messages,
                          std::chrono::milliseconds delay);

    std::shared_ptr<SimulatedAmp> m_amp;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    struct Pending {
        std::chrono::steady_clock::time_point due;
        sysex::Bytes message;
    };
    void enqueue(std::vector<sysex::Bytes> messages, std::chrono::milliseconds delay);

    std::deque<Pending> m_toInput;
    bool m_delivering = false;
    bool m_quit = false;
    MidiInputSink* m_inSink = nullptr;
    bool m_inStarted = false;
    MidiOutputSink* m_outSink = nullptr;
    // Held while a message is handed to the input sink, so closeIn can wait for it to finish.
    std::mutex m_callbackLock;
    std::atomic<bool> m_answersBeforeSendReturns{false};
    std::thread m_thread;
};

// The system's MIDI ports, followed by the simulator's when ORX_SIMULATED_AMP is 1 or 2. Every backend made
// this way in a process talks to the same simulated amplifier, which keeps its state between them.
std::unique_ptr<MidiBackend> makeBackendFromEnvironment();

} // namespace orx::sim
