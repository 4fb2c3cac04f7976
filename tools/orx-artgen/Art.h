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

// Frames cut from the bare page at the control's place and painted over, so that every frame meets the
// page picture without a seam.
using FramePainter = std::function<void(QPainter&, int frame)>;
QImage cutStrip(const QImage& bare, const Strip& strip, const FramePainter& paint);
QImage stripFrame(const QImage& stripImage, const Strip& strip, int frame);
// Pastes one frame back onto a page at the control's place.
void pasteFrame(QImage& page, const QImage& stripImage, const Strip& strip, int frame);

} // namespace artgen
