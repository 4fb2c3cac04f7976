// Test files on disk: a per-process scratch folder, files written from bytes, and files made by sox.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CFIRFile.h"
#include "GenericException.h"
#include "RiffBuilder.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace orx::test {

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orx-audio-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ScratchFolder()
    {
        // Only the process that made the folder removes it, not a forked child.
        if (!m_path.empty() && ::getpid() == m_owner) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    pid_t m_owner = ::getpid();
};

inline const std::filesystem::path& scratch()
{
    static const ScratchFolder folder;
    return folder.path();
}

inline std::filesystem::path writeFile(const std::string& name, const Bytes& bytes)
{
    const std::filesystem::path path = scratch() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Runs sox with `args` (no shell, so nothing needs quoting); true when it exits with 0.
inline bool runSox(const std::vector<std::string>& args)
{
    std::vector<std::string> all{ORX_SOX_PATH, "-V1"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, ORX_SOX_PATH, nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What a program wrote on its standard output and its exit status (-1 when it did not run or exit).
struct ProgramRun {
    int status = -1;
    std::string output;
};

// Runs `args` (the program first; no shell, so nothing needs quoting), reading its standard output.
inline ProgramRun runProgram(const std::vector<std::string>& args)
{
    ProgramRun run;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<std::string> all = args;
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const bool spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t n; spawned && (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    if (spawned && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}

// How sox should make a test signal.
struct SoxSignal {
    std::string type = "wavpcm"; // sox file type: "wavpcm" keeps integer WAV out of the extensible layout
    int channels = 2;
    int rate = 44100;
    int bits = 16;
    int frames = 3000;
    std::string encoding = "signed-integer";
    std::string synth = "whitenoise"; // sine, whitenoise, ...
};

// Makes `name` in the scratch folder with sox, once per process; fails the current test when sox fails.
inline std::filesystem::path soxFile(const std::string& name, const SoxSignal& s)
{
    const std::filesystem::path path = scratch() / name;
    if (std::filesystem::exists(path))
        return path;
    // The rate goes on the input side too, or sox would resample the synthesised signal.
    const bool ok = runSox({"-r", std::to_string(s.rate), "-c", std::to_string(s.channels), "-n", "-t", s.type, "-e",
                            s.encoding, "-b", std::to_string(s.bits), path.string(), "synth",
                            std::to_string(s.frames) + "s", s.synth, "vol", "0.9"});
    EXPECT_TRUE(ok) << "sox could not make " << name;
    return path;
}

// What CFIRFile::open makes of the file: 0 when it opens, else the code it throws.
inline int openCode(CFIRFile& file, const std::filesystem::path& path)
{
    try {
        file.open(path);
        return 0;
    } catch (const mstd::CGenericException& e) {
        return e.getCode();
    }
}

inline int openCode(const std::filesystem::path& path)
{
    CFIRFile file;
    return openCode(file, path);
}

// A built file and what loading it must give.
struct FileCase {
    FileCase(std::string n, Bytes b, int c = 0, std::vector<std::int16_t> start = {})
        : name(std::move(n)), bytes(std::move(b)), code(c), coefficients(std::move(start))
    {
    }
    std::string name;
    Bytes bytes;
    int code = 0;                           // from open; 0 when the file must open
    std::vector<std::int16_t> coefficients; // the start of channel 0 when it opens; zeros follow
};

inline void PrintTo(const FileCase& c, std::ostream* os)
{
    *os << c.name;
}

inline void checkFileCase(const FileCase& c, const std::string& extension)
{
    const auto path = writeFile(c.name + extension, c.bytes);
    CFIRFile file;
    ASSERT_EQ(openCode(file, path), c.code);
    if (c.code != 0)
        return;
    std::vector<std::int16_t> expected(orx::kCoefficientCount, 0);
    std::copy(c.coefficients.begin(), c.coefficients.end(), expected.begin());
    std::vector<std::int16_t> out(orx::kCoefficientCount, 0x5555);
    file.readCoefficients(out.data(), 0);
    EXPECT_EQ(out, expected);
}

} // namespace orx::test
