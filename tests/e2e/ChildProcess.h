// A child process for the end-to-end tests: output captured line by line, always stopped and reaped.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace orx::test {

class ChildProcess {
public:
    // Starts path with args; standard output and error both go to the captured lines. Throws when it cannot start.
    ChildProcess(const std::string& path, const std::vector<std::string>& args)
    {
        int output[2];
        int execFailure[2];
        if (pipe2(output, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
        if (pipe2(execFailure, O_CLOEXEC) != 0) {
            closeBoth(output);
            throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
        }
        std::vector<std::string> argvStrings;
        argvStrings.push_back(path);
        argvStrings.insert(argvStrings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& s : argvStrings)
            argv.push_back(s.data());
        argv.push_back(nullptr);

        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid < 0) {
            closeBoth(output);
            closeBoth(execFailure);
            throw std::runtime_error("fork: " + std::string(std::strerror(errno)));
        }
        if (m_pid == 0) {
            // Only async-signal-safe calls from here on: the test process has threads.
            // A test run killed from outside must not leave its JACK server behind.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(output[1], STDOUT_FILENO);
            dup2(output[1], STDERR_FILENO);
            execv(path.c_str(), argv.data());
            const int error = errno;
            [[maybe_unused]] const auto written = write(execFailure[1], &error, sizeof error);
            _exit(127);
        }
        close(output[1]);
        close(execFailure[1]);
        int error = 0;
        const auto got = read(execFailure[0], &error, sizeof error);
        close(execFailure[0]);
        if (got == static_cast<ssize_t>(sizeof error)) {
            close(output[0]);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            throw std::runtime_error("cannot run " + path + ": " + std::strerror(error));
        }
        m_reader = std::thread([this, fd = output[0]] { readLoop(fd); });
    }

    ~ChildProcess() { stop(); }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits until a captured line matches, the child's output ends, or limit passes; returns the matching line.
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& matches,
                                           std::chrono::milliseconds limit, std::size_t fromLine = 0)
    {
        std::unique_lock lock(m_lock);
        std::optional<std::string> found;
        m_changed.wait_for(lock, limit, [&] {
            for (std::size_t i = fromLine; i < m_lines.size(); ++i) {
                if (matches(m_lines[i])) {
                    found = m_lines[i];
                    return true;
                }
            }
            return m_outputEnded;
        });
        return found;
    }

    std::size_t lineCount() const
    {
        std::lock_guard lock(m_lock);
        return m_lines.size();
    }

    // Everything captured so far, for failure messages.
    std::string output() const
    {
        std::lock_guard lock(m_lock);
        std::string all;
        for (const auto& line : m_lines)
            all += line + "\n";
        return all + m_partial;
    }

    bool running()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            m_exitStatus = status;
        }
        return m_pid > 0;
    }

    // SIGTERM, then SIGKILL once gracePeriod has passed; always reaps. Returns the wait status.
    std::optional<int> stop(std::chrono::milliseconds gracePeriod = std::chrono::seconds(5))
    {
        if (running()) {
            kill(m_pid, SIGTERM);
            const auto giveUp = std::chrono::steady_clock::now() + gracePeriod;
            while (running() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (m_pid > 0) {
                kill(m_pid, SIGKILL);
                int status = 0;
                waitpid(m_pid, &status, 0);
                m_exitStatus = status;
                m_pid = -1;
            }
        }
        if (m_reader.joinable())
            m_reader.join();
        return m_exitStatus;
    }

private:
    static void closeBoth(int fds[2])
    {
        close(fds[0]);
        close(fds[1]);
    }

    void readLoop(int fd)
    {
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            std::lock_guard lock(m_lock);
            for (ssize_t i = 0; i < got; ++i) {
                if (buffer[i] == '\n') {
                    m_lines.push_back(std::move(m_partial));
                    m_partial.clear();
                } else {
                    m_partial += buffer[i];
                }
            }
            m_changed.notify_all();
        }
        close(fd);
        std::lock_guard lock(m_lock);
        if (!m_partial.empty())
            m_lines.push_back(std::move(m_partial));
        m_partial.clear();
        m_outputEnded = true;
        m_changed.notify_all();
    }

    pid_t m_pid = -1;
    std::optional<int> m_exitStatus;
    std::thread m_reader;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    std::string m_partial;
    bool m_outputEnded = false;
};

} // namespace orx::test
