// What the art and the preview draw with: the program's page layout, and where the dials' pointers turn.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PageLayout.h"

#include <QPoint>
#include <QSize>

#include <array>

namespace artgen {

// The pages' rectangles, pictures and frame tables are the program's own.
using namespace orx::layout;

// Drawing only: where the dials' pointers turn.
// The page draws the dial through a rectangle one pixel smaller than its frames.
inline constexpr QSize kNoiseGatePlacement{154, 140};
inline constexpr QPoint kNoiseGateCentre{112, 108};
inline constexpr std::array<int, 4> kNoiseGateAngles{50, 80, 110, 140};
// The gain dial turns about the middle of its 135 x 112 placement, from 30 to 330 degrees.
inline constexpr QPoint kGainDialCentre{67, 56};
inline constexpr int kGainDialStart = 30;
inline constexpr int kGainDialEnd = 330;

} // namespace artgen
