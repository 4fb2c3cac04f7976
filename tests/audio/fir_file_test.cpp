// CFIRFile: which code each kind of file opens with, the channel rules of readCoefficients, and IR names.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <string>

using namespace orx::test;

namespace {

std::filesystem::path validWav()
{
    return writeFile("valid.wav", riff(cat({fmtChunk({}), wavChunk("data", leSamples({1, 2, 3, 4}, 2))})));
}

std::filesystem::path validAiff()
{
    return writeFile("valid.aiff", form(cat({commChunk(2, 2, 16), ssndChunk(beSamples({1, 2, 3, 4}, 2))})));
}

std::filesystem::path copyAs(const std::filesystem::path& from, const std::string& name)
{
    const auto to = scratch() / name;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    return to;
}

struct OpenCase {
    std::string name;
    std::function<std::filesystem::path()> make;
    int code;
};

void PrintTo(const OpenCase& c, std::ostream* os)
{
    *os << c.name;
}

class OpenCodes : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenCodes, OpenGivesTheExpectedCode)
{
    const auto path = GetParam().make();
    EXPECT_EQ(openCode(path), GetParam().code);
}

SoxSignal aiffSignal(SoxSignal s)
{
    s.type = "aiff";
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenCodes,
    ::testing::Values(
        OpenCase{"UpperCaseWav", [] { return copyAs(validWav(), "upper.WAV"); }, 0},
        OpenCase{"MixedCaseAiff", [] { return copyAs(validAiff(), "mixed.AiFf"); }, 0},
        OpenCase{"UpperCaseAif", [] { return copyAs(validAiff(), "upper.AIF"); }, 0},
        OpenCase{"WavNamedMp3", [] { return copyAs(validWav(), "song.mp3"); }, 1005},
        OpenCase{"NoDot", [] { return copyAs(validWav(), "impulse"); }, 1005},
        OpenCase{"DotOnlyInFolder",
                 [] {
                     std::filesystem::create_directories(scratch() / "set.wav");
                     return copyAs(validWav(), "set.wav/impulse");
                 },
                 1005},
        OpenCase{"MissingFile", [] { return scratch() / "missing.wav"; }, 1005},
        OpenCase{"FolderNamedWav",
                 [] {
                     const auto dir = scratch() / "folder.wav";
                     std::filesystem::create_directories(dir);
                     return dir;
                 },
                 1005},
        // Text has no fmt chunk, so the rate reads as 0: the rate check fails first.
        OpenCase{"TextNamedWav",
                 [] {
                     return writeFile("notes.wav", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
                 },
                 1007},
        OpenCase{"TextNamedAiff",
                 [] {
                     const std::string text = "not an aiff file at all\n";
                     return writeFile("notes.aiff", Bytes(text.begin(), text.end()));
                 },
                 1007},
        OpenCase{"EmptyWav", [] { return writeFile("empty.wav", {}); }, 1007},
        OpenCase{"SoxWav48k", [] { return soxFile("r48.wav", {.rate = 48000}); }, 1007},
        OpenCase{"SoxAiff48k", [] { return soxFile("r48.aiff", aiffSignal({.rate = 48000})); }, 1007},
        OpenCase{"SoxWavThreeChannels", [] { return soxFile("c3.wav", {.channels = 3}); }, 1006},
        OpenCase{"SoxAiffThreeChannels", [] { return soxFile("c3.aiff", aiffSignal({.channels = 3})); }, 1006},
        OpenCase{"SoxWavEightBit", [] { return soxFile("b8.wav", {.bits = 8, .encoding = "unsigned-integer"}); }, 1008},
        OpenCase{"SoxAiffEightBit", [] { return soxFile("b8.aiff", aiffSignal({.bits = 8})); }, 1008},
        OpenCase{"SoxWav48kThreeChannelsEightBit",
                 [] {
                     return soxFile("r48c3b8.wav",
                                    {.channels = 3, .rate = 48000, .bits = 8, .encoding = "unsigned-integer"});
                 },
                 1007},
        OpenCase{"SoxWavFloat",
                 [] { return soxFile("float.wav", {.type = "wav", .bits = 32, .encoding = "floating-point"}); }, 1005},
        // sox writes 24-bit WAV in the extensible layout unless told otherwise.
        OpenCase{"SoxWavExtensible", [] { return soxFile("ext24.wav", {.type = "wav", .bits = 24}); }, 1005}),
    [](const auto& info) { return info.param.name; });

// A file of nothing but nested container headers, as large as a long impulse response (2.4 MB), must be
// refused like any file without a format chunk, not recursed into until the stack runs out.
TEST(OpenDeathTest, DeeplyNestedContainersAreRefused)
{
    constexpr std::uint32_t kDepth = 200000;
    const auto wav = writeFile("nested.wav", nested(Endian::Little, "RIFF", "WAVE", kDepth));
    const auto aiff = writeFile("nested.aiff", nested(Endian::Big, "FORM", "AIFF", kDepth));
    EXPECT_EXIT(std::exit(openCode(wav) == 1007 ? 0 : 1), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(std::exit(openCode(aiff) == 1007 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

std::array<std::int16_t, orx::kCoefficientCount> filled(std::int16_t value)
{
    std::array<std::int16_t, orx::kCoefficientCount> out{};
    out.fill(value);
    return out;
}

int readCode(CFIRFile& file, std::int16_t* out, int channel)
{
    try {
        file.readCoefficients(out, channel);
        return 0;
    } catch (const mstd::CGenericException& e) {
        return e.getCode();
    }
}

TEST(ReadCoefficients, ChannelOutsideZeroAndOneFailsWithoutWriting)
{
    CFIRFile file;
    ASSERT_EQ(openCode(file, soxFile("stereo16.wav", {})), 0);
    for (int channel : {-1, 2, 3}) {
        auto out = filled(0x1234);
        EXPECT_EQ(readCode(file, out.data(), channel), 1009) << "channel " << channel;
        EXPECT_EQ(out, filled(0x1234)) << "channel " << channel;
    }
}

TEST(ReadCoefficients, FailsWhenNothingIsOpen)
{
    CFIRFile never;
    auto out = filled(0x1234);
    EXPECT_EQ(readCode(never, out.data(), 0), 1009);

    // A failed open must not leave the previous file loadable.
    CFIRFile reopened;
    ASSERT_EQ(openCode(reopened, soxFile("stereo16.wav", {})), 0);
    ASSERT_EQ(openCode(reopened, soxFile("r48.wav", {.rate = 48000})), 1007);
    EXPECT_EQ(readCode(reopened, out.data(), 0), 1009);
    EXPECT_EQ(out, filled(0x1234));
}

TEST(ReadCoefficients, MonoFileGivesSilenceOnTheSecondChannel)
{
    CFIRFile file;
    ASSERT_EQ(openCode(file, soxFile("mono16.aiff", aiffSignal({.channels = 1}))), 0);
    auto left = filled(0);
    auto right = filled(0x1234);
    file.readCoefficients(left.data(), 0);
    file.readCoefficients(right.data(), 1);
    EXPECT_NE(left, filled(0)) << "noise expected on the file's only channel";
    EXPECT_EQ(right, filled(0));
}

TEST(ReadCoefficients, RepeatedReadsStartFromTheFirstFrame)
{
    CFIRFile file;
    ASSERT_EQ(openCode(file, soxFile("stereo24.wav", {.bits = 24})), 0);
    auto first = filled(0);
    auto other = filled(0);
    auto again = filled(0);
    file.readCoefficients(first.data(), 0);
    file.readCoefficients(other.data(), 1);
    file.readCoefficients(again.data(), 0);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
}

struct NameCase {
    std::string name;
    const char* source;
    std::string stored;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.name;
}

class IRNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(IRNames, StoresAtMost63BytesZeroFilled)
{
    std::array<std::uint8_t, orx::kIrNameLength> dest{};
    dest.fill(0xAA);
    CFIRFile::copyIRName(dest.data(), GetParam().source);
    std::array<std::uint8_t, orx::kIrNameLength> expected{};
    std::copy(GetParam().stored.begin(), GetParam().stored.end(), expected.begin());
    EXPECT_EQ(dest, expected);
}

const std::string k70(70, 'x');
const std::string k63(63, 'y');

INSTANTIATE_TEST_SUITE_P(Names, IRNames,
                         ::testing::Values(NameCase{"Fifteen", "Cab 4x12 Closed", "Cab 4x12 Closed"},
                                           NameCase{"Empty", "", "Untitled"}, NameCase{"Null", nullptr, "Untitled"},
                                           NameCase{"SixtyThree", k63.c_str(), k63},
                                           NameCase{"Seventy", k70.c_str(), k70.substr(0, 63)}),
                         [](const auto& info) { return info.param.name; });

} // namespace
