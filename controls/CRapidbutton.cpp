// Image button that, while held and under the pointer, posts a repeat event to its target every 50 ms.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CRapidbutton.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimerEvent>

namespace {

std::uint32_t systemTickCount()
{
    static QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return static_cast<std::uint32_t>(started.elapsed());
}

} // namespace

CRapidbutton::CRapidbutton(QWidget* parent)
    : CCustomButton(parent), m_clock(systemTickCount), m_pointer([] { return QCursor::pos(); })
{
}

void CRapidbutton::setRepeatTarget(QObject* target, int message)
{
    m_repeatTarget = target;
    m_repeatMessage = message;
}

void CRapidbutton::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(systemTickCount);
}

void CRapidbutton::setPointerSource(PointerSource source)
{
    m_pointer = source ? std::move(source) : PointerSource([] { return QCursor::pos(); });
}

void CRapidbutton::startRepeat()
{
    if (m_repeatTimer != 0)
        return;
    m_pressTime = m_clock();
    m_timer.start(kRepeatIntervalMs, this);
    m_repeatTimer = kRepeatTimerId;
}

void CRapidbutton::stopRepeat()
{
    if (m_repeatTimer == 0)
        return;
    m_timer.stop();
    m_repeatTimer = 0;
}

void CRapidbutton::repeatTick()
{
    if (m_repeatTimer == 0)
        return;
    const std::uint32_t due = m_pressTime + m_repeatDelay;
    if (!(m_clock() > due))
        return;
    // Held but dragged off the button: the repeat pauses and picks up again when the pointer returns.
    if (!rect().contains(mapFromGlobal(m_pointer())))
        return;
    if (m_repeatTarget.isNull())
        return;
    QCoreApplication::postEvent(m_repeatTarget, new QEvent(static_cast<QEvent::Type>(m_repeatMessage)));
}

void CRapidbutton::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        repeatTick();
    CCustomButton::timerEvent(event);
}
