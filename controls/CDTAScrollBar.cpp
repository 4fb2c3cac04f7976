// Thin drawn scroll bar for the file list: a thumb of three images that reports the top entry the user asks for.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDTAScrollBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

CDTAScrollBar::CDTAScrollBar(QWidget* parent) : CDTAControl(parent)
{
    setRange(0, 100);
    setFocusPolicy(Qt::ClickFocus);
}

int CDTAScrollBar::thumbPosition() const
{
    const int span = maximum() - kVisibleEntries;
    // Exactly ten entries: nothing can scroll, and the thumb rests at the top instead of dividing by zero. With
    // fewer the position comes out negative and drawing puts the thumb at the top as well.
    if (span == 0)
        return 0;
    const float along = static_cast<float>(height() - m_thumbLength / 2) / static_cast<float>(span);
    return static_cast<int>(along * static_cast<float>(value()));
}

int CDTAScrollBar::getThumbRect(QRect* out) const
{
    if (out == nullptr)
        return -1;
    if (m_orientation != Vertical) {
        *out = QRect();
        return m_orientation == Horizontal ? 0 : -1;
    }
    const int left = width() / 2 - m_thumbWidth / 2;
    const int top = thumbPosition();
    // The right edge is counted from the client's left, not from the centred left: a bar wider than its thumb
    // leaves a strip beside the thumb that is neither on it nor above or below it.
    out->setCoords(left, top, m_thumbWidth - 1, top + m_thumbLength - 1);
    return 0;
}

void CDTAScrollBar::draw(QPainter& dc) const
{
    if (!isVisible())
        return;
    const QRect bar = placement();
    dc.fillRect(bar, QColor(m_backgroundColor.red(), m_backgroundColor.green(), m_backgroundColor.blue()));
    if (m_orientation != Vertical)
        return;
    const int h = height();
    int position = thumbPosition();
    if (position > h - m_thumbLength)
        position = h - m_thumbLength;
    if (position < 0)
        position = 0;
    const int x = bar.left();
    const int y = bar.top() + m_thumbOffset + position;
    auto drawPart = [&](const CImageExResource& part, int top, int rows) {
        if (const QImage* picture = part.image())
            dc.drawImage(QRect(x, top, m_thumbWidth, rows), *picture);
    };
    drawPart(m_topCap, y, kCapLength);
    int row = y + kCapLength;
    for (; row < y + m_thumbLength - 2 * kCapLength; ++row)
        drawPart(m_middle, row, 1);
    drawPart(m_bottomCap, row, kCapLength);
}

void CDTAScrollBar::dragTo(int x, int y)
{
    float f = 0.0F;
    const QRect bar = placement();
    if (m_orientation == Vertical && bar.height() > 0)
        f = static_cast<float>(y) / static_cast<float>(bar.height());
    else if (m_orientation == Horizontal && bar.width() > 0)
        f = static_cast<float>(x) / static_cast<float>(bar.width());
    f = std::clamp(f, 0.0F, 1.0F);
    setValue(static_cast<int>(static_cast<float>(maximum() - kVisibleEntries) * f));
    report(value());
}

void CDTAScrollBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        QRect thumb;
        getThumbRect(&thumb);
        // Windows-style edges: the far edges of both rectangles count as inside.
        const int thumbRight = thumb.x() + thumb.width();
        const int thumbBottom = thumb.y() + thumb.height();
        const bool onThumb = p.x() >= thumb.x() && p.x() <= thumbRight && p.y() >= thumb.y() && p.y() <= thumbBottom;
        if (!onThumb && p.x() >= 0 && p.x() <= width()) {
            // The page decides: it sets the value itself once it has moved the list.
            if (p.y() < thumb.y() && p.y() >= 0)
                report(std::max(value() - kVisibleEntries, minimum()));
            else if (p.y() > thumbBottom && p.y() <= height())
                report(std::min(value() + kVisibleEntries, maximum()));
        }
        setFocus(Qt::MouseFocusReason);
    }
    CDTAControl::mousePressEvent(event);
}

void CDTAScrollBar::mouseMoveEvent(QMouseEvent* event)
{
    if (isCaptured()) {
        const QPoint p = event->position().toPoint();
        dragTo(p.x(), p.y());
    }
    CDTAControl::mouseMoveEvent(event);
}

void CDTAScrollBar::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    report(delta > 0 ? std::max(value() - 1, minimum()) : std::min(value() + 1, maximum()));
    event->accept();
}
