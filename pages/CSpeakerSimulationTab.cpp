// The speaker simulation page: the amplifier's display above a foot-switch box with the IR file browser.
#include "CSpeakerSimulationTab.h"

#include "AppSettings.h"
#include "CChannelDlg.h"
#include "CCustomButton.h"
#include "CDTADial.h"
#include "CDTAListBox.h"
#include "CDTAScrollBar.h"
#include "CFIRFile.h"
#include "CORXManager.h"
#include "CRapidbutton.h"
#include "ErrorBox.h"
#include "FIRGain.h"
#include "FolderScan.h"
#include "GenericException.h"
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
#include <cmath>
#include <cstdio>
#include <cstring>

namespace orx {

namespace {

FolderQuestion g_folderQuestion;
DelayedCall g_delayedCall;

} // namespace

void setFolderQuestion(FolderQuestion question)
{
    g_folderQuestion = std::move(question);
}

std::string askFolder(QWidget* owner, const QString& title, const std::string& current)
{
    if (g_folderQuestion)
        return g_folderQuestion(owner, title, current);
    return QFileDialog::getExistingDirectory(owner, title, QString::fromStdString(current),
                                             QFileDialog::ShowDirsOnly)
        .toStdString();
}

void setDelayedCall(DelayedCall call)
{
    g_delayedCall = std::move(call);
}

void callLater(QObject* context, int ms, std::function<void()> work)
{
    if (g_delayedCall) {
        g_delayedCall(context, ms, std::move(work));
        return;
    }
    QTimer::singleShot(ms, context, std::move(work));
}

double dialGain(int position)
{
    position = std::clamp(position, 0, 40);
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

QString formatGain(double dB)
{
    return QString::asprintf("%5.1f dB", dB);
}

QString decodeAmpName(const std::uint8_t* bytes, std::size_t size)
{
    // Windows-1252 differs from Latin-1 only in 0x80 to 0x9F; its five unassigned bytes stay as they are.
    static constexpr std::array<char16_t, 32> kHigh{
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text;
    for (std::size_t i = 0; i < size && bytes[i] != 0; ++i) {
        const std::uint8_t b = bytes[i];
        text += QChar(b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : char16_t{b});
    }
    return text;
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

constexpr int kPagePicture = 286;
const QColor kNearBlack(5, 5, 5);

const QRect kAmpChLabelRect(66, 180, 56, 25);
const QRect kAmpTypeRect(258, 185, 147, 14);
const QRect kIrNameRect(90, 217, 315, 16);
const QRect kIrGainRect(432, 217, 60, 16);
const QRect kGainRect(829, 275, 59, 13);
const QRect kDialRect(792, 298, 135, 112);
const QRect kFolderButtonRect(675, 263, 36, 37);
const QRect kFolderLabelRect(391, 312, 388, 15);
const QRect kListRect(391, 354, 373, 192);
const QRect kUpRect(765, 347, 15, 15);
const QRect kDownRect(765, 534, 15, 15);
const QRect kScrollRect(769, 363, 7, 170);
const QRect kInstallRect(270, 391, 75, 69);
const QRect kBypassRect(824, 465, 69, 95);

using Faces = std::array<int, 6>; // frame y per look
constexpr Faces kLabelFaces{0, 25, 25, 25, 25, 0};
constexpr Faces kFolderFaces{0, 111, 74, 74, 37, 37};
constexpr Faces kInstallFaces{0, 207, 138, 138, 69, 69};
constexpr Faces kBypassFaces{0, 475, 285, 380, 190, 95};
constexpr Faces kArrowFaces{0, 45, 30, 30, 15, 15};

struct ButtonLayout {
    int id;
    QRect rect;
    int image;
    Faces faces;
    bool toggles;
};

const ButtonLayout kButtons[] = {
    {CSpeakerSimulationTab::kAmpChLabel, kAmpChLabelRect, 287, kLabelFaces, false},
    {CSpeakerSimulationTab::kFolderButton, kFolderButtonRect, 292, kFolderFaces, false},
    {CSpeakerSimulationTab::kInstall, kInstallRect, 291, kInstallFaces, false},
    {CSpeakerSimulationTab::kBypass, kBypassRect, 288, kBypassFaces, true},
    {CSpeakerSimulationTab::kUp, kUpRect, 295, kArrowFaces, false},
    {CSpeakerSimulationTab::kDown, kDownRect, 294, kArrowFaces, false},
};

orx::CORXManager* session()
{
    return orx::CORXManager::getInstance();
}

QString plain(const QString& text)
{
    return QString::fromStdString(orx::toPlainText(text.toStdString()));
}

} // namespace

CSpeakerSimulationTab::CSpeakerSimulationTab(QWidget* parent) : CDevicePage(parent)
{
    m_record.FIRCOE = orx::dBToFIRCOE(-10.0);
    layoutControls();
    m_ampChLabel->hide(); // no model code has arrived yet
    refreshAll();
    updateControls();
}

CSpeakerSimulationTab::~CSpeakerSimulationTab() = default;

void CSpeakerSimulationTab::layoutControls()
{
    m_background.load(kPagePicture);

    // 12 pixels high at any resolution; the nearest bold sans face stands in where Meiryo UI is missing.
    m_font = QFont(QStringLiteral("Meiryo UI"));
    m_font.setBold(true);
    m_font.setPixelSize(12);

    for (const ButtonLayout& layout : kButtons) {
        CCustomButton* b = nullptr;
        if (layout.id == kUp || layout.id == kDown) {
            auto* r = new CRapidbutton(this);
            r->setRepeatTarget(this, layout.id == kUp ? kUpRepeatEvent : kDownRepeatEvent);
            r->installEventFilter(this);
            (layout.id == kUp ? m_up : m_down) = r;
            b = r;
        } else {
            b = new CCustomButton(this);
        }
        setUpImageButton(b, layout.id, layout.rect, layout.image, kPagePicture, layout.faces);
        b->setToggleFlag(layout.toggles);
        switch (layout.id) {
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
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_listUpdating)
            onSelectionChanged();
    });
    // Leaving the mouse event first: the double-click's own item must not be destroyed under it.
    connect(m_list, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { QMetaObject::invokeMethod(this, [this] { onDoubleClick(); }, Qt::QueuedConnection); });
    // Keys, the wheel and drags move the list; the scroll bar follows whatever moved it.
    connect(m_list, &CDTAListBox::topIndexChanged, this, [this](int top) {
        m_scroll->setValue(top);
        update(kScrollRect);
    });

    m_dial = new CDTADial(this);
    m_dial->setObjectName(QString::number(kGainDial));
    m_dial->setGeometry(kDialRect);
    m_dial->setRange(0, 40);
    m_dial->setControlId(kGainDial);
    m_dial->setListener(this);
    m_dial->setPointingMode(CDTADial::Absolute);
    m_dial->setFrameSize(136, 113);
    m_dial->setFrameCount(41);
    m_dial->setNoAcceleration(true);
    m_dial->setFocusedOpacity(1.0F);
    m_dial->setPlacement(kDialRect);
    m_dial->image().load(290);

    m_scroll = new CDTAScrollBar(this);
    m_scroll->setObjectName(QString::number(kScrollBar));
    m_scroll->setGeometry(kScrollRect);
    m_scroll->setPlacement(kScrollRect);
    m_scroll->setOrientation(CDTAScrollBar::Vertical);
    m_scroll->setControlId(kScrollBar);
    m_scroll->setListener(this);
    m_scroll->setThumbWidth(7);
    m_scroll->setThumbOffset(1);
    m_scroll->topCapImage().load(297);
    m_scroll->middleImage().load(298);
    m_scroll->bottomCapImage().load(299);
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
    showAmpChannelLabel(m_ampChLabel);
    m_dial->setValue(kDefaultDialPosition);
    update(kDialRect);
    refreshDialGain();
    m_bypass->setToggleState(0);
    update(kBypassRect);
    std::string folder;
    if (orx::AppSettings* settings = orx::AppSettings::getInstance())
        folder = settings->folderOfAmpChannel(m_ampCh);
    setFolder(folder);
}

void CSpeakerSimulationTab::setFolder(const std::string& folder)
{
    m_folder = folder;
    const QFontMetrics metrics(m_font);
    m_folderLabelText =
        plain(orx::compactPath(QString::fromStdString(m_folder).left(259), metrics, kFolderLabelRect.width()));
    update(kFolderLabelRect);
    scanFolder();
    refillList();
    syncScrollBar();
}

void CSpeakerSimulationTab::storeFolder()
{
    orx::AppSettings* settings = orx::AppSettings::getInstance();
    if (!settings)
        return;
    (m_ampCh == 0 ? settings->FolderPathAmpI : settings->FolderPathAmpII) = m_folder;
    settings->save();
}

void CSpeakerSimulationTab::scanFolder()
{
    m_items = orx::scanFolder(m_folder);
    // Indices refer to the new list: a mark that no longer stands on a file is dropped.
    if (m_selected >= static_cast<int>(m_items.size()) ||
        (m_selected >= 0 && m_items[static_cast<std::size_t>(m_selected)].kind() != CFileItem::ResponseFile))
        m_selected = -1;
}

void CSpeakerSimulationTab::refillList()
{
    m_listUpdating = true;
    m_list->clear();
    for (const CFileItem& item : m_items)
        m_list->addItem(QString::fromStdString(item.getDisplayText()));
    m_listUpdating = false;
}

void CSpeakerSimulationTab::syncScrollBar()
{
    const int n = m_list->count();
    m_scroll->setRange(0, n);
    m_scroll->setThumbLength(orx::thumbLength(n, m_scroll->height()));
    if (m_selected == -1) {
        m_list->setTopIndex(0);
        m_scroll->setValue(0);
    } else {
        m_listUpdating = true;
        m_list->setCurrentRow(m_selected);
        m_list->scrollToItem(m_list->item(m_selected));
        m_listUpdating = false;
        m_scroll->setValue(m_list->topIndex());
    }
    update(kScrollRect);
    m_list->viewport()->update();
}

void CSpeakerSimulationTab::clearSelection()
{
    m_selected = -1;
    m_listUpdating = true;
    m_list->clearSelection();
    m_listUpdating = false;
    updateControls();
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
    const std::string chosen =
        orx::askFolder(window(), QStringLiteral("Select Folder"), orx::removeTrailingSeparator(m_folder));
    if (chosen.empty())
        return;
    clearSelection();
    setFolder(orx::removeTrailingSeparator(chosen));
    storeFolder();
}

void CSpeakerSimulationTab::onDoubleClick()
{
    if (m_lastClicked < 0 || m_lastClicked >= static_cast<int>(m_items.size()))
        return;
    const CFileItem& item = m_items[static_cast<std::size_t>(m_lastClicked)];
    std::string folder;
    if (item.kind() == CFileItem::ParentFolder)
        folder = orx::parentFolder(m_folder);
    else if (item.kind() == CFileItem::Folder)
        folder = orx::childFolder(m_folder, item.getFileName());
    else
        return; // the single click has already chosen the file
    m_selected = -1;
    m_lastClicked = -1;
    setFolder(folder);
    clearSelection();
    storeFolder();
}

void CSpeakerSimulationTab::loadIRFile(std::int16_t* coefficients, const std::string& folder,
                                       const std::string& fileName)
{
    CFIRFile file;
    file.open(orx::childFolder(folder, fileName));
    int channel = 0;
    if (eLibrary::AudioFormatReader* reader = file.getReader(); reader && reader->getChannels() >= 2) {
        const orx::AppSettings* settings = orx::AppSettings::getInstance();
        const int primary = settings ? settings->PrimaryCh : 2;
        channel = primary == 0 || primary == 1 ? primary : orx::askChannel(window());
    }
    file.readCoefficients(coefficients, channel);
}

void CSpeakerSimulationTab::onSelectionChanged()
{
    try {
        const QList<QListWidgetItem*> marked = m_list->selectedItems();
        m_selected = marked.isEmpty() ? -1 : m_list->row(marked.front());
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
        std::array<std::int16_t, orx::kCoefficientCount> coefficients{};
        try {
            loadIRFile(coefficients.data(), folder, item.getFileName());
        } catch (const mstd::CGenericException& e) {
            clearSelection();
            showError(e.getCode());
            return;
        }
        // While the question was open the amplifier may have gone, or the mark may have been taken away.
        if (!m_connected || m_busy || m_selected != chosen || m_folder != folder)
            return;
        m_record.coefficients = coefficients;
        const std::string display = item.getDisplayText();
        const auto dot = display.rfind('.');
        CFIRFile::copyIRName(m_record.irName.data(), display.substr(0, dot).c_str());
        beginBusy();
        sendChosenFile();
        if (m_bypass->toggleState() == 1)
            setBypassOff();
    } catch (...) {
        std::fputs("[CATCH] Exception! - CSpeakerSimulationTab::OnLbnSelchangeFileList()\n", stderr);
    }
}

void CSpeakerSimulationTab::setBypassOff()
{
    m_bypass->setToggleState(0);
    update(kBypassRect);
    updateControls();
}

// The file being tried goes to the amplifier (again) at the dial's gain; event 9 ends the wait.
void CSpeakerSimulationTab::sendChosenFile()
{
    m_record.FIRCOE = orx::dBToFIRCOE(m_dialGain);
    session()->setSpeakerTabFIRCOE(m_record);
    session()->addRequest(orx::kRequestInstall, m_ampCh, 0);
}

void CSpeakerSimulationTab::install()
{
    session()->addRequest(orx::kRequestStore, m_ampCh, 0);
}

void CSpeakerSimulationTab::bypassClicked()
{
    update(kBypassRect);
    if (m_bypass->toggleState() == 1) {
        beginBusy();
        session()->addRequest(orx::kRequestBypass, m_ampCh, 0);
    } else if (m_selected == -1) {
        // Back to the response stored for the current amp type; nothing to wait for.
        session()->addRequest(orx::kRequestSelect, m_ampCh, 0);
        updateControls();
    } else {
        beginBusy();
        sendChosenFile();
    }
}

int CSpeakerSimulationTab::onValueChanged(int controlId, int value)
{
    if (controlId == kScrollBar) {
        m_scroll->setValue(value);
        m_list->setTopIndex(m_scroll->value());
        update(kScrollRect);
    } else if (controlId == kGainDial) {
        m_dial->setValue(value);
        update(kDialRect);
        refreshDialGain();
        session()->addRequest(orx::kRequestFIRCOE, m_ampCh, orx::dBToFIRCOE(m_dialGain));
    }
    return 0;
}

void CSpeakerSimulationTab::beginBusy()
{
    m_busy = true;
    Q_EMIT busyChanged(true);
    updateControls();
}

void CSpeakerSimulationTab::endBusy()
{
    // Only the page that set the wait cursor takes it away; the other page may still be waiting.
    if (!m_busy)
        return;
    m_busy = false;
    Q_EMIT busyChanged(false);
}

void CSpeakerSimulationTab::updateControls()
{
    const bool ready = m_connected && !m_busy;
    const bool fileChosen = m_selected != -1;
    const bool bypassed = m_bypass->toggleState() == 1;
    // A control that is disabled while it has the keyboard would pass it on to the next window (the tab bar,
    // where the arrow keys switch pages): the page holds it meanwhile and gives it back when it is ready.
    QWidget* focused = focusWidget();
    if (!ready && focused && focused != this && focused->hasFocus()) {
        m_focusBeforeWait = focused;
        setFocus(Qt::OtherFocusReason);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_edit, m_folderButton, m_list, m_scroll, m_up, m_down, m_bypass})
        w->setEnabled(ready);
    m_dial->setEnabled(ready && fileChosen && !bypassed);
    m_install->setEnabled(ready && (fileChosen || bypassed));
    if (ready && m_focusBeforeWait && m_focusBeforeWait->isEnabled() && hasFocus())
        m_focusBeforeWait->setFocus(Qt::OtherFocusReason);
    if (ready)
        m_focusBeforeWait = nullptr;
    update();
}

void CSpeakerSimulationTab::refreshAll()
{
    showAmpChannelLabel(m_ampChLabel);
    refreshAmpType();
    refreshIrName();
    refreshIrGain();
    refreshDialGain();
}

void CSpeakerSimulationTab::refreshDialGain()
{
    m_dialGain = orx::dialGain(m_dial->value());
    m_gainText = orx::formatGain(m_dialGain);
    update(kGainRect);
}

void CSpeakerSimulationTab::refreshIrGain()
{
    if (m_ampCh != 0 && m_ampCh != 1)
        return;
    orx::FIRRecord current;
    session()->getCurrentIR(m_ampCh, current);
    m_irGainText = orx::formatGain(orx::firGainDisplay(current.FIRCOE));
    update(kIrGainRect);
}

void CSpeakerSimulationTab::refreshIrName()
{
    if (m_ampCh != 0 && m_ampCh != 1)
        return;
    orx::FIRRecord current;
    session()->getCurrentIR(m_ampCh, current);
    m_irNameText = orx::decodeAmpName(current.irName.data(), current.irName.size());
    m_edit->setText(m_irNameText);
    m_edit->setCursorPosition(0);
}

void CSpeakerSimulationTab::refreshAmpType()
{
    if (m_ampCh != 0 && m_ampCh != 1)
        return;
    const int slot = session()->getIrSlot(m_ampCh);
    // A slot the program has no name for shows nothing rather than a guess.
    m_ampTypeText = slot >= 0 && slot <= 4 ? QString::fromStdString(orx::loadString(106 + slot)) : QString();
    update(kAmpTypeRect);
    clearSelection();
    if (m_bypass->toggleState() == 1)
        setBypassOff();
}

void CSpeakerSimulationTab::commitIrName()
{
    QString name = plain(m_edit->text()).left(63);
    // A disconnected amplifier cannot take a name: the edit goes back to what the amplifier has.
    if (!m_connected)
        name = m_previousIrName;
    if (name.isEmpty())
        name = m_previousIrName;
    m_irNameText = name;
    const bool renamed = name != m_previousIrName;
    // Before anything below can move the focus and bring us back here.
    m_previousIrName = name;
    m_edit->setText(m_irNameText);
    m_edit->setCursorPosition(0);
    if (!renamed)
        return;
    clearSelection();
    if (m_bypass->toggleState() == 1)
        setBypassOff();
    session()->addRequest(orx::kRequestSelect, m_ampCh, 0);
    orx::IrName bytes{};
    const std::string latin = name.toStdString(); // plain 7-bit text
    std::memcpy(bytes.data(), latin.data(), std::min<std::size_t>(latin.size(), bytes.size() - 1));
    // The amplifier needs time to return to its stored response before it takes the name. Until the name and
    // the store are queued the page waits, so no file, bypass or gain can slip in between and be stored too.
    beginBusy();
    orx::callLater(this, kNameCommitDelayMs, [this, bytes, ampCh = m_ampCh] {
        if (m_connected) {
            session()->setSpeakerTabIrName(bytes.data());
            session()->addRequest(orx::kRequestName, ampCh, 0);
            session()->addRequest(orx::kRequestStore, ampCh, 0);
        }
        endBusy();
        updateControls();
    });
}

void CSpeakerSimulationTab::showError(int code)
{
    orx::showErrorMessage(this, code);
}

void CSpeakerSimulationTab::onDeviceEvent(int event, int value)
{
    const bool mine = value == m_ampCh;
    switch (event) {
    case orx::kEventError:
        endBusy();
        updateControls();
        break;
    case orx::kEventConnected:
        m_connected = true;
        updateControls();
        break;
    case orx::kEventDisconnected:
        m_connected = false;
        endBusy();
        updateControls();
        clearSelection();
        break;
    case orx::kEventReadAll:
    case orx::kEventReset:
        refreshAll();
        updateControls();
        break;
    case orx::kEventSlotSwitched:
        if (mine) {
            refreshAmpType();
            refreshIrName();
            refreshIrGain();
            updateControls();
        }
        break;
    case orx::kEventBypassed:
    case orx::kEventInstalled:
        if (mine) {
            endBusy();
            updateControls();
        }
        break;
    case orx::kEventBlockBad:
    case orx::kEventStoreFailed:
        if (mine) {
            showError(event == orx::kEventBlockBad ? 1002 : 1003);
            endBusy();
            updateControls();
        }
        break;
    case orx::kEventStored:
        if (mine) {
            refreshIrName();
            refreshIrGain();
            updateControls();
        }
        break;
    default:
        break;
    }
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
                m_irNameText = m_edit->text();
                m_previousIrName = m_irNameText;
            } else if (type == QEvent::FocusOut && !popup) {
                commitIrName();
            } else if (type == QEvent::MouseButtonPress &&
                       static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
                return true;
            }
        } else if (watched == m_list->viewport()) {
            if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
                static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true;
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
        p.drawText(kFolderLabelRect, line | Qt::AlignLeft, m_folderLabelText);
        m_dial->draw(p);
        m_scroll->draw(p);
        if (m_modelCode == 2)
            paintButton(p, m_ampChLabel);
        for (const CCustomButton* b : {m_folderButton, m_install, m_bypass, static_cast<CCustomButton*>(m_up),
                                       static_cast<CCustomButton*>(m_down)})
            paintButton(p, b);
    });
}
