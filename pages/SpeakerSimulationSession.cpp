// The speaker page's requests and reads, passed to the process's device session.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpeakerSimulationSession.h"

namespace orx {

void ORXSpeakerSession::addRequest(std::int32_t type, std::int32_t ampCh, std::int32_t arg)
{
    CORXManager::getInstance()->addRequest(type, ampCh, arg);
}

void ORXSpeakerSession::setSpeakerTabFIRCOE(const FIRRecord& record)
{
    CORXManager::getInstance()->setSpeakerTabFIRCOE(record);
}

void ORXSpeakerSession::setSpeakerTabIrName(const IrName& name)
{
    CORXManager::getInstance()->setSpeakerTabIrName(name.data());
}

FIRRecord ORXSpeakerSession::currentIR(int ampCh)
{
    FIRRecord current;
    CORXManager::getInstance()->getCurrentIR(ampCh, current);
    return current;
}

int ORXSpeakerSession::irSlot(int ampCh)
{
    return CORXManager::getInstance()->getIrSlot(ampCh);
}

} // namespace orx
