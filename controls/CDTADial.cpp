// Rotary dial drawn from a film strip, set by pointing on its arc, by dragging, by the wheel or by the arrow keys.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDTADial.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

// Brings an angle difference back into 0..360 with one correction, as the arc's ends are measured.
int wrapOnce(int angle)
{
    if (angle < 0)
        return angle + 360;
    if (angle > 360)
        return angle - 360;
    return angle;
}

} // namespace

CDTADial::CDTADial(QWidget* parent) : CDTAControl(parent)
{
    setRange(0, 255);
    setFocusPolicy(Qt::ClickFocus);
}

float CDTADial::strip() const
{
    if (maximum() == minimum())
        return 0.0F;
    return static_cast<float>(value() - minimum()) / static_cast<float>(maximum() - minimum());
}

int CDTADial::frameSourceTop() const
{
    // Float times float, then a double half: the rounding the film strips were made for.
    const int frame = static_cast<int>(static_cast<float>(m_frameCount - 1) * strip() + 0.5);
    return frame * m_frameHeight;
}

void CDTADial::draw(QPainter& surface) const
{
    const QImage* film = image().image();
    if (!isVisible() || film == nullptr)
        return;
    const QRect target = placement();
    const QRect source(0, frameSourceTop(), target.width(), target.height());
    surface.save();
    if (hasFocus())
        surface.setOpacity(surface.opacity() * m_focusedOpacity);
    drawImagePart(surface, target.topLeft(), *film, source);
    surface.restore();
}

void CDTADial::paintEvent(QPaintEvent*)
{
    // The same drawing as the owner's, on the dial's own surface; the page's picture is what normally shows it.
    QPainter painter(this);
    draw(painter);
}

float CDTADial::angleFraction(int x, int y) const
{
    const int cx = m_customCentre ? m_rotationCentre.x() : width() / 2;
    const int cy = m_customCentre ? m_rotationCentre.y() : height() / 2;
    const int mid = (m_startAngle + m_endAngle) / 2 - 180;
    const double a = std::atan2(static_cast<double>(cx - x), static_cast<double>(cy - y));
    const int l = static_cast<int>(static_cast<float>(a) * 360.0F / 6.283185307179586);
    const int p = wrapOnce(180 - l - mid);
    const int s = wrapOnce(m_startAngle - mid);
    const int e = wrapOnce(m_endAngle - mid);
    if (p <= s)
        return 0.0F;
    if (p >= e)
        return 1.0F;
    return static_cast<float>(p - s) / static_cast<float>(e - s);
}

void CDTADial::setFromPoint(int x, int y)
{
    const float r = strip();
    const float f = angleFraction(x, y);
    // During a drag the pointer may swing through the gap below the centre; it must not flip the dial end to end.
    if (m_endStop && isCaptured() && ((r == 1.0F && f < 0.5F) || (r == 0.0F && f > 0.5F)))
        return;
    const float span = f * static_cast<float>(maximum() - minimum()) + static_cast<float>(minimum());
    setValue(static_cast<int>(span + 0.5));
}

void CDTADial::stepValue(bool down, bool dragging)
{
    const int sign = down ? -1 : 1;
    int step = 1;
    if (!m_fine && !m_noAcceleration) {
        const int range = maximum() - minimum();
        if (range > 100)
            step = static_cast<int>(range / (dragging ? 50.0 : 100.0) + 0.5);
        else if (dragging && range >= 50)
            step = static_cast<int>(range / 50.0 + 0.5);
    }
    setValue(value() + sign * step);
}

void CDTADial::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        // Evaluated before the capture below, so a press is never held back by the end stop.
        if (m_pointingMode == Absolute) {
            setFromPoint(pos.x(), pos.y());
            report(value());
        }
        m_lastPointer = pos;
        setFocus(Qt::MouseFocusReason);
    }
    CDTAControl::mousePressEvent(event);
}

void CDTADial::mouseMoveEvent(QMouseEvent* event)
{
    if (isCaptured()) {
        const QPoint pos = event->position().toPoint();
        if (m_pointingMode == Absolute) {
            setFromPoint(pos.x(), pos.y());
        } else {
            stepValue(pos.y() >= m_lastPointer.y(), true);
            m_lastPointer = pos;
        }
        // Reported on every move, changed or not: the page sends what it is told each time.
        report(value());
    }
    CDTAControl::mouseMoveEvent(event);
}

void CDTADial::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    // Horizontal wheels and touchpad phase markers carry no vertical delta and are not notches.
    if (delta == 0) {
        event->ignore();
        return;
    }
    stepValue(delta <= 0, false);
    report(value());
    event->accept();
}

void CDTADial::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
        m_fine = true;
        break;
    case Qt::Key_Up:
        stepValue(false, false);
        report(value());
        event->accept();
        return;
    case Qt::Key_Down:
        stepValue(true, false);
        report(value());
        event->accept();
        return;
    default:
        break;
    }
    CDTAControl::keyPressEvent(event);
}

void CDTADial::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Shift)
        m_fine = false;
    CDTAControl::keyReleaseEvent(event);
}

void CDTADial::repaintInOwner()
{
    update();
    if (QWidget* owner = parentWidget())
        owner->update(geometry());
}

void CDTADial::focusInEvent(QFocusEvent* event)
{
    CDTAControl::focusInEvent(event);
    repaintInOwner();
}

void CDTADial::focusOutEvent(QFocusEvent* event)
{
    CDTAControl::focusOutEvent(event);
    repaintInOwner();
}
