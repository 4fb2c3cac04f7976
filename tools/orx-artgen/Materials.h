// Surfaces, parts and lettering from which the amplifier and pedal pictures are painted.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>

namespace artgen {

// Light falls from the upper left on every picture; all shading derives from this one direction.
inline constexpr double kLightX = -0.55;
inline constexpr double kLightY = -0.83;

// Colours the pages share, so the screens match the controls drawn over them.
inline const QColor kNearBlack{5, 5, 5};
inline const QColor kAmberInk{255, 174, 0};
inline const QColor kCreamInk{236, 228, 206};
inline const QColor kDarkInk{28, 28, 30};

// Pixels per logical pixel of everything painted from here on: 1 for the pictures, 2 for their @2x twins. Canvases,
// textures, cut frames and blur radii follow it, so a 2x picture is painted at its own resolution with the layout
// of the 1x one; drawing code keeps working in logical pixels throughout.
void setArtScale(int scale);
int artScale();

// Deterministic noise, so the same program always paints the same pixels.
double hash01(int x, int y, std::uint32_t seed);
double valueNoise(double x, double y, std::uint32_t seed);

// Full-size textures, painted through brushes clipped to shapes.
QImage tolexTexture(QSize size, std::uint32_t seed);
QImage brushedMetalTexture(QSize size, QColor base, std::uint32_t seed);
QImage enamelTexture(QSize size, QColor base, std::uint32_t seed);
QImage wrinkleTexture(QSize size, QColor base, std::uint32_t seed);
QImage woodFloorTexture(QSize size, std::uint32_t seed);
QImage grilleClothTexture(QSize size, std::uint32_t seed);

QImage newCanvas(QSize size, QColor fill = Qt::transparent);
// The floor the pages stand on: wood planks darkening towards the edges around `centre`.
void floorBackdrop(QPainter& p, QSize size, std::uint32_t seed, QPointF centre);
void fillWithTexture(QPainter& p, const QPainterPath& path, const QImage& texture);

// A soft shadow of a shape, offset away from the light.
void dropShadow(QPainter& p, const QPainterPath& path, QPointF offset, int blur, double opacity);
// Light top-left edge and dark bottom-right edge of a raised (or, inverted, a sunken) shape.
void bevel(QPainter& p, const QPainterPath& path, double width, double strength, bool sunken);

// Parts.
void screwHead(QPainter& p, QPointF centre, double radius, double slotAngle);
void jewelLamp(QPainter& p, QPointF centre, double radius, QColor colour, bool lit);
void ledLamp(QPainter& p, QPointF centre, double radius, QColor colour, bool lit);
// A glow around a lit lamp, cut to a rectangle so it never spills outside a frame.
void lampGlow(QPainter& p, QPointF centre, double radius, QColor colour, const QRectF& clip);

enum class SwitchState { Up, Highlighted, Pressed };
// A chrome foot switch seen from above: hex nut, threaded collar and plunger cap.
void footSwitch(QPainter& p, QPointF centre, double radius, SwitchState state);
// A glass window with a bezel, as under the drawn texts.
void recessedWindow(QPainter& p, const QRectF& r, double radius, QColor glass);

// A metal knob with a skirt of printed ticks turning with it; the pointer points at angle (clockwise from below).
void chromeKnob(QPainter& p, QPointF centre, double radius, double angleDeg);
// A pointer knob of black plastic with a white line along its blade.
void pointerKnob(QPainter& p, QPointF centre, double radius, double angleDeg);
QPointF direction(double angleDeg);

// A patch cable along a path, and a jack plug in a box's side whose cable leaves towards outward (-1 left, +1 right).
void patchCable(QPainter& p, const QPainterPath& path);
void jackPlug(QPainter& p, QPointF socket, int outward);

// Lettering.
QFont legendFont(double pixelSize, bool bold = true, bool condensed = false, double spacing = 0);
void legend(QPainter& p, const QRectF& r, int align, const QString& text, const QFont& font, QColor ink);
// Amber lettering lit from behind, with the halo a lit display has.
void litText(QPainter& p, const QRectF& r, const QString& text, double pixelSize);
// The ORX badge lettering: chrome letters with a dark outline.
void chromeLogo(QPainter& p, const QRectF& r, double pixelSize);

} // namespace artgen
