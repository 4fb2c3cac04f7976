// ORX Tevo Utility: the application's entry.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "CORXUtilityApp.h"
#include "FirstPaintReport.h"
#include "MidiOptions.h"
#include "ProgramInfo.h"
#include "SimulatorPorts.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

void describeOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral("Shows and changes the amplifier's effects and speaker simulation."));
    orx::addMidiOptions(parser);
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before any window system is needed, so they work over ssh and in a package build.
    if (orx::asksForVersion(argc, argv)) {
        std::fputs(orx::versionText("orx-tevo-utility").c_str(), stdout);
        return 0;
    }
    if (orx::asksForHelp(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCommandLineParser parser;
        describeOptions(parser);
        parser.process(core); // prints the help and exits
        return 0;
    }
    QApplication application(argc, argv);
    orx::FirstPaintReport firstPaint;
    if (orx::FirstPaintReport::asked())
        application.installEventFilter(&firstPaint);
    QApplication::setApplicationName(QStringLiteral("ORX Tevo Utility"));
    QApplication::setApplicationVersion(QString::fromLatin1(orx::programVersion()));
    // The desktop matches the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(orx::kAppId));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(application);
    orx::CORXUtilityApp::Options options;
    options.midi = orx::midiOptionsFrom(parser);
    if (const std::string problem = orx::midiOptionsProblem(options.midi); !problem.empty()) {
        std::fprintf(stderr, "orx-tevo-utility: %s\n", problem.c_str());
        return 1;
    }
    orx::applySimulateOption(options.midi);
    // The system's MIDI ports, and the built-in simulated amplifier after them when ORX_SIMULATED_AMP asks.
    orx::CMIDIManager::setBackendFactory([] { return orx::sim::makeBackendFromEnvironment(); });
    orx::CORXUtilityApp app(std::move(options));
    app.InitInstance();
    return app.ExitInstance();
}
