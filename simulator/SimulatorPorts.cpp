// In-process MIDI ports wired to the simulated amplifier, and the backend the program starts with.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatorPorts.h"

#include "backends/CombinedBackend.h"
#include "backends/RtMidiBackend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace orx::sim {

namespace {

// The backends of each amplifier. Taken before a backend's own lock, never inside it.
std::mutex g_hubLock;
std::map<const SimulatedAmp*, std::vector<SimulatorPortBackend*>>& hubs()
{
    static auto* registry = new std::map<const SimulatedAmp*, std::vector<SimulatorPortBackend*>>;
    return *registry;
}

} // namespace

void SimulatorPortBackend::broadcast(const SimulatedAmp* amp, const std::vector<sysex::Bytes>& messages,
                                     std::chrono::milliseconds delay)
{
    std::lock_guard hub(g_hubLock);
    const auto it = hubs().find(amp);
    if (it == hubs().end())
        return;
    for (SimulatorPortBackend* backend : it->second)
        backend->enqueue(messages, delay);
}

SimulatorPortBackend::SimulatorPortBackend(std::shared_ptr<SimulatedAmp> amp)
    : m_amp(std::move(amp)), m_thread([this] { deliveryLoop(); })
{
    std::lock_guard hub(g_hubLock);
    auto& backends = hubs()[m_amp.get()];
    if (backends.empty()) {
        const SimulatedAmp* key = m_amp.get();
        m_amp->setOutlet([key](sysex::Bytes message) { broadcast(key, {std::move(message)}, std::chrono::milliseconds(0)); });
    }
    backends.push_back(this);
}

SimulatorPortBackend::~SimulatorPortBackend()
{
    {
        std::lock_guard hub(g_hubLock);
        auto& backends = hubs()[m_amp.get()];
        backends.erase(std::remove(backends.begin(), backends.end(), this), backends.end());
        if (backends.empty()) {
            hubs().erase(m_amp.get());
            m_amp->setOutlet({});
        }
    }
    {
        std::lock_guard lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SimulatorPortBackend::inject(sysex::Bytes message)
{
    broadcast(m_amp.get(), {std::move(message)}, std::chrono::milliseconds(0));
}

void SimulatorPortBackend::enqueue(std::vector<sysex::Bytes> messages, std::chrono::milliseconds delay)
{
    if (messages.empty())
        return;
    const auto due = std::chrono::steady_clock::now() + delay;
    {
        std::lock_guard lock(m_lock);
        for (auto& message : messages)
            m_toInput.push_back({due, std::move(message)});
    }
    m_wake.notify_all();
}

void SimulatorPortBackend::flush()
{
    std::unique_lock lock(m_lock);
    m_idle.wait(lock, [this] { return m_toInput.empty() && !m_delivering; });
}

void SimulatorPortBackend::deliveryLoop()
{
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_toInput.empty(); });
        if (m_quit)
            break;
        // A delayed answer holds back everything behind it, as on a serial line.
        if (m_wake.wait_until(lock, m_toInput.front().due, [this] { return m_quit; }))
            break;
        sysex::Bytes message = std::move(m_toInput.front().message);
        m_toInput.pop_front();
        m_delivering = true;
        lock.unlock();
        {
            std::lock_guard callbackLock(m_callbackLock);
            MidiInputSink* sink = nullptr;
            {
                std::lock_guard stateLock(m_lock);
                sink = m_inStarted ? m_inSink : nullptr;
            }
            // A port that is not started drops what arrives, like a driver with no buffer queued.
            if (sink)
                sink->onLongMessage(message.data(), message.size());
        }
        lock.lock();
        m_delivering = false;
        if (m_toInput.empty())
            m_idle.notify_all();
    }
    m_toInput.clear();
    m_delivering = false;
    m_idle.notify_all();
}

std::vector<std::string> SimulatorPortBackend::inputPortNames()
{
    return {kSimulatorPortName};
}
std::vector<std::string> SimulatorPortBackend::outputPortNames()
{
    return {kSimulatorPortName};
}

int SimulatorPortBackend::openIn(unsigned deviceId, MidiInputSink* sink)
{
    if (deviceId != 0)
        return kMidiBadDeviceId;
    std::lock_guard lock(m_lock);
    if (m_inSink)
        return kMidiAllocated;
    m_inSink = sink;
    m_inStarted = false;
    return kMidiOk;
}

int SimulatorPortBackend::startIn()
{
    std::lock_guard lock(m_lock);
    if (!m_inSink)
        return kMidiInvalidHandle;
    m_inStarted = true;
    return kMidiOk;
}

int SimulatorPortBackend::resetIn()
{
    std::lock_guard lock(m_lock);
    if (!m_inSink)
        return kMidiInvalidHandle;
    m_inStarted = false;
    return kMidiOk;
}

int SimulatorPortBackend::stopIn()
{
    return resetIn();
}

int SimulatorPortBackend::closeIn()
{
    {
        std::lock_guard lock(m_lock);
        if (!m_inSink)
            return kMidiInvalidHandle;
        m_inStarted = false;
        m_inSink = nullptr;
    }
    // Wait for a delivery in progress, so the old sink is never called after this returns.
    std::lock_guard callbackLock(m_callbackLock);
    return kMidiOk;
}

int SimulatorPortBackend::openOut(unsigned deviceId, MidiOutputSink* sink)
{
    if (deviceId != 0)
        return kMidiBadDeviceId;
    std::lock_guard lock(m_lock);
    if (m_outSink)
        return kMidiAllocated;
    m_outSink = sink;
    return kMidiOk;
}

int SimulatorPortBackend::sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t bufferId)
{
    MidiOutputSink* sink = nullptr;
    {
        std::lock_guard lock(m_lock);
        sink = m_outSink;
    }
    if (!sink)
        return kMidiInvalidHandle;
    auto answers = m_amp->receive(data, size);
    sink->onOutputDone(bufferId);
    broadcast(m_amp.get(), answers, m_amp->replyDelay());
    if (m_answersBeforeSendReturns)
        flush();
    return kMidiOk;
}

int SimulatorPortBackend::resetOut()
{
    std::lock_guard lock(m_lock);
    return m_outSink ? kMidiOk : kMidiInvalidHandle;
}

int SimulatorPortBackend::closeOut()
{
    std::lock_guard lock(m_lock);
    if (!m_outSink)
        return kMidiInvalidHandle;
    m_outSink = nullptr;
    return kMidiOk;
}

std::unique_ptr<MidiBackend> makeBackendFromEnvironment()
{
    auto system = makeSystemMidiBackend();
    const char* model = std::getenv("ORX_SIMULATED_AMP");
    if (!model || (std::strcmp(model, "1") != 0 && std::strcmp(model, "2") != 0))
        return system;
    // Made once: the amplifier outlives the program's reconnections (another MIDI system chosen, the probe).
    static std::mutex lock;
    static std::shared_ptr<SimulatedAmp> amps[2];
    std::shared_ptr<SimulatedAmp> amp;
    {
        std::lock_guard guard(lock);
        auto& shared = amps[model[0] - '1'];
        if (!shared)
            shared = std::make_shared<SimulatedAmp>(static_cast<std::uint8_t>(model[0]));
        amp = shared;
    }
    auto simulator = std::make_unique<SimulatorPortBackend>(std::move(amp));
    return std::make_unique<CombinedBackend>(std::move(system), std::move(simulator));
}

} // namespace orx::sim
