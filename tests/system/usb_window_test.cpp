// The window against an amp on USB: the real ALSA sequencer and snd-usb-audio, with a USB MIDI gadget standing
// in for the amp and orx-amp-sim behind it. Only a kernel with a sequencer and the gadget modules runs this:
// the system tests start it inside their virtual machine (tests/system/scenarios.sh), under Xvfb, as root,
// with ORX_SYSTEM_GADGET naming gadget.sh, which plugs the device in and pulls its cable.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpSimProcess.h"
#include "AppFixture.h"
#include "AppSettings.h"
#include "CCustomButton.h"
#include "CDTAListBox.h"
#include "CEffcetSettingsTab.h"
#include "CMIDIManager.h"
#include "CMidiPortsDlg.h"
#include "CORXManager.h"
#include "CORXUtilityApp.h"
#include "CORXUtilityDlg.h"
#include "CSpeakerSimulationTab.h"
#include "IrLibrary.h"
#include "MidiTrace.h"
#include "ScopedOverride.h"
#include "SessionClock.h"
#include "WaveFile.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace orx {
namespace {

using namespace std::chrono_literals;
using T = CSpeakerSimulationTab;
constexpr const char* kSimPortName = "TEVO MIDI 1";
const QString kMarkerProduct = QStringLiteral("Kovalex/ORX Tevo");

// gadget.sh's command; its last line "usb-port C:P" is the device's sequencer port, empty when it printed none.
std::string gadget(const std::string& arguments)
{
    const char* script = std::getenv("ORX_SYSTEM_GADGET");
    if (!script)
        return "(ORX_SYSTEM_GADGET is not set)";
    const std::string command = std::string("'") + script + "' " + arguments;
    std::FILE* out = popen(command.c_str(), "r");
    if (!out)
        return "(popen failed)";
    std::string port, line;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out)) {
        line = buffer;
        if (line.rfind("usb-port ", 0) == 0)
            port = line.substr(9, line.find_last_not_of("\n") - 8);
    }
    const int status = pclose(out);
    if (status != 0)
        return "(gadget.sh " + arguments + " failed)";
    return port;
}

std::size_t entriesIn(const char* folder)
{
    std::error_code error;
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder, error),
                                                  std::filesystem::directory_iterator()));
}

// What a session might leak over many unplugs: its threads, its open files and its sequencer clients.
struct Footprint {
    std::size_t threads = entriesIn("/proc/self/task");
    std::size_t files = entriesIn("/proc/self/fd");
    std::size_t clients = [] {
        std::ifstream in("/proc/asound/seq/clients");
        std::size_t count = 0;
        for (std::string line; std::getline(in, line);)
            count += line.rfind("Client ", 0) == 0;
        return count;
    }();
    bool operator==(const Footprint&) const = default;
    bool within(const Footprint& o) const { return threads <= o.threads && files <= o.files && clients <= o.clients; }
};
std::ostream& operator<<(std::ostream& out, const Footprint& f)
{
    return out << f.threads << " threads, " << f.files << " open files, " << f.clients << " sequencer clients";
}

int brightness(CDevicePage* page, QPoint at)
{
    return qGray(page->grab().toImage().pixel(at));
}

class UsbAmp : public test::AppFixture {
protected:
    void SetUp() override
    {
        test::AppFixture::SetUp();
        m_api.emplace("ORX_MIDI_API", "alsa");
        // The system's own ports, as the program has them outside the tests.
        m_systemPorts.emplace(&CMIDIManager::setBackendFactory, MidiBackendFactory{});
        try {
            sim = std::make_unique<test::AmpSimProcess>(
                std::vector<std::string>{"--model", "2", "--port-name", kSimPortName, "--verbose"}, "alsa");
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        m_trace = miditrace::setEnabled(true);
        m_writer = miditrace::setWriter([this](const std::string& line) {
            std::lock_guard lock(m_sentLock);
            if (line.find(" out \"") != std::string::npos)
                m_sent.push_back(line);
        });
    }
    void TearDown() override
    {
        test::AppFixture::TearDown();
        miditrace::setWriter(std::move(m_writer));
        miditrace::setEnabled(m_trace);
        gadget("remove");
        if (sim)
            sim->process().stop();
    }

    // The session as the program makes it, with its own periods unless a test needs a quicker one.
    void startSession(SessionTiming timing = {})
    {
        CORXManager::createInstance(timing, std::make_shared<SystemSessionClock>());
    }
    static SessionTiming quickTiming()
    {
        SessionTiming timing;
        timing.heartbeatRequestPeriod = 100ms;
        timing.connectionCheckPeriod = 200ms;
        timing.heartbeatMaxAgeSeconds = 1;
        return timing;
    }

    // Runs the program's start-up with its window, acts on the window while it is up, then shuts down.
    void runWindow(const std::function<void(CORXUtilityDlg&)>& act)
    {
        CORXUtilityApp::Options options;
        options.lockFolder = scratch.path();
        options.folders = folders;
        options.runDialog = [&](QDialog& dialog) {
            auto& main = static_cast<CORXUtilityDlg&>(dialog);
            main.show();
            QObject::connect(main.page(0), &CDevicePage::deviceEventReceived, &main, [this](int event, int) {
                events.push_back(event);
            });
            act(main);
            main.close();
            return 0;
        };
        CORXUtilityApp app(options);
        app.InitInstance();
        app.ExitInstance();
    }

    long count(int event) const { return std::count(events.begin(), events.end(), event); }
    bool waitFor(int event, long times, std::chrono::milliseconds limit = 20s)
    {
        return processUntil([&] { return count(event) >= times; }, limit);
    }
    std::vector<std::string> sentSince(std::size_t from)
    {
        std::lock_guard lock(m_sentLock);
        return {m_sent.begin() + static_cast<long>(std::min(from, m_sent.size())), m_sent.end()};
    }
    std::size_t sentCount()
    {
        std::lock_guard lock(m_sentLock);
        return m_sent.size();
    }
    std::string context() const { return "orx-amp-sim:\n" + (sim ? sim->output() : std::string()); }

    // The POWER lamp of an effect page, against the same page drawn with no amp connected.
    static bool lampLit(CEffcetSettingsTab* page)
    {
        CEffcetSettingsTab unlit(nullptr);
        unlit.setPageChannel(page->modelCode(), page->ampChannel());
        unlit.onDeviceEvent(kEventDisconnected, 0);
        return brightness(&unlit, page->powerLampCentre()) + 40 < brightness(page, page->powerLampCentre());
    }

    std::unique_ptr<test::AmpSimProcess> sim;
    std::vector<int> events;

private:
    std::optional<test::ScopedEnv> m_api;
    std::optional<ScopedOverride<MidiBackendFactory>> m_systemPorts;
    bool m_trace = false;
    miditrace::Writer m_writer;
    std::mutex m_sentLock;
    std::vector<std::string> m_sent;
};

// The port name as the status line shows it: the sequencer's client name and numbers left out.
QString shownPort(const QString& product)
{
    return product + QStringLiteral(" MIDI 1");
}

TEST_F(UsbAmp, AnAmpWhoseProductNameHoldsTheMarkerIsOpenedByItself)
{
    const std::string port = gadget("make 'Kovalex/ORX Tevo'");
    ASSERT_NE(port.find(':'), std::string::npos) << port;
    startSession(quickTiming());
    runWindow([&](CORXUtilityDlg& main) {
        ASSERT_TRUE(waitFor(kEventReadAll, 1)) << context();
        QStringList tabs;
        for (int i = 0; i < main.tabBar()->count(); ++i)
            tabs << main.tabBar()->tabText(i).trimmed();
        EXPECT_EQ(tabs, (QStringList{"Effect Settings I", "Effect Settings II", "Speaker Simulation I",
                                     "Speaker Simulation II"}));
        EXPECT_TRUE(main.statusLabel()->text().startsWith("Connected: " + shownPort(kMarkerProduct) +
                                                          QString::fromUtf8(" \xC2\xB7 model 2 \xC2\xB7 firmware ")))
            << main.statusLabel()->text().toStdString();
        EXPECT_TRUE(main.statusLabel()->toolTip().contains(
            QString::fromStdString("Input port: Kovalex/ORX Tevo:Kovalex/ORX Tevo MIDI 1 " + port)))
            << main.statusLabel()->toolTip().toStdString();
        auto* effect = static_cast<CEffcetSettingsTab*>(main.page(0));
        EXPECT_TRUE(lampLit(effect));
        EXPECT_TRUE(effect->button(CEffcetSettingsTab::kWhite)->isEnabled());
    });
    EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
}

TEST_F(UsbAmp, AnAmpNamedOtherwiseIsFoundByFindAmpAndFoundAgainAfterAReplug)
{
    const std::string port = gadget("make TEVO");
    ASSERT_NE(port.find(':'), std::string::npos) << port;
    startSession(quickTiming());
    const std::string usb = "TEVO:TEVO MIDI 1 " + port;
    runWindow([&](CORXUtilityDlg& main) {
        // Several searches go by without the device being opened: it could be any MIDI device.
        ASSERT_TRUE(waitFor(kEventNoHeartbeat, 5)) << context();
        EXPECT_EQ(count(kEventConnected), 0);
        const auto received = sim->process().lines();
        EXPECT_TRUE(std::none_of(received.begin(), received.end(),
                                 [](const std::string& l) { return l.rfind("<- ", 0) == 0; }))
            << "the program sent something to a device nobody chose; " << context();

        bool chosen = false;
        QTimer::singleShot(0, &main, [&] {
            auto* ports = qobject_cast<CMidiPortsDlg*>(QApplication::activeModalWidget());
            if (!ports) {
                ADD_FAILURE() << "MIDI Ports did not open";
                return;
            }
            auto control = [&](int id) { return ports->findChild<QWidget*>(QString::number(id)); };
            QSignalSpy done(ports, &CMidiPortsDlg::probeFinished);
            static_cast<QPushButton*>(control(CMidiPortsDlg::kFindAmp))->click();
            if (!processUntil([&] { return !done.isEmpty(); })) {
                ADD_FAILURE() << "Find Amp never finished";
                ports->reject();
                return;
            }
            auto* answers = static_cast<QListWidget*>(control(CMidiPortsDlg::kAnswers));
            const QString expected =
                QString::fromStdString(usb + " \u2194 " + usb) + QString::fromUtf8(" \xE2\x80\x94 model 2");
            // The simulator's own ports and the gadget's side answer too, as any port wired to an amp would.
            const auto usbPair = answers->findItems(expected, Qt::MatchExactly);
            if (usbPair.size() != 1) {
                ADD_FAILURE() << "Find Amp did not list " << expected.toStdString() << "; "
                              << static_cast<QLabel*>(control(CMidiPortsDlg::kProbeLine))->text().toStdString();
                ports->reject();
                return;
            }
            QTest::mouseClick(answers->viewport(), Qt::LeftButton, {},
                              answers->visualItemRect(usbPair.front()).center());
            static_cast<QPushButton*>(control(CMidiPortsDlg::kOk))->click();
            chosen = true;
        });
        main.commandAction(kCmdMidiPorts)->trigger();
        ASSERT_TRUE(chosen);
        ASSERT_TRUE(waitFor(kEventReadAll, 1)) << context();
        EXPECT_NE(settingsText().find("InputPort=TEVO:TEVO MIDI 1"), std::string::npos)
            << "the choice is remembered: " << settingsText();

        gadget("unplug");
        ASSERT_TRUE(waitFor(kEventDisconnected, 1)) << context();
        const std::string moved = gadget("plug --move");
        ASSERT_NE(moved.find(':'), std::string::npos) << moved;
        EXPECT_NE(moved, port);
        ASSERT_TRUE(waitFor(kEventReadAll, 2)) << context();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no dialog asks again";
        EXPECT_TRUE(main.statusLabel()->toolTip().contains(QString::fromStdString("TEVO:TEVO MIDI 1 " + moved)))
            << main.statusLabel()->toolTip().toStdString();
    });
    EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
}

// With the program's own periods: a heartbeat older than 5 s, noticed at a check every 3 s.
TEST_F(UsbAmp, AnAmpUnpluggedWhileIdleIsLetGoAndFoundAgainWhenPluggedBackIn)
{
    gadget("make 'Kovalex/ORX Tevo'");
    startSession();
    runWindow([&](CORXUtilityDlg& main) {
        ASSERT_TRUE(waitFor(kEventReadAll, 1)) << context();
        auto* effect = static_cast<CEffcetSettingsTab*>(main.page(0));
        ASSERT_TRUE(lampLit(effect));

        gadget("unplug");
        ASSERT_TRUE(waitFor(kEventDisconnected, 1, 9s + 1s)) << "not let go within the heartbeat time-out";
        const std::size_t sentAtDisconnect = sentCount();
        EXPECT_TRUE(main.statusLabel()->text().startsWith("Searching for the amp"))
            << main.statusLabel()->text().toStdString();
        EXPECT_FALSE(lampLit(effect));
        EXPECT_FALSE(effect->button(CEffcetSettingsTab::kWhite)->isEnabled());
        // A few searches: none of them may send anything, as the device's port is gone.
        const long searches = count(kEventNoHeartbeat);
        ASSERT_TRUE(waitFor(kEventNoHeartbeat, searches + 2)) << context();
        for (const auto& line : sentSince(sentAtDisconnect))
            ADD_FAILURE() << "sent with the amp unplugged: " << line;

        const long reads = count(kEventReadAll);
        gadget("plug");
        // One search period (3 s) finds it; reading everything over USB then takes a moment more.
        EXPECT_TRUE(waitFor(kEventConnected, 2, 3s + 500ms)) << "not connected within a search period";
        ASSERT_TRUE(waitFor(kEventReadAll, reads + 1, 3s)) << context();
        EXPECT_TRUE(main.statusLabel()->text().startsWith("Connected: ")) << main.statusLabel()->text().toStdString();
        EXPECT_TRUE(lampLit(effect));
    });
}

TEST_F(UsbAmp, TwentyUnplugsInARowLeaveNoThreadsFilesOrClientsBehind)
{
    gadget("make 'Kovalex/ORX Tevo'");
    startSession(quickTiming());
    runWindow([&](CORXUtilityDlg&) {
        ASSERT_TRUE(waitFor(kEventReadAll, 1)) << context();
        std::optional<Footprint> first;
        for (int cycle = 1; cycle <= 20; ++cycle) {
            gadget("unplug");
            ASSERT_TRUE(waitFor(kEventDisconnected, cycle)) << "cycle " << cycle << "; " << context();
            gadget("plug");
            ASSERT_TRUE(waitFor(kEventReadAll, cycle + 1)) << "cycle " << cycle << "; " << context();
            // Measured connected and idle, once the first cycle has made whatever a reconnection keeps; a
            // thread or file of the reconnection's own may take a moment to go, so no more than then.
            if (!first) {
                processUntil([] { return false; }, 1s);
                first = Footprint{};
                continue;
            }
            if (!processUntil([&] { return Footprint{}.within(*first); }, 3s)) {
                ASSERT_EQ(Footprint{}, *first) << "grown after cycle " << cycle;
            }
        }
    });
    EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
}

// The cable pulled while a file goes to the amp (its blocks, on the click that tries it) and while INSTALL
// stores it: each time the page says it failed, nothing is taken as done, the library records nothing, and
// after the replug the page shows what the amp really holds. Quick periods, but a heartbeat may be 4 s old, so
// the answers held back below (longer than pulling the cable takes here) never make the session let go of the
// amp before the cable does.
TEST_F(UsbAmp, AFileCutShortByAnUnplugFailsAndRecordsNothing)
{
    const std::filesystem::path irFolder = std::filesystem::path(scratch.path().toStdString()) / "My IRs";
    std::filesystem::create_directories(irFolder);
    std::vector<std::int16_t> cabinet(kCoefficientCount);
    for (std::size_t i = 0; i < cabinet.size(); ++i)
        cabinet[i] = static_cast<std::int16_t>((static_cast<int>(i) * 37) % 2001 - 1000);
    test::writeWave(irFolder / "Lost Cab.wav", {cabinet});
    AppSettings::getInstance()->FolderPathAmpI = irFolder.string();

    gadget("make 'Kovalex/ORX Tevo'");
    SessionTiming timing = quickTiming();
    timing.heartbeatMaxAgeSeconds = 4;
    startSession(timing);
    runWindow([&](CORXUtilityDlg& main) {
        ASSERT_TRUE(waitFor(kEventReadAll, 1)) << context();
        main.tabBar()->setCurrentIndex(2);
        auto* speaker = static_cast<T*>(main.page(2));
        const QString factory = speaker->irNameEdit()->text();
        const auto found = speaker->fileList()->findItems(QStringLiteral("Lost Cab.wav"), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        const QPoint entry = speaker->fileList()->visualItemRect(found.front()).center();
        const auto unplugAndReplug = [&](const char* when, const std::function<void()>& whileUnplugged) {
            const std::size_t boxesBefore = boxes.size();
            const long reads = count(kEventReadAll);
            gadget("unplug");
            EXPECT_TRUE(processUntil([&] { return boxes.size() > boxesBefore; }, 10s))
                << "no failure shown within 10 s of an unplug " << when << "; " << context();
            whileUnplugged();
            ASSERT_TRUE(sim->command("delay 0"));
            gadget("plug");
            ASSERT_TRUE(waitFor(kEventReadAll, reads + 1)) << when << "; " << context();
            ASSERT_TRUE(processUntil([&] { return !speaker->isBusy(); }));
        };

        // Every answer held back, so blocks 0 to 3 are out and the rest still to come when the cable goes.
        ASSERT_TRUE(sim->command("delay 300"));
        std::size_t from = sim->process().lineCount();
        QTest::mouseClick(speaker->fileList()->viewport(), Qt::LeftButton, {}, entry);
        ASSERT_TRUE(sim->process().waitForLine(
            [](const std::string& line) { return line.rfind("<- FIR data block 3,", 0) == 0; }, 30s, from))
            << context();
        unplugAndReplug("in the middle of the blocks", [&] {
            EXPECT_EQ(count(kEventInstalled), 0) << "the page took the file as sent";
        });

        // Tried whole, then INSTALL, the amp's answer to the store held back until the cable has gone.
        QTest::mouseClick(speaker->fileList()->viewport(), Qt::LeftButton, {}, entry);
        ASSERT_TRUE(waitFor(kEventInstalled, 1)) << context();
        ASSERT_TRUE(processUntil([&] { return !speaker->isBusy(); }));
        ASSERT_TRUE(sim->command("delay 2500"));
        from = sim->process().lineCount();
        QTest::mouseClick(speaker->button(T::kInstall), Qt::LeftButton);
        // The store: FIR group 04, parameter 07.
        ASSERT_TRUE(sim->process().waitForLine(
            [](const std::string& line) { return line.rfind("<- parameter group 04 param 07 ", 0) == 0; }, 30s,
            from))
            << context();
        unplugAndReplug("before the store was answered", [&] {
            EXPECT_EQ(count(kEventStored), 0) << "the page reported a store";
            EXPECT_FALSE(IrLibrary(libraryFolderIn(folders->appData)).lastForSlot(0)) << "the library records it";
        });

        // What the amp holds in slot I MODERN, its name as the simulator's state line quotes it.
        const auto state = sim->command("state");
        ASSERT_TRUE(state);
        std::string slot0;
        for (const auto& line : *state)
            if (line.rfind("slot 0 ", 0) == 0)
                slot0 = line.substr(line.find('"') + 1, line.rfind('"') - line.find('"') - 1);
        // The store itself reached the amp (only its answer was lost), so what it holds may be either.
        EXPECT_EQ(speaker->irNameEdit()->text().toStdString(), slot0);
        EXPECT_TRUE(slot0 == "Lost Cab" || slot0 == factory.toStdString()) << slot0;
        EXPECT_FALSE(IrLibrary(libraryFolderIn(folders->appData)).lastForSlot(0));
    });
}

} // namespace
} // namespace orx
