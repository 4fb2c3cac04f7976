// ORX Tevo Utility: the application's entry.
#include "CMIDIManager.h"
#include "CORXUtilityApp.h"
#include "MidiOptions.h"
#include "SimulatorPorts.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ORX Tevo Utility"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows and changes the amplifier's effects and speaker simulation."));
    parser.addHelpOption();
    orx::addMidiOptions(parser);
    parser.process(application);
    // The system's MIDI ports, and the built-in simulated amplifier after them when ORX_SIMULATED_AMP asks.
    orx::CMIDIManager::setBackendFactory([] { return orx::sim::makeBackendFromEnvironment(); });
    orx::CORXUtilityApp::Options options;
    options.midi = orx::midiOptionsFrom(parser);
    if (const std::string problem = orx::midiOptionsProblem(options.midi); !problem.empty()) {
        std::fprintf(stderr, "orx-tevo-utility: %s\n", problem.c_str());
        return 1;
    }
    orx::CORXUtilityApp app(std::move(options));
    app.InitInstance();
    return app.ExitInstance();
}
