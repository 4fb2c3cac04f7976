// Image button drawn from a strip of face frames over a part of the page picture, with hover and toggle looks.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CCustomButton.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

qreal surfaceRatio(const QPainter& surface)
{
    const QPaintDevice* device = surface.device();
    return device != nullptr && device->devicePixelRatio() >= 1.5 ? 2.0 : 1.0;
}

} // namespace

CCustomButton::CCustomButton(QWidget* parent) : QAbstractButton(parent) {}

CCustomButton::ItemState CCustomButton::itemState() const
{
    ItemState state;
    if (isDown())
        state |= ItemPressed;
    if (!isEnabled())
        state |= ItemDisabled;
    if (hasFocus())
        state |= ItemFocused;
    return state;
}

bool CCustomButton::chooseFaceOffset(ItemState state, QPoint* offset) const
{
    if (m_toggleState != 0 && m_toggleState != 1)
        return false;
    const bool on = m_toggleState == 1;
    // A button given no hover frames (either offset left at (0, 0)) keeps its normal look under the pointer.
    const bool hasHoverLooks = !m_faceOffsets[HoverOn].isNull() && !m_faceOffsets[HoverOff].isNull();
    Look look = on ? NormalOn : NormalOff;
    if (state.testFlag(ItemPressed))
        look = on ? PressedOn : PressedOff;
    else if (m_hover && hasHoverLooks)
        look = on ? HoverOn : HoverOff;
    *offset = m_faceOffsets[look];
    return true;
}

void CCustomButton::drawFace(QPainter& surface, ItemState state) const
{
    QPoint offset;
    const QImage* face = m_face.image();
    if (face == nullptr || !chooseFaceOffset(state, &offset))
        return;
    drawImagePart(surface, QPoint(0, 0), *face, QRect(offset, size()));
}

void CCustomButton::drawButton(QPainter& surface, ItemState state, bool buffered) const
{
    auto drawInto = [&](QPainter& painter) {
        if (const QImage* background = m_background.image())
            drawImagePart(painter, QPoint(0, 0), *background, m_backgroundRect);
        drawFace(painter, state);
    };
    if (!buffered) {
        drawInto(surface);
        return;
    }
    if (m_frameSize.isEmpty())
        return;
    // Background part and face meet off screen, so the screen only ever sees the finished frame. The frame has the
    // surface's resolution, so a HiDPI screen gets every device pixel of the pictures.
    const qreal ratio = surfaceRatio(surface);
    QImage frame(m_frameSize * ratio, QImage::Format_ARGB32_Premultiplied);
    if (ratio != 1.0)
        frame.setDevicePixelRatio(ratio);
    frame.fill(Qt::black);
    {
        QPainter painter(&frame);
        drawInto(painter);
    }
    surface.drawImage(QPoint(0, 0), frame);
}

void CCustomButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawButton(painter, itemState(), true);
}

void CCustomButton::setHover(bool hover)
{
    if (m_hover == hover)
        return;
    m_hover = hover;
    update();
}

void CCustomButton::enterEvent(QEnterEvent* event)
{
    // Qt still announces the pointer to a disabled widget; a disabled button must keep its look.
    if (isEnabled())
        setHover(true);
    QAbstractButton::enterEvent(event);
}

void CCustomButton::leaveEvent(QEvent* event)
{
    setHover(false);
    QAbstractButton::leaveEvent(event);
}

void CCustomButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_captured = true;
    QAbstractButton::mousePressEvent(event);
}

void CCustomButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double click is a press of its own, so a toggle flips once per click.
    mousePressEvent(event);
}

void CCustomButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // Flip before the base class reports the click, so the owner's handler already sees the new state.
        if (m_toggleFlag && m_captured && rect().contains(event->position().toPoint()))
            m_toggleState = m_toggleState == 0 ? 1 : 0;
        m_captured = false;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void CCustomButton::keyPressEvent(QKeyEvent* event)
{
    // A switch is operated by the mouse only; Space would otherwise click it and the owner would act on it.
    if (m_toggleFlag && event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}
