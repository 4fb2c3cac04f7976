// The IR File Info picture as a list of shapes and texts, so that the dialog (Qt) and orx-irinfo --plot (cairo)
// draw one and the same layout: the figures, the magnitude response of the whole file and of the taps sent
// (20 Hz to 20 kHz, log frequency, dB) and the 46 ms of taps, in the colours of the display glass.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IrAnalysis.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace eLibrary {

struct PlotColour {
    std::uint8_t r, g, b;
    bool operator==(const PlotColour&) const = default;
};

struct PlotPoint {
    double x, y;
};

// Coordinates in pixels from the top left; a text's point is the left end of its baseline.
struct PlotShape {
    enum class Kind { FilledRect, RoundedRect, Line, Polyline, Segments, Text };
    Kind kind = Kind::Line;
    PlotColour colour{}; // the stroke, or the text's colour
    PlotColour fill{};   // FilledRect and RoundedRect
    double width = 1.0;  // of the stroke
    double radius = 0.0; // RoundedRect
    // Line: 2; Polyline: any; Segments: pairs, each a line of its own (a dashed curve comes as its dashes);
    // rectangles: top left and bottom right; Text: 1.
    std::vector<PlotPoint> points;
    std::string text;
};

// What the picture shows. The lines are the figures, the first one the file's name.
struct IrPlotData {
    std::vector<std::string> lines;
    MagnitudeResponse whole;       // the whole file
    MagnitudeResponse sent;        // the 2048 taps as sent
    MagnitudeResponse unprocessed; // the file's first 2048 samples, when the taps sent were processed
    bool processed = false;
    std::vector<double> taps; // the taps as sent
};

// The responses and taps of the picture of a file's whole response (after the conversion) and the taps sent;
// the figure lines are the caller's to add.
IrPlotData irPlotOf(std::span<const double> whole, std::vector<double> taps);

// The figure lines of a file: its name, the whole file's figures, what the taps keep and their level, and
// `processing` (what the loading did) when there is any.
// `processedShare`, when given, is the part of the file's energy the processed taps hold.
std::vector<std::string> irFigureLines(const std::string& fileName, int channel, const IrAnalysis& whole,
                                       const IrMeasures& sent, bool processed, const std::string& processing,
                                       std::optional<double> processedShare = std::nullopt);

// How wide a text (UTF-8) is drawn, in the layout's pixels: the painter's own font measure, so that what it draws
// is what was wrapped. None: a conservative guess of 0.6 line heights per character.
using PlotTextWidth = std::function<double(const std::string& text)>;

// `text` cut into lines no wider than `width`: at spaces, and inside a word only where one word alone is wider;
// every line but the first begins with `indent`. A character is never split.
std::vector<std::string> wrapPlotText(const std::string& text, double width, const PlotTextWidth& textWidth,
                                      const std::string& indent);

// The picture of `data` at `width` x `height` pixels for text whose lines are `lineHeight` apart. Figure lines too
// wide for the glass go on over more lines, indented.
std::vector<PlotShape> layoutIrPlot(const IrPlotData& data, double width, double height, double lineHeight,
                                    const PlotTextWidth& textWidth = {});

// The same frame with the message in it (wrapped alike) instead of the figures and plots.
std::vector<PlotShape> layoutIrPlotMessage(const std::string& message, double width, double height, double lineHeight,
                                           const PlotTextWidth& textWidth = {});

// The picture's natural size: the dialog's view and the PNG of orx-irinfo.
inline constexpr int kIrPlotWidth = 780;
inline constexpr int kIrPlotHeight = 600;

} // namespace eLibrary
