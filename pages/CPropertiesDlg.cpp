// The Properties dialog, its radio-group exchange, its own device event follow-up, and the reset question.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPropertiesDlg.h"

#include "AmpWords.h"
#include "AppSettings.h"
#include "CORXManager.h"
#include "StringTable.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr std::int32_t kResetCaption = 413;
constexpr std::int32_t kResetText = 414;

QGroupBox* makeGroupBox(QWidget* parent, int id, const char* title)
{
    auto* box = new QGroupBox(QString::fromUtf8(title), parent);
    box->setObjectName(QString::number(id));
    return box;
}

// Radios get the index of their place in the group as their id, which is the value the group stands for.
QButtonGroup* makeRadioGroup(QGroupBox* box, std::initializer_list<std::pair<int, const char*>> radios)
{
    auto* group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    int value = 0;
    for (const auto& [id, text] : radios) {
        auto* radio = new QRadioButton(QString::fromUtf8(text), box);
        radio->setObjectName(QString::number(id));
        group->addButton(radio, value++);
        layout->addWidget(radio);
    }
    group->setExclusive(true);
    return group;
}

// A value outside the group checks none of its radios, which an exclusive group alone would not allow.
void writeRadio(QButtonGroup* group, int value)
{
    if (QAbstractButton* radio = group->button(value)) {
        radio->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* radio : group->buttons())
        radio->setChecked(false);
    group->setExclusive(true);
}

int readRadio(const QButtonGroup* group)
{
    return group->checkedId(); // -1 when none is checked
}

void setGroupEnabled(QButtonGroup* group, bool enabled)
{
    for (QAbstractButton* radio : group->buttons())
        radio->setEnabled(enabled);
}

} // namespace

CPropertiesDlg::CPropertiesDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Properties"));

    QGroupBox* sendBox = makeGroupBox(this, kSendGroup, "FX LOOP SEND Connection");
    using orx::words::kLoopConnections;
    m_sendGroup = makeRadioGroup(sendBox, {{kSendSeparate, kLoopConnections[0]}, {kSendMixed, kLoopConnections[1]}});
    QGroupBox* returnBox = makeGroupBox(this, kReturnGroup, "FX LOOP RETURN Connection");
    m_returnGroup =
        makeRadioGroup(returnBox, {{kReturnSeparate, kLoopConnections[0]}, {kReturnMixed, kLoopConnections[1]}});
    QGroupBox* stereoBox = makeGroupBox(this, kStereoGroup, "Default Channel of the Stereo IR File");
    m_stereoGroup = makeRadioGroup(stereoBox, {{kLeftCh, "L ch"}, {kRightCh, "R ch"}, {kAskEachFile, "Ask each File"}});

    QGroupBox* conversionBox = makeGroupBox(this, kConversionGroup, "IR File Conversion");
    m_convert = new QCheckBox(QStringLiteral("Convert other sample rates and formats to 44.1 kHz"), conversionBox);
    m_convert->setObjectName(QString::number(kConvertFiles));
    m_convert->setToolTip(QStringLiteral("Also loads 48, 88.2, 96 kHz and other rates, float and extensible WAV "
                                         "files, AIFF-C and 8-bit files, converted to what the amp takes."));
    (new QVBoxLayout(conversionBox))->addWidget(m_convert);

    // Each changes what a file sends only while it is on; all off, the first 2048 samples go as they are.
    QGroupBox* processingBox = makeGroupBox(this, kProcessingGroup, "IR Processing");
    auto* processingLayout = new QVBoxLayout(processingBox);
    const struct {
        int id;
        const char* text;
        const char* tip;
    } switches[] = {
        {kTrimSilence, "Trim leading silence",
         "Drops the samples before the first one within 60 dB of the peak, so the 2048 taps hold the response and "
         "not its delay."},
        {kMinimumPhase, "Minimum phase",
         "Replaces the response by its minimum-phase version before it is cut to 2048 taps: the same magnitude "
         "response, its energy moved to the start."},
        {kFadeOut, "Fade out the end of the taps",
         "A half-Hann fade over the last 10 % of the 2048 taps, so the cut leaves no step."},
        {kMatchLoudness, "Match loudness",
         "Scales every response to the same energy, so files sound equally loud when tried one after the other. "
         "The gain dial keeps its meaning."},
    };
    for (std::size_t i = 0; i < m_processingBoxes.size(); ++i) {
        m_processingBoxes[i] = new QCheckBox(QString::fromUtf8(switches[i].text), processingBox);
        m_processingBoxes[i]->setObjectName(QString::number(switches[i].id));
        m_processingBoxes[i]->setToolTip(QString::fromUtf8(switches[i].tip));
        processingLayout->addWidget(m_processingBoxes[i]);
    }

    QGroupBox* resetBox = makeGroupBox(this, kResetGroup, "Reset IR Data");
    m_reset = new QPushButton(QStringLiteral("Reset"), resetBox);
    m_reset->setObjectName(QString::number(kReset));
    m_reset->setAutoDefault(false);
    auto* resetLayout = new QHBoxLayout(resetBox);
    resetLayout->addWidget(m_reset);
    resetLayout->addStretch(1);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QString::number(kOk));
    m_ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QString::number(kCancel));
    cancel->setAutoDefault(false);

    auto* loops = new QHBoxLayout;
    loops->addWidget(sendBox);
    loops->addWidget(returnBox);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(loops);
    layout->addWidget(stereoBox);
    layout->addWidget(conversionBox);
    layout->addWidget(processingBox);
    layout->addWidget(resetBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_ok, &QPushButton::clicked, this, &CPropertiesDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPropertiesDlg::reject);
    connect(m_reset, &QPushButton::clicked, this, &CPropertiesDlg::onReset);
    connect(m_sendGroup, &QButtonGroup::idClicked, this, [this](int) { onLoopClicked(false); });
    connect(m_returnGroup, &QButtonGroup::idClicked, this, [this](int) { onLoopClicked(true); });
    connect(m_stereoGroup, &QButtonGroup::idClicked, this, [this](int) { readControls(); });

    // Escape still cancels; there is just no button for it.
    cancel->hide();
    m_stereo = orx::AppSettings::getInstance()->PrimaryCh;
    const orx::AppSettings* settings = orx::AppSettings::getInstance();
    m_convertFiles = settings->ConvertFiles;
    m_processing = {settings->TrimSilence, settings->MinimumPhase, settings->FadeOut, settings->MatchLoudness};
    readLoopSettings();
    writeControls();
    enableControls(true);
    orx::CORXManager::getInstance()->addEventCallback(&CPropertiesDlg::postDeviceEvent, this);
}

CPropertiesDlg::~CPropertiesDlg()
{
    // Once this returns the session can no longer post to us; events already posted die with the object.
    if (orx::CORXManager* s = orx::CORXManager::existingInstance())
        s->removeEventCallback(&CPropertiesDlg::postDeviceEvent);
}

void CPropertiesDlg::readControls()
{
    m_send = readRadio(m_sendGroup);
    m_return = readRadio(m_returnGroup);
    m_stereo = readRadio(m_stereoGroup);
    m_convertFiles = m_convert->isChecked();
    for (std::size_t i = 0; i < m_processing.size(); ++i)
        m_processing[i] = m_processingBoxes[i]->isChecked();
}

void CPropertiesDlg::writeControls()
{
    writeRadio(m_sendGroup, m_send);
    writeRadio(m_returnGroup, m_return);
    writeRadio(m_stereoGroup, m_stereo);
    m_convert->setChecked(m_convertFiles);
    for (std::size_t i = 0; i < m_processing.size(); ++i)
        m_processingBoxes[i]->setChecked(m_processing[i]);
}

void CPropertiesDlg::readLoopSettings()
{
    std::int32_t send = 0, ret = 0;
    orx::CORXManager::getInstance()->getFXLoopSettings(send, ret);
    m_send = send;
    m_return = ret;
}

void CPropertiesDlg::enableControls(bool enable)
{
    orx::CORXManager* s = orx::CORXManager::getInstance();
    const bool connected = s->getModelCode() != 0;
    const bool loopSettings = s->isLoopSettingsAvailable();
    setGroupEnabled(m_sendGroup, enable && connected && loopSettings);
    setGroupEnabled(m_returnGroup, enable && connected && loopSettings);
    setGroupEnabled(m_stereoGroup, enable);
    m_convert->setEnabled(enable);
    for (QCheckBox* box : m_processingBoxes)
        box->setEnabled(enable);
    m_reset->setEnabled(enable && connected);
    m_ok->setEnabled(enable);
}

void CPropertiesDlg::onLoopClicked(bool isReturn)
{
    readControls();
    // The amplifier gets the choice now; OK or Escape later does not take it back.
    if (isReturn)
        orx::CORXManager::getInstance()->addRequest(orx::kRequestLoopReturn, m_return, 0);
    else
        orx::CORXManager::getInstance()->addRequest(orx::kRequestLoopSend, m_send, 0);
}

void CPropertiesDlg::onReset()
{
    if (!orx::askReset(this))
        return;
    // Nothing may be changed, nor the dialog closed with OK, while the amplifier rewrites its IR memory; the
    // device event that ends the reset, or reports its failure, enables the controls again.
    enableControls(false);
    orx::CORXManager::getInstance()->addRequest(orx::kRequestReset, 0, 0);
}

void CPropertiesDlg::accept()
{
    readControls();
    // Any value but 0 and 1, including -1 for none checked, means asking for each file.
    orx::AppSettings::getInstance()->PrimaryCh = m_stereo;
    orx::AppSettings* settings = orx::AppSettings::getInstance();
    settings->ConvertFiles = m_convertFiles;
    settings->TrimSilence = m_processing[0];
    settings->MinimumPhase = m_processing[1];
    settings->FadeOut = m_processing[2];
    settings->MatchLoudness = m_processing[3];
    QDialog::accept();
}

void CPropertiesDlg::postDeviceEvent(std::int32_t event, std::int32_t value, void* context)
{
    PropertiesEventMessage::post(static_cast<CPropertiesDlg*>(context), event, value);
}

void CPropertiesDlg::customEvent(QEvent* event)
{
    if (const auto* message = PropertiesEventMessage::from(event)) {
        onDeviceEventMessage(message->event, message->value);
        return;
    }
    QDialog::customEvent(event);
}

void CPropertiesDlg::onDeviceEventMessage(int event, int value)
{
    switch (event) {
    case orx::kEventError:
    case orx::kEventConnected:
    case orx::kEventDisconnected:
        enableControls(true);
        break;
    case orx::kEventReadAll:
        readLoopSettings();
        writeControls();
        enableControls(true);
        break;
    case orx::kEventReset:
        // The IR headers the pages show are stale now; the read raises event 6, which refreshes the loop radios.
        orx::CORXManager::getInstance()->addRequest(orx::kRequestReadAll, 0, 0);
        enableControls(true);
        break;
    default:
        break;
    }
    Q_EMIT deviceEventReceived(event, value);
}

namespace orx {

namespace {

ResetQuestion g_question;

} // namespace

ResetQuestion setResetQuestion(ResetQuestion question)
{
    return std::exchange(g_question, std::move(question));
}

bool askReset(QWidget* owner)
{
    if (g_question)
        return g_question(owner);
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(loadString(kResetCaption)),
                    QString::fromStdString(loadString(kResetText)), QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

} // namespace orx
