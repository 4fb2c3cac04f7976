// One whole session as a user has it: the application starts, finds the amplifier, and every kind of change
// is made through the windows; afterwards the amplifier and the settings file hold exactly what was done.
// Built three times: against the in-process simulated amplifier, and with orx-amp-sim in its own process over
// a JACK server (ORX_OVER_JACK) or over the ALSA sequencer (ORX_OVER_ALSA, which only a kernel with a sequencer
// can run: the system tests run it in a virtual machine).
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpConsole.h"
#include "AppFixture.h"
#include "AppSettings.h"
#include "CCustomButton.h"
#include "CDTADial.h"
#include "CDTAListBox.h"
#include "CEffcetSettingsTab.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "CORXUtilityApp.h"
#include "CORXUtilityDlg.h"
#include "CPropertiesDlg.h"
#include "CSpeakerSimulationTab.h"
#include "ErrorBox.h"
#include "ScopedOverride.h"
#include "SessionClock.h"
#include "SimulatedAmp.h"
#include "SimulatorPorts.h"
#include "WaveFile.h"

#if defined(ORX_OVER_JACK) || defined(ORX_OVER_ALSA)
#include "AmpSimProcess.h"
#endif
#ifdef ORX_OVER_JACK
#include "SharedJackServer.h"
#endif

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace orx {
namespace {

using namespace std::chrono_literals;
using T = CSpeakerSimulationTab;
using test::writeWave;

// The amplifier the program talks to, and a way to look inside it and to pull its cable.
class AmpRig {
public:
    virtual ~AmpRig() = default;
    // The amplifier's "state" lines (settings, every slot, both current responses).
    virtual std::vector<std::string> state() = 0;
    virtual void unplug() = 0;
    virtual void plugIn() = 0;
    virtual std::string context() = 0;
};

// The fixture's simulated amplifier, which its MIDI layer already serves in-process.
class InProcessRig final : public AmpRig {
public:
    explicit InProcessRig(std::shared_ptr<sim::SimulatedAmp> amp) : m_amp(std::move(amp)) {}
    std::vector<std::string> state() override { return ampsim::stateLines(m_amp->model()); }
    void unplug() override { m_amp->setSilent(true); }
    void plugIn() override { m_amp->setSilent(false); }
    std::string context() override { return {}; }

private:
    std::shared_ptr<sim::SimulatedAmp> m_amp;
};

#if defined(ORX_OVER_JACK) || defined(ORX_OVER_ALSA)
#ifdef ORX_OVER_JACK
constexpr const char* kMidiSystem = "jack";
#else
constexpr const char* kMidiSystem = "alsa";
#endif

// orx-amp-sim on the system's MIDI ports, and the program on the real backend of the same system.
class SystemRig final : public AmpRig {
public:
    explicit SystemRig(const std::shared_ptr<sim::SimulatedAmp>&)
    {
#ifdef ORX_OVER_JACK
        std::string failure;
        if (!test::SharedJackServer::get(failure))
            throw std::runtime_error("no JACK server for the test: " + failure);
#endif
        m_api.emplace("ORX_MIDI_API", kMidiSystem);
        m_systemPorts.emplace(&CMIDIManager::setBackendFactory, MidiBackendFactory{});
        m_sim = std::make_unique<test::AmpSimProcess>(std::vector<std::string>{"--model", "2"}, kMidiSystem);
    }
    ~SystemRig() override
    {
        if (m_sim) {
            const auto status = m_sim->process().stop();
            EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
                << "orx-amp-sim did not stop cleanly:\n"
                << m_sim->output();
        }
    }
    std::vector<std::string> state() override
    {
        auto lines = command("state");
        if (!lines.empty())
            lines.pop_back(); // "ok state"
        return lines;
    }
    void unplug() override { command("silent on"); }
    void plugIn() override { command("silent off"); }
    std::string context() override { return "orx-amp-sim:\n" + m_sim->output(); }

private:
    std::vector<std::string> command(const std::string& line)
    {
        const auto printed = m_sim->command(line);
        EXPECT_TRUE(printed && !printed->empty() && printed->back().rfind("ok ", 0) == 0)
            << "command \"" << line << "\" failed; " << context();
        return printed ? *printed : std::vector<std::string>{};
    }

    std::optional<test::ScopedEnv> m_api;
    std::optional<ScopedOverride<MidiBackendFactory>> m_systemPorts;
    std::unique_ptr<test::AmpSimProcess> m_sim;
};
using Rig = SystemRig;
#else
using Rig = InProcessRig;
#endif

class UserSession : public test::AppFixture {
protected:
    void SetUp() override
    {
        test::AppFixture::SetUp();
        const std::filesystem::path root = scratch.path().toStdString();
        irFolder = root / "My IRs";
        std::filesystem::create_directories(irFolder);
        for (std::size_t i = 0; i < cabinet.size(); ++i)
            cabinet[i] = static_cast<std::int16_t>((static_cast<int>(i) * 29) % 3001 - 1500);
        writeWave(irFolder / "Warm Cab.2x12.wav", {cabinet});
        writeWave(irFolder / "Bright 4x12.wav", {std::vector<std::int16_t>(512, 1000)});

        try {
            rig = std::make_unique<Rig>(amp);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        // The session as the program makes it, with periods short enough that a pulled cable shows quickly.
        SessionTiming timing;
        timing.heartbeatRequestPeriod = 100ms;
        timing.connectionCheckPeriod = 200ms;
        timing.heartbeatMaxAgeSeconds = 1;
        CORXManager::createInstance(timing, std::make_shared<SystemSessionClock>());
        m_folderQuestion.emplace(&setFolderQuestion,
                                 [this](QWidget*, const QString&, const std::string&) { return irFolder.string(); });
        m_resetQuestion.emplace(&setResetQuestion, [this](QWidget*) { return ++resetQuestions > 0; });
    }
    void TearDown() override
    {
        m_folderQuestion.reset();
        m_resetQuestion.reset();
        test::AppFixture::TearDown();
        rig.reset();
    }

    std::vector<std::string> settingsLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(settingsText());
        for (std::string line; std::getline(in, line);)
            if (!line.empty())
                lines.push_back(line);
        return lines;
    }
    std::string stateLine(const std::string& label)
    {
        for (const auto& line : rig->state())
            if (line.rfind(label + " ", 0) == 0)
                return line;
        return "(no " + label + " line)";
    }
    std::string recordLine(const std::string& label, const FIRRecord& record)
    {
        char line[200];
        std::snprintf(line, sizeof line, "%s fircoe %u fnv1a %08X name \"%s\"", label.c_str(),
                      static_cast<unsigned>(record.FIRCOE), static_cast<unsigned>(ampsim::coefficientChecksum(record)),
                      reinterpret_cast<const char*>(record.irName.data()));
        return line;
    }

    // Opens Properties from the Edit menu and acts on the dialog while it runs modally.
    void inProperties(CORXUtilityDlg& dialog, const std::function<void(CPropertiesDlg&)>& act)
    {
        bool acted = false;
        QTimer::singleShot(0, &dialog, [&] {
            auto* properties = qobject_cast<CPropertiesDlg*>(QApplication::activeModalWidget());
            if (!properties) {
                ADD_FAILURE() << "Properties did not open";
                return;
            }
            // Clicks reach a window only once it is on the screen.
            if (!QTest::qWaitForWindowExposed(properties)) {
                ADD_FAILURE() << "Properties never showed";
                return;
            }
            act(*properties);
            acted = true;
        });
        dialog.commandAction(kCmdProperties)->trigger();
        EXPECT_TRUE(acted);
    }
    template <typename W> static W* child(QWidget* parent, int id)
    {
        return parent->findChild<W*>(QString::number(id));
    }
    static void click(QWidget* w)
    {
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        // A radio button takes clicks on its mark and label only, not on the rest of its row.
        const QPoint at = qobject_cast<QRadioButton*>(w) ? QPoint(6, w->height() / 2) : w->rect().center();
        QTest::mouseClick(w, Qt::LeftButton, {}, at);
    }

    void scenario(CORXUtilityDlg& dialog);

    std::filesystem::path irFolder;
    std::vector<std::int16_t> cabinet = std::vector<std::int16_t>(kCoefficientCount);
    std::unique_ptr<AmpRig> rig;
    int resetQuestions = 0;
    std::vector<std::pair<int, int>> events;
    bool scenarioDone = false;

private:
    std::optional<ScopedOverride<FolderQuestion>> m_folderQuestion;
    std::optional<ScopedOverride<ResetQuestion>> m_resetQuestion;
};

void UserSession::scenario(CORXUtilityDlg& dialog)
{
    dialog.show();
    auto* last = dialog.page(3);
    QObject::connect(last, &CDevicePage::deviceEventReceived, last, [this](int event, int value) {
        events.push_back({event, value});
    });
    auto count = [this](int event) {
        return std::count_if(events.begin(), events.end(), [event](const auto& e) { return e.first == event; });
    };
    auto waitFor = [&](int event, long times) { return processUntil([&] { return count(event) >= times; }); };

    // Start: the amplifier is found and read; model 2 shows all four pages.
    ASSERT_TRUE(waitFor(kEventReadAll, 1)) << rig->context();
    ASSERT_EQ(dialog.tabBar()->count(), 4);

    // Effect Settings II: GREEN booster and HALL reverb.
    dialog.tabBar()->setCurrentIndex(1);
    auto* effectII = static_cast<CEffcetSettingsTab*>(dialog.page(1));
    click(effectII->button(CEffcetSettingsTab::kGreen));
    click(effectII->button(CEffcetSettingsTab::kHall));

    // Speaker Simulation I: pick the folder, try a file, set the gain to -10 dB, INSTALL.
    dialog.tabBar()->setCurrentIndex(2);
    auto* speaker = static_cast<T*>(dialog.page(2));
    click(speaker->button(T::kFolderButton));
    const auto found = speaker->fileList()->findItems(QStringLiteral("Warm Cab.2x12.wav"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    CDTAListBox* list = speaker->fileList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.front()).center());
    ASSERT_TRUE(waitFor(kEventInstalled, 1)) << rig->context();
    ASSERT_TRUE(processUntil([&] { return !speaker->isBusy(); }));
    QTest::mouseClick(speaker->gainDial(), Qt::LeftButton, {}, QPoint(67, 6)); // straight up: -10 dB
    EXPECT_EQ(speaker->gainText(), QStringLiteral("-10.0 dB"));
    click(speaker->button(T::kInstall));
    ASSERT_TRUE(waitFor(kEventStored, 1)) << rig->context();
    FIRRecord installed;
    std::memcpy(installed.irName.data(), "Warm Cab.2x12", 14);
    installed.FIRCOE = 5181;
    std::copy(cabinet.begin(), cabinet.end(), installed.coefficients.begin());
    EXPECT_EQ(stateLine("slot 0"), recordLine("slot 0", installed)) << rig->context();
    EXPECT_EQ(speaker->irNameEdit()->text(), QStringLiteral("Warm Cab.2x12"));
    EXPECT_EQ(speaker->irGainText(), QStringLiteral("-10.0 dB"));

    // Rename it: type, then Return.
    QLineEdit* name = speaker->irNameEdit();
    name->setFocus();
    ASSERT_TRUE(processUntil([name] { return name->hasFocus(); }));
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Scenario Cab"));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(waitFor(kEventStored, 2)) << rig->context();
    std::memset(installed.irName.data(), 0, installed.irName.size());
    std::memcpy(installed.irName.data(), "Scenario Cab", 13);
    EXPECT_EQ(stateLine("slot 0"), recordLine("slot 0", installed)) << rig->context();

    // Bypass on, then off again: the stored response plays again.
    click(speaker->button(T::kBypass));
    ASSERT_TRUE(waitFor(kEventBypassed, 1)) << rig->context();
    EXPECT_EQ(stateLine("current 0"), recordLine("current 0", makeBypassRecord()));
    ASSERT_TRUE(processUntil([&] { return !speaker->isBusy(); }));
    click(speaker->button(T::kBypass));
    ASSERT_TRUE(processUntil([&] { return stateLine("current 0") == recordLine("current 0", installed); }))
        << stateLine("current 0");

    // Properties: FX LOOP SEND "Mixed" goes to the amplifier at once; "R ch" becomes the stereo default on OK.
    inProperties(dialog, [&](CPropertiesDlg& properties) {
        click(child<QRadioButton>(&properties, 1339));
        click(child<QRadioButton>(&properties, 1314));
        click(child<QPushButton>(&properties, 1));
    });
    // Properties again: reset the IR memory and wait until the dialog is usable again.
    const long resetsBefore = count(kEventReset);
    const long readsBefore = count(kEventReadAll);
    inProperties(dialog, [&](CPropertiesDlg& properties) {
        click(child<QPushButton>(&properties, 1318));
        EXPECT_FALSE(child<QPushButton>(&properties, 1)->isEnabled());
        ASSERT_TRUE(waitFor(kEventReset, resetsBefore + 1)) << rig->context();
        ASSERT_TRUE(waitFor(kEventReadAll, readsBefore + 1)) << rig->context();
        ASSERT_TRUE(processUntil([&] { return child<QPushButton>(&properties, 1)->isEnabled(); }));
        EXPECT_TRUE(child<QRadioButton>(&properties, 1339)->isChecked()) << "the send wiring read back";
        QTest::keyClick(&properties, Qt::Key_Escape);
    });
    EXPECT_EQ(resetQuestions, 1);
    // The amplifier reports the reset twice and each report has everything read again; the second read
    // is let finish before the cable is pulled.
    ASSERT_TRUE(waitFor(kEventReadAll, readsBefore + 2)) << rig->context();
    EXPECT_EQ(speaker->irNameEdit()->text().toStdString(), "Factory MODERN I");

    // Pull the cable: the pages give up their controls; plug it back: found and read again.
    const long connectsBefore = count(kEventConnected);
    rig->unplug();
    ASSERT_TRUE(waitFor(kEventDisconnected, 1)) << rig->context();
    EXPECT_FALSE(speaker->irNameEdit()->isEnabled());
    EXPECT_FALSE(effectII->button(CEffcetSettingsTab::kWhite)->isEnabled());
    const long readsBeforePlug = count(kEventReadAll);
    rig->plugIn();
    ASSERT_TRUE(waitFor(kEventConnected, connectsBefore + 1)) << rig->context();
    ASSERT_TRUE(waitFor(kEventReadAll, readsBeforePlug + 1)) << rig->context();
    EXPECT_TRUE(speaker->irNameEdit()->isEnabled());
    EXPECT_EQ(effectII->boosterText(), QStringLiteral("Green Drive"));

    scenarioDone = true;
    dialog.close();
}

// The two builds of this file name their test apart, so a failure says which transport it came from.
#if defined(ORX_OVER_JACK)
class UserSessionOverJack : public UserSession {};
#define ORX_USER_SESSION UserSessionOverJack
#elif defined(ORX_OVER_ALSA)
class UserSessionOverAlsa : public UserSession {};
#define ORX_USER_SESSION UserSessionOverAlsa
#else
class UserSessionInProcess : public UserSession {};
#define ORX_USER_SESSION UserSessionInProcess
#endif

TEST_F(ORX_USER_SESSION, EverythingDoneInTheWindowsEndsUpInTheAmplifierAndTheSettings)
{
    CORXUtilityApp::Options options;
    options.lockFolder = scratch.path();
    options.folders = folders;
    options.runDialog = [this](QDialog& dialog) {
        scenario(static_cast<CORXUtilityDlg&>(dialog));
        return 0;
    };
    {
        CORXUtilityApp app(options);
        app.InitInstance();
        app.ExitInstance();
    }
    ASSERT_TRUE(scenarioDone);
    std::string seen;
    for (const auto& [event, value] : events)
        seen += " " + std::to_string(event) + ":" + std::to_string(value);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString() << "; events" << seen;

    // The amplifier: channel II GREEN (byte 9 = 1) and HALL (byte 11 = 3), FX loop send mixed (byte 5 = 1),
    // every slot back to its factory response, channel I playing its factory MODERN response.
    const auto state = rig->state();
    ASSERT_EQ(state.size(), 2 + kIrSlotCount + 2) << rig->context();
    EXPECT_EQ(state[1], "effect 00 00 00 00 00 01 00 00 00 01 00 03 00 00 00 00");
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot)
        EXPECT_EQ(state[2 + slot], recordLine("slot " + std::to_string(slot), sim::factoryRecord(slot)));

    // The settings: the folder chosen on channel I, the stereo default, and a window position.
    const auto lines = settingsLines();
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("PrimaryCh=1")) << settingsText();
    EXPECT_TRUE(has("FolderPathAmpI=" + irFolder.string())) << settingsText();
    EXPECT_TRUE(has("FolderPathAmpII=" + (std::filesystem::path(folders->music) / "ORX" / "Veltra").string()))
        << settingsText();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("X=", 0) == 0; }));
}

} // namespace
} // namespace orx
