// The main window: opening and closing steps, tabs by model code, menu, shortcuts, device event relay.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CORXUtilityDlg.h"

#include "AppIcon.h"
#include "AppSettings.h"
#include "CBackupRestore.h"
#include "CAboutDlg.h"
#include "CEffcetSettingsTab.h"
#include "CImageEx.h"
#include "CIrInfoDlg.h"
#include "CMIDIManager.h"
#include "CMidiPortsDlg.h"
#include "CORXManager.h"
#include "ConnectionStatus.h"
#include "CPropertiesDlg.h"
#include "CSpeakerSimulationTab.h"
#include "ErrorBox.h"
#include "GenericException.h"
#include "StringTable.h"
#include "backends/RtMidiBackend.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QTabBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace orx {

namespace {

struct TabInfo {
    int pageIndex;
    const char* label;
};
// One space before and after the words, as the tabs have always looked.
constexpr TabInfo kTabs[4] = {
    {0, " Effect Settings I "},
    {1, " Effect Settings II "},
    {2, " Speaker Simulation I "},
    {3, " Speaker Simulation II "},
};

struct EditCommand {
    int command;
    const char* text;
    QKeySequence::StandardKey key;
    int (IMenuHandler::*can)();
    void (IMenuHandler::*run)();
};
const EditCommand kEditCommands[] = {
    {kCmdUndo, "Undo(&U)\tCtrl+Z", QKeySequence::Undo, &IMenuHandler::canUndo, &IMenuHandler::undo},
    {kCmdCut, "Cut(&T)\tCtrl+X", QKeySequence::Cut, &IMenuHandler::canCut, &IMenuHandler::cut},
    {kCmdCopy, "Copy(&C)\tCtrl+C", QKeySequence::Copy, &IMenuHandler::canCopy, &IMenuHandler::copy},
    {kCmdPaste, "Paste(&P)\tCtrl+V", QKeySequence::Paste, &IMenuHandler::canPaste, &IMenuHandler::paste},
    {kCmdSelectAll, "Select All(&A)\tCtrl+A", QKeySequence::SelectAll, &IMenuHandler::canSelectAll,
     &IMenuHandler::selectAll},
};

// The diagnostic line of each guarded entry point names that entry point, so a redirected log tells where a
// failure came from. A shortcut is translated before it becomes a command, so its failures are the key
// handling's, whichever command it stood for.
constexpr const char* kCatchKeys = "[CATCH] Exception! -  CORXUtilityDlg::PreTranslateMessage()\n";
constexpr const char* kCatchDeviceEvent = "[CATCH] Exception! -  CORXUtilityDlg::OnDeviceEvent()\n";
constexpr const char* kCatchUnknownCommand = "[CATCH] Exception! -  CORXUtilityDlg::OnCommand()\n";

struct CommandSite {
    int command;
    const char* text;
};
constexpr CommandSite kCommandSites[] = {
    {kCmdExit, "[CATCH] Exception! -  CORXUtilityDlg::OnExit()\n"},
    {kCmdProperties, "[CATCH] Exception! -  CORXUtilityDlg::OnProperties()\n"},
    {kCmdMidiPorts, "[CATCH] Exception! -  CORXUtilityDlg::OnMidiPorts()\n"},
    {kCmdAbout, "[CATCH] Exception! -  CORXUtilityDlg::OnAbout()\n"},
    {kCmdBackUpAmp, "[CATCH] Exception! -  CORXUtilityDlg::OnBackUpAmp()\n"},
    {kCmdRestoreAmp, "[CATCH] Exception! -  CORXUtilityDlg::OnRestoreAmp()\n"},
    {kCmdExportIr, "[CATCH] Exception! -  CORXUtilityDlg::OnExportIr()\n"},
    {kCmdIrInfo, "[CATCH] Exception! -  CORXUtilityDlg::OnIrFileInfo()\n"},
    {kCmdUndo, "[CATCH] Exception! -  CORXUtilityDlg::OnEditUndo()\n"},
    {kCmdCut, "[CATCH] Exception! -  CORXUtilityDlg::OnEditCut()\n"},
    {kCmdCopy, "[CATCH] Exception! -  CORXUtilityDlg::OnEditCopy()\n"},
    {kCmdPaste, "[CATCH] Exception! -  CORXUtilityDlg::OnEditPaste()\n"},
    {kCmdSelectAll, "[CATCH] Exception! -  CORXUtilityDlg::OnEditSelectAll()\n"},
};

const char* commandCatchText(int command)
{
    for (const auto& site : kCommandSites)
        if (site.command == command)
            return site.text;
    return kCatchUnknownCommand;
}

const EditCommand* editCommand(int command)
{
    for (const auto& c : kEditCommands)
        if (c.command == command)
            return &c;
    return nullptr;
}

} // namespace

void applyMidiPortChoice(const MidiPortChoice& choice)
{
    CORXManager* session = CORXManager::getInstance();
    const ChosenPort input{choice.input, false};
    const ChosenPort output{choice.output, false};
    session->setPortChoice(input, output);
    const bool worker = session->isRequestThreadRunning();
    const auto restart = [&] {
        if (worker) {
            session->startRequestThread();
            session->addRequest(kRequestOpen, 0, 0);
        }
    };

    if (!choice.api.empty() && choice.api != currentMidiApi()) {
        // The worker owns the ports while it runs; only with it stopped may the MIDI clients be replaced.
        session->stopRequestThread();
        session->disconnect();
        CMIDIManager::deleteInstance();
        setMidiApi(choice.api);
        CMIDIManager::createInstance();
        restart();
        return;
    }

    CMIDIManager* midi = CMIDIManager::existingInstance();
    if (midi && session->isOpen()) {
        // Listed on a client of our own: the session's is the worker's.
        CMIDIManager lister(CMIDIManager::makeBackend());
        std::vector<std::string> inputs, outputs;
        lister.getInDeviceNames(inputs);
        lister.getOutDeviceNames(outputs);
        if (connectionMissesChoice(input, output, inputs, outputs, midi->inputPortName(), midi->outputPortName())) {
            session->stopRequestThread();
            session->disconnect();
            restart();
            return;
        }
    }
    if (worker && !session->isOpen())
        session->addRequest(kRequestOpen, 0, 0); // search now rather than at the next connection check
}

void CORXUtilityDlg::decodeFirstPageAhead()
{
    // Every model opens on Effect Settings I.
    CImageExResource::decodeAhead(CEffcetSettingsTab::pictures(),
                                  CImageExResource::scaleFor(CImageExResource::applicationDevicePixelRatio()));
}

CORXUtilityDlg::CORXUtilityDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QString::fromStdString(loadString(kStringAppTitle)));
    setWindowIcon(appIcon());
    move(AppSettings::getInstance()->X, AppSettings::getInstance()->Y);

    buildMenu();
    m_tabs = new QTabBar(this);
    m_tabs->setExpanding(false);
    m_tabs->setDrawBase(false);
    const int menuHeight = m_menuBar->sizeHint().height();
    const int tabHeight = m_tabs->sizeHint().height() > 0 ? m_tabs->sizeHint().height() : 24;
    m_menuBar->setGeometry(0, 0, CDevicePage::kWidth, menuHeight);
    m_tabs->setGeometry(0, menuHeight, CDevicePage::kWidth, tabHeight);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("connectionStatus"));
    QFont small = m_status->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_status->setFont(small);
    m_status->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_status->setGeometry(0, menuHeight, CDevicePage::kWidth - 8, tabHeight);
    m_pageFrame = new QWidget(this);
    m_pageFrame->setGeometry(0, menuHeight + tabHeight, CDevicePage::kWidth, CDevicePage::kHeight);
    m_pageFrame->hide();
    m_pageFrame->setEnabled(false);
    setFixedSize(CDevicePage::kWidth, menuHeight + tabHeight + CDevicePage::kHeight);

    // Accelerators: they reach the page shown whatever state the menu items were last left in.
    auto* infoKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), this);
    connect(infoKey, &QShortcut::activated, this, [this] { guarded(kCatchKeys, [&] { showIrInfo(); }); });
    for (const auto& c : kEditCommands) {
        auto* shortcut = new QShortcut(QKeySequence(c.key), this);
        connect(shortcut, &QShortcut::activated, this,
                [this, command = c.command] { guarded(kCatchKeys, [&] { executeCommand(command); }); });
    }

    m_effectI = new CEffcetSettingsTab(this);
    m_effectII = new CEffcetSettingsTab(this);
    m_speakerI = new CSpeakerSimulationTab(this);
    m_speakerII = new CSpeakerSimulationTab(this);
    m_pages = {m_effectI, m_effectII, m_speakerI, m_speakerII};
    for (CDevicePage* p : m_pages) {
        p->setGeometry(m_pageFrame->geometry());
        p->hide();
        connect(p, &CDevicePage::busyChanged, this, [this](bool busy) { setBusyFlag(busy ? 1 : 0); });
    }
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int) { showSelectedPage(); });

    if (m_modelCode != 1) {
        m_modelCode = 1;
        configurePages();
        rebuildTabs();
        showSelectedPage();
    }

    updateStatus();

    CORXManager* session = CORXManager::getInstance();
    session->addEventCallback(&CORXUtilityDlg::postDeviceEvent, this);
    session->startRequestThread();
    session->addRequest(kRequestOpen, 0, 0);
    // Whatever of the first page is still waiting to be decoded is done here, beside the decoding ahead.
    CImageExResource::decodeQueuedHere();
}

CORXUtilityDlg::~CORXUtilityDlg()
{
    // A window destroyed without being closed must still leave the worker no way to reach it.
    if (!m_closed) {
        if (CORXManager* session = CORXManager::existingInstance()) {
            session->stopRequestThread();
            session->removeEventCallback(&CORXUtilityDlg::postDeviceEvent);
        }
    }
}

void CORXUtilityDlg::buildMenu()
{
    m_menuBar = new QMenuBar(this);
    m_menuBar->setNativeMenuBar(false);
    auto add = [this](QMenu* menu, const char* text, int command) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
        return action;
    };
    m_fileMenu = m_menuBar->addMenu(QStringLiteral("File(&F)"));
    add(m_fileMenu, "Back Up Amp...", kCmdBackUpAmp);
    add(m_fileMenu, "Restore Amp...", kCmdRestoreAmp);
    add(m_fileMenu, "Export IR...", kCmdExportIr);
    m_fileMenu->addSeparator();
    // Ctrl+Q quits, as in every program of the desktop; the item's text stays as it is.
    add(m_fileMenu, "Exit(&X)", kCmdExit)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    updateFileItems();
    m_editMenu = m_menuBar->addMenu(QStringLiteral("Edit(&E)"));
    add(m_editMenu, kEditCommands[0].text, kCmdUndo);
    m_editMenu->addSeparator();
    for (std::size_t i = 1; i < std::size(kEditCommands); ++i)
        add(m_editMenu, kEditCommands[i].text, kEditCommands[i].command);
    m_editMenu->addSeparator();
    add(m_editMenu, "Properties...", kCmdProperties);
    // Needed most when nothing is connected, so never disabled.
    add(m_editMenu, "MIDI Ports...", kCmdMidiPorts);
    // What the amplifier will hear of the file tried on the speaker page shown.
    add(m_editMenu, "IR File Info...\tCtrl+I", kCmdIrInfo);
    QMenu* help = m_menuBar->addMenu(QStringLiteral("Help(&H)"));
    add(help, "About(&A)...", kCmdAbout);
    connect(m_fileMenu, &QMenu::aboutToShow, this, [this] { updateFileItems(); });
    connect(m_editMenu, &QMenu::aboutToShow, this, [this] { updateEditItems(); });
}

QAction* CORXUtilityDlg::commandAction(int command) const
{
    for (QAction* menu : m_menuBar->actions())
        if (menu->menu())
            for (QAction* action : menu->menu()->actions())
                if (!action->isSeparator() && action->data().toInt() == command)
                    return action;
    return nullptr;
}

void CORXUtilityDlg::updateEditItems()
{
    if (QAction* info = commandAction(kCmdIrInfo)) {
        const CSpeakerSimulationTab* speaker = shownSpeakerPage();
        info->setEnabled(speaker && speaker->triedFile());
    }
    IMenuHandler* handler = activeMenuHandler();
    if (!handler)
        return; // items keep their state
    for (const auto& c : kEditCommands)
        if (QAction* action = commandAction(c.command))
            action->setEnabled((handler->*c.can)() != 0);
}

CSpeakerSimulationTab* CORXUtilityDlg::shownSpeakerPage() const
{
    const int tab = m_tabs ? m_tabs->currentIndex() : -1;
    if (tab < 0)
        return nullptr;
    CDevicePage* shown = page(m_tabs->tabData(tab).toInt());
    return shown == m_speakerI || shown == m_speakerII ? static_cast<CSpeakerSimulationTab*>(shown) : nullptr;
}

bool CORXUtilityDlg::ampReadyForBackup() const
{
    const CORXManager* session = CORXManager::existingInstance();
    return session && session->isOpen() && m_ampRead && !m_restoring;
}

void CORXUtilityDlg::updateFileItems()
{
    if (!m_fileMenu)
        return;
    const bool ready = ampReadyForBackup();
    if (QAction* action = commandAction(kCmdBackUpAmp))
        action->setEnabled(ready);
    if (QAction* action = commandAction(kCmdRestoreAmp))
        action->setEnabled(ready);
    bool exportable = false;
    if (CSpeakerSimulationTab* speaker = shownSpeakerPage(); speaker && !m_restoring)
        exportable = irToExport(*speaker, *CORXManager::getInstance(), programLibraryFolder()).has_value();
    if (QAction* action = commandAction(kCmdExportIr))
        action->setEnabled(exportable);
}

void CORXUtilityDlg::restoreAmp()
{
    if (m_restoring)
        return;
    m_restoring = true;
    struct Over {
        CORXUtilityDlg* window;
        ~Over()
        {
            window->m_restoring = false;
            if (std::exchange(window->m_closeAfterRestore, false))
                QTimer::singleShot(0, window, &QWidget::close);
        }
    } over{this};
    RestoreOptions options;
    options.library = programLibraryFolder();
    orx::restoreAmp(this, *CORXManager::getInstance(), std::move(options));
}

void CORXUtilityDlg::runCommand(int command)
{
    guarded(commandCatchText(command), [&] { executeCommand(command); });
}

void CORXUtilityDlg::executeCommand(int command)
{
    if (const EditCommand* edit = editCommand(command)) {
        if (IMenuHandler* handler = activeMenuHandler())
            (handler->*edit->run)();
        return;
    }
    switch (command) {
    case kCmdExit:
        QTimer::singleShot(0, this, &QWidget::close);
        break;
    case kCmdBackUpAmp:
        backUpAmp(this, *CORXManager::getInstance(), programLibraryFolder());
        break;
    case kCmdRestoreAmp:
        restoreAmp();
        break;
    case kCmdIrInfo:
        showIrInfo();
        break;
    case kCmdExportIr:
        exportIr(this, shownSpeakerPage(), *CORXManager::getInstance(), programLibraryFolder());
        break;
    case kCmdAbout: {
        CAboutDlg about(this);
        about.exec();
        break;
    }
    case kCmdProperties: {
        CPropertiesDlg properties(this);
        // The stereo default is in the settings only after OK; the loop wiring is already in the amplifier.
        if (properties.exec() == QDialog::Accepted) {
            AppSettings::getInstance()->save();
            // The conversion and the IR processing may have been switched: which files are listed and can be used,
            // and what the file being tried sounds like, change with them.
            m_speakerI->loadingSettingsChanged();
            m_speakerII->loadingSettingsChanged();
        }
        break;
    }
    case kCmdMidiPorts: {
        CMidiPortsDlg ports(this);
        // The dialog has stored and saved the choice; the session takes it only now.
        if (ports.exec() == QDialog::Accepted)
            applyMidiPortChoice(ports.choice());
        updateStatus();
        break;
    }
    default:
        break;
    }
}

void CORXUtilityDlg::showIrInfo()
{
    CSpeakerSimulationTab* speaker = shownSpeakerPage();
    if (!speaker || !speaker->triedFile())
        return;
    // One at a time, following the page it was opened from.
    if (m_irInfo && m_irInfo->page() != speaker)
        m_irInfo->close();
    if (!m_irInfo || m_irInfo->page() != speaker) {
        m_irInfo = new CIrInfoDlg(speaker, this);
        m_irInfo->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        m_irInfo->refresh();
    }
    m_irInfo->show();
    m_irInfo->raise();
    m_irInfo->activateWindow();
}

CDevicePage* CORXUtilityDlg::page(int pageIndex) const
{
    return pageIndex >= 0 && pageIndex < 4 ? m_pages[static_cast<std::size_t>(pageIndex)] : nullptr;
}

IMenuHandler* CORXUtilityDlg::activeMenuHandler() const
{
    const int tab = m_tabs->currentIndex();
    if (tab < 0)
        return nullptr;
    return page(m_tabs->tabData(tab).toInt());
}

void CORXUtilityDlg::configurePages()
{
    m_effectI->setPageChannel(m_modelCode, 0);
    m_effectII->setPageChannel(m_modelCode, 1);
    m_speakerI->setPageChannel(m_modelCode, 0);
    m_speakerII->setPageChannel(m_modelCode, 1);
}

void CORXUtilityDlg::rebuildTabs()
{
    const QSignalBlocker quiet(m_tabs);
    while (m_tabs->count() > 0)
        m_tabs->removeTab(0);
    auto insert = [this](int position, const TabInfo& tab) {
        m_tabs->insertTab(position, QString::fromUtf8(tab.label));
        m_tabs->setTabData(position, tab.pageIndex);
    };
    if (m_modelCode == 1) {
        insert(0, kTabs[0]);
        insert(1, kTabs[2]);
    } else if (m_modelCode == 2) {
        for (int i = 0; i < 4; ++i)
            insert(i, kTabs[i]);
    }
    if (m_tabs->count() > 0)
        m_tabs->setCurrentIndex(0);
    placeStatus();
}

void CORXUtilityDlg::placeStatus()
{
    // From the end of the last tab to the window's right edge, so the words never cover a tab.
    constexpr int kGap = 16;
    constexpr int kRightMargin = 8;
    const int count = m_tabs->count();
    const int left = count > 0 ? m_tabs->tabRect(count - 1).right() + 1 + kGap : kGap;
    const QRect row = m_tabs->geometry();
    m_status->setGeometry(left, row.top(), std::max(0, CDevicePage::kWidth - kRightMargin - left), row.height());
    m_status->raise();
    m_status->setText(m_status->fontMetrics().elidedText(m_statusText, Qt::ElideRight, m_status->width()));
}

void CORXUtilityDlg::updateStatus()
{
    const ConnectionStatus status = describeConnection(currentConnection(m_lastError));
    m_statusText = QString::fromStdString(status.text);
    m_status->setToolTip(QString::fromStdString(status.tooltip));
    placeStatus();
}

void CORXUtilityDlg::showSelectedPage()
{
    const int tab = m_tabs->currentIndex();
    if (tab < 0)
        return;
    const int pageIndex = m_tabs->tabData(tab).toInt();
    if (pageIndex < 0)
        return;
    for (CDevicePage* p : m_pages)
        p->hide();
    if (CDevicePage* p = page(pageIndex))
        p->show();
}

void CORXUtilityDlg::postDeviceEvent(std::int32_t event, std::int32_t value, void* context)
{
    DeviceEventMessage::post(static_cast<CORXUtilityDlg*>(context), event, value);
}

void CORXUtilityDlg::customEvent(QEvent* event)
{
    if (const auto* message = DeviceEventMessage::from(event)) {
        guarded(kCatchDeviceEvent, [&] { onDeviceEventMessage(message->event, message->value); });
        return;
    }
    QDialog::customEvent(event);
}

void CORXUtilityDlg::onDeviceEventMessage(int event, int value)
{
    CORXManager* session = CORXManager::getInstance();
    switch (event) {
    case kEventError:
        m_lastError = value;
        updateStatus(); // before the box, which waits for the user
        showErrorMessage(this, value);
        break;
    case kEventDisconnected:
        m_ampRead = false;
        break;
    case kEventReadAll:
        m_ampRead = true;
        break;
    case kEventConnected:
        m_lastError = 0;
        if (value != m_modelCode) {
            m_modelCode = value;
            configurePages();
            rebuildTabs();
            showSelectedPage();
        }
        session->addRequest(kRequestUpdater, 0, 0);
        break;
    case kEventNoHeartbeat:
        session->addRequest(kRequestOpen, 0, 0);
        break;
    case kEventUpdater:
        session->setLoopSettingsAvailable(loopSettingsAvailableFor(m_modelCode, value));
        session->addRequest(kRequestReadAll, 0, 0);
        break;
    default:
        break;
    }
    for (CDevicePage* p : m_pages)
        p->onDeviceEvent(event, value);
    // Every event, the searching one every few seconds included: the MIDI system's problem is read again then.
    updateStatus();
}

void CORXUtilityDlg::setBusyFlag(int busy)
{
    m_busy = busy;
    if (m_busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void CORXUtilityDlg::closingSteps()
{
    if (m_closed)
        return;
    m_closed = true;
    AppSettings* settings = AppSettings::getInstance();
    settings->X = pos().x();
    settings->Y = pos().y();
    settings->save();
    CORXManager* session = CORXManager::getInstance();
    session->stopRequestThread();
    session->removeEventCallback(&CORXUtilityDlg::postDeviceEvent);
}

void CORXUtilityDlg::closeEvent(QCloseEvent* event)
{
    // The restoring thread uses the session the closing steps stop; the window closes once it has ended.
    if (m_restoring) {
        m_closeAfterRestore = true;
        event->ignore();
        return;
    }
    closingSteps();
    QDialog::closeEvent(event);
}

void CORXUtilityDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape never close the window.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

template <typename F> void CORXUtilityDlg::guarded(const char* catchText, F&& f)
{
    try {
        f();
    } catch (const mstd::CGenericException& e) {
        showErrorMessage(this, e.getCode());
    } catch (...) {
        std::fputs(catchText, stderr);
    }
}

} // namespace orx
