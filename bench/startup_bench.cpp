// The program seen from outside, offscreen with the built-in simulated amplifier: time to its first painted
// window against a bare Qt window in the same run, and its resident size once shown and after lying idle.
// SPDX-License-Identifier: GPL-3.0-or-later
//
// ORX_STARTUP_APP names another build of the program to measure the same way (it needs the
// ORX_REPORT_FIRST_PAINT hook).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How long after its first paint the program is given to find the simulated amplifier and read it.
constexpr auto kConnectTime = std::chrono::seconds(2);

std::string programUnderTest()
{
    const char* other = std::getenv("ORX_STARTUP_APP");
    return other != nullptr && *other != '\0' ? other : ORX_BENCH_APP;
}

// Fresh settings, data and runtime folders for each start, removed afterwards: every run is a first start.
class ScratchHome {
public:
    ScratchHome()
    {
        char pattern[] = "/tmp/orx-startup-XXXXXX";
        m_root = mkdtemp(pattern);
        for (const char* sub : {"config", "data", "runtime"})
            fs::create_directory(m_root / sub);
        fs::permissions(m_root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    }
    ~ScratchHome()
    {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    std::map<std::string, std::string> environment() const
    {
        return {{"XDG_CONFIG_HOME", (m_root / "config").string()},
                {"XDG_DATA_HOME", (m_root / "data").string()},
                {"XDG_RUNTIME_DIR", (m_root / "runtime").string()}};
    }

private:
    fs::path m_root;
};

class Child {
public:
    Child(const std::string& program, std::map<std::string, std::string> extra, const char* argument = nullptr)
    {
        extra.emplace("QT_QPA_PLATFORM", "offscreen");
        extra.emplace("ORX_SIMULATED_AMP", "2");
        extra.emplace("ORX_MIDI_API", "alsa");
        extra.emplace("ORX_REPORT_FIRST_PAINT", "1");
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (extra.find(entry.substr(0, entry.find('='))) == extra.end())
                env.push_back(entry);
        }
        for (const auto& [name, value] : extra)
            env.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::string path = program;
        std::string arg = argument != nullptr ? argument : "";
        char* argv[] = {path.data(), argument != nullptr ? arg.data() : nullptr, nullptr};
        m_started = Clock::now();
        if (posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv, envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = fdopen(out[0], "r");
    }
    ~Child()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            wait();
        }
        if (m_out != nullptr)
            std::fclose(m_out);
    }

    // The program's own figure (ms since its process started) and the time this side saw the line.
    struct FirstPaint {
        double reportedMs;
        double seenMs;
    };
    std::optional<FirstPaint> firstPaint()
    {
        char line[256];
        while (m_out != nullptr && m_pid > 0 && std::fgets(line, sizeof line, m_out) != nullptr) {
            double ms = 0;
            if (std::sscanf(line, "first-paint %lf", &ms) == 1)
                return FirstPaint{ms, std::chrono::duration<double, std::milli>(Clock::now() - m_started).count()};
        }
        return std::nullopt;
    }
    void wait()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    FILE* m_out = nullptr;
    Clock::time_point m_started;
};

std::optional<Child::FirstPaint> startOnce(const std::string& program, const char* argument = nullptr)
{
    ScratchHome home;
    auto env = home.environment();
    env.emplace("ORX_EXIT_AFTER_FIRST_PAINT", "1");
    Child child(program, env, argument);
    auto painted = child.firstPaint();
    if (painted)
        child.wait();
    return painted;
}

// All programs in each iteration, one after the other, so a busy moment of the machine hits them all. "ratio" is
// against the bare window; "ratio_text" against the same window with a line of text, which starts the fonts.
void BM_StartupToFirstPaint(benchmark::State& state)
{
    const std::string program = programUnderTest();
    double appSeen = 0, appReported = 0, bareSeen = 0, bareReported = 0, textSeen = 0;
    for (auto _ : state) {
        const auto bare = startOnce(ORX_BENCH_BARE_WINDOW);
        const auto text = startOnce(ORX_BENCH_BARE_WINDOW, "--text");
        const auto app = startOnce(program);
        if (!bare || !text || !app) {
            state.SkipWithError("a program ended without reporting its first paint");
            return;
        }
        state.SetIterationTime(app->seenMs / 1000.0);
        appSeen += app->seenMs;
        appReported += app->reportedMs;
        bareSeen += bare->seenMs;
        bareReported += bare->reportedMs;
        textSeen += text->seenMs;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["app_ms"] = appSeen / n;
    state.counters["app_self_ms"] = appReported / n;
    state.counters["bare_ms"] = bareSeen / n;
    state.counters["bare_self_ms"] = bareReported / n;
    state.counters["bare_text_ms"] = textSeen / n;
    state.counters["ratio"] = appSeen / bareSeen;
    state.counters["ratio_text"] = appSeen / textSeen;
    state.SetLabel(program);
}
BENCHMARK(BM_StartupToFirstPaint)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

std::map<std::string, long> statusOf(const std::string& path)
{
    std::map<std::string, long> values;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::istringstream rest(line.substr(colon + 1));
        long value = 0;
        if (rest >> value)
            values[line.substr(0, colon)] = value;
    }
    return values;
}

long residentKiB(pid_t pid)
{
    return statusOf("/proc/" + std::to_string(pid) + "/status")["VmRSS"];
}

// Voluntary context switches of each thread: a thread that sleeps and wakes adds one per wake-up.
std::map<std::string, long> voluntarySwitches(pid_t pid)
{
    std::map<std::string, long> perThread;
    std::error_code ignored;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored))
        perThread[task.path().filename().string()] = statusOf(task.path() / "status")["voluntary_ctxt_switches"];
    return perThread;
}

// Arg: seconds idle after the window is shown and connected.
void BM_ResidentMemory(benchmark::State& state)
{
    const std::string program = programUnderTest();
    const auto idle = std::chrono::seconds(state.range(0));
    for (auto _ : state) {
        ScratchHome home;
        Child child(program, home.environment());
        if (!child.firstPaint()) {
            state.SkipWithError("the program ended without reporting its first paint");
            return;
        }
        std::this_thread::sleep_for(kConnectTime);
        const long shown = residentKiB(child.pid());
        const auto before = voluntarySwitches(child.pid());
        std::this_thread::sleep_for(idle);
        const long idleRss = residentKiB(child.pid());
        const auto after = voluntarySwitches(child.pid());
        long total = 0, busiest = 0;
        for (const auto& [tid, count] : after) {
            const auto was = before.find(tid);
            const long woke = count - (was == before.end() ? 0 : was->second);
            total += woke;
            busiest = std::max(busiest, woke);
        }
        const double seconds = static_cast<double>(idle.count());
        state.counters["rss_shown_MiB"] = static_cast<double>(shown) / 1024.0;
        state.counters["rss_idle_MiB"] = static_cast<double>(idleRss) / 1024.0;
        state.counters["switches_per_s_all_threads"] = static_cast<double>(total) / seconds;
        state.counters["switches_per_s_busiest_thread"] = static_cast<double>(busiest) / seconds;
    }
    state.SetLabel(program);
}
BENCHMARK(BM_ResidentMemory)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
