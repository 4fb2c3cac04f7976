// The pictures of the program: each page with the film strips of its controls, the scroll thumb and the icon.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Layout.h"

#include <QImage>

#include <functional>
#include <map>

class QPainter;

namespace artgen {

using Pictures = std::map<int, QImage>;

// A page's picture without its controls, and the finished pictures made from it.
struct PageArt {
    QImage bare;
    Pictures pictures;
};

PageArt effectPageArt();
PageArt speakerPageArt();
QImage iconArt();
// The icon at a desktop's size (16 to 512 px): from 48 px up the full picture, painted at 512 and halved step by
// step; below, a plainer badge (case, plate, knob, lamp) painted at four times the size and halved, so that it
// still reads at 16 px.
QImage iconArtAt(int size);
inline constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256, 512};

// Frames cut from the bare page at the control's place and painted over, so that every frame meets the
// page picture without a seam.
using FramePainter = std::function<void(QPainter&, int frame)>;
QImage cutStrip(const QImage& bare, const Strip& strip, const FramePainter& paint);
QImage stripFrame(const QImage& stripImage, const Strip& strip, int frame);
// Pastes one frame back onto a page at the control's place.
void pasteFrame(QImage& page, const QImage& stripImage, const Strip& strip, int frame);

} // namespace artgen
