// ORX Tevo Utility: the application's entry.
#include "CMIDIManager.h"
#include "CORXUtilityApp.h"
#include "SimulatorPorts.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ORX Tevo Utility"));
    // The system's MIDI ports, and the built-in simulated amplifier after them when ORX_SIMULATED_AMP asks.
    orx::CMIDIManager::setBackendFactory([] { return orx::sim::makeBackendFromEnvironment(); });
    orx::CORXUtilityApp app;
    app.InitInstance();
    return app.ExitInstance();
}
