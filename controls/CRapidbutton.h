// Image button that, while held and under the pointer, posts a repeat event to its target every 50 ms.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CCustomButton.h"

#include <QBasicTimer>
#include <QPointer>

#include <cstdint>
#include <functional>

class CRapidbutton : public CCustomButton {
    Q_OBJECT
public:
    static constexpr int kRepeatTimerId = 1;
    static constexpr int kRepeatIntervalMs = 50;
    static constexpr std::uint32_t kDefaultRepeatDelayMs = 500;

    // Milliseconds of a free-running tick count; it may wrap, the comparison is unsigned.
    using Clock = std::function<std::uint32_t()>;
    // The pointer's position in global (screen) coordinates.
    using PointerSource = std::function<QPoint()>;

    explicit CRapidbutton(QWidget* parent = nullptr);

    // Receives QEvent(type = message) while the button repeats; not owned, and forgotten when it is destroyed.
    void setRepeatTarget(QObject* target, int message);
    void setRepeatDelay(std::uint32_t ms) { m_repeatDelay = ms; }

    void startRepeat();
    void stopRepeat();
    // One tick of the repeat timer; the real timer calls it every kRepeatIntervalMs.
    void repeatTick();
    // kRepeatTimerId while repeating, 0 when idle.
    int repeatTimer() const { return m_repeatTimer; }

    void setClock(Clock clock);
    void setPointerSource(PointerSource source);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    int m_repeatTimer = 0;
    QPointer<QObject> m_repeatTarget;
    int m_repeatMessage = 0;
    std::uint32_t m_repeatDelay = kDefaultRepeatDelayMs;
    std::uint32_t m_pressTime = 0;
    QBasicTimer m_timer;
    Clock m_clock;
    PointerSource m_pointer;
};
