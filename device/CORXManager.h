// The device session: finds the amplifier, parses what it sends, keeps its state, reports events.
#pragma once

#include "CMIDIManager.h"
#include "DeviceRecords.h"
#include "SessionClock.h"
#include "SysexCatalogue.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
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
};

struct DeviceRequest {
    std::int32_t type = 0;
    std::int32_t arg1 = 0;
    std::int32_t arg2 = 0;
};

// The names the session looks for among the port names, case-sensitive, anywhere in a name.
inline constexpr const char* kAmpPortMarker = "Kovalex/";

class CORXManager {
public:
    static CORXManager* createInstance();
    // For tests: a session with its own timing and clock.
    static CORXManager* createInstance(const SessionTiming& timing, std::shared_ptr<SessionClock> clock);
    static CORXManager* getInstance();
    static void deleteInstance();

    CORXManager(const CORXManager&) = delete;
    CORXManager& operator=(const CORXManager&) = delete;

    // Listener registry. Removal waits for a notification in progress, so a removed callback is
    // never called after removeEventCallback returns; callbacks must not add or remove themselves.
    void addEventCallback(DeviceEventCallback callback, void* context);
    void removeEventCallback(DeviceEventCallback callback);
    void notifyEvent(std::int32_t event, std::int32_t value);

    void openORX();
    void closeORX();
    static void procMIDIIn(void* context, const std::uint8_t* inData, std::size_t inSize);
    void receiveHeartBeatMessage(const std::uint8_t* inData, std::size_t inSize);
    void checkConnection();
    void disconnect();

    bool getEffectParams(int inAmpCh, std::int32_t& outParam1, std::int32_t& outParam2, std::int32_t& outParam3,
                         std::int32_t& outParam4);
    void getFXLoopSettings(std::int32_t& outSend, std::int32_t& outReturn);
    void getCurrentIR(int inAmpCh, FIRRecord& outRecord);
    std::uint8_t getModelCode();
    void setLoopSettingsAvailable(bool available);
    bool isLoopSettingsAvailable();

    // Request queue.
    void addRequest(std::int32_t type, std::int32_t arg1, std::int32_t arg2);
    void clearRequests();
    std::size_t queuedRequestCount();

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
    void saveFIRToSlot(int inAmpCh);
    // A disconnection noticed on the MIDI input thread: state and event now, ports and queue on the worker.
    void disconnectFromInput();
    void runDeferredDisconnect();

    struct Listener {
        DeviceEventCallback callback;
        void* context;
    };

    SessionTiming m_timing;
    std::shared_ptr<SessionClock> m_clock;

    std::mutex m_queueLock;
    std::mutex m_dataLock;
    std::mutex m_connectionLock;
    std::shared_mutex m_listenerLock;

    std::atomic<std::uint32_t> m_lastHeartbeatRequest{0};
    std::atomic<std::int64_t> m_lastHeartbeat{0};
    std::atomic<std::uint32_t> m_lastConnectionCheck{0};
    std::atomic<bool> m_open{false};
    std::vector<Listener> m_listeners;

    struct QueuedRequest {
        std::uint64_t number;
        DeviceRequest request;
    };
    std::deque<QueuedRequest> m_requests;
    // Requests are numbered as they are queued, so a disconnection can drop exactly those queued before it.
    std::atomic<std::uint64_t> m_requestsQueued{0};
    std::atomic<bool> m_disconnectPending{false};
    std::atomic<std::uint64_t> m_dropRequestsBefore{0};

    EffectData m_effectData;
    std::array<FIRRecord, kIrSlotCount> m_irSlots{};
    std::array<FIRRecord, 2> m_currentIR{};

    std::atomic<std::int32_t> m_expectedReply{-1};
    std::atomic<std::int32_t> m_receivedReply{-1};
    std::atomic<std::int32_t> m_bulkError{0};
    std::atomic<std::int32_t> m_lastReplyValue{0};

    std::uint8_t m_modelCode = 0;
    std::uint16_t m_updaterValue = 0;
    bool m_loopSettingsAvailable = false;
};

} // namespace orx
