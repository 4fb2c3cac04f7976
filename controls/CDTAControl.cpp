// Base of the drawn value controls: a clamped value, its reporting identifier and listener, placement and image.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDTAControl.h"

#include <QMouseEvent>

#include <algorithm>

CDTAControl::CDTAControl(QWidget* parent) : QWidget(parent) {}

void CDTAControl::setValue(int v)
{
    m_value = v <= m_minimum ? m_minimum : std::min(v, m_maximum);
}

void CDTAControl::report(int value)
{
    if (m_listener != nullptr)
        m_listener->onValueChanged(m_controlId, value);
}

void CDTAControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        capture();
    event->accept();
}

void CDTAControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        releaseCapture();
    event->accept();
}

void CDTAControl::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}
