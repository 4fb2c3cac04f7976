// The effect settings page: the amplifier's front with the FX loop switch and noise gate, and two pedals.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CEffcetSettingsTab.h"

#include "CCustomButton.h"
#include "CDTADial.h"
#include "CORXManager.h"
#include "PageLayout.h"
#include "StringTable.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstdio>

namespace {

namespace layout = orx::layout;

constexpr int kPagePicture = layout::kEffectPage;
constexpr int kDialPicture = 283;
constexpr QRect kBoosterTextRect = layout::kBoosterText;
constexpr QRect kReverbTextRect = layout::kReverbText;
constexpr QRect kDialPlacement = layout::kNoiseGate.rect(); // (732, 87) to (886, 227)
constexpr QPoint kPowerLampCentre = layout::kEffectPowerLamp;
constexpr int kPowerLampRadius = layout::kPowerLampRadius;

constexpr CDevicePage::ButtonLayout kButtons[] = {
    {CEffcetSettingsTab::kAmpChLabel, layout::kEffectAmpCh, layout::kLabelFrames, false},
    {CEffcetSettingsTab::kWhite, layout::kWhite, layout::kPedalFrames},
    {CEffcetSettingsTab::kGreen, layout::kGreen, layout::kPedalFrames},
    {CEffcetSettingsTab::kAmber, layout::kAmber, layout::kPedalFrames},
    {CEffcetSettingsTab::kSpring, layout::kSpring, layout::kPedalFrames},
    {CEffcetSettingsTab::kPlate, layout::kPlate, layout::kPedalFrames},
    {CEffcetSettingsTab::kRoom, layout::kRoom, layout::kPedalFrames},
    {CEffcetSettingsTab::kHall, layout::kHall, layout::kPedalFrames},
    {CEffcetSettingsTab::kFXLoop, layout::kFxLoop, layout::kToggleFrames},
};

QString text(int id)
{
    return QString::fromStdString(orx::loadString(id));
}

} // namespace

CEffcetSettingsTab::CEffcetSettingsTab(QWidget* parent) : CDevicePage(parent)
{
    layoutControls();
    refreshFromDevice();
    updateEnabling();
}

std::vector<int> CEffcetSettingsTab::pictures()
{
    std::vector<int> ids{kPagePicture, kDialPicture};
    for (const ButtonLayout& button : kButtons)
        ids.push_back(button.strip.id);
    return ids;
}

void CEffcetSettingsTab::layoutControls()
{
    m_background.loadWhenNeeded(kPagePicture);
    for (const ButtonLayout& button : kButtons) {
        CCustomButton* b = setUpImageButton(new CCustomButton(this), button, kPagePicture);
        connect(b, &QAbstractButton::clicked, this, [this, id = button.id] { onClicked(id); });
        switch (button.id) {
        case kAmpChLabel:
            m_ampChLabel = b;
            break;
        case kFXLoop:
            m_fxLoop = b;
            break;
        case kWhite:
        case kGreen:
        case kAmber:
            m_booster[static_cast<std::size_t>(button.id - kWhite)] = b;
            b->installEventFilter(this);
            break;
        default:
            m_reverb[static_cast<std::size_t>(button.id - kSpring)] = b;
            b->installEventFilter(this);
            break;
        }
    }
    // The channel label only shows which channel this is; it never reacts.
    m_ampChLabel->setEnabled(false);
    m_ampChLabel->hide();

    m_dial = new CDTADial(this);
    m_dial->setObjectName(QString::number(kNoiseGate));
    m_dial->setGeometry(kDialPlacement);
    m_dial->setRange(0, 3);
    m_dial->setControlId(kNoiseGate);
    m_dial->setListener(this);
    m_dial->setPointingMode(CDTADial::Absolute);
    m_dial->setFrameSize(155, 141);
    m_dial->setFrameCount(4);
    m_dial->setAngles(50, 140);
    m_dial->setRotationCentre(QPoint(112, 108));
    m_dial->setEndStop(false);
    m_dial->setFocusedOpacity(1.0F);
    m_dial->setPlacement(kDialPlacement);
    m_dial->image().loadWhenNeeded(kDialPicture);

    // 34 pixels high whatever the screen's resolution; the nearest bold sans face stands in for Arial Bold.
    m_font = QFont(QStringLiteral("Arial"));
    m_font.setBold(true);
    m_font.setPixelSize(34);
}

CCustomButton* CEffcetSettingsTab::button(int controlId) const
{
    return findChild<CCustomButton*>(QString::number(controlId), Qt::FindDirectChildrenOnly);
}

void CEffcetSettingsTab::setPageChannel(int modelCode, int ampCh)
{
    CDevicePage::setPageChannel(modelCode, ampCh);
    refreshFromDevice();
}

void CEffcetSettingsTab::refreshFromDevice()
{
    std::int32_t booster = 0, fxLoop = 0, reverb = 0, gate = 0;
    if (!orx::CORXManager::getInstance()->getEffectParams(m_ampCh, booster, fxLoop, reverb, gate))
        return;
    showAmpChannelLabel(m_ampChLabel);
    m_fxLoop->setToggleState(fxLoop != 0 ? 1 : 0);
    m_fxLoop->update();
    m_dial->setValue(gate);
    update(kDialPlacement);
    selectBooster(booster);
    if (reverb >= 0 && reverb <= 3)
        selectReverb(reverb);
}

void CEffcetSettingsTab::setSwitches(std::span<CCustomButton* const> group, CCustomButton* on)
{
    for (CCustomButton* b : group) {
        b->setToggleState(b == on ? 1 : 0);
        b->update();
    }
}

void CEffcetSettingsTab::selectBooster(int value)
{
    if (value < 0 || value > 2)
        return;
    setSwitches(m_booster, m_booster[static_cast<std::size_t>(value)]);
    m_boosterText = text(406 + value);
    update(kBoosterTextRect);
}

void CEffcetSettingsTab::selectReverb(int value)
{
    if (value < 1 || value > 3)
        value = 0;
    setSwitches(m_reverb, m_reverb[static_cast<std::size_t>(value)]);
    m_reverbText = text(409 + value);
    update(kReverbTextRect);
}

void CEffcetSettingsTab::updateEnabling()
{
    // A disabled control looks exactly like an enabled one; it only stops reacting.
    const bool enabled = m_connected == 1;
    m_fxLoop->setEnabled(enabled);
    m_dial->setEnabled(enabled);
    update(kDialPlacement);
    for (CCustomButton* b : m_booster)
        b->setEnabled(enabled);
    // The two text statics only hold texts; enabling them changes nothing anyone can see.
    for (CCustomButton* b : m_reverb)
        b->setEnabled(enabled);
    update();
}

void CEffcetSettingsTab::onDeviceEvent(int event, int value)
{
    switch (event) {
    case orx::kEventConnected:
        m_connected = 1;
        showAmpChannelLabel(m_ampChLabel);
        updateEnabling();
        break;
    case orx::kEventDisconnected:
        m_connected = 0;
        updateEnabling(); // the values shown stay
        break;
    case orx::kEventReadAll:
        refreshFromDevice();
        break;
    default:
        break;
    }
    CDevicePage::onDeviceEvent(event, value);
}

void CEffcetSettingsTab::onClicked(int controlId)
{
    CCustomButton* b = button(controlId);
    if (!b)
        return;
    const bool on = b->toggleState() == 1;
    if (controlId == kFXLoop) {
        orx::CORXManager::getInstance()->addRequest(orx::kRequestFXLoopMode, m_ampCh, on ? 1 : 0);
        return;
    }
    // A foot switch clicked off again (only possible by keyboard) does nothing.
    if (!on)
        return;
    if (controlId >= kWhite && controlId <= kAmber) {
        selectBooster(controlId - kWhite);
        orx::CORXManager::getInstance()->addRequest(orx::kRequestBooster, m_ampCh, controlId - kWhite);
    } else if (controlId >= kSpring && controlId <= kHall) {
        selectReverb(controlId - kSpring);
        orx::CORXManager::getInstance()->addRequest(orx::kRequestReverb, m_ampCh, controlId - kSpring);
    }
}

int CEffcetSettingsTab::onValueChanged(int controlId, int value)
{
    if (controlId != kNoiseGate)
        return 0;
    m_dial->setValue(value);
    update(kDialPlacement);
    // Every report is one request, repeated values included: the amplifier follows the drag as it happens.
    orx::CORXManager::getInstance()->addRequest(orx::kRequestNoiseGate, m_ampCh, m_dial->value());
    return 0;
}

bool CEffcetSettingsTab::eventFilter(QObject* watched, QEvent* event)
{
    try {
        // A foot switch that is on cannot be clicked off: its presses never reach it.
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            auto* b = qobject_cast<CCustomButton*>(watched);
            if (b && mouse->button() == Qt::LeftButton && b->toggleState() == 1)
                return true;
        }
    } catch (...) {
        std::fputs("[CATCH] Exception! - CEffcetSettingsTab::PreTranslateMessage()\n", stderr);
    }
    return CDevicePage::eventFilter(watched, event);
}

void CEffcetSettingsTab::paintEvent(QPaintEvent*)
{
    paintBuffered([this](QPainter& p) {
        if (const QImage* background = m_background.image())
            p.drawImage(rect(), *background);
        p.setFont(m_font);
        p.setPen(QColor(255, 255, 255));
        p.drawText(kBoosterTextRect, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine, m_boosterText);
        p.drawText(kReverbTextRect, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine, m_reverbText);
        m_dial->draw(p);
        if (m_modelCode == 2)
            paintButton(p, m_ampChLabel);
        paintButton(p, m_fxLoop);
        for (CCustomButton* b : m_booster)
            paintButton(p, b);
        for (CCustomButton* b : m_reverb)
            paintButton(p, b);
        if (!m_connected)
            paintUnlitLamp(p, kPowerLampCentre, kPowerLampRadius);
    });
}
