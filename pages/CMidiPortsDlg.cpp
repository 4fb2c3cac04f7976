// The MIDI Ports dialog: the port lists kept fresh, the probe in the background, the choice into the settings.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMidiPortsDlg.h"

#include "AppSettings.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "ConnectionStatus.h"
#include "PortChoice.h"
#include "backends/RtMidiBackend.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace orx {

namespace {

PortProbe g_probe;

} // namespace

PortProbe setPortProbe(PortProbe probe)
{
    return std::exchange(g_probe, std::move(probe));
}

namespace {

PortProbe probeInUse()
{
    if (g_probe)
        return g_probe;
    return [](const ProbeOptions& options) { return probeForAmp(options); };
}

} // namespace

} // namespace orx

namespace {

constexpr const char* kApis[][2] = {{"alsa", "ALSA"}, {"jack", "JACK"}};

QString fromStd(const std::string& s)
{
    return QString::fromStdString(s);
}

QString apiLabel(const std::string& api)
{
    for (const auto& a : kApis)
        if (api == a[0])
            return QString::fromUtf8(a[1]);
    return fromStd(api);
}

template <typename T> T* named(T* widget, int id)
{
    widget->setObjectName(QString::number(id));
    return widget;
}

std::string selectedPort(const QComboBox* list)
{
    return list->currentData(CMidiPortsDlg::kPortRole).toString().toStdString();
}

// "Automatic" first, then the ports as listed; a selected port that is not listed keeps an entry of its own,
// so a choice made for an amp that is switched off is not lost by looking at the dialog.
void fillPortList(QComboBox* list, const std::vector<std::string>& names, const std::string& selected)
{
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItem(QStringLiteral("Automatic"), QString());
    for (const auto& name : names)
        list->addItem(fromStd(name), fromStd(name));
    if (selected.empty()) {
        list->setCurrentIndex(0);
        return;
    }
    const int found = orx::findChosenPort(names, orx::ChosenPort{selected, false});
    if (found >= 0) {
        list->setCurrentIndex(found + 1);
        return;
    }
    list->addItem(fromStd(selected) + QStringLiteral(" (not present)"), fromStd(selected));
    list->setCurrentIndex(list->count() - 1);
}

// Selects the port in the list, adding it when the list has not caught up with it yet.
void selectPort(QComboBox* list, const std::string& name)
{
    const int index = list->findData(fromStd(name), CMidiPortsDlg::kPortRole);
    if (index >= 0) {
        list->setCurrentIndex(index);
        return;
    }
    list->addItem(fromStd(name), fromStd(name));
    list->setCurrentIndex(list->count() - 1);
}

QString answerText(const orx::ProbeAnswer& a, bool connectedNow)
{
    QString text = fromStd(a.inputPort) + QStringLiteral(" \u2194 ") + fromStd(a.outputPort);
    if (a.modelCode >= '1')
        text += QStringLiteral(" \u2014 model ") + QChar(a.modelCode);
    if (connectedNow)
        text += QStringLiteral(" (connected now)");
    return text;
}

// The pair the session holds, as the port lists name it; the probe neither asks nor disturbs it.
std::optional<orx::ProbeAnswer> connectedPair()
{
    orx::CORXManager* session = orx::CORXManager::existingInstance();
    orx::CMIDIManager* midi = orx::CMIDIManager::existingInstance();
    if (!session || !midi || !session->isOpen())
        return std::nullopt;
    orx::ProbeAnswer pair;
    pair.inputPort = orx::CMIDIManager::normalisePortName(midi->inputPortName());
    pair.outputPort = orx::CMIDIManager::normalisePortName(midi->outputPortName());
    pair.modelCode = session->getModelCode();
    if (pair.inputPort.empty() || pair.outputPort.empty() || pair.modelCode == 0)
        return std::nullopt;
    return pair;
}

} // namespace

CMidiPortsDlg::CMidiPortsDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("MIDI Ports"));
    m_currentApi = orx::currentMidiApi();

    m_api = named(new QComboBox(this), kApi);
    for (const auto& a : kApis)
        m_api->addItem(QString::fromUtf8(a[1]), QString::fromUtf8(a[0]));
    m_api->setCurrentIndex(std::max(0, m_api->findData(fromStd(m_currentApi))));
    m_apiNote = named(new QLabel(this), kApiNote);
    m_apiNote->setWordWrap(true);
    m_input = named(new QComboBox(this), kInput);
    m_output = named(new QComboBox(this), kOutput);
    for (QComboBox* list : {m_input, m_output}) {
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(44);
    }

    m_findAmp = named(new QPushButton(QStringLiteral("Find Amp"), this), kFindAmp);
    m_findAmp->setAutoDefault(false);
    m_probeLine = named(new QLabel(QStringLiteral("Asks every output port whether the amp answers."), this), kProbeLine);
    m_probeLine->setWordWrap(true);
    m_answers = named(new QListWidget(this), kAnswers);
    m_answers->setFixedHeight(m_answers->fontMetrics().height() * 4 + 8);
    m_answers->setToolTip(QStringLiteral("Click a pair to choose its ports."));
    m_sessionLine = named(new QLabel(this), kSessionLine);
    m_sessionLine->setWordWrap(true);
    m_sessionLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* ok = named(new QPushButton(QStringLiteral("OK"), this), kOk);
    ok->setDefault(true);
    auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), this), kCancel);
    cancel->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("MIDI system:"), m_api);
    form->addRow(QString(), m_apiNote);
    form->addRow(QStringLiteral("Input port:"), m_input);
    form->addRow(QStringLiteral("Output port:"), m_output);
    auto* find = new QHBoxLayout;
    find->addWidget(m_findAmp);
    find->addWidget(m_probeLine, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(find);
    layout->addWidget(m_answers);
    layout->addSpacing(6);
    layout->addWidget(m_sessionLine);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok, &QPushButton::clicked, this, &CMidiPortsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CMidiPortsDlg::reject);
    connect(m_findAmp, &QPushButton::clicked, this, &CMidiPortsDlg::startProbe);
    connect(m_answers, &QListWidget::itemClicked, this, &CMidiPortsDlg::takeAnswer);
    connect(m_answers, &QListWidget::itemActivated, this, &CMidiPortsDlg::takeAnswer);
    connect(m_api, &QComboBox::currentIndexChanged, this, [this](int) { updateApiNote(); });

    m_lister = std::make_unique<orx::CMIDIManager>(orx::CMIDIManager::makeBackend());
    const orx::AppSettings* settings = orx::AppSettings::getInstance();
    std::vector<std::string> names;
    m_lister->getInDeviceNames(names);
    fillPortList(m_input, names, settings->MidiInputPort);
    m_lister->getOutDeviceNames(names);
    fillPortList(m_output, names, settings->MidiOutputPort);
    updateApiNote();
    updateSessionLine();

    m_refresh = new QTimer(this);
    m_refresh->setInterval(kDefaultRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &CMidiPortsDlg::refreshPorts);
    m_refresh->start();
    orx::CORXManager::getInstance()->addEventCallback(&CMidiPortsDlg::postDeviceEvent, this);
}

CMidiPortsDlg::~CMidiPortsDlg()
{
    if (orx::CORXManager* s = orx::CORXManager::existingInstance())
        s->removeEventCallback(&CMidiPortsDlg::postDeviceEvent);
    stopProbe();
}

orx::MidiPortChoice CMidiPortsDlg::choice() const
{
    return {m_api->currentData().toString().toStdString(), selectedPort(m_input), selectedPort(m_output)};
}

void CMidiPortsDlg::setRefreshInterval(int milliseconds)
{
    m_refresh->setInterval(milliseconds);
}

void CMidiPortsDlg::refreshPorts()
{
    std::vector<std::string> names;
    m_lister->getInDeviceNames(names);
    fillPortList(m_input, names, selectedPort(m_input));
    m_lister->getOutDeviceNames(names);
    fillPortList(m_output, names, selectedPort(m_output));
    updateSessionLine();
}

void CMidiPortsDlg::updateApiNote()
{
    // Listing another system's ports would mean a second MIDI system in the program while the session's is in
    // use; the lists follow the new system once it is the session's.
    const bool other = m_api->currentData().toString().toStdString() != m_currentApi;
    m_apiNote->setText(other ? QStringLiteral("The lists show the ports of %1, the system in use now. %2's ports are "
                                              "listed when you open this dialog again after OK.")
                                   .arg(apiLabel(m_currentApi), m_api->currentText())
                             : QString());
    m_apiNote->setVisible(other);
    m_findAmp->setEnabled(!other && !probeRunning());
}

void CMidiPortsDlg::updateSessionLine()
{
    const orx::ConnectionStatus status = orx::describeConnection(orx::currentConnection(0), false);
    m_sessionLine->setText(QStringLiteral("Now: ") + fromStd(status.text));
    m_sessionLine->setToolTip(fromStd(status.tooltip));
}

void CMidiPortsDlg::startProbe()
{
    if (probeRunning())
        return;
    m_findAmp->setEnabled(false);
    m_answers->clear();
    m_probeLine->setText(QStringLiteral("Asking every output port..."));
    orx::ProbeOptions options;
    options.connected = connectedPair();
    options.cancel = &m_cancel;
    m_cancel = false;
    orx::PortProbe probe = orx::probeInUse();
    m_probe = std::thread([this, probe = std::move(probe), options] {
        orx::ProbeResult result = probe(options);
        QMetaObject::invokeMethod(this, [this, result = std::move(result)] { showProbeResult(result); },
                                  Qt::QueuedConnection);
    });
}

void CMidiPortsDlg::showProbeResult(const orx::ProbeResult& result)
{
    if (m_probe.joinable())
        m_probe.join(); // it has handed its result over and is ending
    m_answers->clear();
    const std::optional<orx::ProbeAnswer> connected = connectedPair();
    for (const auto& answer : result.answers) {
        const bool now = connected && connected->inputPort == answer.inputPort &&
                         connected->outputPort == answer.outputPort;
        auto* item = new QListWidgetItem(answerText(answer, now), m_answers);
        item->setData(kPortRole, fromStd(answer.inputPort));
        item->setData(kOutputRole, fromStd(answer.outputPort));
    }
    if (!result.problem.empty() && result.answers.empty())
        m_probeLine->setText(QStringLiteral("The MIDI system cannot be used: ") + fromStd(result.problem));
    else if (result.answers.empty())
        m_probeLine->setText(QStringLiteral("No amplifier answered."));
    else if (result.answers.size() == 1)
        m_probeLine->setText(QStringLiteral("The amp answered. Click the pair to choose its ports."));
    else
        m_probeLine->setText(QStringLiteral("%1 pairs answered. Click one to choose its ports.").arg(result.answers.size()));
    updateApiNote(); // enables Find Amp again
    Q_EMIT probeFinished();
}

void CMidiPortsDlg::takeAnswer(QListWidgetItem* item)
{
    if (!item)
        return;
    selectPort(m_input, item->data(kPortRole).toString().toStdString());
    selectPort(m_output, item->data(kOutputRole).toString().toStdString());
}

void CMidiPortsDlg::stopProbe()
{
    m_cancel = true;
    if (m_probe.joinable())
        m_probe.join();
}

void CMidiPortsDlg::accept()
{
    stopProbe();
    const orx::MidiPortChoice chosen = choice();
    orx::AppSettings* settings = orx::AppSettings::getInstance();
    settings->MidiApi = chosen.api;
    settings->MidiInputPort = chosen.input;
    settings->MidiOutputPort = chosen.output;
    settings->save();
    QDialog::accept();
}

void CMidiPortsDlg::reject()
{
    stopProbe();
    QDialog::reject();
}

void CMidiPortsDlg::postDeviceEvent(std::int32_t event, std::int32_t value, void* context)
{
    MidiPortsEventMessage::post(static_cast<CMidiPortsDlg*>(context), event, value);
}

void CMidiPortsDlg::customEvent(QEvent* event)
{
    if (const auto* message = MidiPortsEventMessage::from(event)) {
        onDeviceEventMessage(message->event, message->value);
        return;
    }
    QDialog::customEvent(event);
}

void CMidiPortsDlg::onDeviceEventMessage(int event, int value)
{
    updateSessionLine();
    Q_EMIT deviceEventReceived(event, value);
}
