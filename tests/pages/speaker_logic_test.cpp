// The speaker simulation page's logic without its window, against the simulated amplifier through the real
// session and worker. Two pages, one per amp channel, get every device event in order, as the main window
// relays them; a recording view stands in for the window and answers its questions.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionFixture.h"
#include "WaveFile.h"
#include "WindowLikeListener.h"
#include "speaker_logic_helpers.h"

#include "AppSettings.h"
#include "FIRGain.h"
#include "FolderScan.h"
#include "GenericException.h"
#include "IrLibrary.h"
#include "LibraryRecorder.h"
#include "SpeakerSimulationLogic.h"
#include "SpeakerSimulationSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace orx {
namespace {

using namespace std::chrono_literals;
using sim::factoryRecord;
using test::asCoefficients;
using test::nameOf;
using test::ramp;
using test::writeWave;

struct TempFolders final : SettingsFolders {
    std::string appData, music;
    std::string localAppDataFolder() override { return appData; }
    std::string musicFolder() override { return music; }
};

// What the window would show, and its answers to the logic's questions.
struct RecordingView final : ISpeakerView {
    void showBusy(bool on) override
    {
        busy = on;
        *windowBusy = on ? 1 : 0; // the main window follows whichever page tells it
    }
    void enableControls(const SpeakerEnabling& e) override { enabling = e; }
    void showAmpChannel() override {}
    void showAmpType(int s) override { slot = s; }
    void showIrName(const std::string& name) override { irName = name; }
    void showIrKnown(const std::string& text) override { known = text; }
    void showIrGain(double dB) override { irGain = dB; }
    void showDialPosition(int position) override { dialPosition = position; }
    void showDialGain(double dB) override { dialGain = dB; }
    void showBypass(bool on) override { bypass = on; }
    void showFolder(const std::string& f) override { folder = f; }
    void showFileList(const std::vector<CFileItem>& items, int selected) override
    {
        list.clear();
        for (const CFileItem& item : items)
            list.push_back(item.getDisplayText());
        marked = selected;
    }
    void unmarkFileList() override { marked = -1; }
    void markFileList(int row) override { marked = row; }
    void showError(int code) override
    {
        errors.push_back(code);
        notes.emplace_back();
    }
    void showFileError(int code, const std::string& note) override
    {
        errors.push_back(code);
        notes.push_back(note);
    }
    int askChannel() override
    {
        ++questions;
        if (duringQuestion)
            duringQuestion();
        return answer;
    }
    std::string askFolder(const std::string& current) override
    {
        foldersAsked.push_back(current);
        return folderReply;
    }
    void callLater(int ms, std::function<void()> work) override
    {
        delays.push_back(ms);
        pending.push_back(std::move(work));
    }

    int* windowBusy = nullptr;
    bool busy = false;
    SpeakerEnabling enabling;
    int slot = -1;
    std::string irName;
    std::string known;
    double irGain = 0.0;
    int dialPosition = -1;
    double dialGain = 0.0;
    bool bypass = false;
    std::string folder;
    std::vector<std::string> list;
    int marked = -1;
    std::vector<int> errors;
    std::vector<std::string> notes; // the line under each error's text, empty when it has none
    int answer = 0;
    int questions = 0;
    std::function<void()> duringQuestion;
    std::string folderReply;
    std::vector<std::string> foldersAsked;
    std::vector<int> delays;
    std::vector<std::function<void()>> pending;
};

struct Page {
    explicit Page(ISpeakerSession& session) : logic(session, view) {}
    RecordingView view;
    SpeakerSimulationLogic logic;
};

// Reply waits stay short and names go out without pauses; nothing here depends on how fast the machine is.
SessionTiming fastTiming()
{
    SessionTiming t;
    t.pollInterval = 1ms;
    t.nameCharacterPause = 0ms;
    return t;
}

class SpeakerLogic : public test::SessionFixture {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orx_speaker_logic_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch = pattern;
        folders->appData = (scratch / "data").string();
        folders->music = (scratch / "Music").string();
        AppSettings::setFolders(folders);
        irFolder = scratch / "IR";
        test::writeIrLibrary(irFolder, warm, left, right);
        AppSettings* settings = AppSettings::createInstance();
        settings->FolderPathAmpI = irFolder.string();
        settings->FolderPathAmpII = irFolder.string();
    }
    void TearDown() override
    {
        if (session)
            session->stopRequestThread();
        SessionFixture::TearDown();
        pages = {};
        AppSettings::deleteInstance();
        AppSettings::setFolders(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    }

    // Both pages made as the window makes them, then the amplifier found and read, the events relayed.
    void connect()
    {
        startSession(true, fastTiming());
        session->addEventCallback(&test::answerAsTheWindowDoes, session);
        for (int ch = 0; ch < 2; ++ch) {
            auto& p = pages[static_cast<std::size_t>(ch)];
            p = std::make_unique<Page>(sessionAdapter);
            p->view.windowBusy = &busyFlag;
            p->logic.refreshAll();
            p->logic.updateControls();
            for (bool on : enabled(page(ch)))
                enabledBeforeConnection.push_back(on);
            p->logic.setPageChannel(2, ch);
        }
        session->startRequestThread();
        session->addRequest(kRequestOpen, 0, 0);
        ASSERT_TRUE(waitFor(kEventReadAll));
        session->setRequestObserver([this](const DeviceRequest& r) {
            std::lock_guard lock(requestLock);
            if (r.type >= kRequestFIRCOE)
                requests.push_back({r.type, r.arg1, r.arg2});
        });
        amp->clearReceived();
    }
    Page& page(int ampCh) { return *pages[static_cast<std::size_t>(ampCh)]; }

    // Every event raised so far reaches both pages, in order, on this thread.
    void relay()
    {
        const test::Events all = events.all();
        for (; relayed < all.size(); ++relayed)
            for (auto& p : pages)
                p->logic.onDeviceEvent(all[relayed].first, all[relayed].second);
    }
    bool waitFor(int event, std::size_t count = 1)
    {
        const bool seen = events.waitFor(event, count);
        relay();
        return seen;
    }
    template <typename F> bool relayUntil(F condition)
    {
        return test::waitUntil([&] {
            relay();
            return condition();
        });
    }
    // Runs what is queued; nothing more may arrive after it. The window answers the updater value with a
    // read-all, which is waited for too.
    void settle()
    {
        const std::size_t updaters = events.valuesOf(kEventUpdater).size();
        const std::size_t reads = events.valuesOf(kEventReadAll).size();
        session->addRequest(kRequestUpdater, 0, 0);
        ASSERT_TRUE(waitFor(kEventUpdater, updaters + 1));
        ASSERT_TRUE(waitFor(kEventReadAll, reads + 1));
        takeRequests();
    }

    std::vector<std::array<int, 3>> takeRequests()
    {
        std::lock_guard lock(requestLock);
        return std::exchange(requests, {});
    }
    static int row(Page& p, const std::string& text)
    {
        const auto found = std::find(p.view.list.begin(), p.view.list.end(), text);
        return found == p.view.list.end() ? -1 : static_cast<int>(found - p.view.list.begin());
    }
    // The user marks the entry in the list.
    void click(Page& p, const std::string& text)
    {
        const int r = row(p, text);
        ASSERT_GE(r, 0) << text;
        p.view.marked = r;
        p.logic.onSelectionChanged(r);
    }
    void doubleClick(Page& p, const std::string& text)
    {
        click(p, text);
        p.logic.onDoubleClick();
    }
    // Chooses a file and waits until its transfer has ended.
    void tryFile(Page& p, const std::string& text)
    {
        click(p, text);
        ASSERT_TRUE(p.logic.isBusy());
        ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    }
    // The IR name edit gets the keyboard, the text is typed and Return ends it.
    static void commitName(Page& p, const std::string& text)
    {
        p.logic.irNameFocused(p.view.irName);
        p.logic.commitIrName(text);
    }
    static void runPending(Page& p)
    {
        for (auto& work : std::exchange(p.view.pending, {}))
            work();
    }
    // The edit, Folder Button, list, scroll bar, UP, DW, BYPASS, dial and INSTALL.
    static std::vector<bool> enabled(Page& p)
    {
        const SpeakerEnabling& e = p.view.enabling;
        std::vector<bool> on(7, e.ready);
        on.push_back(e.dial);
        on.push_back(e.install);
        return on;
    }
    std::string settingsText() const
    {
        std::ifstream in(std::filesystem::path(folders->appData) / "Veltra" / "ORX_Tevo_Utility.ini");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path scratch;
    std::shared_ptr<TempFolders> folders = std::make_shared<TempFolders>();
    std::filesystem::path irFolder;
    std::vector<std::int16_t> warm = ramp(7), left = ramp(11), right = ramp(13);
    ORXSpeakerSession sessionAdapter;
    std::array<std::unique_ptr<Page>, 2> pages;
    std::size_t relayed = 0;
    int busyFlag = 0;
    std::vector<bool> enabledBeforeConnection;
    std::mutex requestLock;
    std::vector<std::array<int, 3>> requests;
};

TEST(SpeakerNames, AmplifierBytesAreWindows1252AndBecomeUtf8)
{
    const std::uint8_t name[] = {'C', 'a', 'f', 0xE9, ' ', 0x80, 0x96, 0x81, 0, 'x'};
    // é U+00E9, € U+20AC, – U+2013; 0x81 has no character and stays U+0081.
    EXPECT_EQ(decodeAmpNameUtf8(name, sizeof name), "Caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\x93\xC2\x81");
    const std::uint8_t full[3] = {'a', 'b', 'c'}; // no zero: the field's size ends it
    EXPECT_EQ(decodeAmpNameUtf8(full, 3), "abc");
}

TEST_F(SpeakerLogic, DisabledUntilConnectedThenShowsTheAmplifiersState)
{
    test::playCrunchBoxOnChannelTwo(*amp);
    connect();
    EXPECT_EQ(enabledBeforeConnection, std::vector<bool>(18, false));
    Page& p = page(1);
    EXPECT_EQ(p.view.slot, 2);
    EXPECT_EQ(p.view.irName, "Crunch Box");
    EXPECT_EQ(p.view.irGain, -10.0);
    EXPECT_EQ(p.view.dialPosition, SpeakerSimulationLogic::kDefaultDialPosition);
    EXPECT_EQ(p.view.dialGain, -12.0);
    EXPECT_EQ(page(0).view.slot, 0);
    // Ready, nothing chosen, no bypass: all but the dial and INSTALL.
    EXPECT_EQ(enabled(p), (std::vector<bool>{true, true, true, true, true, true, true, false, false}));
}

TEST_F(SpeakerLogic, ListsTheFolderAndMovesBetweenFoldersStoringEachOne)
{
    connect();
    Page& p = page(0);
    EXPECT_EQ(p.view.list, (std::vector<std::string>{"[..]", "[Cabs]", "broken.wav", "Other Stereo.wav", "Stereo.wav",
                                                     "Warm Cab.2x12.wav"}));
    EXPECT_EQ(p.view.folder, irFolder.string());

    click(p, "[Cabs]");
    EXPECT_EQ(p.view.marked, -1) << "a folder entry never stays marked";
    doubleClick(p, "[Cabs]");
    EXPECT_EQ(p.logic.folder(), (irFolder / "Cabs").string());
    EXPECT_EQ(p.view.list, (std::vector<std::string>{"[..]", "Inner.wav"}));
    EXPECT_NE(settingsText().find("FolderPathAmpI=" + (irFolder / "Cabs").string()), std::string::npos)
        << settingsText();

    doubleClick(p, "[..]");
    EXPECT_EQ(p.logic.folder(), irFolder.string());
    EXPECT_NE(settingsText().find("FolderPathAmpI=" + irFolder.string() + "\n"), std::string::npos) << settingsText();
    EXPECT_EQ(page(1).logic.folder(), irFolder.string()) << "the other channel keeps its own folder";
    EXPECT_TRUE(takeRequests().empty());
}

TEST_F(SpeakerLogic, TheChosenFolderLosesItsTrailingSeparatorAndACancelChangesNothing)
{
    connect();
    Page& p = page(1);
    p.logic.chooseFolder(); // cancelled
    EXPECT_EQ(p.logic.folder(), irFolder.string());
    p.view.folderReply = (irFolder / "Cabs").string() + "/";
    p.logic.chooseFolder();
    EXPECT_EQ(p.view.foldersAsked, (std::vector<std::string>{irFolder.string(), irFolder.string()}));
    EXPECT_EQ(p.logic.folder(), (irFolder / "Cabs").string()) << "the trailing separator is dropped";
    EXPECT_EQ(p.view.list, (std::vector<std::string>{"[..]", "Inner.wav"}));
    EXPECT_NE(settingsText().find("FolderPathAmpII=" + (irFolder / "Cabs").string() + "\n"), std::string::npos);
    EXPECT_EQ(AppSettings::getInstance()->FolderPathAmpI, irFolder.string());
}

TEST_F(SpeakerLogic, AnAccentedNameIsListedAsItIsAndTheAmplifierGetsItWithoutAccents)
{
    writeWave(irFolder / "C\xC3\xA2" "binet \xC3\x9C \xF0\x9F\x8E\xB8.wav", {warm}); // "Câbinet Ü 🎸.wav"
    connect();
    Page& p = page(0);
    tryFile(p, "C\xC3\xA2" "binet \xC3\x9C \xF0\x9F\x8E\xB8.wav");
    EXPECT_TRUE(p.view.errors.empty());
    const FIRRecord current = amp->model().current[0];
    EXPECT_EQ(nameOf(current), "Cabinet U _");
    EXPECT_EQ(current.coefficients, asCoefficients(warm));
}

TEST_F(SpeakerLogic, ChoosingAMonoFileTransfersItAtTheDialsGainWhileTheWindowWaits)
{
    connect();
    Page& p = page(0);
    click(p, "Warm Cab.2x12.wav");
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}}));
    EXPECT_TRUE(p.logic.isBusy());
    EXPECT_EQ(busyFlag, 1);
    EXPECT_EQ(enabled(p), std::vector<bool>(9, false));
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(busyFlag, 0);
    EXPECT_EQ(p.view.questions, 0);
    const FIRRecord current = amp->model().current[0];
    EXPECT_EQ(nameOf(current), "Warm Cab.2x12");
    EXPECT_EQ(current.FIRCOE, 4115);
    EXPECT_EQ(current.coefficients, asCoefficients(warm));
    EXPECT_EQ(p.logic.selectedIndex(), row(p, "Warm Cab.2x12.wav"));
    EXPECT_EQ(enabled(p), std::vector<bool>(9, true));
    EXPECT_EQ(amp->model().current[1], factoryRecord(5)) << "channel II untouched";
}

TEST_F(SpeakerLogic, StereoFilesTakeTheDefaultChannelOrAskForEachFile)
{
    connect();
    Page& p = page(0);
    AppSettings::getInstance()->PrimaryCh = 1;
    tryFile(p, "Stereo.wav");
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(right));
    AppSettings::getInstance()->PrimaryCh = 0;
    tryFile(p, "Other Stereo.wav");
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(right));
    EXPECT_EQ(p.view.questions, 0);

    AppSettings::getInstance()->PrimaryCh = 2;
    p.view.answer = 1;
    tryFile(p, "Stereo.wav");
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(right));
    p.view.answer = 0;
    tryFile(p, "Other Stereo.wav");
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(right));
    EXPECT_EQ(p.view.questions, 2) << "asked again for every stereo file";
    tryFile(p, "Warm Cab.2x12.wav");
    EXPECT_EQ(p.view.questions, 2) << "never for a mono file";
}

TEST_F(SpeakerLogic, AFileThatCannotBeReadShowsItsErrorAndSendsNothing)
{
    connect();
    Page& p = page(0);
    // Nothing tried before: nothing stays marked.
    click(p, "broken.wav");
    EXPECT_EQ(p.view.errors, std::vector<int>{mstd::kErrFIRFileSampleRate});
    EXPECT_EQ(p.view.notes, std::vector<std::string>{"broken.wav: not a WAV file."});
    EXPECT_FALSE(p.logic.isBusy());
    EXPECT_EQ(p.logic.selectedIndex(), -1);
    EXPECT_EQ(p.view.marked, -1);
    EXPECT_FALSE(p.view.enabling.dial);
    EXPECT_FALSE(p.view.enabling.install);
    EXPECT_TRUE(takeRequests().empty());
}

// The amplifier still plays the file tried before a refused one, so the page goes on showing and using that one.
TEST_F(SpeakerLogic, AfterARefusedFileTheFileSentBeforeStaysMarkedAndUsable)
{
    connect();
    Page& p = page(0);
    tryFile(p, "Warm Cab.2x12.wav");
    takeRequests();
    click(p, "broken.wav");
    EXPECT_EQ(p.view.errors, std::vector<int>{mstd::kErrFIRFileSampleRate});
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(p.logic.selectedIndex(), row(p, "Warm Cab.2x12.wav"));
    EXPECT_EQ(p.view.marked, row(p, "Warm Cab.2x12.wav"));
    EXPECT_TRUE(p.view.enabling.dial);
    EXPECT_TRUE(p.view.enabling.install);
    ASSERT_TRUE(p.logic.triedRecord());
    EXPECT_EQ(nameOf(*p.logic.triedRecord()), "Warm Cab.2x12");

    p.logic.dialMoved(20); // -10 dB
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestFIRCOE, 0, 5181}}));
    p.logic.install();
    ASSERT_TRUE(waitFor(kEventStored));
    const FIRRecord stored = amp->model().slots[0];
    EXPECT_EQ(nameOf(stored), "Warm Cab.2x12");
    EXPECT_EQ(stored.FIRCOE, 5181);
    EXPECT_EQ(stored.coefficients, asCoefficients(warm));
}

// A response that starts after 100 samples of silence: trimming it gives the ramp from its first sample on.
std::vector<std::int16_t> lateRamp(const std::vector<std::int16_t>& ramp)
{
    std::vector<std::int16_t> late(100, 0);
    late.insert(late.end(), ramp.begin(), ramp.end());
    return late;
}

TEST_F(SpeakerLogic, ChangedLoadingSettingsSendTheFileBeingTriedAgainOnce)
{
    writeWave(irFolder / "Late.wav", {lateRamp(warm)});
    connect();
    Page& p = page(0);
    tryFile(p, "Late.wav");
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(lateRamp(warm)));
    takeRequests();

    for (auto& each : pages)
        each->logic.loadingSettingsChanged();
    EXPECT_TRUE(takeRequests().empty()) << "nothing changed, nothing to send";

    AppSettings::getInstance()->TrimSilence = true;
    for (auto& each : pages)
        each->logic.loadingSettingsChanged();
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}}))
        << "the page with a file being tried, once";
    EXPECT_TRUE(p.logic.isBusy());
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(warm));
    EXPECT_EQ(amp->model().current[0].FIRCOE, 4115) << "at the dial's gain";
    ASSERT_TRUE(p.logic.triedFile());
    EXPECT_NE(p.logic.triedFile()->processing.find("trimmed 100 samples"), std::string::npos);

    p.logic.loadingSettingsChanged();
    EXPECT_TRUE(takeRequests().empty()) << "sent once, not at every OK";
}

// Listing again after Properties (the conversion decides which files are listed) keeps the file being tried
// marked wherever it now stands.
TEST_F(SpeakerLogic, ListingTheFolderAgainKeepsTheMarkOnTheFileBeingTried)
{
    connect();
    Page& p = page(0);
    tryFile(p, "Warm Cab.2x12.wav");
    writeWave(irFolder / "Aaa.wav", {warm});
    p.logic.rescanFolder();
    ASSERT_EQ(row(p, "Aaa.wav"), 2);
    EXPECT_EQ(p.logic.selectedIndex(), row(p, "Warm Cab.2x12.wav"));
    EXPECT_EQ(p.view.marked, row(p, "Warm Cab.2x12.wav"));
    EXPECT_TRUE(p.view.enabling.dial);

    EXPECT_FALSE(p.logic.rescanIfListingChanged()) << "the conversion is as it was: the list stays";
    std::filesystem::remove(irFolder / "Warm Cab.2x12.wav");
    AppSettings::getInstance()->ConvertFiles = true;
    EXPECT_TRUE(p.logic.rescanIfListingChanged());
    EXPECT_EQ(p.logic.selectedIndex(), -1) << "a file no longer listed cannot stay marked";
    EXPECT_FALSE(p.view.enabling.dial);
}

TEST_F(SpeakerLogic, ClickingTheFileBeingTriedAgainSendsItAsItLoadsNow)
{
    writeWave(irFolder / "Late.wav", {lateRamp(warm)});
    connect();
    Page& p = page(0);
    tryFile(p, "Late.wav");
    takeRequests();
    const int late = row(p, "Late.wav");

    p.logic.fileClickedAgain(late);
    EXPECT_TRUE(takeRequests().empty()) << "the amplifier has it as it loads now";

    AppSettings::getInstance()->TrimSilence = true;
    p.logic.fileClickedAgain(late);
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}}));
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(warm));

    p.logic.bypassClicked(true);
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    takeRequests();
    p.logic.fileClickedAgain(late);
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}})) << "bypass ends";
    EXPECT_FALSE(p.logic.isBypassed());
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(amp->model().current[0].coefficients, asCoefficients(warm));

    // The file was spoilt since: the amplifier keeps what it has, and the page its mark.
    std::ofstream(irFolder / "Late.wav", std::ios::trunc) << "spoilt";
    p.logic.fileClickedAgain(late);
    EXPECT_EQ(p.view.errors, std::vector<int>{mstd::kErrFIRFileSampleRate});
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(p.logic.selectedIndex(), late);
    EXPECT_TRUE(p.view.enabling.dial);

    p.logic.fileClickedAgain(row(p, "Stereo.wav"));
    EXPECT_TRUE(takeRequests().empty()) << "only the marked entry counts as clicked again";
}

TEST_F(SpeakerLogic, AStereoFileClickedAgainAsksAgainButChangedSettingsKeepTheChannelChosen)
{
    connect();
    Page& p = page(0);
    AppSettings::getInstance()->PrimaryCh = 2;
    p.view.answer = 1;
    tryFile(p, "Stereo.wav");
    ASSERT_EQ(p.view.questions, 1);
    takeRequests();

    AppSettings::getInstance()->MinimumPhase = true;
    p.logic.loadingSettingsChanged();
    EXPECT_EQ(p.view.questions, 1) << "OK in Properties asks nothing";
    EXPECT_EQ(takeRequests().size(), 1u);
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(p.logic.triedFile()->channel, 1);

    p.view.answer = 0;
    p.logic.fileClickedAgain(row(p, "Stereo.wav"));
    EXPECT_EQ(p.view.questions, 2) << "a click asks, as for any stereo file";
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(p.logic.triedFile()->channel, 0);
}

const std::string kTurnOn = ". Turn on Properties \xE2\x96\xB8 IR File Conversion to use it.";

struct EntryCase {
    const char* entry;
    bool convert;
    bool usable;
    std::string tooltip;
};

void PrintTo(const EntryCase& c, std::ostream* os)
{
    *os << c.entry << (c.convert ? " converting" : " strict");
}

// Which entries of a folder are usable with the conversion off and on, and what their tooltips say.
TEST(SpeakerFileChecks, EachFileIsUsableOrSaysWhyNotForEitherSetting)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orx_entry_checks_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path folder = pattern;
    test::writeConversionFiles(folder);
    std::filesystem::create_directories(folder / "Sub");
    std::ofstream(folder / "broken.wav") << "not a sound file";
    const std::vector<CFileItem> items = scanFolder(folder);

    const std::vector<EntryCase> cases{
        {"[..]", false, true, ""},
        {"[Sub]", true, true, ""},
        {"Plain.wav", false, true, "44100 Hz, 16-bit PCM, mono, WAV"},
        {"Plain.wav", true, true, "44100 Hz, 16-bit PCM, mono, WAV"},
        {"Warm 48k.wav", false, false, "Warm 48k.wav: 48000 Hz, 16-bit PCM, mono, WAV" + kTurnOn},
        {"Warm 48k.wav", true, true, "48000 Hz, 16-bit PCM, mono, WAV; converted on loading: sample rate 48000 Hz"},
        {"Float.wav", false, false, "Float.wav: 44100 Hz, 32-bit float, mono, WAV" + kTurnOn},
        {"Float.wav", true, true, "44100 Hz, 32-bit float, mono, WAV; converted on loading: 32-bit float samples"},
        {"Three.wav", false, false, "Three.wav: 3 channels: the amp needs mono or stereo."},
        {"Three.wav", true, false, "Three.wav: 3 channels: the amp needs mono or stereo."},
        {"broken.wav", false, false, "broken.wav: not a WAV file."},
        {"broken.wav", true, false, "broken.wav: not a WAV file."},
    };
    const std::array<std::vector<EntryCheck>, 2> checks{checkEntries(folder.string(), items, false),
                                                        checkEntries(folder.string(), items, true)};
    for (const EntryCase& c : cases) {
        const auto at = std::find_if(items.begin(), items.end(),
                                     [&](const CFileItem& i) { return i.getDisplayText() == c.entry; });
        ASSERT_NE(at, items.end()) << c.entry;
        const std::vector<EntryCheck>& found = checks[c.convert ? 1 : 0];
        ASSERT_EQ(found.size(), items.size());
        EXPECT_EQ(found[static_cast<std::size_t>(at - items.begin())], (EntryCheck{c.usable, c.tooltip}))
            << ::testing::PrintToString(c);
    }

    // The error box's note: the same words for a refused file, and never "turn on" with the conversion on. A
    // file the conversion takes can still fail while it is on (its samples unreadable): the note then only
    // says what the file is.
    EXPECT_EQ(fileErrorNote(folder / "Warm 48k.wav", false), "Warm 48k.wav: 48000 Hz, 16-bit PCM, mono, WAV" + kTurnOn);
    EXPECT_EQ(fileErrorNote(folder / "Warm 48k.wav", true), "Warm 48k.wav: 48000 Hz, 16-bit PCM, mono, WAV.");
    EXPECT_EQ(fileErrorNote(folder / "Plain.wav", true), "Plain.wav: 44100 Hz, 16-bit PCM, mono, WAV.");
    for (bool convert : {false, true})
        EXPECT_EQ(fileErrorNote(folder / "Three.wav", convert), "Three.wav: 3 channels: the amp needs mono or stereo.");

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

TEST_F(SpeakerLogic, ARefusedFileSaysWhyAndTheConversionLetsA48kFileThrough)
{
    test::writeConversionFiles(irFolder);
    connect();
    Page& p = page(0);
    for (bool convert : {false, true}) {
        SCOPED_TRACE(convert ? "converting" : "strict");
        AppSettings::getInstance()->ConvertFiles = convert;
        p.view.errors.clear();
        p.view.notes.clear();
        takeRequests();

        click(p, "Three.wav");
        EXPECT_EQ(p.view.errors, std::vector<int>{mstd::kErrFIRFileChannel});
        EXPECT_EQ(p.view.notes, std::vector<std::string>{"Three.wav: 3 channels: the amp needs mono or stereo."});
        EXPECT_EQ(p.logic.selectedIndex(), -1);
        EXPECT_EQ(p.view.marked, -1);

        if (!convert) {
            click(p, "Warm 48k.wav");
            EXPECT_EQ(p.view.errors, (std::vector<int>{mstd::kErrFIRFileChannel, mstd::kErrFIRFileSampleRate}));
            ASSERT_EQ(p.view.notes.size(), 2U);
            EXPECT_EQ(p.view.notes[1], "Warm 48k.wav: 48000 Hz, 16-bit PCM, mono, WAV" + kTurnOn);
            EXPECT_EQ(p.logic.selectedIndex(), -1);
            EXPECT_FALSE(p.logic.isBusy());
            EXPECT_TRUE(takeRequests().empty());
        } else {
            tryFile(p, "Warm 48k.wav");
            EXPECT_EQ(p.view.errors.size(), 1U) << "only the three-channel file failed";
            EXPECT_EQ(p.logic.selectedIndex(), row(p, "Warm 48k.wav"));
            const FIRRecord current = amp->model().current[0];
            EXPECT_EQ(nameOf(current), "Warm 48k");
            EXPECT_EQ(current.FIRCOE, 4115);
            // Resampling keeps a constant level: away from the edges every coefficient is the file's 8000.
            for (std::size_t i = 100; i < kCoefficientCount - 100; ++i)
                ASSERT_NEAR(current.coefficients[i], 8000, 8) << i;
        }
    }
}

TEST_F(SpeakerLogic, TheDialSendsTheGainAtOnceWithoutWaiting)
{
    connect();
    Page& p = page(0);
    tryFile(p, "Warm Cab.2x12.wav");
    takeRequests();
    p.logic.dialMoved(kMaxDialPosition + 5); // past the end stays at the end: 0 dB
    EXPECT_EQ(p.view.dialPosition, 40);
    EXPECT_EQ(p.view.dialGain, 0.0);
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestFIRCOE, 0, 16383}}));
    EXPECT_FALSE(p.logic.isBusy());
    settle();
    EXPECT_EQ(amp->model().current[0].FIRCOE, 16383);
    EXPECT_EQ(p.view.irGain, -10.0) << "the IR gain waits for a store";
}

TEST_F(SpeakerLogic, InstallStoresIntoTheCurrentAmpTypesSlotAndShowsIt)
{
    amp->setEffectByte(EffectData::kSlotChannel1, 2);
    connect();
    Page& p = page(0);
    EXPECT_EQ(p.view.slot, 2);
    tryFile(p, "Warm Cab.2x12.wav");
    takeRequests();
    p.logic.install();
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestStore, 0, 0}}));
    EXPECT_FALSE(p.logic.isBusy());
    ASSERT_TRUE(waitFor(kEventStored));
    const FIRRecord stored = amp->model().slots[2];
    EXPECT_EQ(nameOf(stored), "Warm Cab.2x12");
    EXPECT_EQ(stored.FIRCOE, 4115);
    EXPECT_EQ(stored.coefficients, asCoefficients(warm));
    EXPECT_EQ(p.view.irName, "Warm Cab.2x12");
    EXPECT_EQ(p.view.irGain, -12.0);
    EXPECT_TRUE(p.view.errors.empty());
}

TEST_F(SpeakerLogic, StoreAndBlockFailuresShowOneErrorEachAndEndTheWait)
{
    connect();
    Page& p = page(0);
    tryFile(p, "Warm Cab.2x12.wav");
    amp->failNextStore();
    p.logic.install();
    ASSERT_TRUE(waitFor(kEventStoreFailed));
    EXPECT_EQ(p.view.errors, std::vector<int>{mstd::kErrFIRDataWrite});

    amp->reportBlockBad(3);
    click(p, "Stereo.wav");
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(p.view.errors, (std::vector<int>{mstd::kErrFIRDataWrite, mstd::kErrReceiveData}));
    EXPECT_EQ(busyFlag, 0);
    EXPECT_TRUE(page(1).logic.isConnected());
    EXPECT_TRUE(page(1).view.errors.empty()) << "the other channel's page shows nothing";
}

TEST_F(SpeakerLogic, AnAmpTypeSwitchShowsThatSlotAndDropsTheChosenFile)
{
    connect();
    Page& p = page(1);
    tryFile(p, "Warm Cab.2x12.wav");
    p.logic.bypassClicked(true);
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    amp->turnAmpTypeKnob(1, 3);
    ASSERT_TRUE(waitFor(kEventSlotSwitched));
    EXPECT_EQ(p.view.slot, 3); // CLEAN
    EXPECT_EQ(p.view.irName, nameOf(factoryRecord(8)));
    EXPECT_EQ(p.view.irGain, firGainDisplay(factoryRecord(8).FIRCOE));
    EXPECT_EQ(p.logic.selectedIndex(), -1);
    EXPECT_FALSE(p.view.bypass);
    EXPECT_FALSE(p.logic.isBypassed());
    EXPECT_FALSE(p.view.enabling.dial);
    EXPECT_EQ(page(0).view.slot, 0) << "channel I did not switch";
}

TEST_F(SpeakerLogic, BypassOnWaitsForTheAmplifierThenOffGoesBackToTheFileOrTheSlot)
{
    connect();
    Page& p = page(0);
    p.logic.bypassClicked(true);
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestBypass, 0, 0}}));
    EXPECT_TRUE(p.logic.isBusy());
    EXPECT_EQ(enabled(p), std::vector<bool>(9, false));
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(nameOf(amp->model().current[0]), "Bypass");
    EXPECT_EQ(enabled(p), (std::vector<bool>{true, true, true, true, true, true, true, false, true}))
        << "INSTALL can store the bypass; the dial has nothing to act on";

    p.logic.bypassClicked(false); // off, nothing chosen: back to the slot at once
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestSelect, 0, 0}}));
    EXPECT_FALSE(p.logic.isBusy());
    EXPECT_EQ(busyFlag, 0);
    settle();
    EXPECT_EQ(amp->model().current[0], factoryRecord(0));

    tryFile(p, "Warm Cab.2x12.wav");
    p.logic.bypassClicked(true);
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    takeRequests();
    p.logic.bypassClicked(false); // off with a file chosen: the file again
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestInstall, 0, 0}}));
    EXPECT_TRUE(p.logic.isBusy());
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    EXPECT_EQ(nameOf(amp->model().current[0]), "Warm Cab.2x12");
}

TEST_F(SpeakerLogic, ChoosingAFileWhileBypassedEndsTheBypass)
{
    connect();
    Page& p = page(0);
    p.logic.bypassClicked(true);
    ASSERT_TRUE(relayUntil([&p] { return !p.logic.isBusy(); }));
    tryFile(p, "Warm Cab.2x12.wav");
    EXPECT_FALSE(p.view.bypass);
    EXPECT_TRUE(p.view.enabling.dial);
}

TEST_F(SpeakerLogic, ANewNameReturnsToTheSlotThenSendsTheNameAndStoresItAfterAPause)
{
    connect();
    Page& p = page(0);
    tryFile(p, "Warm Cab.2x12.wav");
    takeRequests();
    commitName(p, "My Cab");
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestSelect, 0, 0}}));
    ASSERT_EQ(p.view.delays, std::vector<int>{200});
    EXPECT_EQ(p.logic.selectedIndex(), -1);
    EXPECT_FALSE(p.view.enabling.dial);
    // Nothing else may reach the amplifier before the name is stored, or the store would keep it.
    EXPECT_TRUE(p.logic.isBusy());
    EXPECT_EQ(enabled(p), std::vector<bool>(9, false));
    click(p, "Stereo.wav"); // the list is disabled; a selection that got through anyway queues nothing
    EXPECT_TRUE(takeRequests().empty());
    runPending(p); // the pause is over
    EXPECT_EQ(takeRequests(), (std::vector<std::array<int, 3>>{{kRequestName, 0, 0}, {kRequestStore, 0, 0}}));
    EXPECT_FALSE(p.logic.isBusy());
    ASSERT_TRUE(waitFor(kEventStored));
    EXPECT_EQ(nameOf(amp->model().slots[0]), "My Cab");
    EXPECT_EQ(amp->model().slots[0].coefficients, factoryRecord(0).coefficients)
        << "the renamed response is the stored one, not the file tried before";
    EXPECT_EQ(p.view.irName, "My Cab");
}

TEST_F(SpeakerLogic, ANameCommittedWhileUnpluggedOrAfterThePauseSendsNothing)
{
    connect();
    Page& p = page(0);
    commitName(p, "My Cab");
    takeRequests();
    p.logic.onDeviceEvent(kEventDisconnected, 0); // gone during the pause
    runPending(p);
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_FALSE(p.logic.isBusy());
    commitName(p, "Other Name");
    EXPECT_EQ(p.view.irName, "My Cab") << "a disconnected amplifier cannot take a name";
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(p.view.delays.size(), 1U);
}

TEST_F(SpeakerLogic, AnUnchangedOrEmptyNameSendsNothingAndShowsThePreviousName)
{
    connect();
    Page& p = page(0);
    const std::string before = p.view.irName;
    ASSERT_FALSE(before.empty());
    for (const std::string& typed : {before, std::string()}) {
        commitName(p, typed);
        EXPECT_EQ(p.view.irName, before);
    }
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_TRUE(p.view.delays.empty());
}

TEST_F(SpeakerLogic, AStereoFileIsNotSentWhenTheAmplifierWentWhileTheQuestionWasOpen)
{
    connect();
    Page& p = page(0);
    AppSettings::getInstance()->PrimaryCh = 2;
    p.view.answer = 1;
    p.view.duringQuestion = [&p] { p.logic.onDeviceEvent(kEventDisconnected, 0); };
    click(p, "Stereo.wav");
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_FALSE(p.logic.isBusy());
    EXPECT_EQ(busyFlag, 0);
}

TEST_F(SpeakerLogic, TypedNamesLoseTheirAccentsAndAreAtMost63Characters)
{
    connect();
    Page& p = page(0);
    commitName(p, "My Cr\xC3\xA8me Cab " + std::string(70, 'x'));
    const std::string stored = "My Creme Cab " + std::string(50, 'x');
    EXPECT_EQ(p.view.irName, stored) << "the edit shows what the amplifier will hold";
    runPending(p);
    ASSERT_TRUE(waitFor(kEventStored));
    EXPECT_EQ(nameOf(amp->model().slots[0]), stored);
    EXPECT_EQ(p.view.irName, stored);
}

TEST_F(SpeakerLogic, EventsForTheOtherChannelLeaveThisPageWaiting)
{
    connect();
    Page& p = page(0);
    amp->setSilent(true); // the transfer never finishes on its own
    click(p, "Warm Cab.2x12.wav");
    ASSERT_TRUE(p.logic.isBusy());
    p.logic.onDeviceEvent(kEventInstalled, 1);
    p.logic.onDeviceEvent(kEventBypassed, 1);
    EXPECT_TRUE(p.logic.isBusy());
    EXPECT_EQ(busyFlag, 1);
    page(1).logic.onDeviceEvent(kEventError, 0);
    EXPECT_EQ(busyFlag, 1) << "a page that is not waiting leaves the wait cursor alone";
    p.logic.onDeviceEvent(kEventInstalled, 0);
    EXPECT_FALSE(p.logic.isBusy());
    EXPECT_EQ(busyFlag, 0);
}

TEST_F(SpeakerLogic, UnpluggingEndsTheWaitAndDisablesEverything)
{
    connect();
    Page& p = page(0);
    tryFile(p, "Warm Cab.2x12.wav");
    p.logic.onDeviceEvent(kEventDisconnected, 0);
    EXPECT_FALSE(p.logic.isConnected());
    EXPECT_EQ(p.logic.selectedIndex(), -1);
    EXPECT_EQ(enabled(p), std::vector<bool>(9, false));
}


TEST_F(SpeakerLogic, WhatIsStoredGoesIntoTheIrLibraryButNotWhatTheAmplifierRefused)
{
    amp->setEffectByte(EffectData::kSlotChannel2, 2);
    connect();
    const std::filesystem::path library = scratch / "library";
    Page& p = page(1);
    p.logic.setRecorder(libraryRecorder([library] { return library; }));
    tryFile(p, "Warm Cab.2x12.wav");
    p.logic.install();
    ASSERT_TRUE(waitFor(kEventStored));
    commitName(p, "My Cab");
    runPending(p);
    ASSERT_TRUE(waitFor(kEventStored, 2));
    amp->failNextStore();
    tryFile(p, "Other Stereo.wav");
    p.logic.install();
    ASSERT_TRUE(waitFor(kEventStoreFailed));

    const IrLibrary recorded(library);
    const auto entries = recorded.entries();
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[0].kind, EntryKind::Install);
    EXPECT_EQ(entries[0].slot, 7) << "channel II's third amp type";
    EXPECT_EQ(entries[0].ampChannel, 1);
    EXPECT_EQ(entries[0].nameText, "Warm Cab.2x12");
    EXPECT_EQ(entries[0].fircoe, 4115);
    EXPECT_EQ(entries[0].sourceFile, (irFolder / "Warm Cab.2x12.wav").string());
    EXPECT_EQ(recorded.coefficients(entries[0]), asCoefficients(warm));
    EXPECT_EQ(entries[1].kind, EntryKind::Rename);
    EXPECT_EQ(entries[1].slot, 7);
    EXPECT_EQ(entries[1].nameText, "My Cab");
    EXPECT_TRUE(entries[1].sourceFile.empty());
    EXPECT_EQ(recorded.coefficients(entries[1]), asCoefficients(warm)) << "a rename keeps what the slot holds";
    EXPECT_EQ(p.view.known.rfind("known: My Cab", 0), 0U) << p.view.known;
}

} // namespace
} // namespace orx
