// orx-irinfo --plot: the picture it writes, read back with libpng (not the cairo that wrote it), has the dialog's
// size and colours and draws a known file where its closed form says: a full-scale impulse 100 samples in has a
// flat magnitude response and one spike at tap 100 of the 2048 shown.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioFiles.h"
#include "IrPlot.h"
#include "RiffBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <png.h>

namespace {

using namespace orx::test;

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool amber(int x, int y) const
    {
        const unsigned char* p = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
        return p[0] > 200 && p[1] > 120 && p[1] < 210 && p[2] < 90; // (255, 176, 32), antialiased edges too
    }
    bool bright(int x, int y) const
    {
        const unsigned char* p = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
        return p[0] > 200 && p[1] > 120; // the amber or the white of a curve
    }
    std::array<int, 3> at(int x, int y) const
    {
        const unsigned char* p = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
        return {p[0], p[1], p[2]};
    }
};

Picture readPng(const std::string& path)
{
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return picture;
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return picture;
}

TEST(IrInfoPlot, AnImpulseDrawsAFlatResponseAndOneSpikeWhereItIs)
{
    std::vector<std::int32_t> samples(4000, 0);
    samples[100] = 32767;
    const auto file = writeFile("impulse at 100.wav",
                                riff(cat({fmtChunk({.channels = 1}), wavChunk("data", leSamples(samples, 2))})));
    const auto png = scratch() / "impulse.png";
    const std::string command =
        std::string(ORX_IRINFO_PATH) + " '" + file.string() + "' --plot '" + png.string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Picture picture = readPng(png.string());
    ASSERT_EQ(picture.width, eLibrary::kIrPlotWidth);
    ASSERT_EQ(picture.height, eLibrary::kIrPlotHeight);
    EXPECT_EQ(picture.at(2, 2), (std::array<int, 3>{58, 52, 40})) << "the bezel";
    EXPECT_EQ(picture.at(20, picture.height / 2), (std::array<int, 3>{6, 6, 6})) << "the glass";

    // The response area spans x from 62 to 62 + 684 and ends 190 above the picture's bottom. Both curves (amber,
    // and the white of the taps drawn over it) are flat: in every column right of the legend, the lowest bright
    // pixel is on the same row.
    const int responseLeft = 8 + 14 + 40, responseWidth = picture.width - 16 - 80;
    const int responseBottom = picture.height - 190;
    std::vector<int> lowestBright;
    for (int x = 360; x < responseLeft + responseWidth - 20; x += 20) {
        int y = responseBottom - 4;
        while (y > 40 && !picture.bright(x, y))
            --y;
        lowestBright.push_back(y);
    }
    ASSERT_FALSE(lowestBright.empty());
    for (int y : lowestBright) {
        EXPECT_GT(y, 40) << "no curve in a column";
        EXPECT_NEAR(y, lowestBright.front(), 1) << "the response of an impulse is flat";
    }

    // The taps: the 110-pixel box 140 above the glass's bottom; the tallest amber column is the spike.
    const int waveTop = picture.height - 8 - 140, waveBottom = waveTop + 110;
    int tallest = 0, tallestX = -1;
    for (int x = responseLeft; x < responseLeft + responseWidth; ++x) {
        int count = 0;
        for (int y = waveTop + 2; y < waveBottom - 2; ++y)
            count += picture.amber(x, y);
        if (count > tallest) {
            tallest = count;
            tallestX = x;
        }
    }
    EXPECT_GT(tallest, 40) << "no spike";
    EXPECT_NEAR(tallestX, responseLeft + responseWidth * 100.0 / 2047.0, 2.0);
}

} // namespace
