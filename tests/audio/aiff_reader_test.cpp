// AIFF files built byte by byte: the chunk walk, the validity rules, the rate field and frame positions.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AiffFormatReader.h"
#include "AudioFiles.h"
#include "AudioFormatReaderFileDecorator.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <utility>

using namespace orx::test;
using eLibrary::AiffFormatReader;
using eLibrary::AudioFormatReaderFileDecorator;

namespace {

// Four stereo 16-bit frames: the left channel is what the loader returns for channel 0.
const std::vector<std::int16_t> kLeft{1000, -2000, 3000, -4000};
const Bytes kPcm = beSamples({1000, 5, -2000, 6, 3000, 7, -4000, 8}, 2);
const Bytes kComm = commChunk(2, 4, 16);
const Bytes kSsnd = ssndChunk(kPcm);
const Bytes kComt = aiffChunk("COMT", cat({be16(1), be32(0), be16(0), be16(5), fourcc("note"), Bytes{'!', 0}}));
const Bytes kMark = aiffChunk("MARK", cat({be16(1), be16(1), be32(2), Bytes{3, 'c', 'u', 'e'}}));

std::vector<FileCase> walkCases()
{
    // Three mono 24-bit frames: a 17-byte SSND and so a pad byte; a COMM after it is only found past the pad.
    const Bytes odd24 = beSamples({0x123456, -1, 0x7FFFFF}, 3);
    return {
        {"Plain", form(cat({kComm, kSsnd})), 0, kLeft},
        {"MarkAndComtBeforeComm", form(cat({kMark, kComt, kComm, kSsnd})), 0, kLeft},
        {"SsndBeforeComm", form(cat({kSsnd, kComm})), 0, kLeft},
        {"SsndOffsetFour", form(cat({kComm, ssndChunk(kPcm, 4)})), 0, kLeft},
        {"OddMono24ThenPadByte", form(cat({ssndChunk(odd24), commChunk(1, 3, 24)})), 0, {0x1234, -1, 32767}},
        {"ZeroSizedChunk", form(cat({aiffChunk("APPL", {}), kComm, kSsnd})), 0, kLeft},
        {"LaterCommWins", form(cat({commChunk(2, 4, 16, kRate48000), kComm, kSsnd})), 0, kLeft},
        {"TruncatedHeaderAfterSsnd", cat({form(cat({kComm, kSsnd})), Bytes{'C', 'O', 'M', 'T', 0}}), 0, kLeft},
        {"WrappingChunkAfterSsnd", form(cat({kComm, kSsnd, rawChunk(Endian::Big, "APPL", 0xFFFFFFFF, {1})})), 0, kLeft},
        {"WrappingChunkBeforeSsnd", form(cat({kComm, rawChunk(Endian::Big, "APPL", 0xFFFFFFF8, {}), kSsnd})), 1005},
        {"Aifc", form(cat({kComm, kSsnd}), "AIFC"), 1005},
        {"Comm22", form(cat({aiffChunk("COMM", cat({be16(2), be32(4), be16(16), kRate44100, fourcc("NONE")})), kSsnd})),
         1005},
        {"MoreFramesThanSamples", form(cat({commChunk(2, 5, 16), kSsnd})), 1005},
        {"OffsetBeyondTheChunk", form(cat({kComm, rawChunk(Endian::Big, "SSND", 24, cat({be32(100), be32(0), kPcm}))})),
         1005},
        {"NoSsnd", form(kComm), 1005},
        {"NoComm", form(kSsnd), 1007},
        {"Rate48000", form(cat({commChunk(2, 4, 16, kRate48000), kSsnd})), 1007},
        {"ThreeChannels", form(cat({commChunk(3, 4, 16), ssndChunk(Bytes(24, 0))})), 1006},
        {"EightBit", form(cat({commChunk(2, 8, 8), kSsnd})), 1008},
    };
}

class AiffWalk : public ::testing::TestWithParam<FileCase> {};

TEST_P(AiffWalk, OpensAndLoadsAsExpected)
{
    checkFileCase(GetParam(), ".aiff");
}

INSTANTIATE_TEST_SUITE_P(Files, AiffWalk, ::testing::ValuesIn(walkCases()),
                         [](const auto& info) { return info.param.name; });

std::vector<FileCase> depthCases()
{
    const std::vector<std::int32_t> mono24{-1, 0xFF, 0x7FFFFF, -0x800000, 0x123456, -0x123456};
    const std::vector<std::int32_t> stereo32{-1, 9,        0x1FFFF, 9, std::numeric_limits<std::int32_t>::min(),
                                             9,  -0x10001, 9};
    return {
        {"Mono24",
         form(cat({commChunk(1, 6, 24), ssndChunk(beSamples(mono24, 3))})),
         0,
         {-1, 0, 32767, -32768, 0x1234, -0x1235}},
        {"Stereo32", form(cat({commChunk(2, 4, 32), ssndChunk(beSamples(stereo32, 4))})), 0, {-1, 1, -32768, -2}},
        // A valid file with no frames loads as silence.
        {"NoFrames", form(cat({commChunk(2, 0, 16), ssndChunk({})})), 0, {}},
    };
}

class AiffDepth : public ::testing::TestWithParam<FileCase> {};

TEST_P(AiffDepth, KeepsTheUpperSixteenBits)
{
    checkFileCase(GetParam(), ".aif");
}

INSTANTIATE_TEST_SUITE_P(Files, AiffDepth, ::testing::ValuesIn(depthCases()),
                         [](const auto& info) { return info.param.name; });

TEST(AiffRate, ExtendedBytesConvert)
{
    const std::uint8_t r44100[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    const std::uint8_t r48000[10] = {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0};
    const std::uint8_t r8000[10] = {0x40, 0x0B, 0xFA, 0x00, 0, 0, 0, 0, 0, 0};
    const std::uint8_t minusHalf[10] = {0xBF, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(eLibrary::extendedToDouble(r44100), 44100.0);
    EXPECT_EQ(eLibrary::extendedToDouble(r48000), 48000.0);
    EXPECT_EQ(eLibrary::extendedToDouble(r8000), 8000.0);
    EXPECT_EQ(eLibrary::extendedToDouble(minusHalf), -0.5);
}

TEST(AiffReader, A48kFileReportsItsRateButIsNotValid)
{
    AudioFormatReaderFileDecorator<AiffFormatReader> reader(
        writeFile("rate48k.aiff", form(cat({commChunk(2, 4, 16, kRate48000), kSsnd}))));
    EXPECT_FALSE(reader.isValidSampleRate());
    EXPECT_EQ(reader.getSampleRate(), 48000);
    EXPECT_TRUE(reader.isValidChannels());
    EXPECT_TRUE(reader.isValidBitsPerSample());
}

TEST(AiffReader, LengthIsTheCommFrameCountAndReadsStopAtTheSamplesEnd)
{
    AudioFormatReaderFileDecorator<AiffFormatReader> reader(
        writeFile("len.aiff", form(cat({commChunk(1, 3, 16), ssndChunk(beSamples({10, 20, 30}, 2), 4), kComt}))));
    ASSERT_TRUE(reader.isValid());
    EXPECT_EQ(reader.getLength(), 3);
    EXPECT_EQ(reader.getPosition(), 0);

    std::array<std::int16_t, 8> left{}, right{};
    right.fill(77);
    std::int16_t* dest[2] = {left.data(), right.data()};
    ASSERT_TRUE(reader.seek(1));
    ASSERT_EQ(reader.readInt16(dest, 2, 8), 2) << "the frames left";
    EXPECT_EQ(left[0], 20);
    EXPECT_EQ(left[1], 30);
    EXPECT_EQ(right[0], 77) << "a mono file writes only the first buffer";
    EXPECT_EQ(reader.readInt16(dest, 2, 8), 0);

    ASSERT_TRUE(reader.seek(-5));
    EXPECT_EQ(reader.getPosition(), 0);
    ASSERT_TRUE(reader.seek(99));
    EXPECT_EQ(reader.getPosition(), 3);
}

// The COMM frame count is unsigned 32-bit; counts past the signed range are still the count.
TEST(AiffReader, LengthIsTheCommFrameCountUpToTheUnsignedLimit)
{
    const std::pair<std::uint32_t, std::int64_t> cases[] = {
        {0xFFFFFFFF, 4294967295},
        {0x80000000, 2147483648},
    };
    for (const auto& [stated, frames] : cases) {
        SCOPED_TRACE(stated);
        AudioFormatReaderFileDecorator<AiffFormatReader> reader(
            writeFile("frames-" + std::to_string(stated) + ".aiff", form(cat({commChunk(2, stated, 16), kSsnd}))));
        ASSERT_FALSE(reader.isError());
        EXPECT_EQ(reader.getLength(), frames);
    }
}

// Broken layouts that must neither divide by zero nor write beyond the caller's buffers.
TEST(AiffReader, BrokenLayoutsDeliverNothing)
{
    const std::vector<FileCase> broken{
        {"FrameSizeZero", form(cat({commChunk(2, 4, 0), kSsnd}))},
        {"OffsetBeyondTheChunk",
         form(cat({kComm, rawChunk(Endian::Big, "SSND", 24, cat({be32(100), be32(0), kPcm}))}))},
        {"OffsetWrapsTheSize",
         form(cat({kComm, rawChunk(Endian::Big, "SSND", 16, cat({be32(0xFFFFFFF8), be32(0), kPcm}))}))},
        {"FrameOverABlock", form(cat({commChunk(300, 2, 32), ssndChunk(Bytes(2400, 1))}))},
        {"ZeroChannels", form(cat({commChunk(0, 4, 16), kSsnd}))},
        {"ShortSsnd", form(cat({kComm, rawChunk(Endian::Big, "SSND", 4, be32(0))}))},
    };
    for (const FileCase& c : broken) {
        SCOPED_TRACE(c.name);
        AudioFormatReaderFileDecorator<AiffFormatReader> reader(writeFile(c.name + ".aiff", c.bytes));
        reader.seek(0);
        EXPECT_EQ(reader.getPosition(), 0);
        std::array<std::int16_t, 8> a{}, b{};
        std::int16_t* dest[2] = {a.data(), b.data()};
        EXPECT_EQ(reader.readInt16(dest, 2, 4), 0);
        EXPECT_EQ(a, (std::array<std::int16_t, 8>{}));
    }
}

} // namespace
