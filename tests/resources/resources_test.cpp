// Every picture the pages load: present in the resources, of the size and frame layout the pages cut it by,
// opaque where the pages stack it, and meeting the page picture without a seam where a control sits on it.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
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
