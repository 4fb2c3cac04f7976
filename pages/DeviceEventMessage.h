// A device event carried from the session's threads to a window on the user-interface thread.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QEvent>

#include <cstdint>

// Each window that follows the device events has its own event type (QEvent::User + offset).
template <int Offset> class DeviceEventMessageOf final : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + Offset);
    DeviceEventMessageOf(int event, int value) : QEvent(kType), event(event), value(value) {}
    const int event;
    const int value;

    // The session's callback for a window: only posts, whatever thread raised the event; nothing without one.
    static void post(QObject* window, std::int32_t event, std::int32_t value)
    {
        if (window)
            QCoreApplication::postEvent(window, new DeviceEventMessageOf(event, value));
    }
    // The message when `e` is one, else null.
    static const DeviceEventMessageOf* from(const QEvent* e)
    {
        return e->type() == kType ? static_cast<const DeviceEventMessageOf*>(e) : nullptr;
    }
};

using DeviceEventMessage = DeviceEventMessageOf<100>;     // the main window
using PropertiesEventMessage = DeviceEventMessageOf<101>; // the Properties dialog
using MidiPortsEventMessage = DeviceEventMessageOf<102>;  // the MIDI Ports dialog
