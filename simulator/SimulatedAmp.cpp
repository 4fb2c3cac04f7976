// The simulated amplifier: one model of its state and its answer to each message.
#include "SimulatedAmp.h"

#include <cstdio>
#include <cstring>

namespace orx::sim {

namespace {

FIRRecord factoryRecord(std::size_t slot)
{
    static constexpr const char* kAmpTypes[kSlotsPerChannel] = {"MODERN", "LEAD", "CRUNCH", "CLEAN", "SOLID"};
    FIRRecord record;
    const std::string name = std::string("Factory ") + kAmpTypes[slot % kSlotsPerChannel] + (slot < 5 ? " I" : " II");
    std::memcpy(record.irName.data(), name.data(), name.size());
    record.FIRCOE = 5181; // -10 dB
    record.coefficients[0] = 0x7FFF;
    return record;
}

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

} // namespace

SimulatedAmp::SimulatedAmp(std::uint8_t modelCode)
{
    m_model.modelCode = modelCode;
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot)
        m_model.slots[slot] = factoryRecord(slot);
    m_model.current[0] = m_model.slots[0];
    m_model.current[1] = m_model.slots[5];
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

void SimulatedAmp::setAnswersHeartbeat(bool answers)
{
    std::lock_guard lock(m_lock);
    m_answersHeartbeat = answers;
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
    if (!sysex::hasAmpHeader(data, size))
        return {};
    if (const auto dumpType = sysex::parseDumpRequest(data, size)) {
        if (*dumpType == sysex::kDumpTypeEffectData)
            return {sysex::effectDataDump(m_model.effect)};
        const FIRRecord& slot = m_model.slots[static_cast<std::size_t>(*dumpType)];
        return {sysex::firHeaderDump(*dumpType, slot.irName, slot.FIRCOE)};
    }
    if (const auto p = sysex::parseParameter(data, size))
        return handleParameter(*p);
    return {};
}

std::vector<sysex::Bytes> SimulatedAmp::handleParameter(const sysex::Parameter& p)
{
    namespace pm = sysex::param;
    if (p.group == pm::kGroupSystem && p.parameter == pm::kHeartbeatRequest) {
        if (!m_answersHeartbeat)
            return {};
        return {sysex::heartbeat(m_model.modelCode)};
    }
    if (p.group == pm::kGroupEffect && p.data1 == 0) {
        // Effect parameters 1 to 4 of each channel and the two FX loop connections sit at their own byte.
        const bool effectParam =
            (p.parameter >= 0x01 && p.parameter <= 0x06) || (p.parameter >= 0x09 && p.parameter <= 0x0C);
        if (effectParam)
            m_model.effect.bytes[p.parameter] = p.data2;
    }
    return {};
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
