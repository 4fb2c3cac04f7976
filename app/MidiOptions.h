// The options both programs take (--help, --version, --simulate, --midi-api, --midi-in, --midi-out) and the MIDI
// choice they make at start.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppSettings.h"
#include "PortChoice.h"

#include <optional>
#include <string>
#include <utility>

class QCommandLineParser;

namespace orx {

struct MidiCommandLine {
    std::optional<std::string> api;
    std::optional<std::string> input;  // a part of the input port's name
    std::optional<std::string> output; // a part of the output port's name
    std::optional<std::string> simulate; // "1" or "2": the built-in simulated amplifier, as ORX_SIMULATED_AMP
};

// --help and --version (answered before anything needs a display: see ProgramInfo.h), --simulate and the MIDI
// options.
void addMidiOptions(QCommandLineParser& parser);
MidiCommandLine midiOptionsFrom(const QCommandLineParser& parser);
// Why the options cannot be used ("--midi-api usb: ..."); empty when they can.
std::string midiOptionsProblem(const MidiCommandLine& commandLine);

// --simulate puts the built-in simulated amplifier behind the system's ports for this run, as ORX_SIMULATED_AMP
// does (it sets it); call before the first MIDI client is made.
void applySimulateOption(const MidiCommandLine& commandLine);

// The MIDI system for this run: the command line's, else ORX_MIDI_API's, else the settings' ([MIDI] Api), else
// ALSA. Made before the first MIDI client; a command line midiOptionsProblem refuses is taken as not given.
void chooseMidiSystem(const MidiCommandLine& commandLine, const AppSettings& settings);

// The ports to look for first: the command line's by a part of their names (for this run only), else the
// settings' by their whole names. Either one may come from each.
std::pair<ChosenPort, ChosenPort> choosePorts(const MidiCommandLine& commandLine, const AppSettings& settings);

} // namespace orx
