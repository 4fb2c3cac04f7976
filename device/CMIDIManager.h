// The process-wide owner of one MIDI input and one MIDI output port.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MidiBackend.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orx {

using MIDIInCallback = void (*)(void* context, const std::uint8_t* data, std::size_t size);
using MidiBackendFactory = std::function<std::unique_ptr<MidiBackend>()>;

class CMIDIManager final : private MidiInputSink, private MidiOutputSink {
public:
    // The factory every later createInstance uses; an empty one restores the system's ports. Returns the
    // factory it replaces (ScopedOverride puts it back).
    static MidiBackendFactory setBackendFactory(MidiBackendFactory factory);
    // A backend as the factory makes it, for a client of its own (the port probe) beside the instance's.
    static std::unique_ptr<MidiBackend> makeBackend();
    static CMIDIManager* createInstance();
    static CMIDIManager* getInstance();
    static void deleteInstance();
    // The instance when there is one; never creates it.
    static CMIDIManager* existingInstance();

    explicit CMIDIManager(std::unique_ptr<MidiBackend> backend);
    ~CMIDIManager();
    CMIDIManager(const CMIDIManager&) = delete;
    CMIDIManager& operator=(const CMIDIManager&) = delete;

    void getInDeviceNames(std::vector<std::string>& outNames);
    void getOutDeviceNames(std::vector<std::string>& outNames);

    int openIn(unsigned deviceId, MIDIInCallback callback, void* context);
    int startIn();
    int closeIn();
    int openOut(unsigned deviceId);
    // Abandons pending output; the output port stays open.
    int closeOut();
    // Closes the output port itself (what only the session's device close and deleteInstance do).
    int closeOutPort();
    int sendLongMessage(const std::uint8_t* data, std::size_t size);
    // Forgets pending output buffers after a failed send; the backend is no longer using them.
    void clearPendingOut();

    // The open ports' names as the MIDI system gives them (before normalisePortName); empty when closed.
    std::string inputPortName() const;
    std::string outputPortName() const;
    // Why the MIDI system cannot be used right now, in one line; empty while it can.
    std::string systemProblem();

    bool isInputOpen() const { return m_inHandle.load(); }
    bool isOutputOpen() const { return m_outHandle.load(); }
    std::size_t pendingOutCount() const;

    // Strips the last two characters of a name holding "-1" anywhere (UTF-8 aware).
    static std::string normalisePortName(std::string name);

private:
    void onShortMessage(std::uint32_t packed) override;
    void onLongMessage(const std::uint8_t* data, std::size_t size) override;
    void onOutputDone(std::uint64_t bufferId) override;
    void procMidiIn(const std::uint8_t* data, std::size_t size);
    void releasePending();

    std::unique_ptr<MidiBackend> m_backend;
    std::atomic<bool> m_inHandle{false};
    std::atomic<bool> m_outHandle{false};

    // Buffers handed to the backend and not reported done, keyed by a sequence number rather than an
    // address, so a late done report can never match a newer buffer.
    mutable std::mutex m_pendingLock;
    std::map<std::uint64_t, std::vector<std::uint8_t>> m_pendingOut;
    std::uint64_t m_nextBufferId = 1;

    std::atomic<MIDIInCallback> m_callback{nullptr};
    std::atomic<void*> m_callbackContext{nullptr};
    std::atomic<bool> m_inputStarted{false};
    bool m_outputOpen = false;

    mutable std::mutex m_nameLock;
    std::vector<std::string> m_listedIn;  // the backend's names at the last listing
    std::vector<std::string> m_listedOut;
    std::string m_inName;
    std::string m_outName;
};

} // namespace orx
