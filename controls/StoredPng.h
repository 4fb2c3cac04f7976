// The quick way to open the program's own pictures: the build writes them as PNG files whose image data is stored
// (deflate blocks of type 0) with no row filters, so reading one is copying its rows. Anything else is left to Qt.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>

namespace orx {

// The picture premultiplied (as the image holders keep it), or a null image when `png` is not an 8-bit RGB or
// RGBA, non-interlaced PNG of stored blocks and unfiltered rows; the caller then reads it the usual way.
// The chunks' checksums are not checked: these are the program's own resources, checked when they were built.
QImage readStoredPng(const QByteArray& png);

} // namespace orx
