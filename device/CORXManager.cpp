// The device session: connection, heartbeat watch, received-message dispatch, state and events.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CORXManager.h"

#include "FIRGain.h"
#include "GenericException.h"
#include "PortChoice.h"
#include "ReplyCodes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace orx {

namespace {

std::mutex g_instanceLock;
std::atomic<CORXManager*> g_instance{nullptr};

void diagnostic(const char* text)
{
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
}

int findPort(const std::vector<std::string>& names)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].find(kAmpPortMarker) != std::string::npos)
            return static_cast<int>(i);
    return -1;
}

} // namespace

bool loopSettingsAvailableFor(int modelNumber, int updaterValue)
{
    return modelNumber == 2 && (updaterValue >= 110 || (updaterValue >= 42 && updaterValue <= 49));
}

CORXManager* CORXManager::createInstance()
{
    return createInstance(SessionTiming{}, std::make_shared<SystemSessionClock>());
}

CORXManager* CORXManager::createInstance(const SessionTiming& timing, std::shared_ptr<SessionClock> clock)
{
    std::lock_guard lock(g_instanceLock);
    if (CORXManager* existing = g_instance.load())
        return existing;
    auto* session = new CORXManager(timing, clock ? std::move(clock) : std::make_shared<SystemSessionClock>());
    g_instance = session;
    CMIDIManager::createInstance();
    return session;
}

CORXManager* CORXManager::getInstance()
{
    if (CORXManager* existing = g_instance.load())
        return existing;
    return createInstance();
}

CORXManager* CORXManager::existingInstance()
{
    return g_instance.load();
}

void CORXManager::deleteInstance()
{
    CORXManager* session = nullptr;
    {
        std::lock_guard lock(g_instanceLock);
        session = g_instance.exchange(nullptr);
    }
    delete session;
}

CORXManager::CORXManager(const SessionTiming& timing, std::shared_ptr<SessionClock> clock)
    : m_timing(timing), m_clock(std::move(clock))
{
    std::lock_guard lock(m_dataLock);
    m_effectData = EffectData{};
    for (auto& slot : m_irSlots) {
        slot = FIRRecord{};
        slot.FIRCOE = 5181; // what -10 dB gives
    }
    m_currentIR[0] = makeBypassRecord();
    m_currentIR[1] = makeBypassRecord();
    // A hand-moved clock never reaches a due time while the worker sleeps on real time: it says when it moves.
    if (!m_clock->followsRealTime())
        m_clockWatch = m_clock->watch([this] { wakeWorker(); });
}

CORXManager::~CORXManager()
{
    if (m_clockWatch != 0)
        m_clock->unwatch(m_clockWatch);
    stopRequestThread();
    // The port layer outlives the session; its input must not call into a session that is gone.
    if (CMIDIManager* midi = CMIDIManager::existingInstance())
        midi->closeIn();
}

// --- listeners ---------------------------------------------------------------

void CORXManager::addEventCallback(DeviceEventCallback callback, void* context)
{
    std::unique_lock lock(m_listenerLock);
    m_listeners.push_back({callback, context});
}

void CORXManager::removeEventCallback(DeviceEventCallback callback)
{
    std::unique_lock lock(m_listenerLock);
    const auto it = std::find_if(m_listeners.begin(), m_listeners.end(),
                                 [callback](const Listener& l) { return l.callback == callback; });
    if (it != m_listeners.end())
        m_listeners.erase(it);
}

void CORXManager::removeEventCallback(DeviceEventCallback callback, void* context)
{
    std::unique_lock lock(m_listenerLock);
    const auto it = std::find_if(m_listeners.begin(), m_listeners.end(), [callback, context](const Listener& l) {
        return l.callback == callback && l.context == context;
    });
    if (it != m_listeners.end())
        m_listeners.erase(it);
}

void CORXManager::notifyEvent(std::int32_t event, std::int32_t value)
{
    if (g_instance.load() == nullptr)
        return;
    std::shared_lock lock(m_listenerLock);
    for (const Listener& listener : m_listeners)
        listener.callback(event, value, listener.context);
}

// --- connection ---------------------------------------------------------------

void CORXManager::openORX()
{
    if (m_open)
        return;
    try {
        CMIDIManager* midi = CMIDIManager::getInstance();
        std::vector<std::string> inNames;
        std::vector<std::string> outNames;
        midi->getInDeviceNames(inNames);
        midi->getOutDeviceNames(outNames);
        ChosenPort chosenIn;
        ChosenPort chosenOut;
        {
            std::lock_guard lock(m_connectionLock);
            chosenIn = m_chosenInput;
            chosenOut = m_chosenOutput;
        }
        int inId = findChosenPort(inNames, chosenIn);
        int outId = findChosenPort(outNames, chosenOut);
        // The user's pair wins only whole; otherwise the amplifier's marker decides, as without a choice.
        if (inId < 0 || outId < 0) {
            inId = findPort(inNames);
            outId = findPort(outNames);
        }
        if (inId < 0 || outId < 0)
            return;
        if (const int rc = midi->openIn(static_cast<unsigned>(inId), &CORXManager::procMIDIIn, this))
            throw mstd::CGenericException(mstd::kErrMidiOpen, rc);
        if (const int rc = midi->startIn())
            throw mstd::CGenericException(mstd::kErrMidiOpen, rc);
        if (const int rc = midi->openOut(static_cast<unsigned>(outId)))
            throw mstd::CGenericException(mstd::kErrMidiOpen, rc);
        m_open = true;
        // Heartbeat requests are due from now on; a worker asleep until the next connection check must hear of it.
        wakeWorker();
        notifyEvent(kEventOpened, 0);
    } catch (...) {
        diagnostic("[CATCH] Exception! - CORXManager::openORX()");
    }
}

void CORXManager::setPortChoice(std::string inInputPort, std::string inOutputPort)
{
    setPortChoice(ChosenPort{std::move(inInputPort), false}, ChosenPort{std::move(inOutputPort), false});
}

void CORXManager::setPortChoice(ChosenPort inInput, ChosenPort inOutput)
{
    std::lock_guard lock(m_connectionLock);
    m_chosenInput = std::move(inInput);
    m_chosenOutput = std::move(inOutput);
}

ChosenPort CORXManager::chosenInputPort()
{
    std::lock_guard lock(m_connectionLock);
    return m_chosenInput;
}

ChosenPort CORXManager::chosenOutputPort()
{
    std::lock_guard lock(m_connectionLock);
    return m_chosenOutput;
}

void CORXManager::closeORX()
{
    if (!m_open)
        return;
    try {
        CMIDIManager* midi = CMIDIManager::getInstance();
        midi->closeIn();
        midi->closeOut();
        midi->closeOutPort();
        m_open = false;
    } catch (...) {
        diagnostic("[CATCH] Exception! - CORXManager::closeORX()");
    }
}

void CORXManager::checkConnection()
{
    runDeferredDisconnect();

    const std::uint32_t now = m_clock->milliseconds();
    if (m_open && now - m_lastHeartbeatRequest >= static_cast<std::uint32_t>(m_timing.heartbeatRequestPeriod.count())) {
        m_lastHeartbeatRequest = now;
        m_expectedReply = reply::kHeartbeat;
        try {
            const auto request = sysex::heartbeatRequest();
            CMIDIManager::getInstance()->sendLongMessage(request.data(), request.size());
        } catch (...) {
            // A lost heartbeat request is noticed by the age check; nothing else to do.
        }
    }
    if (now - m_lastConnectionCheck >= static_cast<std::uint32_t>(m_timing.connectionCheckPeriod.count())) {
        m_lastConnectionCheck = now;
        const std::int64_t last = m_lastHeartbeat;
        if (last != 0) {
            if (m_clock->secondsSince1970() - last > m_timing.heartbeatMaxAgeSeconds)
                disconnect();
        } else {
            notifyEvent(kEventNoHeartbeat, 0);
        }
    }
}

void CORXManager::disconnect()
{
    {
        std::lock_guard lock(m_connectionLock);
        m_modelCode = 0;
    }
    m_lastHeartbeat = 0;
    closeORX();
    clearRequests();
    notifyEvent(kEventDisconnected, 0);
}

void CORXManager::disconnectFromInput()
{
    // Set first: from here on the worker neither starts a request nor goes on waiting in one.
    m_disconnectPending = true;
    {
        std::lock_guard lock(m_connectionLock);
        m_modelCode = 0;
    }
    m_lastHeartbeat = 0;
    clearRequests();
    // A port is never closed from inside its own callback: the worker closes it on its next pass.
    wakeWorker();
    wakeWaitingRequest();
    notifyEvent(kEventDisconnected, 0);
}

void CORXManager::runDeferredDisconnect()
{
    if (!m_disconnectPending)
        return;
    closeORX();
    // The input is closed: no answer of the old connection can arrive any more.
    resetReplies();
    clearRequests();
    m_disconnectPending = false;
    // The amplifier is still there (it only reported another model): open it again at once and ask
    // for its heartbeat now, so the new model is announced without waiting for the next search.
    openORX();
    m_lastHeartbeatRequest =
        m_clock->milliseconds() - static_cast<std::uint32_t>(m_timing.heartbeatRequestPeriod.count());
}

// --- received messages --------------------------------------------------------

void CORXManager::procMIDIIn(void* context, const std::uint8_t* inData, std::size_t inSize)
{
    try {
        auto* session = static_cast<CORXManager*>(context);
        if (!session || !sysex::hasAmpHeader(inData, inSize))
            return;
        switch (sysex::kindOf(inData)) {
        case sysex::kKindBulk:
            session->receiveBulkDump(inData, inSize);
            break;
        case sysex::kKindParameter:
            if (const auto p = sysex::parseParameter(inData, inSize))
                session->dispatchParameter(*p);
            break;
        case sysex::kKindHeartbeat:
            session->receiveHeartBeatMessage(inData, inSize);
            break;
        default:
            break;
        }
    } catch (...) {
        diagnostic("[CATCH] Exception! - CORXManager::procMIDIIn()");
    }
}

void CORXManager::dispatchParameter(const sysex::Parameter& p)
{
    namespace pm = sysex::param;
    if (p.group == pm::kGroupEffect) {
        if (p.data1 == 0)
            receiveParamEffectData(p);
    } else if (p.group == pm::kGroupFIR) {
        receiveParamFIR(p);
    } else if (p.group == pm::kGroupSystem) {
        if (p.parameter == pm::kUpdaterReply)
            receiveParamUpdater(p);
    }
}

void CORXManager::receiveHeartBeatMessage(const std::uint8_t* inData, std::size_t inSize)
{
    const auto model = sysex::parseHeartbeat(inData, inSize);
    if (!model)
        return;
    // Heartbeats still in flight on ports that are about to close belong to the connection that ended.
    if (m_disconnectPending)
        return;
    std::uint8_t known = 0;
    {
        std::lock_guard lock(m_connectionLock);
        known = m_modelCode;
    }
    if (known != 0 && known != *model) {
        // The new model is announced once the ports are open again, so nothing the window asks for in
        // answer to it goes to ports that are closing.
        disconnectFromInput();
        return;
    }
    const bool first = m_lastHeartbeat.exchange(m_clock->secondsSince1970()) == 0;
    if (first) {
        {
            std::lock_guard lock(m_connectionLock);
            m_modelCode = *model;
        }
        notifyEvent(kEventConnected, *model - '0');
    }
}

void CORXManager::receiveBulkDump(const std::uint8_t* inData, std::size_t inSize)
{
    const auto type = sysex::recogniseBulkDump(inData, inSize);
    if (!type)
        return;
    if (*type == sysex::kDumpTypeEffectData)
        receiveBulkDumpEffectData(inData, inSize);
    else
        receiveBulkDumpFIRHeader(inData, inSize, *type);
}

namespace {

// The texts one kind of dump writes when it is bad (their spellings differ on purpose: they are what
// users and support have always seen).
struct DumpTexts {
    const char* tooLong;
    const char* tooShort;
    const char* checksum;
    const char* bad;
};

constexpr DumpTexts kEffectDumpTexts{
    "[ERROR] Too long bulkdump effect data.", "[ERROR] Too short bulk dump effect data.",
    "[ERROR] Bulk dump effect data check sum error.", "[ERROR] Bulk dump received effect data error."};
constexpr DumpTexts kHeaderDumpTexts{"[ERROR] Too long bulkdump FIR header.", "[ERROR] Too short bulk dump FIR header.",
                                     "[ERROR] Bulk dump FIR header check sum error.",
                                     "[ERROR] bulk dump received FIR data error."};

// Length and checksum of a dump of fixed length; writes what is wrong with it.
bool checkDump(const std::uint8_t* data, std::size_t size, std::size_t length, const DumpTexts& texts)
{
    bool good = true;
    if (size != length) {
        diagnostic(size > length ? texts.tooLong : texts.tooShort);
        good = false;
    }
    // A short dump ends before its checksum, so it fails here too.
    if (!sysex::checksumMatches(data, size, length - 2)) {
        diagnostic(texts.checksum);
        good = false;
    }
    if (!good)
        diagnostic(texts.bad);
    return good;
}

} // namespace

void CORXManager::receiveBulkDumpEffectData(const std::uint8_t* inData, std::size_t inSize)
{
    const bool good = checkDump(inData, inSize, sysex::kEffectDumpLength, kEffectDumpTexts);
    if (good) {
        std::lock_guard lock(m_dataLock);
        std::copy_n(inData + 18, m_effectData.bytes.size(), m_effectData.bytes.begin());
    }
    setReceivedReply(sysex::kDumpTypeEffectData, good);
}

void CORXManager::receiveBulkDumpFIRHeader(const std::uint8_t* inData, std::size_t inSize, int inBulkType)
{
    const bool good = checkDump(inData, inSize, sysex::kFIRHeaderDumpLength, kHeaderDumpTexts);
    if (good) {
        std::lock_guard lock(m_dataLock);
        FIRRecord& slot = m_irSlots[static_cast<std::size_t>(inBulkType)];
        std::copy_n(inData + 18, kIrNameLength, slot.irName.begin());
        slot.FIRCOE = sysex::decode14(inData[82], inData[83]);
    }
    setReceivedReply(inBulkType, good);
}

void CORXManager::receiveParamEffectData(const sysex::Parameter& p)
{
    namespace pm = sysex::param;
    if (p.parameter != pm::kSlotSwitchChannel1 && p.parameter != pm::kSlotSwitchChannel2)
        return;
    // A slot the amplifier should not have is not used as an index.
    if (p.data2 >= kSlotsPerChannel)
        return;
    const int ampCh = p.parameter == pm::kSlotSwitchChannel1 ? 0 : 1;
    {
        std::lock_guard lock(m_dataLock);
        m_effectData.bytes[ampCh == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2] = p.data2;
        m_currentIR[static_cast<std::size_t>(ampCh)] = m_irSlots[p.data2 + (ampCh == 0 ? 0u : kSlotsPerChannel)];
    }
    setReceivedReply(reply::kSlotSwitch);
    m_lastReplyValue = ampCh;
    notifyEvent(kEventSlotSwitched, ampCh);
}

void CORXManager::receiveParamFIR(const sysex::Parameter& p)
{
    // The reply code is set last: the worker wakes on it at once, and its own event (transfer or reset
    // done) must not overtake the event of the reply it waited for.
    namespace pm = sysex::param;
    switch (p.parameter) {
    case pm::kBlockReply:
        if (p.data2 == 0 || p.data2 == 1) {
            m_lastReplyValue = p.data1;
            notifyEvent(p.data2 == 0 ? kEventBlockAccepted : kEventBlockBad, p.data1);
        }
        setReceivedReply(reply::kFIRBlock);
        break;
    case pm::kStoreReply:
        if (p.data2 == 0) {
            m_lastReplyValue = p.data1;
            saveFIRToSlot(p.data1);
            notifyEvent(kEventStored, p.data1);
        } else if (p.data2 == 1) {
            m_lastReplyValue = p.data1;
            notifyEvent(kEventStoreFailed, p.data1);
        }
        setReceivedReply(reply::kStore);
        break;
    case pm::kResetReply:
        if (p.data1 == 0 && p.data2 == 0) {
            notifyEvent(kEventReset, m_lastReplyValue);
            setReceivedReply(reply::kReset);
        }
        break;
    default:
        break;
    }
}

void CORXManager::receiveParamUpdater(const sysex::Parameter& p)
{
    {
        std::lock_guard lock(m_connectionLock);
        m_updaterValue = sysex::decode14(p.data1, p.data2);
    }
    setReceivedReply(reply::kUpdater);
}

void CORXManager::saveFIRToSlot(int inAmpCh)
{
    std::lock_guard lock(m_dataLock);
    if (inAmpCh == 0) {
        const std::size_t slot = m_effectData.bytes[EffectData::kSlotChannel1];
        if (slot < kSlotsPerChannel)
            m_irSlots[slot] = m_currentIR[0];
    } else if (inAmpCh == 1) {
        const std::size_t slot = m_effectData.bytes[EffectData::kSlotChannel2];
        if (slot < kSlotsPerChannel)
            m_irSlots[slot + kSlotsPerChannel] = m_currentIR[1];
    }
}

// --- state for the user interface ---------------------------------------------

bool CORXManager::getEffectParams(int inAmpCh, std::int32_t& outParam1, std::int32_t& outParam2,
                                  std::int32_t& outParam3, std::int32_t& outParam4)
{
    if (inAmpCh != 0 && inAmpCh != 1)
        return false;
    const std::size_t first = inAmpCh == 0 ? EffectData::kFirstParamChannel1 : EffectData::kFirstParamChannel2;
    std::lock_guard lock(m_dataLock);
    outParam1 = m_effectData.bytes[first];
    outParam2 = m_effectData.bytes[first + 1];
    outParam3 = m_effectData.bytes[first + 2];
    outParam4 = m_effectData.bytes[first + 3];
    return true;
}

int CORXManager::getIrSlot(int inAmpCh)
{
    if (inAmpCh != 0 && inAmpCh != 1)
        return -1;
    std::lock_guard lock(m_dataLock);
    return m_effectData.bytes[inAmpCh == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2];
}

void CORXManager::getFXLoopSettings(std::int32_t& outSend, std::int32_t& outReturn)
{
    std::lock_guard lock(m_dataLock);
    outSend = m_effectData.bytes[EffectData::kLoopSend];
    outReturn = m_effectData.bytes[EffectData::kLoopReturn];
}

EffectData CORXManager::getEffectData()
{
    std::lock_guard lock(m_dataLock);
    return m_effectData;
}

void CORXManager::getCurrentIR(int inAmpCh, FIRRecord& outRecord)
{
    if (inAmpCh != 0 && inAmpCh != 1)
        return;
    std::lock_guard lock(m_dataLock);
    outRecord = m_currentIR[static_cast<std::size_t>(inAmpCh)];
}

std::uint8_t CORXManager::getModelCode()
{
    std::lock_guard lock(m_connectionLock);
    return m_modelCode;
}

void CORXManager::setLoopSettingsAvailable(bool available)
{
    std::lock_guard lock(m_connectionLock);
    m_loopSettingsAvailable = available;
}

bool CORXManager::isLoopSettingsAvailable()
{
    std::lock_guard lock(m_connectionLock);
    return m_loopSettingsAvailable;
}

std::uint16_t CORXManager::getUpdaterValue()
{
    std::lock_guard lock(m_connectionLock);
    return m_updaterValue;
}

FIRRecord CORXManager::getSlot(std::size_t inSlot)
{
    std::lock_guard lock(m_dataLock);
    return inSlot < kIrSlotCount ? m_irSlots[inSlot] : FIRRecord{};
}

} // namespace orx
