// orx-amp-sim on a MIDI system's ports (the JACK server the process points at, unless told otherwise), driven
// through its command lines.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"
#include "JackServer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orx::test {

class AmpSimProcess {
public:
    // Starts orx-amp-sim with `--api API` and args, and waits for its "ready" line. Throws, with the
    // simulator's output, when it does not get ready within limit.
    explicit AmpSimProcess(const std::vector<std::string>& args, const std::string& api = "jack",
                           std::chrono::milliseconds limit = kStartLimit)
    {
        std::vector<std::string> all{"--api", api};
        all.insert(all.end(), args.begin(), args.end());
        m_process = std::make_unique<ChildProcess>(ORX_TEST_AMP_SIM, all, ChildProcess::Input::FromTest);
        if (!m_process->waitForLine([](const std::string& line) { return line.rfind("ready", 0) == 0; }, limit))
            throw std::runtime_error("orx-amp-sim did not get ready; its output:\n" + m_process->output());
    }

    // Runs one command line. Returns what the command printed, ending with its "ok ..." or "error: ..."
    // line, with the message lines of --verbose left out; nullopt when it did not finish within limit.
    std::optional<std::vector<std::string>> command(const std::string& line,
                                                    std::chrono::milliseconds limit = kMessageLimit)
    {
        const std::size_t from = m_process->lineCount();
        if (!m_process->writeInput(line + "\n"))
            return std::nullopt;
        if (!m_process->waitForLine(isFinal, limit, from))
            return std::nullopt;
        std::vector<std::string> printed;
        for (auto& captured : m_process->lines(from)) {
            if (captured.rfind("<- ", 0) == 0 || captured.rfind("-> ", 0) == 0)
                continue;
            const bool last = isFinal(captured);
            printed.push_back(std::move(captured));
            if (last)
                break;
        }
        return printed;
    }

    ChildProcess& process() { return *m_process; }
    std::string output() const { return m_process->output(); }

private:
    static bool isFinal(const std::string& line) { return line.rfind("ok ", 0) == 0 || line.rfind("error: ", 0) == 0; }

    std::unique_ptr<ChildProcess> m_process;
};

} // namespace orx::test
