// The effect settings page of one amp channel: booster, FX loop mode, reverb and noise gate.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CDevicePage.h"
#include "CImageEx.h"
#include "IDTAControlListener.h"

#include <QFont>
#include <QRect>
#include <QString>

#include <vector>

#include <array>
#include <span>

class CCustomButton;
class CDTADial;

class CEffcetSettingsTab : public CDevicePage, public IDTAControlListener {
    Q_OBJECT
public:
    // Control identifiers; the buttons are also named after them ("1300" ...), so tests can find them.
    enum ControlId {
        kAmpChLabel = 1299,
        kWhite = 1300,
        kGreen = 1301,
        kAmber = 1302,
        kBoosterText = 1303,
        kSpring = 1304,
        kPlate = 1305,
        kRoom = 1306,
        kHall = 1307,
        kReverbText = 1308,
        kFXLoop = 1309,
        kNoiseGate = 1310,
    };

    explicit CEffcetSettingsTab(QWidget* parent);

    // The pictures the page draws, the largest first: the window decodes them ahead for its first page.
    static std::vector<int> pictures();

    void setPageChannel(int modelCode, int ampCh) override;
    void onDeviceEvent(int event, int value) override;
    QPoint powerLampCentre() const override { return orx::layout::kEffectPowerLamp; }
    int onValueChanged(int controlId, int value) override;

    void refreshFromDevice();
    void selectBooster(int value);
    void selectReverb(int value);
    void updateEnabling();

    // The page has nothing to edit: every Edit command is unavailable and does nothing.
    int canUndo() override { return 0; }
    int canCut() override { return 0; }
    int canCopy() override { return 0; }
    int canPaste() override { return 0; }
    int canSelectAll() override { return 0; }
    void undo() override {}
    void cut() override {}
    void copy() override {}
    void paste() override {}
    void selectAll() override {}

    CCustomButton* button(int controlId) const;
    CDTADial* noiseGateDial() const { return m_dial; }
    QString boosterText() const { return m_boosterText; }
    QString reverbText() const { return m_reverbText; }
    bool isConnected() const { return m_connected != 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutControls();
    void onClicked(int controlId);
    void setSwitches(std::span<CCustomButton* const> group, CCustomButton* on);

    int m_connected = 0;
    CImageExResource m_background;
    CCustomButton* m_ampChLabel = nullptr;
    std::array<CCustomButton*, 3> m_booster{};
    std::array<CCustomButton*, 4> m_reverb{};
    CCustomButton* m_fxLoop = nullptr;
    CDTADial* m_dial = nullptr;
    QString m_boosterText = QStringLiteral("Booster");
    QString m_reverbText = QStringLiteral("Reverb");
    QFont m_font;
};
