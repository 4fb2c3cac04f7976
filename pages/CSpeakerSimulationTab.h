// The speaker simulation page of one amp channel: IR library, trying, installing, bypass, gain and name.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CDevicePage.h"
#include "CFileItem.h"
#include "CImageEx.h"
#include "DeviceRecords.h"
#include "IDTAControlListener.h"
#include "SpeakerSimulationLogic.h"
#include "SpeakerSimulationSession.h"

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CCustomButton;
class CDTADial;
class CDTAListBox;
class CDTAScrollBar;
class CRapidbutton;
class QFontMetrics;
class QLineEdit;
class QListWidgetItem;

namespace orx {

// Asks the user for a folder, starting at `current`; empty when cancelled. Replaceable, so tests answer it.
using FolderQuestion = std::function<std::string(QWidget* owner, const QString& title, const std::string& current)>;
// Empty: the platform's folder dialog. Returns the question it replaces (ScopedOverride puts it back).
FolderQuestion setFolderQuestion(FolderQuestion question);
std::string askFolder(QWidget* owner, const QString& title, const std::string& current);

// Runs `work` once, at least `ms` milliseconds from now, on the user-interface thread, unless `context` is
// destroyed first. Replaceable, so tests decide when the time has come.
using DelayedCall = std::function<void(QObject* context, int ms, std::function<void()> work)>;
// Empty: a single-shot timer. Returns the call it replaces (ScopedOverride puts it back).
DelayedCall setDelayedCall(DelayedCall call);
void callLater(QObject* context, int ms, std::function<void()> work);

// "%5.1f dB".
QString formatGain(double dB);
// A name as the amplifier stores it (8-bit, Windows-1252), up to its first zero byte.
QString decodeAmpName(const std::uint8_t* bytes, std::size_t size);
// The path shortened in its middle with "..." so that it fits `width` pixels in `metrics`, keeping the start and
// the last folder name where they fit.
QString compactPath(const QString& path, const QFontMetrics& metrics, int width);

} // namespace orx

// Layout, painting, focus and the controls' events; what the page does is in SpeakerSimulationLogic, which
// this window shows and forwards the user's actions to. The check of which listed files can be used runs on a
// thread of the page's own and only dims entries and sets their tooltips.
class CSpeakerSimulationTab : public CDevicePage, public IDTAControlListener, private orx::ISpeakerView {
    Q_OBJECT
public:
    // Control identifiers; the controls are also named after them ("1319" ...), so tests can find them.
    enum ControlId {
        kGainDial = 1319,
        kFolderButton = 1320,
        kInstall = 1321,
        kBypass = 1322,
        kAmpChLabel = 1323,
        kIrNameEdit = 1324,
        kAmpTypeLabel = 1325,
        kFolderLabel = 1326,
        kIrGainLabel = 1327,
        kGainLabel = 1328,
        kFileList = 1329,
        kUp = 1330,
        kDown = 1331,
        kScrollBar = 1332,
    };
    // Repeat events of UP and DW while they are held.
    static constexpr int kUpRepeatEvent = 0x8067;
    static constexpr int kDownRepeatEvent = 0x8066;
    static constexpr int kDefaultDialPosition = orx::SpeakerSimulationLogic::kDefaultDialPosition;
    static constexpr int kNameCommitDelayMs = orx::SpeakerSimulationLogic::kNameCommitDelayMs;

    explicit CSpeakerSimulationTab(QWidget* parent);
    ~CSpeakerSimulationTab() override;

    void setPageChannel(int modelCode, int ampCh) override;
    void onDeviceEvent(int event, int value) override;
    QPoint powerLampCentre() const override { return orx::layout::kSpeakerPowerLamp; }
    int onValueChanged(int controlId, int value) override;

    int canUndo() override;
    int canCut() override;
    int canCopy() override;
    int canPaste() override;
    int canSelectAll() override;
    void undo() override;
    void cut() override;
    void copy() override;
    void paste() override;
    void selectAll() override;

    // The user's actions, as the controls report them.
    void chooseFolder();
    void install();
    void bypassClicked();
    void scrollUp();
    void scrollDown();
    void commitIrName();
    void onSelectionChanged();
    void onDoubleClick();

    void refreshAll();
    void refreshAmpType();
    void refreshIrName();
    void refreshIrGain();
    void refreshDialGain();
    void updateControls();
    // After Properties' OK: lists the folder again (the conversion decides which files are listed), checks again
    // in the background which can be used, and sends the file being tried again when it now loads otherwise.
    void loadingSettingsChanged();

    // What the page shows and holds, for tests and the screenshot tool.
    CCustomButton* button(int controlId) const;
    CDTADial* gainDial() const { return m_dial; }
    CDTAListBox* fileList() const { return m_list; }
    CDTAScrollBar* scrollBar() const { return m_scroll; }
    CRapidbutton* upButton() const { return m_up; }
    CRapidbutton* downButton() const { return m_down; }
    QLineEdit* irNameEdit() const { return m_edit; }
    QString ampTypeText() const { return m_ampTypeText; }
    QString irGainText() const { return m_irGainText; }
    QString gainText() const { return m_gainText; }
    QString folderLabelText() const;
    std::string folder() const { return m_logic.folder(); }
    const std::vector<CFileItem>& fileItems() const { return m_logic.fileItems(); }
    int selectedIndex() const { return m_logic.selectedIndex(); }
    bool isBusy() const { return m_logic.isBusy(); }
    bool isConnected() const { return m_logic.isConnected(); }
    double dialGainDb() const { return m_logic.dialGainDb(); }
    const orx::FIRRecord& irRecord() const { return m_logic.irRecord(); }
    std::optional<orx::FIRRecord> triedRecord() const { return m_logic.triedRecord(); }
    std::optional<orx::SpeakerSimulationLogic::TriedFile> triedFile() const { return m_logic.triedFile(); }

Q_SIGNALS:
    // Another file is being tried on this page.
    void fileTriedChanged();

public:
    // Counts the file checks whose results reached the list, so tests can wait for one.
    int fileChecksShown() const { return m_fileChecksShown; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What the logic shows.
    void showBusy(bool busy) override;
    void enableControls(const orx::SpeakerEnabling& enabling) override;
    void showAmpChannel() override;
    void showAmpType(int slot) override;
    void showIrName(const std::string& name) override;
    void showIrKnown(const std::string& text) override;
    void showIrGain(double dB) override;
    void showDialPosition(int position) override;
    void showDialGain(double dB) override;
    void showBypass(bool on) override;
    void showFolder(const std::string& folder) override;
    void showFileList(const std::vector<CFileItem>& items, int selected) override;
    void unmarkFileList() override;
    void markFileList(int row) override;
    void showError(int code) override;
    void showFileError(int code, const std::string& note) override;
    int askChannel() override;
    std::string askFolder(const std::string& current) override;
    void callLater(int ms, std::function<void()> work) override;
    void fileTried() override { Q_EMIT fileTriedChanged(); }

    void layoutControls();
    void refillList(const std::vector<CFileItem>& items);
    void syncScrollBar(int selected);
    void setTopEntry(int top);
    bool editHasFocus() const;
    void startFileCheck();
    void showFileChecks(unsigned generation, const std::vector<orx::EntryCheck>& checks);

    class FileChecker;

    orx::ORXSpeakerSession m_session;
    orx::SpeakerSimulationLogic m_logic{m_session, *this};
    CImageExResource m_background;
    CCustomButton* m_ampChLabel = nullptr;
    CCustomButton* m_folderButton = nullptr;
    CCustomButton* m_install = nullptr;
    CCustomButton* m_bypass = nullptr;
    CRapidbutton* m_up = nullptr;
    CRapidbutton* m_down = nullptr;
    CDTADial* m_dial = nullptr;
    CDTAListBox* m_list = nullptr;
    CDTAScrollBar* m_scroll = nullptr;
    QLineEdit* m_edit = nullptr;
    QString m_ampTypeText;
    QString m_irGainText;
    QString m_gainText;
    // The folder as given, and the label made of it when first drawn or asked for: fitting a path to the label
    // measures text, which a page not shown yet need not do.
    QString m_folder;
    mutable QString m_folderLabelText;
    mutable bool m_folderLabelFitted = true;
    bool m_listUpdating = false;
    QPointer<QWidget> m_focusBeforeWait;
    QFont m_font;
    // Bumped whenever the list is refilled or checked again: a check's results count only for the list it saw.
    unsigned m_checkGeneration = 0;
    int m_fileChecksShown = 0;
    std::unique_ptr<FileChecker> m_checker; // last: its thread stops before anything it reports to goes
};
