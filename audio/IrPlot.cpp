// The IR File Info picture's layout, in shapes any 2D library can draw.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace eLibrary {

namespace {

// The display glass of the speaker page: amber and white on black.
constexpr PlotColour kGlass{6, 6, 6};
constexpr PlotColour kGlassEdge{20, 18, 14};
constexpr PlotColour kBezel{58, 52, 40};
constexpr PlotColour kAmber{255, 176, 32};
constexpr PlotColour kDimAmber{150, 104, 24};
constexpr PlotColour kWhite{236, 236, 230};
constexpr PlotColour kGrid{48, 44, 36};
constexpr PlotColour kGridText{150, 140, 120};

constexpr double kRangeDb = 60.0;
constexpr double kGridHz[] = {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0};

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

std::string dbText(double db)
{
    if (!std::isfinite(db))
        return "-inf";
    // A share of 99.99 % is a hair below 0 dB; printed, that is "-0.0", which reads as a fault.
    return format("%.1f", std::fabs(db) < 0.05 ? 0.0 : db);
}

std::string numberText(double value)
{
    return format("%g", value);
}

double logPosition(double hz)
{
    return (std::log10(hz) - std::log10(20.0)) / (std::log10(20000.0) - std::log10(20.0));
}

class Shapes {
public:
    void rect(PlotPoint a, PlotPoint b, PlotColour fill)
    {
        add(PlotShape::Kind::FilledRect, {}, 1.0, {a, b}).fill = fill;
    }
    void roundedRect(PlotPoint a, PlotPoint b, double radius, PlotColour edge, double width, PlotColour fill)
    {
        PlotShape& s = add(PlotShape::Kind::RoundedRect, edge, width, {a, b});
        s.fill = fill;
        s.radius = radius;
    }
    void line(PlotPoint a, PlotPoint b, PlotColour colour) { add(PlotShape::Kind::Line, colour, 1.0, {a, b}); }
    void polyline(std::vector<PlotPoint> points, PlotColour colour, double width)
    {
        if (points.size() >= 2)
            add(PlotShape::Kind::Polyline, colour, width, std::move(points));
    }
    // Dashes of 4 and gaps of 2 line widths along the curve, carried on across its corners.
    void dashed(const std::vector<PlotPoint>& points, PlotColour colour, double width)
    {
        std::vector<PlotPoint> dashes;
        const double dash = 4 * width, gap = 2 * width;
        bool drawing = true;
        double left = dash; // of the current dash or gap
        for (std::size_t i = 1; i < points.size(); ++i) {
            PlotPoint from = points[i - 1];
            const PlotPoint to = points[i];
            double length = std::hypot(to.x - from.x, to.y - from.y);
            while (length > 0) {
                const double step = std::min(left, length);
                const double t = step / length;
                const PlotPoint end{from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t};
                if (drawing) {
                    dashes.push_back(from);
                    dashes.push_back(end);
                }
                from = end;
                length -= step;
                left -= step;
                if (left <= 0) {
                    drawing = !drawing;
                    left = drawing ? dash : gap;
                }
            }
        }
        if (!dashes.empty())
            add(PlotShape::Kind::Segments, colour, width, std::move(dashes));
    }
    void text(PlotPoint at, std::string text, PlotColour colour)
    {
        add(PlotShape::Kind::Text, colour, 1.0, {at}).text = std::move(text);
    }
    std::vector<PlotShape> take() { return std::move(m_shapes); }

private:
    PlotShape& add(PlotShape::Kind kind, PlotColour colour, double width, std::vector<PlotPoint> points)
    {
        PlotShape& s = m_shapes.emplace_back();
        s.kind = kind;
        s.colour = colour;
        s.width = width;
        s.points = std::move(points);
        return s;
    }

    std::vector<PlotShape> m_shapes;
};

struct Area {
    double left, top, width, height;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

std::vector<PlotPoint> responseCurve(const Area& area, const MagnitudeResponse& r, double top)
{
    std::vector<PlotPoint> points;
    points.reserve(r.frequencyHz.size());
    for (std::size_t i = 0; i < r.frequencyHz.size() && i < r.db.size(); ++i) {
        const double db = std::clamp(r.db[i], top - kRangeDb, top);
        points.push_back(
            {area.left + logPosition(r.frequencyHz[i]) * area.width, area.top + (top - db) / kRangeDb * area.height});
    }
    return points;
}

} // namespace

IrPlotData irPlotOf(std::span<const double> whole, std::vector<double> taps)
{
    IrPlotData data;
    data.processed = tapsDifferFromFile(whole, taps);
    data.whole = magnitudeResponse(whole);
    data.sent = magnitudeResponse(taps);
    if (data.processed)
        data.unprocessed = magnitudeResponse(whole.first(std::min(whole.size(), kTapCount)));
    data.taps = std::move(taps);
    return data;
}

std::vector<std::string> irFigureLines(const std::string& fileName, int channel, const IrAnalysis& whole,
                                       const IrMeasures& sent, bool processed, const std::string& processing,
                                       std::optional<double> processedShare)
{
    const IrMeasures& w = whole.whole;
    std::vector<std::string> lines;
    lines.push_back(fileName + (channel == 1 ? "  (R channel)" : ""));
    lines.push_back("File: " +
                    format("%.0f samples (%.1f ms), peak at %.1f ms, leading silence %.0f", double(w.length),
                           w.lengthMs, w.peakMs, double(w.leadingSilence)) +
                    format(" samples (%.1f ms)", w.leadingSilenceMs));
    std::string keep = "The 2048 taps keep " + format("%.1f %% of its energy (", whole.tapsEnergyPercent()) +
                       dbText(whole.tapsEnergyDb()) + " dB)";
    if (processedShare)
        keep += format(", processed %.1f %% (", 100.0 * *processedShare) +
                dbText(*processedShare > 0 ? 10.0 * std::log10(*processedShare)
                                           : -std::numeric_limits<double>::infinity()) +
                " dB)";
    lines.push_back(keep);
    lines.push_back("Taps sent: peak " + dbText(sent.peakDbfs) + " dBFS, RMS " + dbText(sent.rmsDbfs) + " dBFS" +
                    (processed ? "  (processed)" : ""));
    if (!processing.empty())
        lines.push_back("Loading: " + processing);
    return lines;
}

namespace {

std::size_t codePointLength(const std::string& text, std::size_t at)
{
    std::size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    return end - at;
}

PlotTextWidth measureOr(const PlotTextWidth& textWidth, double lineHeight)
{
    if (textWidth)
        return textWidth;
    return [lineHeight](const std::string& text) {
        double characters = 0;
        for (const char c : text)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        return characters * 0.6 * lineHeight;
    };
}

// Text keeps this far from the glass's edges, left and right.
constexpr double kTextInset = 14;
// Continuation lines of a figure line.
constexpr const char* kContinuation = "    ";

} // namespace

std::vector<std::string> wrapPlotText(const std::string& text, double width, const PlotTextWidth& textWidth,
                                      const std::string& indent)
{
    std::vector<std::string> lines;
    std::string rest = text;
    while (!rest.empty()) {
        const std::string prefix = lines.empty() ? std::string() : indent;
        if (textWidth(prefix + rest) <= width) {
            lines.push_back(prefix + rest);
            break;
        }
        // The longest run of whole words that fits; the spaces at the break belong to neither line.
        std::size_t cut = std::string::npos;
        for (std::size_t space = rest.find(' '); space != std::string::npos; space = rest.find(' ', space + 1)) {
            const std::size_t end = rest.find_last_not_of(' ', space);
            if (end == std::string::npos)
                continue;
            if (textWidth(prefix + rest.substr(0, end + 1)) > width)
                break;
            cut = end + 1;
        }
        if (cut == std::string::npos) {
            // One word wider than the line (a long file name): as many characters as fit, at least one.
            cut = codePointLength(rest, 0);
            for (std::size_t next = cut; next < rest.size(); next += codePointLength(rest, next)) {
                if (textWidth(prefix + rest.substr(0, next + codePointLength(rest, next))) > width)
                    break;
                cut = next + codePointLength(rest, next);
            }
        }
        lines.push_back(prefix + rest.substr(0, cut));
        const std::size_t next = rest.find_first_not_of(' ', cut);
        rest = next == std::string::npos ? std::string() : rest.substr(next);
    }
    return lines;
}

namespace {

Area frame(Shapes& s, double width, double height)
{
    s.rect({0, 0}, {width, height}, kBezel);
    const Area glass{8, 8, width - 16, height - 16};
    s.roundedRect({glass.left, glass.top}, {glass.right(), glass.bottom()}, 6, kGlassEdge, 2, kGlass);
    return glass;
}

} // namespace

std::vector<PlotShape> layoutIrPlotMessage(const std::string& message, double width, double height, double lineHeight,
                                           const PlotTextWidth& textWidth)
{
    Shapes s;
    const Area glass = frame(s, width, height);
    double y = glass.top + 10 + lineHeight;
    for (std::string& line :
         wrapPlotText(message, glass.width - 2 * kTextInset, measureOr(textWidth, lineHeight), kContinuation)) {
        s.text({glass.left + kTextInset, y}, std::move(line), kAmber);
        y += lineHeight;
    }
    return s.take();
}

std::vector<PlotShape> layoutIrPlot(const IrPlotData& data, double width, double height, double lineHeight,
                                    const PlotTextWidth& textWidth)
{
    Shapes s;
    const Area glass = frame(s, width, height);

    double y = glass.top + 10 + lineHeight;
    const double left = glass.left + kTextInset;
    const PlotTextWidth measure = measureOr(textWidth, lineHeight);
    for (std::size_t i = 0; i < data.lines.size(); ++i) {
        for (std::string& line : wrapPlotText(data.lines[i], glass.width - 2 * kTextInset, measure, kContinuation)) {
            s.text({left, y}, std::move(line), i == 0 ? kAmber : kWhite);
            y += lineHeight;
        }
    }

    // The legend on a line of its own, so that no curve runs through it.
    const double legend = y + 4;
    s.text({left + 48, legend}, "\u2014 whole file", kAmber);
    s.text({left + 170, legend}, "\u2014 2048 taps as sent", kWhite);
    if (data.processed)
        s.text({left + 350, legend}, "-- taps before processing", kDimAmber);
    y += lineHeight;

    // Magnitude response, 20 Hz to 20 kHz on a log scale, 60 dB from the highest 10 dB step either curve reaches.
    const Area response{left + 40, y + 8, glass.width - 80, glass.bottom() - y - 190};
    double top = -1e9;
    for (const auto* r : {&data.whole, &data.sent})
        for (const double db : r->db)
            top = std::max(top, db);
    top = std::ceil((std::isfinite(top) && top > -150 ? top : 0) / 10.0) * 10.0;
    for (const double hz : kGridHz) {
        const double x = response.left + logPosition(hz) * response.width;
        s.line({x, response.top}, {x, response.bottom()}, kGrid);
        s.text({x - 10, response.bottom() + lineHeight}, hz >= 1000 ? numberText(hz / 1000) + "k" : numberText(hz),
               kGridText);
    }
    for (double db = top; db >= top - kRangeDb; db -= 10) {
        const double yy = response.top + (top - db) / kRangeDb * response.height;
        s.line({response.left, yy}, {response.right(), yy}, kGrid);
        s.text({response.left - 38, yy + 4}, numberText(db), kGridText);
    }
    s.polyline(responseCurve(response, data.whole, top), kAmber, 1.6);
    if (data.processed)
        s.dashed(responseCurve(response, data.unprocessed, top), kDimAmber, 1.2);
    s.polyline(responseCurve(response, data.sent, top), kWhite, 1.4);
    s.text({response.right() - 30, response.top - 4}, "dB", kGridText);

    // The first 46 ms: the taps as sent, one point per tap.
    const Area wave{response.left, glass.bottom() - 140, response.width, 110};
    const double middle = wave.top + wave.height / 2;
    s.line({wave.left, wave.top}, {wave.right(), wave.top}, kGrid);
    s.line({wave.right(), wave.top}, {wave.right(), wave.bottom()}, kGrid);
    s.line({wave.right(), wave.bottom()}, {wave.left, wave.bottom()}, kGrid);
    s.line({wave.left, wave.bottom()}, {wave.left, wave.top}, kGrid);
    s.line({wave.left, middle}, {wave.right(), middle}, kGrid);
    double peak = 1.0;
    for (const double t : data.taps)
        peak = std::max(peak, std::abs(t));
    std::vector<PlotPoint> trace;
    trace.reserve(data.taps.size());
    const double last = data.taps.size() > 1 ? static_cast<double>(data.taps.size() - 1) : 1.0;
    for (std::size_t i = 0; i < data.taps.size(); ++i)
        trace.push_back({wave.left + wave.width * static_cast<double>(i) / last,
                         middle - data.taps[i] / peak * wave.height / 2 * 0.95});
    s.polyline(std::move(trace), kAmber, 1.0);
    s.text({wave.left, wave.bottom() + lineHeight}, "0 ms", kGridText);
    s.text({wave.right() - 60, wave.bottom() + lineHeight}, "46.4 ms", kGridText);
    s.text({wave.left + 4, wave.top + lineHeight}, "taps as sent", kGridText);
    return s.take();
}

} // namespace eLibrary
