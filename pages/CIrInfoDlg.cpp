// The IR File Info dialog and its drawing.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CIrInfoDlg.h"

#include "CSpeakerSimulationTab.h"
#include "IrPlot.h"

#include <QFontDatabase>
#include <QLineF>
#include <QPainter>
#include <QVBoxLayout>

#include <vector>

namespace orx {

namespace {

QColor colourOf(eLibrary::PlotColour c)
{
    return QColor(c.r, c.g, c.b);
}

QPointF pointOf(eLibrary::PlotPoint p)
{
    return {p.x, p.y};
}

void draw(QPainter& p, const std::vector<eLibrary::PlotShape>& shapes)
{
    using Kind = eLibrary::PlotShape::Kind;
    std::vector<QLineF> lines;
    for (const eLibrary::PlotShape& shape : shapes) {
        switch (shape.kind) {
        case Kind::FilledRect:
            p.fillRect(QRectF(pointOf(shape.points[0]), pointOf(shape.points[1])), colourOf(shape.fill));
            break;
        case Kind::RoundedRect:
            p.setPen(QPen(colourOf(shape.colour), shape.width));
            p.setBrush(colourOf(shape.fill));
            p.drawRoundedRect(QRectF(pointOf(shape.points[0]), pointOf(shape.points[1])), shape.radius,
                              shape.radius);
            break;
        case Kind::Line:
            p.setPen(QPen(colourOf(shape.colour), shape.width));
            p.drawLine(pointOf(shape.points[0]), pointOf(shape.points[1]));
            break;
        case Kind::Polyline:
        case Kind::Segments:
            // As separate lines: Qt strokes a wide pen along a jagged curve of many corners as one outline, tens
            // of times slower than its lines one by one, which look the same at these widths.
            lines.clear();
            if (shape.kind == Kind::Polyline) {
                for (std::size_t i = 1; i < shape.points.size(); ++i)
                    lines.emplace_back(pointOf(shape.points[i - 1]), pointOf(shape.points[i]));
            } else {
                for (std::size_t i = 1; i < shape.points.size(); i += 2)
                    lines.emplace_back(pointOf(shape.points[i - 1]), pointOf(shape.points[i]));
            }
            p.setPen(QPen(colourOf(shape.colour), shape.width));
            p.drawLines(lines.data(), static_cast<int>(lines.size()));
            break;
        case Kind::Text:
            p.setPen(colourOf(shape.colour));
            p.drawText(pointOf(shape.points[0]), QString::fromStdString(shape.text));
            break;
        }
    }
}

} // namespace

std::vector<std::string> insightLines(const IrInsight& insight)
{
    return insight.plot.lines;
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

QFont irInfoFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9.5);
    return font;
}

std::vector<eLibrary::PlotShape> irInfoShapes(const IrInsight* insight, QPaintDevice* device, double width,
                                              double height)
{
    // Measured on the device painted, at its own pixel ratio, so that a wrapped line fits as it is drawn there.
    const QFontMetricsF metrics(irInfoFont(), device);
    const double line = metrics.height() + 2;
    const eLibrary::PlotTextWidth textWidth = [&metrics](const std::string& text) {
        return metrics.horizontalAdvance(QString::fromStdString(text));
    };
    if (!insight)
        return eLibrary::layoutIrPlotMessage("No file is being tried on this page.", width, height, line, textWidth);
    return eLibrary::layoutIrPlot(insight->plot, width, height, line, textWidth);
}

void IrInfoView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(irInfoFont());
    draw(p, irInfoShapes(m_insight ? &*m_insight : nullptr, this, width(), height()));
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
    m_view->setInsight(orx::inspectTriedIr(tried->path, tried->channel, tried->record.coefficients, tried->processing,
                                           tried->processedShare));
}
