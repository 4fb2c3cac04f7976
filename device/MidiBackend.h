// The thin interface between the MIDI port layer and a system's (or a simulator's) MIDI ports.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orx {

// Result codes as the port layer passes them on: 0 is success.
inline constexpr int kMidiOk = 0;
inline constexpr int kMidiError = 1;
inline constexpr int kMidiBadDeviceId = 2;
inline constexpr int kMidiAllocated = 4;
inline constexpr int kMidiInvalidHandle = 5;

// Receives input on the backend's own thread.
class MidiInputSink {
public:
    // A short message: status byte in bits 0-7, first data byte in 8-15, second in 16-23.
    virtual void onShortMessage(std::uint32_t packed) = 0;
    // One whole System Exclusive message; the bytes are valid only during the call.
    virtual void onLongMessage(const std::uint8_t* data, std::size_t size) = 0;

protected:
    ~MidiInputSink() = default;
};

// Told, on any thread, that an output buffer is no longer used by the backend.
class MidiOutputSink {
public:
    virtual void onOutputDone(std::uint64_t bufferId) = 0;

protected:
    ~MidiOutputSink() = default;
};

// One input and one output port at a time. Implementations never throw.
class MidiBackend {
public:
    virtual ~MidiBackend() = default;

    // One name per port; the index is the device id. A port whose name cannot be read yields "".
    virtual std::vector<std::string> inputPortNames() = 0;
    virtual std::vector<std::string> outputPortNames() = 0;

    virtual int openIn(unsigned deviceId, MidiInputSink* sink) = 0;
    // Input reaches the sink only between startIn and resetIn/stopIn/closeIn.
    virtual int startIn() = 0;
    virtual int resetIn() = 0;
    virtual int stopIn() = 0;
    // After it returns the sink is never called again. Never call it from the sink's own callback.
    virtual int closeIn() = 0;

    virtual int openOut(unsigned deviceId, MidiOutputSink* sink) = 0;
    // The bytes stay valid until the backend reports bufferId done or resetOut returns.
    virtual int sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t bufferId) = 0;
    // Abandons pending output; done reports for abandoned buffers may still arrive afterwards.
    virtual int resetOut() = 0;
    virtual int closeOut() = 0;

    // Why the MIDI system cannot be used right now, in one line; empty while it can.
    virtual std::string problem() { return {}; }
};

} // namespace orx
