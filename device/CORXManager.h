// The device session: finds the amplifier, parses what it sends, keeps its state, reports events.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CMIDIManager.h"
#include "DeviceRecords.h"
#include "PortChoice.h"
#include "SessionClock.h"
#include "SysexCatalogue.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace orx {

using DeviceEventCallback = void (*)(std::int32_t event, std::int32_t value, void* context);

// Events passed to the listeners.
enum DeviceEvent : std::int32_t {
    kEventError = 0,
    kEventOpened = 1,
    kEventConnected = 2,
    kEventDisconnected = 4,
    kEventNoHeartbeat = 5,
    kEventReadAll = 6,
    kEventSlotSwitched = 7,
    kEventBypassed = 8,
    kEventInstalled = 9,
    kEventBlockAccepted = 10,
    kEventBlockBad = 11,
    kEventStored = 12,
    kEventStoreFailed = 13,
    kEventReset = 14,
    kEventUpdater = 15,
    kEventDumpTested = 16, // value: the DumpOutcome of a request 19
};

// What came back for one dump request.
enum DumpOutcome : std::int32_t {
    kDumpWhole = 0,
    kDumpDamaged = 1, // a bad checksum or the wrong length
    kDumpLost = 2,    // nothing within the wait
};

struct DeviceRequest {
    std::int32_t type = 0;
    std::int32_t arg1 = 0;
    std::int32_t arg2 = 0;
};

// Request types the worker runs.
enum RequestType : std::int32_t {
    kRequestOpen = 0,
    kRequestClose = 1,
    kRequestReadAll = 2,
    kRequestBooster = 3,
    kRequestFXLoopMode = 4,
    kRequestReverb = 5,
    kRequestNoiseGate = 6,
    kRequestLoopSend = 7,
    kRequestLoopReturn = 8,
    kRequestFIRCOE = 9,
    kRequestBypass = 10,
    kRequestStore = 11,
    kRequestInstall = 12,
    kRequestSelect = 13,
    kRequestName = 14,
    kRequestReset = 15,
    kRequestUpdater = 16,
    // A restore's own writes: a whole slot (arg1 the slot 0 to 9, the record queued with it by addSlotWrite),
    // and the amp type in use on a channel (arg1 amp channel, arg2 amp type 0 to 4).
    kRequestWriteSlot = 17,
    kRequestChooseSlot = 18,
    // One dump of type arg1 asked for once, waiting arg2 ms for it, never asked again: event 16 with what came
    // back. It measures the link itself, so a lost answer ends neither the request nor the connection.
    kRequestTestDump = 19,
};

using IrName = std::array<std::uint8_t, kIrNameLength>;

// Thrown out of a request that gave up because the worker is stopping or the connection is being
// replaced; the worker swallows it.
struct RequestAborted {};

// Whether an amplifier of this model number (1 or 2) and updater value has FX loop wiring that can be set.
bool loopSettingsAvailableFor(int modelNumber, int updaterValue);

// The names the session looks for among the port names, case-sensitive, anywhere in a name.
inline constexpr const char* kAmpPortMarker = "Kovalex/";

class CORXManager {
public:
    static CORXManager* createInstance();
    // For tests: a session with its own timing and clock.
    static CORXManager* createInstance(const SessionTiming& timing, std::shared_ptr<SessionClock> clock);
    static CORXManager* getInstance();
    // The session when there is one; never creates it.
    static CORXManager* existingInstance();
    static void deleteInstance();

    CORXManager(const CORXManager&) = delete;
    CORXManager& operator=(const CORXManager&) = delete;

    // Listener registry. Removal waits for a notification in progress, so a removed callback is
    // never called after removeEventCallback returns; callbacks must not add or remove themselves.
    void addEventCallback(DeviceEventCallback callback, void* context);
    void removeEventCallback(DeviceEventCallback callback);
    // The registration of this callback with this context only: several listeners may share one function.
    void removeEventCallback(DeviceEventCallback callback, void* context);
    void notifyEvent(std::int32_t event, std::int32_t value);

    // The input and output port the user chose (names as the port lists give them; empty: automatic). A
    // search takes them first when both are listed, and the ports named by the amplifier's marker otherwise.
    void setPortChoice(std::string inInputPort, std::string inOutputPort);
    void setPortChoice(ChosenPort inInput, ChosenPort inOutput);
    ChosenPort chosenInputPort();
    ChosenPort chosenOutputPort();
    void openORX();
    void closeORX();
    static void procMIDIIn(void* context, const std::uint8_t* inData, std::size_t inSize);
    void receiveHeartBeatMessage(const std::uint8_t* inData, std::size_t inSize);
    void checkConnection();
    void disconnect();

    bool getEffectParams(int inAmpCh, std::int32_t& outParam1, std::int32_t& outParam2, std::int32_t& outParam3,
                         std::int32_t& outParam4);
    void getFXLoopSettings(std::int32_t& outSend, std::int32_t& outReturn);
    // A copy of the whole settings block as the amplifier last reported it (backups keep it as it is).
    EffectData getEffectData();
    // The IR slot (amp type) in use on an amp channel as the amplifier last reported it; -1 for another channel.
    int getIrSlot(int inAmpCh);
    void getCurrentIR(int inAmpCh, FIRRecord& outRecord);
    std::uint8_t getModelCode();
    void setLoopSettingsAvailable(bool available);
    bool isLoopSettingsAvailable();

    // Request queue and worker. addRequest never waits for the amplifier: the queue lock is held only
    // around queue operations. An install (12) or name (14) request takes a copy of the staging record
    // or name as it is at that moment.
    void addRequest(std::int32_t type, std::int32_t arg1, std::int32_t arg2);
    // Request 17 for one slot with this record; the staging record is left alone.
    void addSlotWrite(int inSlot, const FIRRecord& inRecord);
    // Sees every request as it is queued, on the queuing thread; for tests of what the windows ask for.
    using RequestObserver = std::function<void(const DeviceRequest&)>;
    void setRequestObserver(RequestObserver observer);
    void clearRequests();
    std::size_t queuedRequestCount();
    void startRequestThread();
    void stopRequestThread();
    bool isRequestThreadRunning() const { return m_worker.joinable(); }
    static int requestThreadProc(CORXManager* session);
    void doRequestEvent();
    // How often the worker's sleep between passes has ended, for whoever measures how quiet it is when idle.
    std::uint64_t workerWakeCount() const { return m_workerWakes.load(); }

    // Hand-over from the speaker simulation page (user-interface thread).
    void setSpeakerTabFIRCOE(const FIRRecord& inFIRCOE);
    void setSpeakerTabIrName(const std::uint8_t* inIrName); // 64 bytes

    // The writes and reads the worker runs; public so they can be driven one at a time.
    bool waitReply();
    bool waitReply(std::chrono::milliseconds inTimeout);
    void requestBulkDump(int inBulkType);
    // One request and one wait for its answer, the step every dump read repeats until a dump comes whole.
    DumpOutcome askForDump(int inBulkType, std::chrono::milliseconds inWait);
    void readAllData();
    void writeEffectParam(int inParam, int inAmpCh, int inValue); // inParam 1 to 4
    void writeFXLoop(bool inReturn, int inValue);
    void sendFIRCOE(int inAmpCh, int inFIRCOE);
    void bypassFIR(int inAmpCh);
    void storeFIR(int inAmpCh);
    void installFIR(int inAmpCh, const FIRRecord& inRecord);
    void selectFIR(int inAmpCh);
    void sendFIRName(int inAmpCh, const IrName& inIRName);
    void resetFIR();
    void requestUpdater();
    // Selects the slot on its channel, transfers the record and stores it there: events 7, 9, then 12 or 13.
    void writeSlot(int inSlot, const FIRRecord& inRecord);
    // Selects an amp type's stored response on a channel, as turning the knob would: event 7.
    void chooseSlot(int inAmpCh, int inType);
    int sendParam(std::uint8_t inGroup, std::uint8_t inParam, std::uint8_t inData1, std::uint8_t inData2);
    void sendFIRData(int inAmpCh);
    int sendFIRBlock(int inBlock, std::size_t inStart, std::size_t inLength, int inAmpCh);
    sysex::Bytes packFIRBlock(int inBlock, int inAmpCh, std::size_t inLength) const;
    void saveFIRToSlot(int inAmpCh);

    std::uint16_t getUpdaterValue();
    // A copy of one of the ten stored records.
    FIRRecord getSlot(std::size_t inSlot);

    bool isOpen() const { return m_open.load(); }
    const SessionTiming& timing() const { return m_timing; }

private:
    CORXManager(const SessionTiming& timing, std::shared_ptr<SessionClock> clock);
    ~CORXManager();

    void dispatchParameter(const sysex::Parameter& p);
    void receiveBulkDump(const std::uint8_t* inData, std::size_t inSize);
    void receiveBulkDumpEffectData(const std::uint8_t* inData, std::size_t inSize);
    void receiveBulkDumpFIRHeader(const std::uint8_t* inData, std::size_t inSize, int inBulkType);
    void receiveParamEffectData(const sysex::Parameter& p);
    void receiveParamFIR(const sysex::Parameter& p);
    void receiveParamUpdater(const sysex::Parameter& p);
    // A disconnection noticed on the MIDI input thread: state, queue and event now, the ports on the worker.
    void disconnectFromInput();
    void runDeferredDisconnect();
    // A request in progress gives up at its next wait or pause when the worker must stop or the
    // connection it talks over is being replaced; it ends without an error event.
    bool abortRequested() const { return m_stop.load() || m_disconnectPending.load(); }
    void wakeWaitingRequest();
    // Wakes the idle worker after something changed what it has to do or when.
    void wakeWorker();
    // Clock time until checkConnection has a heartbeat request or a connection check to do; zero when due.
    std::chrono::milliseconds timeUntilDue();
    void pauseRequest(std::chrono::milliseconds inPause);
    // A dump's checksum verdict travels with its reply code: the verdict a waiting request sees is
    // always that of the very message whose code it took.
    void setReceivedReply(std::int32_t code, std::optional<bool> inDumpGood = std::nullopt);
    void resetReplies();
    int slotOfChannel(int inAmpCh);

    struct Listener {
        DeviceEventCallback callback;
        void* context;
    };

    SessionTiming m_timing;
    std::shared_ptr<SessionClock> m_clock;

    std::mutex m_queueLock;
    RequestObserver m_requestObserver; // guarded by m_queueLock
    std::mutex m_dataLock;
    std::mutex m_connectionLock;
    std::shared_mutex m_listenerLock;

    std::atomic<std::uint32_t> m_lastHeartbeatRequest{0};
    std::atomic<std::int64_t> m_lastHeartbeat{0};
    std::atomic<std::uint32_t> m_lastConnectionCheck{0};
    std::atomic<bool> m_open{false};
    std::vector<Listener> m_listeners;

    struct QueuedRequest {
        DeviceRequest request;
        std::shared_ptr<const FIRRecord> record; // install: the staging record when queued
        IrName name{};                           // rename: the staging name when queued
    };
    void runRequest(const QueuedRequest& queued);
    void enqueue(QueuedRequest queued);

    std::deque<QueuedRequest> m_requests;
    // With m_queueLock: a request was queued, the worker must stop, or the connection or clock changed.
    std::condition_variable m_workWake;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_disconnectPending{false};
    std::atomic<std::uint64_t> m_workerWakes{0};
    std::uint64_t m_clockWatch = 0;

    // Replies wake the waiting worker at once rather than at its next poll.
    std::mutex m_replyLock;
    std::condition_variable m_replyArrived;

    std::mutex m_stagingLock;
    FIRRecord m_stagingRecord;
    IrName m_stagingName{};

    FIRTransferImage m_transferImage{};
    std::array<std::uint8_t, sysex::kFIRBlockPayload> m_blockPayload{};
    std::size_t m_transferFirst = 0;
    std::size_t m_transferLast = 0;

    EffectData m_effectData;
    std::array<FIRRecord, kIrSlotCount> m_irSlots{};
    std::array<FIRRecord, 2> m_currentIR{};

    std::atomic<std::int32_t> m_expectedReply{-1};
    std::atomic<std::int32_t> m_receivedReply{-1};
    std::atomic<std::int32_t> m_bulkError{0};
    // The verdict of the dump the worker's last wait took (worker thread only).
    bool m_takenDumpBad = false;
    std::atomic<std::int32_t> m_lastReplyValue{0};

    std::uint8_t m_modelCode = 0;
    std::uint16_t m_updaterValue = 0;
    bool m_loopSettingsAvailable = false;
    ChosenPort m_chosenInput;  // guarded by m_connectionLock
    ChosenPort m_chosenOutput; // guarded by m_connectionLock
};

} // namespace orx
