// What the speaker simulation page of one amp channel does, without its window: the busy state, what it
// queues and when, which controls are enabled, the folder and the chosen file, the file-to-record
// conversion, bypass, the dial's gain and the IR name, and which files of the folder can be used. The window shows what it is told and forwards what
// the user does; both the session and the window are interfaces, so the logic runs in tests without Qt.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CFileItem.h"
#include "IrFileLoading.h"
#include "DeviceRecords.h"
#include "SpeakerSimulationSession.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <optional>
#include <vector>

namespace orx {

inline constexpr int kMaxDialPosition = 40;

// The dial's gain in dB for a position 0 to 40: 1 dB steps up to -10 dB, then 0.5 dB steps up to 0 dB.
double dialGain(int position);
// The gain the amplifier's FIR gain value stands for, as the IR GAIN LABEL shows it (-30 dB to 0 dB).
double firGainDisplay(std::uint16_t fircoe);

// Whether an entry of the list can be used with the file conversion on or off, from the files' headers alone.
struct EntryCheck {
    bool usable = true; // folder entries always are
    // UTF-8; for a file that is not usable, why (and what would make it usable); for a usable file what it is;
    // empty for folder entries and for files that are not even a known container.
    std::string tooltip;

    bool operator==(const EntryCheck&) const = default;
};

// One result per entry of `items` (listed from `folder`), in their order. Reads only headers, touches no state
// of the program, so it may run on any thread; `stop`, when given, is asked between files and ends the check
// early (the result is then incomplete and meant to be thrown away).
std::vector<EntryCheck> checkEntries(const std::string& folder, const std::vector<CFileItem>& items, bool convert,
                                     const std::function<bool()>& stop = {});

// The line the error box adds for a file that did not load with the conversion on or off (UTF-8). It never
// advises turning on a conversion that is already on.
std::string fileErrorNote(const std::filesystem::path& path, bool convert);

// Which controls may be used.
struct SpeakerEnabling {
    bool ready = false;   // the IR name edit, Folder Button, list, scroll bar, UP, DW and BYPASS
    bool dial = false;    // a file is being tried without bypass
    bool install = false; // there is a file or the bypass to store

    bool operator==(const SpeakerEnabling&) const = default;
};

// What the logic asks of the page's window. Texts are UTF-8.
class ISpeakerView {
public:
    virtual ~ISpeakerView() = default;
    // A transfer this page started is under way (the main window shows the wait cursor) or over.
    virtual void showBusy(bool busy) = 0;
    virtual void enableControls(const SpeakerEnabling& enabling) = 0;
    // The AMP I / AMP II label, for the page's model code and amp channel.
    virtual void showAmpChannel() = 0;
    // The amp type of the IR slot in use; a slot the program has no name for shows nothing.
    virtual void showAmpType(int slot) = 0;
    virtual void showIrName(const std::string& name) = 0;
    // What the IR library knows of the response the amplifier holds in the slot in use ("known: ..."), or why not.
    virtual void showIrKnown(const std::string& text) = 0;
    virtual void showIrGain(double dB) = 0;
    virtual void showDialPosition(int position) = 0;
    virtual void showDialGain(double dB) = 0;
    virtual void showBypass(bool on) = 0;
    virtual void showFolder(const std::string& folder) = 0;
    // The list shows these entries, list index i being item i; `selected` is marked (-1: none).
    virtual void showFileList(const std::vector<CFileItem>& items, int selected) = 0;
    // No entry of the list is marked any more.
    virtual void unmarkFileList() = 0;
    // Entry `row` is marked again (after a file that was refused), without that counting as the user's choice.
    virtual void markFileList(int row) = 0;
    virtual void showError(int code) = 0;
    // The chosen file did not load: the error's text and, under it, `note` (UTF-8) on what the file is.
    virtual void showFileError(int code, const std::string& note) = 0;
    // Which channel of a stereo file to use: 0 left, 1 right.
    virtual int askChannel() = 0;
    // A folder the user chose, starting at `current`; empty when cancelled.
    virtual std::string askFolder(const std::string& current) = 0;
    // Another file is being tried (for what follows the page, such as the IR File Info dialog).
    virtual void fileTried() {}
    // Runs `work` once, at least `ms` milliseconds from now, unless the page is gone by then.
    virtual void callLater(int ms, std::function<void()> work) = 0;
};

// What the page has just stored into one of the amplifier's slots.
struct StoredIr {
    int ampCh = 0;
    int slot = 0;                   // 0 to 9
    FIRRecord record;               // as the amplifier holds it now
    bool coefficientsKnown = false; // false after a rename: the amplifier never reports coefficients
    bool rename = false;
    std::string sourceFile;         // the file tried; empty for the bypass and for a rename
    std::string processing;         // what the loading did to it ("sample rate 48000 Hz"), "bypass", or empty
};

// Where the page records what it stores, and what it is told about a slot; empty functions do nothing.
struct IrRecorder {
    std::function<void(const StoredIr&)> record;
    // The tooltip line of the IR name for the response in a slot (0 to 9) as the amplifier reports it.
    std::function<std::string(int slot, const FIRRecord& amp)> describe;
};

class SpeakerSimulationLogic {
public:
    static constexpr int kDefaultDialPosition = 18; // -12 dB
    static constexpr int kNameCommitDelayMs = 200;
    static constexpr std::size_t kMaxNameLength = kIrNameLength - 1;

    SpeakerSimulationLogic(ISpeakerSession& session, ISpeakerView& view);

    void setRecorder(IrRecorder recorder) { m_recorder = std::move(recorder); }

    // From the main window.
    void setPageChannel(int modelCode, int ampCh);
    void onDeviceEvent(int event, int value);

    // The user's actions.
    void chooseFolder();
    void onSelectionChanged(int row); // the list's marked entry, -1 for none
    // A click on the entry that is already marked: the file is loaded again as it would be loaded now and sent
    // when that is not what the amplifier has (other settings, another channel, the file changed, bypass on).
    void fileClickedAgain(int row);
    // The settings that shape a loaded file (conversion, IR processing, stereo channel) may have changed: the
    // file being tried goes to the amplifier again, once, when they did.
    void loadingSettingsChanged();
    // Lists the folder again, keeping the mark on the file being tried.
    void rescanFolder();
    // The same, only when the conversion setting (which decides what is listed) is not the one the list was made
    // with; false when the list stays as it is.
    bool rescanIfListingChanged();
    void onDoubleClick();
    void install();
    void bypassClicked(bool on); // the switch's new state
    void dialMoved(int position);
    void irNameFocused(const std::string& text); // the edit's text when it got the keyboard
    void commitIrName(const std::string& text);  // the edit's text when typing ended

    void refreshAll();
    void refreshAmpType();
    void refreshIrName();
    void refreshIrGain();
    void refreshDialGain();
    void updateControls();

    int modelCode() const { return m_modelCode; }
    int ampChannel() const { return m_ampCh; }
    bool isConnected() const { return m_connected; }
    bool isBusy() const { return m_busy; }
    bool isBypassed() const { return m_bypass; }
    int dialPosition() const { return m_dialPosition; }
    double dialGainDb() const { return m_dialGain; }
    const std::string& folder() const { return m_folder; }
    const std::vector<CFileItem>& fileItems() const { return m_items; }
    int selectedIndex() const { return m_selected; }
    const FIRRecord& irRecord() const { return m_record; }
    // The file being tried: where it is, the channel its taps came from, what its loading did.
    struct TriedFile {
        std::string path;
        int channel = 0;
        FIRRecord record;
        std::string processing;
        std::optional<double> processedShare; // see LoadedIr
    };
    std::optional<TriedFile> triedFile() const
    {
        if (m_selected == -1 || m_triedFile.empty())
            return std::nullopt;
        return TriedFile{m_triedFile, m_triedChannel, m_record, m_triedProcessing, m_triedShare};
    }
    // The file being tried as it went to the amplifier; nothing when none is, or the bypass plays instead.
    std::optional<FIRRecord> triedRecord() const
    {
        const auto tried = triedFile();
        if (!tried || m_bypass)
            return std::nullopt;
        return tried->record;
    }

private:
    bool followsAmpChannel() const { return m_ampCh == 0 || m_ampCh == 1; }
    void setFolder(const std::string& folder);
    void storeFolder();
    void scanFolder();
    void clearSelection();
    // After a file that did not load, the mark goes back to the file the amplifier still plays.
    void keepMark(int previous);
    // Returns what the loading did to the file ("" when it loaded as it is).
    LoadedIr loadIRFile(const std::string& folder, const std::string& fileName);
    void showLoadError(const std::string& path, int code);
    // Takes a loaded file as the one being tried.
    void adoptTried(const std::string& path, const LoadedIr& loaded);
    void tryAdopted();
    // Loads the file being tried again and sends it when that changes what the amplifier plays; `askChannel`
    // false keeps the channel of a stereo file the user chose before.
    void sendTriedAgain(bool askChannel);
    void recordStored();
    void refreshIrKnown();
    void beginBusy();
    void endBusy();
    void setBypassOff();
    void sendChosenFile();

    ISpeakerSession& m_session;
    ISpeakerView& m_view;
    int m_modelCode = -1;
    int m_ampCh = -1;
    bool m_connected = false;
    bool m_busy = false;
    bool m_bypass = false;
    int m_dialPosition = 0; // where a new dial stands
    double m_dialGain = 0.0;
    std::string m_irNameText;
    std::string m_previousIrName;
    int m_selected = -1;
    int m_lastClicked = -1;
    std::string m_folder;
    std::vector<CFileItem> m_items;
    bool m_listedConverting = false; // the conversion setting m_items were listed with
    FIRRecord m_record;
    std::string m_triedFile;       // the file m_record came from
    std::string m_triedProcessing; // what its loading did to it
    std::optional<double> m_triedShare;
    int m_triedChannel = 0;        // the file's channel its taps came from
    LoadingSettings m_triedWith;   // the settings it was loaded with
    struct PendingStore {
        bool rename = false;
        std::string sourceFile;
        std::string processing;
    };
    std::optional<PendingStore> m_pendingStore; // a store asked for and not reported yet
    IrRecorder m_recorder;
};

} // namespace orx
