// What every page of the main window is: a 960 x 640 child that follows one amp channel and the device events.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IMenuHandler.h"
#include "PageLayout.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <array>
#include <functional>

class CCustomButton;
class QPainter;

class CDevicePage : public QWidget, public IMenuHandler {
    Q_OBJECT
public:
    static constexpr int kWidth = 960;
    static constexpr int kHeight = 640;

    explicit CDevicePage(QWidget* parent);

    // One image button of a page: its control identifier, where it sits and which picture it shows (from
    // the layout table the artwork is drawn from), the frame of each look, and whether a click flips it.
    struct ButtonLayout {
        int id;
        orx::layout::Strip strip;
        orx::layout::LookFrames looks;
        bool toggles = true;
    };

    // The amplifier's model code (1 or 2) and the page's amp channel (0 or 1); the page refreshes.
    virtual void setPageChannel(int modelCode, int ampCh);
    // One device event, relayed on the user-interface thread in the order it was raised.
    virtual void onDeviceEvent(int event, int value);
    // Where the page shows the POWER lamp, lit while an amp is connected.
    virtual QPoint powerLampCentre() const = 0;

    int modelCode() const { return m_modelCode; }
    int ampChannel() const { return m_ampCh; }

Q_SIGNALS:
    void deviceEventReceived(int event, int value);
    // A transfer the page started is under way (true) or over (false); the main window shows the wait cursor.
    void busyChanged(bool busy);

protected:
    // Names the button after its identifier (so tests find it), places it and gives it its pictures, which are
    // decoded when the button is first drawn: a page never shown costs no decoding.
    static CCustomButton* setUpImageButton(CCustomButton* button, const ButtonLayout& layout, int pagePicture);
    // The AMP I / AMP II label shows on the two-channel model only, in the frame of the page's amp channel.
    void showAmpChannelLabel(CCustomButton* label);
    // Draws the button where it sits on the page, in its current look.
    static void paintButton(QPainter& painter, const CCustomButton* button);
    // The page picture shows the POWER lamp lit; without a connection this covers it with an unlit one.
    static void paintUnlitLamp(QPainter& painter, QPoint centre, int radius);
    // One off-screen picture per paint, copied in one step, so nothing flickers.
    void paintBuffered(const std::function<void(QPainter&)>& draw);

    int m_modelCode = -1; // until the main window gives them
    int m_ampCh = -1;
};
