// RtMidi plumbing shared by the system MIDI backend and the simulator tool: choosing the API, creating port objects
// quietly.
#pragma once

#include <RtMidi.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orx::rtmidi {

// The client name the program's own ports carry; the backend hides ports whose client starts with it.
inline constexpr const char* kClientName = "ORX Tevo Utility";

// "alsa" or "jack"; nullopt for anything else.
std::optional<RtMidi::Api> apiFromName(std::string_view name);
// "ALSA", "JACK", or RtMidi's own name for any other API.
std::string apiLabel(RtMidi::Api api);

// These create an RtMidi port object without letting RtMidi, libjack or libasound print anything.
// When the MIDI system cannot be used (RtMidi throws, or only warns as it does when no JACK server
// runs) they return nullptr and a one-line reason. The object has no error callback yet.
std::unique_ptr<RtMidiIn> createInput(RtMidi::Api api, const std::string& clientName, std::string& failure);
std::unique_ptr<RtMidiOut> createOutput(RtMidi::Api api, const std::string& clientName, std::string& failure);

// Flattens a message RtMidi or a library wrote over several lines into one.
std::string oneLine(std::string_view text);

} // namespace orx::rtmidi
