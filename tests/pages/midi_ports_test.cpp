// The MIDI Ports dialog, the status words right of the tabs, the reconnection on OK and the unlit POWER lamp.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "ScopedOverride.h"

#include "CDevicePage.h"
#include "CEffcetSettingsTab.h"
#include "CMidiPortsDlg.h"
#include "CORXUtilityDlg.h"
#include "CSpeakerSimulationTab.h"
#include "ConnectionStatus.h"
#include "ErrorTexts.h"
#include "SimulatorPorts.h"
#include "backends/RtMidiBackend.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>

namespace orx {
namespace {

using D = CMidiPortsDlg;
const QString kSim = QString::fromUtf8(sim::kSimulatorPortName);

// --- the words -----------------------------------------------------------------

TEST(ConnectionStatusText, EachStateInWords)
{
    const std::string error1004 = "Last error: " + mstd::errorMessage(1004);
    const struct {
        const char* what;
        ConnectionSnapshot snapshot;
        std::string text;
        std::string inTooltip;
    } cases[] = {
        {"connected, all known", {true, "TEVO MIDI 1", "TEVO MIDI 1", 2, 112, "", 0},
         "Connected: TEVO MIDI 1 \xC2\xB7 model 2 \xC2\xB7 firmware 112", "Output port: TEVO MIDI 1"},
        {"connected, firmware not read yet", {true, "TEVO MIDI 1", "TEVO MIDI 1", 1, 0, "", 0},
         "Connected: TEVO MIDI 1 \xC2\xB7 model 1", "not been read yet"},
        {"connected under ALSA: the port's own name", {true, "TEVO:TEVO MIDI 1 20:0", "TEVO:TEVO MIDI 1 20:0", 2, 110,
                                                         "", 0},
         "Connected: TEVO MIDI 1 \xC2\xB7 model 2 \xC2\xB7 firmware 110", "Input port: TEVO:TEVO MIDI 1 20:0"},
        {"connected under JACK's ALSA bridge", {true, "system:midi_capture_1", "system:midi_playback_1", 1, 110, "", 0},
         "Connected: midi_capture_1 \xC2\xB7 model 1 \xC2\xB7 firmware 110", "Output port: system:midi_playback_1"},
        {"connected wins over an old error", {true, "In", "Out", 2, 50, "", 1004},
         "Connected: In \xC2\xB7 model 2 \xC2\xB7 firmware 50", error1004},
        {"searching", {}, "Searching for the amp\xE2\x80\xA6 (choose ports under Edit \xE2\x96\xB8 MIDI Ports...)",
         "every few seconds"},
        {"the MIDI system is down", {false, "", "", 0, 0, "JACK: the server is not running", 1004},
         "MIDI system unavailable: JACK: the server is not running", error1004},
        {"lost after an error", {false, "", "", 0, 0, "", 1004}, error1004, "keeps looking"},
    };
    for (const auto& c : cases) {
        const ConnectionStatus status = describeConnection(c.snapshot);
        EXPECT_EQ(status.text, c.text) << c.what;
        EXPECT_NE(status.tooltip.find(c.inTooltip), std::string::npos) << c.what << ": " << status.tooltip;
    }
    EXPECT_EQ(describeConnection({}, false).text, "Searching for the amp\xE2\x80\xA6") << "inside the dialog itself";
}

TEST(ConnectionStatusText, OnlyAListedWholeChoiceElsewhereDropsTheConnection)
{
    const std::vector<std::string> ins{"TEVO:TEVO MIDI 1 20:0", "Synth In"};
    const std::vector<std::string> outs{"TEVO:TEVO MIDI 1 20:0", "Synth Out"};
    const struct {
        const char* what;
        const char *input, *output, *openIn, *openOut;
        bool drop;
    } cases[] = {
        {"already on the chosen pair", "TEVO:TEVO MIDI 1 20:0", "TEVO:TEVO MIDI 1 20:0", "TEVO:TEVO MIDI 1 20:0",
         "TEVO:TEVO MIDI 1 20:0", false},
        {"the same ports after replugging", "tevo:tevo midi 1 24:0", "TEVO:TEVO MIDI 1 20:0", "TEVO:TEVO MIDI 1 20:0",
         "TEVO:TEVO MIDI 1 20:0", false},
        {"other listed ports", "Synth In", "Synth Out", "TEVO:TEVO MIDI 1 20:0", "TEVO:TEVO MIDI 1 20:0", true},
        {"only the output differs", "TEVO:TEVO MIDI 1 20:0", "Synth Out", "TEVO:TEVO MIDI 1 20:0",
         "TEVO:TEVO MIDI 1 20:0", true},
        {"automatic", "", "", "Synth In", "Synth Out", false},
        {"half automatic", "Synth In", "", "TEVO:TEVO MIDI 1 20:0", "TEVO:TEVO MIDI 1 20:0", false},
        {"chosen port not present", "Gone", "Synth Out", "TEVO:TEVO MIDI 1 20:0", "TEVO:TEVO MIDI 1 20:0", false},
        {"nothing open", "Synth In", "Synth Out", "", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(connectionMissesChoice({c.input, false}, {c.output, false}, ins, outs, c.openIn, c.openOut), c.drop)
            << c.what;
}

// --- the dialog ------------------------------------------------------------------

QStringList entries(const QComboBox* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}
QStringList entries(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

class MidiPorts : public test::AppFixture {
protected:
    void TearDown() override
    {
        dialog.reset();
        main.reset();
        AppFixture::TearDown();
    }
    void open()
    {
        dialog = std::make_unique<D>(main.get());
        dialog->show();
    }
    template <typename T> T* control(int id) const { return dialog->findChild<T*>(QString::number(id)); }
    QComboBox* inputs() const { return control<QComboBox>(D::kInput); }
    QComboBox* outputs() const { return control<QComboBox>(D::kOutput); }
    QListWidget* answers() const { return control<QListWidget>(D::kAnswers); }
    QString probeLine() const { return control<QLabel>(D::kProbeLine)->text(); }
    bool findAmp()
    {
        QSignalSpy done(dialog.get(), &D::probeFinished);
        control<QPushButton>(D::kFindAmp)->click();
        return processUntil([&] { return !done.isEmpty(); });
    }
    void connectMain()
    {
        main = std::make_unique<CORXUtilityDlg>();
        main->show();
        ASSERT_TRUE(processUntil([] { return CORXManager::getInstance()->getModelCode() != 0; }));
    }

    ScopedOverride<PortProbe> m_probe{&setPortProbe, {}};
    ScopedOverride<std::string> m_api{&setMidiApi, "alsa"};
    std::unique_ptr<CORXUtilityDlg> main;
    std::unique_ptr<D> dialog;
};

TEST_F(MidiPorts, ListsAutomaticFirstThenThePortsWithTheStoredChoiceSelected)
{
    const struct {
        const char* stored;
        QStringList listed;
        int selected;
    } cases[] = {
        {"", {"Automatic", kSim}, 0},
        {sim::kSimulatorPortName, {"Automatic", kSim}, 1},
        {"TEVO MIDI 1", {"Automatic", kSim, "TEVO MIDI 1 (not present)"}, 2},
    };
    for (const auto& c : cases) {
        AppSettings::getInstance()->MidiInputPort = c.stored;
        AppSettings::getInstance()->MidiOutputPort = c.stored;
        open();
        EXPECT_EQ(dialog->windowTitle(), "MIDI Ports");
        for (QComboBox* list : {inputs(), outputs()}) {
            EXPECT_EQ(entries(list), c.listed) << c.stored;
            EXPECT_EQ(list->currentIndex(), c.selected) << c.stored;
        }
        dialog->refreshPorts();
        EXPECT_EQ(entries(inputs()), c.listed) << c.stored << ": refreshing keeps the entries";
        EXPECT_EQ(inputs()->currentIndex(), c.selected) << c.stored << ": and the selection";
    }
}

// The simulator's ports, unplugged and plugged in again as the test says; only the listing matters here.
class PluggableBackend final : public MidiBackend {
public:
    explicit PluggableBackend(std::shared_ptr<std::atomic<bool>> present) : m_present(std::move(present)) {}
    std::vector<std::string> inputPortNames() override { return names(); }
    std::vector<std::string> outputPortNames() override { return names(); }
    int openIn(unsigned, MidiInputSink*) override { return 1; }
    int startIn() override { return 1; }
    int resetIn() override { return 0; }
    int stopIn() override { return 0; }
    int closeIn() override { return 0; }
    int openOut(unsigned, MidiOutputSink*) override { return 1; }
    int sendLong(const std::uint8_t*, std::size_t, std::uint64_t) override { return 1; }
    int resetOut() override { return 0; }
    int closeOut() override { return 0; }

private:
    std::vector<std::string> names() const
    {
        return *m_present ? std::vector<std::string>{sim::kSimulatorPortName} : std::vector<std::string>{};
    }
    std::shared_ptr<std::atomic<bool>> m_present;
};

TEST_F(MidiPorts, TheListsFollowThePortsWhileOpenKeepingTheSelection)
{
    auto present = std::make_shared<std::atomic<bool>>(true);
    ScopedOverride<MidiBackendFactory> ports{&CMIDIManager::setBackendFactory,
                                             [present] { return std::make_unique<PluggableBackend>(present); }};
    open();
    dialog->setRefreshInterval(5);
    inputs()->setCurrentIndex(1);
    ASSERT_EQ(entries(inputs()), (QStringList{"Automatic", kSim}));
    *present = false;
    EXPECT_TRUE(processUntil([&] { return entries(inputs()) == QStringList{"Automatic", kSim + " (not present)"}; }));
    EXPECT_EQ(inputs()->currentIndex(), 1);
    EXPECT_EQ(entries(outputs()), QStringList{"Automatic"}) << "nothing was chosen there";
    *present = true;
    EXPECT_TRUE(processUntil([&] { return entries(inputs()) == QStringList{"Automatic", kSim}; }));
    EXPECT_EQ(inputs()->currentIndex(), 1);
}

TEST_F(MidiPorts, FindAmpShowsWhatAnsweredAndAClickChoosesThePair)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    setPortProbe([released](const ProbeOptions& options) {
        released.wait();
        ProbeResult r;
        r.inputs = {"Synth In", "TEVO MIDI 1"};
        r.outputs = {"Synth Out", "TEVO MIDI 1"};
        r.answers = {{"TEVO MIDI 1", "TEVO MIDI 1", '2'}};
        EXPECT_FALSE(options.connected) << "nothing is connected";
        return r;
    });
    open();
    QSignalSpy done(dialog.get(), &D::probeFinished);
    control<QPushButton>(D::kFindAmp)->click();
    EXPECT_FALSE(control<QPushButton>(D::kFindAmp)->isEnabled()) << "while it runs";
    EXPECT_EQ(probeLine(), "Asking every output port...");
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog->isVisible());
    release.set_value();
    ASSERT_TRUE(processUntil([&] { return !done.isEmpty(); }));
    EXPECT_TRUE(control<QPushButton>(D::kFindAmp)->isEnabled());
    ASSERT_EQ(entries(answers()), QStringList{"TEVO MIDI 1 \u2194 TEVO MIDI 1 \u2014 model 2"});

    QTest::mouseClick(answers()->viewport(), Qt::LeftButton, {},
                      answers()->visualItemRect(answers()->item(0)).center());
    EXPECT_EQ(inputs()->currentText(), "TEVO MIDI 1");
    EXPECT_EQ(outputs()->currentText(), "TEVO MIDI 1");
    EXPECT_EQ(dialog->choice(), (MidiPortChoice{currentMidiApi(), "TEVO MIDI 1", "TEVO MIDI 1"}));
}

TEST_F(MidiPorts, FindAmpSaysWhenNothingAnsweredOrTheSystemCannotBeUsed)
{
    const struct {
        ProbeResult result;
        QString line;
    } cases[] = {
        {{{"Synth In"}, {"Synth Out"}, {}, ""}, "No amplifier answered."},
        {{{}, {}, {}, "JACK: the server is not running"},
         "The MIDI system cannot be used: JACK: the server is not running"},
    };
    open();
    for (const auto& c : cases) {
        setPortProbe([r = c.result](const ProbeOptions&) { return r; });
        ASSERT_TRUE(findAmp());
        EXPECT_EQ(probeLine(), c.line);
        EXPECT_EQ(answers()->count(), 0);
    }
}

TEST_F(MidiPorts, TheRealProbeFindsTheSimulator)
{
    setPortProbe([](const ProbeOptions& options) {
        ProbeOptions quick = options;
        quick.listen = std::chrono::milliseconds(50);
        return probeForAmp(quick);
    });
    open();
    ASSERT_TRUE(findAmp());
    ASSERT_EQ(entries(answers()), QStringList{kSim + " \u2194 " + kSim + " \u2014 model 2"}) << probeLine().toStdString();
    answers()->itemClicked(answers()->item(0));
    EXPECT_EQ(dialog->choice().input, sim::kSimulatorPortName);
    EXPECT_EQ(dialog->choice().output, sim::kSimulatorPortName);
}

TEST_F(MidiPorts, OkStoresTheChoiceInTheFileCancelLeavesItAlone)
{
    AppSettings::getInstance()->save();
    const std::string before = settingsText();
    open();
    inputs()->setCurrentIndex(1);
    control<QComboBox>(D::kApi)->setCurrentIndex(control<QComboBox>(D::kApi)->findText("JACK"));
    EXPECT_TRUE(control<QLabel>(D::kApiNote)->isVisible()) << "the lists are still the current system's";
    control<QPushButton>(D::kCancel)->click();
    EXPECT_EQ(settingsText(), before);
    EXPECT_TRUE(AppSettings::getInstance()->MidiInputPort.empty());

    open();
    inputs()->setCurrentIndex(1);
    control<QComboBox>(D::kApi)->setCurrentIndex(control<QComboBox>(D::kApi)->findText("JACK"));
    control<QPushButton>(D::kOk)->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    const std::string after = settingsText();
    EXPECT_NE(after.find("[MIDI]"), std::string::npos) << after;
    EXPECT_NE(after.find("Api=jack"), std::string::npos) << after;
    EXPECT_NE(after.find("InputPort=" + std::string(sim::kSimulatorPortName)), std::string::npos) << after;
    EXPECT_EQ(after.find("OutputPort=Kovalex"), std::string::npos) << "automatic is stored empty: " << after;
    EXPECT_EQ(currentMidiApi(), "alsa") << "the dialog alone changes no session";
}

// --- from the main window -----------------------------------------------------------

TEST_F(MidiPorts, TheMenuItemSitsUnderPropertiesAndWorksWithoutAnAmp)
{
    amp->setSilent(true);
    main = std::make_unique<CORXUtilityDlg>();
    main->show();
    const auto edit = main->menuBar()->actions()[1]->menu()->actions();
    const auto at = std::find(edit.begin(), edit.end(), main->commandAction(kCmdProperties));
    ASSERT_NE(at, edit.end());
    ASSERT_NE(at + 1, edit.end());
    EXPECT_EQ(*(at + 1), main->commandAction(kCmdMidiPorts));
    Q_EMIT main->menuBar()->actions()[1]->menu()->aboutToShow();
    EXPECT_TRUE(main->commandAction(kCmdMidiPorts)->isEnabled());
    EXPECT_EQ(main->commandAction(kCmdMidiPorts)->text(), "MIDI Ports...");
    EXPECT_TRUE(main->statusLabel()->toolTip().contains("MIDI Ports")) << "searching: says where to choose";
}

TEST_F(MidiPorts, OkWithAnotherSystemReconnectsAndThePagesFollow)
{
    connectMain();
    QSignalSpy pageEvents(main->page(0), &CDevicePage::deviceEventReceived);
    const std::string other = "jack";
    bool ran = false;
    QTimer::singleShot(0, main.get(), [&] {
        QPointer<QDialog> modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (auto* ports = qobject_cast<D*>(modal.data())) {
            ran = true;
            auto* api = ports->findChild<QComboBox*>(QString::number(D::kApi));
            api->setCurrentIndex(api->findData(QString::fromStdString(other)));
            ports->findChild<QPushButton*>(QString::number(D::kOk))->click();
        }
        if (modal && modal->isVisible())
            modal->done(-1);
    });
    main->runCommand(kCmdMidiPorts);
    ASSERT_TRUE(ran);
    EXPECT_EQ(currentMidiApi(), other);
    // Events of the first connection may still be on their way when the spy starts: what counts is a connection
    // after the disconnection.
    auto reconnected = [&] {
        bool disconnected = false;
        for (const auto& a : pageEvents) {
            disconnected = disconnected || a[0].toInt() == kEventDisconnected;
            if (disconnected && a[0].toInt() == kEventConnected)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(processUntil(reconnected));
    EXPECT_TRUE(static_cast<CEffcetSettingsTab*>(main->page(0))->isConnected());
    EXPECT_TRUE(processUntil([&] { return main->statusLabel()->text().startsWith("Connected: " + kSim); }))
        << main->statusLabel()->text().toStdString();
    EXPECT_TRUE(CORXManager::getInstance()->isRequestThreadRunning());
}

TEST_F(MidiPorts, OkOnThePortsInUseKeepsTheConnection)
{
    connectMain();
    QSignalSpy pageEvents(main->page(0), &CDevicePage::deviceEventReceived);
    applyMidiPortChoice({currentMidiApi(), sim::kSimulatorPortName, sim::kSimulatorPortName});
    CORXManager::getInstance()->addRequest(kRequestUpdater, 0, 0);
    ASSERT_TRUE(processUntil([&] {
        return std::any_of(pageEvents.begin(), pageEvents.end(), [](const auto& a) { return a[0] == kEventUpdater; });
    }));
    for (const auto& args : pageEvents)
        EXPECT_NE(args[0].toInt(), kEventDisconnected);
    EXPECT_EQ(CORXManager::getInstance()->chosenInputPort().name, sim::kSimulatorPortName);
    const QString expected = "Connected: " + kSim + " \u00B7 model 2 \u00B7 firmware " +
                             QString::number(CORXManager::getInstance()->getUpdaterValue());
    EXPECT_EQ(main->statusLabel()->toolTip().contains("Input port: " + kSim), true);
    EXPECT_EQ(main->statusLabel()->text(), expected) << "fits right of the tabs without eliding";
}

// --- the POWER lamp ---------------------------------------------------------------------

TEST_F(MidiPorts, ThePowerLampIsLitOnlyWhileConnected)
{
    const auto brightness = [](CDevicePage* page, QPoint at) {
        return qGray(page->grab().toImage().pixel(at));
    };
    CEffcetSettingsTab effect(nullptr);
    CSpeakerSimulationTab speaker(nullptr);
    for (CDevicePage* page : {static_cast<CDevicePage*>(&effect), static_cast<CDevicePage*>(&speaker)}) {
        const struct {
            CDevicePage* page;
            QPoint lamp;
        } c{page, page->powerLampCentre()};
        c.page->setPageChannel(2, 0);
        c.page->onDeviceEvent(kEventDisconnected, 0);
        const int unlit = brightness(c.page, c.lamp);
        c.page->onDeviceEvent(kEventConnected, 2);
        const int lit = brightness(c.page, c.lamp);
        EXPECT_LT(unlit + 40, lit) << c.lamp.x() << "," << c.lamp.y();
        // Away from the lamp the picture is the same either way.
        const QPoint away = c.lamp + QPoint(40, 40);
        const int connectedAway = brightness(c.page, away);
        c.page->onDeviceEvent(kEventDisconnected, 0);
        EXPECT_EQ(brightness(c.page, away), connectedAway);
    }
}

} // namespace
} // namespace orx
