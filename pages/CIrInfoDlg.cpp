// The IR File Info dialog and its drawing.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CIrInfoDlg.h"

#include "CSpeakerSimulationTab.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orx {

namespace {

// The display glass of the speaker page: amber and white on black.
const QColor kGlass(6, 6, 6);
const QColor kBezel(58, 52, 40);
const QColor kAmber(255, 176, 32);
const QColor kDimAmber(150, 104, 24);
const QColor kWhite(236, 236, 230);
const QColor kGrid(48, 44, 36);
const QColor kGridText(150, 140, 120);

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

std::string dbText(double db)
{
    return std::isfinite(db) ? format("%.1f", db) : std::string("-inf");
}

double logPosition(double hz)
{
    return (std::log10(hz) - std::log10(20.0)) / (std::log10(20000.0) - std::log10(20.0));
}

void drawResponse(QPainter& p, const QRectF& area, const eLibrary::MagnitudeResponse& r, double top, double range,
                  const QPen& pen)
{
    if (r.frequencyHz.empty())
        return;
    QPainterPath path;
    for (std::size_t i = 0; i < r.frequencyHz.size(); ++i) {
        const double db = std::clamp(r.db[i], top - range, top);
        const QPointF point(area.left() + logPosition(r.frequencyHz[i]) * area.width(),
                            area.top() + (top - db) / range * area.height());
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

} // namespace

std::vector<std::string> insightLines(const IrInsight& insight)
{
    const auto& whole = insight.whole.whole;
    std::vector<std::string> lines;
    lines.push_back(insight.file.filename().string() + (insight.channel == 1 ? "  (R channel)" : ""));
    lines.push_back("File: " + format("%.0f samples (%.1f ms), peak at %.1f ms, leading silence %.0f", double(whole.length),
                                      whole.lengthMs, whole.peakMs, double(whole.leadingSilence)) +
                    format(" samples (%.1f ms)", whole.leadingSilenceMs));
    lines.push_back("The 2048 taps keep " + format("%.1f %% of its energy (", insight.whole.tapsEnergyPercent()) +
                    dbText(insight.whole.tapsEnergyDb()) + " dB)");
    lines.push_back("Taps sent: peak " + dbText(insight.sent.peakDbfs) + " dBFS, RMS " + dbText(insight.sent.rmsDbfs) +
                    " dBFS" + (insight.processed ? "  (processed)" : ""));
    if (!insight.processing.empty())
        lines.push_back("Loading: " + insight.processing);
    return lines;
}

IrInfoView::IrInfoView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(sizeHint());
}

void IrInfoView::setInsight(std::optional<IrInsight> insight)
{
    m_insight = std::move(insight);
    update();
}

void IrInfoView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), kBezel);
    const QRectF glass = QRectF(rect()).adjusted(8, 8, -8, -8);
    p.setPen(QPen(QColor(20, 18, 14), 2));
    p.setBrush(kGlass);
    p.drawRoundedRect(glass, 6, 6);

    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9.5);
    p.setFont(font);
    const double line = QFontMetricsF(font).height() + 2;
    double y = glass.top() + 10 + line;
    const double left = glass.left() + 14;
    if (!m_insight) {
        p.setPen(kAmber);
        p.drawText(QPointF(left, y), QStringLiteral("No file is being tried on this page."));
        return;
    }
    const auto lines = insightLines(*m_insight);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        p.setPen(i == 0 ? kAmber : kWhite);
        p.drawText(QPointF(left, y), QString::fromStdString(lines[i]));
        y += line;
    }

    // Magnitude response, 20 Hz to 20 kHz on a log scale.
    const QRectF response(left + 40, y + 8, glass.width() - 80, glass.bottom() - y - 190);
    double top = -1e9;
    for (const auto* r : {&m_insight->wholeResponse, &m_insight->sentResponse})
        for (const double db : r->db)
            top = std::max(top, db);
    top = std::ceil((std::isfinite(top) && top > -150 ? top : 0) / 10.0) * 10.0;
    const double range = 60.0;
    p.setPen(QPen(kGrid, 1));
    for (const double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        const double x = response.left() + logPosition(hz) * response.width();
        p.setPen(QPen(kGrid, 1));
        p.drawLine(QPointF(x, response.top()), QPointF(x, response.bottom()));
        p.setPen(kGridText);
        const QString label = hz >= 1000 ? QStringLiteral("%1k").arg(hz / 1000) : QString::number(hz);
        p.drawText(QPointF(x - 10, response.bottom() + line), label);
    }
    for (double db = top; db >= top - range; db -= 10) {
        const double yy = response.top() + (top - db) / range * response.height();
        p.setPen(QPen(kGrid, 1));
        p.drawLine(QPointF(response.left(), yy), QPointF(response.right(), yy));
        p.setPen(kGridText);
        p.drawText(QPointF(response.left() - 38, yy + 4), QString::number(db));
    }
    drawResponse(p, response, m_insight->wholeResponse, top, range, QPen(kAmber, 1.6));
    if (m_insight->processed)
        drawResponse(p, response, m_insight->unprocessedResponse, top, range, QPen(kDimAmber, 1.2, Qt::DashLine));
    drawResponse(p, response, m_insight->sentResponse, top, range, QPen(kWhite, 1.4));
    p.setPen(kAmber);
    p.drawText(QPointF(response.left() + 8, response.top() + line), QStringLiteral("— whole file"));
    p.setPen(kWhite);
    p.drawText(QPointF(response.left() + 130, response.top() + line), QStringLiteral("— 2048 taps as sent"));
    if (m_insight->processed) {
        p.setPen(kDimAmber);
        p.drawText(QPointF(response.left() + 310, response.top() + line), QStringLiteral("-- taps before processing"));
    }
    p.setPen(kGridText);
    p.drawText(QPointF(response.right() - 30, response.top() - 4), QStringLiteral("dB"));

    // The first 46 ms: the taps as sent.
    const QRectF wave(response.left(), glass.bottom() - 140, response.width(), 110);
    p.setPen(QPen(kGrid, 1));
    p.drawRect(wave);
    p.drawLine(QPointF(wave.left(), wave.center().y()), QPointF(wave.right(), wave.center().y()));
    double peak = 1.0;
    for (const double t : m_insight->sentTaps)
        peak = std::max(peak, std::abs(t));
    QPainterPath trace;
    const auto& taps = m_insight->sentTaps;
    for (std::size_t i = 0; i < taps.size(); ++i) {
        const QPointF point(wave.left() + wave.width() * static_cast<double>(i) / static_cast<double>(taps.size() - 1),
                            wave.center().y() - taps[i] / peak * wave.height() / 2 * 0.95);
        if (i == 0)
            trace.moveTo(point);
        else
            trace.lineTo(point);
    }
    p.setPen(QPen(kAmber, 1));
    p.drawPath(trace);
    p.setPen(kGridText);
    p.drawText(QPointF(wave.left(), wave.bottom() + line), QStringLiteral("0 ms"));
    p.drawText(QPointF(wave.right() - 60, wave.bottom() + line), QStringLiteral("46.4 ms"));
    p.drawText(QPointF(wave.left() + 4, wave.top() + line), QStringLiteral("taps as sent"));
}

} // namespace orx

CIrInfoDlg::CIrInfoDlg(CSpeakerSimulationTab* page, QWidget* parent) : QDialog(parent), m_page(page)
{
    setWindowTitle(QStringLiteral("IR File Info"));
    m_view = new orx::IrInfoView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (page)
        connect(page, &CSpeakerSimulationTab::fileTriedChanged, this, &CIrInfoDlg::refresh);
    refresh();
}

void CIrInfoDlg::refresh()
{
    const auto tried = m_page ? m_page->triedFile() : std::nullopt;
    if (!tried) {
        m_view->setInsight(std::nullopt);
        return;
    }
    m_view->setInsight(orx::inspectTriedIr(tried->path, tried->channel, tried->record.coefficients, tried->processing));
}
