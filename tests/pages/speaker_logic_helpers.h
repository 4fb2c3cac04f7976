// The impulse-response folder and record reading shared by the speaker page's window and logic tests.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceRecords.h"
#include "SimulatedAmp.h"
#include "WaveFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orx::test {

using Coefficients = std::array<std::int16_t, kCoefficientCount>;

// A full-length response whose samples differ with the seed, so each file is told apart by its coefficients.
inline std::vector<std::int16_t> ramp(int seed)
{
    std::vector<std::int16_t> samples(kCoefficientCount);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((static_cast<int>(i) * seed) % 4001 - 2000);
    return samples;
}

inline Coefficients asCoefficients(const std::vector<std::int16_t>& samples)
{
    Coefficients c{};
    std::copy_n(samples.begin(), std::min(samples.size(), c.size()), c.begin());
    return c;
}

// A mono file, two stereo files with their channels swapped, a folder with one more file, and a file that is
// no sound at all.
inline void writeIrLibrary(const std::filesystem::path& folder, const std::vector<std::int16_t>& mono,
                           const std::vector<std::int16_t>& left, const std::vector<std::int16_t>& right)
{
    std::filesystem::create_directories(folder / "Cabs");
    writeWave(folder / "Warm Cab.2x12.wav", {mono});
    writeWave(folder / "Stereo.wav", {left, right});
    writeWave(folder / "Other Stereo.wav", {right, left});
    writeWave(folder / "Cabs" / "Inner.wav", {mono});
    std::ofstream(folder / "broken.wav") << "not a sound file";
}

// A mono WAV of 32-bit float samples (format tag 3), at 44.1 kHz.
inline void writeFloatWave(const std::filesystem::path& path, const std::vector<float>& samples)
{
    auto le = [](std::ofstream& out, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const auto data = static_cast<std::uint32_t>(samples.size() * 4);
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    le(out, 36 + data, 4);
    out.write("WAVEfmt ", 8);
    le(out, 16, 4);
    le(out, 3, 2); // IEEE float
    le(out, 1, 2);
    le(out, 44100, 4);
    le(out, 44100 * 4, 4);
    le(out, 4, 2);
    le(out, 32, 2);
    out.write("data", 4);
    le(out, data, 4);
    for (float v : samples) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        le(out, bits, 4);
    }
}

// Files that need, or refuse, the conversion: "Warm 48k.wav" (48 kHz, 16-bit, mono, a constant 8000 that
// resampling must keep), "Plain.wav" (44.1 kHz, 16-bit, mono), "Three.wav" (three channels) and "Float.wav"
// (32-bit float, mono).
inline void writeConversionFiles(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    writeWave(folder / "Warm 48k.wav", {std::vector<std::int16_t>(2400, 8000)}, 48000);
    writeWave(folder / "Plain.wav", {ramp(3)});
    writeWave(folder / "Three.wav", {ramp(3), ramp(5), ramp(7)});
    writeFloatWave(folder / "Float.wav", std::vector<float>(kCoefficientCount, 0.25F));
}

// Amp channel II plays CRUNCH, whose slot holds "Crunch Box" at -10 dB.
inline void playCrunchBoxOnChannelTwo(sim::SimulatedAmp& amp)
{
    amp.setEffectByte(EffectData::kSlotChannel2, 2);
    FIRRecord crunch = sim::factoryRecord(7);
    std::memcpy(crunch.irName.data(), "Crunch Box", 11);
    crunch.FIRCOE = 5181;
    amp.setSlot(7, crunch);
}

inline std::string nameOf(const FIRRecord& record)
{
    return std::string(reinterpret_cast<const char*>(record.irName.data()));
}

} // namespace orx::test
