// The system's MIDI ports through RtMidi (ALSA sequencer or JACK), with quiet failure when there is no MIDI system.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "RtMidiBackend.h"

#include "RtMidiBackendImpl.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

namespace orx {

namespace rtmidi {

namespace {

// --- keeping RtMidi and the libraries under it quiet while a port object is created ------------

class QuietScope;
thread_local QuietScope* t_quiet = nullptr;

// Only one thread at a time may borrow std::cerr, which is where RtMidi writes its complaints
// before an error callback can be installed.
std::mutex g_cerrLock;

class QuietScope {
public:
    QuietScope();
    ~QuietScope();
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

    void addLibraryMessage(std::string_view text)
    {
        if (m_library.empty())
            m_library = oneLine(text);
    }
    std::string rtmidiText() const { return oneLine(m_rtmidiText.str()); }
    const std::string& libraryText() const { return m_library; }

private:
    std::lock_guard<std::mutex> m_cerrGuard;
    std::ostringstream m_rtmidiText;
    std::streambuf* m_previous = nullptr;
    QuietScope* m_outer = nullptr;
    std::string m_library; // the first thing libjack or libasound said; later lines are consequences
};

std::atomic<std::uint64_t> g_jackTrouble{0};
std::atomic<bool> g_jackTroubleReported{false};

// libjack and libasound print through process-wide hooks. Inside a QuietScope what they say becomes part
// of that operation's one-line reason. Outside one, libjack speaks on its own threads, and only when a
// client has lost its server: it says so in bursts, again for every later call on the dead client, so
// the terminal gets one line per loss.
void jackMessage(const char* text)
{
    if (t_quiet) {
        t_quiet->addLibraryMessage(text ? text : "");
        return;
    }
    // Told before it is counted, so the line always comes before anything a new client has to say.
    if (!g_jackTroubleReported.exchange(true))
        std::fprintf(stderr, "MIDI (JACK): lost the JACK server: %s\n", oneLine(text ? text : "").c_str());
    ++g_jackTrouble;
}

void jackInfo(const char* text)
{
    if (t_quiet)
        t_quiet->addLibraryMessage(text ? text : "");
    // Otherwise informational only: nothing a user of this program needs to read.
}

void alsaMessage(const char* file, int line, const char* function, int err, const char* format, ...)
{
    char body[512] = {};
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(body, sizeof body, format, args);
        va_end(args);
    }
    std::string text = "ALSA lib " + std::string(file ? file : "?") + ":" + std::to_string(line) + ":(" +
                       (function ? function : "?") + ") " + body;
    if (err != 0)
        text += std::string(": ") + std::strerror(err < 0 ? -err : err);
    if (t_quiet) {
        t_quiet->addLibraryMessage(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

// Looked up at run time: RtMidi already brings libjack and libasound into the process, and a build of
// RtMidi without one of them simply has no hook to set.
void installLibraryHooks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        using JackHookSetter = void (*)(void (*)(const char*));
        using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
        using AlsaHookSetter = int (*)(AlsaHandler);
        if (void* symbol = dlsym(RTLD_DEFAULT, "jack_set_error_function"))
            reinterpret_cast<JackHookSetter>(symbol)(&jackMessage);
        if (void* symbol = dlsym(RTLD_DEFAULT, "jack_set_info_function"))
            reinterpret_cast<JackHookSetter>(symbol)(&jackInfo);
        if (void* symbol = dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))
            reinterpret_cast<AlsaHookSetter>(symbol)(&alsaMessage);
    });
}

QuietScope::QuietScope() : m_cerrGuard(g_cerrLock)
{
    installLibraryHooks();
    m_previous = std::cerr.rdbuf(m_rtmidiText.rdbuf());
    m_outer = t_quiet;
    t_quiet = this;
}

QuietScope::~QuietScope()
{
    t_quiet = m_outer;
    std::cerr.rdbuf(m_previous);
}

template <class Port>
std::unique_ptr<Port> createPort(RtMidi::Api api, const std::string& clientName, std::string& failure)
{
    failure.clear();
    QuietScope quiet;
    std::unique_ptr<Port> port;
    std::string complaint;
    try {
        port = std::make_unique<Port>(api, clientName);
    } catch (const std::exception& e) {
        complaint = oneLine(e.what());
        if (complaint.empty())
            complaint = "RtMidi error";
    } catch (...) {
        complaint = "unknown error";
    }
    // With no JACK server RtMidi only warns and keeps an object that retries (and complains) on every call.
    if (complaint.empty())
        complaint = quiet.rtmidiText();
    if (port && complaint.empty())
        return port;
    port.reset(); // still inside the scope: tearing down a half-made client may talk too
    failure = complaint.empty() ? std::string("RtMidi could not open the MIDI system") : complaint;
    if (!quiet.libraryText().empty())
        failure += " (" + quiet.libraryText() + ")";
    return nullptr;
}

template <class Port> void destroyPort(std::unique_ptr<Port>& port)
{
    if (!port)
        return;
    QuietScope quiet;
    port.reset();
}

} // namespace

void destroyQuietly(std::unique_ptr<RtMidiIn>& port)
{
    destroyPort(port);
}
void destroyQuietly(std::unique_ptr<RtMidiOut>& port)
{
    destroyPort(port);
}

namespace {

template <class Port> void abandonPort(std::unique_ptr<Port>& port)
{
    if (!port)
        return;
    // Reachable to the end (so no leak is reported) and never destroyed (so libjack is never called on it).
    static std::mutex lock;
    static auto* abandoned = new std::vector<RtMidi*>;
    std::lock_guard guard(lock);
    abandoned->push_back(port.release());
}

} // namespace

void abandon(std::unique_ptr<RtMidiIn>& port)
{
    abandonPort(port);
}
void abandon(std::unique_ptr<RtMidiOut>& port)
{
    abandonPort(port);
}

std::uint64_t jackTroubleCount()
{
    return g_jackTrouble.load();
}

void noteJackClientMade()
{
    g_jackTroubleReported = false;
}

std::optional<RtMidi::Api> apiFromName(std::string_view name)
{
    if (name == "alsa")
        return RtMidi::LINUX_ALSA;
    if (name == "jack")
        return RtMidi::UNIX_JACK;
    return std::nullopt;
}

std::string apiLabel(RtMidi::Api api)
{
    switch (api) {
    case RtMidi::LINUX_ALSA:
        return "ALSA";
    case RtMidi::UNIX_JACK:
        return "JACK";
    default:
        try {
            return RtMidi::getApiDisplayName(api);
        } catch (...) {
            return "MIDI";
        }
    }
}

std::unique_ptr<RtMidiIn> createInput(RtMidi::Api api, const std::string& clientName, std::string& failure)
{
    return createPort<RtMidiIn>(api, clientName, failure);
}

std::unique_ptr<RtMidiOut> createOutput(RtMidi::Api api, const std::string& clientName, std::string& failure)
{
    return createPort<RtMidiOut>(api, clientName, failure);
}

std::string oneLine(std::string_view text)
{
    std::string out;
    bool pendingBreak = false;
    bool pendingSpace = false;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            pendingBreak = !out.empty();
            continue;
        }
        if (c == ' ' || c == '\t') {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingBreak)
            out += "; ";
        else if (pendingSpace)
            out += ' ';
        pendingBreak = pendingSpace = false;
        out += c;
    }
    return out;
}

} // namespace rtmidi

namespace {

constexpr const char* kInputPortName = "MIDI In";
constexpr const char* kOutputPortName = "MIDI Out";
// Far more than the amplifier ever sends unanswered; past it, a stalled sink loses input rather than memory.
constexpr std::size_t kMaxQueuedInput = 4096;
constexpr std::uint8_t kSysexStart = 0xF0;

// Collects what RtMidi reports, through the error callback, during one call on the calling thread.
class OperationErrors;
thread_local OperationErrors* t_operation = nullptr;

class OperationErrors {
public:
    OperationErrors() : m_outer(t_operation) { t_operation = this; }
    ~OperationErrors() { t_operation = m_outer; }
    OperationErrors(const OperationErrors&) = delete;
    OperationErrors& operator=(const OperationErrors&) = delete;

    void add(const std::string& text)
    {
        if (m_text.empty())
            m_text = rtmidi::oneLine(text);
        m_failed = true;
    }
    void add(const std::exception& e) { add(std::string(e.what())); }
    bool failed() const { return m_failed; }
    const std::string& text() const { return m_text; }

private:
    OperationErrors* m_outer;
    std::string m_text;
    bool m_failed = false;
};

// Whether "cannot use the MIDI system" was written since a client was last made by any backend.
std::atomic<bool> g_unavailableTold{false};

// A port listing: the names the port layer sees, and RtMidi's index for each.
struct PortList {
    std::vector<std::string> names;
    std::vector<unsigned> rtIndex;
};

bool isOwnPort(const std::string& name)
{
    // JACK renames a second client of the same name "<name>-01"; ALSA shows "<client>:<port> c:p".
    const std::string_view client = rtmidi::kClientName;
    return name.size() > client.size() && name.compare(0, client.size(), client) == 0 &&
           (name[client.size()] == ':' || name[client.size()] == '-');
}

// Which RtMidi port a device id means now. The id indexes the list the port layer was last given;
// ports may have come or gone since (our own input port appears in the output list of JACK when it
// opens), so the port is found again by its name and its rank among equal names.
std::optional<unsigned> resolvePort(const PortList& listed, const PortList& now, unsigned deviceId)
{
    if (deviceId < listed.names.size() && !listed.names[deviceId].empty()) {
        const std::string& wanted = listed.names[deviceId];
        if (deviceId < now.names.size() && now.names[deviceId] == wanted)
            return now.rtIndex[deviceId];
        const auto rank = std::count(listed.names.begin(), listed.names.begin() + deviceId, wanted);
        std::ptrdiff_t seen = 0;
        for (std::size_t i = 0; i < now.names.size(); ++i) {
            if (now.names[i] == wanted && seen++ == rank)
                return now.rtIndex[i];
        }
        return std::nullopt;
    }
    if (deviceId < now.names.size())
        return now.rtIndex[deviceId];
    return std::nullopt;
}

class RtMidiBackend final : public MidiBackend {
public:
    explicit RtMidiBackend(RtMidi::Api api);
    ~RtMidiBackend() override;
    RtMidiBackend(const RtMidiBackend&) = delete;
    RtMidiBackend& operator=(const RtMidiBackend&) = delete;

    std::vector<std::string> inputPortNames() override;
    std::vector<std::string> outputPortNames() override;
    int openIn(unsigned deviceId, MidiInputSink* sink) override;
    int startIn() override;
    int resetIn() override;
    int stopIn() override;
    int closeIn() override;
    int openOut(unsigned deviceId, MidiOutputSink* sink) override;
    int sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t bufferId) override;
    int resetOut() override;
    int closeOut() override;
    std::string problem() override;

private:
    // Each kind of failure is written to standard error once per backend: the port layer lists ports
    // many times a second, and a missing MIDI system would otherwise flood the terminal.
    enum class Failure : unsigned {
        Unavailable,
        PortName,
        OpenIn,
        OpenOut,
        Send,
        Close,
        InputOverflow,
        Background,
    };
    void report(Failure kind, const std::string& what, const std::string& detail);
    // Makes the input and output clients when there are none, or again when their JACK server went away
    // since they were made: a MIDI system that was missing at start (JACK not running yet) or restarted is
    // found again by the next search. Takes both client locks.
    void refreshClients();
    // Makes one client when there is none; its lock is held.
    template <class Port, class Create, class Configure>
    void ensureClient(std::unique_ptr<Port>& client, std::uint64_t& madeAt, Create create, Configure configure);
    // Lets go of a client whose JACK server went away; true when it did.
    template <class Port> bool dropIfLost(std::unique_ptr<Port>& client, std::uint64_t madeAt);
    bool clientLost(std::uint64_t madeAt) const;
    void clientMade();

    static void onRtMidiError(RtMidiError::Type type, const std::string& text, void* user);
    static void onRtMidiInput(double timeStamp, std::vector<unsigned char>* message, void* user);
    void enqueueInput(const std::vector<unsigned char>& message);
    void deliveryLoop();
    // Stops delivery to the sink; forgetSink also drops it. On return no delivery is in progress.
    void gateInput(bool forgetSink);
    PortList listPorts(RtMidi& port);

    const RtMidi::Api m_api;
    const std::string m_label;
    std::atomic<unsigned> m_reported{0};
    std::atomic<bool> m_wasUnavailable{false};
    std::mutex m_problemLock;
    std::string m_problem; // guarded by m_problemLock
    void setProblem(std::string text);

    // Input delivery. Messages go from RtMidi's thread (JACK's process thread, which must not wait on
    // the program) through a queue to our own thread, which alone calls the sink.
    std::mutex m_queueLock;
    std::condition_variable m_queueWake;
    std::deque<std::vector<std::uint8_t>> m_queue;
    bool m_quit = false;
    std::atomic<bool> m_accepting{false};
    std::atomic<bool> m_overflowed{false};
    // Held while the sink runs, so gating and closing can wait for a delivery in flight.
    std::mutex m_deliveryLock;
    MidiInputSink* m_sink = nullptr;
    bool m_started = false;
    std::thread m_deliveryThread;
    std::atomic<std::thread::id> m_deliveryThreadId{};

    // Each RtMidi object is used by one thread at a time. Never held together with m_deliveryLock.
    std::mutex m_inLock;
    std::unique_ptr<RtMidiIn> m_in;
    std::uint64_t m_inMadeAt = 0; // the JACK trouble count when m_in was made
    PortList m_listedIn;
    std::atomic<bool> m_inOpen{false};

    std::mutex m_outLock;
    std::unique_ptr<RtMidiOut> m_out;
    std::uint64_t m_outMadeAt = 0;
    PortList m_listedOut;
    MidiOutputSink* m_outSink = nullptr;
    bool m_outOpen = false;
};

RtMidiBackend::RtMidiBackend(RtMidi::Api api) : m_api(api), m_label(rtmidi::apiLabel(api))
{
    refreshClients();
}

void RtMidiBackend::refreshClients()
{
    // Both directions at once: a lost client must be let go before any new client opens, and the user is
    // told once that the MIDI system is back, not once per direction.
    std::scoped_lock lock(m_inLock, m_outLock);
    const bool inLost = dropIfLost(m_in, m_inMadeAt);
    const bool outLost = dropIfLost(m_out, m_outMadeAt);
    if (inLost || outLost) {
        m_wasUnavailable = true;
        setProblem("lost the JACK server");
    }
    // A port of a lost client died with it.
    if (inLost)
        m_inOpen = false;
    if (outLost)
        m_outOpen = false;
    ensureClient(m_in, m_inMadeAt, &rtmidi::createInput, [this](RtMidiIn& in) {
        // SysEx is what the amplifier speaks; clock and active sensing are never wanted.
        in.ignoreTypes(false, true, true);
        in.setCallback(&RtMidiBackend::onRtMidiInput, this);
    });
    ensureClient(m_out, m_outMadeAt, &rtmidi::createOutput, [](RtMidiOut&) {});
}

bool RtMidiBackend::clientLost(std::uint64_t madeAt) const
{
    return m_api == RtMidi::UNIX_JACK && rtmidi::jackTroubleCount() != madeAt;
}

void RtMidiBackend::clientMade()
{
    if (m_api == RtMidi::UNIX_JACK)
        rtmidi::noteJackClientMade();
    setProblem({});
    g_unavailableTold = false;
    if (m_wasUnavailable.exchange(false)) {
        // Said once, so the user sees the line that ends the earlier complaint; a later loss is told again.
        m_reported &= ~(1u << static_cast<unsigned>(Failure::Unavailable));
        std::fprintf(stderr, "MIDI (%s): the MIDI system can be used again\n", m_label.c_str());
    }
}

template <class Port> bool RtMidiBackend::dropIfLost(std::unique_ptr<Port>& client, std::uint64_t madeAt)
{
    if (!client || !clientLost(madeAt))
        return false;
    rtmidi::abandon(client);
    return true;
}

template <class Port, class Create, class Configure>
void RtMidiBackend::ensureClient(std::unique_ptr<Port>& client, std::uint64_t& madeAt, Create create,
                                 Configure configure)
{
    if (client)
        return;
    const std::uint64_t troubleBefore = rtmidi::jackTroubleCount();
    std::string failure;
    std::unique_ptr<Port> port = create(m_api, rtmidi::kClientName, failure);
    if (port) {
        try {
            port->setErrorCallback(&RtMidiBackend::onRtMidiError, this);
            configure(*port);
        } catch (const std::exception& e) {
            failure = rtmidi::oneLine(e.what());
            rtmidi::destroyQuietly(port);
        }
    }
    if (!port) {
        m_wasUnavailable = true;
        setProblem(failure.empty() ? std::string("cannot use the MIDI system") : rtmidi::oneLine(failure));
        report(Failure::Unavailable, "cannot use the MIDI system", failure);
        return;
    }
    client = std::move(port);
    madeAt = troubleBefore;
    clientMade();
}

RtMidiBackend::~RtMidiBackend()
{
    closeIn();
    closeOut();
    // Closing the clients stops RtMidi's threads, so nothing can reach the queue afterwards.
    {
        std::lock_guard lock(m_inLock);
        dropIfLost(m_in, m_inMadeAt);
        rtmidi::destroyQuietly(m_in);
    }
    {
        std::lock_guard lock(m_outLock);
        dropIfLost(m_out, m_outMadeAt);
        rtmidi::destroyQuietly(m_out);
    }
    {
        std::lock_guard lock(m_queueLock);
        m_quit = true;
    }
    m_queueWake.notify_all();
    if (m_deliveryThread.joinable()) {
        // Destroying the backend from its own sink breaks the contract; detaching at least avoids
        // std::terminate from a thread joining itself.
        if (m_deliveryThread.get_id() == std::this_thread::get_id())
            m_deliveryThread.detach();
        else
            m_deliveryThread.join();
    }
}

void RtMidiBackend::setProblem(std::string text)
{
    std::lock_guard lock(m_problemLock);
    m_problem = std::move(text);
}

std::string RtMidiBackend::problem()
{
    std::lock_guard lock(m_problemLock);
    return m_problem.empty() ? std::string() : m_label + ": " + m_problem;
}

void RtMidiBackend::report(Failure kind, const std::string& what, const std::string& detail)
{
    const unsigned bit = 1u << static_cast<unsigned>(kind);
    if (m_reported.fetch_or(bit) & bit)
        return;
    // The port probe makes a client per port: a missing MIDI system is still told once, not once per client.
    if (kind == Failure::Unavailable && g_unavailableTold.exchange(true))
        return;
    const std::string line = "MIDI (" + m_label + "): " + what + (detail.empty() ? "" : ": " + rtmidi::oneLine(detail));
    std::fprintf(stderr, "%s\n", line.c_str());
}

void RtMidiBackend::onRtMidiError(RtMidiError::Type type, const std::string& text, void* user)
{
    try {
        if (type == RtMidiError::DEBUG_WARNING)
            return;
        if (t_operation) {
            t_operation->add(text);
            return;
        }
        if (auto* self = static_cast<RtMidiBackend*>(user))
            self->report(Failure::Background, "RtMidi", text);
    } catch (...) {
        // Called from RtMidi's own threads too: nothing may escape into them.
    }
}

void RtMidiBackend::onRtMidiInput(double /*timeStamp*/, std::vector<unsigned char>* message, void* user)
{
    try {
        if (message && user)
            static_cast<RtMidiBackend*>(user)->enqueueInput(*message);
    } catch (...) {
        // An exception must never unwind into RtMidi's (or JACK's) thread; the message is lost.
    }
}

void RtMidiBackend::enqueueInput(const std::vector<unsigned char>& message)
{
    if (!m_accepting.load() || message.empty())
        return;
    {
        std::lock_guard lock(m_queueLock);
        if (m_queue.size() >= kMaxQueuedInput) {
            m_overflowed = true;
            return;
        }
        m_queue.emplace_back(message.begin(), message.end());
    }
    m_queueWake.notify_one();
}

void RtMidiBackend::deliveryLoop()
{
    for (;;) {
        std::vector<std::uint8_t> message;
        {
            std::unique_lock lock(m_queueLock);
            m_queueWake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_quit)
                return;
            message = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (m_overflowed.exchange(false))
            report(Failure::InputOverflow, "input arrives faster than it is handled; messages were dropped", "");

        std::lock_guard deliver(m_deliveryLock);
        if (!m_started || !m_sink)
            continue;
        try {
            if (message[0] == kSysexStart) {
                m_sink->onLongMessage(message.data(), message.size());
            } else if (message.size() <= 3) {
                std::uint32_t packed = 0;
                for (std::size_t i = 0; i < message.size(); ++i)
                    packed |= static_cast<std::uint32_t>(message[i]) << (8 * i);
                m_sink->onShortMessage(packed);
            }
        } catch (...) {
            // Sinks do not throw; if one does, the input thread must survive it.
        }
    }
}

void RtMidiBackend::gateInput(bool forgetSink)
{
    m_accepting = false;
    {
        std::lock_guard lock(m_queueLock);
        m_queue.clear();
    }
    // From inside the sink (on the delivery thread) the lock is already ours.
    const bool onDeliveryThread = m_deliveryThreadId.load() == std::this_thread::get_id();
    std::unique_lock deliver(m_deliveryLock, std::defer_lock);
    if (!onDeliveryThread)
        deliver.lock();
    m_started = false;
    if (forgetSink)
        m_sink = nullptr;
}

PortList RtMidiBackend::listPorts(RtMidi& port)
{
    PortList list;
    OperationErrors errors;
    try {
        const unsigned count = port.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            std::string name;
            OperationErrors nameErrors;
            try {
                name = port.getPortName(i);
            } catch (const std::exception& e) {
                nameErrors.add(e);
            }
            if (nameErrors.failed()) {
                // The port may just have gone; the index keeps its place with an empty name.
                report(Failure::PortName, "could not read a port name", nameErrors.text());
                name.clear();
            }
            if (isOwnPort(name))
                continue;
            list.names.push_back(std::move(name));
            list.rtIndex.push_back(i);
        }
    } catch (const std::exception& e) {
        errors.add(e);
    }
    if (errors.failed())
        report(Failure::PortName, "could not list the ports", errors.text());
    return list;
}

std::vector<std::string> RtMidiBackend::inputPortNames()
{
    refreshClients();
    std::lock_guard lock(m_inLock);
    if (!m_in)
        return {};
    m_listedIn = listPorts(*m_in);
    return m_listedIn.names;
}

std::vector<std::string> RtMidiBackend::outputPortNames()
{
    refreshClients();
    std::lock_guard lock(m_outLock);
    if (!m_out)
        return {};
    m_listedOut = listPorts(*m_out);
    return m_listedOut.names;
}

int RtMidiBackend::openIn(unsigned deviceId, MidiInputSink* sink)
{
    try {
        {
            std::lock_guard lock(m_inLock);
            if (!m_in)
                return kMidiBadDeviceId;
            if (m_inOpen)
                return kMidiAllocated;
            const auto rtIndex = resolvePort(m_listedIn, listPorts(*m_in), deviceId);
            if (!rtIndex)
                return kMidiBadDeviceId;
            OperationErrors errors;
            try {
                m_in->openPort(*rtIndex, kInputPortName);
            } catch (const std::exception& e) {
                errors.add(e);
            }
            if (errors.failed() || !m_in->isPortOpen()) {
                report(Failure::OpenIn, "could not open the input port", errors.text());
                if (m_in->isPortOpen())
                    m_in->closePort();
                return kMidiError;
            }
            if (!m_deliveryThread.joinable()) {
                m_deliveryThread = std::thread([this] { deliveryLoop(); });
                m_deliveryThreadId = m_deliveryThread.get_id();
            }
            m_inOpen = true;
        }
        gateInput(true);
        std::lock_guard deliver(m_deliveryLock);
        m_sink = sink;
        return kMidiOk;
    } catch (const std::exception& e) {
        report(Failure::OpenIn, "could not open the input port", e.what());
        return kMidiError;
    }
}

int RtMidiBackend::startIn()
{
    if (!m_inOpen)
        return kMidiInvalidHandle;
    {
        const bool onDeliveryThread = m_deliveryThreadId.load() == std::this_thread::get_id();
        std::unique_lock deliver(m_deliveryLock, std::defer_lock);
        if (!onDeliveryThread)
            deliver.lock();
        m_started = true;
    }
    m_accepting = true;
    return kMidiOk;
}

int RtMidiBackend::resetIn()
{
    if (!m_inOpen)
        return kMidiInvalidHandle;
    gateInput(false);
    return kMidiOk;
}

int RtMidiBackend::stopIn()
{
    if (!m_inOpen)
        return kMidiInvalidHandle;
    gateInput(false);
    return kMidiOk;
}

int RtMidiBackend::closeIn()
{
    // The sink goes first: once it is forgotten no delivery can reach it, whatever RtMidi does next.
    gateInput(true);
    std::lock_guard lock(m_inLock);
    if (!m_inOpen || !m_in)
        return kMidiInvalidHandle;
    m_inOpen = false;
    if (dropIfLost(m_in, m_inMadeAt))
        return kMidiOk;
    OperationErrors errors;
    try {
        m_in->closePort();
    } catch (const std::exception& e) {
        errors.add(e);
    }
    if (errors.failed()) {
        report(Failure::Close, "could not close the input port", errors.text());
        return kMidiError;
    }
    return kMidiOk;
}

int RtMidiBackend::openOut(unsigned deviceId, MidiOutputSink* sink)
{
    try {
        std::lock_guard lock(m_outLock);
        if (!m_out)
            return kMidiBadDeviceId;
        if (m_outOpen)
            return kMidiAllocated;
        const auto rtIndex = resolvePort(m_listedOut, listPorts(*m_out), deviceId);
        if (!rtIndex)
            return kMidiBadDeviceId;
        OperationErrors errors;
        try {
            m_out->openPort(*rtIndex, kOutputPortName);
        } catch (const std::exception& e) {
            errors.add(e);
        }
        if (errors.failed() || !m_out->isPortOpen()) {
            report(Failure::OpenOut, "could not open the output port", errors.text());
            if (m_out->isPortOpen())
                m_out->closePort();
            return kMidiError;
        }
        m_outSink = sink;
        m_outOpen = true;
        return kMidiOk;
    } catch (const std::exception& e) {
        report(Failure::OpenOut, "could not open the output port", e.what());
        return kMidiError;
    }
}

int RtMidiBackend::sendLong(const std::uint8_t* data, std::size_t size, std::uint64_t bufferId)
{
    MidiOutputSink* sink = nullptr;
    int result = kMidiOk;
    {
        std::lock_guard lock(m_outLock);
        if (!m_outOpen || !m_out)
            return kMidiInvalidHandle;
        sink = m_outSink;
        OperationErrors errors;
        try {
            m_out->sendMessage(data, size);
        } catch (const std::exception& e) {
            errors.add(e);
        }
        if (errors.failed()) {
            report(Failure::Send, "could not send", errors.text());
            result = kMidiError;
        }
    }
    // RtMidi has copied (or written) the bytes by now, sent or not: the buffer is free.
    if (sink)
        sink->onOutputDone(bufferId);
    return result;
}

int RtMidiBackend::resetOut()
{
    std::lock_guard lock(m_outLock);
    // Nothing is ever pending inside the backend once sendLong returns.
    return m_outOpen ? kMidiOk : kMidiInvalidHandle;
}

int RtMidiBackend::closeOut()
{
    std::lock_guard lock(m_outLock);
    if (!m_outOpen || !m_out)
        return kMidiInvalidHandle;
    m_outOpen = false;
    m_outSink = nullptr;
    if (dropIfLost(m_out, m_outMadeAt))
        return kMidiOk;
    OperationErrors errors;
    try {
        m_out->closePort();
    } catch (const std::exception& e) {
        errors.add(e);
    }
    if (errors.failed()) {
        report(Failure::Close, "could not close the output port", errors.text());
        return kMidiError;
    }
    return kMidiOk;
}

} // namespace

namespace {

std::mutex g_apiLock;
std::string g_chosenApi; // guarded by g_apiLock

std::string apiFromEnvironment()
{
    const char* requested = std::getenv("ORX_MIDI_API");
    if (!requested || !*requested)
        return {};
    if (auto api = midiApiFromText(requested))
        return *api;
    static std::once_flag told;
    std::call_once(told, [requested] {
        std::fprintf(stderr, "MIDI: ORX_MIDI_API=%s is neither alsa nor jack; it is ignored\n",
                     rtmidi::oneLine(requested).c_str());
    });
    return {};
}

} // namespace

std::optional<std::string> midiApiFromText(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "alsa" || lower == "jack")
        return lower;
    return std::nullopt;
}

std::string setMidiApi(std::string name)
{
    std::lock_guard lock(g_apiLock);
    std::swap(g_chosenApi, name);
    return name;
}

bool midiApiFromEnvironment()
{
    return !apiFromEnvironment().empty();
}

std::string currentMidiApi()
{
    {
        std::lock_guard lock(g_apiLock);
        if (auto chosen = midiApiFromText(g_chosenApi))
            return *chosen;
    }
    const std::string fromEnvironment = apiFromEnvironment();
    return fromEnvironment.empty() ? std::string("alsa") : fromEnvironment;
}

std::unique_ptr<MidiBackend> makeSystemMidiBackend()
{
    const auto api = rtmidi::apiFromName(currentMidiApi());
    return std::make_unique<RtMidiBackend>(api ? *api : RtMidi::LINUX_ALSA);
}

} // namespace orx
