// MIDI port layer: port names, opening and closing, whole-message input, buffered long output.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"

#include "MidiTrace.h"
#include "backends/RtMidiBackend.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace orx {

namespace {

std::mutex g_instanceLock;
std::unique_ptr<CMIDIManager> g_instance;
MidiBackendFactory g_factory;

std::unique_ptr<MidiBackend> makeBackendLocked()
{
    std::unique_ptr<MidiBackend> backend = g_factory ? g_factory() : makeSystemMidiBackend();
    return backend ? std::move(backend) : makeSystemMidiBackend();
}

std::string nameAt(const std::vector<std::string>& names, unsigned id)
{
    return id < names.size() ? names[id] : std::string();
}

constexpr std::uint8_t kTimingClock = 0xF8;
constexpr std::uint8_t kActiveSensing = 0xFE;

} // namespace

std::unique_ptr<MidiBackend> CMIDIManager::makeBackend()
{
    MidiBackendFactory factory;
    {
        std::lock_guard lock(g_instanceLock);
        factory = g_factory;
    }
    std::unique_ptr<MidiBackend> backend = factory ? factory() : makeSystemMidiBackend();
    return backend ? std::move(backend) : makeSystemMidiBackend();
}

MidiBackendFactory CMIDIManager::setBackendFactory(MidiBackendFactory factory)
{
    std::lock_guard lock(g_instanceLock);
    return std::exchange(g_factory, std::move(factory));
}

CMIDIManager* CMIDIManager::createInstance()
{
    std::lock_guard lock(g_instanceLock);
    g_instance.reset();
    g_instance = std::make_unique<CMIDIManager>(makeBackendLocked());
    return g_instance.get();
}

CMIDIManager* CMIDIManager::getInstance()
{
    std::lock_guard lock(g_instanceLock);
    if (!g_instance)
        g_instance = std::make_unique<CMIDIManager>(makeBackendLocked());
    return g_instance.get();
}

CMIDIManager* CMIDIManager::existingInstance()
{
    std::lock_guard lock(g_instanceLock);
    return g_instance.get();
}

void CMIDIManager::deleteInstance()
{
    std::unique_ptr<CMIDIManager> doomed;
    {
        std::lock_guard lock(g_instanceLock);
        doomed = std::move(g_instance);
    }
    // The destructor closes both ports and releases the pending buffers.
}

CMIDIManager::CMIDIManager(std::unique_ptr<MidiBackend> backend) : m_backend(std::move(backend)) {}

CMIDIManager::~CMIDIManager()
{
    closeIn();
    closeOut();
    closeOutPort();
    releasePending();
}

std::string CMIDIManager::normalisePortName(std::string name)
{
    if (name.find("-1") == std::string::npos)
        return name;
    // Two characters, not two bytes: a UTF-8 sequence is removed whole.
    for (int removed = 0; removed < 2 && !name.empty(); ++removed) {
        std::size_t cut = name.size() - 1;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.erase(cut);
    }
    return name;
}

void CMIDIManager::getInDeviceNames(std::vector<std::string>& outNames)
{
    outNames.clear();
    auto names = m_backend->inputPortNames();
    for (const auto& name : names)
        outNames.push_back(normalisePortName(name));
    std::lock_guard lock(m_nameLock);
    m_listedIn = std::move(names);
}

void CMIDIManager::getOutDeviceNames(std::vector<std::string>& outNames)
{
    outNames.clear();
    auto names = m_backend->outputPortNames();
    for (const auto& name : names)
        outNames.push_back(normalisePortName(name));
    std::lock_guard lock(m_nameLock);
    m_listedOut = std::move(names);
}

std::string CMIDIManager::inputPortName() const
{
    std::lock_guard lock(m_nameLock);
    return m_inName;
}

std::string CMIDIManager::outputPortName() const
{
    std::lock_guard lock(m_nameLock);
    return m_outName;
}

std::string CMIDIManager::systemProblem()
{
    return m_backend->problem();
}

int CMIDIManager::openIn(unsigned deviceId, MIDIInCallback callback, void* context)
{
    closeIn();
    m_callback = callback;
    m_callbackContext = context;
    const int result = m_backend->openIn(deviceId, this);
    m_inHandle = result == kMidiOk;
    if (m_inHandle) {
        std::lock_guard lock(m_nameLock);
        m_inName = nameAt(m_listedIn, deviceId);
    }
    return result;
}

int CMIDIManager::startIn()
{
    if (!m_inHandle)
        return kMidiInvalidHandle;
    if (m_inputStarted)
        return kMidiOk;
    const int result = m_backend->startIn();
    if (result == kMidiOk)
        m_inputStarted = true;
    return result;
}

int CMIDIManager::closeIn()
{
    if (m_inputStarted && m_inHandle) {
        m_inputStarted = false;
        if (m_backend->resetIn() == kMidiOk)
            m_backend->stopIn();
    }
    int result = kMidiOk;
    if (m_inHandle) {
        result = m_backend->closeIn();
        m_inHandle = false;
    }
    m_inputStarted = false;
    m_callback = nullptr;
    m_callbackContext = nullptr;
    {
        std::lock_guard lock(m_nameLock);
        m_inName.clear();
    }
    return result;
}

int CMIDIManager::openOut(unsigned deviceId)
{
    closeOut();
    closeOutPort();
    const int result = m_backend->openOut(deviceId, this);
    if (result != kMidiOk) {
        m_outHandle = false;
        return result;
    }
    m_outHandle = true;
    m_outputOpen = true;
    std::lock_guard lock(m_nameLock);
    m_outName = nameAt(m_listedOut, deviceId);
    return kMidiOk;
}

int CMIDIManager::closeOut()
{
    if (!m_outputOpen || !m_outHandle)
        return kMidiOk;
    m_outputOpen = false;
    const int result = m_backend->resetOut();
    if (result != kMidiOk)
        return result;
    releasePending();
    return kMidiOk;
}

int CMIDIManager::closeOutPort()
{
    if (!m_outHandle)
        return kMidiOk;
    const int result = m_backend->closeOut();
    m_outHandle = false;
    m_outputOpen = false;
    std::lock_guard lock(m_nameLock);
    m_outName.clear();
    return result;
}

int CMIDIManager::sendLongMessage(const std::uint8_t* data, std::size_t size)
{
    // No amplifier to talk to: the reply time-outs notice that, not the send.
    if (!m_outHandle)
        return kMidiOk;
    const std::uint8_t* stored = nullptr;
    std::uint64_t id = 0;
    {
        std::lock_guard lock(m_pendingLock);
        id = m_nextBufferId++;
        auto& buffer = m_pendingOut[id];
        buffer.assign(data, data + size);
        stored = buffer.data();
    }
    if (miditrace::enabled())
        miditrace::message(miditrace::Direction::Out, outputPortName(), data, size);
    // Not under the lock: a backend may report the buffer done before sendLong returns.
    return m_backend->sendLong(stored, size, id);
}

void CMIDIManager::clearPendingOut()
{
    // Nothing can be unprepared any more; the buffers simply go.
    releasePending();
}

std::size_t CMIDIManager::pendingOutCount() const
{
    std::lock_guard lock(m_pendingLock);
    return m_pendingOut.size();
}

void CMIDIManager::releasePending()
{
    std::lock_guard lock(m_pendingLock);
    m_pendingOut.clear();
}

void CMIDIManager::onOutputDone(std::uint64_t bufferId)
{
    std::lock_guard lock(m_pendingLock);
    m_pendingOut.erase(bufferId); // a late report for a released buffer finds nothing
}

void CMIDIManager::onShortMessage(std::uint32_t packed)
{
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed & 0xFF),
                                   static_cast<std::uint8_t>((packed >> 8) & 0xFF),
                                   static_cast<std::uint8_t>((packed >> 16) & 0xFF)};
    if (bytes[0] == kTimingClock || bytes[0] == kActiveSensing)
        return;
    procMidiIn(bytes, sizeof bytes);
}

void CMIDIManager::onLongMessage(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return;
    procMidiIn(data, size);
}

void CMIDIManager::procMidiIn(const std::uint8_t* data, std::size_t size)
{
    try {
        if (miditrace::enabled())
            miditrace::message(miditrace::Direction::In, inputPortName(), data, size);
        if (MIDIInCallback callback = m_callback.load())
            callback(m_callbackContext.load(), data, size);
    } catch (...) {
        std::fputs("[CATCH] Exception! - CMIDIManager::procMidiIn()\n", stderr);
    }
}

} // namespace orx
