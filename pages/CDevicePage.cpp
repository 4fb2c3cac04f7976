// The page base: fixed size, channel and event bookkeeping.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDevicePage.h"

#include "CCustomButton.h"

#include <QPainter>
#include <QRadialGradient>
#include <QPixmap>

CDevicePage::CDevicePage(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kWidth, kHeight);
    // Pages paint their whole area themselves; nothing is erased under them.
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
}

void CDevicePage::setPageChannel(int modelCode, int ampCh)
{
    m_modelCode = modelCode;
    m_ampCh = ampCh;
}

void CDevicePage::onDeviceEvent(int event, int value)
{
    Q_EMIT deviceEventReceived(event, value);
}

CCustomButton* CDevicePage::setUpImageButton(CCustomButton* b, const ButtonLayout& layout, int pagePicture)
{
    const QRect rect = layout.strip.rect();
    const auto faces = orx::layout::faceOffsets(layout.strip, layout.looks);
    b->setObjectName(QString::number(layout.id));
    b->setGeometry(rect);
    // The @2x twins on a HiDPI screen; the button cuts its frames from them in device pixels.
    const qreal ratio = b->devicePixelRatioF();
    b->faceImage().loadWhenNeeded(layout.strip.id, ratio);
    b->backgroundImage().loadWhenNeeded(pagePicture, ratio);
    b->setBackgroundRect(rect);
    b->setFrameSize(rect.size());
    for (int look = 0; look < CCustomButton::LookCount; ++look)
        b->setFaceOffset(static_cast<CCustomButton::Look>(look), QPoint(0, faces[static_cast<std::size_t>(look)]));
    b->setToggleFlag(layout.toggles);
    return b;
}

void CDevicePage::showAmpChannelLabel(CCustomButton* label)
{
    if (m_modelCode == 2) {
        label->setToggleState(m_ampCh == 0 ? 0 : 1);
        label->show();
    } else {
        label->hide();
    }
    update(label->geometry());
}

void CDevicePage::paintButton(QPainter& p, const CCustomButton* b)
{
    p.save();
    p.translate(b->pos());
    b->drawButton(p, b->itemState(), false);
    p.restore();
}

void CDevicePage::paintUnlitLamp(QPainter& p, QPoint centre, int radius)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(centre.x() + 0.5, centre.y() + 0.5);
    const qreal r = radius + 0.5; // covers the lit picture's glow at the rim
    // Dark red glass, a shade lighter towards the top left where the room's light falls on it.
    QRadialGradient glass(c - QPointF(r * 0.3, r * 0.35), r * 1.3);
    glass.setColorAt(0.0, QColor(92, 34, 34));
    glass.setColorAt(0.55, QColor(52, 18, 20));
    glass.setColorAt(1.0, QColor(22, 10, 12));
    p.setPen(QPen(QColor(12, 12, 12), 1.0));
    p.setBrush(glass);
    p.drawEllipse(c, r, r);
    // The faint reflection that makes it read as a jewel rather than a hole.
    QRadialGradient shine(c - QPointF(r * 0.35, r * 0.4), r * 0.45);
    shine.setColorAt(0.0, QColor(255, 255, 255, 70));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(c - QPointF(r * 0.35, r * 0.4), r * 0.45, r * 0.45);
    p.restore();
}

void CDevicePage::paintBuffered(const std::function<void(QPainter&)>& draw)
{
    // At the page's own resolution: a 1x buffer on a HiDPI screen would be scaled up and blur every picture.
    const qreal ratio = devicePixelRatioF();
    QPixmap surface(ratio == 1.0 ? size() : (QSizeF(size()) * ratio).toSize());
    if (ratio != 1.0)
        surface.setDevicePixelRatio(ratio);
    surface.fill(Qt::black);
    {
        QPainter p(&surface);
        draw(p);
    }
    QPainter(this).drawPixmap(0, 0, surface);
}
