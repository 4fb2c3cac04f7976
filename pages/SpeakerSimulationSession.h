// What the speaker simulation page needs of the device session, so its logic can run against any session.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CORXManager.h"
#include "DeviceRecords.h"

#include <cstdint>

namespace orx {

class ISpeakerSession {
public:
    virtual ~ISpeakerSession() = default;
    // Queues a request for the worker; the page never waits for the amplifier.
    virtual void addRequest(std::int32_t type, std::int32_t ampCh, std::int32_t arg) = 0;
    // The staging record and name that the next install (12) and name (14) request take.
    virtual void setSpeakerTabFIRCOE(const FIRRecord& record) = 0;
    virtual void setSpeakerTabIrName(const IrName& name) = 0;
    // The amplifier's state on an amp channel as it last reported it.
    virtual FIRRecord currentIR(int ampCh) = 0;
    virtual int irSlot(int ampCh) = 0;
};

// The process's session, looked up at each call, as the main window may replace it.
class ORXSpeakerSession final : public ISpeakerSession {
public:
    void addRequest(std::int32_t type, std::int32_t ampCh, std::int32_t arg) override;
    void setSpeakerTabFIRCOE(const FIRRecord& record) override;
    void setSpeakerTabIrName(const IrName& name) override;
    FIRRecord currentIR(int ampCh) override;
    int irSlot(int ampCh) override;
};

} // namespace orx
