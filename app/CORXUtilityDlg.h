// The program's window: menu, tab strip, the four pages, and the relay of device events to them.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceEventMessage.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QEvent>

#include <array>
#include <cstdint>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QTabBar;
class CDevicePage;
class CEffcetSettingsTab;
class CIrInfoDlg;
class CSpeakerSimulationTab;
class IMenuHandler;

namespace orx {

struct MidiPortChoice;

// Puts the user's MIDI choice into effect: the session searches on the chosen ports from now on; another MIDI
// system means new MIDI clients and a new search; other ports drop a connection held elsewhere, so the next
// search takes them. Runs on the user-interface thread; the worker is stopped before the ports are touched.
void applyMidiPortChoice(const MidiPortChoice& choice);

// Menu and accelerator command numbers.
enum Command : int {
    kCmdExit = 32777,
    kCmdProperties = 32783,
    kCmdAbout = 32785,
    kCmdMidiPorts = 32786,
    kCmdBackUpAmp = 32790,
    kCmdRestoreAmp = 32791,
    kCmdExportIr = 32792,
    kCmdIrInfo = 32793,
    kCmdUndo = 57643,
    kCmdCut = 57635,
    kCmdCopy = 57634,
    kCmdPaste = 57637,
    kCmdSelectAll = 57642,
};

class CORXUtilityDlg : public QDialog {
    Q_OBJECT
public:
    explicit CORXUtilityDlg(QWidget* parent = nullptr);
    // Starts decoding the pictures of the page the window opens on, on other threads, while the program sets up.
    static void decodeFirstPageAhead();
    ~CORXUtilityDlg() override;

    // The session's callback: only posts the event to the window, from whatever thread raised it.
    static void postDeviceEvent(std::int32_t event, std::int32_t value, void* context);
    // The window's own reaction to an event, then the four pages in order.
    void onDeviceEventMessage(int event, int value);

    int modelCode() const { return m_modelCode; }
    QTabBar* tabBar() const { return m_tabs; }
    QMenuBar* menuBar() const { return m_menuBar; }
    // The words right of the tabs about the link to the amplifier.
    QLabel* statusLabel() const { return m_status; }
    CDevicePage* page(int pageIndex) const;
    // The menu handler of the page the selected tab shows; null when there is none. Virtual so that a test
    // can put a handler of its own behind the Edit commands.
    virtual IMenuHandler* activeMenuHandler() const;
    QAction* commandAction(int command) const;
    // A menu command, guarded as that command's own handler.
    void runCommand(int command);
    // The File menu's items as they are when it opens: the amplifier's commands need it connected and read,
    // Export IR a speaker page shown with a response to write.
    void updateFileItems();
    // While a restore runs the window stays open; a close asked for meanwhile happens when it is over.
    bool isRestoring() const { return m_restoring; }

    // Set by pages around transfers; while not 0 the window shows the wait cursor.
    void setBusyFlag(int busy);
    int busyFlag() const { return m_busy; }

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenu();
    void configurePages();
    void rebuildTabs();
    void showSelectedPage();
    void updateEditItems();
    CSpeakerSimulationTab* shownSpeakerPage() const;
    bool ampReadyForBackup() const;
    void restoreAmp();
    void showIrInfo();
    void placeStatus();
    void updateStatus();
    void closingSteps();
    void executeCommand(int command);
    // Runs one entry point: a CGenericException shows its error box, anything else writes `catchText`.
    template <typename F> void guarded(const char* catchText, F&& f);

    int m_modelCode = -1;
    int m_busy = 0;
    bool m_closed = false;
    // Set by the read of everything, cleared when the amplifier goes: a backup needs what the read brought.
    bool m_ampRead = false;
    bool m_restoring = false;
    bool m_closeAfterRestore = false;
    QMenuBar* m_menuBar = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QTabBar* m_tabs = nullptr;
    QLabel* m_status = nullptr;
    QString m_statusText;
    // The code of the last error event; forgotten when the amplifier connects again.
    int m_lastError = 0;
    QWidget* m_pageFrame = nullptr;
    CEffcetSettingsTab* m_effectI = nullptr;
    CEffcetSettingsTab* m_effectII = nullptr;
    CSpeakerSimulationTab* m_speakerI = nullptr;
    CSpeakerSimulationTab* m_speakerII = nullptr;
    std::array<CDevicePage*, 4> m_pages{};
    QPointer<CIrInfoDlg> m_irInfo;
};

} // namespace orx
