// Cutting film strips from a bare page, and the application icon.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Art.h"
#include "Materials.h"

#include <QPainter>

namespace artgen {

namespace {

// A rectangle in logical pixels as the device pixels of a picture painted at `scale`.
QRect devicePixels(const QRect& logical, qreal scale)
{
    const int s = static_cast<int>(scale);
    return {logical.topLeft() * s, logical.size() * s};
}

} // namespace

QImage cutStrip(const QImage& bare, const Strip& strip, const FramePainter& paint)
{
    const qreal scale = bare.devicePixelRatio();
    QImage out(QSize(strip.frame.width(), strip.frame.height() * strip.frames) * static_cast<int>(scale),
               QImage::Format_RGB32);
    out.setDevicePixelRatio(scale);
    QPainter o(&out);
    for (int k = 0; k < strip.frames; ++k) {
        QImage frame = bare.copy(devicePixels(QRect(strip.at, strip.frame), scale))
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        frame.setDevicePixelRatio(scale);
        {
            QPainter p(&frame);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            paint(p, k);
        }
        o.drawImage(0, k * strip.frame.height(), frame);
    }
    return out;
}

QImage stripFrame(const QImage& stripImage, const Strip& strip, int frame)
{
    const qreal scale = stripImage.devicePixelRatio();
    QImage piece = stripImage.copy(devicePixels(QRect(QPoint(0, frame * strip.frame.height()), strip.frame), scale));
    piece.setDevicePixelRatio(scale);
    return piece;
}

void pasteFrame(QImage& page, const QImage& stripImage, const Strip& strip, int frame)
{
    QPainter p(&page);
    p.drawImage(strip.at, stripFrame(stripImage, strip, frame));
}

QImage iconArt()
{
    constexpr int kSize = 256;
    QImage icon = newCanvas({kSize, kSize});
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(8, 8, kSize - 16, kSize - 16);
    QPainterPath outline;
    outline.addRoundedRect(box, 40, 40);
    dropShadow(p, outline, {0, 4}, 3, 0.5);
    fillWithTexture(p, outline, tolexTexture({kSize, kSize}, 11));
    bevel(p, outline, 3, 0.5, false);
    QPainterPath plate;
    const QRectF plateRect(28, 92, kSize - 56, 136);
    plate.addRoundedRect(plateRect, 14, 14);
    p.setPen(QPen(kCreamInk, 4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(plateRect.adjusted(-5, -5, 5, 5), 18, 18);
    fillWithTexture(p, plate, brushedMetalTexture({kSize, kSize}, QColor(196, 198, 200), 12));
    bevel(p, plate, 2, 0.6, false);
    chromeLogo(p, QRectF(0, 18, kSize, 70), 62);
    chromeKnob(p, QPointF(100, 160), 48, 215);
    jewelLamp(p, QPointF(192, 160), 20, QColor(255, 150, 20), true);
    return icon;
}

} // namespace artgen
