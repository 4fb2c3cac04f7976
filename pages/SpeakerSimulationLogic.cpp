// The speaker simulation page's work with the amplifier, its folder and its chosen file.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpeakerSimulationLogic.h"

#include "AppSettings.h"
#include "FIRGain.h"
#include "FolderScan.h"
#include "GenericException.h"
#include "IrFileFacts.h"
#include "IrNameText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace orx {

double dialGain(int position)
{
    position = std::clamp(position, 0, kMaxDialPosition);
    return position <= 20 ? position - 30.0 : (position - 40) / 2.0;
}

double firGainDisplay(std::uint16_t fircoe)
{
    const auto g = static_cast<std::int16_t>(fircoe);
    // The amplifier's gains are 14-bit; a value that reads as negative has no decibels, so it shows the floor.
    if (g <= 0)
        return -30.0;
    const double d = 20.0 * std::log10(g / 16384.0);
    double gain = 0.0;
    if (d < -30.0)
        gain = -30.0;
    else if (d > 0.0)
        gain = 0.0;
    else
        gain = static_cast<int>(2.0 * d - 0.5) / 2.0; // half-dB steps, so -12.04 and -11.9 both read -12.0
    return static_cast<int>(gain * 10.0) / 10.0;
}

std::vector<EntryCheck> checkEntries(const std::string& folder, const std::vector<CFileItem>& items, bool convert,
                                     const std::function<bool()>& stop)
{
    std::vector<EntryCheck> checks(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].kind() != CFileItem::ResponseFile)
            continue;
        if (stop && stop())
            break;
        const std::filesystem::path path = childFolder(folder, items[i].getFileName());
        const IrFileFacts facts = inspectIrFile(path);
        EntryCheck& check = checks[i];
        check.usable = convert ? facts.loadsWithConversion : facts.loadsWithoutConversion;
        if (!check.usable)
            check.tooltip = irFileNote(path, facts);
        else if (!facts.loadsWithoutConversion && !facts.conversion.empty())
            check.tooltip = facts.description + "; converted on loading: " + facts.conversion;
        else
            check.tooltip = facts.description;
    }
    return checks;
}

std::string fileErrorNote(const std::filesystem::path& path, bool convert)
{
    return irFileNote(path, inspectIrFile(path), convert);
}

SpeakerSimulationLogic::SpeakerSimulationLogic(ISpeakerSession& session, ISpeakerView& view)
    : m_session(session), m_view(view)
{
    m_record.FIRCOE = dBToFIRCOE(-10.0);
}

void SpeakerSimulationLogic::setPageChannel(int modelCode, int ampCh)
{
    m_modelCode = modelCode;
    m_ampCh = ampCh;
    m_view.showAmpChannel();
    // A new model starts from the default gain, sending nothing.
    m_dialPosition = kDefaultDialPosition;
    m_view.showDialPosition(m_dialPosition);
    refreshDialGain();
    m_bypass = false;
    m_view.showBypass(false);
    std::string folder;
    if (AppSettings* settings = AppSettings::getInstance())
        folder = settings->folderOfAmpChannel(m_ampCh);
    setFolder(folder);
}

void SpeakerSimulationLogic::setFolder(const std::string& folder)
{
    m_folder = folder;
    m_view.showFolder(m_folder);
    scanFolder();
    m_view.showFileList(m_items, m_selected);
}

void SpeakerSimulationLogic::storeFolder()
{
    AppSettings* settings = AppSettings::getInstance();
    if (!settings)
        return;
    (m_ampCh == 0 ? settings->FolderPathAmpI : settings->FolderPathAmpII) = m_folder;
    settings->save();
}

void SpeakerSimulationLogic::scanFolder()
{
    m_listedConverting = loadingSettingsOf(AppSettings::getInstance()).convert;
    m_items = orx::scanFolder(m_folder, m_listedConverting);
    // Indices refer to the new list: a mark that no longer stands on a file is dropped.
    if (m_selected >= static_cast<int>(m_items.size()) ||
        (m_selected >= 0 && m_items[static_cast<std::size_t>(m_selected)].kind() != CFileItem::ResponseFile))
        m_selected = -1;
}

void SpeakerSimulationLogic::rescanFolder()
{
    std::string markedName;
    if (m_selected >= 0 && m_selected < static_cast<int>(m_items.size()))
        markedName = m_items[static_cast<std::size_t>(m_selected)].getFileName();
    m_listedConverting = loadingSettingsOf(AppSettings::getInstance()).convert;
    m_items = orx::scanFolder(m_folder, m_listedConverting);
    m_lastClicked = -1;
    // The file being tried keeps its mark wherever it now stands; one no longer listed loses it.
    const auto found = std::find_if(m_items.begin(), m_items.end(), [&](const CFileItem& item) {
        return !markedName.empty() && item.kind() == CFileItem::ResponseFile && item.getFileName() == markedName;
    });
    m_selected = found == m_items.end() ? -1 : static_cast<int>(found - m_items.begin());
    m_view.showFileList(m_items, m_selected);
    updateControls();
}

bool SpeakerSimulationLogic::rescanIfListingChanged()
{
    if (m_listedConverting == loadingSettingsOf(AppSettings::getInstance()).convert)
        return false;
    rescanFolder();
    return true;
}

void SpeakerSimulationLogic::clearSelection()
{
    m_selected = -1;
    m_view.unmarkFileList();
    updateControls();
}

void SpeakerSimulationLogic::chooseFolder()
{
    const std::string chosen = m_view.askFolder(removeTrailingSeparator(m_folder));
    if (chosen.empty())
        return;
    clearSelection();
    setFolder(removeTrailingSeparator(chosen));
    storeFolder();
}

void SpeakerSimulationLogic::onDoubleClick()
{
    if (m_lastClicked < 0 || m_lastClicked >= static_cast<int>(m_items.size()))
        return;
    const CFileItem& item = m_items[static_cast<std::size_t>(m_lastClicked)];
    std::string folder;
    if (item.kind() == CFileItem::ParentFolder)
        folder = parentFolder(m_folder);
    else if (item.kind() == CFileItem::Folder)
        folder = childFolder(m_folder, item.getFileName());
    else
        return; // the single click has already chosen the file
    m_selected = -1;
    m_lastClicked = -1;
    setFolder(folder);
    clearSelection();
    storeFolder();
}

LoadedIr SpeakerSimulationLogic::loadIRFile(const std::string& folder, const std::string& fileName)
{
    return loadIrFile(childFolder(folder, fileName), AppSettings::getInstance(), [this] { return m_view.askChannel(); });
}

void SpeakerSimulationLogic::onSelectionChanged(int row)
{
    try {
        const int previous = m_selected;
        m_selected = row;
        if (m_selected == -1 || m_selected >= static_cast<int>(m_items.size())) {
            clearSelection();
            m_lastClicked = -1;
            return;
        }
        m_lastClicked = m_selected;
        // A copy: the channel question below runs the event loop, and a device event may rescan the folder.
        const CFileItem item = m_items[static_cast<std::size_t>(m_selected)];
        if (item.kind() != CFileItem::ResponseFile) {
            clearSelection();
            return;
        }
        const int chosen = m_selected;
        const std::string folder = m_folder;
        const std::string path = childFolder(folder, item.getFileName());
        LoadedIr loaded;
        try {
            loaded = loadIRFile(folder, item.getFileName());
        } catch (const mstd::CGenericException& e) {
            // Nothing was sent, so the amplifier still plays what was tried before: that stays marked and usable.
            if (m_selected == chosen && m_folder == folder)
                keepMark(previous);
            showLoadError(path, e.getCode());
            return;
        }
        // While the question was open the amplifier may have gone, or the mark may have been taken away.
        if (m_selected != chosen || m_folder != folder)
            return;
        if (!m_connected || m_busy) {
            keepMark(previous);
            return;
        }
        adoptTried(path, loaded);
        m_record.irName = irNameOfFile(item.getDisplayText());
        tryAdopted();
    } catch (...) {
        std::fputs("[CATCH] Exception! - CSpeakerSimulationTab::OnLbnSelchangeFileList()\n", stderr);
    }
}

void SpeakerSimulationLogic::keepMark(int previous)
{
    if (previous < 0 || previous >= static_cast<int>(m_items.size()) || m_triedFile.empty()) {
        clearSelection();
        return;
    }
    m_selected = previous;
    m_view.markFileList(previous);
    updateControls();
}

void SpeakerSimulationLogic::showLoadError(const std::string& path, int code)
{
    const AppSettings* settings = AppSettings::getInstance();
    m_view.showFileError(code, fileErrorNote(path, settings && settings->ConvertFiles));
}

void SpeakerSimulationLogic::adoptTried(const std::string& path, const LoadedIr& loaded)
{
    m_record.coefficients = loaded.coefficients;
    m_triedFile = path;
    m_triedProcessing = loaded.processing;
    m_triedShare = loaded.processedShare;
    m_triedChannel = loaded.channel;
    m_triedWith = loadingSettingsOf(AppSettings::getInstance());
}

void SpeakerSimulationLogic::fileClickedAgain(int row)
{
    try {
        if (row < 0 || row != m_selected)
            return;
        m_lastClicked = row;
        sendTriedAgain(true);
    } catch (...) {
        std::fputs("[CATCH] Exception! - CSpeakerSimulationTab::OnLbnSelchangeFileList()\n", stderr);
    }
}

void SpeakerSimulationLogic::loadingSettingsChanged()
{
    if (m_selected == -1 || m_triedFile.empty() || m_triedWith == loadingSettingsOf(AppSettings::getInstance()))
        return;
    sendTriedAgain(false);
}

void SpeakerSimulationLogic::sendTriedAgain(bool askChannel)
{
    if (m_selected == -1 || m_triedFile.empty() || !m_connected || m_busy)
        return;
    const int chosen = m_selected;
    const std::string path = m_triedFile;
    const int channelBefore = m_triedChannel;
    LoadedIr loaded;
    try {
        loaded = loadIrFile(path, AppSettings::getInstance(), [this, askChannel, channelBefore] {
            return askChannel ? m_view.askChannel() : channelBefore;
        });
    } catch (const mstd::CGenericException& e) {
        // The amplifier keeps what it was sent last, and so does the mark.
        showLoadError(path, e.getCode());
        return;
    }
    if (m_selected != chosen || m_triedFile != path || !m_connected || m_busy)
        return;
    const bool unchanged = loaded.coefficients == m_record.coefficients && !m_bypass;
    adoptTried(path, loaded);
    if (!unchanged)
        tryAdopted();
}

// The file just taken as the one being tried goes to the amplifier; trying a file ends the bypass.
void SpeakerSimulationLogic::tryAdopted()
{
    beginBusy();
    sendChosenFile();
    if (m_bypass)
        setBypassOff();
    m_view.fileTried();
}

void SpeakerSimulationLogic::setBypassOff()
{
    m_bypass = false;
    m_view.showBypass(false);
    updateControls();
}

// The file being tried goes to the amplifier (again) at the dial's gain; event 9 ends the wait.
void SpeakerSimulationLogic::sendChosenFile()
{
    m_record.FIRCOE = dBToFIRCOE(m_dialGain);
    m_session.setSpeakerTabFIRCOE(m_record);
    m_session.addRequest(kRequestInstall, m_ampCh, 0);
}

void SpeakerSimulationLogic::install()
{
    // What is stored is what is being tried: the bypass, or the file.
    if (m_bypass)
        m_pendingStore = PendingStore{false, {}, "bypass"};
    else
        m_pendingStore = PendingStore{false, m_triedFile, m_triedProcessing};
    m_session.addRequest(kRequestStore, m_ampCh, 0);
}

void SpeakerSimulationLogic::recordStored()
{
    const std::optional<PendingStore> pending = std::exchange(m_pendingStore, std::nullopt);
    if (!pending || !m_recorder.record || !followsAmpChannel())
        return;
    const int slot = m_session.irSlot(m_ampCh);
    if (slot < 0 || slot >= static_cast<int>(kSlotsPerChannel))
        return;
    StoredIr stored;
    stored.ampCh = m_ampCh;
    stored.slot = slot + m_ampCh * static_cast<int>(kSlotsPerChannel);
    stored.record = m_session.currentIR(m_ampCh);
    stored.rename = pending->rename;
    stored.coefficientsKnown = !pending->rename;
    stored.sourceFile = pending->sourceFile;
    stored.processing = pending->processing;
    m_recorder.record(stored);
}

void SpeakerSimulationLogic::refreshIrKnown()
{
    if (!followsAmpChannel() || !m_recorder.describe)
        return;
    const int slot = m_session.irSlot(m_ampCh);
    if (slot < 0 || slot >= static_cast<int>(kSlotsPerChannel)) {
        m_view.showIrKnown({});
        return;
    }
    m_view.showIrKnown(
        m_recorder.describe(slot + m_ampCh * static_cast<int>(kSlotsPerChannel), m_session.currentIR(m_ampCh)));
}

void SpeakerSimulationLogic::bypassClicked(bool on)
{
    m_bypass = on;
    if (m_bypass) {
        beginBusy();
        m_session.addRequest(kRequestBypass, m_ampCh, 0);
    } else if (m_selected == -1) {
        // Back to the response stored for the current amp type; nothing to wait for.
        m_session.addRequest(kRequestSelect, m_ampCh, 0);
        updateControls();
    } else {
        beginBusy();
        sendChosenFile();
    }
}

void SpeakerSimulationLogic::dialMoved(int position)
{
    m_dialPosition = std::clamp(position, 0, kMaxDialPosition);
    m_view.showDialPosition(m_dialPosition);
    refreshDialGain();
    m_session.addRequest(kRequestFIRCOE, m_ampCh, dBToFIRCOE(m_dialGain));
}

void SpeakerSimulationLogic::beginBusy()
{
    m_busy = true;
    m_view.showBusy(true);
    updateControls();
}

void SpeakerSimulationLogic::endBusy()
{
    // Only the page that set the wait cursor takes it away; the other page may still be waiting.
    if (!m_busy)
        return;
    m_busy = false;
    m_view.showBusy(false);
}

void SpeakerSimulationLogic::updateControls()
{
    const bool ready = m_connected && !m_busy;
    const bool fileChosen = m_selected != -1;
    m_view.enableControls({ready, ready && fileChosen && !m_bypass, ready && (fileChosen || m_bypass)});
}

void SpeakerSimulationLogic::refreshAll()
{
    m_view.showAmpChannel();
    refreshAmpType();
    refreshIrName();
    refreshIrGain();
    refreshDialGain();
}

void SpeakerSimulationLogic::refreshDialGain()
{
    m_dialGain = dialGain(m_dialPosition);
    m_view.showDialGain(m_dialGain);
}

void SpeakerSimulationLogic::refreshIrGain()
{
    if (!followsAmpChannel())
        return;
    m_view.showIrGain(firGainDisplay(m_session.currentIR(m_ampCh).FIRCOE));
}

void SpeakerSimulationLogic::refreshIrName()
{
    if (!followsAmpChannel())
        return;
    const FIRRecord current = m_session.currentIR(m_ampCh);
    m_irNameText = decodeAmpNameUtf8(current.irName.data(), current.irName.size());
    m_view.showIrName(m_irNameText);
    refreshIrKnown();
}

void SpeakerSimulationLogic::refreshAmpType()
{
    if (!followsAmpChannel())
        return;
    m_view.showAmpType(m_session.irSlot(m_ampCh));
    clearSelection();
    if (m_bypass)
        setBypassOff();
}

void SpeakerSimulationLogic::irNameFocused(const std::string& text)
{
    m_irNameText = text;
    m_previousIrName = m_irNameText;
}

void SpeakerSimulationLogic::commitIrName(const std::string& text)
{
    // What the amplifier can show; the edit then shows what was stored, not what was typed.
    std::string name = asciiIrName(text).substr(0, kMaxNameLength);
    // A disconnected amplifier cannot take a name: the edit goes back to what the amplifier has.
    if (!m_connected)
        name = m_previousIrName;
    if (name.empty())
        name = m_previousIrName;
    m_irNameText = name;
    const bool renamed = name != m_previousIrName;
    // Before anything below can move the focus and bring us back here.
    m_previousIrName = name;
    m_view.showIrName(m_irNameText);
    if (!renamed)
        return;
    clearSelection();
    if (m_bypass)
        setBypassOff();
    m_session.addRequest(kRequestSelect, m_ampCh, 0);
    IrName bytes{};
    std::memcpy(bytes.data(), name.data(), std::min(name.size(), bytes.size() - 1)); // 7-bit text
    // The amplifier needs time to return to its stored response before it takes the name. Until the name and
    // the store are queued the page waits, so no file, bypass or gain can slip in between and be stored too.
    beginBusy();
    m_view.callLater(kNameCommitDelayMs, [this, bytes, ampCh = m_ampCh] {
        if (m_connected) {
            m_session.setSpeakerTabIrName(bytes);
            m_session.addRequest(kRequestName, ampCh, 0);
            m_pendingStore = PendingStore{true, {}, {}};
            m_session.addRequest(kRequestStore, ampCh, 0);
        }
        endBusy();
        updateControls();
    });
}

void SpeakerSimulationLogic::onDeviceEvent(int event, int value)
{
    const bool mine = value == m_ampCh;
    switch (event) {
    case kEventError:
        endBusy();
        updateControls();
        break;
    case kEventConnected:
        m_connected = true;
        updateControls();
        break;
    case kEventDisconnected:
        m_connected = false;
        endBusy();
        updateControls();
        clearSelection();
        break;
    case kEventReadAll:
    case kEventReset:
        refreshAll();
        updateControls();
        break;
    case kEventSlotSwitched:
        if (mine) {
            refreshAmpType();
            refreshIrName();
            refreshIrGain();
            updateControls();
        }
        break;
    case kEventBypassed:
    case kEventInstalled:
        if (mine) {
            endBusy();
            updateControls();
        }
        break;
    case kEventBlockBad:
    case kEventStoreFailed:
        if (mine) {
            if (event == kEventStoreFailed)
                m_pendingStore.reset(); // nothing was stored, so nothing is recorded
            m_view.showError(event == kEventBlockBad ? mstd::kErrReceiveData : mstd::kErrFIRDataWrite);
            endBusy();
            updateControls();
        }
        break;
    case kEventStored:
        if (mine) {
            recordStored();
            refreshIrName();
            refreshIrGain();
            updateControls();
        }
        break;
    default:
        break;
    }
}

} // namespace orx
