// Where every control of the two pages sits, which picture it shows and how that picture's frames are
// stacked: one table for the pages, which place the controls, and for the artwork generator, which draws
// their pictures from the same rectangles.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

namespace orx::layout {

inline constexpr QSize kPageSize{960, 640};

// The page pictures.
inline constexpr int kEffectPage = 272;
inline constexpr int kSpeakerPage = 286;

// A film strip: picture `id`, frames of one size stacked from y 0 downwards, and where on the page the
// control that shows it sits.
struct Strip {
    int id;
    QPoint at;
    QSize frame;
    int frames;

    constexpr QRect rect() const { return QRect(at, frame); }
};

// Effect settings page.
inline constexpr Strip kEffectAmpCh{273, {104, 111}, {69, 30}, 2};
inline constexpr Strip kWhite{274, {69, 490}, {71, 122}, 4};
inline constexpr Strip kGreen{275, {140, 490}, {71, 122}, 4};
inline constexpr Strip kAmber{276, {211, 490}, {71, 122}, 4};
inline constexpr Strip kSpring{277, {545, 490}, {71, 122}, 4};
inline constexpr Strip kPlate{280, {616, 490}, {71, 122}, 4};
inline constexpr Strip kRoom{279, {687, 490}, {71, 122}, 4};
inline constexpr Strip kHall{281, {758, 490}, {72, 122}, 4};
inline constexpr Strip kFxLoop{282, {314, 145}, {223, 71}, 6};
inline constexpr Strip kNoiseGate{283, {732, 87}, {155, 141}, 4};
inline constexpr QRect kBoosterText{48, 392, 256, 37};
// The POWER lamp, drawn lit into the page picture; the page covers it with an unlit one without a connection.
inline constexpr QPoint kEffectPowerLamp{67, 126};
inline constexpr int kPowerLampRadius = 12;
inline constexpr QRect kReverbText{522, 392, 320, 37};

// Speaker simulation page.
inline constexpr Strip kSpeakerAmpCh{287, {66, 180}, {56, 25}, 2};
inline constexpr QPoint kSpeakerPowerLamp{880, 190};
inline constexpr Strip kBypass{288, {824, 465}, {69, 95}, 6};
inline constexpr Strip kGainDial{290, {792, 298}, {136, 113}, 41};
inline constexpr Strip kInstall{291, {270, 391}, {75, 69}, 4};
inline constexpr Strip kFolder{292, {675, 263}, {36, 37}, 4};
inline constexpr Strip kDown{294, {765, 534}, {15, 15}, 4};
inline constexpr Strip kUp{295, {765, 347}, {15, 15}, 4};
// The page places the gain dial one pixel narrower and lower than its frames, and it turns about the middle.
inline constexpr QSize kGainDialPlacement{135, 112};
inline constexpr QRect kAmpTypeText{258, 185, 147, 14};
inline constexpr QRect kIrNameEdit{90, 217, 315, 16};
inline constexpr QRect kIrGainText{432, 217, 60, 16};
inline constexpr QRect kDialGainText{829, 275, 59, 13};
inline constexpr QRect kFolderText{391, 312, 388, 15};
inline constexpr QRect kFileList{391, 354, 373, 192};
inline constexpr QRect kScrollBar{769, 363, 7, 170};
// Thumb pieces: a 2-pixel cap at each end and a 1-pixel row repeated between them, all as wide as the bar.
inline constexpr int kThumbTop = 297;
inline constexpr int kThumbMiddle = 298;
inline constexpr int kThumbBottom = 299;
inline constexpr int kThumbWidth = 7;

// The looks of an image button, in the order the button keeps its face offsets.
enum class Look { NormalOff, NormalOn, PressedOff, PressedOn, HoverOn, HoverOff };
using LookFrames = std::array<int, 6>;

// Frame index of each look, per kind of strip; resources/images/FRAMES.md states the same in words.
// Pedal foot switches: off, off highlighted, pressed, on with the lamp lit.
inline constexpr LookFrames kPedalFrames{0, 3, 2, 2, 3, 1};
// Two-state switches with six frames (FX loop, BYPASS): off, off hover, on hover, pressed off, pressed on, on.
inline constexpr LookFrames kToggleFrames{0, 5, 3, 4, 2, 1};
// Push buttons with four frames (INSTALL, folder, UP, DW): normal, hover, pressed, on (drawn like normal).
inline constexpr LookFrames kPushFrames{0, 3, 2, 2, 1, 1};
// Amp channel labels: frame 0 shows amp channel I, frame 1 amp channel II.
inline constexpr LookFrames kLabelFrames{0, 1, 1, 1, 1, 0};

constexpr int frameOf(const LookFrames& table, Look look)
{
    return table[static_cast<int>(look)];
}

// The y of each look's frame in the strip's picture, as an image button keeps them.
constexpr std::array<int, 6> faceOffsets(const Strip& strip, const LookFrames& looks)
{
    std::array<int, 6> offsets{};
    for (std::size_t i = 0; i < offsets.size(); ++i)
        offsets[i] = looks[i] * strip.frame.height();
    return offsets;
}

} // namespace orx::layout
