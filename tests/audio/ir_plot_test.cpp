// The IR File Info layout against its geometry worked out by hand: where a response of known level lies, what
// the clamp does, and the dashes of the unprocessed curve.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrPlot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using eLibrary::PlotShape;

std::vector<const PlotShape*> shapesOf(const std::vector<PlotShape>& shapes, PlotShape::Kind kind)
{
    std::vector<const PlotShape*> found;
    for (const PlotShape& s : shapes)
        if (s.kind == kind)
            found.push_back(&s);
    return found;
}

eLibrary::MagnitudeResponse flat(double db)
{
    eLibrary::MagnitudeResponse r;
    for (int i = 0; i < 256; ++i) {
        r.frequencyHz.push_back(20.0 * std::pow(1000.0, i / 255.0));
        r.db.push_back(db);
    }
    return r;
}

// 600 high with 10-pixel lines, four figure lines and the legend's: the text ends at 8 + 10 + 6 x 10 = 78, so
// the response area runs from 86 to 600 - 8 - 182 = 410, and from x = 62 over 780 - 16 - 80 = 684 pixels.
TEST(IrPlotLayout, ResponsesLieWhereTheirLevelSaysAndTheCurveBeforeProcessingIsDashed)
{
    eLibrary::IrPlotData data;
    data.lines = {"a.wav", "File", "Keep", "Taps"};
    data.whole = flat(-3.0); // the top step is then 0 dB
    data.sent = flat(-90.0); // below the 60 dB shown: on the bottom line
    data.unprocessed = flat(-30.0);
    data.processed = true;
    data.taps.assign(2048, 0.0);
    const auto shapes = eLibrary::layoutIrPlot(data, 780, 600, 10);
    const auto curves = shapesOf(shapes, PlotShape::Kind::Polyline);
    ASSERT_EQ(curves.size(), 3u); // whole, sent, taps
    const double top = 86, bottom = 410, left = 62, width = 684;
    const auto& whole = curves[0]->points;
    ASSERT_EQ(whole.size(), 256u);
    EXPECT_NEAR(whole.front().x, left, 1e-9);
    EXPECT_NEAR(whole.back().x, left + width, 1e-9);
    EXPECT_NEAR(whole[128].x, left + width * 128.0 / 255.0, 1e-9) << "log frequency: even steps";
    for (const auto& p : whole)
        EXPECT_NEAR(p.y, top + 3.0 / 60.0 * (bottom - top), 1e-9);
    for (const auto& p : curves[1]->points)
        EXPECT_NEAR(p.y, bottom, 1e-9) << "clamped to the 60 dB shown";

    // Dashes of 4.8 and gaps of 2.4 (the 1.2 line's 4 and 2 widths) along the -30 dB line, 684 long: 95 whole
    // periods of 7.2 (684) and nothing left, so 95 dashes of 4.8 in all.
    const auto dashed = shapesOf(shapes, PlotShape::Kind::Segments);
    ASSERT_EQ(dashed.size(), 1u);
    double drawn = 0;
    for (std::size_t i = 1; i < dashed[0]->points.size(); i += 2) {
        const auto& a = dashed[0]->points[i - 1];
        const auto& b = dashed[0]->points[i];
        EXPECT_NEAR(a.y, (top + bottom) / 2, 1e-9);
        EXPECT_LE(b.x - a.x, 4.8 + 1e-9);
        drawn += b.x - a.x;
    }
    EXPECT_NEAR(drawn, 95 * 4.8, 1e-6);

    data.processed = false;
    EXPECT_TRUE(shapesOf(eLibrary::layoutIrPlot(data, 780, 600, 10), PlotShape::Kind::Segments).empty())
        << "no curve before processing when nothing was processed";
}

// The figures say what the processing won when the taps were processed, and only then.
TEST(IrPlotLayout, TheKeepLineAddsTheProcessedShare)
{
    eLibrary::IrAnalysis whole;
    whole.tapsEnergyShare = 0.176;
    const eLibrary::IrMeasures sent;
    const auto plain = eLibrary::irFigureLines("a.wav", 0, whole, sent, false, "");
    EXPECT_EQ(plain[2], "The 2048 taps keep 17.6 % of its energy (-7.5 dB)");
    const auto processed = eLibrary::irFigureLines("a.wav", 0, whole, sent, true, "minimum phase", 0.5);
    EXPECT_EQ(processed[2], "The 2048 taps keep 17.6 % of its energy (-7.5 dB), processed 50.0 % (-3.0 dB)");
    EXPECT_EQ(processed.back(), "Loading: minimum phase");
    whole.tapsEnergyShare = 0.9999; // 10 log10(0.9999) = -0.0004 dB
    EXPECT_EQ(eLibrary::irFigureLines("a.wav", 0, whole, sent, true, "", 1.0)[2],
              "The 2048 taps keep 100.0 % of its energy (0.0 dB), processed 100.0 % (0.0 dB)");
}

// Wrapping against a measure of one pixel per character: where each case must break follows by counting.
TEST(IrPlotLayout, LongTextWrapsAtSpacesAndCutsOnlyAWordTooLongBetweenCharacters)
{
    const eLibrary::PlotTextWidth perCharacter = [](const std::string& text) {
        double n = 0;
        for (const char c : text)
            n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        return n;
    };
    struct Case {
        const char* text;
        double width;
        std::vector<std::string> lines;
    } cases[] = {
        {"abc def", 7, {"abc def"}},
        {"aaa bbb ccc", 7, {"aaa bbb", "  ccc"}},
        {"aaa bbb ccc dd", 7, {"aaa bbb", "  ccc", "  dd"}}, // the indent counts: "  ccc dd" is 8
        {"aa  bb", 4, {"aa", "  bb"}},                       // the spaces at a break go
        {"\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6 x", 4, {"\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4", "  \xC3\xB6", "  x"}},
        {"\xC3\x84" "b", 0, {"\xC3\x84", "  b"}}, // nothing fits: still one character a line
    };
    for (const auto& c : cases)
        EXPECT_EQ(eLibrary::wrapPlotText(c.text, c.width, perCharacter, "  "), c.lines) << c.text;
}

} // namespace
