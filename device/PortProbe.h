// Finding the amplifier by asking: the heartbeat request on every output port, a heartbeat heard on an input.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orx {

struct ProbeAnswer {
    std::string inputPort;  // names as the port lists give them
    std::string outputPort;
    std::uint8_t modelCode = 0; // the heartbeat's model character, '1' or '2'
};

struct ProbeResult {
    std::vector<std::string> inputs; // every port the probe saw
    std::vector<std::string> outputs;
    std::vector<ProbeAnswer> answers;
    // Why the MIDI system could not be used, in words; empty when it could.
    std::string problem;
};

inline constexpr std::chrono::milliseconds kProbeListen{300};

struct ProbeOptions {
    // How long each output's answer is listened for.
    std::chrono::milliseconds listen = kProbeListen;
    // The pair a connected session holds: reported as it is and never asked, so the session is never
    // disturbed and its own heartbeats are never taken for another port's answer.
    std::optional<ProbeAnswer> connected;
    // Set by another thread to end the probe early (the dialog closing).
    const std::atomic<bool>* cancel = nullptr;
};

// Runs on clients of its own (CMIDIManager::makeBackend), one per input so every input listens at once; takes
// about listen x the number of outputs. An output nothing answered within the first third of the time is asked
// once more. Never throws.
ProbeResult probeForAmp(const ProbeOptions& options = {});

} // namespace orx
