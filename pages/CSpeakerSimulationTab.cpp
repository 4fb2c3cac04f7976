// The speaker simulation page.
#include "CSpeakerSimulationTab.h"

#include <QPainter>

CSpeakerSimulationTab::CSpeakerSimulationTab(QWidget* parent) : CDevicePage(parent) {}

void CSpeakerSimulationTab::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), Qt::black);
}
