// RtMidi plumbing shared by the system MIDI backend and the simulator tool: choosing the API, creating port objects
// quietly.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <RtMidi.h>

#include <cstdint>
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

// Destroys a port object the same quiet way.
void destroyQuietly(std::unique_ptr<RtMidiIn>& port);
void destroyQuietly(std::unique_ptr<RtMidiOut>& port);
// Lets go of a port object whose JACK server went away without calling into libjack again: closing such a
// client, or only its port, once a server is back makes libjack free it a second time (it cleans up dead
// clients itself when the next client opens) or upsets the new server. The object is kept for the rest of
// the process and never used.
void abandon(std::unique_ptr<RtMidiIn>& port);
void abandon(std::unique_ptr<RtMidiOut>& port);

// libjack reports on its own threads when a client loses its server ("Cannot read socket fd", "Server is
// not running", ...). Those lines never reach standard error: the first of each loss becomes one line of
// ours, and this count goes up, so a JACK client made before it last changed is known to be dead.
std::uint64_t jackTroubleCount();
// A JACK client was made again: the next loss of the server is reported anew.
void noteJackClientMade();

// Flattens a message RtMidi or a library wrote over several lines into one.
std::string oneLine(std::string_view text);

} // namespace orx::rtmidi
