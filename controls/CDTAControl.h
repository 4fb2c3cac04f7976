// Base of the drawn value controls: a clamped value, its reporting identifier and listener, placement and image.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CImageEx.h"
#include "IDTAControlListener.h"

#include <QRect>
#include <QWidget>

class CDTAControl : public QWidget {
    Q_OBJECT
public:
    explicit CDTAControl(QWidget* parent = nullptr);

    void setListener(IDTAControlListener* listener) { m_listener = listener; }
    IDTAControlListener* listener() const { return m_listener; }

    // Clamps into [minimum, maximum]; the owner's way to show a value, so nothing is reported.
    void setValue(int v);
    int value() const { return m_value; }

    // The range is taken as given; a value set earlier is not clamped again until the next setValue.
    void setRange(int minimum, int maximum)
    {
        m_minimum = minimum;
        m_maximum = maximum;
    }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }

    void setControlId(int id) { m_controlId = id; }
    int controlId() const { return m_controlId; }

    // Where the owner draws the control, in the owner's coordinates (the width and height are the real size).
    void setPlacement(const QRect& rect) { m_placement = rect; }
    QRect placement() const { return m_placement; }

    CImageExResource& image() { return m_image; }
    const CImageExResource& image() const { return m_image; }

    // True between our own left press and its release.
    bool isCaptured() const { return m_captured; }

protected:
    // Reports to the listener, when there is one.
    void report(int value);
    void capture() { m_captured = true; }
    void releaseCapture() { m_captured = false; }

    // Mouse events are accepted here: Qt would hand an ignored press to the page and the control would lose
    // the drag that follows.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int m_value = 0;
    int m_minimum = 0;
    int m_maximum = 0;
    IDTAControlListener* m_listener = nullptr;
    int m_controlId = 0;
    QRect m_placement;
    CImageExResource m_image;
    bool m_captured = false;
};
