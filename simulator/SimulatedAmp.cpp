// The simulated amplifier: one model of its state and its answer to each message.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatedAmp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orx::sim {

namespace {

std::string hex(const std::uint8_t* data, std::size_t size)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
        out += buf;
    }
    return out;
}

sysex::Bytes parameterReply(std::uint8_t group, std::uint8_t parameter, std::uint8_t data1, std::uint8_t data2)
{
    const auto m = sysex::parameterMessage(group, parameter, data1, data2);
    return sysex::Bytes(m.begin(), m.end());
}

} // namespace

FIRRecord factoryRecord(std::size_t slot)
{
    static constexpr const char* kAmpTypes[kSlotsPerChannel] = {"MODERN", "LEAD", "CRUNCH", "CLEAN", "SOLID"};
    FIRRecord record;
    const std::string name = std::string("Factory ") + kAmpTypes[slot % kSlotsPerChannel] + (slot < 5 ? " I" : " II");
    std::memcpy(record.irName.data(), name.data(), name.size());
    record.FIRCOE = 5181; // -10 dB
    // A short decaying response, different per slot, so a copy from the wrong slot shows.
    for (std::size_t i = 0; i < 64; ++i)
        record.coefficients[i] = static_cast<std::int16_t>((0x7FFF >> (i / 8)) * ((i + slot) % 2 ? -1 : 1));
    return record;
}

SimulatedAmp::SimulatedAmp(std::uint8_t modelCode)
{
    m_model.modelCode = modelCode;
    resetToFactory();
}

void SimulatedAmp::resetToFactory()
{
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot)
        m_model.slots[slot] = factoryRecord(slot);
    m_model.current[0] = m_model.slots[m_model.effect.bytes[EffectData::kSlotChannel1] % kSlotsPerChannel];
    m_model.current[1] =
        m_model.slots[m_model.effect.bytes[EffectData::kSlotChannel2] % kSlotsPerChannel + kSlotsPerChannel];
}

AmpModel SimulatedAmp::model() const
{
    std::lock_guard lock(m_lock);
    return m_model;
}

void SimulatedAmp::setModelCode(std::uint8_t modelCode)
{
    std::lock_guard lock(m_lock);
    m_model.modelCode = modelCode;
}

void SimulatedAmp::setEffectByte(std::size_t index, std::uint8_t value)
{
    std::lock_guard lock(m_lock);
    if (index < m_model.effect.bytes.size())
        m_model.effect.bytes[index] = value;
}

void SimulatedAmp::setSlot(std::size_t slot, const FIRRecord& record)
{
    std::lock_guard lock(m_lock);
    if (slot < kIrSlotCount)
        m_model.slots[slot] = record;
}

void SimulatedAmp::setUpdaterValue(std::uint16_t value)
{
    std::lock_guard lock(m_lock);
    m_model.updaterValue = value;
}

void SimulatedAmp::setOutlet(Outlet outlet)
{
    std::lock_guard lock(m_lock);
    m_outlet = std::move(outlet);
}

void SimulatedAmp::turnAmpTypeKnob(int ampCh, int slot)
{
    if ((ampCh != 0 && ampCh != 1) || slot < 0 || slot >= static_cast<int>(kSlotsPerChannel))
        return;
    Outlet outlet;
    sysex::Bytes announcement;
    {
        std::lock_guard lock(m_lock);
        const auto ch = static_cast<std::size_t>(ampCh);
        m_model.effect.bytes[ch == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2] =
            static_cast<std::uint8_t>(slot);
        m_model.current[ch] = m_model.slots[static_cast<std::size_t>(slot) + ch * kSlotsPerChannel];
        announcement = parameterReply(sysex::param::kGroupEffect,
                                      ch == 0 ? sysex::param::kSlotSwitchChannel1 : sysex::param::kSlotSwitchChannel2,
                                      0, static_cast<std::uint8_t>(slot));
        outlet = m_outlet;
    }
    if (outlet)
        outlet(std::move(announcement));
}

void SimulatedAmp::setSilent(bool silent)
{
    std::lock_guard lock(m_lock);
    m_silent = silent;
}

void SimulatedAmp::setAnswersHeartbeat(bool answers)
{
    std::lock_guard lock(m_lock);
    m_answersHeartbeat = answers;
}

void SimulatedAmp::dropNextReplies(int count)
{
    std::lock_guard lock(m_lock);
    m_dropReplies = count;
}

void SimulatedAmp::corruptNextDumps(int count)
{
    std::lock_guard lock(m_lock);
    m_corruptDumps = count;
}

void SimulatedAmp::corruptEveryNthDump(int n)
{
    std::lock_guard lock(m_lock);
    m_corruptEvery = n;
    m_dumpsSinceCorruptEvery = 0;
}

void SimulatedAmp::addStrayDumps(int count)
{
    std::lock_guard lock(m_lock);
    m_strayDumps = count;
}

void SimulatedAmp::reportBlockBad(int block)
{
    std::lock_guard lock(m_lock);
    m_badBlock = block;
}

void SimulatedAmp::dropReplyToBlock(int block)
{
    std::lock_guard lock(m_lock);
    m_silentBlock = block;
}

void SimulatedAmp::failNextStore()
{
    std::lock_guard lock(m_lock);
    m_failStore = true;
}

void SimulatedAmp::setReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_lock);
    m_replyDelay = delay;
}

std::chrono::milliseconds SimulatedAmp::replyDelay() const
{
    std::lock_guard lock(m_lock);
    return m_replyDelay;
}

std::vector<sysex::Bytes> SimulatedAmp::received() const
{
    std::lock_guard lock(m_lock);
    return m_received;
}

void SimulatedAmp::clearReceived()
{
    std::lock_guard lock(m_lock);
    m_received.clear();
}

std::vector<sysex::Bytes> SimulatedAmp::receive(const std::uint8_t* data, std::size_t size)
{
    std::lock_guard lock(m_lock);
    m_received.emplace_back(data, data + size);
    if (m_silent || !sysex::hasAmpHeader(data, size))
        return {};
    if (const auto dumpType = sysex::parseDumpRequest(data, size)) {
        std::vector<sysex::Bytes> answers{dump(*dumpType)};
        if (m_strayDumps > 0) {
            --m_strayDumps;
            // Another FIR header: never the one asked for, and never a checksum fault of its own.
            const int stray = *dumpType == sysex::kDumpTypeEffectData ? 0 : (*dumpType + 1) % 10;
            const auto& slot = m_model.slots[static_cast<std::size_t>(stray)];
            answers.push_back(sysex::firHeaderDump(stray, slot.irName, slot.FIRCOE));
        }
        return deliver(std::move(answers));
    }
    if (const auto p = sysex::parseParameter(data, size))
        return deliver(handleParameter(*p));
    if (const auto block = sysex::parseFIRDataBlock(data, size))
        return deliver(handleFIRBlock(*block));
    return {};
}

std::vector<sysex::Bytes> SimulatedAmp::deliver(std::vector<sysex::Bytes> answers)
{
    std::vector<sysex::Bytes> kept;
    for (auto& answer : answers) {
        if (m_dropReplies > 0) {
            --m_dropReplies;
            continue;
        }
        kept.push_back(std::move(answer));
    }
    return kept;
}

sysex::Bytes SimulatedAmp::dump(int dumpType)
{
    sysex::Bytes out = dumpType == sysex::kDumpTypeEffectData
                           ? sysex::effectDataDump(m_model.effect)
                           : sysex::firHeaderDump(dumpType, m_model.slots[static_cast<std::size_t>(dumpType)].irName,
                                                  m_model.slots[static_cast<std::size_t>(dumpType)].FIRCOE);
    // Every dump counts towards the steady fault, those the one-off fault spoils too, so it stays every nth.
    bool corrupt = false;
    if (m_corruptEvery > 0 && ++m_dumpsSinceCorruptEvery == m_corruptEvery) {
        m_dumpsSinceCorruptEvery = 0;
        corrupt = true;
    }
    if (m_corruptDumps > 0) {
        --m_corruptDumps;
        corrupt = true;
    }
    if (corrupt)
        out[out.size() - 2] ^= 0x01;
    return out;
}

std::vector<sysex::Bytes> SimulatedAmp::handleParameter(const sysex::Parameter& p)
{
    namespace pm = sysex::param;
    if (p.group == pm::kGroupSystem) {
        if (p.parameter == pm::kHeartbeatRequest && m_answersHeartbeat)
            return {sysex::heartbeat(m_model.modelCode)};
        if (p.parameter == pm::kUpdaterRequest) {
            const auto value = sysex::encode14(m_model.updaterValue);
            return {parameterReply(pm::kGroupSystem, pm::kUpdaterReply, value[0], value[1])};
        }
        return {};
    }
    if (p.group == pm::kGroupEffect) {
        // Effect parameters 1 to 4 of each channel and the two FX loop connections sit at their own byte.
        const bool known = (p.parameter >= 0x01 && p.parameter <= 0x06) || (p.parameter >= 0x09 && p.parameter <= 0x0C);
        if (known && p.data1 == 0)
            m_model.effect.bytes[p.parameter] = p.data2;
        return {};
    }
    if (p.group != pm::kGroupFIR)
        return {};
    switch (p.parameter) {
    case pm::kSelectSlot: {
        const std::size_t ch = p.data1 == 0 ? 0 : 1;
        if (p.data2 < kIrSlotCount && p.data2 / kSlotsPerChannel == ch) {
            m_model.current[ch] = m_model.slots[p.data2];
            m_model.effect.bytes[ch == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2] =
                static_cast<std::uint8_t>(p.data2 % kSlotsPerChannel);
        }
        return {};
    }
    case pm::kNameCharChannel1:
    case pm::kNameCharChannel2:
        if (p.data1 < kIrNameLength - 1)
            m_model.current[p.parameter == pm::kNameCharChannel1 ? 0 : 1].irName[p.data1] = p.data2;
        return {};
    case pm::kGainChannel1:
    case pm::kGainChannel2:
        m_model.current[p.parameter == pm::kGainChannel1 ? 0 : 1].FIRCOE = sysex::decode14(p.data1, p.data2);
        return {};
    case pm::kStore: {
        const std::uint8_t ch = p.data1 == 0 ? 0 : 1;
        const bool slotOk = p.data2 < kIrSlotCount && p.data2 / kSlotsPerChannel == ch;
        const bool failed = m_failStore || !slotOk;
        m_failStore = false;
        if (!failed)
            m_model.slots[p.data2] = m_model.current[ch];
        return {parameterReply(pm::kGroupFIR, pm::kStoreReply, ch, failed ? 1 : 0)};
    }
    case pm::kReset:
        resetToFactory();
        return {parameterReply(pm::kGroupFIR, pm::kResetReply, 0, 0)};
    default:
        return {};
    }
}

std::vector<sysex::Bytes> SimulatedAmp::handleFIRBlock(const sysex::FIRBlock& block)
{
    const std::uint8_t ch = block.ampCh == 0 ? 0 : 1;
    bool bad =
        !block.checksumOk || block.blockNumber < 0 || block.blockNumber >= static_cast<int>(sysex::kFIRBlockCount);
    if (!bad && block.blockNumber == m_badBlock) {
        m_badBlock = -1;
        bad = true;
    }
    if (!bad) {
        const std::size_t offset = sysex::firBlockOffset(block.blockNumber);
        const std::size_t length = std::min(sysex::firBlockPayloadSize(block.blockNumber), block.payload.size());
        std::copy_n(block.payload.begin(), length, m_assembly[ch].begin() + static_cast<std::ptrdiff_t>(offset));
        if (block.blockNumber == 0)
            m_blocksSeen[ch] = 0;
        m_blocksSeen[ch] |= 1u << block.blockNumber;
        // The last block completes a transfer whose every block arrived.
        if (block.blockNumber == static_cast<int>(sysex::kFIRBlockCount) - 1 && m_blocksSeen[ch] == 0x3FF)
            m_model.current[ch] = fromTransferImage(m_assembly[ch]);
    }
    if (block.blockNumber == m_silentBlock) {
        m_silentBlock = -1;
        return {};
    }
    return {parameterReply(sysex::param::kGroupFIR, sysex::param::kBlockReply, ch, bad ? 1 : 0)};
}

std::string SimulatedAmp::describe(const std::uint8_t* data, std::size_t size)
{
    char line[128];
    if (const auto model = sysex::parseHeartbeat(data, size)) {
        std::snprintf(line, sizeof line, "heartbeat, model %c", *model);
    } else if (const auto type = sysex::parseDumpRequest(data, size)) {
        std::snprintf(line, sizeof line, "dump request, type %d", *type);
    } else if (const auto p = sysex::parseParameter(data, size)) {
        std::snprintf(line, sizeof line, "parameter group %02X param %02X data %02X %02X", p->group, p->parameter,
                      p->data1, p->data2);
    } else if (const auto type = sysex::recogniseBulkDump(data, size)) {
        if (*type == sysex::kDumpTypeEffectData)
            return "effect data dump";
        std::snprintf(line, sizeof line, "FIR header dump, type %d", *type);
    } else if (const auto block = sysex::parseFIRDataBlock(data, size)) {
        std::snprintf(line, sizeof line, "FIR data block %d, amp channel %d, %zu bytes%s", block->blockNumber,
                      block->ampCh, size, block->checksumOk ? "" : ", bad checksum");
    } else {
        return "unknown, " + std::to_string(size) + " bytes: " + hex(data, size < 16 ? size : 16) +
               (size > 16 ? " ..." : "");
    }
    return line;
}

} // namespace orx::sim
