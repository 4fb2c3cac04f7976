// WAV files built byte by byte: the chunk walk, the validity rules, and the reader's frame positions.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioFiles.h"
#include "AudioFormatReaderFileDecorator.h"
#include "WaveFormatReader.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

using namespace orx::test;
using eLibrary::AudioFormatReaderFileDecorator;
using eLibrary::WaveFormatReader;

namespace {

// Four stereo 16-bit frames: the left channel is what the loader returns for channel 0.
const std::vector<std::int16_t> kLeft{1000, -2000, 3000, -4000};
const Bytes kPcm = leSamples({1000, 5, -2000, 6, 3000, 7, -4000, 8}, 2);
const Bytes kData = wavChunk("data", kPcm);
const Bytes kFmt = fmtChunk({});
const Bytes kList = wavChunk("LIST", cat({fourcc("INFO"), wavChunk("INAM", {'a', 'm', 'p', 0})}));
const Bytes kFact = wavChunk("fact", le32(4));

std::vector<FileCase> walkCases()
{
    const Bytes otherData = wavChunk("data", leSamples({1, 2, 3, 4}, 2));
    return {
        {"Plain", riff(cat({kFmt, kData})), 0, kLeft},
        {"ListAndFactBeforeFmt", riff(cat({kList, kFact, kFmt, kData})), 0, kLeft},
        {"ListAndFactAroundData", riff(cat({kFmt, kList, kData, kFact, kList})), 0, kLeft},
        {"OddChunkThenPadByte", riff(cat({kFmt, wavChunk("junk", {1, 2, 3}), kData})), 0, kLeft},
        {"ZeroSizedChunks", riff(cat({wavChunk("zero", {}), kFmt, wavChunk("none", {}), kData})), 0, kLeft},
        {"Fmt18", riff(cat({fmtChunk({.size = 18}), kData})), 0, kLeft},
        {"Fmt40Pcm", riff(cat({fmtChunk({.size = 40}), kData})), 0, kLeft},
        {"LaterFmtWins", riff(cat({fmtChunk({.rate = 48000}), kFmt, kData})), 0, kLeft},
        {"LaterDataWins", riff(cat({kFmt, otherData, kData})), 0, kLeft},
        {"DataBeforeFmt", riff(cat({kData, kFmt})), 0, kLeft},
        {"DataAfterTheRiffEnd", cat({rawChunk(Endian::Little, "RIFF", 4 + 24, cat({fourcc("WAVE"), kFmt})), kData}), 0,
         kLeft},
        {"RiffSizeOverstated", rawChunk(Endian::Little, "RIFF", 0xFFFFFFFF, cat({fourcc("WAVE"), kFmt, kData})), 0,
         kLeft},
        {"TruncatedHeaderAfterData", cat({riff(cat({kFmt, kData})), Bytes{'L', 'I', 'S', 'T', 0x10}}), 0, kLeft},
        {"TruncatedHeaderInsideRiff", riff(cat({kFmt, kData, Bytes{'L', 'I', 'S'}})), 0, kLeft},
        {"WrappingChunkAfterData", riff(cat({kFmt, kData, rawChunk(Endian::Little, "junk", 0xFFFFFFFF, {1, 2})})), 0,
         kLeft},
        // The walk stops at a chunk claiming the rest of the address space, so the data is never reached.
        {"WrappingChunkBeforeData", riff(cat({kFmt, rawChunk(Endian::Little, "junk", 0xFFFFFFF8, {}), kData})), 1005},
        {"TruncatedDataHeader", cat({riff(kFmt), Bytes{'d', 'a', 't'}}), 1005},
        {"NoData", riff(kFmt), 1005},
        {"NoFmt", riff(kData), 1007},
        {"NotWave", riff(cat({kFmt, kData}), "AVI "), 1005},
        {"Extensible", riff(cat({fmtChunk({.tag = 0xFFFE, .size = 40}), kData})), 1005},
        {"Float", riff(cat({fmtChunk({.tag = 3, .bits = 32}), wavChunk("data", Bytes(32, 0))})), 1005},
        {"BlockAlignTwo", riff(cat({fmtChunk({.blockAlign = 2}), kData})), 1005},
        {"ByteRateOfMono", riff(cat({fmtChunk({.byteRate = 88200}), kData})), 1005},
        {"DataNotWholeFrames", riff(cat({kFmt, wavChunk("data", cat({kPcm, Bytes{0, 0}}))})), 1005},
        {"Rate48000", riff(cat({fmtChunk({.rate = 48000}), kData})), 1007},
        {"ThreeChannels", riff(cat({fmtChunk({.channels = 3}), wavChunk("data", Bytes(24, 0))})), 1006},
        {"EightBit", riff(cat({fmtChunk({.bits = 8}), kData})), 1008},
        {"TwelveBit", riff(cat({fmtChunk({.bits = 12}), kData})), 1008},
        // Ordering of the checks: rate before channels before sample size.
        {"Rate48000ThreeChannelsEightBit", riff(cat({fmtChunk({.channels = 3, .rate = 48000, .bits = 8}), kData})),
         1007},
        {"ThreeChannelsEightBit", riff(cat({fmtChunk({.channels = 3, .bits = 8}), wavChunk("data", Bytes(6, 0))})),
         1006},
    };
}

class WaveWalk : public ::testing::TestWithParam<FileCase> {};

TEST_P(WaveWalk, OpensAndLoadsAsExpected)
{
    checkFileCase(GetParam(), ".wav");
}

INSTANTIATE_TEST_SUITE_P(Files, WaveWalk, ::testing::ValuesIn(walkCases()),
                         [](const auto& info) { return info.param.name; });

// Wider samples keep their upper 16 bits: floor division, so small negatives become -1, not 0.
std::vector<FileCase> depthCases()
{
    const std::vector<std::int32_t> mono24{-1, 0xFF, 0x7FFFFF, -0x800000, 0x123456, -0x123456, 0x100};
    const std::vector<std::int32_t> stereo32{
        -1, 9,        0x1FFFF, 9, std::numeric_limits<std::int32_t>::min(), 9, std::numeric_limits<std::int32_t>::max(),
        9,  -0x10001, 9};
    return {
        {"Mono24",
         riff(cat({fmtChunk({.channels = 1, .bits = 24}), wavChunk("data", leSamples(mono24, 3))})),
         0,
         {-1, 0, 32767, -32768, 0x1234, -0x1235, 1}},
        {"Stereo32",
         riff(cat({fmtChunk({.bits = 32}), wavChunk("data", leSamples(stereo32, 4))})),
         0,
         {-1, 1, -32768, 32767, -2}},
        {"Mono16",
         riff(cat({fmtChunk({.channels = 1}), wavChunk("data", leSamples({-32768, 32767, -1}, 2))})),
         0,
         {-32768, 32767, -1}},
    };
}

class WaveDepth : public ::testing::TestWithParam<FileCase> {};

TEST_P(WaveDepth, KeepsTheUpperSixteenBits)
{
    checkFileCase(GetParam(), ".wav");
}

INSTANTIATE_TEST_SUITE_P(Files, WaveDepth, ::testing::ValuesIn(depthCases()),
                         [](const auto& info) { return info.param.name; });

// 10000 stereo 16-bit frames whose left sample is the frame number.
Bytes tenThousandFrames()
{
    std::vector<std::int32_t> samples;
    for (int i = 0; i < 10000; ++i) {
        samples.push_back(i);
        samples.push_back(-i);
    }
    return riff(cat({kList, kFmt, wavChunk("data", leSamples(samples, 2))}));
}

TEST(WaveReader, LengthAndSeeksAreInFramesClampedToTheData)
{
    const Bytes file = tenThousandFrames();
    const auto path = writeFile("ten-thousand.wav", file);
    eLibrary::InputFileStream stream(path);
    WaveFormatReader reader(&stream);
    ASSERT_TRUE(reader.isValid());
    EXPECT_EQ(reader.getLength(), 10000);
    EXPECT_EQ(reader.getPosition(), 0) << "a new reader starts at the first frame";

    std::array<std::int16_t, 1> left{};
    std::int16_t* dest[1] = {left.data()};
    ASSERT_TRUE(reader.seek(1234));
    EXPECT_EQ(reader.getPosition(), 1234);
    ASSERT_EQ(reader.readInt16(dest, 1, 1), 1);
    EXPECT_EQ(left[0], 1234);

    ASSERT_TRUE(reader.seek(-5));
    EXPECT_EQ(reader.getPosition(), 0);
    ASSERT_EQ(reader.readInt16(dest, 1, 1), 1);
    EXPECT_EQ(left[0], 0);

    ASSERT_TRUE(reader.seek(10001));
    EXPECT_EQ(stream.getPosition(), static_cast<std::int32_t>(file.size())) << "just after the last sample byte";
    EXPECT_EQ(reader.getPosition(), 10000);
    EXPECT_EQ(reader.readInt16(dest, 1, 1), 0);
}

// A recorder that streams leaves the data size at (nearly) its largest value and never comes back to fix
// it. The length is still the stated size in whole frames, however far it lies past the signed range.
TEST(WaveReader, LengthIsTheStatedDataSizeInFramesUpToTheUnsignedLimit)
{
    struct Case {
        const char* name;
        WaveFmt fmt;
        std::uint32_t dataSize;
        std::int64_t frames; // dataSize / block align, worked out by hand
    };
    const Case cases[] = {
        {"Mono8AllOnes", {.channels = 1, .bits = 8}, 0xFFFFFFFF, 4294967295},
        {"Mono8", {.channels = 1, .bits = 8}, 0xFFFFFFF0, 4294967280},
        {"Mono16", {.channels = 1}, 0xFFFFFFF0, 2147483640},
        {"Stereo16", {}, 0xFFFFFFF0, 1073741820},
        {"Stereo24", {.bits = 24}, 0xFFFFFFF0, 715827880},
        {"Stereo16JustPastSigned", {}, 0x80000000, 536870912},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Only a few real sample bytes follow the header that states the huge size.
        const Bytes data = rawChunk(Endian::Little, "data", c.dataSize, Bytes(12, 0x11));
        AudioFormatReaderFileDecorator<WaveFormatReader> reader(
            writeFile(std::string("stated-") + c.name + ".wav", riff(cat({fmtChunk(c.fmt), data}))));
        ASSERT_FALSE(reader.isError());
        EXPECT_EQ(reader.getLength(), c.frames);
    }
}

TEST(WaveReader, ReadsStopAtTheEndOfTheData)
{
    AudioFormatReaderFileDecorator<WaveFormatReader> reader(writeFile("ten-thousand.wav", tenThousandFrames()));
    ASSERT_TRUE(reader.seek(9990));
    std::array<std::int32_t, 64> left{}, right{};
    std::int32_t* dest[2] = {left.data(), right.data()};
    ASSERT_EQ(reader.readInt32(dest, 2, 64), 10) << "only the frames left";
    EXPECT_EQ(left[9], 9999 << 16);
    EXPECT_EQ(right[9], -9999 * 65536);
    EXPECT_EQ(reader.readInt32(dest, 2, 64), 0);
}

TEST(WaveReader, FloatFileReadsThroughEveryOutputType)
{
    const Bytes samples = cat({le32(0x3F800000), le32(0xBF000000)}); // 1.0, -0.5
    const auto path = writeFile(
        "float.wav", riff(cat({fmtChunk({.tag = 3, .channels = 1, .bits = 32}), kFact, wavChunk("data", samples)})));
    AudioFormatReaderFileDecorator<WaveFormatReader> reader(path);
    EXPECT_FALSE(reader.isValid()) << "float files are refused for loading but can still be read";
    std::array<std::int16_t, 2> s16{};
    std::array<float, 2> f{};
    std::int16_t* d16[1] = {s16.data()};
    float* df[1] = {f.data()};
    ASSERT_EQ(reader.readInt16(d16, 1, 2), 2);
    EXPECT_EQ(s16, (std::array<std::int16_t, 2>{32767, -16384}));
    ASSERT_TRUE(reader.seek(0));
    ASSERT_EQ(reader.readFloat(df, 1, 2), 2);
    EXPECT_EQ(f, (std::array<float, 2>{1.0f, -0.5f}));
}

// Broken layouts that must neither divide by zero nor write beyond the caller's buffers.
TEST(WaveReader, BrokenLayoutsDeliverNothing)
{
    const Bytes alignZero =
        rawChunk(Endian::Little, "fmt ", 16, cat({le16(1), le16(2), le32(44100), le32(176400), le16(0), le16(16)}));
    const std::vector<FileCase> broken{
        {"BlockAlignZero", riff(cat({alignZero, kData}))},
        {"FrameOverABlock", riff(cat({fmtChunk({.channels = 600}), wavChunk("data", Bytes(2400, 1))}))},
        {"ZeroChannels", riff(cat({fmtChunk({.channels = 0, .blockAlign = 4}), kData}))},
        {"SixtyFourBit", riff(cat({fmtChunk({.bits = 64}), wavChunk("data", Bytes(64, 1))}))},
    };
    for (const FileCase& c : broken) {
        SCOPED_TRACE(c.name);
        AudioFormatReaderFileDecorator<WaveFormatReader> reader(writeFile(c.name + ".wav", c.bytes));
        EXPECT_FALSE(reader.isValid());
        reader.seek(0);
        EXPECT_EQ(reader.getPosition(), 0);
        std::array<std::int16_t, 8> a{}, b{};
        std::int16_t* dest[2] = {a.data(), b.data()};
        EXPECT_EQ(reader.readInt16(dest, 2, 4), 0);
        EXPECT_EQ(a, (std::array<std::int16_t, 8>{}));
    }
}

} // namespace
