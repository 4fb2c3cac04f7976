// What the process writes to its standard error while a test runs, for tests of the program's diagnostics.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace orx::test {

// Sends everything written to file descriptor 2 into a file until finish() (or destruction).
class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        std::cerr.flush();
        m_file = std::tmpfile();
        m_saved = dup(STDERR_FILENO);
        if (m_file && m_saved >= 0)
            dup2(fileno(m_file), STDERR_FILENO);
    }
    ~StderrCapture() { finish(); }

    std::string finish()
    {
        if (m_saved < 0)
            return m_text;
        std::fflush(stderr);
        std::cerr.flush();
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        m_saved = -1;
        if (m_file) {
            std::rewind(m_file);
            char buffer[1024];
            std::size_t got = 0;
            while ((got = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
                m_text.append(buffer, got);
            std::fclose(m_file);
            m_file = nullptr;
        }
        return m_text;
    }

private:
    std::FILE* m_file = nullptr;
    int m_saved = -1;
    std::string m_text;
};

inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

} // namespace orx::test
