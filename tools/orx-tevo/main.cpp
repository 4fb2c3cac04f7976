// orx-tevo: the amplifier from the command line. Lists the MIDI ports, asks every port for the amplifier, and
// connects as the program does to print what the amplifier holds.
#include "AmpBackup.h"
#include "AppFolders.h"
#include "AppSettings.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "ErrorTexts.h"
#include "MidiOptions.h"
#include "PortProbe.h"
#include "SimulatorPorts.h"
#include "SpeakerSimulationLogic.h"
#include "StringTable.h"
#include "backends/RtMidiBackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orx;

constexpr int kDefaultTimeoutMs = 6000;

void printPorts(const char* title, const std::vector<std::string>& names)
{
    std::printf("%s:\n", title);
    if (names.empty())
        std::printf("  (none)\n");
    for (std::size_t i = 0; i < names.size(); ++i)
        std::printf("  %zu: %s\n", i, names[i].c_str());
}

int modelNumber(std::uint8_t modelCode)
{
    return modelCode - '0';
}

int runPorts()
{
    CMIDIManager midi(CMIDIManager::makeBackend());
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    midi.getInDeviceNames(inputs);
    midi.getOutDeviceNames(outputs);
    std::printf("MIDI system: %s\n", currentMidiApi().c_str());
    if (const std::string problem = midi.systemProblem(); !problem.empty())
        std::printf("The MIDI system cannot be used: %s\n", problem.c_str());
    printPorts("Inputs", inputs);
    printPorts("Outputs", outputs);
    return 0;
}

int runProbe(std::chrono::milliseconds listen)
{
    ProbeOptions options;
    options.listen = listen;
    const ProbeResult result = probeForAmp(options);
    std::printf("MIDI system: %s\n", currentMidiApi().c_str());
    if (!result.problem.empty())
        std::printf("The MIDI system cannot be used: %s\n", result.problem.c_str());
    std::printf("Asked %zu output port(s), listened on %zu input port(s).\n", result.outputs.size(),
                result.inputs.size());
    if (result.answers.empty()) {
        std::printf("No amplifier answered.\n");
        return 1;
    }
    for (const ProbeAnswer& a : result.answers)
        std::printf("Amplifier, model %d: input \"%s\", output \"%s\"\n", modelNumber(a.modelCode),
                    a.inputPort.c_str(), a.outputPort.c_str());
    return 0;
}

// What the session reports, handed from its threads to the one that waits.
class EventQueue {
public:
    static void callback(std::int32_t event, std::int32_t value, void* context)
    {
        auto* self = static_cast<EventQueue*>(context);
        {
            std::lock_guard lock(self->m_lock);
            self->m_events.emplace_back(event, value);
        }
        self->m_wake.notify_all();
    }

    std::optional<std::pair<int, int>> next(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_lock);
        if (!m_wake.wait_until(lock, deadline, [this] { return !m_events.empty(); }))
            return std::nullopt;
        auto event = m_events.front();
        m_events.pop_front();
        return event;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::pair<int, int>> m_events;
};

const char* boosterName(int value)
{
    static std::string names[3];
    if (value < 0 || value > 2)
        return "?";
    names[value] = loadString(406 + value);
    return names[value].c_str();
}

const char* reverbName(int value)
{
    static std::string names[4];
    if (value < 0 || value > 3)
        return "?";
    names[value] = loadString(409 + value);
    return names[value].c_str();
}

void printState(CORXManager& session, CMIDIManager& midi)
{
    const int model = modelNumber(session.getModelCode());
    std::printf("Connected: input \"%s\", output \"%s\"\n", midi.inputPortName().c_str(),
                midi.outputPortName().c_str());
    std::printf("Model: %d\n", model);
    std::printf("Firmware (updater value): %u\n", static_cast<unsigned>(session.getUpdaterValue()));
    const int channels = model == 2 ? 2 : 1;
    for (int ch = 0; ch < channels; ++ch) {
        std::int32_t booster = 0, fxLoop = 0, reverb = 0, gate = 0;
        session.getEffectParams(ch, booster, fxLoop, reverb, gate);
        std::printf("Channel %s: booster %s, FX loop %s, reverb %s, noise gate %d\n", ch == 0 ? "I" : "II",
                    boosterName(booster), fxLoop != 0 ? "on" : "off", reverbName(reverb), gate);
    }
    if (session.isLoopSettingsAvailable()) {
        std::int32_t send = 0, ret = 0;
        session.getFXLoopSettings(send, ret);
        std::printf("FX loop wiring: send %d, return %d\n", send, ret);
    }
    for (int ch = 0; ch < channels; ++ch) {
        for (std::size_t type = 0; type < kSlotsPerChannel; ++type) {
            const FIRRecord slot = session.getSlot(type + static_cast<std::size_t>(ch) * kSlotsPerChannel);
            std::printf("Slot %s %-6s: \"%s\", gain %.1f dB\n", ch == 0 ? "I" : "II",
                        loadString(106 + static_cast<std::int32_t>(type)).c_str(),
                        decodeAmpNameUtf8(slot.irName.data(), slot.irName.size()).c_str(),
                        firGainDisplay(slot.FIRCOE));
        }
    }
}

// Connects as the program does: the same settings, the same order of search, the same steps after the
// amplifier is found (each step has the whole time limit), then runs `use` on the session that read everything.
int withAmpRead(const std::pair<ChosenPort, ChosenPort>& ports, std::chrono::milliseconds timeout,
                const std::function<int(CORXManager&)>& use)
{
    EventQueue events;
    CORXManager* session = CORXManager::getInstance();
    session->setPortChoice(ports.first, ports.second);
    session->addEventCallback(&EventQueue::callback, &events);
    session->startRequestThread();
    session->addRequest(kRequestOpen, 0, 0);

    int result = 1;
    bool read = false;
    std::string reason = "no amplifier answered within " + std::to_string(timeout.count()) + " ms";
    int model = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!read) {
        const auto event = events.next(deadline);
        if (!event)
            break;
        switch (event->first) {
        case kEventNoHeartbeat:
            session->addRequest(kRequestOpen, 0, 0);
            break;
        case kEventConnected:
            model = event->second;
            deadline = std::chrono::steady_clock::now() + timeout;
            reason = "the amplifier stopped answering while it was read";
            session->addRequest(kRequestUpdater, 0, 0);
            break;
        case kEventUpdater:
            session->setLoopSettingsAvailable(loopSettingsAvailableFor(model, event->second));
            session->addRequest(kRequestReadAll, 0, 0);
            break;
        case kEventReadAll:
            read = true;
            break;
        case kEventError:
            reason = mstd::errorMessage(event->second);
            break;
        default:
            break;
        }
    }
    if (read) {
        result = use(*session);
    } else {
        std::string problem = CMIDIManager::getInstance()->systemProblem();
        std::fprintf(stderr, "orx-tevo: %s%s%s\n", reason.c_str(), problem.empty() ? "" : "; the MIDI system: ",
                     problem.c_str());
    }
    session->stopRequestThread();
    session->removeEventCallback(&EventQueue::callback);
    CORXManager::deleteInstance();
    CMIDIManager::deleteInstance();
    return result;
}

AmpSnapshot snapshotOf(CORXManager& session)
{
    AmpSnapshot snapshot;
    snapshot.model = modelNumber(session.getModelCode());
    snapshot.firmware = session.getUpdaterValue();
    snapshot.loopWiringAvailable = session.isLoopSettingsAvailable();
    snapshot.effects = session.getEffectData();
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot)
        snapshot.slots[slot] = session.getSlot(slot);
    return snapshot;
}

// Everything the amplifier reports, and from the IR library the coefficients of the slots it knows.
int writeAmpBackup(CORXManager& session, const std::filesystem::path& file, const std::filesystem::path& library)
{
    const AmpBackup backup = makeBackup(snapshotOf(session), IrLibrary(library));
    try {
        writeBackup(file, backup);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orx-tevo: cannot write %s: %s\n", file.string().c_str(), e.what());
        return 1;
    }
    std::size_t known = 0;
    for (const BackupSlot& slot : backup.slots)
        known += slot.coefficients ? 1 : 0;
    std::printf("Backed up model %d (firmware %u) to %s: effect settings of %d amp channel(s), %zu slot(s), the "
                "coefficients of %zu known to the IR library.\n",
                backup.model, static_cast<unsigned>(backup.firmware), file.string().c_str(), backup.channelCount(),
                backup.slots.size(), known);
    for (const BackupSlot& slot : backup.slots)
        std::printf("  %-9s \"%s\", %s%s\n", slotLabel(slot.slot).c_str(), files::nameText(slot.name).c_str(),
                    gainText(slot.fircoe).c_str(), slot.coefficients ? "" : " (coefficients unknown: name and gain only)");
    return 0;
}

std::optional<int> positiveMs(const QCommandLineParser& parser, const QString& name, int fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orx-tevo"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The amplifier from the command line.\n\n"
        "Commands:\n"
        "  ports   list the MIDI input and output ports\n"
        "  probe   ask every output port for the amplifier and list the pairs that answer\n"
        "  status  connect as ORX Tevo Utility does and print the amplifier's settings and IR slots\n"
        "  backup FILE\n"
        "          connect the same way and write the amplifier's settings, the names and gains of its IR slots\n"
        "          and, where the IR library knows them, their coefficients to FILE"));
    parser.addHelpOption();
    orx::addMidiOptions(parser);
    const QString timeoutOption = QStringLiteral("timeout");
    const QString listenOption = QStringLiteral("listen");
    parser.addOption({timeoutOption, QStringLiteral("status: how long to wait for the amplifier (default 6000)."),
                      QStringLiteral("ms")});
    parser.addOption({listenOption, QStringLiteral("probe: how long to listen for each port's answer (default 300)."),
                      QStringLiteral("ms")});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("ports, probe, status or backup FILE"));
    parser.process(application);

    const auto fail = [](const std::string& why) {
        std::fprintf(stderr, "orx-tevo: %s\n", why.c_str());
        return 2;
    };
    const QStringList args = parser.positionalArguments();
    if (args.empty() || (args.size() != 1 && args.front() != QStringLiteral("backup")))
        return fail("give one command: ports, probe, status or backup FILE (see --help)");
    const orx::MidiCommandLine midi = orx::midiOptionsFrom(parser);
    if (const std::string problem = orx::midiOptionsProblem(midi); !problem.empty())
        return fail(problem);
    const auto timeout = positiveMs(parser, timeoutOption, kDefaultTimeoutMs);
    const auto listen = positiveMs(parser, listenOption, static_cast<int>(orx::kProbeListen.count()));
    if (!timeout || !listen)
        return fail("--timeout and --listen take a number of milliseconds above 0");

    // The program's settings file, read only: this tool never changes the user's choice.
    orx::AppSettings settings(std::make_shared<orx::DesktopFolders>());
    settings.load();
    orx::chooseMidiSystem(midi, settings);
    // The same ports as the program: the system's, then the built-in simulated amplifier's when asked for.
    orx::CMIDIManager::setBackendFactory([] { return orx::sim::makeBackendFromEnvironment(); });

    const QString command = args.front();
    if (command == QStringLiteral("ports"))
        return runPorts();
    if (command == QStringLiteral("probe"))
        return runProbe(std::chrono::milliseconds(*listen));
    if (command == QStringLiteral("status"))
        return withAmpRead(orx::choosePorts(midi, settings), std::chrono::milliseconds(*timeout),
                           [](orx::CORXManager& session) {
                               printState(session, *orx::CMIDIManager::getInstance());
                               return 0;
                           });
    if (command == QStringLiteral("backup")) {
        if (args.size() != 2)
            return fail("backup takes the file to write: orx-tevo backup FILE");
        const std::filesystem::path file = args[1].toStdString();
        const std::filesystem::path library = orx::libraryFolderIn(orx::DesktopFolders().localAppDataFolder());
        return withAmpRead(orx::choosePorts(midi, settings), std::chrono::milliseconds(*timeout),
                           [&](orx::CORXManager& session) { return writeAmpBackup(session, file, library); });
    }
    return fail("unknown command " + command.toStdString() + ": give ports, probe, status or backup");
}
