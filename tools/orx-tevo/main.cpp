// orx-tevo: the amplifier from the command line. Lists the MIDI ports, asks every port for the amplifier, and
// connects as the program does to print what the amplifier holds or to see what the link does to its answers.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpBackup.h"
#include "AmpRestore.h"
#include "AmpWords.h"
#include "AppFolders.h"
#include "AppSettings.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "ErrorTexts.h"
#include "FIRGain.h"
#include "GainStep.h"
#include "GenericException.h"
#include "IrFileLoading.h"
#include "LinkText.h"
#include "MidiOptions.h"
#include "PortProbe.h"
#include "ProgramInfo.h"
#include "SessionEvents.h"
#include "SimulatorPorts.h"
#include "SpeakerSimulationLogic.h"
#include "StatusText.h"
#include "WavExport.h"
#include "backends/RtMidiBackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <limits>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using namespace orx;

constexpr int kDefaultTimeoutMs = 6000;
constexpr int kDefaultLinkTestCount = 20;
constexpr int kMostLinkTestCount = 10000;

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

void printState(CORXManager& session, CMIDIManager& midi)
{
    const int model = modelNumber(session.getModelCode());
    std::printf("%s\n", tevo::connectedLine(midi.inputPortName(), midi.outputPortName()).c_str());
    std::printf("Model: %d\n", model);
    std::printf("Firmware (updater value): %u\n", static_cast<unsigned>(session.getUpdaterValue()));
    const int channels = model == 2 ? 2 : 1;
    for (int ch = 0; ch < channels; ++ch) {
        tevo::ChannelSettings settings;
        session.getEffectParams(ch, settings.booster, settings.fxLoop, settings.reverb, settings.noiseGate);
        settings.ampType = session.getIrSlot(ch);
        std::printf("%s\n", tevo::channelLine(ch, settings).c_str());
    }
    if (session.isLoopSettingsAvailable()) {
        std::int32_t send = 0, ret = 0;
        session.getFXLoopSettings(send, ret);
        std::printf("%s\n", tevo::wiringLine(send, ret).c_str());
    }
    std::vector<tevo::SlotShown> slots;
    for (int slot = 0; slot < channels * static_cast<int>(kSlotsPerChannel); ++slot) {
        const FIRRecord record = session.getSlot(static_cast<std::size_t>(slot));
        slots.push_back({slot, decodeAmpNameUtf8(record.irName.data(), record.irName.size()),
                         firGainDisplay(record.FIRCOE)});
    }
    for (const std::string& line : tevo::slotLines(slots))
        std::printf("%s\n", line.c_str());
}

// How far a command needs the program's start-up: to the amplifier's first answer, or through reading it all.
enum class StartUp { Answered, ReadAll };

// Connects as the program does: the same settings, the same order of search, the same steps after the
// amplifier is found (each step has the whole time limit), then runs `use` on the session.
int withAmp(const std::pair<ChosenPort, ChosenPort>& ports, std::chrono::milliseconds timeout, StartUp until,
            const std::function<int(CORXManager&)>& use)
{
    // Without a MIDI system (no ALSA sequencer, no JACK server) no amplifier can answer, however long we wait;
    // the built-in simulated amplifier's ports are still listed then, and are tried.
    CMIDIManager* midi = CMIDIManager::getInstance();
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    midi->getInDeviceNames(inputs);
    midi->getOutDeviceNames(outputs);
    if (const std::string problem = midi->systemProblem(); !problem.empty() && (inputs.empty() || outputs.empty())) {
        std::fprintf(stderr, "orx-tevo: cannot use the MIDI system (%s), so no amplifier can be reached\n",
                     problem.c_str());
        CMIDIManager::deleteInstance();
        return 1;
    }
    CORXManager* session = CORXManager::getInstance();
    session->setPortChoice(ports.first, ports.second);
    std::optional<SessionEvents> events;
    events.emplace(*session);
    session->startRequestThread();
    session->addRequest(kRequestOpen, 0, 0);

    int result = 1;
    bool ready = false;
    bool lost = false;
    std::string reason = "no amplifier answered within " + std::to_string(timeout.count()) + " ms";
    int model = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready && !lost) {
        const auto event = events->next(deadline);
        if (!event)
            break;
        switch (event->event) {
        case kEventNoHeartbeat:
            session->addRequest(kRequestOpen, 0, 0);
            break;
        case kEventConnected:
            model = event->value;
            if (until == StartUp::Answered) {
                ready = true;
                break;
            }
            deadline = std::chrono::steady_clock::now() + timeout;
            reason = "the amplifier stopped answering while it was read";
            session->addRequest(kRequestUpdater, 0, 0);
            break;
        case kEventUpdater: {
            session->setLoopSettingsAvailable(loopSettingsAvailableFor(model, event->value));
            session->addRequest(kRequestReadAll, 0, 0);
            // Reading everything is one dump per step (the effect data, then each slot), each answered within the
            // limit by an amp that is slow but there; one limit for the whole read gave up on such an amp.
            const auto dumps = 1 + static_cast<int>(kSlotsPerChannel) * (model == 2 ? 2 : 1);
            deadline = std::chrono::steady_clock::now() + timeout * dumps;
            break;
        }
        case kEventReadAll:
            // The session ends a read it could not finish too; only a read of a still connected amp counts.
            ready = session->getModelCode() != 0;
            lost = !ready;
            break;
        case kEventDisconnected:
            if (model != 0)
                reason = "the amplifier was lost while it was read";
            break;
        case kEventError:
            reason = mstd::errorMessage(event->value);
            break;
        default:
            break;
        }
    }
    if (ready) {
        result = use(*session);
    } else {
        std::string problem = CMIDIManager::getInstance()->systemProblem();
        std::fprintf(stderr, "orx-tevo: %s%s%s\n", reason.c_str(), problem.empty() ? "" : "; the MIDI system: ",
                     problem.c_str());
    }
    session->stopRequestThread();
    events.reset();
    CORXManager::deleteInstance();
    CMIDIManager::deleteInstance();
    return result;
}

// The whole start-up, as the window has it: the commands that show or change what the amplifier holds.
int withAmpRead(const std::pair<ChosenPort, ChosenPort>& ports, std::chrono::milliseconds timeout,
                const std::function<int(CORXManager&)>& use)
{
    return withAmp(ports, timeout, StartUp::ReadAll, use);
}

// Asks for `count` dumps one at a time, each once and waiting `wait` for it, and says what the link did to them.
// The dumps are those a read asks for, in its order, round and round: both lengths travel, and an answer that
// comes too late is of another kind than the one awaited next, so it cannot pass for that one.
int runLinkTest(CORXManager& session, int count, std::chrono::milliseconds wait)
{
    CMIDIManager& midi = *CMIDIManager::getInstance();
    std::printf("%s\n", tevo::connectedLine(midi.inputPortName(), midi.outputPortName()).c_str());
    std::fflush(stdout);
    std::vector<int> kinds{sysex::kDumpTypeEffectData};
    const int slots = static_cast<int>(session.getModelCode() == '2' ? kIrSlotCount : kSlotsPerChannel);
    for (int slot = 0; slot < slots; ++slot)
        kinds.push_back(slot);

    SessionEvents events(session);
    tevo::LinkCounts counts;
    std::size_t wholeBytes = 0;
    const auto start = std::chrono::steady_clock::now();
    while (counts.asked < count) {
        const int kind = kinds[static_cast<std::size_t>(counts.asked) % kinds.size()];
        ++counts.asked;
        session.addRequest(kRequestTestDump, kind, static_cast<std::int32_t>(wait.count()));
        // The worker gives up on the answer after `wait`; the margin covers a heartbeat it sends first.
        const auto deadline = std::chrono::steady_clock::now() + 2 * wait;
        std::optional<int> outcome;
        bool gone = false;
        while (!outcome && !gone) {
            const auto event = events.next(deadline);
            if (!event || event->event == kEventDisconnected || event->event == kEventError)
                gone = true;
            else if (event->event == kEventDumpTested)
                outcome = event->value;
        }
        if (gone) {
            // The amplifier went away or the ports failed: what is still to ask would only wait in vain.
            ++counts.lost;
            std::fprintf(stderr, "orx-tevo: the amplifier stopped answering after %d dump(s); the test ends there\n",
                         counts.asked);
            break;
        }
        if (*outcome == kDumpWhole) {
            ++counts.whole;
            wholeBytes += sysex::bulkDumpLength(kind);
        } else if (*outcome == kDumpDamaged) {
            ++counts.damaged;
        } else {
            ++counts.lost;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%s\n", tevo::dumpCountLine(counts).c_str());
    std::printf("%s\n", tevo::speedLine(wholeBytes, took.count()).c_str());
    std::printf("%s\n", tevo::verdictLine(counts).c_str());
    return tevo::linkExitCode(counts);
}

// Everything the amplifier reports, and from the IR library the coefficients of the slots it knows.
int writeAmpBackup(CORXManager& session, const std::filesystem::path& file, const std::filesystem::path& library)
{
    const AmpBackup backup = makeBackup(snapshotOfSession(session), IrLibrary(library));
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

// "I"/"II" and an amp type name, any case, as a slot 0 to 9.
std::optional<int> slotFromOptions(const QString& channel, const QString& type)
{
    const QString ch = channel.toUpper();
    if (ch != QStringLiteral("I") && ch != QStringLiteral("II"))
        return std::nullopt;
    for (int t = 0; t < static_cast<int>(kSlotsPerChannel); ++t)
        if (type.toUpper().toStdString() == words::kAmpTypes[static_cast<std::size_t>(t)])
            return t + (ch == QStringLiteral("II") ? static_cast<int>(kSlotsPerChannel) : 0);
    return std::nullopt;
}

// Whether the amplifier has the slot; says why not when it does not.
bool ampHasSlot(CORXManager& session, int slot)
{
    if (session.getModelCode() == '2' || slot < static_cast<int>(kSlotsPerChannel))
        return true;
    std::fprintf(stderr, "orx-tevo: this model 1 amplifier has amp channel I only\n");
    return false;
}

// The slot's response as the IR library knows it: the slot's name and gain are those of the library's last entry.
std::optional<Coefficients> knownCoefficients(CORXManager& session, int slot, const std::filesystem::path& library,
                                              std::string& why)
{
    const FIRRecord amp = session.getSlot(static_cast<std::size_t>(slot));
    const IrLibrary ir(library);
    const auto entry = ir.known(slot, amp.irName, amp.FIRCOE);
    if (!entry) {
        why = "the IR library does not know what slot " + slotLabel(slot) + " holds (\"" + files::nameText(amp.irName) +
              "\", " + gainText(amp.FIRCOE) + "): it was stored before the library kept it, or by another program";
        return std::nullopt;
    }
    auto coefficients = ir.coefficients(*entry);
    if (!coefficients)
        why = "the IR library's WAV of slot " + slotLabel(slot) + " is missing or damaged (entry " + entry->id + ")";
    return coefficients;
}

int runInstall(CORXManager& session, int slot, const std::filesystem::path& file, const LoadedIr& loaded,
               std::uint16_t fircoe, const std::filesystem::path& library, std::chrono::milliseconds timeout)
{
    if (!ampHasSlot(session, slot))
        return 1;
    const int ampCh = slot / static_cast<int>(kSlotsPerChannel);
    const int typeInUse = session.getIrSlot(ampCh);
    FIRRecord record;
    record.irName = irNameOfFile(file.filename().string());
    record.FIRCOE = fircoe;
    record.coefficients = loaded.coefficients;
    if (const std::string why = writeSlotAndWait(session, slot, record, timeout); !why.empty()) {
        std::fprintf(stderr, "orx-tevo: slot %s was not stored: %s\n", slotLabel(slot).c_str(), why.c_str());
        return 1;
    }
    // Writing the slot made it the one in use; the channel goes back to the amp type it was on.
    if (typeInUse >= 0 && typeInUse != slot % static_cast<int>(kSlotsPerChannel)) {
        session.addRequest(kRequestChooseSlot, ampCh, typeInUse);
        if (const std::string why = waitForWrites(session, timeout); !why.empty())
            std::fprintf(stderr, "orx-tevo: channel %s may still be on %s: %s\n", ampCh == 0 ? "I" : "II",
                         slotLabel(slot).c_str(), why.c_str());
    }
    LibraryEntryInput input;
    input.name = record.irName;
    input.fircoe = fircoe;
    input.coefficients = record.coefficients;
    input.sourceFile = std::filesystem::absolute(file);
    input.processing = loaded.processing;
    input.ampChannel = ampCh;
    input.slot = slot;
    input.kind = EntryKind::Install;
    std::string recorded = "recorded in the IR library";
    try {
        IrLibrary(library).record(input);
    } catch (const std::exception& e) {
        recorded = std::string("NOT recorded in the IR library: ") + e.what();
    }
    std::printf("Installed \"%s\" into slot %s, gain %s, from %s%s; %s.\n", files::nameText(record.irName).c_str(),
                slotLabel(slot).c_str(), gainText(fircoe).c_str(), file.string().c_str(),
                loaded.processing.empty() ? "" : (" (" + loaded.processing + ")").c_str(), recorded.c_str());
    return 0;
}

int runExport(CORXManager& session, int slot, const std::filesystem::path& file, const std::filesystem::path& library)
{
    if (!ampHasSlot(session, slot))
        return 1;
    std::string why;
    const auto coefficients = knownCoefficients(session, slot, library, why);
    if (!coefficients) {
        std::fprintf(stderr, "orx-tevo: nothing exported: %s\n", why.c_str());
        return 1;
    }
    try {
        exportCoefficientsWav(file, *coefficients);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orx-tevo: cannot write %s: %s\n", file.string().c_str(), e.what());
        return 1;
    }
    std::printf("Exported slot %s \"%s\" to %s (16-bit 44100 Hz mono WAV, %zu samples).\n", slotLabel(slot).c_str(),
                files::nameText(session.getSlot(static_cast<std::size_t>(slot)).irName).c_str(), file.string().c_str(),
                coefficients->size());
    return 0;
}

bool userAgrees()
{
    std::printf("Restore? Type y and Enter to write it to the amplifier: ");
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int runRestoreCommand(CORXManager& session, const AmpBackup& backup, bool yes, const std::filesystem::path& library,
                      std::chrono::milliseconds timeout)
{
    const RestorePlan plan = planRestore(backup, snapshotOfSession(session));
    for (const std::string& line : describePlan(plan))
        std::printf("%s\n", line.c_str());
    if (!plan.changesAnything())
        return 0;
    if (!yes && !userAgrees()) {
        std::fprintf(stderr, "orx-tevo: not confirmed; nothing was written\n");
        return 1;
    }
    RestoreOptions options;
    options.stepTimeout = timeout;
    options.library = library;
    options.progress = [](int done, int total, const std::string& step) {
        std::printf("[%d/%d] %s\n", done, total, step.c_str());
        std::fflush(stdout);
    };
    const RestoreReport report = runRestore(session, backup, plan, options);
    for (const std::string& line : describeReport(report))
        std::printf("%s\n", line.c_str());
    if (report.interrupted) {
        std::fprintf(stderr, "orx-tevo: the restore stopped: %s\n", report.reason.c_str());
        return 1;
    }
    return 0;
}

// The option's whole number from 1 to most, fallback when it is not given; nothing for anything else.
std::optional<int> positiveNumber(const QCommandLineParser& parser, const QString& name, int fallback,
                                  int most = std::numeric_limits<int>::max())
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value <= 0 || value > most)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    if (orx::asksForVersion(argc, argv)) {
        std::fputs(orx::versionText("orx-tevo").c_str(), stdout);
        return 0;
    }
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orx-tevo"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The amplifier from the command line.\n\n"
        "Commands:\n"
        "  ports   list the MIDI input and output ports\n"
        "  probe   ask every output port for the amplifier and list the pairs that answer\n"
        "  status  connect as ORX Tevo Utility does and print the amplifier's settings and IR slots\n"
        "  linktest [--count N]\n"
        "          connect the same way, ask for N dumps (default 20) of the kinds a read asks for, each once and\n"
        "          never again, and count those that come back whole, damaged or not at all within --timeout: a\n"
        "          cable or interface that loses or damages data shows here (exit 3)\n"
        "  backup FILE\n"
        "          connect the same way and write the amplifier's settings, the names and gains of its IR slots\n"
        "          and, where the IR library knows them, their coefficients to FILE (the window's backups are\n"
        "          named NAME.orxbackup.json)\n"
        "  restore FILE [--yes]\n"
        "          show what putting the backup FILE on the amplifier changes, ask (unless --yes), write it slot by\n"
        "          slot, then the settings, and read the amplifier again\n"
        "  install FILE --channel I|II --type MODERN|LEAD|CRUNCH|CLEAN|SOLID [--gain DB]\n"
        "          load the impulse-response FILE as the program does (its conversion and stereo settings), store\n"
        "          it in that slot and record it in the IR library; a gain between two steps of the gain dial\n"
        "          takes the nearer one, and says so\n"
        "  export --channel I|II --type T FILE\n"
        "          write the slot's response, as the IR library knows it, to FILE as a 16-bit 44100 Hz mono WAV"));
    orx::addMidiOptions(parser);
    const QString timeoutOption = QStringLiteral("timeout");
    const QString listenOption = QStringLiteral("listen");
    const QString countOption = QStringLiteral("count");
    parser.addOption({timeoutOption, QStringLiteral("How long to wait for the amplifier at each step (default 6000)."),
                      QStringLiteral("ms")});
    parser.addOption({listenOption, QStringLiteral("probe: how long to listen for each port's answer (default 300)."),
                      QStringLiteral("ms")});
    parser.addOption({countOption, QStringLiteral("linktest: how many dumps to ask for (default 20)."),
                      QStringLiteral("N")});
    const QString channelOption = QStringLiteral("channel");
    const QString typeOption = QStringLiteral("type");
    const QString gainOption = QStringLiteral("gain");
    const QString yesOption = QStringLiteral("yes");
    parser.addOption({channelOption, QStringLiteral("install, export: the amp channel, I or II."), QStringLiteral("I|II")});
    parser.addOption({typeOption, QStringLiteral("install, export: the amp type, MODERN, LEAD, CRUNCH, CLEAN or SOLID."),
                      QStringLiteral("type")});
    parser.addOption({gainOption,
                      QStringLiteral("install: the IR gain, -30 to 0 dB in the gain dial's steps (1 dB up to -10, then "
                                     "0.5 dB; default -12, as the dial starts)."),
                      QStringLiteral("dB")});
    parser.addOption({yesOption, QStringLiteral("restore: write without asking.")});
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("ports, probe, status, linktest, backup FILE, restore FILE, install FILE or export FILE"));
    parser.process(application);

    const auto fail = [](const std::string& why) {
        std::fprintf(stderr, "orx-tevo: %s\n", why.c_str());
        return 2;
    };
    const QStringList args = parser.positionalArguments();
    const QStringList withFile = {QStringLiteral("backup"), QStringLiteral("restore"), QStringLiteral("install"),
                                  QStringLiteral("export")};
    if (args.empty() || (args.size() != 1 && !withFile.contains(args.front())))
        return fail(
            "give one command: ports, probe, status, linktest, backup, restore, install or export (see --help)");
    const orx::MidiCommandLine midi = orx::midiOptionsFrom(parser);
    if (const std::string problem = orx::midiOptionsProblem(midi); !problem.empty())
        return fail(problem);
    orx::applySimulateOption(midi);
    const auto timeout = positiveNumber(parser, timeoutOption, kDefaultTimeoutMs);
    const auto listen = positiveNumber(parser, listenOption, static_cast<int>(orx::kProbeListen.count()));
    if (!timeout || !listen)
        return fail("--timeout and --listen take a number of milliseconds above 0");
    const auto count = positiveNumber(parser, countOption, kDefaultLinkTestCount, kMostLinkTestCount);
    if (!count)
        return fail("--count takes a number of dumps from 1 to " + std::to_string(kMostLinkTestCount));

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
    if (command == QStringLiteral("linktest"))
        return withAmp(orx::choosePorts(midi, settings), std::chrono::milliseconds(*timeout), StartUp::Answered,
                       [&](orx::CORXManager& session) {
                           return runLinkTest(session, *count, std::chrono::milliseconds(*timeout));
                       });
    const std::filesystem::path library = orx::libraryFolderIn(orx::DesktopFolders().localAppDataFolder());
    if (withFile.contains(command) && args.size() != 2)
        return fail(command.toStdString() + " takes one file (see --help)");
    const std::filesystem::path file = args.size() == 2 ? std::filesystem::path(args[1].toStdString()) : std::filesystem::path();
    if (command == QStringLiteral("backup"))
        return withAmpRead(orx::choosePorts(midi, settings), std::chrono::milliseconds(*timeout),
                           [&](orx::CORXManager& session) { return writeAmpBackup(session, file, library); });
    const auto chosenSlot = [&]() -> std::optional<int> {
        return slotFromOptions(parser.value(channelOption), parser.value(typeOption));
    };
    if (command == QStringLiteral("restore")) {
        // Checked before anything is connected: a damaged or foreign file sends nothing.
        const orx::BackupReadResult read = orx::readBackup(file);
        if (!read.backup)
            return fail("nothing was sent: " + read.problem);
        return withAmpRead(orx::choosePorts(midi, settings), std::chrono::milliseconds(*timeout),
                           [&](orx::CORXManager& session) {
                               return runRestoreCommand(session, *read.backup, parser.isSet(yesOption), library,
                                                             std::chrono::milliseconds(*timeout));
                           });
    }
    if (command == QStringLiteral("install")) {
        const auto slot = chosenSlot();
        if (!slot)
            return fail("install needs --channel I or II and --type MODERN, LEAD, CRUNCH, CLEAN or SOLID");
        double gain = -12.0;
        if (parser.isSet(gainOption)) {
            bool ok = false;
            const double asked = parser.value(gainOption).toDouble(&ok);
            const auto step = ok ? orx::tevo::nearestGainStep(asked) : std::nullopt;
            if (!step)
                return fail("--gain takes a number of dB from -30 to 0");
            if (const std::string note = orx::tevo::gainStepNote(asked, *step); !note.empty())
                std::printf("%s\n", note.c_str());
            gain = *step;
        }
        // Loaded before anything is connected, so that a file the amplifier cannot take sends nothing.
        orx::LoadedIr loaded;
        try {
            loaded = orx::loadIrFile(file, &settings, [] { return 0; });
        } catch (const mstd::CGenericException& e) {
            const std::string note = orx::fileErrorNote(file, settings.ConvertFiles);
            return fail(file.string() + ": " + mstd::errorMessage(e.getCode()) + (note.empty() ? "" : "\n" + note));
        }
        return withAmpRead(orx::choosePorts(midi, settings), std::chrono::milliseconds(*timeout),
                           [&](orx::CORXManager& session) {
                               return runInstall(session, *slot, file, loaded, orx::dBToFIRCOE(gain), library,
                                                      std::chrono::milliseconds(*timeout));
                           });
    }
    if (command == QStringLiteral("export")) {
        const auto slot = chosenSlot();
        if (!slot)
            return fail("export needs --channel I or II and --type MODERN, LEAD, CRUNCH, CLEAN or SOLID");
        return withAmpRead(orx::choosePorts(midi, settings), std::chrono::milliseconds(*timeout),
                           [&](orx::CORXManager& session) { return runExport(session, *slot, file, library); });
    }
    return fail("unknown command " + command.toStdString() +
                ": give ports, probe, status, linktest, backup, restore, install or export");
}
