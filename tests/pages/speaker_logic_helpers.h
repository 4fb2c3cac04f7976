// The impulse-response folder and record reading shared by the speaker page's window and logic tests.
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
