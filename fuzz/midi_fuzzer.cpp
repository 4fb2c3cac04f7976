// libFuzzer entry: arbitrary bytes as the amplifier's input to a fresh device session, then everything the
// windows read from the session, and a store, checked against what the session promises them.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CORXManager.h"
#include "FakeMidiBackend.h"
#include "FuzzSupport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace orx;
using orx::fuzz::require;

// The first byte picks how the rest arrives. Bit 0 set: as one buffer, several messages run together or
// none at all. Clear: cut after every 0xF7, as a port hands over one System Exclusive message at a time;
// what follows the last 0xF7 arrives as a message of its own, unterminated.
std::vector<std::vector<std::uint8_t>> split(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::vector<std::uint8_t>> messages;
    if (size == 0)
        return messages;
    const std::uint8_t* begin = data + 1;
    const std::uint8_t* const end = data + size;
    if (data[0] & 1) {
        messages.emplace_back(begin, end);
        return messages;
    }
    for (const std::uint8_t* p = begin; p != end; ++p) {
        if (*p == sysex::kEnd) {
            messages.emplace_back(begin, p + 1);
            begin = p + 1;
        }
    }
    if (begin != end)
        messages.emplace_back(begin, end);
    return messages;
}

void checkEvent(std::int32_t event, std::int32_t value, void*)
{
    if (event == kEventConnected)
        require(value == 1 || value == 2);
    if (event == kEventSlotSwitched)
        require(value == 0 || value == 1);
}

std::array<FIRRecord, kIrSlotCount> slots(CORXManager& session)
{
    std::array<FIRRecord, kIrSlotCount> all;
    for (std::size_t i = 0; i < kIrSlotCount; ++i)
        all[i] = session.getSlot(i);
    return all;
}

void checkGetters(CORXManager& session)
{
    for (int ampCh : {0, 1}) {
        std::int32_t p[4] = {-1, -1, -1, -1};
        require(session.getEffectParams(ampCh, p[0], p[1], p[2], p[3]));
        for (std::int32_t value : p)
            require(value >= 0 && value <= 0xFF);
        FIRRecord current;
        session.getCurrentIR(ampCh, current);
        require(current.FIRCOE <= kMaxFIRCOE);
    }
    // Another amp channel is refused and leaves the caller's values as they were.
    for (int ampCh : {-1, 2}) {
        std::int32_t p[4] = {-5, -5, -5, -5};
        require(!session.getEffectParams(ampCh, p[0], p[1], p[2], p[3]));
        require(p[0] == -5 && p[1] == -5 && p[2] == -5 && p[3] == -5);
        require(session.getIrSlot(ampCh) == -1);
        FIRRecord marker;
        marker.irName[0] = '?';
        marker.FIRCOE = 0xFFFF;
        FIRRecord record = marker;
        session.getCurrentIR(ampCh, record);
        require(record == marker);
    }
    std::int32_t send = -1;
    std::int32_t ret = -1;
    session.getFXLoopSettings(send, ret);
    require(send >= 0 && send <= 0xFF && ret >= 0 && ret <= 0xFF);

    const std::uint8_t model = session.getModelCode();
    require(model == 0 || model == '1' || model == '2');
    require(session.getUpdaterValue() <= 0x3FFF);
    // Every gain the session holds came in as 14 bits.
    for (const FIRRecord& slot : slots(session))
        require(slot.FIRCOE <= kMaxFIRCOE);
    require(session.getSlot(kIrSlotCount) == FIRRecord{});
}

// A store copies an amp channel's current IR into the slot that channel uses, and changes nothing else; a
// slot number past the channel's five (a dump may carry any byte there) or another channel stores nothing.
void checkStore(CORXManager& session)
{
    for (int ampCh : {0, 1, -1, 2}) {
        auto expected = slots(session);
        const int slot = session.getIrSlot(ampCh);
        if (slot >= 0 && slot < static_cast<int>(kSlotsPerChannel))
            session.getCurrentIR(ampCh, expected[static_cast<std::size_t>(slot + ampCh * 5)]);
        session.saveFIRToSlot(ampCh);
        require(slots(session) == expected);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A session of its own for every input, on ports that lead nowhere, so one input's state never
    // reaches the next and every crash replays from its file alone.
    using namespace orx;
    auto ports = std::make_shared<test::FakeMidiBackend::Shared>();
    ports->inNames = {std::string(kAmpPortMarker) + "Fuzz"};
    ports->outNames = ports->inNames;
    CMIDIManager::setBackendFactory([ports] { return std::make_unique<test::FakeMidiBackend>(ports); });
    CORXManager* session = CORXManager::createInstance(SessionTiming{}, std::make_shared<ManualSessionClock>());
    session->addEventCallback(&checkEvent, nullptr);
    session->openORX();
    require(session->isOpen());

    // Each message in a buffer of its own size, so a read past its end is caught.
    for (const auto& message : split(data, size))
        CORXManager::procMIDIIn(session, message.data(), message.size());
    // What the worker does next: after a heartbeat of another model it opens the ports again.
    session->checkConnection();

    checkGetters(*session);
    checkStore(*session);

    CORXManager::deleteInstance();
    CMIDIManager::deleteInstance();
    CMIDIManager::setBackendFactory({});
    return 0;
}
