// IR File Info keeps every text inside its glass at 1x and 2x for the longest figures the program writes, measured
// with the dialog's own font on the device drawn, and loses no word on the way.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CIrInfoDlg.h"
#include "CSpeakerSimulationTab.h"

#include <QFontMetricsF>
#include <QImage>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orx {
namespace {

// The text without its spaces: what wrapping must neither drop nor add to.
std::string withoutSpaces(const std::string& text)
{
    std::string out;
    for (const char c : text)
        if (c != ' ')
            out += c;
    return out;
}

IrInsight longestInsight(const std::string& fileName)
{
    IrInsight insight;
    eLibrary::IrAnalysis whole;
    // A ten-minute file at 384 kHz comes to 26 million samples once converted; more digits still than that.
    whole.whole.length = 123456789;
    whole.whole.lengthMs = 2799473.6;
    whole.whole.peakMs = 2799473.6;
    whole.whole.leadingSilence = 123456788;
    whole.whole.leadingSilenceMs = 2799473.6;
    whole.tapsEnergyShare = 0.000123;
    eLibrary::IrMeasures sent;
    sent.peakDbfs = -100.5;
    sent.rmsDbfs = -120.5;
    // Every conversion and every step of processing at once, with the clipping note.
    const std::string processing =
        "sample rate 22254.54545 Hz, 64-bit float samples, 24 valid bits in 32, WAV with the extensible header; "
        "trimmed 123456788 samples of leading silence, minimum phase, faded out, loudness matched; scaled 123.4 dB "
        "below the matched level so that no tap clips";
    insight.plot.lines = eLibrary::irFigureLines(fileName, 1, whole, sent, true, processing, 0.000456);
    insight.plot.processed = true;
    insight.plot.taps.assign(2048, 0.0);
    return insight;
}

TEST(IrInfoText, EveryLineFitsTheGlassAtOneAndTwoTimesAndNoWordIsLost)
{
    const std::string names[] = {
        // 63 characters and more, with letters of two and three bytes, spaced and not.
        "Überschall Kabinett Ödön Åström Ærøskøbing 4x12 Greenback Kondensator Mikrofon Ø57 €.wav",
        "Überschallkabinett-Ödön-Åström-Ærøskøbing-4x12-Greenback-Kondensator-Mikrofon-Ø57-€-€-€.wav",
        "\u97f3\u97ff\u30ad\u30e3\u30d3\u30cd\u30c3\u30c8\u97f3\u97ff\u30ad\u30e3\u30d3\u30cd\u30c3\u30c8\u97f3\u97ff"
        "\u30ad\u30e3\u30d3\u30cd\u30c3\u30c8\u97f3\u97ff\u30ad\u30e3\u30d3\u30cd\u30c3\u30c8\u97f3\u97ff\u30ad\u30e3"
        "\u30d3\u30cd\u30c3\u30c8\u97f3\u97ff\u30ad\u30e3\u30d3\u30cd\u30c3\u30c8\u97f3\u97ff\u30ad\u30e3\u30d3\u30cd"
        "\u30c3\u30c8\u97f3\u97ff\u30ad\u30e3\u30d3\u30cd\u30c3\u30c8.wav",
    };
    constexpr double kWidth = eLibrary::kIrPlotWidth, kHeight = eLibrary::kIrPlotHeight;
    constexpr double kGlassRight = kWidth - 8; // the bezel's 8 pixels are not the glass
    for (const double ratio : {1.0, 2.0}) {
        QImage device(static_cast<int>(kWidth * ratio), static_cast<int>(kHeight * ratio), QImage::Format_RGB32);
        device.setDevicePixelRatio(ratio);
        const QFontMetricsF metrics(irInfoFont(), &device);
        for (const std::string& name : names) {
            const IrInsight insight = longestInsight(name);
            std::string drawn;
            for (const eLibrary::PlotShape& s : irInfoShapes(&insight, &device, kWidth, kHeight)) {
                if (s.kind != eLibrary::PlotShape::Kind::Text)
                    continue;
                const double right = s.points[0].x + metrics.horizontalAdvance(QString::fromStdString(s.text));
                EXPECT_LE(right, kGlassRight) << "at " << ratio << "x: " << s.text;
                EXPECT_LE(s.points[0].y, kHeight) << s.text;
                drawn += s.text;
            }
            std::string figures;
            for (const std::string& line : insight.plot.lines)
                figures += line;
            EXPECT_NE(withoutSpaces(drawn).find(withoutSpaces(figures)), std::string::npos)
                << "at " << ratio << "x, every figure is drawn, in order";
        }
    }
}

} // namespace
} // namespace orx
