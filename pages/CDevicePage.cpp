// The page base: fixed size, channel and event bookkeeping.
#include "CDevicePage.h"

CDevicePage::CDevicePage(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kWidth, kHeight);
    // Pages paint their whole area themselves; nothing is erased under them.
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
}

void CDevicePage::setPageChannel(int modelCode, int ampCh)
{
    m_modelCode = modelCode;
    m_ampCh = ampCh;
}

void CDevicePage::onDeviceEvent(int event, int value)
{
    Q_EMIT deviceEventReceived(event, value);
}
