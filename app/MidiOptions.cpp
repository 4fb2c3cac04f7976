// The MIDI choice of a run, from the command line, the environment and the settings, in that order.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiOptions.h"

#include "backends/RtMidiBackend.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdlib>

namespace orx {

namespace {

const QString kApi = QStringLiteral("midi-api");
const QString kIn = QStringLiteral("midi-in");
const QString kOut = QStringLiteral("midi-out");
const QString kSimulate = QStringLiteral("simulate");

std::optional<std::string> valueOf(const QCommandLineParser& parser, const QString& name)
{
    if (!parser.isSet(name))
        return std::nullopt;
    return parser.value(name).toStdString();
}

} // namespace

void addMidiOptions(QCommandLineParser& parser)
{
    parser.addHelpOption();
    parser.addOption({QStringLiteral("version"), QStringLiteral("Displays the version and the licence.")});
    parser.addOption({kSimulate,
                      QStringLiteral("Add the built-in simulated amplifier of model 1 or 2 behind the system's ports "
                                     "(as ORX_SIMULATED_AMP)."),
                      QStringLiteral("1|2")});
    parser.addOption({kApi, QStringLiteral("The MIDI system: alsa or jack (default: ORX_MIDI_API, else the settings, "
                                           "else alsa)."),
                      QStringLiteral("alsa|jack")});
    parser.addOption({kIn, QStringLiteral("Use the MIDI input port whose name contains TEXT (this run only)."),
                      QStringLiteral("TEXT")});
    parser.addOption({kOut, QStringLiteral("Use the MIDI output port whose name contains TEXT (this run only)."),
                      QStringLiteral("TEXT")});
}

MidiCommandLine midiOptionsFrom(const QCommandLineParser& parser)
{
    return {valueOf(parser, kApi), valueOf(parser, kIn), valueOf(parser, kOut), valueOf(parser, kSimulate)};
}

std::string midiOptionsProblem(const MidiCommandLine& commandLine)
{
    if (commandLine.api && !midiApiFromText(*commandLine.api))
        return "--midi-api " + *commandLine.api + ": the MIDI system is alsa or jack";
    if (commandLine.simulate && *commandLine.simulate != "1" && *commandLine.simulate != "2")
        return "--simulate " + *commandLine.simulate + ": the simulated amplifier is model 1 or 2";
    return {};
}

void applySimulateOption(const MidiCommandLine& commandLine)
{
    if (commandLine.simulate && (*commandLine.simulate == "1" || *commandLine.simulate == "2"))
        ::setenv("ORX_SIMULATED_AMP", commandLine.simulate->c_str(), 1);
}

void chooseMidiSystem(const MidiCommandLine& commandLine, const AppSettings& settings)
{
    if (commandLine.api) {
        if (const auto api = midiApiFromText(*commandLine.api)) {
            setMidiApi(*api);
            return;
        }
    }
    if (midiApiFromEnvironment())
        return;
    // A value the program cannot use is left in the file for the user to see and mend, and ALSA is used.
    if (const auto api = midiApiFromText(settings.MidiApi))
        setMidiApi(*api);
}

std::pair<ChosenPort, ChosenPort> choosePorts(const MidiCommandLine& commandLine, const AppSettings& settings)
{
    const auto pick = [](const std::optional<std::string>& fromCommandLine, const std::string& stored) {
        return fromCommandLine && !fromCommandLine->empty() ? ChosenPort{*fromCommandLine, true}
                                                             : ChosenPort{stored, false};
    };
    return {pick(commandLine.input, settings.MidiInputPort), pick(commandLine.output, settings.MidiOutputPort)};
}

} // namespace orx
