// The MIDI trace: one line per message, written whole so lines of two threads never mix.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTrace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace orx::miditrace {

namespace {

// Set while the libraries load, which is as near to the program's start as a library gets.
const auto g_start = std::chrono::steady_clock::now();

std::atomic<int> g_enabled{-1}; // -1: not looked at yet
std::mutex g_writerLock;
Writer g_writer; // guarded by g_writerLock

} // namespace

bool enabled()
{
    int state = g_enabled.load();
    if (state < 0) {
        const char* value = std::getenv("ORX_MIDI_TRACE");
        int fromEnvironment = value && std::strcmp(value, "1") == 0 ? 1 : 0;
        g_enabled.compare_exchange_strong(state, fromEnvironment);
        state = g_enabled.load();
    }
    return state == 1;
}

bool setEnabled(bool on)
{
    const bool previous = enabled();
    g_enabled = on ? 1 : 0;
    return previous;
}

Writer setWriter(Writer writer)
{
    std::lock_guard lock(g_writerLock);
    std::swap(g_writer, writer);
    return writer;
}

std::string formatLine(double milliseconds, Direction direction, std::string_view port, const std::uint8_t* data,
                       std::size_t size)
{
    char time[48];
    std::snprintf(time, sizeof time, "MIDI %.3f ms ", milliseconds);
    std::string line = time;
    line += direction == Direction::Out ? "out \"" : "in \"";
    line += port;
    line += "\":";
    static constexpr char kHex[] = "0123456789ABCDEF";
    line.reserve(line.size() + size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        line += ' ';
        line += kHex[data[i] >> 4];
        line += kHex[data[i] & 0x0F];
    }
    return line;
}

void message(Direction direction, std::string_view port, const std::uint8_t* data, std::size_t size)
{
    if (!enabled())
        return;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_start).count();
    const std::string line = formatLine(ms, direction, port, data, size);
    std::lock_guard lock(g_writerLock);
    if (g_writer) {
        g_writer(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace orx::miditrace
