// Small 16-bit PCM WAV files for tests that need an impulse response on disk.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace orx::test {

// One vector of samples per channel, all the same length; frame i holds sample i of every channel.
inline void writeWave(const std::filesystem::path& path, const std::vector<std::vector<std::int16_t>>& channels,
                      std::uint32_t rate = 44100)
{
    auto le = [](std::ofstream& out, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const auto frames = static_cast<std::uint32_t>(channels.front().size());
    const auto count = static_cast<std::uint32_t>(channels.size());
    const std::uint32_t data = frames * count * 2;
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    le(out, 36 + data, 4);
    out.write("WAVEfmt ", 8);
    le(out, 16, 4);
    le(out, 1, 2); // PCM
    le(out, count, 2);
    le(out, rate, 4);
    le(out, rate * count * 2, 4);
    le(out, count * 2, 2);
    le(out, 16, 2);
    out.write("data", 4);
    le(out, data, 4);
    for (std::uint32_t i = 0; i < frames; ++i)
        for (const auto& channel : channels)
            le(out, static_cast<std::uint16_t>(channel[i]), 2);
}

} // namespace orx::test
