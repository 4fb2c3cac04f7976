// Everything the worker sends to the amplifier: dump requests, parameter writes and FIR transfers.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CORXManager.h"

#include "GenericException.h"
#include "ReplyCodes.h"

#include <algorithm>

namespace orx {

namespace {

[[noreturn]] void raise(std::int32_t code)
{
    throw mstd::CGenericException(code, 0);
}

bool sendFailed(int result)
{
    return (result & 0xFFFF) != 0;
}

constexpr int kDumpAttempts = 6;
// A name byte outside 7-bit ASCII is not a MIDI data byte; it is stored and sent as this instead.
constexpr std::uint8_t kNameReplacement = '?';

} // namespace

int CORXManager::sendParam(std::uint8_t inGroup, std::uint8_t inParam, std::uint8_t inData1, std::uint8_t inData2)
{
    // Only data bytes may travel inside a message; a stray top bit would end it early on the wire.
    const auto message = sysex::parameterMessage(inGroup & 0x7F, inParam & 0x7F, inData1 & 0x7F, inData2 & 0x7F);
    const int result = CMIDIManager::getInstance()->sendLongMessage(message.data(), message.size());
    if (sendFailed(result) && m_expectedReply != reply::kHeartbeat)
        raise(mstd::kErrMidiSend);
    return result;
}

DumpOutcome CORXManager::askForDump(int inBulkType, std::chrono::milliseconds inWait)
{
    {
        // An answer that came late for an earlier wait is no answer to this request.
        std::lock_guard lock(m_replyLock);
        m_receivedReply = reply::kNone;
        m_expectedReply = inBulkType;
    }
    const auto request = sysex::dumpRequest(inBulkType);
    if (sendFailed(CMIDIManager::getInstance()->sendLongMessage(request.data(), request.size())))
        raise(mstd::kErrMidiSend);
    if (!waitReply(inWait)) {
        resetReplies();
        return kDumpLost;
    }
    return m_takenDumpBad ? kDumpDamaged : kDumpWhole;
}

void CORXManager::requestBulkDump(int inBulkType)
{
    for (int attempt = 1;; ++attempt) {
        switch (askForDump(inBulkType, m_timing.replyTimeout)) {
        case kDumpWhole:
            return;
        case kDumpLost:
            raise(mstd::kErrTimeout);
        case kDumpDamaged:
            break;
        }
        if (attempt == kDumpAttempts)
            raise(mstd::kErrReceiveData);
        pauseRequest(m_timing.pollInterval);
    }
}

void CORXManager::readAllData()
{
    requestBulkDump(sysex::kDumpTypeEffectData);
    for (int type = 0; type < 5; ++type)
        requestBulkDump(type);
    {
        std::lock_guard lock(m_dataLock);
        const std::size_t slot = m_effectData.bytes[EffectData::kSlotChannel1];
        if (slot < kSlotsPerChannel)
            m_currentIR[0] = m_irSlots[slot];
    }
    if (getModelCode() == '2') {
        for (int type = 5; type < 10; ++type)
            requestBulkDump(type);
        std::lock_guard lock(m_dataLock);
        const std::size_t slot = m_effectData.bytes[EffectData::kSlotChannel2];
        if (slot < kSlotsPerChannel)
            m_currentIR[1] = m_irSlots[slot + kSlotsPerChannel];
    }
    notifyEvent(kEventReadAll, 0);
}

void CORXManager::writeEffectParam(int inParam, int inAmpCh, int inValue)
{
    m_expectedReply = reply::kFirstEffectWrite + inParam - 1;
    const std::uint8_t parameter = sysex::param::effectParameter(inParam, inAmpCh);
    sendParam(sysex::param::kGroupEffect, parameter, 0, static_cast<std::uint8_t>(inValue));
    std::lock_guard lock(m_dataLock);
    m_effectData.bytes[parameter] = static_cast<std::uint8_t>(inValue & 0xFF);
}

void CORXManager::writeFXLoop(bool inReturn, int inValue)
{
    m_expectedReply = inReturn ? reply::kLoopReturn : reply::kLoopSend;
    const std::uint8_t parameter = inReturn ? sysex::param::kLoopReturn : sysex::param::kLoopSend;
    sendParam(sysex::param::kGroupEffect, parameter, 0, static_cast<std::uint8_t>(inValue));
    std::lock_guard lock(m_dataLock);
    m_effectData.bytes[parameter] = static_cast<std::uint8_t>(inValue & 0xFF);
}

void CORXManager::sendFIRCOE(int inAmpCh, int inFIRCOE)
{
    m_expectedReply = reply::kGainOrSelect;
    const auto gain = sysex::encode14(static_cast<std::uint16_t>(inFIRCOE));
    sendParam(sysex::param::kGroupFIR, inAmpCh == 0 ? sysex::param::kGainChannel1 : sysex::param::kGainChannel2,
              gain[0], gain[1]);
    if (inAmpCh == 0 || inAmpCh == 1) {
        std::lock_guard lock(m_dataLock);
        m_currentIR[static_cast<std::size_t>(inAmpCh)].FIRCOE = static_cast<std::uint16_t>(inFIRCOE);
    }
}

int CORXManager::slotOfChannel(int inAmpCh)
{
    std::lock_guard lock(m_dataLock);
    return inAmpCh == 1 ? m_effectData.bytes[EffectData::kSlotChannel2] + static_cast<int>(kSlotsPerChannel)
                        : m_effectData.bytes[EffectData::kSlotChannel1];
}

void CORXManager::selectFIR(int inAmpCh)
{
    m_expectedReply = reply::kGainOrSelect;
    const int slot = slotOfChannel(inAmpCh);
    sendParam(sysex::param::kGroupFIR, sysex::param::kSelectSlot, static_cast<std::uint8_t>(inAmpCh),
              static_cast<std::uint8_t>(slot));
}

void CORXManager::storeFIR(int inAmpCh)
{
    m_expectedReply = reply::kStore;
    const int slot = slotOfChannel(inAmpCh);
    sendParam(sysex::param::kGroupFIR, sysex::param::kStore, static_cast<std::uint8_t>(inAmpCh),
              static_cast<std::uint8_t>(slot));
    if (!waitReply())
        raise(mstd::kErrTimeout);
}

void CORXManager::resetFIR()
{
    m_expectedReply = reply::kReset;
    sendParam(sysex::param::kGroupFIR, sysex::param::kReset, 0, 0);
    if (!waitReply())
        raise(mstd::kErrTimeout);
    notifyEvent(kEventReset, 0);
}

void CORXManager::requestUpdater()
{
    m_expectedReply = reply::kUpdater;
    sendParam(sysex::param::kGroupSystem, sysex::param::kUpdaterRequest, 0, 0);
    if (!waitReply())
        raise(mstd::kErrTimeout);
    notifyEvent(kEventUpdater, getUpdaterValue());
}

void CORXManager::sendFIRName(int inAmpCh, const IrName& inIRName)
{
    m_expectedReply = reply::kName;
    const std::uint8_t parameter = inAmpCh == 0 ? sysex::param::kNameCharChannel1 : sysex::param::kNameCharChannel2;
    const std::size_t record = inAmpCh == 0 ? 0 : 1;
    // Byte 63 stays the terminating zero: it is never sent or changed.
    for (std::size_t i = 0; i + 1 < kIrNameLength; ++i) {
        const std::uint8_t wanted = inIRName[i] < 0x80 ? inIRName[i] : kNameReplacement;
        std::uint8_t current = 0;
        {
            std::lock_guard lock(m_dataLock);
            current = m_currentIR[record].irName[i];
        }
        if (wanted == current)
            continue;
        sendParam(sysex::param::kGroupFIR, parameter, static_cast<std::uint8_t>(i), wanted);
        {
            std::lock_guard lock(m_dataLock);
            m_currentIR[record].irName[i] = wanted;
        }
        pauseRequest(m_timing.nameCharacterPause);
    }
}

void CORXManager::chooseSlot(int inAmpCh, int inType)
{
    if ((inAmpCh != 0 && inAmpCh != 1) || inType < 0 || inType >= static_cast<int>(kSlotsPerChannel))
        return;
    const auto ch = static_cast<std::size_t>(inAmpCh);
    const std::size_t slot = static_cast<std::size_t>(inType) + ch * kSlotsPerChannel;
    m_expectedReply = reply::kGainOrSelect;
    // The select message names the slot itself, so it can name another one than the slot in use; the amplifier
    // makes it the one in use, as its knob would, and announces nothing.
    sendParam(sysex::param::kGroupFIR, sysex::param::kSelectSlot, static_cast<std::uint8_t>(inAmpCh),
              static_cast<std::uint8_t>(slot));
    {
        std::lock_guard lock(m_dataLock);
        m_effectData.bytes[ch == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2] =
            static_cast<std::uint8_t>(inType);
        m_currentIR[ch] = m_irSlots[slot];
    }
    notifyEvent(kEventSlotSwitched, inAmpCh);
}

void CORXManager::writeSlot(int inSlot, const FIRRecord& inRecord)
{
    if (inSlot < 0 || inSlot >= static_cast<int>(kIrSlotCount))
        return;
    const int ampCh = inSlot / static_cast<int>(kSlotsPerChannel);
    chooseSlot(ampCh, inSlot % static_cast<int>(kSlotsPerChannel));
    // The name travels inside the record's blocks with its 8-bit bytes, as it came from the amplifier.
    installFIR(ampCh, inRecord);
    storeFIR(ampCh);
}

sysex::Bytes CORXManager::packFIRBlock(int inBlock, int inAmpCh, std::size_t inLength) const
{
    return sysex::firDataBlock(inBlock, inAmpCh, inLength ? m_blockPayload.data() : nullptr, inLength);
}

int CORXManager::sendFIRBlock(int inBlock, std::size_t inStart, std::size_t inLength, int inAmpCh)
{
    // A payload outside the transfer range is sent empty rather than read from past the image.
    const bool inside = inLength > 0 && inLength <= sysex::kFIRBlockPayload && inStart >= m_transferFirst &&
                        inStart + inLength - 1 <= m_transferLast;
    const std::size_t length = inside ? inLength : 0;
    if (inside)
        std::copy_n(m_transferImage.begin() + static_cast<std::ptrdiff_t>(inStart), length, m_blockPayload.begin());
    const sysex::Bytes message = packFIRBlock(inBlock, inAmpCh, length);
    return CMIDIManager::getInstance()->sendLongMessage(message.data(), message.size());
}

void CORXManager::sendFIRData(int inAmpCh)
{
    if (inAmpCh != 0 && inAmpCh != 1)
        return;
    {
        std::lock_guard lock(m_dataLock);
        m_transferImage = toTransferImage(m_currentIR[static_cast<std::size_t>(inAmpCh)]);
    }
    m_transferFirst = 0;
    m_transferLast = kFIRRecordSize - 1;
    // Each block is acknowledged before the next goes out; a block reported bad still counts as answered.
    for (int block = 0; block < static_cast<int>(sysex::kFIRBlockCount); ++block) {
        m_expectedReply = reply::kFIRBlock;
        if (sendFailed(sendFIRBlock(block, sysex::firBlockOffset(block), sysex::firBlockPayloadSize(block), inAmpCh)))
            raise(mstd::kErrMidiSend);
        if (!waitReply())
            raise(mstd::kErrTimeout);
    }
}

void CORXManager::bypassFIR(int inAmpCh)
{
    const FIRRecord bypass = makeBypassRecord();
    if (inAmpCh == 0 || inAmpCh == 1) {
        std::lock_guard lock(m_dataLock);
        m_currentIR[static_cast<std::size_t>(inAmpCh)] = bypass;
    }
    sendFIRData(inAmpCh);
    notifyEvent(kEventBypassed, inAmpCh);
}

void CORXManager::installFIR(int inAmpCh, const FIRRecord& inRecord)
{
    if (inAmpCh != 0 && inAmpCh != 1)
        return;
    {
        std::lock_guard lock(m_dataLock);
        m_currentIR[static_cast<std::size_t>(inAmpCh)] = inRecord;
    }
    sendFIRData(inAmpCh);
    notifyEvent(kEventInstalled, inAmpCh);
}

} // namespace orx
