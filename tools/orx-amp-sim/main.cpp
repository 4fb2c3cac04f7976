// orx-amp-sim: the simulated amplifier behind a real pair of virtual MIDI ports (ALSA sequencer or JACK).
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpConsole.h"
#include "ProgramInfo.h"
#include "SimulatedAmp.h"
#include "SimulatorPorts.h"
#include "backends/RtMidiBackendImpl.h"

#include <RtMidi.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
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
#include <thread>
#include <variant>
#include <vector>

namespace {

// Separate clients (RtMidi makes one per port object), named so that the program's lists show
// "orx-amp-sim-in:Kovalex/ORX Simulator" as an output and "orx-amp-sim-out:Kovalex/ORX Simulator" as an input.
constexpr const char* kInClientName = "orx-amp-sim-in";
constexpr const char* kOutClientName = "orx-amp-sim-out";
// How often the main loop looks for SIGINT/SIGTERM, and the command reader for its stop, when nothing arrives.
constexpr auto kSignalPollInterval = std::chrono::milliseconds(50);
// Longer command lines are refused whole rather than taken as several commands.
constexpr std::size_t kMaxCommandLine = 1024;
constexpr long kMaxReplyDelayMs = 600'000;

struct Options {
    std::uint8_t modelCode = '2';
    RtMidi::Api api = RtMidi::LINUX_ALSA;
    bool verbose = false;
    std::uint16_t updaterValue = orx::sim::kDefaultUpdaterValue;
    std::chrono::milliseconds replyDelay{0};
    std::string portName = orx::sim::kSimulatorPortName;
};

void printUsage(std::FILE* to)
{
    std::fprintf(
        to,
        "usage: orx-amp-sim [--model 1|2] [--api alsa|jack] [--updater N] [--reply-delay MS] [--port-name NAME]\n"
        "                   [--verbose]\n"
        "\n"
        "Runs the simulated amplifier on a virtual MIDI input and output port, both named\n"
        "\"%s\" unless --port-name says otherwise, so the program finds it as it would find the amplifier.\n"
        "\n"
        "  --model 1|2         model code the amplifier reports in its heartbeat (default 2)\n"
        "  --api alsa|jack     MIDI system (default: ORX_MIDI_API, else alsa)\n"
        "  --updater N         updater value the amplifier reports, 0 to 16383 (default %u)\n"
        "  --reply-delay MS    hold every answer back MS milliseconds, keeping their order (default 0)\n"
        "  --port-name NAME    name both ports NAME, as a real amp's ports are named (say \"TEVO MIDI 1\"),\n"
        "                      which the program does not find by itself\n"
        "  --verbose           print one line per message: \"<- \" received, \"-> \" sent\n"
        "  --help              this text\n"
        "  --version           the version and the licence\n"
        "\n"
        "Prints \"ready\" once the ports are open; stops on SIGINT, SIGTERM or the quit command.\n"
        "\n"
        "Commands, one per line on standard input, while it runs. Each ends with one line \"ok <command>\"\n"
        "or \"error: <reason>\"; blank lines and lines starting with # are skipped. The end of\n"
        "standard input ends the commands, not the simulator.\n"
        "\n",
        orx::sim::kSimulatorPortName, static_cast<unsigned>(orx::sim::kDefaultUpdaterValue));
    for (const auto& line : orx::ampsim::commandSummary())
        std::fprintf(to, "%s\n", line.c_str());
    std::fprintf(to,
                 "\n"
                 "\"state\" prints \"model M updater N delay MS\", \"effect\" and the 16 settings bytes in hex, then\n"
                 "\"slot S ...\" for slots 0-9 (0-4 amp channel I, 5-9 amp channel II) and \"current CH ...\" for\n"
                 "each amp channel, each as: fircoe N fnv1a XXXXXXXX name \"...\", where fnv1a is the 32-bit\n"
                 "FNV-1a of the 2048 coefficients as 16-bit little-endian bytes.\n");
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
        } else if (isOption("--updater")) {
            const auto v = value("--updater");
            const auto n = v ? orx::ampsim::parseNumber(*v, 0, orx::kMaxFIRCOE) : std::nullopt;
            if (!n) {
                std::fprintf(stderr, "orx-amp-sim: --updater takes a value from 0 to 16383\n");
                return 2;
            }
            options.updaterValue = static_cast<std::uint16_t>(*n);
        } else if (isOption("--reply-delay")) {
            const auto v = value("--reply-delay");
            const auto n = v ? orx::ampsim::parseNumber(*v, 0, kMaxReplyDelayMs) : std::nullopt;
            if (!n) {
                std::fprintf(stderr, "orx-amp-sim: --reply-delay takes milliseconds from 0 to 600000\n");
                return 2;
            }
            options.replyDelay = std::chrono::milliseconds(*n);
        } else if (isOption("--port-name")) {
            const auto v = value("--port-name");
            if (!v || v->empty()) {
                std::fprintf(stderr, "orx-amp-sim: --port-name takes a name\n");
                return 2;
            }
            options.portName = std::string(*v);
        } else {
            std::fprintf(stderr, "orx-amp-sim: unknown argument \"%s\"\n", argv[i]);
            printUsage(stderr);
            return 2;
        }
    }
    return std::nullopt;
}

// Standard output is written from the main loop and the sender; whole lines, flushed at once, so a
// reader on a pipe sees each line as soon as it happens and never half of one.
std::mutex g_outputLock;

void sayLines(const std::vector<std::string>& lines)
{
    std::lock_guard guard(g_outputLock);
    for (const auto& line : lines)
        std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

void say(std::string line)
{
    sayLines({std::move(line)});
}

struct CommandLine {
    std::string text;
};
using MidiMessage = std::vector<std::uint8_t>;

// What the main loop handles, in the order it arrived: MIDI from RtMidi's thread (JACK's process
// thread, which must not wait for us) and command lines from the reader.
struct Inbox {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::variant<MidiMessage, CommandLine>> items;

    template <typename T> void post(T item)
    {
        {
            std::lock_guard guard(lock);
            items.emplace_back(std::move(item));
        }
        wake.notify_one();
    }
};

void onInput(double /*timeStamp*/, std::vector<unsigned char>* message, void* user)
{
    try {
        if (!message || message->empty())
            return;
        static_cast<Inbox*>(user)->post(MidiMessage(message->begin(), message->end()));
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

// Everything the amplifier sends goes out through here, on one thread, in the order it was posted.
// The amplifier's reply delay is the host's to apply: a delayed answer holds back everything behind
// it, as on a serial line, while the main loop goes on receiving.
class Sender {
public:
    Sender(RtMidiOut& out, bool verbose) : m_out(out), m_verbose(verbose), m_thread([this] { run(); }) {}

    ~Sender()
    {
        {
            std::lock_guard guard(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void post(std::vector<orx::sysex::Bytes> messages, std::chrono::milliseconds delay)
    {
        if (messages.empty())
            return;
        const auto due = std::chrono::steady_clock::now() + delay;
        {
            std::lock_guard guard(m_lock);
            for (auto& message : messages)
                m_queue.push_back({due, std::move(message)});
        }
        m_wake.notify_all();
    }

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        orx::sysex::Bytes message;
    };

    void run()
    {
        std::unique_lock lock(m_lock);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                break;
            if (m_wake.wait_until(lock, m_queue.front().due, [this] { return m_stop; }))
                break;
            Pending next = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            send(next.message);
            lock.lock();
        }
        // What was already due when the simulator was told to stop still goes out (a knob turned just
        // before "quit"); answers still held back by a delay are dropped.
        const auto now = std::chrono::steady_clock::now();
        while (!m_queue.empty() && m_queue.front().due <= now) {
            Pending next = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            send(next.message);
            lock.lock();
        }
    }

    void send(const orx::sysex::Bytes& message)
    {
        try {
            m_out.sendMessage(message.data(), message.size());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "orx-amp-sim: send failed: %s\n", orx::rtmidi::oneLine(e.what()).c_str());
            return;
        }
        if (m_verbose)
            say("-> " + orx::sim::SimulatedAmp::describe(message.data(), message.size()));
    }

    RtMidiOut& m_out;
    const bool m_verbose;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Pending> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

// Reads command lines from standard input until it ends or the simulator stops. Standard input may
// be a terminal, a pipe, a file, /dev/null or closed; none of them may stop the simulator.
class CommandReader {
public:
    explicit CommandReader(Inbox& inbox) : m_inbox(inbox), m_thread([this] { run(); }) {}

    ~CommandReader()
    {
        m_stop = true;
        m_thread.join();
    }

    CommandReader(const CommandReader&) = delete;
    CommandReader& operator=(const CommandReader&) = delete;

private:
    void run()
    {
        std::string partial;
        bool overlong = false;
        char buffer[512];
        while (!m_stop) {
            pollfd input{STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&input, 1, static_cast<int>(kSignalPollInterval.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0 || (input.revents & POLLNVAL))
                return;
            if (ready == 0)
                continue;
            const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got < 0 && errno == EIO) {
                // A terminal read from the background: try again later, the shell may bring us to the front.
                std::this_thread::sleep_for(4 * kSignalPollInterval);
                continue;
            }
            if (got <= 0)
                break;
            for (ssize_t i = 0; i < got; ++i) {
                if (buffer[i] != '\n') {
                    if (partial.size() < kMaxCommandLine)
                        partial += buffer[i];
                    else
                        overlong = true;
                    continue;
                }
                finishLine(partial, overlong);
            }
        }
        if (!partial.empty())
            finishLine(partial, overlong);
    }

    void finishLine(std::string& line, bool& overlong)
    {
        if (overlong)
            say("error: command line longer than " + std::to_string(kMaxCommandLine) + " characters");
        else
            m_inbox.post(CommandLine{std::move(line)});
        line.clear();
        overlong = false;
    }

    Inbox& m_inbox;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

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
    // Started in the background of a shell, a read of the terminal would otherwise stop the whole
    // simulator, and with it the amplifier's answers.
    signal(SIGTTIN, SIG_IGN);

    // Declared before the ports, so it outlives any callback RtMidi may still be running when they close.
    Inbox inbox;
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
        in->setCallback(&onInput, &inbox);
        in->openVirtualPort(options.portName);
        out->openVirtualPort(options.portName);
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
    amp.setUpdaterValue(options.updaterValue);
    amp.setReplyDelay(options.replyDelay);
    {
        Sender sender(*out, options.verbose);
        // What the amplifier says by itself (the knob) queues behind answers already on their way.
        amp.setOutlet([&sender](orx::sysex::Bytes message) {
            std::vector<orx::sysex::Bytes> one;
            one.push_back(std::move(message));
            sender.post(std::move(one), std::chrono::milliseconds(0));
        });
        char ready[320];
        std::snprintf(ready, sizeof ready, "ready (%s, model %c, ports \"%s\")", label.c_str(), options.modelCode,
                      options.portName.c_str());
        say(ready);

        CommandReader reader(inbox);
        bool quit = false;
        const timespec noWait{0, 0};
        while (!quit) {
            if (const int caught = sigtimedwait(&stopSignals, nullptr, &noWait); caught > 0) {
                if (options.verbose)
                    say("stopping on signal " + std::to_string(caught));
                break;
            }
            std::deque<std::variant<MidiMessage, CommandLine>> batch;
            {
                std::unique_lock lock(inbox.lock);
                inbox.wake.wait_for(lock, kSignalPollInterval, [&] { return !inbox.items.empty(); });
                batch.swap(inbox.items);
            }
            for (const auto& item : batch) {
                if (const auto* command = std::get_if<CommandLine>(&item)) {
                    auto reply = orx::ampsim::runCommand(command->text, amp);
                    sayLines(reply.lines);
                    if (reply.quit) {
                        quit = true;
                        break;
                    }
                    continue;
                }
                const auto& message = std::get<MidiMessage>(item);
                if (message[0] != 0xF0) {
                    if (options.verbose)
                        say("<- (not SysEx, ignored) " + hexBytes(message));
                    continue;
                }
                if (options.verbose)
                    say("<- " + orx::sim::SimulatedAmp::describe(message.data(), message.size()));
                auto answers = amp.receive(message.data(), message.size());
                amp.clearReceived(); // the tool runs for hours; nobody reads the history
                sender.post(std::move(answers), amp.replyDelay());
            }
        }
        amp.setOutlet({});
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

// A standard descriptor left closed by whoever started us would go to the next file opened, a MIDI
// system's socket perhaps, which the command reader would then read from (or output write into).
void occupyClosedStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        const int opened = open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (orx::asksForVersion(argc, argv)) {
        std::fputs(orx::versionText("orx-amp-sim").c_str(), stdout);
        return 0;
    }
    occupyClosedStandardDescriptors();
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
