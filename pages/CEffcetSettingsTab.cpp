// The effect settings page.
#include "CEffcetSettingsTab.h"

#include <QPainter>

CEffcetSettingsTab::CEffcetSettingsTab(QWidget* parent) : CDevicePage(parent) {}

void CEffcetSettingsTab::paintEvent(QPaintEvent*)
{
    // Until the page's picture is drawn, its area is the amplifier's black.
    QPainter(this).fillRect(rect(), Qt::black);
}
