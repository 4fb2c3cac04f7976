// The speaker simulation page: the amplifier head with its display above a foot-switch box with the file browser.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Art.h"
#include "Materials.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace artgen {

namespace {

const QColor kFaceplate(198, 199, 201);
const QColor kBoxPaint(50, 51, 55);
const QColor kDisplayGlass(40, 24, 5);

const QRectF kHead(8, 4, 944, 250);
const QRectF kGrille(30, 20, 900, 120);
const QRectF kFaceplateRect(30, 146, 900, 102);
const QRectF kDisplay(54, 164, 452, 80);
const QRectF kBox(230, 256, 718, 346);
const QRectF kScreenBezel(379, 301, 412, 258);
const QRectF kScreen(384, 306, 402, 248);
const QRectF kGainWindow(822, 270, 73, 23);
const QRectF kDialPlate(774, 262, 158, 160);

// Inside the BYPASS frame.
constexpr double kBypassLedY = 15;
constexpr double kBypassSwitchY = 58;

QPointF dialCentre()
{
    return QPointF(kGainDial.at) + QPointF(kGainDialCentre);
}

double dialAngle(int position)
{
    return kGainDialStart + (kGainDialEnd - kGainDialStart) * position / 40.0;
}

// A near-black field set into the display glass, holding one of the page's texts.
void slot(QPainter& p, const QRectF& r)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawRoundedRect(r.adjusted(-1, -1, 1, 1), 3, 3);
    p.setBrush(QColor(120, 80, 20, 90));
    p.drawRoundedRect(r.adjusted(-1, 0, 1, 1.5), 3, 3);
    p.setBrush(kNearBlack);
    p.drawRoundedRect(r, 2, 2);
}

void caption(QPainter& p, const QRectF& r, int align, const QString& text)
{
    legend(p, r, align, text, legendFont(9, true, false, 1.2), kAmberInk);
}

// A square push button in a chrome bezel; the glyph painter draws its symbol around the cap's centre.
template <typename Glyph> void pushButton(QPainter& p, const QRectF& bezel, double radius, int frame, Glyph glyph)
{
    const bool hover = frame == 1;
    const bool pressed = frame == 2;
    QPainterPath bp;
    bp.addRoundedRect(bezel, radius, radius);
    dropShadow(p, bp, {1.5, 2.5}, 2, 0.75);
    QLinearGradient bz(bezel.topLeft(), bezel.bottomRight());
    bz.setColorAt(0, QColor(250, 250, 248));
    bz.setColorAt(0.5, QColor(150, 152, 158));
    bz.setColorAt(1, QColor(58, 58, 62));
    p.setPen(QPen(QColor(20, 20, 22), 0.9));
    p.setBrush(bz);
    p.drawPath(bp);
    const QRectF well = bezel.adjusted(3, 3, -3, -3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(8, 8, 9));
    p.drawRoundedRect(well, radius - 1.5, radius - 1.5);
    const QRectF cap = pressed ? well.adjusted(1.5, 2.5, -1.5, -0.5) : well.adjusted(1, 0.5, -1, -2.5);
    QLinearGradient cg(cap.topLeft(), cap.bottomLeft());
    const int lift = hover ? 20 : 0;
    if (pressed) {
        cg.setColorAt(0, QColor(22, 22, 24));
        cg.setColorAt(1, QColor(38, 38, 41));
    } else {
        cg.setColorAt(0, QColor(84 + lift, 84 + lift, 90 + lift));
        cg.setColorAt(0.22, QColor(48 + lift, 48 + lift, 52 + lift));
        cg.setColorAt(1, QColor(20 + lift / 2, 20 + lift / 2, 22 + lift / 2));
    }
    p.setPen(QPen(QColor(0, 0, 0), 0.8));
    p.setBrush(cg);
    p.drawRoundedRect(cap, radius - 2, radius - 2);
    const QColor ink = pressed ? QColor(255, 174, 0) : (hover ? QColor(255, 200, 90) : QColor(222, 216, 200));
    glyph(p, cap.center(), ink);
}

void folderGlyph(QPainter& p, QPointF c, QColor ink)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    QPainterPath f;
    f.moveTo(c + QPointF(-9, -6));
    f.lineTo(c + QPointF(-3, -6));
    f.lineTo(c + QPointF(-1, -4));
    f.lineTo(c + QPointF(9, -4));
    f.lineTo(c + QPointF(9, 7));
    f.lineTo(c + QPointF(-9, 7));
    f.closeSubpath();
    p.drawPath(f);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawRect(QRectF(c + QPointF(-9, -2), QSizeF(18, 1.2)));
}

void installGlyph(QPainter& p, QPointF c, QColor ink)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    // An arrow into a tray: what is being tried goes into the amplifier's memory.
    QPolygonF arrow;
    arrow << c + QPointF(-3.5, -14) << c + QPointF(3.5, -14) << c + QPointF(3.5, -3) << c + QPointF(9, -3)
          << c + QPointF(0, 6) << c + QPointF(-9, -3) << c + QPointF(-3.5, -3);
    p.drawPolygon(arrow);
    QPainterPath tray;
    tray.moveTo(c + QPointF(-15, 3));
    tray.lineTo(c + QPointF(-15, 13));
    tray.lineTo(c + QPointF(15, 13));
    tray.lineTo(c + QPointF(15, 3));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(tray);
}

QImage arrowStrip(const QImage& bare, const Strip& s, bool up)
{
    return cutStrip(bare, s, [up](QPainter& p, int k) {
        const bool hover = k == 1;
        const bool pressed = k == 2;
        const QColor ink = pressed ? QColor(255, 174, 0) : (hover ? QColor(220, 160, 40) : QColor(120, 120, 124));
        const double shift = pressed ? 1 : 0;
        const double y0 = up ? 4.5 : 10.5;
        const double y1 = up ? 10.5 : 4.5;
        QPolygonF tri;
        tri << QPointF(7.5, y0 + shift) << QPointF(13, y1 + shift) << QPointF(2, y1 + shift);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPolygon(tri);
    });
}

// The thumb's pieces are opaque and carry the bar's near-black in their rounded corners. At 2x each device pixel
// takes the colours of the logical pixels around its centre, blended by distance, so the bar's rounding stays smooth.
QImage thumbPiece(const std::array<std::array<QRgb, kThumbWidth>, 2>& rows, int height)
{
    const int s = artScale();
    QImage img(kThumbWidth * s, height * s, QImage::Format_RGB32);
    img.setDevicePixelRatio(s);
    auto at = [&](int x, int y) {
        return rows[static_cast<std::size_t>(std::clamp(y, 0, height - 1))]
                   [static_cast<std::size_t>(std::clamp(x, 0, kThumbWidth - 1))];
    };
    for (int gy = 0; gy < img.height(); ++gy) {
        for (int gx = 0; gx < img.width(); ++gx) {
            if (s == 1) {
                img.setPixel(gx, gy, at(gx, gy));
                continue;
            }
            const double u = (gx + 0.5) / s - 0.5;
            const double v = (gy + 0.5) / s - 0.5;
            const int x0 = static_cast<int>(std::floor(u));
            const int y0 = static_cast<int>(std::floor(v));
            const double fx = u - x0;
            const double fy = v - y0;
            double c[3] = {0, 0, 0};
            for (int dy = 0; dy <= 1; ++dy)
                for (int dx = 0; dx <= 1; ++dx) {
                    const double w = (dx ? fx : 1 - fx) * (dy ? fy : 1 - fy);
                    const QRgb px = at(x0 + dx, y0 + dy);
                    c[0] += w * qRed(px);
                    c[1] += w * qGreen(px);
                    c[2] += w * qBlue(px);
                }
            img.setPixel(gx, gy, qRgb(static_cast<int>(std::lround(c[0])), static_cast<int>(std::lround(c[1])),
                                      static_cast<int>(std::lround(c[2]))));
        }
    }
    return img;
}

} // namespace

PageArt speakerPageArt()
{
    QImage bare = newCanvas(kPageSize);
    {
        QPainter p(&bare);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        floorBackdrop(p, kPageSize, 201, QPointF(480, 440));

        // The amplifier head: grille cloth with the badge, then the faceplate with the display.
        QPainterPath head;
        head.addRoundedRect(kHead, 16, 16);
        dropShadow(p, head, {0, 8}, 8, 0.9);
        fillWithTexture(p, head, tolexTexture(kPageSize, 202));
        bevel(p, head, 3, 0.35, false);
        QPainterPath grille;
        grille.addRoundedRect(kGrille, 6, 6);
        fillWithTexture(p, grille, grilleClothTexture(kPageSize, 203));
        bevel(p, grille, 3, 0.8, true);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(222, 212, 186), 2.6));
        p.drawRoundedRect(kGrille.adjusted(-5, -5, 5, 5), 9, 9);
        p.drawRoundedRect(kFaceplateRect.adjusted(-5, -4, 5, 4), 8, 8);
        chromeLogo(p, QRectF(380, 48, 200, 64), 52);

        QPainterPath plate;
        plate.addRoundedRect(kFaceplateRect, 4, 4);
        fillWithTexture(p, plate, brushedMetalTexture(kPageSize, kFaceplate, 204));
        bevel(p, plate, 1.5, 0.6, false);
        for (const QPointF& s : {QPointF(41, 157), QPointF(919, 157), QPointF(41, 237), QPointF(919, 237)})
            screwHead(p, s, 4.5, s.x() * 0.7 + s.y());

        recessedWindow(p, kDisplay, 5, kDisplayGlass);
        slot(p, QRectF(64, 178, 60, 29));
        slot(p, QRectF(254, 182, 155, 20));
        slot(p, QRectF(86, 215, 323, 21));
        slot(p, QRectF(428, 215, 68, 21));
        caption(p, QRectF(140, 182, 106, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("AMP TYPE"));
        caption(p, QRectF(132, 203, 120, 11), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("IR NAME"));
        caption(p, QRectF(408, 203, 86, 11), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("IR GAIN"));

        legend(p, QRectF(530, 170, 300, 20), Qt::AlignCenter, QStringLiteral("SPEAKER SIMULATION"),
               legendFont(15, true, false, 3), kDarkInk);
        p.setPen(QPen(kDarkInk, 1.2));
        p.drawLine(QPointF(560, 197), QPointF(800, 197));
        legend(p, QRectF(530, 202, 300, 16), Qt::AlignCenter, QStringLiteral("IMPULSE RESPONSE CABINET"),
               legendFont(10, true, false, 2), kDarkInk);
        jewelLamp(p, kSpeakerPowerLamp, kPowerLampRadius, QColor(235, 50, 30), true);
        legend(p, QRectF(850, 207, 60, 14), Qt::AlignCenter, QStringLiteral("POWER"), legendFont(10, true, false, 1),
               kDarkInk);

        // A cable from the box to the amplifier, behind the box.
        QPainterPath lead;
        lead.moveTo(196, 520);
        lead.cubicTo(120, 530, 150, 630, 40, 620);
        lead.cubicTo(-20, 615, 10, 560, -20, 540);
        patchCable(p, lead);

        // The foot-switch box.
        QPainterPath box;
        box.addRoundedRect(kBox, 10, 10);
        dropShadow(p, box, {6, 12}, 8, 0.9);
        fillWithTexture(p, box, wrinkleTexture(kPageSize, kBoxPaint, 205));
        bevel(p, box, 2.5, 0.6, false);
        for (const QPointF& s : {QPointF(242, 268), QPointF(938, 268), QPointF(242, 590), QPointF(938, 590)})
            screwHead(p, s, 4.5, s.x() + s.y() * 0.3);
        jackPlug(p, QPointF(230, 520), -1);
        legend(p, QRectF(244, 512, 80, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("DC IN"),
               legendFont(10, true, false, 1.5), kCreamInk);
        chromeLogo(p, QRectF(246, 282, 122, 44), 34);
        legend(p, QRectF(246, 326, 122, 14), Qt::AlignCenter, QStringLiteral("IR LOADER"),
               legendFont(10, true, false, 2.5), kCreamInk);
        legend(p, QRectF(250, 368, 115, 18), Qt::AlignCenter, QStringLiteral("INSTALL"), legendFont(12, true, false, 2),
               kCreamInk);
        legend(p, QRectF(560, 272, 108, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("FOLDER"),
               legendFont(12, true, false, 2), kCreamInk);
        // The gain dial sits on a smooth satin plate of its own.
        QPainterPath dialPlate;
        dialPlate.addRoundedRect(kDialPlate, 6, 6);
        dropShadow(p, dialPlate, {1.5, 2.5}, 2, 0.7);
        QLinearGradient pg(kDialPlate.topLeft(), kDialPlate.bottomLeft());
        pg.setColorAt(0, QColor(40, 41, 44));
        pg.setColorAt(1, QColor(24, 24, 26));
        p.setPen(Qt::NoPen);
        p.setBrush(pg);
        p.drawPath(dialPlate);
        bevel(p, dialPlate, 1.5, 0.5, false);
        legend(p, QRectF(778, 272, 40, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("GAIN"),
               legendFont(11, true, false, 1), kCreamInk);
        legend(p, QRectF(804, 443, 109, 18), Qt::AlignCenter, QStringLiteral("BYPASS"), legendFont(12, true, false, 2),
               kCreamInk);

        // The screen of the file browser: flat near-black, so the list and its scroll bar sit in it seamlessly.
        QPainterPath bezelPath;
        bezelPath.addRoundedRect(kScreenBezel, 6, 6);
        QLinearGradient bz(kScreenBezel.topLeft(), kScreenBezel.bottomLeft());
        bz.setColorAt(0, QColor(12, 12, 13));
        bz.setColorAt(1, QColor(120, 120, 124));
        p.setPen(Qt::NoPen);
        p.setBrush(bz);
        p.drawPath(bezelPath);
        p.setBrush(kNearBlack);
        p.drawRoundedRect(kScreen, 3, 3);
        p.setPen(QPen(QColor(48, 44, 38), 1));
        p.drawLine(QPointF(391, 340.5), QPointF(779, 340.5));

        QPainterPath gainWindow;
        gainWindow.addRoundedRect(kGainWindow, 4, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(bz);
        p.drawPath(gainWindow);
        p.setBrush(kNearBlack);
        p.drawRoundedRect(kGainWindow.adjusted(2, 2, -2, -2), 2.5, 2.5);

        // The gain scale: a tick per dial position, longer ones with figures every ten.
        const QPointF c = dialCentre();
        for (int pos = 0; pos <= 40; ++pos) {
            const bool major = pos % 10 == 0;
            const QPointF d = direction(dialAngle(pos));
            p.setPen(QPen(kCreamInk, major ? 1.8 : 1.0, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(c + d * 38, c + d * (major ? 45.5 : 42));
        }
        const std::array<const char*, 5> figures{"-30", "-20", "-10", "-5", "0"};
        for (int i = 0; i < 5; ++i) {
            const QPointF at = c + direction(dialAngle(i * 10)) * 53;
            legend(p, QRectF(at - QPointF(14, 6), QSizeF(28, 12)), Qt::AlignCenter,
                   QString::fromLatin1(figures[static_cast<std::size_t>(i)]), legendFont(9.5, true, true), kCreamInk);
        }
    }

    PageArt art;
    art.bare = bare;
    Pictures& out = art.pictures;

    out[kSpeakerAmpCh.id] = cutStrip(bare, kSpeakerAmpCh, [](QPainter& p, int k) {
        litText(p, QRectF(0, 0, 56, 25), k == 0 ? QStringLiteral("AMP I") : QStringLiteral("AMP II"), 12);
    });

    // BYPASS frames: off, off hover, on hover, pressed off, pressed on, on; on lights the lamp.
    out[kBypass.id] = cutStrip(bare, kBypass, [](QPainter& p, int k) {
        const bool on = k == 2 || k == 4 || k == 5;
        const bool hover = k == 1 || k == 2;
        const bool pressed = k == 3 || k == 4;
        const QPointF led(kBypass.frame.width() / 2.0, kBypassLedY);
        const QColor red(255, 40, 30);
        if (on)
            lampGlow(p, led, 13, red, QRectF(QPointF(0, 0), QSizeF(kBypass.frame)));
        ledLamp(p, led, 7, red, on);
        footSwitch(p, {kBypass.frame.width() / 2.0, kBypassSwitchY}, 22,
                   pressed ? SwitchState::Pressed : (hover ? SwitchState::Highlighted : SwitchState::Up));
    });

    out[kGainDial.id] =
        cutStrip(bare, kGainDial, [](QPainter& p, int k) { chromeKnob(p, kGainDialCentre, 32, dialAngle(k)); });

    // Push buttons: normal, hover, pressed, and an "on" frame that matches normal since none of them latches.
    auto pushFrame = [](int k) { return k == 3 ? 0 : k; };
    out[kInstall.id] = cutStrip(bare, kInstall, [&](QPainter& p, int k) {
        pushButton(p, QRectF(7.5, 5, 60, 54), 7, pushFrame(k), installGlyph);
    });
    out[kFolder.id] = cutStrip(
        bare, kFolder, [&](QPainter& p, int k) { pushButton(p, QRectF(3, 3, 30, 29), 5, pushFrame(k), folderGlyph); });
    out[kUp.id] = arrowStrip(bare, kUp, true);
    out[kDown.id] = arrowStrip(bare, kDown, false);

    const QRgb nb = kNearBlack.rgb();
    const std::array<QRgb, kThumbWidth> middle{qRgb(58, 46, 26),   qRgb(150, 112, 44), qRgb(196, 148, 58),
                                               qRgb(206, 158, 64), qRgb(184, 138, 54), qRgb(132, 98, 38),
                                               qRgb(48, 38, 22)};
    const std::array<QRgb, kThumbWidth> rim{
        nb, qRgb(96, 74, 34), qRgb(170, 130, 54), qRgb(180, 138, 58), qRgb(160, 120, 50), qRgb(86, 66, 30), nb};
    const std::array<QRgb, kThumbWidth> top{qRgb(40, 32, 18),   qRgb(176, 134, 56), qRgb(224, 176, 80),
                                            qRgb(232, 184, 86), qRgb(210, 162, 72), qRgb(150, 112, 44),
                                            qRgb(36, 30, 18)};
    const std::array<QRgb, kThumbWidth> bottom{qRgb(40, 32, 18),   qRgb(120, 90, 36),  qRgb(160, 120, 48),
                                               qRgb(168, 126, 50), qRgb(150, 112, 44), qRgb(104, 78, 32),
                                               qRgb(36, 30, 18)};
    out[kThumbTop] = thumbPiece({rim, top}, 2);
    out[kThumbMiddle] = thumbPiece({middle, middle}, 1);
    out[kThumbBottom] = thumbPiece({bottom, rim}, 2);

    QImage page = bare;
    for (const Strip& s : {kBypass, kGainDial, kInstall, kFolder, kUp, kDown})
        pasteFrame(page, out[s.id], s, 0);
    out[kSpeakerPage] = page.convertToFormat(QImage::Format_RGB32);
    return art;
}

} // namespace artgen
