// orx-tevo as a user runs it: with no MIDI system to use, and over a private JACK server against orx-amp-sim.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpBackup.h"
#include "DeviceRecords.h"

#include "AmpSimProcess.h"
#include "JackServer.h"
#include "WaveFile.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orx {
namespace {

using namespace std::chrono_literals;
using test::AmpSimProcess;
using test::JackServer;
using test::ScopedEnv;

// How long one run of the tool may take before the test gives up on it. Never an assertion.
constexpr std::chrono::milliseconds kRunLimit{30000};

struct ToolRun {
    int exitCode = -1;
    std::string output; // standard output and standard error, as a terminal shows them
};

ToolRun runTool(const std::string& path, const std::vector<std::string>& args)
{
    test::ChildProcess tool(path, args);
    const auto status = tool.waitForExit(kRunLimit);
    tool.stop();
    return {status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, tool.output()};
}

ToolRun tevo(const std::vector<std::string>& args)
{
    return runTool(ORX_TEST_TEVO, args);
}

// The same with standard error thrown away: what a script reading standard output gets.
ToolRun tevoStandardOutput(const std::vector<std::string>& args)
{
    std::vector<std::string> shell{"-c", "exec \"$0\" \"$@\" 2>/dev/null", ORX_TEST_TEVO};
    shell.insert(shell.end(), args.begin(), args.end());
    return runTool("/bin/sh", shell);
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

// Terminal columns before needle: characters, not bytes.
std::size_t columnOf(const std::string& line, const std::string& needle)
{
    const std::size_t at = line.find(needle);
    EXPECT_NE(at, std::string::npos) << needle << " in " << line;
    const std::string before = line.substr(0, at == std::string::npos ? 0 : at);
    return static_cast<std::size_t>(std::count_if(before.begin(), before.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// A home of its own for the run: the tool reads the settings and the IR library there, never the user's.
std::filesystem::path freshHome(const std::string& name)
{
    const std::filesystem::path home = std::filesystem::path(testing::TempDir()) / name;
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / "data");
    std::filesystem::create_directories(home / "config");
    return home;
}

IrName irName(const std::string& bytes)
{
    IrName name{};
    std::memcpy(name.data(), bytes.data(), std::min(bytes.size(), name.size() - 1));
    return name;
}

// Would catch: every command that connects waiting its whole --timeout (ten minutes here) for ports that cannot
// exist, or saying nothing about why. The JACK server's name is one no server runs under, and libjack may not
// start one, so no real server is reached.
TEST(OrxTevoWithoutMidi, EveryCommandThatConnectsSaysAtOnceThatTheMidiSystemCannotBeUsed)
{
    const std::filesystem::path home = freshHome("orx-tevo-no-midi-home");
    const ScopedEnv dataHome{"XDG_DATA_HOME", (home / "data").c_str()};
    const ScopedEnv configHome{"XDG_CONFIG_HOME", (home / "config").c_str()};
    const ScopedEnv noServer{"JACK_DEFAULT_SERVER", ("orx-test-none-" + std::to_string(getpid())).c_str()};
    const ScopedEnv noStart{"JACK_NO_START_SERVER", "1"};
    const ScopedEnv noSimulator{"ORX_SIMULATED_AMP", "0"};
    const ScopedEnv noApi{"ORX_MIDI_API", nullptr};

    // Files the commands read before they connect, so that each gets as far as the MIDI system.
    const std::filesystem::path wave = home / "Warm Cab.wav";
    test::writeWave(wave, {std::vector<std::int16_t>(2048, 1000)});
    AmpBackup backup;
    backup.model = 1;
    for (int slot = 0; slot < static_cast<int>(kSlotsPerChannel); ++slot)
        backup.slots.push_back({slot, irName("Factory"), 5181, std::nullopt, {}});
    const std::filesystem::path backupFile = home / "amp.orxbackup.json";
    writeBackup(backupFile, backup);

    const std::string out = (home / "out").string();
    const std::vector<std::vector<std::string>> commands = {
        {"status"},
        {"linktest"},
        {"backup", out + ".orxbackup.json"},
        {"restore", backupFile.string(), "--yes"},
        {"install", wave.string(), "--channel", "I", "--type", "LEAD"},
        {"export", "--channel", "II", "--type", "SOLID", out + ".wav"},
    };
    for (std::vector<std::string> args : commands) {
        args.insert(args.end(), {"--midi-api", "jack", "--timeout", "600000"});
        const ToolRun run = tevo(args);
        EXPECT_EQ(run.exitCode, 1) << args.front() << ":\n" << run.output;
        const auto said = linesStartingWith(run.output, "orx-tevo: cannot use the MIDI system (JACK");
        EXPECT_EQ(said.size(), 1u) << args.front() << ":\n" << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(out + ".orxbackup.json"));
    EXPECT_FALSE(std::filesystem::exists(out + ".wav"));
}

// Would catch: the note on the gain going to standard error, or the gain asked for being stored as it is.
TEST(OrxTevoWithoutMidi, InstallSaysOnStandardOutputWhichStepOfTheGainDialItUses)
{
    const std::filesystem::path home = freshHome("orx-tevo-gain-home");
    const ScopedEnv dataHome{"XDG_DATA_HOME", (home / "data").c_str()};
    const ScopedEnv configHome{"XDG_CONFIG_HOME", (home / "config").c_str()};
    const ScopedEnv noServer{"JACK_DEFAULT_SERVER", ("orx-test-none-" + std::to_string(getpid())).c_str()};
    const ScopedEnv noStart{"JACK_NO_START_SERVER", "1"};
    const ScopedEnv noSimulator{"ORX_SIMULATED_AMP", "0"};
    const std::filesystem::path wave = home / "Warm Cab.wav";
    test::writeWave(wave, {std::vector<std::int16_t>(2048, 1000)});
    const std::vector<std::string> install{"install", wave.string(), "--channel", "I", "--type", "LEAD",
                                           "--midi-api", "jack"};

    std::vector<std::string> args = install;
    args.insert(args.end(), {"--gain", "-7.3"});
    const ToolRun rounded = tevoStandardOutput(args);
    EXPECT_EQ(rounded.output, "--gain -7.3 dB is not a step of the gain dial: using -7.5 dB\n");
    EXPECT_EQ(rounded.exitCode, 1) << "no MIDI system, so nothing installed";

    for (const char* offTheDial : {"-30.5", "0.5", "nan", "loud"}) {
        args = install;
        args.insert(args.end(), {"--gain", offTheDial});
        const ToolRun refused = tevo(args);
        EXPECT_EQ(refused.exitCode, 2) << offTheDial << ": " << refused.output;
        EXPECT_NE(refused.output.find("orx-tevo: --gain takes a number of dB from -30 to 0"), std::string::npos)
            << offTheDial << ": " << refused.output;
    }
}

// Would catch: a count that is no number, none or too many taken as some default, or refused with the exit code
// of a faulty link rather than of a bad command line.
TEST(OrxTevoWithoutMidi, LinktestRefusesACountOfNoDumpsOrTooMany)
{
    const ScopedEnv noServer{"JACK_DEFAULT_SERVER", ("orx-test-none-" + std::to_string(getpid())).c_str()};
    const ScopedEnv noStart{"JACK_NO_START_SERVER", "1"};
    const ScopedEnv noSimulator{"ORX_SIMULATED_AMP", "0"};
    for (const char* count : {"0", "-5", "many", "10001"}) {
        const ToolRun refused = tevo({"linktest", "--count", count, "--midi-api", "jack"});
        EXPECT_EQ(refused.exitCode, 2) << count << ": " << refused.output;
        EXPECT_NE(refused.output.find("orx-tevo: --count takes a number of dumps from 1 to 10000"), std::string::npos)
            << count << ": " << refused.output;
    }
}

// A private JACK server with orx-amp-sim on it, model 2 with the FX loop wiring; the tool's home is its own.
class OrxTevoOverJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure;
        m_server = JackServer::start(failure);
        ASSERT_NE(m_server, nullptr) << failure;
        m_simulator =
            std::make_unique<AmpSimProcess>(std::vector<std::string>{"--model", "2", "--port-name", "TEVO MIDI 1"});
        ASSERT_TRUE(m_simulator->command("updater 112"));
        m_home = freshHome(std::string("orx-tevo-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        m_dataHome.emplace("XDG_DATA_HOME", (m_home / "data").c_str());
        m_configHome.emplace("XDG_CONFIG_HOME", (m_home / "config").c_str());
    }

    ToolRun onTheAmp(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--midi-in", "TEVO", "--midi-out", "TEVO"});
        return tevo(args);
    }

    // status, which must end well and print each of these lines whole.
    ToolRun statusShowing(const std::vector<std::string>& lines)
    {
        const ToolRun status = onTheAmp({"status"});
        EXPECT_EQ(status.exitCode, 0) << status.output;
        for (const std::string& line : lines)
            EXPECT_NE(status.output.find(line + "\n"), std::string::npos) << line << "\nin:\n" << status.output;
        return status;
    }

    // Every child started here, and this process, use the private server; other tests' servers are left alone.
    ScopedEnv m_keepServerName{"JACK_DEFAULT_SERVER", std::getenv("JACK_DEFAULT_SERVER")};
    ScopedEnv m_api{"ORX_MIDI_API", "jack"};
    ScopedEnv m_noSimulator{"ORX_SIMULATED_AMP", "0"};
    std::optional<ScopedEnv> m_dataHome;
    std::optional<ScopedEnv> m_configHome;
    std::unique_ptr<JackServer> m_server;
    std::unique_ptr<AmpSimProcess> m_simulator;
    std::filesystem::path m_home;
};

// Would catch: settings printed as raw numbers or as other words than the window's (the effect page's
// displays, lamps and dial, the Properties dialog's wiring choices), the amp type in use left out, or slot columns
// that drift with the length of a name.
TEST_F(OrxTevoOverJack, StatusShowsTheSettingsInTheWindowsWordsAndTheSlotsInColumns)
{
    // The amplifier's state comes from a backup: the settings byte for byte, two slots with their responses.
    AmpBackup backup;
    backup.model = 2;
    backup.firmware = 112;
    backup.hasLoopWiring = true;
    auto& b = backup.effects.bytes;
    b[EffectData::kSlotChannel1] = 1;           // LEAD
    b[EffectData::kFirstParamChannel1] = 1;     // booster: Green Drive
    b[EffectData::kFirstParamChannel1 + 1] = 1; // FX loop: PARALLEL
    b[EffectData::kFirstParamChannel1 + 2] = 3; // reverb: Hall
    b[EffectData::kFirstParamChannel1 + 3] = 2; // noise gate: 2
    b[EffectData::kSlotChannel2] = 4;           // SOLID
    b[EffectData::kFirstParamChannel2] = 2;     // Amber Drive
    b[EffectData::kFirstParamChannel2 + 1] = 0; // SERIAL
    b[EffectData::kFirstParamChannel2 + 2] = 1; // Plate
    b[EffectData::kFirstParamChannel2 + 3] = 0; // OFF
    b[EffectData::kLoopSend] = 1;               // Mixed
    b[EffectData::kLoopReturn] = 0;             // Separate
    Coefficients response{};
    response[0] = 12000;
    response[1] = -6000;
    for (int slot = 0; slot < static_cast<int>(kIrSlotCount); ++slot)
        backup.slots.push_back({slot, irName("Factory"), 5181, std::nullopt, {}});
    // Names far longer and shorter than the others. The amplifier reports names in 7 bits, so characters
    // beyond ASCII cannot come back from it: their columns are checked without it.
    backup.slots[2] = {2, irName("Greenback 4x12, close mic, 2 inches off the cone"), 5181, response, {}};
    backup.slots[7] = {7, irName("V30"), 16383, response, {}};
    const std::filesystem::path backupFile = m_home / "state.orxbackup.json";
    writeBackup(backupFile, backup);
    {
        const ToolRun restored = onTheAmp({"restore", backupFile.string(), "--yes"});
        ASSERT_EQ(restored.exitCode, 0) << restored.output;
    }
    const std::filesystem::path wave = m_home / "Bright.wav";
    test::writeWave(wave, {std::vector<std::int16_t>(2048, 3000)});
    {
        const ToolRun installed =
            onTheAmp({"install", wave.string(), "--channel", "II", "--type", "CLEAN", "--gain", "-7.3"});
        ASSERT_EQ(installed.exitCode, 0) << installed.output;
        EXPECT_NE(installed.output.find("--gain -7.3 dB is not a step of the gain dial: using -7.5 dB\n"),
                  std::string::npos)
            << installed.output;
        EXPECT_NE(installed.output.find("Installed \"Bright\" into slot II CLEAN, gain -7.5 dB"), std::string::npos)
            << installed.output;
    }

    const ToolRun status =
        statusShowing({"Channel I: amp type LEAD, booster Green Drive, FX loop PARALLEL, reverb Hall, noise gate 2",
                       "Channel II: amp type SOLID, booster Amber Drive, FX loop SERIAL, reverb Plate, noise gate OFF",
                       "FX loop wiring: send Mixed, return Separate"});

    const std::vector<std::string> slots = linesStartingWith(status.output, "Slot ");
    ASSERT_EQ(slots.size(), kIrSlotCount) << status.output;
    for (const std::string& line : slots) {
        SCOPED_TRACE(line);
        EXPECT_EQ(columnOf(line, "\""), columnOf(slots[0], "\""));
        EXPECT_EQ(columnOf(line, "gain"), columnOf(slots[0], "gain"));
    }
    // In the amplifier's order, I MODERN to II SOLID.
    const auto slotLine = [&](std::size_t slot, const std::string& channel, const std::string& type) {
        EXPECT_EQ(slots[slot].rfind("Slot " + channel + " ", 0), 0u) << slots[slot];
        EXPECT_NE(slots[slot].find(" " + type + " "), std::string::npos) << slots[slot];
        return slots[slot];
    };
    EXPECT_NE(slotLine(2, "I", "CRUNCH").find("\"Greenback 4x12, close mic, 2 inches off the cone\""),
              std::string::npos)
        << slots[2];
    EXPECT_NE(slotLine(7, "II", "CRUNCH").find("\"V30\""), std::string::npos) << slots[7];
    EXPECT_NE(slotLine(7, "II", "CRUNCH").find("gain   0.0 dB"), std::string::npos) << slots[7];
    EXPECT_NE(slotLine(8, "II", "CLEAN").find("\"Bright\""), std::string::npos) << slots[8];
    EXPECT_NE(slotLine(8, "II", "CLEAN").find("gain  -7.5 dB"), std::string::npos) << slots[8];
}

std::size_t occurrences(const std::string& text, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

// Would catch: reads that give up, or show a damaged dump's bytes, on a link that spoils one dump in five; or a
// linktest that asks again for a damaged dump (and so finds the same link sound), counts it as lost, or exits
// as if all were well.
TEST_F(OrxTevoOverJack, OnALinkThatDamagesEveryFifthDumpReadsEndRightAndLinktestCountsTheDamage)
{
    for (const char* line : {"knob 0 2", "knob 1 4", "corrupt-every 5"})
        ASSERT_TRUE(m_simulator->command(line)) << line;

    const ToolRun status =
        statusShowing({"Channel I: amp type CRUNCH, booster White Drive, FX loop SERIAL, reverb Spring, noise gate OFF",
                       "Channel II: amp type SOLID, booster White Drive, FX loop SERIAL, reverb Spring, noise gate OFF",
                       "FX loop wiring: send Separate, return Separate"});
    const std::vector<std::string> slots = linesStartingWith(status.output, "Slot ");
    ASSERT_EQ(slots.size(), kIrSlotCount) << status.output;
    const char* const types[] = {"MODERN", "LEAD", "CRUNCH", "CLEAN", "SOLID"};
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot) {
        const std::string name =
            std::string("\"Factory ") + types[slot % kSlotsPerChannel] + (slot < 5 ? " I\"" : " II\"");
        EXPECT_NE(slots[slot].find(name), std::string::npos) << slots[slot];
        EXPECT_NE(slots[slot].find("gain -10.0 dB"), std::string::npos) << slots[slot];
    }
    // The read's 11 dumps came as the 1st to 13th the amplifier sent: the 5th and 10th, both slots' headers, bad
    // and asked for again.
    EXPECT_EQ(occurrences(status.output, "[ERROR] Bulk dump FIR header check sum error."), 2u) << status.output;

    // Any 20 dumps in a row hold exactly 4 fifth ones, wherever the read left the amplifier's count.
    const ToolRun test = onTheAmp({"linktest", "--count", "20"});
    EXPECT_EQ(test.exitCode, 3) << test.output;
    EXPECT_EQ(linesStartingWith(test.output, "Dumps: "),
              std::vector<std::string>{"Dumps: 20 asked, 16 whole, 4 damaged, 0 lost"})
        << test.output;
    const auto verdict = linesStartingWith(test.output, "The link ");
    ASSERT_EQ(verdict.size(), 1u) << test.output;
    EXPECT_EQ(verdict[0].rfind("The link damages data: 4 of 20 dumps came back damaged.", 0), 0u) << verdict[0];
}

// Would catch: the whole read held to one step's limit, so an amp that answers every request, only slowly, is
// given up on while it is being read.
TEST_F(OrxTevoOverJack, AnAmpThatAnswersSlowlyIsReadToTheEnd)
{
    // Each answer 400 ms late: each step well within 1500 ms, the read's 11 dumps together well beyond it.
    ASSERT_TRUE(m_simulator->command("delay 400"));
    const ToolRun status = onTheAmp({"status", "--timeout", "1500"});
    EXPECT_EQ(status.exitCode, 0) << status.output;
    EXPECT_NE(status.output.find("Model: 2\n"), std::string::npos) << status.output;
    EXPECT_EQ(linesStartingWith(status.output, "Slot ").size(), kIrSlotCount) << status.output;
}

// Would catch: a clean link reported faulty or a dead one reported sound, the ports or the speed left out, or no
// amplifier at all ending with the exit code of a faulty link rather than the usual one.
TEST_F(OrxTevoOverJack, LinktestTellsASoundLinkFromAnAllDamagingOneAndFromNoAmplifier)
{
    const struct {
        const char* what;
        std::vector<std::string> console;
        std::vector<std::string> args;
        int exitCode;
        const char* counts;  // nullptr: no test ran
        const char* speed;   // the start of the speed line
        const char* verdict; // the start of the verdict line
    } cases[] = {
        {"a clean link", {}, {"--count", "20"}, 0, "Dumps: 20 asked, 20 whole, 0 damaged, 0 lost", "Speed: ",
         "The link is sound"},
        {"every dump damaged", {"corrupt-every 1"}, {"--count", "3"}, 3, "Dumps: 3 asked, 0 whole, 3 damaged, 0 lost",
         "Speed: no dump came back whole", "The link damages data"},
        // A short --timeout: this path waits for an answer that never comes.
        {"no amplifier", {"corrupt-every 0", "silent on"}, {"--timeout", "300"}, 1, nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& line : c.console)
            ASSERT_TRUE(m_simulator->command(line)) << line;
        std::vector<std::string> args{"linktest"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun test = onTheAmp(args);
        EXPECT_EQ(test.exitCode, c.exitCode) << test.output;
        if (!c.counts) {
            EXPECT_TRUE(linesStartingWith(test.output, "Dumps: ").empty()) << test.output;
            EXPECT_EQ(linesStartingWith(test.output, "orx-tevo: no amplifier answered within 300 ms").size(), 1u)
                << test.output;
            continue;
        }
        const auto connected = linesStartingWith(test.output, "Connected: input \"");
        ASSERT_EQ(connected.size(), 1u) << test.output;
        EXPECT_EQ(occurrences(connected[0], "TEVO MIDI 1\""), 2u) << connected[0];
        EXPECT_EQ(linesStartingWith(test.output, "Dumps: "), std::vector<std::string>{c.counts}) << test.output;
        EXPECT_EQ(linesStartingWith(test.output, c.speed).size(), 1u) << test.output;
        EXPECT_EQ(linesStartingWith(test.output, c.verdict).size(), 1u) << test.output;
    }
}

} // namespace
} // namespace orx
