// orx-amp-sim: the simulated amplifier behind a real pair of virtual MIDI ports (ALSA sequencer or JACK).
#include "SimulatedAmp.h"
#include "SimulatorPorts.h"
#include "backends/RtMidiBackendImpl.h"

#include <RtMidi.h>

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Separate clients (RtMidi makes one per port object), named so that the program's lists show
// "orx-amp-sim-in:Kovalex/ORX Simulator" as an output and "orx-amp-sim-out:Kovalex/ORX Simulator" as an input.
constexpr const char* kInClientName = "orx-amp-sim-in";
constexpr const char* kOutClientName = "orx-amp-sim-out";
// How often the main loop looks for SIGINT/SIGTERM when no MIDI arrives.
constexpr auto kSignalPollInterval = std::chrono::milliseconds(50);

struct Options {
    std::uint8_t modelCode = '2';
    RtMidi::Api api = RtMidi::LINUX_ALSA;
    bool verbose = false;
};

void printUsage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: orx-amp-sim [--model 1|2] [--api alsa|jack] [--verbose]\n"
                 "\n"
                 "Runs the simulated amplifier on a virtual MIDI input and output port, both named\n"
                 "\"%s\", so the program finds it as it would find the amplifier.\n"
                 "\n"
                 "  --model 1|2      model code the amplifier reports in its heartbeat (default 2)\n"
                 "  --api alsa|jack  MIDI system (default: ORX_MIDI_API, else alsa)\n"
                 "  --verbose        print one line per message: \"<- \" received, \"-> \" sent\n"
                 "  --help           this text\n"
                 "\n"
                 "Prints \"ready\" once the ports are open; stops on SIGINT or SIGTERM.\n",
                 orx::sim::kSimulatorPortName);
}

// Returns an exit code when the program should stop right away.
std::optional<int> parseOptions(int argc, char** argv, Options& options)
{
    if (const char* fromEnvironment = std::getenv("ORX_MIDI_API"); fromEnvironment && *fromEnvironment) {
        if (const auto api = orx::rtmidi::apiFromName(fromEnvironment))
            options.api = *api;
        else
            std::fprintf(stderr, "orx-amp-sim: ORX_MIDI_API=%s is neither alsa nor jack; using alsa\n",
                         fromEnvironment);
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view name) -> std::optional<std::string_view> {
            if (arg == name) {
                if (i + 1 >= argc)
                    return std::nullopt;
                return std::string_view(argv[++i]);
            }
            return arg.substr(name.size() + 1); // --name=value
        };
        auto isOption = [&](std::string_view name) {
            return arg == name ||
                   (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=');
        };
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (isOption("--model")) {
            const auto v = value("--model");
            if (!v || (*v != "1" && *v != "2")) {
                std::fprintf(stderr, "orx-amp-sim: --model takes 1 or 2\n");
                return 2;
            }
            options.modelCode = static_cast<std::uint8_t>((*v)[0]);
        } else if (isOption("--api")) {
            const auto v = value("--api");
            const auto api = v ? orx::rtmidi::apiFromName(*v) : std::nullopt;
            if (!api) {
                std::fprintf(stderr, "orx-amp-sim: --api takes alsa or jack\n");
                return 2;
            }
            options.api = *api;
        } else {
            std::fprintf(stderr, "orx-amp-sim: unknown argument \"%s\"\n", argv[i]);
            printUsage(stderr);
            return 2;
        }
    }
    return std::nullopt;
}

// What arrives on RtMidi's thread (JACK's process thread, which must not wait for us) waits here for the main loop.
struct InputQueue {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::vector<std::uint8_t>> messages;
};

void onInput(double /*timeStamp*/, std::vector<unsigned char>* message, void* user)
{
    try {
        auto* queue = static_cast<InputQueue*>(user);
        if (!message || message->empty())
            return;
        {
            std::lock_guard guard(queue->lock);
            queue->messages.emplace_back(message->begin(), message->end());
        }
        queue->wake.notify_one();
    } catch (...) {
        // Nothing may unwind into RtMidi's thread; the message is lost.
    }
}

// With an error callback installed RtMidi no longer throws, so opening collects its complaints here.
std::mutex g_setupLock;
std::string* g_setupErrors = nullptr;

void onRtMidiError(RtMidiError::Type type, const std::string& text, void* /*user*/)
{
    if (type == RtMidiError::DEBUG_WARNING)
        return;
    {
        std::lock_guard guard(g_setupLock);
        if (g_setupErrors) {
            if (g_setupErrors->empty())
                *g_setupErrors = orx::rtmidi::oneLine(text);
            return;
        }
    }
    std::fprintf(stderr, "orx-amp-sim: %s\n", orx::rtmidi::oneLine(text).c_str());
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    char buf[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

int run(const Options& options)
{
    const std::string label = orx::rtmidi::apiLabel(options.api);

    // Block the stop signals before RtMidi starts threads, so they inherit the mask and the main loop
    // alone picks the signals up.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // Declared before the ports, so it outlives any callback RtMidi may still be running when they close.
    InputQueue queue;
    std::string failure;
    auto in = orx::rtmidi::createInput(options.api, kInClientName, failure);
    if (!in) {
        std::fprintf(stderr, "orx-amp-sim: cannot use %s MIDI: %s\n", label.c_str(), failure.c_str());
        return 1;
    }
    auto out = orx::rtmidi::createOutput(options.api, kOutClientName, failure);
    if (!out) {
        std::fprintf(stderr, "orx-amp-sim: cannot use %s MIDI: %s\n", label.c_str(), failure.c_str());
        return 1;
    }

    std::string setupErrors;
    {
        std::lock_guard guard(g_setupLock);
        g_setupErrors = &setupErrors;
    }
    try {
        in->setErrorCallback(&onRtMidiError, nullptr);
        out->setErrorCallback(&onRtMidiError, nullptr);
        in->ignoreTypes(false, true, true);
        in->setCallback(&onInput, &queue);
        in->openVirtualPort(orx::sim::kSimulatorPortName);
        out->openVirtualPort(orx::sim::kSimulatorPortName);
    } catch (const std::exception& e) {
        setupErrors = orx::rtmidi::oneLine(e.what());
    }
    {
        std::lock_guard guard(g_setupLock);
        g_setupErrors = nullptr;
    }
    // isPortOpen() only tells about connections to other ports, never about a virtual port.
    if (!setupErrors.empty()) {
        std::fprintf(stderr, "orx-amp-sim: cannot open the %s ports: %s\n", label.c_str(), setupErrors.c_str());
        return 1;
    }

    orx::sim::SimulatedAmp amp(options.modelCode);
    std::printf("ready (%s, model %c, ports \"%s\")\n", label.c_str(), options.modelCode, orx::sim::kSimulatorPortName);
    std::fflush(stdout);

    const timespec noWait{0, 0};
    for (;;) {
        if (const int signal = sigtimedwait(&stopSignals, nullptr, &noWait); signal > 0) {
            if (options.verbose)
                std::printf("stopping on signal %d\n", signal);
            break;
        }
        std::deque<std::vector<std::uint8_t>> batch;
        {
            std::unique_lock lock(queue.lock);
            queue.wake.wait_for(lock, kSignalPollInterval, [&] { return !queue.messages.empty(); });
            batch.swap(queue.messages);
        }
        for (const auto& message : batch) {
            if (message[0] != 0xF0) {
                if (options.verbose)
                    std::printf("<- (not SysEx, ignored) %s\n", hexBytes(message).c_str());
                continue;
            }
            if (options.verbose)
                std::printf("<- %s\n", orx::sim::SimulatedAmp::describe(message.data(), message.size()).c_str());
            const auto answers = amp.receive(message.data(), message.size());
            amp.clearReceived(); // the tool runs for hours; nobody reads the history
            for (const auto& answer : answers) {
                try {
                    out->sendMessage(answer.data(), answer.size());
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "orx-amp-sim: send failed: %s\n", orx::rtmidi::oneLine(e.what()).c_str());
                    continue;
                }
                if (options.verbose)
                    std::printf("-> %s\n", orx::sim::SimulatedAmp::describe(answer.data(), answer.size()).c_str());
            }
        }
        if (options.verbose && !batch.empty())
            std::fflush(stdout);
    }

    try {
        in->closePort();
        out->closePort();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orx-amp-sim: %s\n", orx::rtmidi::oneLine(e.what()).c_str());
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const auto exitCode = parseOptions(argc, argv, options))
        return *exitCode;
    try {
        return run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orx-amp-sim: %s\n", orx::rtmidi::oneLine(e.what()).c_str());
        return 1;
    }
}
