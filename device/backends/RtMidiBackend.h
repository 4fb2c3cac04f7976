// The system's MIDI ports through RtMidi.
#pragma once

#include "../MidiBackend.h"

#include <memory>

namespace orx {

// ALSA sequencer by default on Linux; ORX_MIDI_API=alsa|jack forces one. With no MIDI system the
// port lists are empty and one diagnostic line is written; it never throws.
std::unique_ptr<MidiBackend> makeSystemMidiBackend();

} // namespace orx
