// Thin drawn scroll bar for the file list: a thumb of three images that reports the top entry the user asks for.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CDTAControl.h"

#include <QColor>

class QPainter;

class CDTAScrollBar : public CDTAControl {
    Q_OBJECT
public:
    enum Orientation { Horizontal = 0, Vertical = 1 };
    // The list shows this many entries: the bar's length stands for 0 to maximum minus it, and it is the page step.
    static constexpr int kVisibleEntries = 10;
    static constexpr int kCapLength = 2;

    explicit CDTAScrollBar(QWidget* parent = nullptr);

    // Any other number gives a bar without a thumb whose getThumbRect fails.
    void setOrientation(int orientation) { m_orientation = orientation; }
    int orientation() const { return m_orientation; }
    void setThumbWidth(int width) { m_thumbWidth = width; }
    int thumbWidth() const { return m_thumbWidth; }
    void setThumbLength(int length) { m_thumbLength = length; }
    int thumbLength() const { return m_thumbLength; }
    // Added to the drawn position only; presses and drags ignore it.
    void setThumbOffset(int offset) { m_thumbOffset = offset; }
    int thumbOffset() const { return m_thumbOffset; }

    CImageExResource& topCapImage() { return m_topCap; }
    CImageExResource& middleImage() { return m_middle; }
    CImageExResource& bottomCapImage() { return m_bottomCap; }

    void setBackgroundColor(const QColor& color) { m_backgroundColor = color; }
    QColor backgroundColor() const { return m_backgroundColor; }

    // Thumb top along the bar for the current value, before drawing limits it to the bar.
    int thumbPosition() const;
    // Fills out in client coordinates (no thumb offset, not limited to the bar); 0 on success, -1 on failure.
    virtual int getThumbRect(QRect* out) const;
    // Paints into the owner's picture at the placement rectangle and nowhere else.
    void draw(QPainter& dc) const;
    // Sets the value for a pointer position in client coordinates and reports it.
    void dragTo(int x, int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int m_orientation = Horizontal;
    int m_thumbWidth = 0;
    int m_thumbLength = 0;
    int m_thumbOffset = 0;
    CImageExResource m_topCap;
    CImageExResource m_middle;
    CImageExResource m_bottomCap;
    QColor m_backgroundColor{Qt::black};
};
