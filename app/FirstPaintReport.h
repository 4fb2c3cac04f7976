// For the start-up benchmark: ORX_REPORT_FIRST_PAINT=1 prints "first-paint <ms since process start>" once the first
// window has been painted, and ORX_EXIT_AFTER_FIRST_PAINT=1 then ends the program. Header only, so the bare window
// the benchmark measures against reports the same way without linking the program.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <time.h>
#include <unistd.h>

namespace orx {

class FirstPaintReport final : public QObject {
public:
    using QObject::QObject;

    static bool envSet(const char* name)
    {
        const char* value = std::getenv(name);
        return value != nullptr && std::string(value) == "1";
    }
    static bool asked() { return envSet("ORX_REPORT_FIRST_PAINT"); }

    // From the kernel's start time of this process, so loading the libraries counts too (10 ms steps).
    static double millisecondsSinceProcessStart()
    {
        std::ifstream file("/proc/self/stat");
        const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 22 && fields >> field; ++i) {
        }
        timespec now{};
        clock_gettime(CLOCK_BOOTTIME, &now);
        const double started = std::stod(field) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
        return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6 - started;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
            QCoreApplication::instance()->removeEventFilter(this);
            // Queued: the window's children are painted in the same pass and belong to the first picture.
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::printf("first-paint %.1f\n", millisecondsSinceProcessStart());
                    std::fflush(stdout);
                    if (envSet("ORX_EXIT_AFTER_FIRST_PAINT"))
                        QCoreApplication::exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace orx
