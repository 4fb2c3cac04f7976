// A JACK server that is not running yet when the program starts, or that is restarted under it: the program's
// MIDI ports come back by themselves, and libjack's own complaints stay off the terminal.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "AmpBackup.h"
#include "CORXManager.h"
#include "PortProbe.h"
#include "SysexCatalogue.h"
#include "ScopedOverride.h"
#include "SessionClock.h"
#include "backends/RtMidiBackend.h"
#include "backends/RtMidiBackendImpl.h"

#include "AmpSimProcess.h"
#include "EventLog.h"
#include "JackServer.h"
#include "StderrCapture.h"
#include "WaveFile.h"
#include "WindowLikeListener.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orx {
namespace {

using namespace std::chrono_literals;
using test::AmpSimProcess;
using test::describeEvents;
using test::EventLog;
using test::JackServer;
using test::linesOf;
using test::ScopedEnv;
using test::StderrCapture;
using test::waitUntil;

constexpr const char* kSimulatorPort = "Kovalex/ORX Simulator";

bool lists(const std::vector<std::string>& names, const char* wanted)
{
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return n.find(wanted) != std::string::npos; });
}

// A JACK server under a private name that is not running: what a user has before starting JACK.
class JackRecovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure;
        m_server = JackServer::start(failure);
        ASSERT_NE(m_server, nullptr) << failure;
        m_server->stop();
    }
    void TearDown() override
    {
        if (m_session) {
            m_session->stopRequestThread();
            CORXManager::deleteInstance();
            CMIDIManager::deleteInstance();
        }
        m_systemPorts.reset();
        m_simulator.reset();
        m_server.reset();
    }

    // The session on the system's ports, answered as the main window answers it, searching from now on for the
    // chosen ports first.
    CORXManager* startSession(const SessionTiming& timing, ChosenPort input = {}, ChosenPort output = {})
    {
        m_systemPorts.emplace(&CMIDIManager::setBackendFactory, MidiBackendFactory{});
        m_session = CORXManager::createInstance(timing, std::make_shared<SystemSessionClock>());
        m_session->setPortChoice(std::move(input), std::move(output));
        m_session->addEventCallback(&EventLog::record, &events);
        m_session->addEventCallback(&test::answerAsTheWindowDoes, m_session);
        m_session->startRequestThread();
        m_session->addRequest(kRequestOpen, 0, 0);
        return m_session;
    }

    // JACK and, on it, the amplifier's ports (orx-amp-sim stands in for the amp's MIDI bridge).
    void startJackAndAmp(std::vector<std::string> simulatorArguments = {"--model", "2"})
    {
        std::string failure;
        ASSERT_TRUE(m_server->restart(failure)) << failure;
        m_simulator = std::make_unique<AmpSimProcess>(simulatorArguments);
    }
    // The server goes away, and the amp's ports with it.
    void stopJack()
    {
        m_server->stop();
        m_simulator.reset();
    }

    // Every child started here, and this process, use the private server; other tests' servers are left alone.
    ScopedEnv m_keepServerName{"JACK_DEFAULT_SERVER", std::getenv("JACK_DEFAULT_SERVER")};
    ScopedEnv m_api{"ORX_MIDI_API", "jack"};
    std::unique_ptr<JackServer> m_server;
    std::unique_ptr<AmpSimProcess> m_simulator;
    EventLog events;

private:
    std::optional<ScopedOverride<MidiBackendFactory>> m_systemPorts;
    CORXManager* m_session = nullptr;
};

// Would catch: a client that failed at start never made again, a dead client kept after its server went
// away, or libjack's lines ("Cannot read socket fd", "Server is not running") reaching the terminal.
TEST_F(JackRecovery, TheBackendMakesItsClientsAgainAndSaysOneLinePerChange)
{
    StderrCapture capture;
    auto backend = makeSystemMidiBackend();
    for (int search = 0; search < 3; ++search)
        EXPECT_TRUE(backend->inputPortNames().empty());

    const auto listsTheAmp = [&] {
        return lists(backend->inputPortNames(), kSimulatorPort) && lists(backend->outputPortNames(), kSimulatorPort);
    };
    startJackAndAmp();
    ASSERT_TRUE(waitUntil(listsTheAmp)) << "the ports that appeared after the start were never listed";

    const auto troubleBefore = rtmidi::jackTroubleCount();
    stopJack();
    ASSERT_TRUE(waitUntil([&] { return rtmidi::jackTroubleCount() != troubleBefore; }))
        << "libjack never said its server went away";
    for (int search = 0; search < 3; ++search)
        EXPECT_TRUE(backend->inputPortNames().empty());

    startJackAndAmp();
    EXPECT_TRUE(waitUntil(listsTheAmp)) << "the restarted server's ports were never listed";
    backend.reset();

    const auto lines = linesOf(capture.finish());
    const std::vector<std::string> expected{
        "MIDI (JACK): cannot use the MIDI system",
        "MIDI (JACK): the MIDI system can be used again",
        "MIDI (JACK): lost the JACK server",
        "MIDI (JACK): cannot use the MIDI system",
        "MIDI (JACK): the MIDI system can be used again",
    };
    ASSERT_EQ(lines.size(), expected.size()) << capture.finish();
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
}

TEST_F(JackRecovery, TheSessionFindsTheAmpWhenJackStartsLateAndAgainAfterARestart)
{
    SessionTiming timing;
    timing.heartbeatRequestPeriod = 50ms;
    timing.connectionCheckPeriod = 300ms; // the search period
    timing.heartbeatMaxAgeSeconds = 1;
    startSession(timing);

    std::this_thread::sleep_for(2s); // the user starts JACK a little after the program
    startJackAndAmp();
    EXPECT_TRUE(events.waitFor(kEventReadAll)) << describeEvents(events.all());

    stopJack();
    EXPECT_TRUE(events.waitFor(kEventDisconnected)) << describeEvents(events.all());
    startJackAndAmp();
    EXPECT_TRUE(events.waitFor(kEventReadAll, 2)) << describeEvents(events.all());

    EXPECT_TRUE(events.valuesOf(kEventError).empty()) << describeEvents(events.all());
    EXPECT_EQ(events.valuesOf(kEventConnected), (std::vector<int>{2, 2}));
}

// An amp named as Linux names it, not by the marker: never opened by itself, found once the user chose it.
TEST_F(JackRecovery, AnAmpUnderItsOwnNameIsFoundOnlyOnceChosen)
{
    SessionTiming timing;
    timing.heartbeatRequestPeriod = 50ms;
    timing.connectionCheckPeriod = 300ms;
    startJackAndAmp({"--model", "1", "--port-name", "TEVO MIDI 1"});
    CORXManager* session = startSession(timing);

    ASSERT_TRUE(events.waitFor(kEventNoHeartbeat, 3)) << describeEvents(events.all());
    EXPECT_TRUE(events.valuesOf(kEventOpened).empty()) << "a port without the marker was opened unasked";

    // As the ports dialog stores them: the names the port lists give, here JACK's "client:port".
    session->setPortChoice("orx-amp-sim-out:TEVO MIDI 1", "orx-amp-sim-in:TEVO MIDI 1");
    EXPECT_TRUE(events.waitFor(kEventReadAll)) << describeEvents(events.all());
    EXPECT_EQ(events.valuesOf(kEventConnected), std::vector<int>{1});
}

// The choice as the command line gives it (a part of the name): a second amplifier named by the marker loses
// against it.
TEST_F(JackRecovery, TheChosenAmpWinsOverOneNamedByTheMarker)
{
    SessionTiming timing;
    timing.heartbeatRequestPeriod = 50ms;
    timing.connectionCheckPeriod = 300ms;
    startJackAndAmp({"--model", "1", "--port-name", "TEVO MIDI 1"});
    AmpSimProcess markerNamed({"--model", "2"});
    startSession(timing, ChosenPort{"tevo midi 1", true}, ChosenPort{"TEVO MIDI 1", true});

    ASSERT_TRUE(events.waitFor(kEventReadAll)) << describeEvents(events.all());
    EXPECT_EQ(events.valuesOf(kEventConnected), std::vector<int>{1});
    EXPECT_EQ(CMIDIManager::getInstance()->inputPortName(), "orx-amp-sim-out:TEVO MIDI 1");
    EXPECT_EQ(CMIDIManager::getInstance()->outputPortName(), "orx-amp-sim-in:TEVO MIDI 1");
}

// Unplugged and plugged in again: JACK gives the ports new ids, the stored names still find them.
TEST_F(JackRecovery, TheChosenAmpIsFoundAgainWhenItComesBackUnderNewPortIds)
{
    SessionTiming timing;
    timing.heartbeatRequestPeriod = 50ms;
    timing.connectionCheckPeriod = 300ms;
    timing.heartbeatMaxAgeSeconds = 1;
    const std::vector<std::string> tevo{"--model", "1", "--port-name", "TEVO MIDI 1"};
    startJackAndAmp(tevo);
    startSession(timing, ChosenPort{"orx-amp-sim-out:TEVO MIDI 1"}, ChosenPort{"orx-amp-sim-in:TEVO MIDI 1"});
    ASSERT_TRUE(events.waitFor(kEventReadAll)) << describeEvents(events.all());

    m_simulator.reset();
    ASSERT_TRUE(events.waitFor(kEventDisconnected)) << describeEvents(events.all());
    m_simulator = std::make_unique<AmpSimProcess>(tevo);
    EXPECT_TRUE(events.waitFor(kEventReadAll, 2)) << describeEvents(events.all());
    EXPECT_EQ(events.valuesOf(kEventConnected), (std::vector<int>{1, 1}));
}

// The probe asks every port: the amplifier under its own name answers, a box that stays silent is not listed.
TEST_F(JackRecovery, TheProbeFindsTheAmpUnderItsOwnNameAndNotASilentPort)
{
    startJackAndAmp({"--model", "1", "--port-name", "TEVO MIDI 1"});
    AmpSimProcess silent({"--port-name", "Silent Box"});
    ASSERT_TRUE(silent.command("silent on"));
    const ScopedOverride<MidiBackendFactory> systemPorts(&CMIDIManager::setBackendFactory, MidiBackendFactory{});

    // A sanitizer build makes every JACK client of this process slow enough for the dummy driver to skip it now
    // and then, and a skipped cycle loses its MIDI events: the user would press Find Amp again, so does the test.
    // What it must never do is list the silent box.
    ProbeOptions options;
    options.listen = 1s;
    ProbeResult result;
    for (int attempt = 0; attempt < 5 && result.answers.empty(); ++attempt) {
        result = probeForAmp(options);
        EXPECT_TRUE(result.problem.empty()) << result.problem;
        EXPECT_TRUE(lists(result.outputs, "Silent Box")) << "the silent box was not asked";
        for (const ProbeAnswer& a : result.answers)
            EXPECT_EQ(a.outputPort.find("Silent Box"), std::string::npos) << "a port that never answers was listed";
    }
    ASSERT_EQ(result.answers.size(), 1u);
    EXPECT_EQ(result.answers[0].inputPort, "orx-amp-sim-out:TEVO MIDI 1");
    EXPECT_EQ(result.answers[0].outputPort, "orx-amp-sim-in:TEVO MIDI 1");
    EXPECT_EQ(result.answers[0].modelCode, '1');
}

std::string hexBytes(const std::uint8_t* data, std::size_t size)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < size; ++i)
        out += std::string(" ") + kHex[data[i] >> 4] + kHex[data[i] & 15];
    return out;
}

// orx-tevo status as a user runs it: nothing found without a choice (and it says so), the amp found by the
// command line's choice or by the settings file's, its state printed, and the trace of what went over the wire.
TEST_F(JackRecovery, OrxTevoStatusFindsTheChosenAmpPrintsItsStateAndTracesTheMessages)
{
    startJackAndAmp({"--model", "1", "--port-name", "TEVO MIDI 1"});
    const std::filesystem::path home = std::filesystem::path(testing::TempDir()) / "orx-tevo-home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / "data" / "Veltra");
    const ScopedEnv dataHome{"XDG_DATA_HOME", (home / "data").c_str()};
    const ScopedEnv configHome{"XDG_CONFIG_HOME", (home / "config").c_str()};
    const ScopedEnv trace{"ORX_MIDI_TRACE", "1"};

    struct Run {
        int exitCode;
        std::string output;
    };
    const auto run = [](std::vector<std::string> args) {
        test::ChildProcess tool(ORX_TEST_TEVO, args);
        const auto status = tool.waitForExit(30s);
        tool.stop();
        return Run{status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, tool.output()};
    };

    const Run unchosen = run({"status", "--timeout", "1500"});
    EXPECT_EQ(unchosen.exitCode, 1) << unchosen.output;
    EXPECT_NE(unchosen.output.find("orx-tevo: no amplifier answered within 1500 ms"), std::string::npos)
        << unchosen.output;

    const auto request = sysex::heartbeatRequest();
    const auto answer = sysex::heartbeat('1');
    const Run chosen = run({"status", "--midi-in", "TEVO MIDI 1", "--midi-out", "tevo midi 1"});
    EXPECT_EQ(chosen.exitCode, 0) << chosen.output;
    for (const std::string& expected :
         {std::string("Connected: input \"orx-amp-sim-out:TEVO MIDI 1\", output \"orx-amp-sim-in:TEVO MIDI 1\""),
          std::string("Model: 1\n"), std::string("Firmware (updater value): 110\n"),
          std::string("Channel I: amp type MODERN, booster White Drive, FX loop SERIAL, reverb Spring, noise gate OFF\n"),
          std::string("Slot I MODERN  \"Factory MODERN I\"  gain -10.0 dB\n"),
          std::string("Slot I SOLID   \"Factory SOLID I\"   gain -10.0 dB\n"),
          " ms out \"orx-amp-sim-in:TEVO MIDI 1\":" + hexBytes(request.data(), request.size()) + "\n",
          " ms in \"orx-amp-sim-out:TEVO MIDI 1\":" + hexBytes(answer.data(), answer.size()) + "\n"})
        EXPECT_NE(chosen.output.find(expected), std::string::npos) << expected << "\nin:\n" << chosen.output;
    EXPECT_EQ(chosen.output.find("Channel II"), std::string::npos) << "model 1 has one amp channel";

    // Where earlier versions kept the settings: found, and moved to the config folder on the way.
    std::ofstream(home / "data" / "Veltra" / "ORX_Tevo_Utility.ini")
        << "[MIDI]\nInputPort=orx-amp-sim-out:TEVO MIDI 1\nOutputPort=orx-amp-sim-in:TEVO MIDI 1\n";
    const Run stored = run({"status"});
    EXPECT_EQ(stored.exitCode, 0) << stored.output;
    EXPECT_NE(stored.output.find("Model: 1\n"), std::string::npos) << stored.output;
    EXPECT_TRUE(std::filesystem::exists(home / "config" / "Veltra" / "ORX_Tevo_Utility.ini"));
    EXPECT_FALSE(std::filesystem::exists(home / "data" / "Veltra" / "ORX_Tevo_Utility.ini"));
}

// orx-tevo backup over JACK: what the amplifier reports goes into a file the program can read back; the amplifier
// cannot report coefficients and the library knows none here, so every slot is kept by name and gain only.
TEST_F(JackRecovery, OrxTevoBackupWritesWhatTheAmpReports)
{
    startJackAndAmp({"--model", "2", "--port-name", "TEVO MIDI 1"});
    ASSERT_TRUE(m_simulator->command("updater 112"));
    const std::filesystem::path home = std::filesystem::path(testing::TempDir()) / "orx-tevo-backup-home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / "data");
    const ScopedEnv dataHome{"XDG_DATA_HOME", (home / "data").c_str()};
    const ScopedEnv configHome{"XDG_CONFIG_HOME", (home / "config").c_str()};
    const std::filesystem::path file = home / "amp.orxbackup.json";

    test::ChildProcess tool(ORX_TEST_TEVO, {"backup", file.string(), "--midi-in", "TEVO", "--midi-out", "TEVO"});
    const auto status = tool.waitForExit(30s);
    tool.stop();
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << tool.output();
    EXPECT_NE(tool.output().find("Backed up model 2 (firmware 112)"), std::string::npos) << tool.output();

    const BackupReadResult read = readBackup(file);
    ASSERT_TRUE(read.backup) << read.problem;
    EXPECT_EQ(read.backup->model, 2);
    EXPECT_EQ(read.backup->firmware, 112);
    ASSERT_EQ(read.backup->slots.size(), 10u);
    const char* types[] = {"MODERN", "LEAD", "CRUNCH", "CLEAN", "SOLID"};
    for (const BackupSlot& slot : read.backup->slots) {
        const std::string expected =
            std::string("Factory ") + types[slot.slot % 5] + (slot.slot < 5 ? " I" : " II"); // the simulator's names
        EXPECT_EQ(files::nameText(slot.name), expected);
        EXPECT_EQ(gainText(slot.fircoe), "-10.0 dB");
        EXPECT_FALSE(slot.coefficients) << "no library entry, so no coefficients";
    }
}

// The whole round over JACK, as a user would run it: three IRs installed with orx-tevo, a backup, the slots
// overwritten, the backup restored: the amplifier's slots and settings are as they were, byte for byte (its own
// listing: names, gains and a checksum of the coefficients), and export gives the installed samples back.
TEST_F(JackRecovery, OrxTevoInstallBackupRestoreAndExportOverJack)
{
    startJackAndAmp({"--model", "2", "--port-name", "TEVO MIDI 1"});
    const std::filesystem::path home = std::filesystem::path(testing::TempDir()) / "orx-tevo-restore-home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / "data");
    std::filesystem::create_directories(home / "config");
    const ScopedEnv dataHome{"XDG_DATA_HOME", (home / "data").c_str()};
    const ScopedEnv configHome{"XDG_CONFIG_HOME", (home / "config").c_str()};
    const auto tevo = [&](std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.end(), {"--midi-in", "TEVO", "--midi-out", "TEVO"});
        test::ChildProcess tool(ORX_TEST_TEVO, args,
                                input.empty() ? test::ChildProcess::Input::None : test::ChildProcess::Input::FromTest);
        if (!input.empty())
            tool.writeInput(input);
        const auto status = tool.waitForExit(60s);
        tool.stop();
        return std::make_pair(status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, tool.output());
    };
    const auto ampState = [&] {
        const auto lines = m_simulator->command("state");
        EXPECT_TRUE(lines);
        std::vector<std::string> kept;
        for (const std::string& line : lines.value_or(std::vector<std::string>{}))
            if (line.rfind("slot ", 0) == 0 || line.rfind("effect", 0) == 0)
                kept.push_back(line);
        return kept;
    };
    // Three files as users have them: written by hand here, so their samples are known without the program.
    struct File {
        std::string name, channel, type;
        int seed;
    };
    const File files[] = {{"Warm Cab", "I", "LEAD", 3}, {"Bright V30", "II", "CLEAN", 5}, {"Dark 4x12", "I", "SOLID", 7}};
    std::vector<std::vector<std::int16_t>> samples;
    for (const File& f : files) {
        std::vector<std::int16_t> s(3000);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<std::int16_t>((static_cast<int>(i) * 7919 * f.seed) % 60000 - 30000);
        test::writeWave(home / (f.name + ".wav"), {s});
        samples.push_back(s);
        const auto [rc, out] = tevo({"install", (home / (f.name + ".wav")).string(), "--channel", f.channel, "--type",
                                     f.type, "--gain", "-4.5"});
        ASSERT_EQ(rc, 0) << out;
        EXPECT_NE(out.find("Installed \"" + f.name + "\" into slot " + f.channel + " " + f.type + ", gain -4.5 dB"),
                  std::string::npos)
            << out;
    }
    const std::vector<std::string> installed = ampState();

    const std::filesystem::path backupFile = home / "amp.orxbackup.json";
    {
        const auto [rc, out] = tevo({"backup", backupFile.string()});
        ASSERT_EQ(rc, 0) << out;
        EXPECT_NE(out.find("the coefficients of 3 known"), std::string::npos) << out;
    }
    // Another IR over one of them, and a changed setting.
    {
        const auto [rc, out] = tevo({"install", (home / "Dark 4x12.wav").string(), "--channel", "I", "--type", "LEAD"});
        ASSERT_EQ(rc, 0) << out;
    }
    const std::vector<std::string> overwritten = ampState();
    ASSERT_NE(overwritten, installed);
    // Damaged copies of the backup: refused before anything is connected.
    std::string text;
    {
        std::ifstream in(backupFile, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto checksumAt = text.find("\"sha256\"");
    ASSERT_NE(checksumAt, std::string::npos) << text.substr(0, 200);
    std::string wrongChecksum = text;
    const auto digitAt = wrongChecksum.find_first_of("0123456789abcdef", wrongChecksum.find(':', checksumAt));
    wrongChecksum[digitAt] = wrongChecksum[digitAt] == '0' ? '1' : '0';
    for (const auto& [what, bytes] : {std::pair<std::string, std::string>{"truncated", text.substr(0, text.size() / 2)},
                                      {"wrong checksum", wrongChecksum},
                                      {"not a backup", "RIFF....WAVEfmt "}}) {
        const std::filesystem::path damaged = home / "damaged.orxbackup.json";
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
        const auto [rc, out] = tevo({"restore", damaged.string(), "--yes"});
        EXPECT_NE(rc, 0) << what;
        EXPECT_NE(out.find("nothing was sent"), std::string::npos) << what << ": " << out;
    }
    EXPECT_EQ(ampState(), overwritten);
    {
        const auto [rc, out] = tevo({"restore", backupFile.string()}, "n\n");
        EXPECT_NE(rc, 0) << "declined, so nothing may be written";
        EXPECT_NE(out.find("Write slot I LEAD \"Warm Cab\""), std::string::npos) << out;
    }
    ASSERT_NE(ampState(), installed);
    {
        const auto [rc, out] = tevo({"restore", backupFile.string(), "--yes"});
        ASSERT_EQ(rc, 0) << out;
        EXPECT_NE(out.find("The restore is complete."), std::string::npos) << out;
    }
    EXPECT_EQ(ampState(), installed);

    const std::filesystem::path exported = home / "exported.wav";
    {
        const auto [rc, out] = tevo({"export", "--channel", "I", "--type", "LEAD", exported.string()});
        ASSERT_EQ(rc, 0) << out;
    }
    // libsndfile reads it, not the program's own reader.
    SF_INFO info{};
    SNDFILE* wav = sf_open(exported.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<std::int16_t> back(4096);
    back.resize(static_cast<std::size_t>(sf_read_short(wav, back.data(), static_cast<sf_count_t>(back.size()))));
    sf_close(wav);
    ASSERT_EQ(back.size(), 2048u);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), samples[0].begin())) << "the export is not the installed file";
}

} // namespace
} // namespace orx
