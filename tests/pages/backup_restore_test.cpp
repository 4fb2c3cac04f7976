// The File menu's Back Up Amp, Restore Amp and Export IR in the main window, against the simulated amplifier
// through the real worker; the file dialogs, the boxes and the restore question are answered by the test.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "ScopedOverride.h"

#include "AmpBackup.h"
#include "AmpRestore.h"
#include "CBackupRestore.h"
#include "CDTAListBox.h"
#include "CIrInfoDlg.h"
#include "CORXUtilityDlg.h"
#include "CSpeakerSimulationTab.h"
#include "IrLibrary.h"
#include "WavExport.h"
#include "WaveFile.h"
#include "speaker_logic_helpers.h"

#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace orx {
namespace {

using test::asCoefficients;
using test::nameOf;
using test::ramp;

struct Notice {
    NoticeKind kind;
    std::string text;
    bool windowOpen; // whether the main window was still shown when the box came
};

struct AskedFile {
    FileChoice choice;
    std::string suggested;
};

// The requests that change the amplifier; the window's own reads and connection checks are left out.
bool writesToTheAmp(int type)
{
    return type >= kRequestBooster && type != kRequestUpdater;
}

class AmpFiles : public test::AppFixture {
protected:
    void SetUp() override
    {
        test::AppFixture::SetUp();
        irFolder = std::filesystem::path(scratch.path().toStdString()) / "IR";
        std::filesystem::create_directories(irFolder);
        test::writeWave(irFolder / "Warm Cab.wav", {warm});
        AppSettings* settings = AppSettings::getInstance();
        settings->FolderPathAmpI = irFolder.string();
        settings->FolderPathAmpII = irFolder.string();
        m_files.emplace(&setFileQuestion, [this](QWidget*, FileChoice choice, const std::string& suggested) {
            asked.push_back({choice, suggested});
            return fileAnswer;
        });
        m_notices.emplace(&setNoticePresenter, [this](QWidget*, NoticeKind kind, const QString&, const QString& text) {
            notices.push_back({kind, text.toStdString(), dialog && dialog->isVisible()});
        });
        m_question.emplace(&setRestoreQuestion, [this](QWidget*, const QString& text) {
            plansShown.push_back(text.toStdString());
            if (duringQuestion)
                duringQuestion();
            return agree;
        });
    }
    void TearDown() override
    {
        dialog.reset();
        m_question.reset();
        m_notices.reset();
        m_files.reset();
        test::AppFixture::TearDown();
    }

    void open()
    {
        dialog = std::make_unique<CORXUtilityDlg>();
        dialog->show();
        QObject::connect(dialog->page(3), &CDevicePage::deviceEventReceived, dialog->page(3),
                         [this](int event, int) { readAll += event == kEventReadAll; });
    }
    void connect()
    {
        open();
        ASSERT_TRUE(processUntil([this] { return readAll > 0; }));
        CORXManager::getInstance()->setRequestObserver([this](const DeviceRequest& r) {
            std::lock_guard lock(requestLock);
            if (writesToTheAmp(r.type))
                writes.push_back(r.type);
        });
    }
    std::vector<int> takeWrites()
    {
        std::lock_guard lock(requestLock);
        return std::exchange(writes, {});
    }
    // The File menu's item as it is when the menu opens.
    QAction* fileItem(int command)
    {
        Q_EMIT dialog->menuBar()->actions()[0]->menu()->aboutToShow();
        return dialog->commandAction(command);
    }
    void choose(int command)
    {
        QAction* item = fileItem(command);
        ASSERT_TRUE(item->isEnabled()) << command;
        item->trigger();
    }
    CSpeakerSimulationTab* speakerPage() const { return static_cast<CSpeakerSimulationTab*>(dialog->page(2)); }
    void showSpeakerPage()
    {
        dialog->tabBar()->setCurrentIndex(2);
        QCoreApplication::processEvents();
    }
    void tryFile(const QString& name)
    {
        CSpeakerSimulationTab* p = speakerPage();
        CDTAListBox* list = p->fileList();
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.front()).center());
        ASSERT_TRUE(processUntil([p] { return p->triedRecord().has_value() && !p->isBusy(); }));
    }
    void tryWarmCab() { tryFile(QStringLiteral("Warm Cab.wav")); }
    // What the IR library of the program knows: the slot holds `coefficients` under the amplifier's name and gain.
    void recordInLibrary(int slot, const FIRRecord& amp, const Coefficients& coefficients)
    {
        LibraryEntryInput input;
        input.name = amp.irName;
        input.fircoe = amp.FIRCOE;
        input.coefficients = coefficients;
        input.slot = slot;
        input.ampChannel = slot / static_cast<int>(kSlotsPerChannel);
        IrLibrary(programLibraryFolder()).record(input);
    }
    std::filesystem::path scratchFile(const std::string& name) const
    {
        return std::filesystem::path(scratch.path().toStdString()) / name;
    }
    // The amplifier as it is now, with slot 3 (and, when asked, slot 6) to be written and channel I's booster
    // switched.
    std::filesystem::path writeChangedBackup(bool twoSlots)
    {
        AmpBackup backup = makeBackup(snapshotOfSession(*CORXManager::getInstance()),
                                      IrLibrary(scratchFile("no library")));
        auto change = [&](int slot, const char* name, int seed) {
            BackupSlot& s = backup.slots[static_cast<std::size_t>(slot)];
            s.name = files::nameFromText(name);
            s.fircoe = 5181;
            s.coefficients = asCoefficients(ramp(seed));
        };
        change(3, "Restored Cab", 5);
        if (twoSlots)
            change(6, "Second Cab", 9);
        auto& booster = backup.effects.bytes[EffectData::kFirstParamChannel1];
        booster = booster == 0 ? 1 : 0;
        const auto path = scratchFile("changed.orxbackup.json");
        writeBackup(path, backup);
        return path;
    }

    std::filesystem::path irFolder;
    std::vector<std::int16_t> warm = ramp(7);
    std::unique_ptr<CORXUtilityDlg> dialog;
    std::string fileAnswer;
    std::vector<AskedFile> asked;
    std::vector<Notice> notices;
    std::vector<std::string> plansShown;
    std::function<void()> duringQuestion;
    bool agree = true;
    int readAll = 0;
    std::mutex requestLock;
    std::vector<int> writes;

private:
    std::optional<ScopedOverride<FileQuestion>> m_files;
    std::optional<ScopedOverride<NoticePresenter>> m_notices;
    std::optional<ScopedOverride<RestoreQuestion>> m_question;
};

TEST_F(AmpFiles, BackUpAndRestoreWaitForTheReadAndGoWithTheAmplifier)
{
    open();
    EXPECT_FALSE(fileItem(kCmdBackUpAmp)->isEnabled()) << "nothing read yet";
    EXPECT_FALSE(fileItem(kCmdRestoreAmp)->isEnabled());
    ASSERT_TRUE(processUntil([this] { return readAll > 0; }));
    EXPECT_TRUE(fileItem(kCmdBackUpAmp)->isEnabled());
    EXPECT_TRUE(fileItem(kCmdRestoreAmp)->isEnabled());
    EXPECT_FALSE(fileItem(kCmdExportIr)->isEnabled()) << "an effect page has no response to export";
    dialog->onDeviceEventMessage(kEventDisconnected, 0);
    EXPECT_FALSE(fileItem(kCmdBackUpAmp)->isEnabled());
    EXPECT_FALSE(fileItem(kCmdRestoreAmp)->isEnabled());
}

TEST_F(AmpFiles, BackUpWritesTheAmplifiersSlotsWithTheCoefficientsTheLibraryKnows)
{
    connect();
    const sim::AmpModel model = amp->model();
    recordInLibrary(0, model.slots[0], asCoefficients(ramp(5)));
    fileAnswer = scratchFile("amp.orxbackup.json").string();
    choose(kCmdBackUpAmp);

    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0].choice, FileChoice::SaveBackup);
    const BackupReadResult read = readBackup(fileAnswer);
    ASSERT_TRUE(read.backup) << read.problem;
    ASSERT_EQ(read.backup->slots.size(), kIrSlotCount);
    for (std::size_t i = 0; i < kIrSlotCount; ++i) {
        EXPECT_EQ(read.backup->slots[i].name, model.slots[i].irName) << i;
        EXPECT_EQ(read.backup->slots[i].fircoe, model.slots[i].FIRCOE) << i;
        EXPECT_EQ(read.backup->slots[i].coefficients.has_value(), i == 0) << i;
    }
    EXPECT_EQ(read.backup->slots[0].coefficients, asCoefficients(ramp(5)));
    EXPECT_EQ(read.backup->effects.bytes, model.effect.bytes);
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].kind, NoticeKind::Information);
    EXPECT_NE(notices[0].text.find("(1 of 10)"), std::string::npos) << notices[0].text;
    EXPECT_NE(notices[0].text.find("(9 of 10)"), std::string::npos) << notices[0].text;

    fileAnswer = scratchFile("no such folder/amp.orxbackup.json").string();
    choose(kCmdBackUpAmp);
    ASSERT_EQ(notices.size(), 2U);
    EXPECT_EQ(notices[1].kind, NoticeKind::Error);
    EXPECT_NE(notices[1].text.find(fileAnswer), std::string::npos) << notices[1].text;
    EXPECT_TRUE(takeWrites().empty()) << "a backup only reads";
}

TEST_F(AmpFiles, AFileThatIsNoBackupOfOursSaysWhyAndSendsNothing)
{
    connect();
    const std::string good = backupText(makeBackup(snapshotOfSession(*CORXManager::getInstance()),
                                                   IrLibrary(scratchFile("no library"))));
    std::string changed = good;
    changed[changed.find("\"created\"") + 12] ^= 1; // inside the time stamp: still JSON, no longer its checksum
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"not JSON", "IR library\n"},
        {"another program's JSON", R"({"format": "something-else", "version": 1})"},
        {"cut short", good.substr(0, good.size() / 2)},
        {"changed after saving", changed},
    };
    for (const auto& c : cases) {
        const auto path = scratchFile("file.orxbackup.json");
        files::writeAtomically(path, c.text);
        const std::string problem = readBackup(path).problem;
        ASSERT_FALSE(problem.empty()) << c.what;
        fileAnswer = path.string();
        notices.clear();
        choose(kCmdRestoreAmp);
        ASSERT_EQ(notices.size(), 1U) << c.what;
        EXPECT_EQ(notices[0].kind, NoticeKind::Error) << c.what;
        EXPECT_NE(notices[0].text.find(problem), std::string::npos) << c.what << ": " << notices[0].text;
        EXPECT_TRUE(plansShown.empty()) << c.what;
    }
    EXPECT_TRUE(takeWrites().empty());
}

TEST_F(AmpFiles, ARestoreShowsItsPlanAndOnlyOnYesWritesTheSlotsSettingsAndLibrary)
{
    connect();
    const sim::AmpModel before = amp->model();
    fileAnswer = writeChangedBackup(false).string();
    agree = false;
    choose(kCmdRestoreAmp);
    ASSERT_EQ(plansShown.size(), 1U);
    EXPECT_NE(plansShown[0].find("Write slot " + slotLabel(3) + " \"Restored Cab\""), std::string::npos)
        << plansShown[0];
    EXPECT_NE(plansShown[0].find("booster"), std::string::npos) << plansShown[0];
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(takeWrites().empty()) << "cancelled";

    agree = true;
    choose(kCmdRestoreAmp);
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].kind, NoticeKind::Information);
    EXPECT_EQ(notices[0].text.substr(0, 24), "The restore is complete.") << notices[0].text;
    EXPECT_FALSE(dialog->isRestoring());
    const sim::AmpModel after = amp->model();
    EXPECT_EQ(nameOf(after.slots[3]), "Restored Cab");
    EXPECT_EQ(after.slots[3].FIRCOE, 5181);
    EXPECT_EQ(after.slots[3].coefficients, asCoefficients(ramp(5)));
    EXPECT_NE(after.effect.bytes[EffectData::kFirstParamChannel1], before.effect.bytes[EffectData::kFirstParamChannel1]);
    EXPECT_EQ(after.slots[4], before.slots[4]) << "slots the backup has as they are stay untouched";
    const auto recorded = IrLibrary(programLibraryFolder()).lastForSlot(3);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->kind, EntryKind::Restore);
    EXPECT_EQ(recorded->nameText, "Restored Cab");
}

TEST_F(AmpFiles, ARefusedStoreStopsTheRestoreAndTheReportSaysWhatWasNotWritten)
{
    connect();
    fileAnswer = writeChangedBackup(true).string();
    const FIRRecord slot6 = amp->model().slots[6];
    amp->failNextStore();
    choose(kCmdRestoreAmp);
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].kind, NoticeKind::Warning);
    EXPECT_NE(notices[0].text.find("The restore stopped: the amplifier refused to store the slot."), std::string::npos)
        << notices[0].text;
    EXPECT_NE(notices[0].text.find("Not written: slot " + slotLabel(6) + " \"Second Cab\""), std::string::npos)
        << notices[0].text;
    EXPECT_EQ(amp->model().slots[6], slot6);
    EXPECT_FALSE(IrLibrary(programLibraryFolder()).lastForSlot(3)) << "nothing stored, nothing recorded";
}

TEST_F(AmpFiles, ClosingTheWindowDuringARestoreWaitsUntilItIsOver)
{
    connect();
    fileAnswer = writeChangedBackup(false).string();
    duringQuestion = [this] { QTimer::singleShot(0, dialog.get(), &QWidget::close); };
    choose(kCmdRestoreAmp);
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].kind, NoticeKind::Information) << notices[0].text;
    EXPECT_TRUE(notices[0].windowOpen) << "the close waited for the restore";
    EXPECT_EQ(nameOf(amp->model().slots[3]), "Restored Cab");
    ASSERT_TRUE(processUntil([this] { return !dialog->isVisible(); })) << "and happened after it";
    EXPECT_FALSE(CORXManager::getInstance()->isRequestThreadRunning());
}

TEST_F(AmpFiles, ExportWritesTheTriedFileOrWhatTheLibraryKnowsOfTheSlot)
{
    test::writeWave(irFolder / "C\xC3\xA2" "binet \xC3\x9C.wav", {ramp(5)});
    connect();
    showSpeakerPage();
    EXPECT_FALSE(fileItem(kCmdExportIr)->isEnabled()) << "nothing tried, the slot unknown to the library";
    dialog->runCommand(kCmdExportIr);
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].kind, NoticeKind::Information);
    EXPECT_TRUE(asked.empty());

    const sim::AmpModel model = amp->model();
    const int slot = model.effect.bytes[EffectData::kSlotChannel1];
    recordInLibrary(slot, model.current[0], asCoefficients(ramp(9)));
    auto exported = [this](const std::string& name) -> std::optional<Coefficients> {
        fileAnswer = scratchFile(name).string();
        choose(kCmdExportIr);
        const auto bytes = files::readWhole(fileAnswer);
        return bytes ? coefficientsFromWavBytes(*bytes) : std::nullopt;
    };
    EXPECT_EQ(exported("slot.wav"), asCoefficients(ramp(9)));
    EXPECT_EQ(std::filesystem::path(asked.back().suggested).filename().string(), nameOf(model.current[0]) + ".wav");

    tryWarmCab();
    EXPECT_EQ(exported("tried.wav"), asCoefficients(warm)) << "the file tried comes first";
    EXPECT_EQ(asked.back().choice, FileChoice::SaveIr);
    EXPECT_EQ(std::filesystem::path(asked.back().suggested).filename().string(), "Warm Cab.wav");
    // The amp got "Cabinet U"; the file name proposed is the user's own, as they spelt it.
    tryFile(QString::fromUtf8("C\xC3\xA2" "binet \xC3\x9C.wav"));
    EXPECT_EQ(exported("accented.wav"), asCoefficients(ramp(5)));
    EXPECT_EQ(std::filesystem::path(asked.back().suggested).filename().string(), "C\xC3\xA2" "binet \xC3\x9C.wav");

    notices.clear();
    EXPECT_EQ(exported("no such folder/x.wav"), std::nullopt);
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].kind, NoticeKind::Error) << notices[0].text;
}

// Edit > IR File Info on the speaker page: the figures of the file tried, checked against closed forms, and the
// dialog follows the page when another file is tried.
TEST_F(AmpFiles, IrFileInfoShowsWhatTheTapsKeepAndFollowsThePage)
{
    constexpr int kDelay = 221, kLength = 3000;
    constexpr double kDecay = 0.9995; // slow enough that the taps lose a known part of it
    std::vector<std::int16_t> delayed(kDelay, 0);
    for (int i = 0; i < kLength; ++i)
        delayed.push_back(static_cast<std::int16_t>(std::lround(20000 * std::pow(kDecay, i))));
    test::writeWave(irFolder / "Delayed.wav", {delayed});
    connect();
    showSpeakerPage();
    Q_EMIT dialog->menuBar()->actions()[1]->menu()->aboutToShow();
    EXPECT_FALSE(dialog->commandAction(kCmdIrInfo)->isEnabled()) << "no file is tried yet";

    tryFile(QStringLiteral("Delayed.wav"));
    Q_EMIT dialog->menuBar()->actions()[1]->menu()->aboutToShow();
    QAction* item = dialog->commandAction(kCmdIrInfo);
    ASSERT_TRUE(item->isEnabled());
    EXPECT_EQ(item->text(), "IR File Info...\tCtrl+I");
    item->trigger();
    auto* info = dialog->findChild<CIrInfoDlg*>();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isVisible());
    ASSERT_TRUE(info->view()->insight().has_value());
    const IrInsight& insight = *info->view()->insight();
    EXPECT_EQ(insight.whole.whole.length, static_cast<std::size_t>(kDelay + kLength));
    EXPECT_EQ(insight.whole.whole.leadingSilence, static_cast<std::size_t>(kDelay));
    // The taps hold the delay and the first 1827 samples of the decay: their share of a geometric series.
    const double kept = (1 - std::pow(kDecay, 2.0 * (2048 - kDelay))) / (1 - std::pow(kDecay, 2.0 * kLength));
    EXPECT_NEAR(insight.whole.tapsEnergyShare, kept, 1e-4);
    EXPECT_FALSE(insight.plot.processed);
    const auto lines = insightLines(insight);
    const auto has = [&](const std::string& part) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(has("leading silence 221 samples (5.0 ms)"));
    EXPECT_TRUE(has("3221 samples (73.0 ms)"));
    char percent[32];
    std::snprintf(percent, sizeof percent, "keep %.1f %% of its energy", kept * 100);
    EXPECT_TRUE(has(percent)) << percent;
    if (const char* shot = std::getenv("ORX_IR_INFO_SHOT"))
        info->grab().save(QString::fromLocal8Bit(shot));

    tryWarmCab();
    ASSERT_TRUE(info->view()->insight().has_value());
    EXPECT_EQ(info->view()->insight()->file.filename(), "Warm Cab.wav") << "the dialog follows the page";
}

} // namespace
} // namespace orx
