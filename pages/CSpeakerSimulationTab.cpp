// The speaker simulation page: the amplifier's display above a foot-switch box with the IR file browser.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CSpeakerSimulationTab.h"

#include "IrNameText.h"

#include "LibraryRecorder.h"

#include "PageLayout.h"

#include "CChannelDlg.h"
#include "CCustomButton.h"
#include "CDTADial.h"
#include "CDTAListBox.h"
#include "CDTAScrollBar.h"
#include "CRapidbutton.h"
#include "ErrorBox.h"
#include "FolderScan.h"
#include "GenericException.h"
#include "AppSettings.h"
#include "StringTable.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace orx {

namespace {

FolderQuestion g_folderQuestion;
DelayedCall g_delayedCall;

} // namespace

FolderQuestion setFolderQuestion(FolderQuestion question)
{
    return std::exchange(g_folderQuestion, std::move(question));
}

std::string askFolder(QWidget* owner, const QString& title, const std::string& current)
{
    if (g_folderQuestion)
        return g_folderQuestion(owner, title, current);
    return QFileDialog::getExistingDirectory(owner, title, QString::fromStdString(current), QFileDialog::ShowDirsOnly)
        .toStdString();
}

DelayedCall setDelayedCall(DelayedCall call)
{
    return std::exchange(g_delayedCall, std::move(call));
}

void callLater(QObject* context, int ms, std::function<void()> work)
{
    if (g_delayedCall) {
        g_delayedCall(context, ms, std::move(work));
        return;
    }
    QTimer::singleShot(ms, context, std::move(work));
}

QString formatGain(double dB)
{
    return QString::asprintf("%5.1f dB", dB);
}

QString decodeAmpName(const std::uint8_t* bytes, std::size_t size)
{
    return QString::fromStdString(decodeAmpNameUtf8(bytes, size));
}

QString compactPath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const QString ellipsis = QStringLiteral("...");
    const QChar separator = QChar(u'/');
    const int lastCut = static_cast<int>(path.lastIndexOf(separator));
    // Keep the last folder name whole and as much of the start as fits: "/home/us.../Veltra".
    if (lastCut > 0) {
        const QString tail = path.mid(lastCut);
        for (int keep = lastCut - 1; keep >= 0; --keep) {
            const QString candidate = path.left(keep) + ellipsis + tail;
            if (metrics.horizontalAdvance(candidate) <= width)
                return candidate;
        }
    }
    // Even the last name alone is too long: cut its end instead.
    QString name = path.mid(lastCut + 1);
    while (!name.isEmpty() && metrics.horizontalAdvance(ellipsis + separator + name + ellipsis) > width)
        name.chop(1);
    return ellipsis + separator + name + ellipsis;
}

} // namespace orx

namespace {

namespace layout = orx::layout;

constexpr int kPagePicture = layout::kSpeakerPage;
const QColor kNearBlack(5, 5, 5);

constexpr QRect kAmpTypeRect = layout::kAmpTypeText;
constexpr QRect kIrNameRect = layout::kIrNameEdit;
constexpr QRect kIrGainRect = layout::kIrGainText;
constexpr QRect kGainRect = layout::kDialGainText;
constexpr QRect kDialRect(layout::kGainDial.at, layout::kGainDialPlacement);
constexpr QRect kFolderLabelRect = layout::kFolderText;
constexpr QRect kListRect = layout::kFileList;
constexpr QRect kScrollRect = layout::kScrollBar;
constexpr QPoint kPowerLampCentre = layout::kSpeakerPowerLamp;
constexpr int kPowerLampRadius = layout::kPowerLampRadius;

constexpr CDevicePage::ButtonLayout kButtons[] = {
    {CSpeakerSimulationTab::kAmpChLabel, layout::kSpeakerAmpCh, layout::kLabelFrames, false},
    {CSpeakerSimulationTab::kFolderButton, layout::kFolder, layout::kPushFrames, false},
    {CSpeakerSimulationTab::kInstall, layout::kInstall, layout::kPushFrames, false},
    {CSpeakerSimulationTab::kBypass, layout::kBypass, layout::kToggleFrames, true},
    {CSpeakerSimulationTab::kUp, layout::kUp, layout::kPushFrames, false},
    {CSpeakerSimulationTab::kDown, layout::kDown, layout::kPushFrames, false},
};

} // namespace

// Reads the listed files' headers on a thread of its own, so a large or slow folder never holds up the window.
// One check at a time: a newer one replaces one still waiting and stops one under way at its next file.
class CSpeakerSimulationTab::FileChecker {
public:
    using Done = std::function<void(unsigned generation, std::vector<orx::EntryCheck> checks)>;

    explicit FileChecker(Done done) : m_done(std::move(done)) {}
    FileChecker(const FileChecker&) = delete;
    FileChecker& operator=(const FileChecker&) = delete;
    ~FileChecker()
    {
        {
            std::lock_guard lock(m_lock);
            m_quit = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

    void check(unsigned generation, std::string folder, std::vector<CFileItem> items, bool convert)
    {
        {
            std::lock_guard lock(m_lock);
            m_latest = generation;
            m_job = Job{generation, std::move(folder), std::move(items), convert};
        }
        m_wake.notify_one();
        // Started on first use: a page whose folder is never listed keeps no idle thread.
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }

private:
    struct Job {
        unsigned generation;
        std::string folder;
        std::vector<CFileItem> items;
        bool convert;
    };

    void run()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_lock);
                m_wake.wait(lock, [this] { return m_quit || m_job; });
                if (m_quit)
                    return;
                job = std::move(*m_job);
                m_job.reset();
            }
            const auto stale = [this, &job] { return m_quit.load() || m_latest.load() != job.generation; };
            std::vector<orx::EntryCheck> checks;
            try {
                checks = orx::checkEntries(job.folder, job.items, job.convert, stale);
            } catch (...) {
                // A file that cannot even be looked at leaves the whole list as it is.
                continue;
            }
            if (!stale())
                m_done(job.generation, std::move(checks));
        }
    }

    Done m_done;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::atomic<bool> m_quit{false}; // set under the lock, read without it between files
    std::optional<Job> m_job;
    std::atomic<unsigned> m_latest{0};
    std::thread m_thread;
};

CSpeakerSimulationTab::CSpeakerSimulationTab(QWidget* parent) : CDevicePage(parent)
{
    m_logic.setRecorder(orx::libraryRecorder());
    m_checker = std::make_unique<FileChecker>([this](unsigned generation, std::vector<orx::EntryCheck> checks) {
        // From the checker's thread: the page is still whole here, since its destructor waits for the checker
        // first, and a result that has not been delivered when the page goes is dropped with the page's events.
        QMetaObject::invokeMethod(
            this, [this, generation, checks = std::move(checks)] { showFileChecks(generation, checks); },
            Qt::QueuedConnection);
    });
    layoutControls();
    m_ampChLabel->hide(); // no model code has arrived yet
    refreshAll();
    updateControls();
}

CSpeakerSimulationTab::~CSpeakerSimulationTab()
{
    m_checker.reset();
}

void CSpeakerSimulationTab::layoutControls()
{
    m_background.loadWhenNeeded(kPagePicture);

    // 12 pixels high at any resolution; the nearest bold sans face stands in where Meiryo UI is missing.
    m_font = QFont(QStringLiteral("Meiryo UI"));
    m_font.setBold(true);
    m_font.setPixelSize(12);

    for (const ButtonLayout& button : kButtons) {
        CCustomButton* b = nullptr;
        if (button.id == kUp || button.id == kDown) {
            auto* r = new CRapidbutton(this);
            r->setRepeatTarget(this, button.id == kUp ? kUpRepeatEvent : kDownRepeatEvent);
            r->installEventFilter(this);
            (button.id == kUp ? m_up : m_down) = r;
            b = r;
        } else {
            b = new CCustomButton(this);
        }
        setUpImageButton(b, button, kPagePicture);
        switch (button.id) {
        case kAmpChLabel:
            m_ampChLabel = b;
            b->setEnabled(false);
            break;
        case kFolderButton:
            m_folderButton = b;
            connect(b, &QAbstractButton::clicked, this, [this] { chooseFolder(); });
            break;
        case kInstall:
            m_install = b;
            connect(b, &QAbstractButton::clicked, this, [this] { install(); });
            break;
        case kBypass:
            m_bypass = b;
            connect(b, &QAbstractButton::clicked, this, [this] { bypassClicked(); });
            break;
        case kUp:
            connect(b, &QAbstractButton::clicked, this, [this] { scrollUp(); });
            break;
        default:
            connect(b, &QAbstractButton::clicked, this, [this] { scrollDown(); });
            break;
        }
    }

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QString::number(kIrNameEdit));
    m_edit->setGeometry(kIrNameRect);
    m_edit->setMaxLength(63);
    m_edit->setFrame(false);
    m_edit->setFont(m_font);
    m_edit->setTextMargins(0, 0, 0, 0);
    m_edit->setContextMenuPolicy(Qt::PreventContextMenu);
    QPalette editColours = m_edit->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        editColours.setColor(group, QPalette::Base, kNearBlack);
        editColours.setColor(group, QPalette::Window, kNearBlack);
        editColours.setColor(group, QPalette::Text, Qt::white);
    }
    m_edit->setPalette(editColours);
    m_edit->setAutoFillBackground(true);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { commitIrName(); });

    m_list = new CDTAListBox(this);
    m_list->setObjectName(QString::number(kFileList));
    m_list->setGeometry(kListRect);
    m_list->setFont(m_font);
    m_list->setBackgroundBrush(kNearBlack);
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_listUpdating)
            onSelectionChanged();
    });
    // Leaving the mouse event first: the double-click's own item must not be destroyed under it.
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
        QMetaObject::invokeMethod(
            this, [this] { onDoubleClick(); }, Qt::QueuedConnection);
    });
    // Keys, the wheel and drags move the list; the scroll bar follows whatever moved it.
    connect(m_list, &CDTAListBox::topIndexChanged, this, [this](int top) {
        m_scroll->setValue(top);
        update(kScrollRect);
    });

    m_dial = new CDTADial(this);
    m_dial->setObjectName(QString::number(kGainDial));
    m_dial->setGeometry(kDialRect);
    m_dial->setRange(0, orx::kMaxDialPosition);
    m_dial->setControlId(kGainDial);
    m_dial->setListener(this);
    m_dial->setPointingMode(CDTADial::Absolute);
    m_dial->setFrameSize(136, 113);
    m_dial->setFrameCount(orx::kMaxDialPosition + 1);
    m_dial->setNoAcceleration(true);
    m_dial->setFocusedOpacity(1.0F);
    m_dial->setPlacement(kDialRect);
    m_dial->image().loadWhenNeeded(290);

    m_scroll = new CDTAScrollBar(this);
    m_scroll->setObjectName(QString::number(kScrollBar));
    m_scroll->setGeometry(kScrollRect);
    m_scroll->setPlacement(kScrollRect);
    m_scroll->setOrientation(CDTAScrollBar::Vertical);
    m_scroll->setControlId(kScrollBar);
    m_scroll->setListener(this);
    m_scroll->setThumbWidth(7);
    m_scroll->setThumbOffset(1);
    m_scroll->topCapImage().loadWhenNeeded(layout::kThumbTop);
    m_scroll->middleImage().loadWhenNeeded(layout::kThumbMiddle);
    m_scroll->bottomCapImage().loadWhenNeeded(layout::kThumbBottom);
    m_scroll->setBackgroundColor(kNearBlack);
    onValueChanged(kScrollBar, 0);
    m_scroll->setRange(0, 0);
    m_scroll->setThumbLength(orx::thumbLength(0, m_scroll->height()));
}

CCustomButton* CSpeakerSimulationTab::button(int controlId) const
{
    return findChild<CCustomButton*>(QString::number(controlId), Qt::FindDirectChildrenOnly);
}

void CSpeakerSimulationTab::setPageChannel(int modelCode, int ampCh)
{
    CDevicePage::setPageChannel(modelCode, ampCh);
    m_logic.setPageChannel(modelCode, ampCh);
}

void CSpeakerSimulationTab::showFolder(const std::string& folder)
{
    m_folder = QString::fromStdString(orx::validUtf8(folder)).left(259);
    m_folderLabelFitted = false;
    update(kFolderLabelRect);
}

QString CSpeakerSimulationTab::folderLabelText() const
{
    if (!m_folderLabelFitted) {
        m_folderLabelText = orx::compactPath(m_folder, QFontMetrics(m_font), kFolderLabelRect.width());
        m_folderLabelFitted = true;
    }
    return m_folderLabelText;
}

void CSpeakerSimulationTab::showFileList(const std::vector<CFileItem>& items, int selected)
{
    refillList(items);
    syncScrollBar(selected);
    startFileCheck();
}

void CSpeakerSimulationTab::refillList(const std::vector<CFileItem>& items)
{
    ++m_checkGeneration; // whatever a check under way finds is for the entries just removed
    m_listUpdating = true;
    m_list->clear();
    for (const CFileItem& item : items)
        m_list->addItem(QString::fromStdString(item.getDisplayText()));
    m_listUpdating = false;
}

void CSpeakerSimulationTab::loadingSettingsChanged()
{
    // The conversion decides which files are listed and which are dimmed; the file being tried is sent again
    // as it loads now. A list that stays keeps where it is scrolled to.
    if (!m_logic.rescanIfListingChanged()) {
        ++m_checkGeneration;
        startFileCheck();
    }
    m_logic.loadingSettingsChanged();
}

void CSpeakerSimulationTab::startFileCheck()
{
    const orx::AppSettings* settings = orx::AppSettings::getInstance();
    m_checker->check(m_checkGeneration, m_logic.folder(), m_logic.fileItems(), settings && settings->ConvertFiles);
}

void CSpeakerSimulationTab::showFileChecks(unsigned generation, const std::vector<orx::EntryCheck>& checks)
{
    if (generation != m_checkGeneration || static_cast<int>(checks.size()) != m_list->count())
        return;
    for (int row = 0; row < m_list->count(); ++row) {
        const orx::EntryCheck& check = checks[static_cast<std::size_t>(row)];
        m_list->setEntryDimmed(row, !check.usable);
        m_list->item(row)->setToolTip(QString::fromStdString(check.tooltip));
    }
    ++m_fileChecksShown;
    m_list->viewport()->update();
}

void CSpeakerSimulationTab::syncScrollBar(int selected)
{
    const int n = m_list->count();
    m_scroll->setRange(0, n);
    m_scroll->setThumbLength(orx::thumbLength(n, m_scroll->height()));
    if (selected == -1) {
        m_list->setTopIndex(0);
        m_scroll->setValue(0);
    } else {
        m_listUpdating = true;
        m_list->setCurrentRow(selected);
        m_list->scrollToItem(m_list->item(selected));
        m_listUpdating = false;
        m_scroll->setValue(m_list->topIndex());
    }
    update(kScrollRect);
    m_list->viewport()->update();
}

void CSpeakerSimulationTab::unmarkFileList()
{
    m_listUpdating = true;
    m_list->clearSelection();
    m_listUpdating = false;
}

void CSpeakerSimulationTab::markFileList(int row)
{
    m_listUpdating = true;
    m_list->setCurrentRow(row);
    m_listUpdating = false;
}

void CSpeakerSimulationTab::setTopEntry(int top)
{
    m_list->setTopIndex(top);
    m_scroll->setValue(m_list->topIndex());
    update(kScrollRect);
}

void CSpeakerSimulationTab::scrollUp()
{
    setTopEntry(std::max(m_list->topIndex() - 1, m_scroll->minimum()));
}

void CSpeakerSimulationTab::scrollDown()
{
    setTopEntry(std::min(m_list->topIndex() + 1, m_scroll->maximum()));
}

void CSpeakerSimulationTab::chooseFolder()
{
    m_logic.chooseFolder();
}

std::string CSpeakerSimulationTab::askFolder(const std::string& current)
{
    return orx::askFolder(window(), QStringLiteral("Select Folder"), current);
}

void CSpeakerSimulationTab::onDoubleClick()
{
    m_logic.onDoubleClick();
}

int CSpeakerSimulationTab::askChannel()
{
    return orx::askChannel(window());
}

void CSpeakerSimulationTab::onSelectionChanged()
{
    const QList<QListWidgetItem*> marked = m_list->selectedItems();
    m_logic.onSelectionChanged(marked.isEmpty() ? -1 : m_list->row(marked.front()));
}

void CSpeakerSimulationTab::showBypass(bool on)
{
    m_bypass->setToggleState(on ? 1 : 0);
    update(layout::kBypass.rect());
}

void CSpeakerSimulationTab::install()
{
    m_logic.install();
}

void CSpeakerSimulationTab::bypassClicked()
{
    update(layout::kBypass.rect());
    // The switch has already flipped.
    m_logic.bypassClicked(m_bypass->toggleState() == 1);
}

int CSpeakerSimulationTab::onValueChanged(int controlId, int value)
{
    if (controlId == kScrollBar) {
        m_scroll->setValue(value);
        m_list->setTopIndex(m_scroll->value());
        update(kScrollRect);
    } else if (controlId == kGainDial) {
        m_logic.dialMoved(value);
    }
    return 0;
}

void CSpeakerSimulationTab::showDialPosition(int position)
{
    m_dial->setValue(position);
    update(kDialRect);
}

void CSpeakerSimulationTab::showBusy(bool busy)
{
    Q_EMIT busyChanged(busy);
}

void CSpeakerSimulationTab::updateControls()
{
    m_logic.updateControls();
}

void CSpeakerSimulationTab::enableControls(const orx::SpeakerEnabling& enabling)
{
    // A control that is disabled while it has the keyboard would pass it on to the next window (the tab bar,
    // where the arrow keys switch pages): the page holds it meanwhile and gives it back when it is ready.
    QWidget* focused = focusWidget();
    if (!enabling.ready && focused && focused != this && focused->hasFocus()) {
        m_focusBeforeWait = focused;
        setFocus(Qt::OtherFocusReason);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_edit, m_folderButton, m_list, m_scroll, m_up, m_down, m_bypass})
        w->setEnabled(enabling.ready);
    m_dial->setEnabled(enabling.dial);
    m_install->setEnabled(enabling.install);
    if (enabling.ready && m_focusBeforeWait && m_focusBeforeWait->isEnabled() && hasFocus())
        m_focusBeforeWait->setFocus(Qt::OtherFocusReason);
    if (enabling.ready)
        m_focusBeforeWait = nullptr;
    update();
}

void CSpeakerSimulationTab::refreshAll()
{
    m_logic.refreshAll();
}

void CSpeakerSimulationTab::showAmpChannel()
{
    showAmpChannelLabel(m_ampChLabel);
}

void CSpeakerSimulationTab::refreshDialGain()
{
    m_logic.refreshDialGain();
}

void CSpeakerSimulationTab::showDialGain(double dB)
{
    m_gainText = orx::formatGain(dB);
    update(kGainRect);
}

void CSpeakerSimulationTab::refreshIrGain()
{
    m_logic.refreshIrGain();
}

void CSpeakerSimulationTab::showIrGain(double dB)
{
    m_irGainText = orx::formatGain(dB);
    update(kIrGainRect);
}

void CSpeakerSimulationTab::refreshIrName()
{
    m_logic.refreshIrName();
}

void CSpeakerSimulationTab::showIrName(const std::string& name)
{
    m_edit->setText(QString::fromStdString(name));
    m_edit->setCursorPosition(0);
}

void CSpeakerSimulationTab::showIrKnown(const std::string& text)
{
    m_edit->setToolTip(QString::fromStdString(text));
}

void CSpeakerSimulationTab::refreshAmpType()
{
    m_logic.refreshAmpType();
}

void CSpeakerSimulationTab::showAmpType(int slot)
{
    // A slot the program has no name for shows nothing rather than a guess.
    m_ampTypeText = slot >= 0 && slot <= 4 ? QString::fromStdString(orx::loadString(106 + slot)) : QString();
    update(kAmpTypeRect);
}

void CSpeakerSimulationTab::commitIrName()
{
    m_logic.commitIrName(m_edit->text().toStdString());
}

void CSpeakerSimulationTab::callLater(int ms, std::function<void()> work)
{
    orx::callLater(this, ms, std::move(work));
}

void CSpeakerSimulationTab::showError(int code)
{
    orx::showErrorMessage(this, code);
}

void CSpeakerSimulationTab::showFileError(int code, const std::string& note)
{
    orx::showErrorMessage(this, code, QString::fromStdString(note));
}

void CSpeakerSimulationTab::onDeviceEvent(int event, int value)
{
    const bool wasConnected = m_logic.isConnected();
    m_logic.onDeviceEvent(event, value);
    if (m_logic.isConnected() != wasConnected)
        update(QRect(kPowerLampCentre, kPowerLampCentre).adjusted(-kPowerLampRadius - 2, -kPowerLampRadius - 2,
                                                                  kPowerLampRadius + 2, kPowerLampRadius + 2));
    CDevicePage::onDeviceEvent(event, value);
}

bool CSpeakerSimulationTab::editHasFocus() const
{
    return m_edit->hasFocus();
}

int CSpeakerSimulationTab::canUndo()
{
    return editHasFocus() && m_edit->isUndoAvailable() ? 1 : 0;
}

int CSpeakerSimulationTab::canCut()
{
    return editHasFocus() && m_edit->hasSelectedText() ? 1 : 0;
}

int CSpeakerSimulationTab::canCopy()
{
    return canCut();
}

int CSpeakerSimulationTab::canPaste()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return editHasFocus() && clipboard && !clipboard->text().isEmpty() ? 1 : 0;
}

int CSpeakerSimulationTab::canSelectAll()
{
    return editHasFocus() && !m_edit->text().isEmpty() ? 1 : 0;
}

void CSpeakerSimulationTab::undo()
{
    if (editHasFocus())
        m_edit->undo();
}

void CSpeakerSimulationTab::cut()
{
    if (editHasFocus())
        m_edit->cut();
}

void CSpeakerSimulationTab::copy()
{
    if (editHasFocus())
        m_edit->copy();
}

void CSpeakerSimulationTab::paste()
{
    if (editHasFocus())
        m_edit->paste();
}

void CSpeakerSimulationTab::selectAll()
{
    if (editHasFocus())
        m_edit->selectAll();
}

bool CSpeakerSimulationTab::event(QEvent* event)
{
    // Held UP or DW: one entry per repeat.
    if (event->type() == static_cast<QEvent::Type>(kUpRepeatEvent)) {
        scrollUp();
        return true;
    }
    if (event->type() == static_cast<QEvent::Type>(kDownRepeatEvent)) {
        scrollDown();
        return true;
    }
    return CDevicePage::event(event);
}

bool CSpeakerSimulationTab::eventFilter(QObject* watched, QEvent* event)
{
    try {
        const QEvent::Type type = event->type();
        if (watched == m_edit) {
            // A menu or popup that takes the keyboard for a moment does not end the typing.
            const bool popup = (type == QEvent::FocusIn || type == QEvent::FocusOut) &&
                               static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason;
            if (type == QEvent::FocusIn && !popup) {
                m_logic.irNameFocused(m_edit->text().toStdString());
            } else if (type == QEvent::FocusOut && !popup) {
                commitIrName();
            } else if (type == QEvent::MouseButtonPress &&
                       static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
                return true;
            }
        } else if (watched == m_list && type == QEvent::KeyPress) {
            // Return on the marked file asks for it again, as a click on it does: the keyboard alone can send
            // it as it loads now.
            const int key = static_cast<QKeyEvent*>(event)->key();
            const int row = m_list->currentRow();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && row >= 0 && row == m_logic.selectedIndex()) {
                m_logic.fileClickedAgain(row);
                return true;
            }
        } else if (watched == m_list->viewport() &&
                   (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton)
                return true;
            // A press on the entry already marked changes no selection, so the list says nothing of it; the
            // user still asks for that file, as it loads now. The second press of a double-click is no new ask.
            if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
                const QModelIndex at = m_list->indexAt(mouse->position().toPoint());
                if (at.isValid() && at.row() == m_logic.selectedIndex() && m_list->item(at.row())->isSelected()) {
                    const int row = at.row();
                    QMetaObject::invokeMethod(
                        this, [this, row] { m_logic.fileClickedAgain(row); }, Qt::QueuedConnection);
                }
            }
        } else if ((watched == m_up || watched == m_down) &&
                   (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
                    type == QEvent::MouseButtonRelease) &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            if (type == QEvent::MouseButtonRelease) {
                m_up->stopRepeat();
                m_down->stopRepeat();
            } else {
                static_cast<CRapidbutton*>(watched)->startRepeat();
            }
        }
    } catch (const mstd::CGenericException& e) {
        showError(e.getCode());
    } catch (...) {
        std::fputs("[CATCH] Exception! - CSpeakerSimulationTab::PreTranslateMessage()\n", stderr);
    }
    return CDevicePage::eventFilter(watched, event);
}

void CSpeakerSimulationTab::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_up->stopRepeat();
        m_down->stopRepeat();
    }
    CDevicePage::mouseReleaseEvent(event);
}

void CSpeakerSimulationTab::keyPressEvent(QKeyEvent* event)
{
    // The page never closes itself.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    CDevicePage::keyPressEvent(event);
}

void CSpeakerSimulationTab::paintEvent(QPaintEvent*)
{
    paintBuffered([this](QPainter& p) {
        if (const QImage* background = m_background.image())
            p.drawImage(QPoint(0, 0), *background);
        p.setFont(m_font);
        p.setPen(QColor(255, 255, 255));
        constexpr auto line = Qt::TextSingleLine | Qt::AlignVCenter;
        p.drawText(kAmpTypeRect, line | Qt::AlignLeft, m_ampTypeText);
        p.drawText(kIrGainRect, line | Qt::AlignRight, m_irGainText);
        p.drawText(kGainRect, line | Qt::AlignHCenter, m_gainText);
        p.drawText(kFolderLabelRect, line | Qt::AlignLeft, folderLabelText());
        m_dial->draw(p);
        m_scroll->draw(p);
        if (m_modelCode == 2)
            paintButton(p, m_ampChLabel);
        for (const CCustomButton* b : {m_folderButton, m_install, m_bypass, static_cast<CCustomButton*>(m_up),
                                       static_cast<CCustomButton*>(m_down)})
            paintButton(p, b);
        if (!m_logic.isConnected())
            paintUnlitLamp(p, kPowerLampCentre, kPowerLampRadius);
    });
}
