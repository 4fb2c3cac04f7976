// Device ids of the second backend follow those of the first.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CombinedBackend.h"

namespace orx {

CombinedBackend::CombinedBackend(std::unique_ptr<MidiBackend> first, std::unique_ptr<MidiBackend> second)
    : m_first(std::move(first)), m_second(std::move(second))
{
}

std::vector<std::string> CombinedBackend::inputPortNames()
{
    auto names = m_first->inputPortNames();
    auto more = m_second->inputPortNames();
    names.insert(names.end(), more.begin(), more.end());
    return names;
}

std::vector<std::string> CombinedBackend::outputPortNames()
{
    auto names = m_first->outputPortNames();
    auto more = m_second->outputPortNames();
    names.insert(names.end(), more.begin(), more.end());
    return names;
}

int CombinedBackend::openIn(unsigned deviceId, MidiInputSink* sink)
{
    closeIn();
    const auto firstCount = static_cast<unsigned>(m_first->inputPortNames().size());
    MidiBackend* target = deviceId < firstCount ? m_first.get() : m_second.get();
    const int result = target->openIn(deviceId < firstCount ? deviceId : deviceId - firstCount, sink);
    if (result == kMidiOk)
        m_in = target;
    return result;
}

int CombinedBackend::startIn()
{
    return m_in ? m_in->startIn() : kMidiInvalidHandle;
}
int CombinedBackend::resetIn()
{
    return m_in ? m_in->resetIn() : kMidiInvalidHandle;
}
int CombinedBackend::stopIn()
{
    return m_in ? m_in->stopIn() : kMidiInvalidHandle;
}

int CombinedBackend::closeIn()
{
    if (!m_in)
        return kMidiOk;
    const int result = m_in->closeIn();
    m_in = nullptr;
    return result;
}

int CombinedBackend::openOut(unsigned deviceId, MidiOutputSink* sink)
{
    closeOut();
    const auto firstCount = static_cast<unsigned>(m_first->outputPortNames().size());
    MidiBackend* target = deviceId < firstCount ? m_first.get() : m_second.get();
    const int result = target->openOut(deviceId < firstCount ? deviceId : deviceId - firstCount, sink);
    if (result == kMidiOk)
        m_out = target;
    return result;
}

int CombinedBackend::sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t bufferId)
{
    return m_out ? m_out->sendLong(data, size, bufferId) : kMidiInvalidHandle;
}

int CombinedBackend::resetOut()
{
    return m_out ? m_out->resetOut() : kMidiInvalidHandle;
}

int CombinedBackend::closeOut()
{
    if (!m_out)
        return kMidiOk;
    const int result = m_out->closeOut();
    m_out = nullptr;
    return result;
}

std::string CombinedBackend::problem()
{
    return m_first->problem();
}

} // namespace orx
