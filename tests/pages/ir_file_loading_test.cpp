// Loading a file as the speaker page and orx-tevo install do: with the IR processing off the taps are the file's
// samples bit for bit; with a step on, that step is what the amplifier gets, and what it did is said.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrFileLoading.h"

#include "WaveFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>
#include <unistd.h>

namespace orx {
namespace {

struct NoFolders final : SettingsFolders {
    std::string localAppDataFolder() override { return {}; }
    std::string musicFolder() override { return {}; }
};

class IrFileLoading : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("orx_ir_loading_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // `delay` zeros, then a decaying alternating response of `length` samples starting at `peak`.
    std::filesystem::path write(const std::string& name, int delay, int length, double peak)
    {
        std::vector<std::int16_t> samples(static_cast<std::size_t>(delay), 0);
        for (int i = 0; i < length; ++i)
            samples.push_back(static_cast<std::int16_t>(std::lround(peak * std::pow(0.995, i) * (i % 2 ? -1 : 1))));
        const auto path = folder / name;
        test::writeWave(path, {samples});
        return path;
    }
    static double energyDb(const std::array<std::int16_t, kCoefficientCount>& taps)
    {
        double e = 0;
        for (const std::int16_t t : taps)
            e += static_cast<double>(t) * t;
        return 10 * std::log10(e);
    }
    LoadedIr load(const std::filesystem::path& path) { return loadIrFile(path, &settings, [] { return 0; }); }

    std::filesystem::path folder;
    AppSettings settings{std::make_shared<NoFolders>()};
};

TEST_F(IrFileLoading, WithEveryStepOffTheTapsAreTheFilesSamples)
{
    const auto path = write("plain.wav", 37, 3000, 20000);
    const LoadedIr loaded = load(path);
    EXPECT_TRUE(loaded.processing.empty()) << loaded.processing;
    for (std::size_t i = 0; i < 37; ++i)
        ASSERT_EQ(loaded.coefficients[i], 0) << i;
    for (std::size_t i = 37; i < kCoefficientCount; ++i)
        ASSERT_EQ(loaded.coefficients[i],
                  std::lround(20000 * std::pow(0.995, static_cast<double>(i - 37)) * ((i - 37) % 2 ? -1 : 1)))
            << i;
}

TEST_F(IrFileLoading, TrimmingStartsTheTapsAtTheResponseAndSaysSo)
{
    settings.TrimSilence = true;
    const LoadedIr loaded = load(write("delayed.wav", 221, 3000, 20000));
    EXPECT_EQ(loaded.coefficients[0], 20000);
    EXPECT_EQ(loaded.coefficients[1], -19900);
    EXPECT_NE(loaded.processing.find("trimmed 221 samples of leading silence"), std::string::npos)
        << loaded.processing;
}

// Two files of a pack 12 dB apart sound equally loud when tried one after the other.
TEST_F(IrFileLoading, MatchedLoudnessGivesTwoFiles12DbApartTheSameEnergy)
{
    const double loud = energyDb(load(write("loud.wav", 0, 3000, 16000)).coefficients);
    const double quiet = energyDb(load(write("quiet.wav", 0, 3000, 16000 / 3.981)).coefficients);
    EXPECT_NEAR(loud - quiet, 12.0, 0.05) << "the files as they are";
    settings.MatchLoudness = true;
    const LoadedIr a = load(folder / "loud.wav");
    const LoadedIr b = load(folder / "quiet.wav");
    EXPECT_NEAR(energyDb(a.coefficients), energyDb(b.coefficients), 0.1);
    EXPECT_NE(a.processing.find("loudness matched"), std::string::npos) << a.processing;
}

} // namespace
} // namespace orx
