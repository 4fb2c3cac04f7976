// The yardstick for the start-up benchmark: a bare Qt window, reporting its first paint as the program does.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "FirstPaintReport.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <string>

// With --text the window shows a line of text too, so the font system's start is part of the yardstick.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    orx::FirstPaintReport firstPaint;
    application.installEventFilter(&firstPaint);
    QWidget window;
    window.resize(960, 700); // the program's window size
    if (argc > 1 && std::string(argv[1]) == "--text")
        (new QLabel(QStringLiteral("ORX Tevo Utility"), &window))->move(8, 8);
    window.show();
    return QApplication::exec();
}
