// The speaker simulation pages inside the main window, against the simulated amplifier through the real worker:
// the page's own widgets, focus and painting, and the wiring of its controls, the main window's wait cursor, the
// error box and the delayed name to the logic (whose cases are in speaker_logic_test.cpp).
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "ScopedOverride.h"

#include "CChannelDlg.h"
#include "CCustomButton.h"
#include "CDTADial.h"
#include "CDTAListBox.h"
#include "CDTAScrollBar.h"
#include "CORXUtilityDlg.h"
#include "CPropertiesDlg.h"
#include "CRapidbutton.h"
#include "CSpeakerSimulationTab.h"
#include "FIRGain.h"
#include "WaveFile.h"
#include "speaker_logic_helpers.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <optional>

#include <array>
#include <memory>
#include <mutex>

namespace orx {
namespace {

using T = CSpeakerSimulationTab;
using sim::factoryRecord;
using test::asCoefficients;
using test::nameOf;
using test::ramp;
using test::writeWave;

class SpeakerPage : public test::AppFixture {
protected:
    void SetUp() override
    {
        test::AppFixture::SetUp();
        irFolder = std::filesystem::path(scratch.path().toStdString()) / "IR";
        test::writeIrLibrary(irFolder, warm, left, right);
        AppSettings* settings = AppSettings::getInstance();
        settings->FolderPathAmpI = irFolder.string();
        settings->FolderPathAmpII = irFolder.string();
        m_delayedCall.emplace(&setDelayedCall, [this](QObject*, int ms, std::function<void()> work) {
            delays.push_back(ms);
            pending.push_back(std::move(work));
        });
        m_channelQuestion.emplace(&setChannelQuestion, [this](QWidget*) {
            ++questions;
            return answer;
        });
    }
    void TearDown() override
    {
        dialog.reset();
        m_folderQuestion.reset();
        m_channelQuestion.reset();
        m_delayedCall.reset();
        test::AppFixture::TearDown();
    }

    void connect(int ampCh = 0)
    {
        dialog = std::make_unique<CORXUtilityDlg>();
        dialog->show();
        enabledBeforeConnection = enabled(page(0));
        for (bool on : enabled(page(1)))
            enabledBeforeConnection.push_back(on);
        auto* last = dialog->page(3);
        QObject::connect(last, &CDevicePage::deviceEventReceived, last,
                         [this](int event, int) { readAll += event == kEventReadAll; });
        ASSERT_TRUE(processUntil([this] { return readAll > 0; }));
        for (int i = 2; i < 4; ++i)
            QObject::connect(dialog->page(i), &CDevicePage::deviceEventReceived, dialog->page(i),
                             [this, i](int event, int value) {
                                 events[static_cast<std::size_t>(i - 2)].push_back({event, value});
                             });
        CORXManager::getInstance()->setRequestObserver([this](const DeviceRequest& r) {
            std::lock_guard lock(requestLock);
            if (r.type >= kRequestFIRCOE)
                requests.push_back({r.type, r.arg1, r.arg2});
        });
        dialog->tabBar()->setCurrentIndex(2 + ampCh);
        QCoreApplication::processEvents();
        amp->clearReceived();
    }
    T* page(int ampCh = 0) const { return static_cast<T*>(dialog->page(2 + ampCh)); }

    std::vector<std::array<int, 3>> takeRequests()
    {
        std::lock_guard lock(requestLock);
        return std::exchange(requests, {});
    }
    int row(T* p, const QString& text) const
    {
        const auto found = p->fileList()->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? -1 : p->fileList()->row(found.front());
    }
    QStringList listTexts(T* p) const
    {
        QStringList texts;
        for (int i = 0; i < p->fileList()->count(); ++i)
            texts << p->fileList()->item(i)->text();
        return texts;
    }
    void click(T* p, const QString& text)
    {
        const int r = row(p, text);
        ASSERT_GE(r, 0) << text.toStdString();
        CDTAListBox* list = p->fileList();
        list->scrollToItem(list->item(r));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(r)).center());
    }
    void doubleClick(T* p, const QString& text)
    {
        CDTAListBox* list = p->fileList();
        const QPoint at = list->visualItemRect(list->item(row(p, text))).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCoreApplication::processEvents(); // the move between folders runs after the mouse event
    }
    void clickButton(T* p, int id) { QTest::mouseClick(p->button(id), Qt::LeftButton); }
    // Chooses a file and waits until its transfer has ended.
    void tryFile(T* p, const QString& text)
    {
        click(p, text);
        ASSERT_TRUE(p->isBusy());
        ASSERT_TRUE(processUntil([p] { return !p->isBusy(); }));
    }
    bool waitForEvent(int ampCh, int event)
    {
        return processUntil([&] {
            for (const auto& e : events[static_cast<std::size_t>(ampCh)])
                if (e.first == event)
                    return true;
            return false;
        });
    }
    std::vector<bool> enabled(T* p)
    {
        return {p->irNameEdit()->isEnabled(),       p->button(T::kFolderButton)->isEnabled(),
                p->fileList()->isEnabled(),         p->scrollBar()->isEnabled(),
                p->upButton()->isEnabled(),         p->downButton()->isEnabled(),
                p->button(T::kBypass)->isEnabled(), p->gainDial()->isEnabled(),
                p->button(T::kInstall)->isEnabled()};
    }
    void commitName(T* p, const QString& text)
    {
        QLineEdit* edit = p->irNameEdit();
        edit->setFocus();
        ASSERT_TRUE(processUntil([edit] { return edit->hasFocus(); }));
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        edit->insert(text); // typed, as far as the field is concerned; keeps characters the test keyboard lacks
        QTest::keyClick(edit, Qt::Key_Return);
    }
    // Edit > Properties: the check box is clicked and OK pressed; false when no dialog ran.
    bool switchInProperties(int checkBox)
    {
        bool ran = false;
        QTimer::singleShot(0, dialog.get(), [&] {
            if (auto* properties = qobject_cast<CPropertiesDlg*>(QApplication::activeModalWidget())) {
                ran = true;
                properties->findChild<QCheckBox*>(QString::number(checkBox))->click();
                properties->findChild<QPushButton*>(QString::number(CPropertiesDlg::kOk))->click();
            }
        });
        dialog->runCommand(kCmdProperties);
        return ran;
    }
    void runPending()
    {
        for (auto& work : std::exchange(pending, {}))
            work();
    }

    std::filesystem::path irFolder;
    std::vector<std::int16_t> warm = ramp(7), left = ramp(11), right = ramp(13);
    std::unique_ptr<CORXUtilityDlg> dialog;
    // The seams this page's tests replace; each goes back to what it was when its test ends.
    std::optional<ScopedOverride<DelayedCall>> m_delayedCall;
    std::optional<ScopedOverride<ChannelQuestion>> m_channelQuestion;
    std::optional<ScopedOverride<FolderQuestion>> m_folderQuestion;
    std::array<std::vector<std::pair<int, int>>, 2> events;
    std::mutex requestLock;
    std::vector<std::array<int, 3>> requests;
    std::vector<int> delays;
    std::vector<bool> enabledBeforeConnection;
    std::vector<std::function<void()>> pending;
    int questions = 0;
    int answer = 0;
    int readAll = 0;
};

TEST(SpeakerGain, DialPositionsAndTheIrGainAsShown)
{
    struct Dial {
        int position;
        double dB;
        std::uint16_t fircoe;
    };
    for (const Dial& d : {Dial{0, -30.0, 518}, Dial{12, -18.0, 2062}, Dial{18, -12.0, 4115}, Dial{20, -10.0, 5181},
                          Dial{21, -9.5, 5488}, Dial{34, -3.0, 11598}, Dial{39, -0.5, 15467}, Dial{40, 0.0, 16383}}) {
        EXPECT_EQ(dialGain(d.position), d.dB) << d.position;
        EXPECT_EQ(dBToFIRCOE(dialGain(d.position)), d.fircoe) << d.position;
    }
    struct Shown {
        std::uint16_t fircoe;
        const char* text;
    };
    for (const Shown& s :
         {Shown{5181, "-10.0 dB"}, Shown{0, "-30.0 dB"}, Shown{16383, "  0.0 dB"}, Shown{4115, "-12.0 dB"},
          Shown{16384, "  0.0 dB"}, Shown{100, "-30.0 dB"}, Shown{15467, " -0.5 dB"}, Shown{0x8000, "-30.0 dB"}})
        EXPECT_EQ(formatGain(firGainDisplay(s.fircoe)).toStdString(), s.text) << s.fircoe;
    EXPECT_EQ(formatGain(dialGain(21)).toStdString(), " -9.5 dB");
}

TEST(SpeakerText, NamesFromTheAmplifierAreWindows1252AndEndAtTheirZero)
{
    const std::uint8_t name[] = {'C', 'a', 'f', 0xE9, ' ', 0x80, 0x96, 0, 'x'};
    EXPECT_EQ(decodeAmpName(name, sizeof name), QString::fromUtf8("Café €–"));
    const std::uint8_t full[3] = {'a', 'b', 'c'}; // no zero: the field's size ends it
    EXPECT_EQ(decodeAmpName(full, 3), QStringLiteral("abc"));
}

TEST(SpeakerText, LongFoldersLoseTheirMiddleAndKeepTheirLastName)
{
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QString path = QStringLiteral("/home/player/Music/Impulse Responses/Collections/Vintage/Greenback 4x12");
    const QString shown = compactPath(path, metrics, 200);
    EXPECT_LE(metrics.horizontalAdvance(shown), 200);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".../Greenback 4x12"))) << shown.toStdString();
    EXPECT_EQ(compactPath(QStringLiteral("/short"), metrics, 200), QStringLiteral("/short"));
    const QString tiny = compactPath(path, metrics, 40);
    EXPECT_LE(metrics.horizontalAdvance(tiny), 40);
    EXPECT_TRUE(tiny.startsWith(QStringLiteral("..."))) << tiny.toStdString();
}

TEST_F(SpeakerPage, DisabledUntilConnectedThenShowsTheAmplifiersState)
{
    test::playCrunchBoxOnChannelTwo(*amp);
    connect(1);
    EXPECT_EQ(enabledBeforeConnection, std::vector<bool>(18, false));
    T* p = page(1);
    EXPECT_EQ(p->ampTypeText(), QStringLiteral("CRUNCH"));
    EXPECT_EQ(p->irNameEdit()->text(), QStringLiteral("Crunch Box"));
    EXPECT_EQ(p->irGainText(), QStringLiteral("-10.0 dB"));
    EXPECT_EQ(p->gainText(), QStringLiteral("-12.0 dB"));
    EXPECT_EQ(page(0)->ampTypeText(), QStringLiteral("MODERN"));
    // Ready, nothing chosen, no bypass: all but the dial and INSTALL.
    EXPECT_EQ(enabled(p), (std::vector<bool>{true, true, true, true, true, true, true, false, false}));
    EXPECT_TRUE(p->button(T::kAmpChLabel)->isVisible());
    EXPECT_EQ(p->button(T::kAmpChLabel)->toggleState(), 1);
    EXPECT_EQ(page(0)->button(T::kAmpChLabel)->toggleState(), 0);
}

TEST_F(SpeakerPage, OnModelOneTheChannelLabelNeverShows)
{
    amp = std::make_shared<sim::SimulatedAmp>('1');
    connect(0);
    EXPECT_EQ(page(0)->modelCode(), 1);
    EXPECT_FALSE(page(0)->button(T::kAmpChLabel)->isVisible());
}

TEST_F(SpeakerPage, ListsTheFolderAndMovesBetweenFoldersStoringEachOne)
{
    connect(0);
    T* p = page(0);
    EXPECT_EQ(listTexts(p),
              (QStringList{"[..]", "[Cabs]", "broken.wav", "Other Stereo.wav", "Stereo.wav", "Warm Cab.2x12.wav"}));
    EXPECT_EQ(p->folderLabelText(), QString::fromStdString(irFolder.string()));

    click(p, QStringLiteral("[Cabs]"));
    EXPECT_TRUE(p->fileList()->selectedItems().isEmpty()) << "a folder entry never stays marked";
    doubleClick(p, QStringLiteral("[Cabs]"));
    EXPECT_EQ(p->folder(), (irFolder / "Cabs").string());
    EXPECT_EQ(listTexts(p), (QStringList{"[..]", "Inner.wav"}));
    EXPECT_NE(settingsText().find("FolderPathAmpI=" + (irFolder / "Cabs").string()), std::string::npos)
        << settingsText();
    EXPECT_EQ(p->scrollBar()->value(), 0);

    doubleClick(p, QStringLiteral("[..]"));
    EXPECT_EQ(p->folder(), irFolder.string());
    EXPECT_NE(settingsText().find("FolderPathAmpI=" + irFolder.string() + "\n"), std::string::npos) << settingsText();
    EXPECT_EQ(page(1)->folder(), irFolder.string()) << "the other channel keeps its own folder";
    EXPECT_TRUE(takeRequests().empty());
}

TEST_F(SpeakerPage, TheFolderButtonAsksForAFolderAndACancelChangesNothing)
{
    connect(1);
    T* p = page(1);
    std::vector<std::string> asked;
    std::string reply;
    m_folderQuestion.emplace(&setFolderQuestion, [&](QWidget*, const QString& title, const std::string& current) {
        EXPECT_EQ(title, QStringLiteral("Select Folder"));
        asked.push_back(current);
        return reply;
    });
    clickButton(p, T::kFolderButton);
    EXPECT_EQ(p->folder(), irFolder.string());
    reply = (irFolder / "Cabs").string() + "/";
    clickButton(p, T::kFolderButton);
    EXPECT_EQ(asked, (std::vector<std::string>{irFolder.string(), irFolder.string()}));
    EXPECT_EQ(p->folder(), (irFolder / "Cabs").string()) << "the trailing separator is dropped";
    EXPECT_EQ(listTexts(p), (QStringList{"[..]", "Inner.wav"}));
    EXPECT_NE(settingsText().find("FolderPathAmpII=" + (irFolder / "Cabs").string() + "\n"), std::string::npos);
    EXPECT_EQ(AppSettings::getInstance()->FolderPathAmpI, irFolder.string());
}

TEST_F(SpeakerPage, ChoosingAMonoFileTransfersItAtTheDialsGainWhileTheWindowWaits)
{
    connect(0);
    T* p = page(0);
    click(p, QStringLiteral("Warm Cab.2x12.wav"));
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}}));
    EXPECT_TRUE(p->isBusy());
    EXPECT_EQ(dialog->busyFlag(), 1);
    for (bool on : enabled(p))
        EXPECT_FALSE(on);
    ASSERT_TRUE(processUntil([p] { return !p->isBusy(); }));
    EXPECT_EQ(dialog->busyFlag(), 0);
    EXPECT_EQ(questions, 0);
    const FIRRecord current = amp->model().current[0];
    EXPECT_EQ(nameOf(current), "Warm Cab.2x12");
    EXPECT_EQ(current.FIRCOE, 4115);
    EXPECT_EQ(current.coefficients, asCoefficients(warm));
    EXPECT_EQ(p->selectedIndex(), row(p, QStringLiteral("Warm Cab.2x12.wav")));
    EXPECT_EQ(enabled(p), std::vector<bool>(9, true));
    EXPECT_EQ(amp->model().current[1], factoryRecord(5)) << "channel II untouched";
}

// Nothing was sent for the refused file, so the amplifier still plays the one tried before: the window goes on
// showing and using that one, and the dial and INSTALL still act on it.
TEST_F(SpeakerPage, AfterARefusedFileTheFileSentBeforeStaysMarkedAndUsable)
{
    connect(0);
    T* p = page(0);
    tryFile(p, QStringLiteral("Warm Cab.2x12.wav"));
    takeRequests();
    const int warmRow = row(p, QStringLiteral("Warm Cab.2x12.wav"));
    click(p, QStringLiteral("broken.wav"));
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text.toStdString(), "FIR file sample rate error. (1007)");
    EXPECT_EQ(boxes[0].informative.toStdString(), "broken.wav: not a WAV file.");
    EXPECT_EQ(boxes[0].caption, QStringLiteral("ORX Tevo Utility"));
    EXPECT_FALSE(p->isBusy());
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(p->selectedIndex(), warmRow);
    ASSERT_EQ(p->fileList()->selectedItems().size(), 1);
    EXPECT_EQ(p->fileList()->selectedItems().front()->text(), QStringLiteral("Warm Cab.2x12.wav"));
    EXPECT_EQ(enabled(p), std::vector<bool>(9, true));
    QAction* info = dialog->commandAction(kCmdIrInfo);
    Q_EMIT qobject_cast<QMenu*>(info->associatedObjects().front())->aboutToShow(); // the Edit menu opens
    EXPECT_TRUE(info->isEnabled());
    ASSERT_TRUE(p->triedRecord());
    EXPECT_EQ(nameOf(*p->triedRecord()), "Warm Cab.2x12");

    p->gainDial()->setFocus();
    QTest::keyClick(p->gainDial(), Qt::Key_Up);
    QTest::keyClick(p->gainDial(), Qt::Key_Up); // from -12 dB to -10 dB
    // 16384 * 10^(-11/20) = 4617.6, and the amplifier's gain rounds a fraction of one half or more up from an odd
    // whole part: 4618; -10 dB is 5181.
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestFIRCOE, 0, 4618}, {kRequestFIRCOE, 0, 5181}}));
    clickButton(p, T::kInstall);
    ASSERT_TRUE(waitForEvent(0, kEventStored));
    const FIRRecord stored = amp->model().slots[0];
    EXPECT_EQ(nameOf(stored), "Warm Cab.2x12");
    EXPECT_EQ(stored.FIRCOE, 5181);
    EXPECT_EQ(stored.coefficients, asCoefficients(warm));
}

TEST_F(SpeakerPage, ARefusedFileWithNothingTriedBeforeLeavesNothingMarked)
{
    connect(0);
    T* p = page(0);
    click(p, QStringLiteral("broken.wav"));
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(p->selectedIndex(), -1);
    EXPECT_TRUE(p->fileList()->selectedItems().isEmpty());
    EXPECT_FALSE(p->gainDial()->isEnabled());
    EXPECT_FALSE(p->button(T::kInstall)->isEnabled());
    EXPECT_TRUE(takeRequests().empty());
}

// Properties' OK with another processing sends the file being tried again, once; a click on it does the same for
// settings changed behind the page's back.
TEST_F(SpeakerPage, TheFileBeingTriedFollowsTheProcessingSettings)
{
    std::vector<std::int16_t> late(100, 0);
    late.insert(late.end(), warm.begin(), warm.end());
    test::writeWave(irFolder / "Late.wav", {late});
    connect(0);
    T* p = page(0);
    tryFile(p, QStringLiteral("Late.wav"));
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(late));
    takeRequests();

    ASSERT_TRUE(switchInProperties(CPropertiesDlg::kTrimSilence));
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}}));
    ASSERT_TRUE(processUntil([p] { return !p->isBusy(); }));
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(warm)) << "trimmed of its 100 silent samples";
    EXPECT_EQ(p->selectedIndex(), row(p, QStringLiteral("Late.wav")));

    AppSettings::getInstance()->TrimSilence = false;
    click(p, QStringLiteral("Late.wav"));
    ASSERT_TRUE(processUntil([this] { return !takeRequests().empty(); }));
    ASSERT_TRUE(processUntil([p] { return !p->isBusy(); }));
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(late));

    // From the keyboard alone: Return on the marked file does what the click did.
    AppSettings::getInstance()->TrimSilence = true;
    p->fileList()->setFocus();
    QTest::keyClick(p->fileList(), Qt::Key_Return);
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}}));
    ASSERT_TRUE(processUntil([p] { return !p->isBusy(); }));
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(warm));
}

// The brightest colour channel among the pixels of a list entry: white text reaches 255, dimmed text stays at
// the dimmed grey (antialiasing only blends it towards the background).
int brightestIn(CDTAListBox* list, int row)
{
    const QImage image = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect entry = list->visualItemRect(list->item(row)) & image.rect();
    int brightest = 0;
    for (int y = entry.top(); y <= entry.bottom(); ++y)
        for (int x = entry.left(); x <= entry.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            brightest = std::max({brightest, qRed(c), qGreen(c), qBlue(c)});
        }
    return brightest;
}

TEST_F(SpeakerPage, FilesThatCannotBeUsedAreDimmedWithTheirReasonAndThePropertiesSettingChecksAgain)
{
    test::writeConversionFiles(irFolder);
    connect(0);
    T* p = page(0);
    CDTAListBox* list = p->fileList();
    const QStringList texts{"[..]",     "[Cabs]",    "broken.wav", "Float.wav",        "Other Stereo.wav", "Plain.wav",
                            "Stereo.wav", "Three.wav", "Warm 48k.wav", "Warm Cab.2x12.wav"};
    ASSERT_TRUE(processUntil([p] { return p->fileChecksShown() > 0; }));
    EXPECT_EQ(listTexts(p), texts) << "the check changes neither the entries nor their order";

    const auto dimmedOnes = [&] {
        QStringList dimmed;
        for (int i = 0; i < list->count(); ++i)
            if (list->isEntryDimmed(i))
                dimmed << list->item(i)->text();
        return dimmed;
    };
    const QString turnOn = QString::fromUtf8(". Turn on Properties ▸ IR File Conversion to use it.");
    EXPECT_EQ(dimmedOnes(), (QStringList{"broken.wav", "Float.wav", "Three.wav", "Warm 48k.wav"}));
    const QListWidgetItem* warm48 = list->item(row(p, QStringLiteral("Warm 48k.wav")));
    EXPECT_EQ(warm48->data(Qt::ToolTipRole).toString(),
              QStringLiteral("Warm 48k.wav: 48000 Hz, 16-bit PCM, mono, WAV") + turnOn);
    EXPECT_EQ(list->item(row(p, QStringLiteral("Plain.wav")))->toolTip(), QStringLiteral("44100 Hz, 16-bit PCM, mono, WAV"));
    EXPECT_TRUE(list->item(row(p, QStringLiteral("[Cabs]")))->toolTip().isEmpty());
    EXPECT_EQ(brightestIn(list, row(p, QStringLiteral("Warm 48k.wav"))), CDTAListBox::dimmedTextColor(true).red());
    EXPECT_EQ(brightestIn(list, row(p, QStringLiteral("Plain.wav"))), 255);

    // Choosing a dimmed file still tries it, and the box says what the tooltip says.
    click(p, QStringLiteral("Warm 48k.wav"));
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, QStringLiteral("FIR file sample rate error. (1007)"));
    EXPECT_EQ(boxes[0].informative, warm48->toolTip());
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_TRUE(takeRequests().empty());

    // The conversion turned on in Properties: both pages check again.
    const int shownBefore = p->fileChecksShown();
    const int otherBefore = page(1)->fileChecksShown();
    ASSERT_TRUE(switchInProperties(CPropertiesDlg::kConvertFiles));
    ASSERT_TRUE(AppSettings::getInstance()->ConvertFiles);
    ASSERT_TRUE(processUntil([&] { return p->fileChecksShown() > shownBefore && page(1)->fileChecksShown() > otherBefore; }));
    EXPECT_EQ(listTexts(p), texts);
    EXPECT_EQ(dimmedOnes(), (QStringList{"broken.wav", "Three.wav"}));
    EXPECT_EQ(list->item(row(p, QStringLiteral("Three.wav")))->toolTip(),
              QStringLiteral("Three.wav: 3 channels: the amp needs mono or stereo."));
    EXPECT_FALSE(page(1)->fileList()->isEntryDimmed(row(page(1), QStringLiteral("Float.wav"))));
    tryFile(p, QStringLiteral("Warm 48k.wav"));
    EXPECT_EQ(boxes.size(), 1U);
    EXPECT_EQ(nameOf(amp->model().current[0]), "Warm 48k");
}

TEST_F(SpeakerPage, LeavingAFolderDuringItsCheckShowsTheNewFoldersResultsAndClosingMeanwhileIsSafe)
{
    for (int i = 0; i < 200; ++i)
        writeWave(irFolder / ("Cabs/IR " + std::to_string(100 + i) + ".wav"), {warm}, 48000);
    connect(0);
    T* p = page(0);
    ASSERT_TRUE(processUntil([p] { return p->fileChecksShown() > 0; }));
    // Into the folder of 200 files and straight back: the long check of Cabs is overtaken, and whatever it
    // still reports must not land on the entries of the folder shown now.
    doubleClick(p, QStringLiteral("[Cabs]"));
    ASSERT_EQ(p->fileList()->count(), 202);
    doubleClick(p, QStringLiteral("[..]"));
    const int shown = p->fileChecksShown();
    ASSERT_TRUE(processUntil([&] { return p->fileChecksShown() > shown; }));
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(listTexts(p),
              (QStringList{"[..]", "[Cabs]", "broken.wav", "Other Stereo.wav", "Stereo.wav", "Warm Cab.2x12.wav"}));
    EXPECT_TRUE(p->fileList()->isEntryDimmed(row(p, QStringLiteral("broken.wav"))));
    EXPECT_FALSE(p->fileList()->isEntryDimmed(row(p, QStringLiteral("Stereo.wav"))));
    EXPECT_TRUE(p->fileList()->item(row(p, QStringLiteral("Stereo.wav")))->toolTip().startsWith(QStringLiteral("44100 Hz")));

    // The window goes while the page is checking the 200 files.
    doubleClick(p, QStringLiteral("[Cabs]"));
    dialog.reset();
}

TEST_F(SpeakerPage, StoreAndBlockFailuresShowOneBoxEachAndEndTheWait)
{
    connect(0);
    T* p = page(0);
    tryFile(p, QStringLiteral("Warm Cab.2x12.wav"));
    amp->failNextStore();
    clickButton(p, T::kInstall);
    ASSERT_TRUE(waitForEvent(0, kEventStoreFailed));
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, QStringLiteral("FIR data write error. (1003)"));
    EXPECT_TRUE(boxes[0].informative.isEmpty()) << "no file is involved";
    EXPECT_EQ(boxes[0].owner, p);

    amp->reportBlockBad(3);
    click(p, QStringLiteral("Stereo.wav"));
    ASSERT_TRUE(processUntil([p] { return !p->isBusy(); }));
    ASSERT_EQ(boxes.size(), 2U);
    EXPECT_EQ(boxes[1].text, QStringLiteral("Receive data error. (1002)"));
    EXPECT_EQ(dialog->busyFlag(), 0);
    EXPECT_TRUE(page(1)->isConnected());
    EXPECT_EQ(boxes.size(), 2U) << "the other channel's page shows nothing";
}

TEST_F(SpeakerPage, WhileAnotherBoxIsOpenTheFailureShowsNoSecondBox)
{
    connect(0);
    T* p = page(0);
    tryFile(p, QStringLiteral("Warm Cab.2x12.wav"));
    amp->failNextStore();
    setErrorBoxOpen(true);
    clickButton(p, T::kInstall);
    ASSERT_TRUE(waitForEvent(0, kEventStoreFailed));
    setErrorBoxOpen(false);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(p->button(T::kInstall)->isEnabled());
}

TEST_F(SpeakerPage, ANewNameReturnsToTheSlotThenSendsTheNameAndStoresItAfterAPause)
{
    connect(0);
    T* p = page(0);
    tryFile(p, QStringLiteral("Warm Cab.2x12.wav"));
    takeRequests();
    commitName(p, QStringLiteral("My Cab"));
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestSelect, 0, 0}}));
    ASSERT_EQ(delays, std::vector<int>{200});
    EXPECT_EQ(p->selectedIndex(), -1);
    EXPECT_FALSE(p->gainDial()->isEnabled());
    // Nothing else may reach the amplifier before the name is stored, or the store would keep it.
    EXPECT_TRUE(p->isBusy());
    EXPECT_EQ(enabled(p), std::vector<bool>(9, false));
    QTest::mouseClick(
        p->fileList()->viewport(), Qt::LeftButton, {},
        p->fileList()->visualItemRect(p->fileList()->item(row(p, QStringLiteral("Stereo.wav")))).center());
    EXPECT_TRUE(takeRequests().empty());
    runPending(); // the pause is over
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestName, 0, 0}, {kRequestStore, 0, 0}}));
    EXPECT_FALSE(p->isBusy());
    ASSERT_TRUE(waitForEvent(0, kEventStored));
    EXPECT_EQ(nameOf(amp->model().slots[0]), "My Cab");
    EXPECT_EQ(amp->model().slots[0].coefficients, factoryRecord(0).coefficients)
        << "the renamed response is the stored one, not the file tried before";
    EXPECT_EQ(p->irNameEdit()->text(), QStringLiteral("My Cab"));
}

TEST_F(SpeakerPage, AMenuOpeningWhileTypingDoesNotEndTheName)
{
    connect(0);
    T* p = page(0);
    QLineEdit* edit = p->irNameEdit();
    edit->setFocus();
    ASSERT_TRUE(processUntil([edit] { return edit->hasFocus(); }));
    edit->setText(QStringLiteral("Half typed"));
    edit->setSelection(0, 4);
    QFocusEvent away(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(edit, &away);
    QFocusEvent back(QEvent::FocusIn, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(edit, &back);
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(edit->selectedText(), QStringLiteral("Half")) << "Edit > Copy still has the selection to work on";
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestSelect, 0, 0}}))
        << "the name typed before the menu opened is new";
}

TEST_F(SpeakerPage, AfterATransferTheKeyboardIsBackInTheList)
{
    connect(0);
    T* p = page(0);
    p->fileList()->setFocus();
    ASSERT_TRUE(processUntil([p] { return p->fileList()->hasFocus(); }));
    click(p, QStringLiteral("Warm Cab.2x12.wav"));
    EXPECT_FALSE(dialog->tabBar()->hasFocus()) << "the arrow keys must not switch pages meanwhile";
    ASSERT_TRUE(processUntil([p] { return !p->isBusy(); }));
    EXPECT_TRUE(p->fileList()->hasFocus());
}

TEST_F(SpeakerPage, ScrollingByUpDownRepeatsAndTheScrollBar)
{
    for (int i = 0; i < 24; ++i)
        writeWave(irFolder / ("IR " + std::to_string(10 + i) + ".wav"), {warm});
    connect(0);
    T* p = page(0);
    const int n = p->fileList()->count();
    ASSERT_EQ(n, 30);
    EXPECT_EQ(p->scrollBar()->maximum(), 30);
    EXPECT_EQ(p->scrollBar()->thumbLength(), 50);
    clickButton(p, T::kUp);
    EXPECT_EQ(p->fileList()->topIndex(), 0);
    EXPECT_EQ(p->scrollBar()->value(), 0);
    for (int i = 0; i < 40; ++i)
        clickButton(p, T::kDown);
    const int last = p->fileList()->topIndex();
    EXPECT_EQ(last, n - 10) << "DW stops where the last entry shows";
    EXPECT_EQ(p->scrollBar()->value(), last);
    QEvent repeat(static_cast<QEvent::Type>(T::kUpRepeatEvent));
    QCoreApplication::sendEvent(p, &repeat);
    EXPECT_EQ(p->fileList()->topIndex(), last - 1) << "each repeat of a held button scrolls one entry";
    p->onValueChanged(T::kScrollBar, 5);
    EXPECT_EQ(p->fileList()->topIndex(), 5);
    EXPECT_EQ(p->scrollBar()->value(), 5);
    p->fileList()->setFocus();
    QTest::keyClick(p->fileList(), Qt::Key_End);
    EXPECT_EQ(p->scrollBar()->value(), p->fileList()->topIndex()) << "keys move the thumb along";
    EXPECT_EQ(p->scrollBar()->value(), last);
}

TEST_F(SpeakerPage, HoldingUpOrDownRepeatsUntilReleasedAnywhere)
{
    connect(0);
    T* p = page(0);
    QTest::mousePress(p->upButton(), Qt::LeftButton);
    EXPECT_NE(p->upButton()->repeatTimer(), 0);
    QTest::mouseRelease(p, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(p->upButton()->repeatTimer(), 0);
}

TEST_F(SpeakerPage, EditCommandsWorkOnlyInTheNameField)
{
    connect(0);
    T* p = page(0);
    QLineEdit* edit = p->irNameEdit();
    p->fileList()->setFocus();
    ASSERT_TRUE(processUntil([p] { return p->fileList()->hasFocus(); }));
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    EXPECT_EQ(p->canPaste(), 0);
    EXPECT_EQ(p->canSelectAll(), 0);
    p->paste();
    EXPECT_EQ(edit->text().toStdString(), nameOf(factoryRecord(0)));

    edit->setFocus();
    ASSERT_TRUE(processUntil([edit] { return edit->hasFocus(); }));
    edit->deselect();
    EXPECT_EQ(p->canSelectAll(), 1);
    EXPECT_EQ(p->canCopy(), 0);
    QTest::keyClick(dialog.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit->selectedText(), edit->text()) << "Ctrl+A selects the whole name";
    EXPECT_EQ(p->canCut(), 1);
    EXPECT_EQ(p->canPaste(), 1);
    p->paste();
    EXPECT_EQ(edit->text(), QStringLiteral("pasted"));
    EXPECT_EQ(p->canUndo(), 1);
    p->undo();
    EXPECT_EQ(edit->text().toStdString(), nameOf(factoryRecord(0)));
}

} // namespace
} // namespace orx
