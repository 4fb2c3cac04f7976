// Surfaces, parts and lettering from which the amplifier and pedal pictures are painted.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Materials.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace artgen {

namespace {

int gScale = 1;

std::uint32_t mix(std::uint32_t h)
{
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}

int clampByte(double v)
{
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

QRgb rgb(double r, double g, double b)
{
    return qRgb(clampByte(r), clampByte(g), clampByte(b));
}

QColor scaled(QColor c, double f)
{
    return QColor(clampByte(c.red() * f), clampByte(c.green() * f), clampByte(c.blue() * f), c.alpha());
}

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// The shade gets the logical position of a device pixel's top-left corner (x, y) and the device pixel itself
// (gx, gy) for per-pixel grain. At scale 1 both are the same integers, so the 1x pictures keep their pixels.
template <typename Shade> QImage paintPixels(QSize size, Shade shade)
{
    const int s = gScale;
    QImage img(size * s, QImage::Format_RGB32);
    if (s != 1)
        img.setDevicePixelRatio(s);
    for (int gy = 0; gy < img.height(); ++gy) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(gy));
        const double y = s == 1 ? gy : gy / static_cast<double>(s);
        for (int gx = 0; gx < img.width(); ++gx) {
            const double x = s == 1 ? gx : gx / static_cast<double>(s);
            line[gx] = shade(x, y, gx, gy);
        }
    }
    return img;
}

// Three box passes approximate a Gaussian; only alpha matters for a shadow mask.
void blurAlpha(QImage& img, int radius)
{
    if (radius < 1)
        return;
    const int w = img.width();
    const int h = img.height();
    std::vector<int> a(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x)
            a[static_cast<std::size_t>(y) * w + x] = qAlpha(line[x]);
    }
    std::vector<int> tmp(a.size());
    const int span = 2 * radius + 1;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            int sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += a[static_cast<std::size_t>(y) * w + std::clamp(x, 0, w - 1)];
            for (int x = 0; x < w; ++x) {
                tmp[static_cast<std::size_t>(y) * w + x] = sum / span;
                sum += a[static_cast<std::size_t>(y) * w + std::min(x + radius + 1, w - 1)];
                sum -= a[static_cast<std::size_t>(y) * w + std::max(x - radius, 0)];
            }
        }
        for (int x = 0; x < w; ++x) {
            int sum = 0;
            for (int y = -radius; y <= radius; ++y)
                sum += tmp[static_cast<std::size_t>(std::clamp(y, 0, h - 1)) * w + x];
            for (int y = 0; y < h; ++y) {
                a[static_cast<std::size_t>(y) * w + x] = sum / span;
                sum += tmp[static_cast<std::size_t>(std::min(y + radius + 1, h - 1)) * w + x];
                sum -= tmp[static_cast<std::size_t>(std::max(y - radius, 0)) * w + x];
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgba(0, 0, 0, a[static_cast<std::size_t>(y) * w + x]);
    }
}

QLinearGradient lightGradient(const QRectF& r)
{
    return QLinearGradient(r.topLeft(), r.bottomRight());
}

} // namespace

void setArtScale(int scale)
{
    gScale = std::max(1, scale);
}

int artScale()
{
    return gScale;
}

double hash01(int x, int y, std::uint32_t seed)
{
    const std::uint32_t h =
        mix(static_cast<std::uint32_t>(x) * 0x9E3779B1U ^ mix(static_cast<std::uint32_t>(y) + seed * 0x85EBCA77U));
    return h / 4294967296.0;
}

double valueNoise(double x, double y, std::uint32_t seed)
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const double tx = x - fx;
    const double ty = y - fy;
    const double sx = tx * tx * (3 - 2 * tx);
    const double sy = ty * ty * (3 - 2 * ty);
    const double a = hash01(ix, iy, seed);
    const double b = hash01(ix + 1, iy, seed);
    const double c = hash01(ix, iy + 1, seed);
    const double d = hash01(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

QImage tolexTexture(QSize size, std::uint32_t seed)
{
    auto pebble = [seed](double x, double y) {
        return valueNoise(x / 2.1, y / 2.1, seed) * 0.75 + valueNoise(x / 0.9, y / 0.9, seed + 7) * 0.25;
    };
    return paintPixels(size, [&](double x, double y, int, int) {
        const double h = pebble(x, y);
        const double lit = pebble(x - 1, y - 1) - h;
        const double broad = valueNoise(x / 140.0, y / 140.0, seed + 3) - 0.5;
        const double lum = 30 + 46 * lit + 10 * (h - 0.5) + 8 * broad;
        return rgb(lum, lum * 0.99, lum * 1.02 + 1);
    });
}

QImage brushedMetalTexture(QSize size, QColor base, std::uint32_t seed)
{
    const double w = std::max(1, size.width());
    const double h = std::max(1, size.height());
    return paintPixels(size, [&](double x, double y, int gx, int gy) {
        const double streak = valueNoise(x / 70.0, y, seed) * 0.45 + valueNoise(x / 12.0, y + 0.5, seed + 1) * 0.35 +
                              hash01(gx, gy, seed + 2) * 0.20;
        // Horizontal brushing scatters the light into broad vertical bands.
        const double sheen = 1.0 + 0.055 * std::sin(2 * std::numbers::pi * x / w * 1.2 + 0.7) +
                             0.03 * std::sin(2 * std::numbers::pi * x / w * 3.1 + 2.0) - 0.07 * (y / h);
        const double d = 30 * (streak - 0.5);
        return rgb(base.red() * sheen + d, base.green() * sheen + d, base.blue() * sheen + d * 1.05);
    });
}

QImage enamelTexture(QSize size, QColor base, std::uint32_t seed)
{
    const double w = std::max(1, size.width());
    const double h = std::max(1, size.height());
    return paintPixels(size, [&](double x, double y, int gx, int gy) {
        // A gentle orange peel under fine metallic flake.
        auto peel = [seed](double px, double py) { return valueNoise(px / 7.0, py / 7.0, seed); };
        const double lit = peel(x - 1, y - 1) - peel(x, y);
        const double flake = hash01(gx, gy, seed + 9);
        const double spark = flake > 0.992 ? 0.16 : (flake > 0.96 ? 0.05 : 0.0);
        const double slope = 1.10 - 0.22 * (0.5 * x / w + 0.5 * y / h);
        const double f = slope + 0.28 * lit + spark;
        const double grain = (hash01(gx, gy, seed + 4) - 0.5) * 4;
        return rgb(base.red() * f + grain, base.green() * f + grain, base.blue() * f + grain);
    });
}

QImage wrinkleTexture(QSize size, QColor base, std::uint32_t seed)
{
    auto wr = [seed](double px, double py) {
        return valueNoise(px / 2.4, py / 2.4, seed) * 0.6 + valueNoise(px / 5.0, py / 5.0, seed + 1) * 0.4;
    };
    return paintPixels(size, [&](double x, double y, int, int) {
        const double lit = wr(x - 1, y - 1) - wr(x, y);
        const double f = 1.0 + 0.75 * lit;
        return rgb(base.red() * f, base.green() * f, base.blue() * f);
    });
}

QImage woodFloorTexture(QSize size, std::uint32_t seed)
{
    constexpr int kPlank = 36;
    constexpr int kLength = 430;
    // Planks, boards and grooves are counted in logical pixels, so a groove is as wide at 2x as at 1x.
    return paintPixels(size, [&](double x, double y, int, int) {
        const int plank = static_cast<int>(std::floor(y / kPlank));
        const double within = y - plank * kPlank;
        const double shifted = x + plank * 263 + static_cast<int>(hash01(plank, 0, seed) * 200);
        const int board = static_cast<int>(std::floor(shifted / kLength));
        const double along = shifted - board * kLength;
        const double tone = 0.78 + 0.34 * hash01(board, plank, seed + 1);
        const double warp = valueNoise(x / 160.0 + board * 11, plank * 3.0, seed + 2) * 8;
        const double rings = std::sin((within + warp) * 0.9 + board * 1.7) * 0.5 + 0.5;
        const double fine = valueNoise(x / 25.0 + board * 7, y / 1.3, seed + 3);
        double f = tone * (0.82 + 0.16 * rings + 0.14 * (fine - 0.5));
        if (within < 2 || along < 2)
            f *= within < 1 || along < 1 ? 0.35 : 0.6;
        else if (within < 3)
            f *= 1.12;
        return rgb(64 * f, 42 * f, 28 * f);
    });
}

QImage grilleClothTexture(QSize size, std::uint32_t seed)
{
    // Threads are three logical pixels wide; each is shaded at the middle of the device pixel across it.
    const double half = 0.5 / gScale;
    return paintPixels(size, [&](double x, double y, int gx, int gy) {
        const int column = static_cast<int>(std::floor(x / 3));
        const int row = static_cast<int>(std::floor(y / 3));
        const bool weft = (column + row) % 2 == 0;
        const double t = weft ? std::sin(std::numbers::pi * ((y - 3 * row) + half) / 3)
                              : std::sin(std::numbers::pi * ((x - 3 * column) + half) / 3);
        // A light thread every few warps gives the salt-and-pepper weave.
        const bool fleck = !weft && column % 4 == 1;
        const double n = hash01(gx, gy, seed) - 0.5;
        double lum = 16 + 26 * t + 6 * n;
        if (fleck)
            lum += 34 * t;
        return rgb(lum * 1.02, lum, lum * 0.94);
    });
}

QImage newCanvas(QSize size, QColor fill)
{
    QImage img(size * gScale, QImage::Format_ARGB32_Premultiplied);
    if (gScale != 1)
        img.setDevicePixelRatio(gScale);
    img.fill(fill);
    return img;
}

void fillWithTexture(QPainter& p, const QPainterPath& path, const QImage& texture)
{
    p.fillPath(path, QBrush(texture));
}

void dropShadow(QPainter& p, const QPainterPath& path, QPointF offset, int blur, double opacity)
{
    const QRectF b = path.boundingRect().adjusted(-3 * blur - 2, -3 * blur - 2, 3 * blur + 2, 3 * blur + 2);
    QImage mask = newCanvas(b.size().toSize() + QSize(1, 1));
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.translate(-b.topLeft());
        m.fillPath(path, Qt::black);
    }
    blurAlpha(mask, blur * gScale);
    p.save();
    p.setOpacity(p.opacity() * opacity);
    p.drawImage(b.topLeft() + offset, mask);
    p.restore();
}

void bevel(QPainter& p, const QPainterPath& path, double width, double strength, bool sunken)
{
    const QRectF r = path.boundingRect();
    QLinearGradient g = lightGradient(r);
    const QColor light(255, 255, 255, clampByte(200 * strength));
    const QColor dark(0, 0, 0, clampByte(220 * strength));
    g.setColorAt(0.0, sunken ? dark : light);
    g.setColorAt(0.45, QColor(128, 128, 128, 0));
    g.setColorAt(0.55, QColor(128, 128, 128, 0));
    g.setColorAt(1.0, sunken ? light : dark);
    p.save();
    p.setClipPath(path, Qt::IntersectClip);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(g), 2 * width));
    p.drawPath(path);
    p.restore();
}

void screwHead(QPainter& p, QPointF centre, double radius, double slotAngle)
{
    QPainterPath head;
    head.addEllipse(centre, radius, radius);
    dropShadow(p, head, {1, 1.5}, 1, 0.6);
    QRadialGradient g(centre + QPointF(-radius * 0.4, -radius * 0.4), radius * 1.6);
    g.setColorAt(0, QColor(245, 245, 240));
    g.setColorAt(0.5, QColor(160, 160, 158));
    g.setColorAt(1, QColor(70, 70, 72));
    p.setPen(QPen(QColor(40, 40, 40, 180), 0.8));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
    const QPointF d = direction(slotAngle) * radius * 0.72;
    const QPointF n(-d.y(), d.x());
    p.setPen(QPen(QColor(35, 35, 35), std::max(1.0, radius * 0.28), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre - d, centre + d);
    p.drawLine(centre - n, centre + n);
}

void jewelLamp(QPainter& p, QPointF centre, double radius, QColor colour, bool lit)
{
    QPainterPath bezel;
    bezel.addEllipse(centre, radius, radius);
    dropShadow(p, bezel, {1.5, 2}, 2, 0.6);
    QLinearGradient ring(centre - QPointF(radius, radius), centre + QPointF(radius, radius));
    ring.setColorAt(0, QColor(250, 250, 246));
    ring.setColorAt(0.5, QColor(150, 150, 152));
    ring.setColorAt(1, QColor(60, 60, 64));
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(centre, radius, radius);
    const double r = radius * 0.74;
    QRadialGradient g(centre + QPointF(-r * 0.2, -r * 0.2), r * 1.1);
    if (lit) {
        g.setColorAt(0, QColor(255, 255, 240));
        g.setColorAt(0.3, QColor(255, 240, 170));
        g.setColorAt(0.6, colour.lighter(115));
        g.setColorAt(1, colour);
    } else {
        g.setColorAt(0, scaled(colour, 0.42));
        g.setColorAt(0.7, scaled(colour, 0.24));
        g.setColorAt(1, scaled(colour, 0.12));
    }
    p.setBrush(g);
    p.drawEllipse(centre, r, r);
    // Facets of the jewel catch the light whether or not the lamp burns.
    p.save();
    QPainterPath lens;
    lens.addEllipse(centre, r, r);
    p.setClipPath(lens);
    p.setPen(QPen(QColor(0, 0, 0, lit ? 40 : 70), 0.8));
    for (int i = -3; i <= 3; ++i) {
        const double o = i * r * 0.42;
        p.drawLine(centre + QPointF(o - r, -r), centre + QPointF(o + r, r));
        p.drawLine(centre + QPointF(o + r, -r), centre + QPointF(o - r, r));
    }
    p.restore();
    p.setBrush(QColor(255, 255, 255, lit ? 200 : 120));
    p.drawEllipse(centre + QPointF(-r * 0.38, -r * 0.42), r * 0.22, r * 0.16);
}

void ledLamp(QPainter& p, QPointF centre, double radius, QColor colour, bool lit)
{
    QPainterPath bezel;
    bezel.addEllipse(centre, radius, radius);
    dropShadow(p, bezel, {0.8, 1.2}, 1, 0.55);
    QLinearGradient ring(centre - QPointF(radius, radius), centre + QPointF(radius, radius));
    ring.setColorAt(0, QColor(235, 235, 232));
    ring.setColorAt(0.55, QColor(120, 120, 124));
    ring.setColorAt(1, QColor(45, 45, 48));
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(centre, radius, radius);
    const double r = radius * 0.7;
    QRadialGradient g(centre, r);
    if (lit) {
        g.setColorAt(0, QColor(255, 255, 255));
        g.setColorAt(0.35, colour.lighter(125));
        g.setColorAt(1, colour);
    } else {
        g.setColorAt(0, scaled(colour, 0.42));
        g.setColorAt(1, scaled(colour, 0.2));
    }
    p.setBrush(g);
    p.drawEllipse(centre, r, r);
    p.setBrush(QColor(255, 255, 255, lit ? 210 : 150));
    p.drawEllipse(centre + QPointF(-r * 0.35, -r * 0.4), r * 0.28, r * 0.2);
}

void lampGlow(QPainter& p, QPointF centre, double radius, QColor colour, const QRectF& clip)
{
    p.save();
    p.setClipRect(clip, Qt::IntersectClip);
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    QRadialGradient g(centre, radius);
    g.setColorAt(0, withAlpha(colour, 230));
    g.setColorAt(0.35, withAlpha(colour, 110));
    g.setColorAt(1, withAlpha(colour, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
    p.restore();
}

void footSwitch(QPainter& p, QPointF centre, double radius, SwitchState state)
{
    const bool pressed = state == SwitchState::Pressed;
    const bool hot = state == SwitchState::Highlighted;
    QPolygonF hex;
    for (int i = 0; i < 6; ++i) {
        const double a = std::numbers::pi / 3 * i + std::numbers::pi / 6;
        hex << centre + QPointF(std::cos(a), std::sin(a)) * radius;
    }
    QPainterPath nut;
    nut.addPolygon(hex);
    nut.closeSubpath();
    dropShadow(p, nut, {2.5, 3.5}, 3, 0.75);
    if (hot) {
        QRadialGradient halo(centre, radius * 1.35);
        halo.setColorAt(0.7, QColor(255, 236, 190, 110));
        halo.setColorAt(1, QColor(255, 236, 190, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(halo);
        p.drawEllipse(centre, radius * 1.35, radius * 1.35);
    }
    QLinearGradient ng(centre - QPointF(radius, radius), centre + QPointF(radius, radius));
    ng.setColorAt(0, QColor(250, 250, 248));
    ng.setColorAt(0.35, QColor(196, 198, 202));
    ng.setColorAt(0.65, QColor(120, 122, 128));
    ng.setColorAt(1, QColor(62, 62, 66));
    p.setPen(QPen(QColor(30, 30, 32), 0.9));
    p.setBrush(ng);
    p.drawPath(nut);
    // Each flat of the nut faces the light at its own angle.
    for (int i = 0; i < 6; ++i) {
        const QPointF a = hex[i];
        const QPointF b = hex[(i + 1) % 6];
        const QPointF mid = (a + b) / 2 - centre;
        const double facing = -(mid.x() * kLightX + mid.y() * kLightY) / radius;
        QPolygonF facet;
        facet << a << b << centre + (b - centre) * 0.82 << centre + (a - centre) * 0.82;
        p.setPen(Qt::NoPen);
        p.setBrush(facing < 0 ? QColor(255, 255, 255, clampByte(-facing * 110))
                              : QColor(0, 0, 0, clampByte(facing * 120)));
        p.drawPolygon(facet);
    }
    const double collar = radius * 0.74;
    QRadialGradient cg(centre, collar);
    cg.setColorAt(0, QColor(70, 70, 74));
    cg.setColorAt(0.8, QColor(120, 120, 126));
    cg.setColorAt(1, QColor(50, 50, 54));
    p.setPen(QPen(QColor(25, 25, 27), 0.8));
    p.setBrush(cg);
    p.drawEllipse(centre, collar, collar);
    p.setBrush(Qt::NoBrush);
    for (double r = collar * 0.78; r < collar; r += 1.6) {
        p.setPen(QPen(QColor(200, 200, 205, 70), 0.6));
        p.drawEllipse(centre, r, r);
    }
    // The plunger sinks into the collar when pressed: smaller, lower and in its own shadow.
    const double cap = radius * (pressed ? 0.5 : 0.56);
    const QPointF c = centre + QPointF(0, pressed ? 1.2 : -0.4);
    QPainterPath capPath;
    capPath.addEllipse(c, cap, cap);
    if (!pressed)
        dropShadow(p, capPath, {1.2, 1.8}, 2, 0.7);
    QRadialGradient g(c + QPointF(-cap * 0.45, -cap * 0.5), cap * 1.7);
    const double k = pressed ? 0.72 : (hot ? 1.08 : 1.0);
    g.setColorAt(0, scaled(QColor(255, 255, 252), k));
    g.setColorAt(0.25, scaled(QColor(225, 226, 230), k));
    g.setColorAt(0.6, scaled(QColor(130, 132, 138), k));
    g.setColorAt(1, scaled(QColor(48, 48, 52), k));
    p.setPen(QPen(QColor(20, 20, 22), 0.9));
    p.setBrush(g);
    p.drawPath(capPath);
    if (pressed) {
        QRadialGradient inner(c, cap + 2);
        inner.setColorAt(0.75, QColor(0, 0, 0, 0));
        inner.setColorAt(1, QColor(0, 0, 0, 140));
        p.setPen(Qt::NoPen);
        p.setBrush(inner);
        p.drawEllipse(c, cap + 2, cap + 2);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, pressed ? 90 : 190));
    p.drawEllipse(c + QPointF(-cap * 0.38, -cap * 0.42), cap * 0.3, cap * 0.2);
}

void recessedWindow(QPainter& p, const QRectF& r, double radius, QColor glass)
{
    QPainterPath outer;
    outer.addRoundedRect(r, radius, radius);
    QLinearGradient bz(r.topLeft(), r.bottomLeft());
    bz.setColorAt(0, QColor(30, 30, 32));
    bz.setColorAt(1, QColor(200, 200, 198));
    p.setPen(Qt::NoPen);
    p.setBrush(bz);
    p.drawPath(outer);
    const QRectF in = r.adjusted(2, 2, -2, -2);
    QPainterPath inner;
    inner.addRoundedRect(in, std::max(0.0, radius - 2), std::max(0.0, radius - 2));
    QLinearGradient gg(in.topLeft(), in.bottomLeft());
    gg.setColorAt(0, glass.lighter(135));
    gg.setColorAt(0.5, glass);
    gg.setColorAt(1, scaled(glass, 0.8));
    p.setBrush(gg);
    p.drawPath(inner);
    // The glass sits below the panel: its upper edge is in shadow.
    QLinearGradient sh(in.topLeft(), in.topLeft() + QPointF(0, 6));
    sh.setColorAt(0, QColor(0, 0, 0, 170));
    sh.setColorAt(1, QColor(0, 0, 0, 0));
    p.setBrush(sh);
    p.drawPath(inner);
}

QPointF direction(double angleDeg)
{
    const double a = angleDeg * std::numbers::pi / 180.0;
    return {-std::sin(a), std::cos(a)};
}

void chromeKnob(QPainter& p, QPointF centre, double radius, double angleDeg)
{
    QPainterPath body;
    body.addEllipse(centre, radius, radius);
    dropShadow(p, body, {3, 4}, 4, 0.8);
    QRadialGradient sg(centre + QPointF(-radius * 0.3, -radius * 0.35), radius * 1.4);
    sg.setColorAt(0, QColor(62, 62, 66));
    sg.setColorAt(0.7, QColor(26, 26, 28));
    sg.setColorAt(1, QColor(8, 8, 9));
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(sg);
    p.drawPath(body);
    // Knurling on the skirt turns with the knob.
    p.save();
    p.setClipPath(body);
    for (int i = 0; i < 72; ++i) {
        const QPointF d = direction(angleDeg + i * 5.0);
        const double facing = -(d.x() * kLightX + d.y() * kLightY);
        p.setPen(QPen(QColor(255, 255, 255, clampByte(20 + 45 * std::max(0.0, facing))), 1.0));
        p.drawLine(centre + d * radius * 0.86, centre + d * radius);
    }
    p.restore();
    const QPointF d = direction(angleDeg);
    p.setPen(QPen(QColor(250, 250, 245), std::max(2.0, radius * 0.08), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + d * radius * 0.8, centre + d * radius * 0.97);
    // A machined cap: its rings of light stay put while the knob turns, only the engraved line moves.
    const double cap = radius * 0.74;
    QConicalGradient cg(centre, 45);
    const QColor hi(250, 250, 248);
    const QColor mid(160, 162, 168);
    const QColor lo(80, 82, 88);
    cg.setColorAt(0.0, hi);
    cg.setColorAt(0.12, mid);
    cg.setColorAt(0.25, lo);
    cg.setColorAt(0.38, mid);
    cg.setColorAt(0.5, hi);
    cg.setColorAt(0.62, mid);
    cg.setColorAt(0.75, lo);
    cg.setColorAt(0.88, mid);
    cg.setColorAt(1.0, hi);
    p.setPen(QPen(QColor(30, 30, 30), 1));
    p.setBrush(cg);
    p.drawEllipse(centre, cap, cap);
    QRadialGradient dome(centre + QPointF(-cap * 0.3, -cap * 0.3), cap * 1.3);
    dome.setColorAt(0, QColor(255, 255, 255, 90));
    dome.setColorAt(0.6, QColor(255, 255, 255, 0));
    dome.setColorAt(1, QColor(0, 0, 0, 80));
    p.setBrush(dome);
    p.drawEllipse(centre, cap, cap);
    p.setPen(QPen(QColor(20, 20, 22), std::max(1.6, radius * 0.07), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + d * cap * 0.25, centre + d * cap * 0.92);
}

void pointerKnob(QPainter& p, QPointF centre, double radius, double angleDeg)
{
    const QPointF d = direction(angleDeg);
    const QPointF n(-d.y(), d.x());
    // The blade: wide over the hub, tapering to a rounded tip beyond the skirt.
    const double tip = radius * 1.72;
    QPainterPath blade;
    blade.moveTo(centre - d * radius * 0.5 + n * radius * 0.5);
    blade.cubicTo(centre + d * radius * 0.4 + n * radius * 0.5, centre + d * radius * 1.1 + n * radius * 0.17,
                  centre + d * tip + n * radius * 0.13);
    blade.quadTo(centre + d * (tip + radius * 0.16), centre + d * tip - n * radius * 0.13);
    blade.cubicTo(centre + d * radius * 1.1 - n * radius * 0.17, centre + d * radius * 0.4 - n * radius * 0.5,
                  centre - d * radius * 0.5 - n * radius * 0.5);
    blade.quadTo(centre - d * radius * 0.85, centre - d * radius * 0.5 + n * radius * 0.5);
    blade.closeSubpath();
    QPainterPath skirt;
    skirt.addEllipse(centre, radius, radius);
    QPainterPath whole = skirt.united(blade);
    dropShadow(p, whole, {2, 3}, 2, 0.75);
    QRadialGradient sg(centre + QPointF(-radius * 0.35, -radius * 0.4), radius * 1.5);
    sg.setColorAt(0, QColor(70, 70, 74));
    sg.setColorAt(0.6, QColor(24, 24, 26));
    sg.setColorAt(1, QColor(6, 6, 7));
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(sg);
    p.drawPath(skirt);
    // Fine ribs around the skirt, turning with it.
    p.save();
    p.setClipPath(skirt);
    for (int i = 0; i < 48; ++i) {
        const QPointF r = direction(angleDeg + i * 7.5);
        p.setPen(QPen(QColor(255, 255, 255, 26), 1.0));
        p.drawLine(centre + r * radius * 0.84, centre + r * radius);
    }
    p.restore();
    QLinearGradient bg(centre - QPointF(tip, tip), centre + QPointF(tip, tip));
    bg.setColorAt(0, QColor(88, 88, 92));
    bg.setColorAt(0.45, QColor(30, 30, 32));
    bg.setColorAt(1, QColor(6, 6, 7));
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(bg);
    p.drawPath(blade);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawPath(blade.translated(-0.5, -0.5).intersected(blade));
    p.setPen(QPen(QColor(246, 244, 236), std::max(1.8, radius * 0.11), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + d * radius * 0.25, centre + d * (tip - radius * 0.08));
}

void patchCable(QPainter& p, const QPainterPath& path)
{
    QPainterPath stroke = QPainterPathStroker(QPen(Qt::black, 8, Qt::SolidLine, Qt::RoundCap)).createStroke(path);
    dropShadow(p, stroke, {4, 6}, 3, 0.6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(12, 12, 13), 8, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(path);
    p.setPen(QPen(QColor(90, 90, 96, 150), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(path.translated(-1.2, -1.8));
}

void jackPlug(QPainter& p, QPointF socket, int outward)
{
    const QRectF nut(socket.x() - (outward < 0 ? 8 : 0), socket.y() - 9, 8, 18);
    QLinearGradient ng(nut.topLeft(), nut.bottomLeft());
    ng.setColorAt(0, QColor(240, 240, 240));
    ng.setColorAt(0.5, QColor(140, 140, 146));
    ng.setColorAt(1, QColor(60, 60, 64));
    p.setPen(QPen(QColor(20, 20, 22), 0.8));
    p.setBrush(ng);
    p.drawRect(nut);
    const double x0 = outward < 0 ? nut.left() - 26 : nut.right();
    const QRectF body(x0, socket.y() - 7, 26, 14);
    QLinearGradient bg(body.topLeft(), body.bottomLeft());
    bg.setColorAt(0, QColor(70, 70, 74));
    bg.setColorAt(0.4, QColor(24, 24, 26));
    bg.setColorAt(1, QColor(8, 8, 9));
    QPainterPath bp;
    bp.addRoundedRect(body, 4, 4);
    dropShadow(p, bp, {3, 5}, 3, 0.6);
    p.setBrush(bg);
    p.drawPath(bp);
}

QFont legendFont(double pixelSize, bool bold, bool condensed, double spacing)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    if (condensed)
        f.setStretch(QFont::Condensed);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    if (spacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return f;
}

void legend(QPainter& p, const QRectF& r, int align, const QString& text, const QFont& font, QColor ink)
{
    p.save();
    p.setFont(font);
    p.setPen(ink);
    p.drawText(r, align, text);
    p.restore();
}

void litText(QPainter& p, const QRectF& r, const QString& text, double pixelSize)
{
    const QFont f = legendFont(pixelSize, true, false, 1.0);
    QPainterPath path;
    path.addText(0, 0, f, text);
    path.translate(r.center() - path.boundingRect().center());
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    QImage glow = newCanvas(r.size().toSize() + QSize(2, 2));
    {
        QPainter g(&glow);
        g.setRenderHint(QPainter::Antialiasing);
        g.translate(-r.topLeft());
        g.fillPath(path, kAmberInk);
    }
    p.setOpacity(0.55);
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            if (dx || dy)
                p.drawImage(r.topLeft() + QPointF(dx, dy), glow);
    p.restore();
    p.fillPath(path, QColor(255, 196, 60));
}

void chromeLogo(QPainter& p, const QRectF& r, double pixelSize)
{
    QFont f = legendFont(pixelSize, true, false, pixelSize * 0.06);
    f.setItalic(true);
    QPainterPath text;
    text.addText(0, 0, f, QStringLiteral("ORX"));
    const QRectF b = text.boundingRect();
    text.translate(r.center() - b.center());
    dropShadow(p, text, {2, 3}, 2, 0.8);
    const QRectF t = text.boundingRect();
    QLinearGradient g(t.topLeft(), t.bottomLeft());
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(0.45, QColor(196, 198, 204));
    g.setColorAt(0.5, QColor(92, 94, 100));
    g.setColorAt(0.75, QColor(170, 172, 178));
    g.setColorAt(1, QColor(235, 235, 238));
    p.setPen(QPen(QColor(20, 20, 22), std::max(1.0, pixelSize / 28)));
    p.setBrush(g);
    p.drawPath(text);
}

void floorBackdrop(QPainter& p, QSize size, std::uint32_t seed, QPointF centre)
{
    p.drawImage(0, 0, woodFloorTexture(size, seed));
    QRadialGradient vignette(centre, 640);
    vignette.setColorAt(0, QColor(0, 0, 0, 0));
    vignette.setColorAt(0.6, QColor(0, 0, 0, 60));
    vignette.setColorAt(1, QColor(0, 0, 0, 190));
    p.fillRect(QRect(QPoint(0, 0), size), vignette);
}

} // namespace artgen
