// The Properties dialog, alone and from the main window's menu, against the simulated amplifier.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "ScopedOverride.h"

#include "CDevicePage.h"
#include "CORXUtilityDlg.h"
#include "CPropertiesDlg.h"
#include "SimulatedAmp.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace orx {
namespace {

using D = CPropertiesDlg;

const std::initializer_list<int> kLoopRadios = {D::kSendSeparate, D::kSendMixed, D::kReturnSeparate, D::kReturnMixed};
const std::initializer_list<int> kStereoRadios = {D::kLeftCh, D::kRightCh, D::kAskEachFile};

QRadioButton* radio(QWidget* dialog, int id)
{
    return dialog->findChild<QRadioButton*>(QString::number(id));
}
QPushButton* push(QWidget* dialog, int id)
{
    return dialog->findChild<QPushButton*>(QString::number(id));
}
// The ids of the given radios that are checked.
std::vector<int> checkedOf(QWidget* dialog, std::initializer_list<int> ids)
{
    std::vector<int> on;
    for (int id : ids)
        if (radio(dialog, id)->isChecked())
            on.push_back(id);
    return on;
}
// Whether a page's deviceEventReceived spy saw the event.
bool sawEvent(const QSignalSpy& spy, int event)
{
    return std::any_of(spy.begin(), spy.end(), [event](const QList<QVariant>& args) { return args[0] == event; });
}
QWidget* keyTarget(QWidget* dialog)
{
    return dialog->focusWidget() ? dialog->focusWidget() : dialog;
}

// Which controls the user could act on.
struct Enabled {
    bool loops, stereo, reset, ok;
    bool operator==(const Enabled&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Enabled& e)
{
    return os << "{loops " << e.loops << ", stereo " << e.stereo << ", reset " << e.reset << ", ok " << e.ok << "}";
}

// A group counts as enabled only when all of its radios are; a half-enabled group shows up as a mismatch.
Enabled enabledOf(QWidget* dialog)
{
    auto all = [dialog](std::initializer_list<int> ids, bool wanted) {
        for (int id : ids)
            if (radio(dialog, id)->isEnabled() != wanted)
                return false;
        return true;
    };
    const bool loops = all(kLoopRadios, true);
    const bool stereo = all(kStereoRadios, true);
    EXPECT_TRUE(loops || all(kLoopRadios, false)) << "the four loop radios disagree";
    EXPECT_TRUE(stereo || all(kStereoRadios, false)) << "the three stereo radios disagree";
    // The file conversion is a setting of this program, like the stereo default, and is offered with it.
    EXPECT_EQ(dialog->findChild<QCheckBox*>(QString::number(D::kConvertFiles))->isEnabled(), stereo);
    return {loops, stereo, push(dialog, D::kReset)->isEnabled(), push(dialog, D::kOk)->isEnabled()};
}

class Properties : public test::AppFixture {
protected:
    // Whatever a test puts in place is gone when it ends.
    ScopedOverride<ResetQuestion> m_resetQuestion{&setResetQuestion, {}};

    void TearDown() override
    {
        dialog.reset();
        main.reset();
        AppFixture::TearDown();
    }

    // The main window, connected to the simulated amplifier with everything read.
    void connect()
    {
        main = std::make_unique<CORXUtilityDlg>();
        QSignalSpy pageEvents(main->page(3), &CDevicePage::deviceEventReceived);
        main->show();
        ASSERT_TRUE(processUntil([&] { return sawEvent(pageEvents, kEventReadAll); }));
        amp->clearReceived();
    }

    // A Properties dialog over the main window (if any), shown, recording the device events it acted on.
    void open()
    {
        dialog = std::make_unique<CPropertiesDlg>(main.get());
        QObject::connect(dialog.get(), &CPropertiesDlg::deviceEventReceived, dialog.get(),
                         [this](int event, int) { events.push_back(event); });
        dialog->show();
    }
    bool waitForEvent(int event, std::size_t from = 0)
    {
        return processUntil([&] { return std::find(events.begin() + from, events.end(), event) != events.end(); });
    }
    // Lets the worker finish what is queued: anything it was going to send has been sent afterwards.
    void settle()
    {
        const std::size_t from = events.size();
        CORXManager::getInstance()->addRequest(kRequestUpdater, 0, 0);
        ASSERT_TRUE(waitForEvent(kEventUpdater, from));
    }

    // FX loop writes the amplifier received: (parameter, value).
    std::vector<std::pair<int, int>> loopWrites() const
    {
        std::vector<std::pair<int, int>> writes;
        for (const auto& m : amp->received())
            if (const auto p = sysex::parseParameter(m.data(), m.size());
                p && p->group == sysex::param::kGroupEffect &&
                (p->parameter == sysex::param::kLoopSend || p->parameter == sysex::param::kLoopReturn))
                writes.emplace_back(p->parameter, p->data2);
        return writes;
    }
    std::size_t resetsReceived() const
    {
        std::size_t n = 0;
        for (const auto& m : amp->received())
            if (const auto p = sysex::parseParameter(m.data(), m.size());
                p && p->group == sysex::param::kGroupFIR && p->parameter == sysex::param::kReset)
                ++n;
        return n;
    }

    // Runs the main window's Properties command; `act` works on the dialog inside its modal run. A dialog still
    // open afterwards is ended with -1, so the test fails instead of hanging.
    void runPropertiesCommand(const std::function<void(CPropertiesDlg*)>& act)
    {
        bool ran = false;
        QTimer::singleShot(0, main.get(), [&] {
            QPointer<QDialog> modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (auto* properties = qobject_cast<CPropertiesDlg*>(modal.data())) {
                ran = true;
                EXPECT_EQ(properties->parentWidget(), main.get());
                act(properties);
                QCoreApplication::processEvents();
            }
            if (modal && modal->isVisible()) {
                ADD_FAILURE() << "a dialog is still open";
                modal->done(-1);
            }
        });
        main->runCommand(kCmdProperties);
        EXPECT_TRUE(ran) << "the command ran the Properties dialog modally";
    }

    std::unique_ptr<CORXUtilityDlg> main;
    std::unique_ptr<CPropertiesDlg> dialog;
    std::vector<int> events;
};

TEST_F(Properties, EachControlCarriesItsText)
{
    open();
    EXPECT_EQ(dialog->windowTitle(), "Properties");
    const std::pair<int, const char*> boxes[] = {
        {D::kSendGroup, "FX LOOP SEND Connection"},
        {D::kReturnGroup, "FX LOOP RETURN Connection"},
        {D::kStereoGroup, "Default Channel of the Stereo IR File"},
        {D::kConversionGroup, "IR File Conversion"},
        {D::kProcessingGroup, "IR Processing"},
        {D::kResetGroup, "Reset IR Data"},
    };
    for (const auto& [id, text] : boxes) {
        auto* box = dialog->findChild<QGroupBox*>(QString::number(id));
        ASSERT_NE(box, nullptr) << id;
        EXPECT_EQ(box->title(), text) << id;
    }
    // Each radio sits in its own group box: a radio in the wrong box would stand for the wrong setting.
    const struct {
        int id, box;
        const char* text;
    } radios[] = {
        {D::kSendSeparate, D::kSendGroup, "Separate"},
        {D::kSendMixed, D::kSendGroup, "Mixed"},
        {D::kReturnSeparate, D::kReturnGroup, "Separate"},
        {D::kReturnMixed, D::kReturnGroup, "Mixed"},
        {D::kLeftCh, D::kStereoGroup, "L ch"},
        {D::kRightCh, D::kStereoGroup, "R ch"},
        {D::kAskEachFile, D::kStereoGroup, "Ask each File"},
    };
    for (const auto& r : radios) {
        QRadioButton* b = radio(dialog.get(), r.id);
        ASSERT_NE(b, nullptr) << r.id;
        EXPECT_EQ(b->text(), r.text) << r.id;
        EXPECT_EQ(b->parentWidget()->objectName(), QString::number(r.box)) << r.id;
    }
    auto* convert = dialog->findChild<QCheckBox*>(QString::number(D::kConvertFiles));
    ASSERT_NE(convert, nullptr);
    EXPECT_EQ(convert->text(), "Convert other sample rates and formats to 44.1 kHz");
    EXPECT_EQ(convert->parentWidget()->objectName(), QString::number(D::kConversionGroup));
    // The groups keep their order, the new one below the stereo default.
    const auto top = [&](int id) { return dialog->findChild<QGroupBox*>(QString::number(id))->geometry().top(); };
    EXPECT_EQ(top(D::kSendGroup), top(D::kReturnGroup));
    EXPECT_LT(top(D::kReturnGroup), top(D::kStereoGroup));
    EXPECT_LT(top(D::kStereoGroup), top(D::kConversionGroup));
    EXPECT_LT(top(D::kConversionGroup), top(D::kProcessingGroup));
    EXPECT_LT(top(D::kProcessingGroup), top(D::kResetGroup));
    EXPECT_EQ(push(dialog.get(), D::kReset)->text(), "Reset");
    EXPECT_EQ(push(dialog.get(), D::kOk)->text(), "OK");
    EXPECT_TRUE(push(dialog.get(), D::kOk)->isDefault());
    ASSERT_NE(push(dialog.get(), D::kCancel), nullptr);
    EXPECT_FALSE(push(dialog.get(), D::kCancel)->isVisible());
}

TEST_F(Properties, OpensWithTheStoredStereoDefaultAndOkStoresWhatIsChecked)
{
    const struct {
        int stored;
        std::vector<int> checked;
        int afterOk;
    } cases[] = {
        {0, {D::kLeftCh}, 0}, {1, {D::kRightCh}, 1}, {2, {D::kAskEachFile}, 2},
        {7, {}, -1}, // out of the group: nothing checked, and OK without a choice stores "none"
        {-1, {}, -1},
    };
    for (const auto& c : cases) {
        AppSettings::getInstance()->PrimaryCh = c.stored;
        open();
        EXPECT_EQ(checkedOf(dialog.get(), kStereoRadios), c.checked) << c.stored;
        push(dialog.get(), D::kOk)->click();
        EXPECT_EQ(dialog->result(), QDialog::Accepted) << c.stored;
        EXPECT_EQ(AppSettings::getInstance()->PrimaryCh, c.afterOk) << c.stored;
    }
}

// The file conversion and each IR processing switch: shown as stored, taken over with OK only, each its own setting.
TEST_F(Properties, TheFileSwitchesAreTakenOverOnlyWithOk)
{
    const std::tuple<int, bool AppSettings::*, const char*> switches[] = {
        {D::kConvertFiles, &AppSettings::ConvertFiles, "Convert other sample rates and formats to 44.1 kHz"},
        {D::kTrimSilence, &AppSettings::TrimSilence, "Trim leading silence"},
        {D::kMinimumPhase, &AppSettings::MinimumPhase, "Minimum phase"},
        {D::kFadeOut, &AppSettings::FadeOut, "Fade out the end of the taps"},
        {D::kMatchLoudness, &AppSettings::MatchLoudness, "Match loudness"},
    };
    const struct {
        bool stored;
        bool ok; // else Escape
        bool expected;
    } cases[] = {{false, true, true}, {false, false, false}, {true, true, false}, {true, false, true}};
    for (const auto& [id, field, text] : switches) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << text << ": stored " << c.stored << (c.ok ? ", OK" : ", Escape"));
            AppSettings* settings = AppSettings::getInstance();
            for (const auto& other : switches)
                settings->*std::get<1>(other) = false;
            settings->*field = c.stored;
            open();
            auto* box = dialog->findChild<QCheckBox*>(QString::number(id));
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), text);
            EXPECT_EQ(box->isChecked(), c.stored);
            box->click();
            if (c.ok)
                push(dialog.get(), D::kOk)->click();
            else
                QTest::keyClick(dialog.get(), Qt::Key_Escape);
            EXPECT_EQ(settings->*field, c.expected);
            for (const auto& other : switches) {
                if (std::get<1>(other) != field) {
                    EXPECT_FALSE(settings->*std::get<1>(other)) << "another switch changed";
                }
            }
        }
    }
}

TEST_F(Properties, WithoutAConnectionOnlyTheStereoChoiceAndOkAreEnabled)
{
    open();
    EXPECT_EQ(enabledOf(dialog.get()), (Enabled{false, true, false, true}));
    radio(dialog.get(), D::kReturnMixed)->click();
    EXPECT_EQ(CORXManager::getInstance()->queuedRequestCount(), 0u) << "a disabled radio queues nothing";
}

struct LoopOffer {
    std::uint16_t updater;
    Enabled expected;
};
std::ostream& operator<<(std::ostream& os, const LoopOffer& o)
{
    return os << "updater " << o.updater << ", expected " << o.expected;
}
class PropertiesLoopOffer : public Properties, public ::testing::WithParamInterface<LoopOffer> {};

TEST_P(PropertiesLoopOffer, LoopChoicesAreOfferedOnlyWhenTheConnectedAmpSupportsThem)
{
    amp->setUpdaterValue(GetParam().updater);
    connect();
    ASSERT_EQ(CORXManager::getInstance()->isLoopSettingsAvailable(), GetParam().expected.loops) << "precondition";
    open();
    EXPECT_EQ(enabledOf(dialog.get()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Properties, PropertiesLoopOffer,
                         ::testing::Values(LoopOffer{sim::kDefaultUpdaterValue, {true, true, true, true}},
                                           // an amplifier too old for the setting: Reset stays
                                           LoopOffer{30, {false, true, true, true}}));

TEST_F(Properties, ALoopChoiceReachesTheAmplifierAtOnceAndStaysWhenCancelled)
{
    connect();
    AppSettings::getInstance()->PrimaryCh = 2;
    bool firstWhileOpen = false;
    runPropertiesCommand([&](CPropertiesDlg* d) {
        EXPECT_EQ(checkedOf(d, kLoopRadios), (std::vector<int>{D::kSendSeparate, D::kReturnSeparate}));
        // A stereo click goes first: anything it wrongly queued would arrive before the loop writes.
        radio(d, D::kLeftCh)->click();
        radio(d, D::kReturnMixed)->click();
        firstWhileOpen = processUntil([&] { return !loopWrites().empty(); });
        radio(d, D::kSendMixed)->click();
        radio(d, D::kReturnSeparate)->click();
        radio(d, D::kReturnMixed)->click();
        QTest::keyClick(keyTarget(d), Qt::Key_Escape);
    });
    EXPECT_TRUE(firstWhileOpen) << "written while the dialog was still open";
    ASSERT_TRUE(processUntil([&] { return loopWrites().size() >= 4; }));
    EXPECT_EQ(loopWrites(), (std::vector<std::pair<int, int>>{{0x06, 1}, {0x05, 1}, {0x06, 0}, {0x06, 1}}));
    std::int32_t send = -1, ret = -1;
    CORXManager::getInstance()->getFXLoopSettings(send, ret);
    EXPECT_EQ(send, 1);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(amp->model().effect.bytes[EffectData::kLoopSend], 1);
    EXPECT_EQ(amp->model().effect.bytes[EffectData::kLoopReturn], 1);
    EXPECT_EQ(AppSettings::getInstance()->PrimaryCh, 2) << "Escape does not take the stereo choice over";
}

TEST_F(Properties, TheMenuCommandSavesTheStereoDefaultOnlyAfterOk)
{
    main = std::make_unique<CORXUtilityDlg>(); // no connection needed for the stereo default
    main->show();
    const struct {
        const char* how;
        std::function<void(CPropertiesDlg*)> end;
        int stored;
        bool written;
    } cases[] = {
        {"OK", [](CPropertiesDlg* d) { push(d, D::kOk)->click(); }, 1, true},
        {"Return", [](CPropertiesDlg* d) { QTest::keyClick(keyTarget(d), Qt::Key_Return); }, 1, true},
        {"Escape", [](CPropertiesDlg* d) { QTest::keyClick(keyTarget(d), Qt::Key_Escape); }, 2, false},
    };
    for (const auto& c : cases) {
        AppSettings::getInstance()->PrimaryCh = 2;
        std::filesystem::remove(settingsFile());
        runPropertiesCommand([&](CPropertiesDlg* d) {
            EXPECT_EQ(checkedOf(d, kStereoRadios), std::vector<int>{D::kAskEachFile}) << c.how;
            radio(d, D::kRightCh)->click();
            c.end(d);
        });
        EXPECT_EQ(AppSettings::getInstance()->PrimaryCh, c.stored) << c.how;
        EXPECT_EQ(std::filesystem::exists(settingsFile()), c.written) << c.how;
        EXPECT_EQ(settingsText().find("PrimaryCh=1") != std::string::npos, c.written) << c.how;
    }
}

TEST_F(Properties, OnlyTheEventsThatEndAWaitEnableTheControlsAgain)
{
    open(); // no connection: enabled means the stereo radios and OK
    CORXManager* session = CORXManager::getInstance();
    for (int event = kEventError; event <= kEventUpdater; ++event) {
        dialog->enableControls(false);
        const std::size_t queued = session->queuedRequestCount();
        const std::size_t seen = events.size();
        CPropertiesDlg::postDeviceEvent(event, 0, dialog.get()); // as the worker or MIDI thread would
        ASSERT_TRUE(processUntil([&] { return events.size() > seen; })) << event;
        const bool enables = event == kEventError || event == kEventConnected || event == kEventDisconnected ||
                             event == kEventReadAll || event == kEventReset;
        EXPECT_EQ(enabledOf(dialog.get()), (Enabled{false, enables, false, enables})) << event;
        EXPECT_EQ(session->queuedRequestCount() - queued, event == kEventReset ? 1u : 0u)
            << event << ": only the end of a reset asks for everything again";
    }
    CPropertiesDlg::postDeviceEvent(kEventConnected, 0, nullptr); // no context: nothing to post to
}

TEST_F(Properties, AConfirmedResetDisablesEverythingUntilTheAmpHasItsFactoryIRsAgain)
{
    FIRRecord mine = sim::factoryRecord(2);
    std::memcpy(mine.irName.data(), "Mine", 5);
    mine.coefficients[100] = 1234;
    amp->setSlot(2, mine);
    amp->setSlot(7, mine);
    connect();
    CORXManager* session = CORXManager::getInstance();
    ASSERT_EQ(session->getSlot(7).irName, mine.irName) << "precondition: the session read the user's IR";
    // Changed on the amplifier behind the session's back: only a fresh read shows it. The return value has no
    // radio, so the fresh read must leave that group with none checked rather than keep "Separate".
    amp->setEffectByte(EffectData::kLoopSend, 1);
    amp->setEffectByte(EffectData::kLoopReturn, 2);
    open();
    ASSERT_EQ(checkedOf(dialog.get(), kLoopRadios), (std::vector<int>{D::kSendSeparate, D::kReturnSeparate}));

    QWidget* askedFor = nullptr;
    setResetQuestion([&](QWidget* owner) {
        askedFor = owner;
        return true;
    });
    const std::size_t from = events.size();
    push(dialog.get(), D::kReset)->click();
    EXPECT_EQ(askedFor, dialog.get());
    EXPECT_EQ(enabledOf(dialog.get()), (Enabled{false, false, false, false}));
    QTest::keyClick(keyTarget(dialog.get()), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible()) << "Return must not end the dialog while OK is disabled";

    ASSERT_TRUE(waitForEvent(kEventReset, from));
    EXPECT_EQ(enabledOf(dialog.get()), (Enabled{true, true, true, true}));
    ASSERT_TRUE(waitForEvent(kEventReadAll, from)) << "the dialog asks for everything again";
    EXPECT_EQ(checkedOf(dialog.get(), kLoopRadios), std::vector<int>{D::kSendMixed});
    EXPECT_EQ(resetsReceived(), 1u);
    const sim::AmpModel model = amp->model();
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot) {
        EXPECT_EQ(model.slots[slot], sim::factoryRecord(slot)) << slot;
        EXPECT_EQ(session->getSlot(slot).irName, sim::factoryRecord(slot).irName) << slot << ": read again";
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Properties, ACancelledResetQuestionSendsNothing)
{
    connect();
    open();
    setResetQuestion([](QWidget*) { return false; });
    push(dialog.get(), D::kReset)->click();
    EXPECT_EQ(enabledOf(dialog.get()), (Enabled{true, true, true, true}));
    settle();
    EXPECT_EQ(resetsReceived(), 0u);
    EXPECT_EQ(std::count(events.begin(), events.end(), kEventReset), 0);
}

TEST_F(Properties, AFailedResetEnablesWhatTheLostConnectionAllows)
{
    // A short reply limit so the failure comes soon, and no connection watch to reconnect meanwhile.
    SessionTiming timing;
    timing.replyTimeout = std::chrono::milliseconds(1000);
    timing.connectionCheckPeriod = std::chrono::hours(1);
    CORXManager::createInstance(timing, std::make_shared<SystemSessionClock>());
    connect();
    open();
    setResetQuestion([](QWidget*) { return true; });
    amp->setSilent(true); // the reset is never answered
    push(dialog.get(), D::kReset)->click();
    ASSERT_TRUE(waitForEvent(kEventDisconnected));
    EXPECT_NE(std::find(events.begin(), events.end(), kEventError), events.end());
    EXPECT_EQ(enabledOf(dialog.get()), (Enabled{false, true, false, true}));
}

TEST_F(Properties, ADestroyedDialogHearsNoMoreEventsAndLeavesTheWindowsCallback)
{
    connect();
    open();
    dialog.reset();
    // A registration left behind would post to freed memory here; the window must still hear the session.
    QSignalSpy pageEvents(main->page(0), &CDevicePage::deviceEventReceived);
    CORXManager::getInstance()->addRequest(kRequestUpdater, 0, 0);
    ASSERT_TRUE(processUntil([&] { return sawEvent(pageEvents, kEventUpdater); }));

    open();
    settle();
    EXPECT_EQ(std::count(events.begin(), events.end(), kEventUpdater), 1) << "one registration per open dialog";
}

} // namespace
} // namespace orx
