// The amplifier's side of the protocol: takes whole messages from the program, answers with whole messages.
#pragma once

#include "DeviceRecords.h"
#include "SysexCatalogue.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace orx::sim {

// Everything the amplifier holds.
struct AmpModel {
    std::uint8_t modelCode = '2'; // '1' or '2'
    EffectData effect;
    std::array<FIRRecord, kIrSlotCount> slots{}; // 0 to 4 amp channel I, 5 to 9 amp channel II
    std::array<FIRRecord, 2> current{};          // the response in use on each amp channel
};

class SimulatedAmp {
public:
    explicit SimulatedAmp(std::uint8_t modelCode = '2');

    // Handles one whole message from the program; returns the amplifier's answers in order.
    std::vector<sysex::Bytes> receive(const std::uint8_t* data, std::size_t size);

    AmpModel model() const;
    void setModelCode(std::uint8_t modelCode);
    void setEffectByte(std::size_t index, std::uint8_t value);
    void setSlot(std::size_t slot, const FIRRecord& record);
    // A silent amplifier: heartbeat requests go unanswered.
    void setAnswersHeartbeat(bool answers);

    // Every message received so far, in order.
    std::vector<sysex::Bytes> received() const;
    void clearReceived();

    // One line for a message, as the simulator tool prints it.
    static std::string describe(const std::uint8_t* data, std::size_t size);

private:
    std::vector<sysex::Bytes> handleParameter(const sysex::Parameter& p);

    mutable std::mutex m_lock;
    AmpModel m_model;
    bool m_answersHeartbeat = true;
    std::vector<sysex::Bytes> m_received;
};

} // namespace orx::sim
