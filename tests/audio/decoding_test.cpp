// The sample decoders: one row per container size and byte order, float conversion, and channel mapping.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleDecoding.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using eLibrary::ByteOrder;
using eLibrary::decodeBlock;
using eLibrary::hasDecoder;
using eLibrary::SampleFormat;

namespace {

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

struct DecodeRow {
    std::string name;
    std::vector<std::uint8_t> bytes; // one mono sample
    SampleFormat format;
    std::int16_t as16;
    std::int32_t as32;
    float asFloat;
};

SampleFormat aiff(int bits)
{
    return {1, bits, ByteOrder::BigEndian, 0};
}
SampleFormat wav(int bits)
{
    return {1, bits, ByteOrder::LittleEndian, eLibrary::kWaveFormatPCM};
}
SampleFormat wavFloat()
{
    return {1, 32, ByteOrder::LittleEndian, eLibrary::kWaveFormatFloat};
}

std::vector<std::uint8_t> floatBytes(float x)
{
    const auto bits = std::bit_cast<std::uint32_t>(x);
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

void PrintTo(const DecodeRow& row, std::ostream* os)
{
    *os << row.name;
}

class Decoders : public ::testing::TestWithParam<DecodeRow> {};

template <typename T> T decodeOne(const DecodeRow& row)
{
    T value{};
    T* dest[1] = {&value};
    EXPECT_TRUE(hasDecoder<T>(row.format));
    EXPECT_EQ(decodeBlock<T>(row.bytes.data(), row.format, 1, dest, 1, 0), 1);
    return value;
}

TEST_P(Decoders, DecodesToEachOutputType)
{
    const DecodeRow& row = GetParam();
    EXPECT_EQ(decodeOne<std::int16_t>(row), row.as16);
    EXPECT_EQ(decodeOne<std::int32_t>(row), row.as32);
    const float f = decodeOne<float>(row);
    if (std::isnan(row.asFloat))
        EXPECT_TRUE(std::isnan(f));
    else
        EXPECT_FLOAT_EQ(f, row.asFloat);
}

// Integer samples are left-justified: the output is the top of a 32-bit word, never rounded.
INSTANTIATE_TEST_SUITE_P(
    Integer, Decoders,
    ::testing::Values(
        DecodeRow{"Aiff16Min", {0x80, 0x00}, aiff(16), -32768, kInt32Min, -1.0f},
        DecodeRow{"Wav16Min", {0x00, 0x80}, wav(16), -32768, kInt32Min, -1.0f},
        DecodeRow{"Wav16Positive", {0x34, 0x12}, wav(16), 0x1234, 0x12340000, 0x1234 / 32768.0f},
        DecodeRow{"Aiff24Max", {0x7F, 0xFF, 0xFF}, aiff(24), 32767, 0x7FFFFF00, 0.99999988f},
        DecodeRow{"Aiff24MinusOne",
                  {0xFF, 0xFF, 0xFF},
                  aiff(24),
                  -1,
                  static_cast<std::int32_t>(0xFFFFFF00),
                  -256.0f / 2147483648.0f},
        DecodeRow{"Wav24", {0x56, 0x34, 0x12}, wav(24), 0x1234, 0x12345600, 0x123456 / 8388608.0f},
        DecodeRow{"Wav12DropsLowNibble", {0x3F, 0x12}, wav(12), 0x1230, 0x12300000, 0x1230 / 32768.0f},
        DecodeRow{"Aiff12DropsLowNibble", {0x12, 0x3F}, aiff(12), 0x1230, 0x12300000, 0x1230 / 32768.0f},
        DecodeRow{"Aiff20DropsLowNibble", {0x12, 0x34, 0x5F}, aiff(20), 0x1234, 0x12345000, 0x12345 / 524288.0f},
        DecodeRow{
            "Wav28DropsLowNibble", {0x7F, 0x56, 0x34, 0x12}, wav(28), 0x1234, 0x12345670, 0x1234567 / 134217728.0f},
        DecodeRow{"Aiff32", {0x80, 0x00, 0x00, 0x01}, aiff(32), -32768, kInt32Min + 1, -1.0f},
        DecodeRow{"Wav32MinusOne", {0xFF, 0xFF, 0xFF, 0xFF}, wav(32), -1, -1, -1.0f / 2147483648.0f},
        DecodeRow{"Wav8Zero", {0x00}, wav(8), -32768, kInt32Min, -1.0f},
        DecodeRow{"Wav8Middle", {0x80}, wav(8), 0, 0, 0.0f},
        DecodeRow{"Wav8Top", {0xFF}, wav(8), 32512, 0x7F000000, 127.0f / 128.0f},
        DecodeRow{"Aiff8Signed", {0x80}, aiff(8), -32768, kInt32Min, -1.0f},
        DecodeRow{"Aiff8Top", {0x7F}, aiff(8), 32512, 0x7F000000, 127.0f / 128.0f}),
    [](const auto& info) { return info.param.name; });

// Floats are scaled by 2^15 or 2^31, rounded half away from zero, and clamped; NaN is silence.
INSTANTIATE_TEST_SUITE_P(
    Float, Decoders,
    ::testing::Values(
        DecodeRow{"One", floatBytes(1.0f), wavFloat(), 32767, kInt32Max, 1.0f},
        DecodeRow{"MinusOne", floatBytes(-1.0f), wavFloat(), -32768, kInt32Min, -1.0f},
        DecodeRow{"Half", floatBytes(0.5f), wavFloat(), 16384, 0x40000000, 0.5f},
        DecodeRow{"HalfStep16Up", floatBytes(1.5f / 32768), wavFloat(), 2, 98304, 1.5f / 32768},
        DecodeRow{"HalfStep16Down", floatBytes(-1.5f / 32768), wavFloat(), -2, -98304, -1.5f / 32768},
        DecodeRow{"HalfStep32Up", floatBytes(2.5f / 2147483648.0f), wavFloat(), 0, 3, 2.5f / 2147483648.0f},
        DecodeRow{"HalfStep32Down", floatBytes(-2.5f / 2147483648.0f), wavFloat(), 0, -3, -2.5f / 2147483648.0f},
        DecodeRow{"AboveRange", floatBytes(4.0f), wavFloat(), 32767, kInt32Max, 4.0f},
        DecodeRow{"MinusInfinity", floatBytes(-kInf), wavFloat(), -32768, kInt32Min, -kInf},
        DecodeRow{"NaN", floatBytes(kNaN), wavFloat(), 0, 0, kNaN}),
    [](const auto& info) { return info.param.name; });

TEST(DecodeChannels, StereoFramesLandInTheirOwnBuffersFromTheStartIndex)
{
    // Three stereo 16-bit frames: left 1, 2, 3 and right -1, -2, -3.
    const std::uint8_t block[] = {1, 0, 0xFF, 0xFF, 2, 0, 0xFE, 0xFF, 3, 0, 0xFD, 0xFF};
    const SampleFormat stereo{2, 16, ByteOrder::LittleEndian, eLibrary::kWaveFormatPCM};
    std::array<std::int16_t, 6> left{}, right{};
    left.fill(99);
    right.fill(99);
    std::int16_t* dest[2] = {left.data(), right.data()};
    ASSERT_EQ(decodeBlock<std::int16_t>(block, stereo, 3, dest, 2, 2), 3);
    EXPECT_EQ(left, (std::array<std::int16_t, 6>{99, 99, 1, 2, 3, 99}));
    EXPECT_EQ(right, (std::array<std::int16_t, 6>{99, 99, -1, -2, -3, 99}));

    std::array<std::int16_t, 3> only{};
    std::int16_t* one[1] = {only.data()};
    ASSERT_EQ(decodeBlock<std::int16_t>(block, stereo, 3, one, 1, 0), 3);
    EXPECT_EQ(only, (std::array<std::int16_t, 3>{1, 2, 3})) << "one buffer asked from stereo: the left channel";
}

TEST(DecodeChannels, TwoBuffersFromMonoWriteOnlyTheFirst)
{
    const std::uint8_t block[] = {0x10, 0x00, 0x20, 0x00}; // big-endian 0x1000, 0x2000
    std::array<std::int32_t, 2> first{}, second{7, 7};
    std::int32_t* dest[2] = {first.data(), second.data()};
    ASSERT_EQ(decodeBlock<std::int32_t>(block, aiff(16), 2, dest, 2, 0), 2);
    EXPECT_EQ(first, (std::array<std::int32_t, 2>{0x10000000, 0x20000000}));
    EXPECT_EQ(second, (std::array<std::int32_t, 2>{7, 7}));
}

TEST(DecodeFormats, FormatsWithoutADecoderDecodeNothing)
{
    const SampleFormat none[] = {
        {1, 64, ByteOrder::LittleEndian, eLibrary::kWaveFormatPCM},
        {1, 64, ByteOrder::LittleEndian, eLibrary::kWaveFormatFloat},
        {1, 16, ByteOrder::LittleEndian, eLibrary::kWaveFormatFloat},
        {1, 16, ByteOrder::LittleEndian, 0xFFFE},
        {1, 16, ByteOrder::LittleEndian, 2},
        {1, 0, ByteOrder::BigEndian, 0},
        {1, 33, ByteOrder::BigEndian, 0},
    };
    const std::uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const SampleFormat& f : none) {
        SCOPED_TRACE("bits " + std::to_string(f.bitsPerSample) + " tag " + std::to_string(f.formatTag));
        std::int16_t out = 5;
        std::int16_t* dest[1] = {&out};
        EXPECT_FALSE(hasDecoder<std::int16_t>(f));
        EXPECT_EQ(decodeBlock<std::int16_t>(block, f, 1, dest, 1, 0), 0);
        EXPECT_EQ(out, 5);
    }
}

} // namespace
