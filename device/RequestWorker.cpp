// The request queue and the worker thread that runs requests one at a time and watches the connection.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CORXManager.h"

#include "GenericException.h"
#include "ReplyCodes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orx {

void CORXManager::addRequest(std::int32_t type, std::int32_t arg1, std::int32_t arg2)
{
    QueuedRequest queued{DeviceRequest{type, arg1, arg2}, nullptr, {}};
    // The request carries what was handed over now; a later hand-over cannot change what it sends.
    if (type == kRequestInstall) {
        std::lock_guard lock(m_stagingLock);
        queued.record = std::make_shared<const FIRRecord>(m_stagingRecord);
    } else if (type == kRequestName) {
        std::lock_guard lock(m_stagingLock);
        queued.name = m_stagingName;
    }
    enqueue(std::move(queued));
}

void CORXManager::enqueue(QueuedRequest queued)
{
    const DeviceRequest request = queued.request;
    RequestObserver observer;
    {
        std::lock_guard lock(m_queueLock);
        m_requests.push_back(std::move(queued));
        observer = m_requestObserver;
    }
    m_workWake.notify_all();
    if (observer)
        observer(request);
}

void CORXManager::addSlotWrite(int inSlot, const FIRRecord& inRecord)
{
    enqueue(QueuedRequest{DeviceRequest{kRequestWriteSlot, inSlot, 0}, std::make_shared<const FIRRecord>(inRecord), {}});
}

void CORXManager::setRequestObserver(RequestObserver observer)
{
    std::lock_guard lock(m_queueLock);
    m_requestObserver = std::move(observer);
}

void CORXManager::clearRequests()
{
    std::lock_guard lock(m_queueLock);
    m_requests.clear();
}

std::size_t CORXManager::queuedRequestCount()
{
    std::lock_guard lock(m_queueLock);
    return m_requests.size();
}

void CORXManager::setSpeakerTabFIRCOE(const FIRRecord& inFIRCOE)
{
    std::lock_guard lock(m_stagingLock);
    m_stagingRecord = inFIRCOE;
}

void CORXManager::setSpeakerTabIrName(const std::uint8_t* inIrName)
{
    std::lock_guard lock(m_stagingLock);
    std::memcpy(m_stagingName.data(), inIrName, m_stagingName.size());
}

void CORXManager::startRequestThread()
{
    if (m_worker.joinable())
        return;
    {
        // A worker stopped to replace the MIDI system is started again: the stop belonged to the one before.
        std::lock_guard lock(m_queueLock);
        m_stop = false;
    }
    m_worker = std::thread([this] { requestThreadProc(this); });
}

void CORXManager::stopRequestThread()
{
    if (!m_worker.joinable())
        return;
    {
        std::lock_guard lock(m_queueLock);
        m_stop = true;
    }
    m_workWake.notify_all();
    // A request waiting for a slow or silent amplifier must not hold the window open.
    wakeWaitingRequest();
    // Waits for the pass in progress, which may include a request awaiting the amplifier.
    if (m_worker.get_id() == std::this_thread::get_id())
        m_worker.detach();
    else
        m_worker.join();
}

int CORXManager::requestThreadProc(CORXManager* session)
{
    for (;;) {
        session->doRequestEvent();
        if (session->m_stop)
            return 0;
        // Asleep until a request comes, the worker is asked to stop, or checkConnection has something due:
        // an idle worker costs the machine a wake-up per heartbeat, not one per poll.
        std::unique_lock lock(session->m_queueLock);
        const auto wakeUp = [session] {
            return session->m_stop || !session->m_requests.empty() || session->m_disconnectPending ||
                   session->timeUntilDue().count() == 0;
        };
        if (wakeUp())
            continue;
        if (session->m_clock->followsRealTime())
            session->m_workWake.wait_for(lock, session->timeUntilDue(), wakeUp);
        else
            session->m_workWake.wait(lock, wakeUp);
        ++session->m_workerWakes;
    }
}

std::chrono::milliseconds CORXManager::timeUntilDue()
{
    // The same tests as checkConnection's, so the worker wakes exactly when a pass has something to do.
    const std::uint32_t now = m_clock->milliseconds();
    const auto remaining = [now](std::uint32_t last, std::chrono::milliseconds period) {
        const std::uint32_t elapsed = now - last;
        const auto length = static_cast<std::uint32_t>(period.count());
        return std::chrono::milliseconds(elapsed >= length ? 0 : length - elapsed);
    };
    auto next = remaining(m_lastConnectionCheck, m_timing.connectionCheckPeriod);
    if (m_open)
        next = std::min(next, remaining(m_lastHeartbeatRequest, m_timing.heartbeatRequestPeriod));
    return next;
}

void CORXManager::wakeWorker()
{
    // Taking the lock orders the change before the worker's next look at it, so the wake-up is never lost.
    {
        std::lock_guard lock(m_queueLock);
    }
    m_workWake.notify_all();
}

void CORXManager::doRequestEvent()
{
    try {
        checkConnection();
        for (;;) {
            QueuedRequest next;
            {
                std::lock_guard lock(m_queueLock);
                if (m_requests.empty())
                    return;
                if (m_stop) {
                    m_requests.clear();
                    return;
                }
                // The ports are about to be replaced: nothing more goes out over them.
                if (m_disconnectPending)
                    return;
                next = std::move(m_requests.front());
                m_requests.pop_front();
            }
            // Runs without the queue lock, so queueing never waits for the amplifier.
            runRequest(next);
        }
    } catch (const RequestAborted&) {
        // Not a failure the user should hear of: the window is closing or the amplifier is being
        // reconnected, and what was queued belongs to the connection that is going.
        clearRequests();
    } catch (const mstd::CGenericException& e) {
        const std::int32_t code = e.getCode();
        const bool connectionLost = code == mstd::kErrMidiSend || code == mstd::kErrTimeout;
        // Emptied before the event, so a request queued in answer to it is not lost.
        if (!connectionLost)
            clearRequests();
        notifyEvent(kEventError, code);
        if (code == mstd::kErrMidiSend)
            CMIDIManager::getInstance()->clearPendingOut();
        if (connectionLost)
            disconnect();
    } catch (...) {
        std::fputs("[CATCH] Exception! - CORXManager::doRequestEvent()\n", stderr);
        clearRequests();
        notifyEvent(kEventError, mstd::kErrUnknown);
    }
}

void CORXManager::runRequest(const QueuedRequest& queued)
{
    const DeviceRequest& r = queued.request;
    switch (r.type) {
    case kRequestOpen:
        openORX();
        break;
    case kRequestClose:
        closeORX();
        break;
    case kRequestReadAll:
        readAllData();
        break;
    case kRequestBooster:
    case kRequestFXLoopMode:
    case kRequestReverb:
    case kRequestNoiseGate:
        writeEffectParam(r.type - kRequestBooster + 1, r.arg1, r.arg2);
        break;
    case kRequestLoopSend:
    case kRequestLoopReturn:
        writeFXLoop(r.type == kRequestLoopReturn, r.arg1);
        break;
    case kRequestFIRCOE:
        sendFIRCOE(r.arg1, r.arg2);
        break;
    case kRequestBypass:
        bypassFIR(r.arg1);
        break;
    case kRequestStore:
        storeFIR(r.arg1);
        break;
    case kRequestInstall:
        if (queued.record)
            installFIR(r.arg1, *queued.record);
        break;
    case kRequestSelect:
        selectFIR(r.arg1);
        break;
    case kRequestName:
        sendFIRName(r.arg1, queued.name);
        break;
    case kRequestReset:
        resetFIR();
        break;
    case kRequestUpdater:
        requestUpdater();
        break;
    case kRequestWriteSlot:
        if (queued.record)
            writeSlot(r.arg1, *queued.record);
        break;
    case kRequestChooseSlot:
        chooseSlot(r.arg1, r.arg2);
        break;
    case kRequestTestDump:
        notifyEvent(kEventDumpTested, askForDump(r.arg1, std::chrono::milliseconds(r.arg2)));
        break;
    default:
        break; // unknown types are dropped
    }
}

void CORXManager::setReceivedReply(std::int32_t code, std::optional<bool> inDumpGood)
{
    {
        std::lock_guard lock(m_replyLock);
        // An awaited answer the worker has not taken yet is kept, together with its verdict: an
        // unrelated message right behind it (an amp-type announcement, another slot's dump) must neither
        // turn it into a time-out nor make a bad dump look good.
        const std::int32_t expected = m_expectedReply.load();
        if (expected != reply::kNone && m_receivedReply.load() == expected && code != expected)
            return;
        if (inDumpGood)
            m_bulkError = *inDumpGood ? 0 : 1;
        m_receivedReply = code;
    }
    m_replyArrived.notify_all();
}

void CORXManager::resetReplies()
{
    std::lock_guard lock(m_replyLock);
    m_expectedReply = reply::kNone;
    m_receivedReply = reply::kNone;
}

void CORXManager::wakeWaitingRequest()
{
    // Taking the lock orders the flag before the waiter's next look at it, so the wake-up is never lost.
    {
        std::lock_guard lock(m_replyLock);
    }
    m_replyArrived.notify_all();
}

bool CORXManager::waitReply()
{
    return waitReply(m_timing.replyTimeout);
}

bool CORXManager::waitReply(std::chrono::milliseconds inTimeout)
{
    std::unique_lock lock(m_replyLock);
    // An answer that came before the wait began counts too.
    m_replyArrived.wait_for(lock, inTimeout,
                            [this] { return abortRequested() || m_receivedReply.load() == m_expectedReply.load(); });
    const bool arrived = m_receivedReply.load() == m_expectedReply.load();
    if (abortRequested() || arrived) {
        m_takenDumpBad = m_bulkError.load() != 0;
        m_expectedReply = reply::kNone;
        m_receivedReply = reply::kNone;
    }
    if (abortRequested())
        throw RequestAborted{};
    return arrived;
}

void CORXManager::pauseRequest(std::chrono::milliseconds inPause)
{
    std::unique_lock lock(m_replyLock);
    if (m_replyArrived.wait_for(lock, inPause, [this] { return abortRequested(); }))
        throw RequestAborted{};
}

} // namespace orx
