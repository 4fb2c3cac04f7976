// The port probe: one listening client per input, one sending client, one output asked at a time.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortProbe.h"

#include "CMIDIManager.h"
#include "SysexCatalogue.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace orx {

namespace {

struct Heard {
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::optional<std::uint8_t>> model; // per input, since the last output was asked
};

struct Listener {
    Heard* heard = nullptr;
    std::size_t input = 0;
    std::unique_ptr<CMIDIManager> midi;
};

void onInput(void* context, const std::uint8_t* data, std::size_t size)
{
    auto* listener = static_cast<Listener*>(context);
    if (!listener || !sysex::hasAmpHeader(data, size) || sysex::kindOf(data) != sysex::kKindHeartbeat)
        return;
    const auto model = sysex::parseHeartbeat(data, size);
    if (!model)
        return;
    {
        std::lock_guard lock(listener->heard->lock);
        auto& slot = listener->heard->model[listener->input];
        if (!slot)
            slot = *model;
    }
    listener->heard->arrived.notify_all();
}

// The port's place in a list made by another client: the same place when the name is still there, else the
// first port of that name.
std::optional<unsigned> placeOf(const std::vector<std::string>& names, std::size_t expected, const std::string& name)
{
    if (expected < names.size() && names[expected] == name)
        return static_cast<unsigned>(expected);
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end())
        return std::nullopt;
    return static_cast<unsigned>(it - names.begin());
}

bool cancelled(const ProbeOptions& options)
{
    return options.cancel && options.cancel->load();
}

} // namespace

ProbeResult probeForAmp(const ProbeOptions& options)
{
    ProbeResult result;
    try {
        auto sender = std::make_unique<CMIDIManager>(CMIDIManager::makeBackend());
        sender->getInDeviceNames(result.inputs);
        sender->getOutDeviceNames(result.outputs);
        result.problem = sender->systemProblem();
        if (options.connected)
            result.answers.push_back(*options.connected);
        const auto isConnected = [&](const std::string& name, bool input) {
            return options.connected && name == (input ? options.connected->inputPort : options.connected->outputPort);
        };

        Heard heard;
        heard.model.resize(result.inputs.size());
        std::vector<std::unique_ptr<Listener>> listeners;
        for (std::size_t i = 0; i < result.inputs.size() && !cancelled(options); ++i) {
            if (result.inputs[i].empty() || isConnected(result.inputs[i], true))
                continue;
            auto listener = std::make_unique<Listener>();
            listener->heard = &heard;
            listener->input = i;
            listener->midi = std::make_unique<CMIDIManager>(CMIDIManager::makeBackend());
            std::vector<std::string> names;
            listener->midi->getInDeviceNames(names);
            const auto place = placeOf(names, i, result.inputs[i]);
            if (!place || listener->midi->openIn(*place, &onInput, listener.get()) != kMidiOk ||
                listener->midi->startIn() != kMidiOk)
                continue; // a port another program holds alone cannot answer us
            listeners.push_back(std::move(listener));
        }

        const auto request = sysex::heartbeatRequest();
        for (std::size_t o = 0; o < result.outputs.size() && !cancelled(options); ++o) {
            if (result.outputs[o].empty() || isConnected(result.outputs[o], false))
                continue;
            {
                std::lock_guard lock(heard.lock);
                std::fill(heard.model.begin(), heard.model.end(), std::nullopt);
            }
            if (sender->openOut(static_cast<unsigned>(o)) != kMidiOk)
                continue;
            const auto start = std::chrono::steady_clock::now();
            sender->sendLongMessage(request.data(), request.size());
            {
                // The whole time, not only until the first answer: an amplifier seen on two inputs is listed twice.
                std::unique_lock lock(heard.lock);
                heard.arrived.wait_until(lock, start + options.listen / 3, [&] { return cancelled(options); });
                // JACK makes a new connection part of its graph a cycle or two after it is made, and what is sent
                // before goes nowhere: a port that said nothing yet is asked once more.
                const bool silent = std::none_of(heard.model.begin(), heard.model.end(),
                                                 [](const auto& m) { return m.has_value(); });
                if (silent && !cancelled(options)) {
                    lock.unlock();
                    sender->sendLongMessage(request.data(), request.size());
                    lock.lock();
                }
                heard.arrived.wait_until(lock, start + options.listen, [&] { return cancelled(options); });
                for (std::size_t i = 0; i < heard.model.size(); ++i)
                    if (heard.model[i])
                        result.answers.push_back({result.inputs[i], result.outputs[o], *heard.model[i]});
            }
            sender->closeOut();
            sender->closeOutPort();
        }
        for (auto& listener : listeners)
            listener->midi->closeIn();
    } catch (const std::exception& e) {
        if (result.problem.empty())
            result.problem = e.what();
    } catch (...) {
        if (result.problem.empty())
            result.problem = "the MIDI system could not be used";
    }
    return result;
}

} // namespace orx
