// The IR File Info dialog: what the amplifier will hear of the file tried on a speaker page, in figures and
// plots drawn like the page's display glass; it follows the page when another file is tried there.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IrFileLoading.h"
#include "IrPlot.h"

#include <QDialog>
#include <QFont>
#include <QPointer>

#include <optional>

class CSpeakerSimulationTab;
class QLabel;

namespace orx {

// The figures and the two plots (magnitude response, the first 46 ms of the taps) of one insight.
class IrInfoView final : public QWidget {
public:
    explicit IrInfoView(QWidget* parent = nullptr);
    void setInsight(std::optional<IrInsight> insight);
    const std::optional<IrInsight>& insight() const { return m_insight; }
    QSize sizeHint() const override { return {eLibrary::kIrPlotWidth, eLibrary::kIrPlotHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<IrInsight> m_insight;
};

// The font of the view's text.
QFont irInfoFont();
// What the view draws for `insight` (none: the message that no file is tried) on `device`, at its size.
std::vector<eLibrary::PlotShape> irInfoShapes(const IrInsight* insight, QPaintDevice* device, double width,
                                              double height);

// The figures as the dialog writes them, one line each (UTF-8); also what orx-irinfo says.
std::vector<std::string> insightLines(const IrInsight& insight);

} // namespace orx

class CIrInfoDlg final : public QDialog {
    Q_OBJECT
public:
    CIrInfoDlg(CSpeakerSimulationTab* page, QWidget* parent = nullptr);
    // Reads the page's tried file again.
    void refresh();
    CSpeakerSimulationTab* page() const { return m_page; }
    const orx::IrInfoView* view() const { return m_view; }

private:
    QPointer<CSpeakerSimulationTab> m_page;
    orx::IrInfoView* m_view = nullptr;
};
