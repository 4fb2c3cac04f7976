// Two backends shown as one: the first one's ports, then the second one's.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../MidiBackend.h"

#include <memory>

namespace orx {

class CombinedBackend final : public MidiBackend {
public:
    CombinedBackend(std::unique_ptr<MidiBackend> first, std::unique_ptr<MidiBackend> second);

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
    // The system's ports are the first backend's; the second one's (the simulator's) never fail.
    std::string problem() override;

private:
    std::unique_ptr<MidiBackend> m_first;
    std::unique_ptr<MidiBackend> m_second;
    MidiBackend* m_in = nullptr;  // the backend whose input is open
    MidiBackend* m_out = nullptr; // the backend whose output is open
};

} // namespace orx
