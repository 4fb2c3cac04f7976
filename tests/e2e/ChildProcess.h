// A child process for the end-to-end tests: output captured line by line, input from the test or nowhere, always
// stopped and reaped.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
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
    // Where the child's standard input comes from: /dev/null (never the test's own terminal), or writeInput.
    enum class Input { None, FromTest };

    // Starts path with args; standard output and error both go to the captured lines. Throws when it cannot start.
    ChildProcess(const std::string& path, const std::vector<std::string>& args, Input input = Input::None)
    {
        int output[2];
        int execFailure[2];
        // A socket rather than a pipe, so a write after the child has gone fails instead of raising SIGPIPE.
        int toChild[2];
        if (input == Input::FromTest) {
            if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toChild) != 0)
                throw std::runtime_error("socketpair: " + std::string(std::strerror(errno)));
        } else {
            toChild[0] = -1;
            toChild[1] = open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (toChild[1] < 0)
                throw std::runtime_error("/dev/null: " + std::string(std::strerror(errno)));
        }
        if (pipe2(output, O_CLOEXEC) != 0) {
            closeBoth(toChild);
            throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
        }
        if (pipe2(execFailure, O_CLOEXEC) != 0) {
            closeBoth(toChild);
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
            closeBoth(toChild);
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
            dup2(toChild[1], STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            dup2(output[1], STDERR_FILENO);
            execv(path.c_str(), argv.data());
            const int error = errno;
            [[maybe_unused]] const auto written = write(execFailure[1], &error, sizeof error);
            _exit(127);
        }
        close(toChild[1]);
        m_input = toChild[0];
        close(output[1]);
        close(execFailure[1]);
        int error = 0;
        const auto got = read(execFailure[0], &error, sizeof error);
        close(execFailure[0]);
        if (got == static_cast<ssize_t>(sizeof error)) {
            closeInput();
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

    // Writes to the child's standard input (Input::FromTest only); false when the child no longer reads it.
    bool writeInput(const std::string& text)
    {
        std::size_t done = 0;
        while (m_input >= 0 && done < text.size()) {
            const ssize_t sent = send(m_input, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            done += static_cast<std::size_t>(sent);
        }
        return m_input >= 0;
    }

    // The child reads the end of its input.
    void closeInput()
    {
        if (m_input >= 0)
            close(m_input);
        m_input = -1;
    }

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

    // The whole lines captured from index `from` on.
    std::vector<std::string> lines(std::size_t from = 0) const
    {
        std::lock_guard lock(m_lock);
        if (from >= m_lines.size())
            return {};
        return std::vector<std::string>(m_lines.begin() + static_cast<std::ptrdiff_t>(from), m_lines.end());
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

    // Waits up to limit for the child to end by itself; returns its wait status, or nullopt if it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit)
    {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        while (running() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (running())
            return std::nullopt;
        return m_exitStatus;
    }

    // SIGTERM, then SIGKILL once gracePeriod has passed; always reaps. Returns the wait status.
    std::optional<int> stop(std::chrono::milliseconds gracePeriod = std::chrono::seconds(5))
    {
        closeInput();
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
        for (int i = 0; i < 2; ++i)
            if (fds[i] >= 0)
                close(fds[i]);
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
    int m_input = -1;
    std::optional<int> m_exitStatus;
    std::thread m_reader;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    std::string m_partial;
    bool m_outputEnded = false;
};

} // namespace orx::test
