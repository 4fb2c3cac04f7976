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

namespace {

// Halving until the size is reached averages every source pixel, where one smooth scaling by 1/8 would skip some.
QImage shrinkTo(QImage image, int size)
{
    while (image.width() / 2 >= size)
        image = image.scaled(image.width() / 2, image.height() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.width() != size)
        image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage smallBadge(int size)
{
    const int big = size * 4;
    const double u = big / 32.0; // drawn on a 32-unit grid
    QImage badge = newCanvas({big, big});
    QPainter p(&badge);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(u, u, 30 * u, 30 * u);
    QLinearGradient tolex(box.topLeft(), box.bottomLeft());
    tolex.setColorAt(0, QColor(58, 56, 54));
    tolex.setColorAt(1, QColor(24, 23, 22));
    p.setPen(QPen(QColor(10, 10, 10), 0.8 * u));
    p.setBrush(tolex);
    p.drawRoundedRect(box, 5 * u, 5 * u);
    const QRectF plate(4 * u, 12 * u, 24 * u, 15 * u);
    QLinearGradient metal(plate.topLeft(), plate.bottomLeft());
    metal.setColorAt(0, QColor(226, 228, 230));
    metal.setColorAt(1, QColor(150, 152, 156));
    p.setPen(QPen(kCreamInk, 0.9 * u));
    p.setBrush(metal);
    p.drawRoundedRect(plate, 2 * u, 2 * u);
    // The knob and its pointer, the lamp lit amber.
    const QPointF knob(12.5 * u, 19.5 * u);
    p.setPen(QPen(QColor(12, 12, 12), 0.6 * u));
    p.setBrush(QColor(30, 30, 32));
    p.drawEllipse(knob, 5.2 * u, 5.2 * u);
    p.setPen(QPen(QColor(240, 240, 240), 1.3 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(knob, knob + QPointF(-3.2 * u, -3.2 * u));
    QRadialGradient lamp(QPointF(22 * u, 19 * u), 3.6 * u);
    lamp.setColorAt(0, QColor(255, 236, 170));
    lamp.setColorAt(0.45, QColor(255, 150, 20));
    lamp.setColorAt(1, QColor(150, 60, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(lamp);
    p.drawEllipse(QPointF(22 * u, 19.5 * u), 3.4 * u, 3.4 * u);
    // The logo as a bright bar on the case: letters would be a blur at this size.
    p.setBrush(QColor(205, 208, 212));
    p.drawRoundedRect(QRectF(9 * u, 4.5 * u, 14 * u, 4 * u), 1.5 * u, 1.5 * u);
    p.end();
    return shrinkTo(badge, size);
}

} // namespace

QImage iconArtAt(int size)
{
    if (size < 48)
        return smallBadge(size);
    const int previous = artScale();
    setArtScale(2);
    QImage full = iconArt(); // 512 px
    setArtScale(previous);
    return size == full.width() ? full : shrinkTo(full, size);
}

} // namespace artgen
