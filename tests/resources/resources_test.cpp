// Every picture the pages load: present in the resources, of the size and frame layout the pages cut it by,
// opaque where the pages stack it, and meeting the page picture without a seam where a control sits on it.
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Picture {
    const char* name;
    int frameWidth;
    int frameHeight;
    int frames;
    bool opaque;
    // The page picture the control sits on and the control's top-left corner there; no page for free pictures.
    const char* page;
    QPoint at;
};

std::ostream& operator<<(std::ostream& os, const Picture& p)
{
    return os << p.name;
}

constexpr const char* kEffect = "272";
constexpr const char* kSpeaker = "286";

const Picture kPictures[] = {
    {"272", 960, 640, 1, true, nullptr, {}},
    {"286", 960, 640, 1, true, nullptr, {}},
    {"273", 69, 30, 2, true, kEffect, {104, 111}},
    {"274", 71, 122, 4, true, kEffect, {69, 490}},
    {"275", 71, 122, 4, true, kEffect, {140, 490}},
    {"276", 71, 122, 4, true, kEffect, {211, 490}},
    {"277", 71, 122, 4, true, kEffect, {545, 490}},
    {"280", 71, 122, 4, true, kEffect, {616, 490}},
    {"279", 71, 122, 4, true, kEffect, {687, 490}},
    {"281", 72, 122, 4, true, kEffect, {758, 490}},
    {"282", 223, 71, 6, true, kEffect, {314, 145}},
    {"283", 155, 141, 4, true, kEffect, {732, 87}},
    {"287", 56, 25, 2, true, kSpeaker, {66, 180}},
    {"288", 69, 95, 6, true, kSpeaker, {824, 465}},
    {"290", 136, 113, 41, true, kSpeaker, {792, 298}},
    {"291", 75, 69, 4, true, kSpeaker, {270, 391}},
    {"292", 36, 37, 4, true, kSpeaker, {675, 263}},
    {"294", 15, 15, 4, true, kSpeaker, {765, 534}},
    {"295", 15, 15, 4, true, kSpeaker, {765, 347}},
    // Scroll thumb: top cap, one middle row drawn once per pixel, bottom cap, as wide as the 7-pixel bar.
    {"297", 7, 2, 1, true, nullptr, {}},
    {"298", 7, 1, 1, true, nullptr, {}},
    {"299", 7, 2, 1, true, nullptr, {}},
    {"icon", 256, 256, 1, false, nullptr, {}},
};

QImage load(const char* name)
{
    return QImage(QStringLiteral(":/images/%1.png").arg(QLatin1String(name)));
}

// Colour steps a frame's rim may differ from the page beneath it before the edge shows as a seam.
constexpr int kSeamTolerance = 6;

bool sameShade(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= kSeamTolerance && std::abs(qGreen(a) - qGreen(b)) <= kSeamTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= kSeamTolerance;
}

// The pixels along the edge of a w x h rectangle.
std::vector<QPoint> rim(int w, int h)
{
    std::vector<QPoint> points;
    for (int x = 0; x < w; ++x) {
        points.emplace_back(x, 0);
        points.emplace_back(x, h - 1);
    }
    for (int y = 1; y < h - 1; ++y) {
        points.emplace_back(0, y);
        points.emplace_back(w - 1, y);
    }
    return points;
}

class PictureTest : public ::testing::TestWithParam<Picture> {};

TEST_P(PictureTest, LoadsWithTheLayoutThePagesUse)
{
    const Picture& p = GetParam();
    const QImage image = load(p.name).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull()) << "missing :/images/" << p.name << ".png";
    EXPECT_EQ(image.width(), p.frameWidth);
    EXPECT_EQ(image.height(), p.frameHeight * p.frames);

    if (p.opaque) {
        // The pages copy frames over their picture; a see-through pixel would show whatever was drawn before.
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(qAlpha(image.pixel(x, y)), 255) << "at " << x << "," << y;
    }

    if (!p.page)
        return;
    const QImage page = load(p.page).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(page.isNull());
    ASSERT_TRUE(page.rect().contains(QRect(p.at, QSize(p.frameWidth, p.frameHeight))));
    // Every frame's outer ring must continue the page picture around the control's rectangle.
    for (int k = 0; k < p.frames; ++k) {
        for (const QPoint& edge : rim(p.frameWidth, p.frameHeight)) {
            const QRgb mine = image.pixel(edge + QPoint(0, k * p.frameHeight));
            const QRgb under = page.pixel(p.at + edge);
            ASSERT_TRUE(sameShade(mine, under))
                << "frame " << k << " differs from the page at " << (p.at + edge).x() << "," << (p.at + edge).y()
                << ": " << std::hex << mine << " against " << under;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Images, PictureTest, ::testing::ValuesIn(kPictures),
                         [](const ::testing::TestParamInfo<Picture>& info) {
                             return std::string("image_") + info.param.name;
                         });

} // namespace

namespace {

QImage loadTwin(const char* name)
{
    return QImage(QStringLiteral(":/images/%1@2x.png").arg(QLatin1String(name)));
}

// Each 2 x 2 block of the twin averaged into one pixel: what the twin shows in one logical pixel.
QImage halved(const QImage& twin)
{
    QImage out(twin.size() / 2, QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            int r = 0, g = 0, b = 0, a = 0;
            for (const QPoint& d : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
                const QRgb px = twin.pixel(2 * x + d.x(), 2 * y + d.y());
                r += qRed(px);
                g += qGreen(px);
                b += qBlue(px);
                a += qAlpha(px);
            }
            out.setPixel(x, y, qRgba(r / 4, g / 4, b / 4, a / 4));
        }
    return out;
}

// Average colour step per channel between the halved twin and the 1x picture, the twin moved by (dx, dy) logical
// pixels, over the part both cover; nothing to compare when they do not overlap.
double meanStep(const QImage& one, const QImage& half, int dx, int dy)
{
    double total = 0;
    int count = 0;
    for (int y = std::max(0, -dy); y < std::min(one.height(), one.height() - dy); ++y)
        for (int x = std::max(0, -dx); x < std::min(one.width(), one.width() - dx); ++x) {
            const QRgb a = one.pixel(x, y);
            const QRgb b = half.pixel(x + dx, y + dy);
            total += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) +
                     std::abs(qAlpha(a) - qAlpha(b));
            count += 4;
        }
    return count == 0 ? std::numeric_limits<double>::infinity() : total / count;
}

// Lettering and edges are drawn afresh at 2x, so the halved twin never agrees exactly with the 1x picture; a part
// drawn at the wrong size or in the wrong place differs by far more.
constexpr double kTwinTolerance = 6.0;

TEST_P(PictureTest, HasATwinOfTwiceTheSizeWithTheSameLayout)
{
    const Picture& p = GetParam();
    const QImage one = load(p.name).convertToFormat(QImage::Format_ARGB32);
    const QImage twin = loadTwin(p.name).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(twin.isNull()) << "missing :/images/" << p.name << "@2x.png";
    ASSERT_EQ(twin.size(), one.size() * 2);
    if (p.opaque) {
        for (int y = 0; y < twin.height(); ++y)
            for (int x = 0; x < twin.width(); ++x)
                ASSERT_EQ(qAlpha(twin.pixel(x, y)), 255) << "at " << x << "," << y;
    }
    const QImage half = halved(twin);
    const double inPlace = meanStep(one, half, 0, 0);
    EXPECT_LE(inPlace, kTwinTolerance) << p.name << "@2x does not show the picture of " << p.name << ".png";
    // Closer in place than one logical pixel off in any direction: nothing in the twin has moved.
    for (const QPoint& d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
        EXPECT_LE(inPlace, meanStep(one, half, d.x(), d.y()))
            << p.name << "@2x lines up better moved by " << d.x() << "," << d.y();

    if (!p.page)
        return;
    // As at 1x, every frame's outer ring continues the page's twin around the control's rectangle.
    const QImage page = loadTwin(p.page).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(page.size(), QSize(1920, 1280));
    for (int k = 0; k < p.frames; ++k) {
        for (const QPoint& edge : rim(2 * p.frameWidth, 2 * p.frameHeight)) {
            const QRgb mine = twin.pixel(edge + QPoint(0, 2 * k * p.frameHeight));
            const QRgb under = page.pixel(2 * p.at + edge);
            ASSERT_TRUE(sameShade(mine, under))
                << "frame " << k << " differs from the page's twin at device pixel " << (2 * p.at + edge).x() << ","
                << (2 * p.at + edge).y() << ": " << std::hex << mine << " against " << under;
        }
    }
}

} // namespace
