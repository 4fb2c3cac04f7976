// Files from a real encoder (sox) loaded by CFIRFile and by libsndfile: the coefficients must agree.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AiffFormatReader.h"
#include "AudioFiles.h"
#include "AudioFormatReaderFileDecorator.h"
#include "WaveFormatReader.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace orx::test;

namespace {

// Container ("wav" or "aiff"), channels, bits, frames.
using OracleCase = std::tuple<std::string, int, int, int>;

std::string caseName(const OracleCase& c)
{
    const auto& [type, channels, bits, frames] = c;
    return type + (channels == 1 ? "Mono" : "Stereo") + std::to_string(bits) + "Bit" + std::to_string(frames);
}

// libsndfile's samples of the whole file, interleaved and left-justified in 32 bits.
std::vector<int> sndfileSamples(const std::filesystem::path& path, SF_INFO& info)
{
    info = {};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    if (!file)
        return {};
    std::vector<int> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(sf_readf_int(file.get(), samples.data(), info.frames) * info.channels));
    return samples;
}

class SndfileOracle : public ::testing::TestWithParam<OracleCase> {};

TEST_P(SndfileOracle, CoefficientsAreTheUpperSixteenBitsOfEachChannel)
{
    const auto& [type, channels, bits, frames] = GetParam();
    const bool wav = type == "wav";
    // Noise for the long files exercises every bit; a sine for the short, zero-padded ones.
    const SoxSignal signal{.type = wav ? "wavpcm" : "aiff",
                           .channels = channels,
                           .bits = bits,
                           .frames = frames,
                           .synth = frames > 2048 ? "whitenoise" : "sine"};
    const auto path = soxFile(caseName(GetParam()) + (wav ? ".wav" : ".aif"), signal);

    SF_INFO info;
    const std::vector<int> samples = sndfileSamples(path, info);
    ASSERT_EQ(info.frames, frames);
    ASSERT_EQ(info.channels, channels);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames * channels));

    CFIRFile file;
    ASSERT_EQ(openCode(file, path), 0);
    EXPECT_EQ(file.getReader()->getLength(), frames);

    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        std::vector<std::int16_t> expected(orx::kCoefficientCount, 0);
        for (int i = 0; i < std::min<int>(frames, orx::kCoefficientCount) && channel < channels; ++i)
            expected[static_cast<std::size_t>(i)] =
                static_cast<std::int16_t>(samples[static_cast<std::size_t>(i * channels + channel)] >> 16);
        if (channel < channels) {
            ASSERT_NE(expected, std::vector<std::int16_t>(orx::kCoefficientCount, 0)) << "a silent fixture";
        }
        std::vector<std::int16_t> out(orx::kCoefficientCount, 0x5555);
        file.readCoefficients(out.data(), channel);
        EXPECT_EQ(out, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Sox, SndfileOracle,
                         ::testing::Combine(::testing::Values("wav", "aiff"), ::testing::Values(1, 2),
                                            ::testing::Values(16, 24, 32), ::testing::Values(3000, 1000)),
                         [](const auto& info) { return caseName(info.param); });

// The readers' own int32 output is what libsndfile gives, through every block of a longer file.
TEST(SndfileOracleReaders, Int32SamplesMatchAcrossBlocks)
{
    for (const std::string type : {"wavpcm", "aiff"}) {
        SCOPED_TRACE(type);
        const auto path = soxFile(type == "aiff" ? "blocks24.aiff" : "blocks24.wav",
                                  {.type = type, .channels = 2, .bits = 24, .frames = 5000});
        SF_INFO info;
        const std::vector<int> samples = sndfileSamples(path, info);
        ASSERT_EQ(samples.size(), 10000u);

        std::unique_ptr<eLibrary::AudioFormatReader> reader;
        if (type == "aiff")
            reader = std::make_unique<eLibrary::AudioFormatReaderFileDecorator<eLibrary::AiffFormatReader>>(path);
        else
            reader = std::make_unique<eLibrary::AudioFormatReaderFileDecorator<eLibrary::WaveFormatReader>>(path);
        ASSERT_TRUE(reader->isValid());
        std::vector<std::int32_t> left(5000), right(5000);
        std::int32_t* dest[2] = {left.data(), right.data()};
        ASSERT_EQ(reader->readInt32(dest, 2, 5000), 5000);
        for (std::size_t i = 0; i < 5000; ++i) {
            ASSERT_EQ(left[i], samples[2 * i]) << "frame " << i;
            ASSERT_EQ(right[i], samples[2 * i + 1]) << "frame " << i;
        }
    }
}

} // namespace
