// The effect settings page: the amplifier's control panel above a booster pedal and a reverb pedal.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Art.h"
#include "Materials.h"

#include <QPainter>

#include <cmath>

namespace artgen {

namespace {

const QColor kBoosterEnamel(150, 24, 28);
const QColor kReverbEnamel(20, 82, 110);
const QColor kFaceplate(198, 199, 201);
const QColor kPilotRed(235, 50, 30);
const QColor kLoopLamp(255, 150, 20);

const QRectF kHead(8, 6, 944, 290);
const QRectF kFaceplateRect(34, 62, 892, 206);
const QRectF kBoosterPedal(34, 328, 284, 300);
const QRectF kReverbPedal(508, 328, 348, 300);
const QRectF kAmpChWindow(101, 108, 75, 36);

// Inside the FX loop switch's frame.
const QPointF kSerialLamp(40, 27);
const QPointF kParallelLamp(183, 27);
const QRectF kLoopButton(83, 11, 57, 40);

// Inside each pedal switch's frame.
constexpr double kLedY = 17;
constexpr double kSwitchY = 78;
constexpr double kSwitchRadius = 24;

QPointF pageCentre(const Strip& s, QPointF local)
{
    return QPointF(s.at) + local;
}

void pedal(QPainter& p, const QRectF& r, QColor enamel, const QString& name, const QRectF& textWindow,
           std::uint32_t seed)
{
    QPainterPath body;
    body.addRoundedRect(r, 12, 12);
    dropShadow(p, body, {7, 11}, 7, 0.85);
    fillWithTexture(p, body, enamelTexture(kPageSize, enamel, seed));
    bevel(p, body, 2.5, 0.55, false);
    legend(p, QRectF(r.left(), r.top() + 10, r.width(), 26), Qt::AlignCenter, name, legendFont(21, true, false, 5),
           kCreamInk);
    recessedWindow(p, textWindow, 5, QColor(14, 13, 12));
    p.setPen(QPen(QColor(kCreamInk.red(), kCreamInk.green(), kCreamInk.blue(), 150), 1.2));
    p.drawLine(QPointF(r.left() + 16, r.top() + 148), QPointF(r.right() - 16, r.top() + 148));
    for (const QPointF& s : {QPointF(r.left() + 12, r.bottom() - 12), QPointF(r.right() - 12, r.bottom() - 12),
                             QPointF(r.left() + 12, r.top() + 160), QPointF(r.right() - 12, r.top() + 160)})
        screwHead(p, s, 4.5, 20 + s.x());
}

void switchLabel(QPainter& p, const Strip& s, const QString& text)
{
    const QRectF r(s.at.x(), s.at.y() + 26, s.frame.width(), 13);
    legend(p, r, Qt::AlignCenter, text, legendFont(10.5, true, false, 1.2), kCreamInk);
}

QImage pedalSwitchStrip(const QImage& bare, const Strip& s, QColor lamp)
{
    return cutStrip(bare, s, [&](QPainter& p, int k) {
        const double cx = s.frame.width() / 2.0;
        const bool lit = k == 3;
        if (lit)
            lampGlow(p, {cx, kLedY}, 15, lamp, QRectF(QPointF(0, 0), QSizeF(s.frame)));
        ledLamp(p, {cx, kLedY}, 7, lamp, lit);
        const SwitchState st = k == 1 ? SwitchState::Highlighted : (k == 2 ? SwitchState::Pressed : SwitchState::Up);
        footSwitch(p, {cx, kSwitchY}, kSwitchRadius, st);
    });
}

void loopButton(QPainter& p, bool hover, bool pressed)
{
    QPainterPath bezelPath;
    bezelPath.addRoundedRect(kLoopButton, 7, 7);
    dropShadow(p, bezelPath, {1.5, 2.5}, 2, 0.7);
    QLinearGradient bz(kLoopButton.topLeft(), kLoopButton.bottomRight());
    bz.setColorAt(0, QColor(250, 250, 248));
    bz.setColorAt(0.5, QColor(150, 152, 158));
    bz.setColorAt(1, QColor(62, 62, 66));
    p.setPen(QPen(QColor(25, 25, 27), 0.9));
    p.setBrush(bz);
    p.drawPath(bezelPath);
    const QRectF well = kLoopButton.adjusted(4, 4, -4, -4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(10, 10, 11));
    p.drawRoundedRect(well, 4, 4);
    // The cap sits proud of the bezel; pressed, it sinks and loses the light on its upper face.
    const QRectF cap = pressed ? well.adjusted(2, 3, -2, -1) : well.adjusted(1.5, 1, -1.5, -3);
    QLinearGradient cg(cap.topLeft(), cap.bottomLeft());
    const int lift = hover ? 22 : 0;
    if (pressed) {
        cg.setColorAt(0, QColor(26, 26, 28));
        cg.setColorAt(1, QColor(40, 40, 43));
    } else {
        cg.setColorAt(0, QColor(86 + lift, 86 + lift, 92 + lift));
        cg.setColorAt(0.2, QColor(50 + lift, 50 + lift, 54 + lift));
        cg.setColorAt(1, QColor(22 + lift / 2, 22 + lift / 2, 24 + lift / 2));
    }
    p.setBrush(cg);
    p.setPen(QPen(QColor(0, 0, 0), 0.8));
    p.drawRoundedRect(cap, 3.5, 3.5);
    // Two arrows on the cap: the switch swaps between the two loop modes.
    const QPointF c = cap.center();
    const QColor ink = hover && !pressed ? QColor(255, 196, 80) : QColor(220, 216, 204, pressed ? 150 : 230);
    p.setBrush(ink);
    p.setPen(Qt::NoPen);
    QPolygonF left;
    left << c + QPointF(-15, 0) << c + QPointF(-7, -6) << c + QPointF(-7, 6);
    QPolygonF right;
    right << c + QPointF(15, 0) << c + QPointF(7, -6) << c + QPointF(7, 6);
    p.drawPolygon(left);
    p.drawPolygon(right);
    p.drawRect(QRectF(c.x() - 7, c.y() - 1.2, 14, 2.4));
}

} // namespace

PageArt effectPageArt()
{
    QImage bare = newCanvas(kPageSize);
    {
        QPainter p(&bare);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        floorBackdrop(p, kPageSize, 101, QPointF(480, 460));

        // The amplifier head.
        QPainterPath head;
        head.addRoundedRect(kHead, 16, 16);
        dropShadow(p, head, {0, 10}, 9, 0.9);
        fillWithTexture(p, head, tolexTexture(kPageSize, 102));
        bevel(p, head, 3, 0.35, false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(222, 212, 186), 2.6));
        p.drawRoundedRect(kFaceplateRect.adjusted(-6, -6, 6, 6), 9, 9);
        p.setPen(QPen(QColor(0, 0, 0, 120), 1));
        p.drawRoundedRect(kFaceplateRect.adjusted(-4.3, -4.3, 4.3, 4.3), 7, 7);
        chromeLogo(p, QRectF(380, 8, 200, 50), 40);

        QPainterPath plate;
        plate.addRoundedRect(kFaceplateRect, 4, 4);
        fillWithTexture(p, plate, brushedMetalTexture(kPageSize, kFaceplate, 103));
        bevel(p, plate, 1.5, 0.6, false);
        for (const QPointF& s : {QPointF(46, 74), QPointF(914, 74), QPointF(46, 256), QPointF(914, 256)})
            screwHead(p, s, 5, s.x() + s.y());

        // Power lamp and the channel window.
        jewelLamp(p, kEffectPowerLamp, kPowerLampRadius, kPilotRed, true);
        legend(p, QRectF(37, 143, 60, 14), Qt::AlignCenter, QStringLiteral("POWER"), legendFont(10, true, false, 1),
               kDarkInk);
        legend(p, QRectF(96, 92, 85, 14), Qt::AlignCenter, QStringLiteral("CHANNEL"), legendFont(10, true, false, 1.5),
               kDarkInk);
        recessedWindow(p, kAmpChWindow, 4, QColor(16, 13, 9));

        // Section frames printed on the panel, broken by their titles.
        auto section = [&](const QRectF& r, const QString& title) {
            const QFont f = legendFont(14, true, false, 2.5);
            const double tw = QFontMetricsF(f).horizontalAdvance(title) + 16;
            const double cx = r.center().x();
            p.setPen(QPen(kDarkInk, 1.4));
            p.setBrush(Qt::NoBrush);
            QPainterPath frame;
            frame.moveTo(cx - tw / 2, r.top());
            frame.lineTo(r.left() + 6, r.top());
            frame.quadTo(r.topLeft(), r.topLeft() + QPointF(0, 6));
            frame.lineTo(r.bottomLeft() - QPointF(0, 6));
            frame.quadTo(r.bottomLeft(), r.bottomLeft() + QPointF(6, 0));
            frame.lineTo(r.bottomRight() - QPointF(6, 0));
            frame.quadTo(r.bottomRight(), r.bottomRight() - QPointF(0, 6));
            frame.lineTo(r.topRight() + QPointF(0, 6));
            frame.quadTo(r.topRight(), r.topRight() - QPointF(6, 0));
            frame.lineTo(cx + tw / 2, r.top());
            p.drawPath(frame);
            legend(p, QRectF(cx - tw / 2, r.top() - 10, tw, 20), Qt::AlignCenter, title, f, kDarkInk);
        };
        section(QRectF(300, 120, 251, 104), QStringLiteral("FX LOOP"));
        section(QRectF(760, 120, 150, 130), QStringLiteral("NOISE GATE"));

        // FX loop legends under the lamps.
        legend(p, QRectF(pageCentre(kFxLoop, kSerialLamp) + QPointF(-40, 17), QSizeF(80, 13)), Qt::AlignCenter,
               QStringLiteral("SERIAL"), legendFont(10, true, false, 1), kDarkInk);
        legend(p, QRectF(pageCentre(kFxLoop, kParallelLamp) + QPointF(-40, 17), QSizeF(80, 13)), Qt::AlignCenter,
               QStringLiteral("PARALLEL"), legendFont(10, true, false, 1), kDarkInk);

        // Noise gate scale: a tick and a figure at each of the dial's four positions.
        const QPointF gate = pageCentre(kNoiseGate, kNoiseGateCentre);
        const char* marks[] = {"OFF", "1", "2", "3"};
        p.setPen(QPen(kDarkInk, 1.3));
        p.setBrush(Qt::NoBrush);
        QRectF arc(gate.x() - 38, gate.y() - 38, 76, 76);
        // Qt measures arcs counter-clockwise from three o'clock; the dial measures clockwise from below.
        p.drawArc(arc, (270 - kNoiseGateAngles.back()) * 16, (kNoiseGateAngles.back() - kNoiseGateAngles.front()) * 16);
        for (int i = 0; i < 4; ++i) {
            const QPointF d = direction(kNoiseGateAngles[static_cast<std::size_t>(i)]);
            p.setPen(QPen(kDarkInk, 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(gate + d * 38, gate + d * 45);
            const QPointF at = gate + d * 57;
            legend(p, QRectF(at - QPointF(16, 7), QSizeF(32, 14)), Qt::AlignCenter, QString::fromLatin1(marks[i]),
                   legendFont(i == 0 ? 10 : 12, true), kDarkInk);
        }

        // The pedals, joined by patch cables.
        QPainterPath link;
        link.moveTo(352, 410);
        link.cubicTo(420, 420, 390, 620, 430, 620);
        link.cubicTo(470, 620, 440, 410, 474, 410);
        QPainterPath out;
        out.moveTo(890, 410);
        out.cubicTo(940, 410, 920, 600, 970, 600);
        patchCable(p, link);
        patchCable(p, out);
        pedal(p, kBoosterPedal, kBoosterEnamel, QStringLiteral("BOOSTER"), QRectF(42, 380, 268, 56), 104);
        pedal(p, kReverbPedal, kReverbEnamel, QStringLiteral("REVERB"), QRectF(516, 380, 332, 56), 105);
        jackPlug(p, QPointF(318, 410), 1);
        jackPlug(p, QPointF(508, 410), -1);
        jackPlug(p, QPointF(856, 410), 1);
        jackPlug(p, QPointF(34, 410), -1);
        for (const auto& [s, name] : {std::pair{kWhite, "WHITE"}, std::pair{kGreen, "GREEN"},
                                      std::pair{kAmber, "AMBER"}, std::pair{kSpring, "SPRING"},
                                      std::pair{kPlate, "PLATE"}, std::pair{kRoom, "ROOM"}, std::pair{kHall, "HALL"}})
            switchLabel(p, s, QString::fromLatin1(name));
    }

    PageArt art;
    art.bare = bare;
    Pictures& out = art.pictures;

    out[kEffectAmpCh.id] = cutStrip(bare, kEffectAmpCh, [](QPainter& p, int k) {
        litText(p, QRectF(0, 0, 69, 30), k == 0 ? QStringLiteral("AMP I") : QStringLiteral("AMP II"), 15);
    });
    out[kWhite.id] = pedalSwitchStrip(bare, kWhite, QColor(225, 235, 255));
    out[kGreen.id] = pedalSwitchStrip(bare, kGreen, QColor(50, 240, 80));
    out[kAmber.id] = pedalSwitchStrip(bare, kAmber, QColor(255, 160, 10));
    const QColor reverbLamp(70, 170, 255);
    out[kSpring.id] = pedalSwitchStrip(bare, kSpring, reverbLamp);
    out[kPlate.id] = pedalSwitchStrip(bare, kPlate, reverbLamp);
    out[kRoom.id] = pedalSwitchStrip(bare, kRoom, reverbLamp);
    out[kHall.id] = pedalSwitchStrip(bare, kHall, reverbLamp);

    // FX loop frames: off, off hover, on hover, pressed off, pressed on, on.
    out[kFxLoop.id] = cutStrip(bare, kFxLoop, [](QPainter& p, int k) {
        const bool on = k == 2 || k == 4 || k == 5;
        const bool hover = k == 1 || k == 2;
        const bool pressed = k == 3 || k == 4;
        const QRectF all(0, 0, 223, 71);
        if (!on)
            lampGlow(p, kSerialLamp, 20, kLoopLamp, all);
        if (on)
            lampGlow(p, kParallelLamp, 20, kLoopLamp, all);
        jewelLamp(p, kSerialLamp, 10, kLoopLamp, !on);
        jewelLamp(p, kParallelLamp, 10, kLoopLamp, on);
        loopButton(p, hover, pressed);
    });

    out[kNoiseGate.id] = cutStrip(bare, kNoiseGate, [](QPainter& p, int k) {
        pointerKnob(p, kNoiseGateCentre, 20, kNoiseGateAngles[static_cast<std::size_t>(k)]);
    });

    QImage page = bare;
    for (const Strip& s : {kWhite, kGreen, kAmber, kSpring, kPlate, kRoom, kHall, kFxLoop, kNoiseGate})
        pasteFrame(page, out[s.id], s, 0);
    out[kEffectPage] = page.convertToFormat(QImage::Format_RGB32);
    return art;
}

} // namespace artgen
