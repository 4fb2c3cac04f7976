// The amplifier's side of the protocol: takes whole messages from the program, answers with whole messages.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceRecords.h"
#include "SysexCatalogue.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orx::sim {

inline constexpr std::uint16_t kDefaultUpdaterValue = 110;

// Everything the amplifier holds.
struct AmpModel {
    std::uint8_t modelCode = '2'; // '1' or '2'
    EffectData effect;
    std::array<FIRRecord, kIrSlotCount> slots{}; // 0 to 4 amp channel I, 5 to 9 amp channel II
    std::array<FIRRecord, 2> current{};          // the response in use on each amp channel
    std::uint16_t updaterValue = kDefaultUpdaterValue;
};

// The slots as they leave the factory (and come back after a reset).
FIRRecord factoryRecord(std::size_t slot);

class SimulatedAmp {
public:
    using Outlet = std::function<void(sysex::Bytes)>;

    explicit SimulatedAmp(std::uint8_t modelCode = '2');

    // Handles one whole message from the program; returns the amplifier's answers in order.
    std::vector<sysex::Bytes> receive(const std::uint8_t* data, std::size_t size);

    // Where messages the amplifier sends by itself go (its host's input side).
    void setOutlet(Outlet outlet);
    // The amp-type knob turned on the amplifier: it switches the channel to that slot and says so.
    void turnAmpTypeKnob(int ampCh, int slot);

    AmpModel model() const;
    void setModelCode(std::uint8_t modelCode);
    void setEffectByte(std::size_t index, std::uint8_t value);
    void setSlot(std::size_t slot, const FIRRecord& record);
    void setUpdaterValue(std::uint16_t value);

    // Faults, as a real amplifier or cable can show them.
    void setSilent(bool silent);            // unplugged: answers nothing at all
    void setAnswersHeartbeat(bool answers); // alive for everything but the heartbeat
    void dropNextReplies(int count);        // the next answers are lost
    void corruptNextDumps(int count);       // the next bulk dumps carry a bad checksum
    // From now on every nth bulk dump carries a bad checksum, as a cable that drops bytes now and then; 0 stops it.
    void corruptEveryNthDump(int n);
    // The next answers to dump requests each come with a good dump of another slot right behind them, in
    // the same burst, as an amplifier that pushes its state unasked can do.
    void addStrayDumps(int count);
    void reportBlockBad(int block);                      // the next time this FIR block comes, reply "bad"
    void dropReplyToBlock(int block);                    // the next time this FIR block comes, its reply is lost
    void failNextStore();                                // the next store reply says "failed"
    void setReplyDelay(std::chrono::milliseconds delay); // the host delays every answer by this much
    std::chrono::milliseconds replyDelay() const;

    // Every message received so far, in order.
    std::vector<sysex::Bytes> received() const;
    void clearReceived();

    // One line for a message, as the simulator tool prints it.
    static std::string describe(const std::uint8_t* data, std::size_t size);

private:
    std::vector<sysex::Bytes> handleParameter(const sysex::Parameter& p);
    std::vector<sysex::Bytes> handleFIRBlock(const sysex::FIRBlock& block);
    sysex::Bytes dump(int dumpType);
    std::vector<sysex::Bytes> deliver(std::vector<sysex::Bytes> answers);
    void resetToFactory();

    mutable std::mutex m_lock;
    AmpModel m_model;
    Outlet m_outlet;
    // FIR data blocks of a transfer in progress, per amp channel.
    std::array<FIRTransferImage, 2> m_assembly{};
    std::array<unsigned, 2> m_blocksSeen{};

    bool m_silent = false;
    bool m_answersHeartbeat = true;
    int m_dropReplies = 0;
    int m_corruptDumps = 0;
    int m_corruptEvery = 0;
    int m_dumpsSinceCorruptEvery = 0;
    int m_strayDumps = 0;
    int m_badBlock = -1;
    int m_silentBlock = -1;
    bool m_failStore = false;
    std::chrono::milliseconds m_replyDelay{0};
    std::vector<sysex::Bytes> m_received;
};

} // namespace orx::sim
