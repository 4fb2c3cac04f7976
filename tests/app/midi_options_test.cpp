// The MIDI choice a run starts with: command line, then ORX_MIDI_API, then the settings file, then ALSA; the ports
// from the command line by a part of their names, else the settings' by their whole names.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiOptions.h"
#include "backends/RtMidiBackend.h"

#include <QCommandLineParser>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>

namespace orx {
namespace {

MidiCommandLine parse(const QStringList& args)
{
    QCommandLineParser parser;
    addMidiOptions(parser);
    EXPECT_TRUE(parser.parse(QStringList{QStringLiteral("orx-tevo")} + args)) << parser.errorText().toStdString();
    return midiOptionsFrom(parser);
}

class MidiChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* value = std::getenv("ORX_MIDI_API"))
            m_environment = value;
        m_previous = setMidiApi({});
    }
    void TearDown() override
    {
        setMidiApi(m_previous);
        if (m_environment)
            setenv("ORX_MIDI_API", m_environment->c_str(), 1);
        else
            unsetenv("ORX_MIDI_API");
    }

    std::optional<std::string> m_environment;
    std::string m_previous;
};

TEST_F(MidiChoice, TheMidiSystemComesFromTheCommandLineThenTheEnvironmentThenTheSettings)
{
    struct Case {
        const char* what;
        QStringList args;
        const char* environment; // null: not set
        std::string settings;
        std::string expected;
    };
    const Case cases[] = {
        {"nothing chosen", {}, nullptr, "", "alsa"},
        {"the settings", {}, nullptr, "jack", "jack"},
        {"the settings, as a user may write them", {}, nullptr, " JACK ", "jack"},
        {"a value the settings cannot mean", {}, nullptr, "usb", "alsa"},
        {"the environment before the settings", {}, "alsa", "jack", "alsa"},
        {"an environment value that means nothing leaves it to the settings", {}, "coreaudio", "jack", "jack"},
        {"the command line before both", {"--midi-api", "jack"}, "alsa", "alsa", "jack"},
        {"the command line in capitals", {"--midi-api", "ALSA"}, "jack", "jack", "alsa"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setMidiApi({});
        if (c.environment)
            setenv("ORX_MIDI_API", c.environment, 1);
        else
            unsetenv("ORX_MIDI_API");
        AppSettings settings(nullptr);
        settings.MidiApi = c.settings;
        const MidiCommandLine line = parse(c.args);
        EXPECT_TRUE(midiOptionsProblem(line).empty());
        chooseMidiSystem(line, settings);
        EXPECT_EQ(currentMidiApi(), c.expected);
    }
}

TEST_F(MidiChoice, AMidiSystemTheCommandLineCannotMeanIsRefusedInWords)
{
    EXPECT_EQ(midiOptionsProblem(parse({"--midi-api", "usb"})), "--midi-api usb: the MIDI system is alsa or jack");
    EXPECT_EQ(midiOptionsProblem(parse({"--simulate", "3"})), "--simulate 3: the simulated amplifier is model 1 or 2");
}

// --simulate does what ORX_SIMULATED_AMP does, for this run; nothing given leaves the environment as it is.
TEST_F(MidiChoice, SimulateSetsTheSimulatedAmplifierOfThatModel)
{
    const char* before = std::getenv("ORX_SIMULATED_AMP");
    const std::optional<std::string> kept = before ? std::optional<std::string>(before) : std::nullopt;
    setenv("ORX_SIMULATED_AMP", "0", 1);
    applySimulateOption(parse({}));
    EXPECT_STREQ(std::getenv("ORX_SIMULATED_AMP"), "0");
    for (const char* model : {"1", "2"}) {
        const MidiCommandLine line = parse({"--simulate", model});
        EXPECT_TRUE(midiOptionsProblem(line).empty());
        applySimulateOption(line);
        EXPECT_STREQ(std::getenv("ORX_SIMULATED_AMP"), model);
    }
    if (kept)
        setenv("ORX_SIMULATED_AMP", kept->c_str(), 1);
    else
        unsetenv("ORX_SIMULATED_AMP");
}

TEST_F(MidiChoice, PortsComeFromTheCommandLineByAPartElseFromTheSettingsWhole)
{
    AppSettings settings(nullptr);
    settings.MidiInputPort = "TEVO:TEVO MIDI 1";
    settings.MidiOutputPort = "TEVO:TEVO MIDI 1";
    struct Case {
        const char* what;
        QStringList args;
        ChosenPort in, out;
    };
    const Case cases[] = {
        {"the settings", {}, {"TEVO:TEVO MIDI 1", false}, {"TEVO:TEVO MIDI 1", false}},
        {"both from the command line",
         {"--midi-in", "capture_1", "--midi-out", "playback_1"},
         {"capture_1", true},
         {"playback_1", true}},
        {"one from each", {"--midi-out", "playback_1"}, {"TEVO:TEVO MIDI 1", false}, {"playback_1", true}},
        {"an empty option is no choice", {"--midi-in", ""}, {"TEVO:TEVO MIDI 1", false}, {"TEVO:TEVO MIDI 1", false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [in, out] = choosePorts(parse(c.args), settings);
        EXPECT_EQ(in.name, c.in.name);
        EXPECT_EQ(in.byPart, c.in.byPart);
        EXPECT_EQ(out.name, c.out.name);
        EXPECT_EQ(out.byPart, c.out.byPart);
    }
}

} // namespace
} // namespace orx
