// Rotary dial drawn from a film strip, set by pointing on its arc, by dragging, by the wheel or by the arrow keys.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CDTAControl.h"

#include <QPoint>

class QPainter;

class CDTADial : public CDTAControl {
    Q_OBJECT
public:
    enum PointingMode { Relative = 0, Absolute = 1 };

    explicit CDTADial(QWidget* parent = nullptr);

    void setPointingMode(PointingMode mode) { m_pointingMode = mode; }
    PointingMode pointingMode() const { return m_pointingMode; }

    // Frame width is kept for the owner only: drawing copies the placement rectangle's width.
    void setFrameSize(int width, int height)
    {
        m_frameWidth = width;
        m_frameHeight = height;
    }
    int frameWidth() const { return m_frameWidth; }
    int frameHeight() const { return m_frameHeight; }
    void setFrameCount(int count) { m_frameCount = count; }
    int frameCount() const { return m_frameCount; }

    void setNoAcceleration(bool on) { m_noAcceleration = on; }
    bool noAcceleration() const { return m_noAcceleration; }
    bool fineFlag() const { return m_fine; }

    void setFocusedOpacity(float opacity) { m_focusedOpacity = opacity; }
    float focusedOpacity() const { return m_focusedOpacity; }

    // A centre in client coordinates replaces the middle of the client area.
    void setRotationCentre(QPoint centre)
    {
        m_rotationCentre = centre;
        m_customCentre = true;
    }
    void clearRotationCentre() { m_customCentre = false; }

    // Whole degrees clockwise from straight below the centre: 90 left, 180 above, 270 right.
    void setAngles(int startAngle, int endAngle)
    {
        m_startAngle = startAngle;
        m_endAngle = endAngle;
    }
    int startAngle() const { return m_startAngle; }
    int endAngle() const { return m_endAngle; }

    void setEndStop(bool on) { m_endStop = on; }
    bool endStop() const { return m_endStop; }

    QPoint lastPointer() const { return m_lastPointer; }

    // Paints the frame of the value at the placement rectangle, in the painter's (owner's) coordinates.
    void draw(QPainter& surface) const;
    // Source top of the frame that draw copies.
    int frameSourceTop() const;
    // 0 at the start angle, 1 at the end angle, in between in proportion; the pointer in client coordinates.
    float angleFraction(int x, int y) const;
    void setFromPoint(int x, int y);
    void stepValue(bool down, bool dragging);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Position of the value on the strip, 0 to 1; a control without a range sits at 0.
    float strip() const;
    void repaintInOwner();

    PointingMode m_pointingMode = Relative;
    QPoint m_lastPointer{0, 0};
    bool m_fine = false;
    int m_frameWidth = 46;
    int m_frameHeight = 54;
    int m_frameCount = 51;
    bool m_noAcceleration = false;
    float m_focusedOpacity = 1.0F;
    QPoint m_rotationCentre{0, 0};
    bool m_customCentre = false;
    int m_endAngle = 330;
    int m_startAngle = 30;
    bool m_endStop = true;
};
