// Small helpers of the control tests: a recording listener and synthetic pictures with known pixels.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IDTAControlListener.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <utility>
#include <vector>

struct RecordingListener : IDTAControlListener {
    std::vector<std::pair<int, int>> reports;
    int onValueChanged(int controlId, int value) override
    {
        reports.emplace_back(controlId, value);
        return 0;
    }
    int lastValue() const { return reports.empty() ? -1 : reports.back().second; }
};

inline QImage solidImage(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

// A vertical strip of frames, frame i in colours[i].
inline QImage frameStrip(int width, int frameHeight, const std::vector<QColor>& colours)
{
    QImage strip(width, frameHeight * static_cast<int>(colours.size()), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&strip);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (std::size_t i = 0; i < colours.size(); ++i)
        painter.fillRect(0, static_cast<int>(i) * frameHeight, width, frameHeight, colours[i]);
    return strip;
}

// Every row's colour encodes its own y, so a copied pixel tells which source row it came from.
inline QRgb rowColour(int y)
{
    return qRgb(0, (y >> 8) & 0xFF, y & 0xFF);
}

inline int rowOf(QRgb pixel)
{
    return (qGreen(pixel) << 8) | qBlue(pixel);
}

inline QImage rowCodedStrip(int width, int height)
{
    QImage strip(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            strip.setPixel(x, y, rowColour(y));
    return strip;
}

// True when every pixel of the area has exactly this colour.
inline bool areaIs(const QImage& image, const QRect& area, QColor color)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != color.rgba())
                return false;
    return true;
}
