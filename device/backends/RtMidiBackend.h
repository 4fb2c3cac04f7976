// The system's MIDI ports through RtMidi.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../MidiBackend.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orx {

// "alsa" or "jack" as the user writes them (any case, surrounding blanks ignored); nullopt otherwise.
std::optional<std::string> midiApiFromText(std::string_view text);

// The MIDI system the program chose (the command line's, or the settings' when ORX_MIDI_API is not set, or the
// user's in the MIDI ports dialog); empty leaves it to ORX_MIDI_API, then ALSA. Returns the previous choice.
std::string setMidiApi(std::string name);
// The one makeSystemMidiBackend uses now: "alsa" or "jack".
std::string currentMidiApi();
// Whether ORX_MIDI_API names a MIDI system (then it goes before the settings, as any environment setting does).
bool midiApiFromEnvironment();

// The MIDI system currentMidiApi names. With no MIDI system the port lists are empty and one diagnostic line is
// written; it never throws.
std::unique_ptr<MidiBackend> makeSystemMidiBackend();

} // namespace orx
