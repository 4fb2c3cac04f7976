// A MIDI backend whose ports, results and timing of done reports a test controls.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MidiBackend.h"

#include <mutex>
#include <string>
#include <vector>

namespace orx::test {

class FakeMidiBackend final : public MidiBackend {
    template <typename F> auto locked(F f) -> decltype(f())
    {
        std::lock_guard lock(m_s->lock);
        return f();
    }

public:
    struct Shared {
        std::mutex lock;
        std::vector<std::string> inNames;
        std::vector<std::string> outNames;
        int openInResult = kMidiOk;
        int startInResult = kMidiOk;
        int openOutResult = kMidiOk;
        int sendResult = kMidiOk;
        int resetOutResult = kMidiOk;
        int openedIn = -1;
        int openedOut = -1;
        int inStarted = 0;
        int closeInCalls = 0;
        int closeOutCalls = 0;
        MidiInputSink* inSink = nullptr;
        MidiOutputSink* outSink = nullptr;
        std::vector<std::vector<std::uint8_t>> sent;
        std::vector<std::uint64_t> doneHeld; // done reports the test releases when it likes
    };

    explicit FakeMidiBackend(std::shared_ptr<Shared> shared) : m_s(std::move(shared)) {}

    std::vector<std::string> inputPortNames() override
    {
        return locked([&] { return m_s->inNames; });
    }
    std::vector<std::string> outputPortNames() override
    {
        return locked([&] { return m_s->outNames; });
    }
    int openIn(unsigned id, MidiInputSink* sink) override
    {
        return locked([&] {
            if (m_s->openInResult != kMidiOk)
                return m_s->openInResult;
            m_s->openedIn = static_cast<int>(id);
            m_s->inSink = sink;
            return kMidiOk;
        });
    }
    int startIn() override
    {
        return locked([&] {
            if (m_s->startInResult == kMidiOk)
                ++m_s->inStarted;
            return m_s->startInResult;
        });
    }
    int resetIn() override { return kMidiOk; }
    int stopIn() override { return kMidiOk; }
    int closeIn() override
    {
        return locked([&] {
            ++m_s->closeInCalls;
            m_s->openedIn = -1;
            m_s->inSink = nullptr;
            return kMidiOk;
        });
    }
    int openOut(unsigned id, MidiOutputSink* sink) override
    {
        return locked([&] {
            if (m_s->openOutResult != kMidiOk)
                return m_s->openOutResult;
            m_s->openedOut = static_cast<int>(id);
            m_s->outSink = sink;
            return kMidiOk;
        });
    }
    int sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t id) override
    {
        return locked([&] {
            m_s->sent.emplace_back(data, data + size);
            m_s->doneHeld.push_back(id);
            return m_s->sendResult;
        });
    }
    int resetOut() override
    {
        return locked([&] { return m_s->resetOutResult; });
    }
    int closeOut() override
    {
        return locked([&] {
            ++m_s->closeOutCalls;
            m_s->openedOut = -1;
            m_s->outSink = nullptr;
            return kMidiOk;
        });
    }

private:
    std::shared_ptr<Shared> m_s;
};

} // namespace orx::test
