// The loader's conversion: which files load with it and without it, the words for a refusal, the values of
// converted samples (against libsndfile and closed forms), and the accuracy of resampling to 44100 Hz.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioFiles.h"
#include "IrConversion.h"
#include "IrFileFacts.h"
#include "IrLoad.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

using namespace orx::test;

namespace {

using Coefficients = std::vector<std::int16_t>;

int openCode(const std::filesystem::path& path, bool convert)
{
    CFIRFile file;
    try {
        file.open(path, CFIRFile::Options{.convert = convert});
        return 0;
    } catch (const mstd::CGenericException& e) {
        return e.getCode();
    }
}

Coefficients load(const std::filesystem::path& path, bool convert, int channel = 0)
{
    CFIRFile file;
    file.open(path, CFIRFile::Options{.convert = convert});
    Coefficients out(orx::kCoefficientCount, 0x5555);
    file.readCoefficients(out.data(), channel);
    return out;
}

// A file written by libsndfile from normalised or left-justified integer samples (interleaved).
template <typename T>
std::filesystem::path sndfileFile(const std::string& name, int format, int rate, int channels,
                                  const std::vector<T>& samples)
{
    const auto path = scratch() / name;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info), sf_close);
    EXPECT_TRUE(file) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    if constexpr (std::is_same_v<T, int>)
        EXPECT_EQ(file ? sf_writef_int(file.get(), samples.data(), frames) : 0, frames);
    else
        EXPECT_EQ(file ? sf_writef_double(file.get(), samples.data(), frames) : 0, frames);
    return path;
}

template <typename T> std::vector<T> sndfileRead(const std::filesystem::path& path, SF_INFO& info)
{
    info = {};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    if (!file)
        return {};
    std::vector<T> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_count_t got = 0;
    if constexpr (std::is_same_v<T, int>)
        got = sf_readf_int(file.get(), samples.data(), info.frames);
    else if constexpr (std::is_same_v<T, float>)
        got = sf_readf_float(file.get(), samples.data(), info.frames);
    else
        got = sf_readf_double(file.get(), samples.data(), info.frames);
    samples.resize(static_cast<std::size_t>(got * info.channels));
    return samples;
}

// libsndfile's own conversion of normalised floats to 16-bit PCM: written to a raw file, read back.
template <typename T> Coefficients sndfileTo16(const std::vector<T>& values)
{
    const auto path = scratch() / "to16.raw";
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    {
        std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info), sf_close);
        EXPECT_TRUE(file);
        if constexpr (std::is_same_v<T, float>)
            sf_write_float(file.get(), values.data(), static_cast<sf_count_t>(values.size()));
        else
            sf_write_double(file.get(), values.data(), static_cast<sf_count_t>(values.size()));
    }
    std::ifstream in(path, std::ios::binary);
    Coefficients out;
    for (unsigned char b[2]; in.read(reinterpret_cast<char*>(b), 2);)
        out.push_back(static_cast<std::int16_t>(b[0] | b[1] << 8));
    return out;
}

// The first 2048 values of one channel of interleaved samples, zero-padded, through `convert`.
template <typename T, typename Convert>
Coefficients firstOfChannel(const std::vector<T>& interleaved, int channels, int channel, Convert convert)
{
    Coefficients out(orx::kCoefficientCount, 0);
    std::vector<T> picked;
    for (std::size_t i = static_cast<std::size_t>(channel); i < interleaved.size() && picked.size() < out.size();
         i += static_cast<std::size_t>(channels))
        picked.push_back(interleaved[i]);
    const Coefficients converted = convert(picked);
    std::copy(converted.begin(), converted.end(), out.begin());
    return out;
}

// The 80-bit extended form of a whole, positive rate, as an AIFF COMM chunk holds it.
Bytes extended(std::uint32_t rate)
{
    int exponent = 31;
    while (!(rate & (1u << exponent)))
        --exponent;
    const std::uint64_t mantissa = static_cast<std::uint64_t>(rate) << (63 - exponent);
    return cat({be16(static_cast<std::uint16_t>(16383 + exponent)), number(mantissa, 8, Endian::Big)});
}

Bytes aifcComm(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits, std::uint32_t rate,
               std::string_view compression)
{
    return aiffChunk("COMM", cat({be16(channels), be32(frames), be16(bits), extended(rate), fourcc(compression),
                                  Bytes{0, 0}})); // an empty compression name, padded
}

Bytes floatSamplesLE(const std::vector<float>& values)
{
    Bytes out;
    for (float v : values) {
        const Bytes b = number(std::bit_cast<std::uint32_t>(v), 4, Endian::Little);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// ---- Which files load, and the words ----

struct FactsCase {
    std::string name;
    std::function<std::filesystem::path()> make;
    int codeOff;
    int codeOn;
    std::string text;            // the description when the conversion loads the file, else the reason it does not
    std::string conversion = ""; // what the conversion changes, where it is worth checking
};

void PrintTo(const FactsCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConversionFacts : public ::testing::TestWithParam<FactsCase> {};

// The check (inspectIrFile) and the loader must agree, with and without the conversion.
TEST_P(ConversionFacts, LoaderAndCheckAgree)
{
    const FactsCase& c = GetParam();
    const auto path = c.make();
    const int off = openCode(path, false);
    const int on = openCode(path, true);
    EXPECT_EQ(off, c.codeOff);
    EXPECT_EQ(on, c.codeOn);

    const IrFileFacts facts = inspectIrFile(path);
    EXPECT_EQ(facts.loadsWithoutConversion, off == 0);
    EXPECT_EQ(facts.loadsWithConversion, on == 0);
    EXPECT_EQ(facts.codeWithoutConversion, off);
    EXPECT_EQ(facts.codeWithConversion, on);
    if (on == 0) {
        EXPECT_EQ(facts.description, c.text);
        EXPECT_EQ(facts.reason, "");
        if (!c.conversion.empty()) {
            EXPECT_EQ(facts.conversion, c.conversion);
        }
        EXPECT_NO_THROW(load(path, true, 0));
        EXPECT_NO_THROW(load(path, true, 1));
    } else {
        EXPECT_EQ(facts.reason, c.text);
    }
}

const Bytes kStereo16 = wavChunk("data", leSamples({1000, 5, -2000, 6}, 2));

std::filesystem::path wav(const std::string& name, const Bytes& chunks)
{
    return writeFile(name + ".wav", riff(chunks));
}

// The first `bytes` bytes of a file, as a download or a copy broken off leaves it.
std::filesystem::path cutCopy(const std::filesystem::path& from, const std::string& name, std::size_t bytes)
{
    std::ifstream in(from, std::ios::binary);
    Bytes head(bytes);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(bytes));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return writeFile(name, head);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConversionFacts,
    ::testing::Values(
        FactsCase{"Plain44k", [] { return soxFile("c-plain.wav", {}); }, 0, 0, "44100 Hz, 16-bit PCM, stereo, WAV"},
        FactsCase{"Extensible24At48k",
                  [] { return soxFile("c-ext24.wav", {.type = "wav", .rate = 48000, .bits = 24}); }, 1007, 0,
                  "48000 Hz, 24-bit PCM, stereo, WAV with the extensible header",
                  "sample rate 48000 Hz, WAV with the extensible header"},
        FactsCase{"Float32",
                  [] {
                      return soxFile("c-f32.wav",
                                     {.type = "wav", .channels = 1, .bits = 32, .encoding = "floating-point"});
                  },
                  1005, 0, "44100 Hz, 32-bit float, mono, WAV", "32-bit float samples"},
        FactsCase{"Float64At96k",
                  [] {
                      return soxFile(
                          "c-f64.wav",
                          {.type = "wav", .channels = 1, .rate = 96000, .bits = 64, .encoding = "floating-point"});
                  },
                  1007, 0, "96000 Hz, 64-bit float, mono, WAV"},
        FactsCase{"Wav8Bit", [] { return soxFile("c-u8.wav", {.bits = 8, .encoding = "unsigned-integer"}); }, 1008, 0,
                  "44100 Hz, 8-bit PCM, stereo, WAV"},
        FactsCase{"Aiff8Bit", [] { return soxFile("c-s8.aiff", {.type = "aiff", .bits = 8}); }, 1008, 0,
                  "44100 Hz, 8-bit PCM, stereo, AIFF"},
        FactsCase{"AifcNoneAt96k", [] { return soxFile("c-none.aif", {.type = "aifc", .channels = 1, .rate = 96000}); },
                  1007, 0, "96000 Hz, 16-bit PCM, mono, AIFF-C"},
        FactsCase{"AifcFl32",
                  [] { return soxFile("c-fl32.aif", {.type = "aifc", .bits = 32, .encoding = "floating-point"}); },
                  1005, 0, "44100 Hz, 32-bit float, stereo, AIFF-C (fl32)"},
        FactsCase{"AifcFl64At88k",
                  [] {
                      return soxFile("c-fl64.aif",
                                     {.type = "aifc", .rate = 88200, .bits = 64, .encoding = "floating-point"});
                  },
                  1007, 0, "88200 Hz, 64-bit float, stereo, AIFF-C (fl64)"},
        // sox cannot write these two; libsndfile can.
        FactsCase{"AifcSowtAt96k",
                  [] {
                      return sndfileFile("c-sowt.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 96000, 1,
                                         std::vector<double>{0.5, -0.5, 0.25});
                  },
                  1007, 0, "96000 Hz, 16-bit PCM, mono, AIFF-C (sowt)"},
        FactsCase{"AifcUpperFL32",
                  [] {
                      return sndfileFile("c-FL32.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 44100, 1,
                                         std::vector<double>{0.5, -0.5});
                  },
                  1005, 0, "44100 Hz, 32-bit float, mono, AIFF-C (FL32)"},
        FactsCase{"AifcUlaw",
                  [] {
                      return sndfileFile("c-ulaw.aiff", SF_FORMAT_AIFF | SF_FORMAT_ULAW, 44100, 1,
                                         std::vector<double>{0.5, -0.5});
                  },
                  1008, 1005, "compressed AIFF-C (ulaw)"},
        FactsCase{"WavUlaw", [] { return soxFile("c-ulaw.wav", {.type = "wav", .bits = 8, .encoding = "u-law"}); },
                  1008, 1005, "WAV format tag 0x0007 (not PCM or float)"},
        FactsCase{"ThreeChannelsAt48k", [] { return soxFile("c-3ch.wav", {.channels = 3, .rate = 48000}); }, 1007, 1006,
                  "3 channels: the amp needs mono or stereo"},
        FactsCase{"Rate4000", [] { return soxFile("c-4k.wav", {.rate = 4000}); }, 1007, 1007,
                  "sample rate 4000 Hz is outside 8000 to 384000 Hz"},
        FactsCase{"Rate8000",
                  [] {
                      return wav("c-8k", cat({fmtChunk({.rate = 8000}), kStereo16}));
                  },
                  1007, 0, "8000 Hz, 16-bit PCM, stereo, WAV"},
        FactsCase{"Rate7999",
                  [] {
                      return wav("c-7999", cat({fmtChunk({.rate = 7999}), kStereo16}));
                  },
                  1007, 1007, "sample rate 7999 Hz is outside 8000 to 384000 Hz"},
        FactsCase{"Rate384000",
                  [] {
                      return wav("c-384k", cat({fmtChunk({.rate = 384000}), kStereo16}));
                  },
                  1007, 0, "384000 Hz, 16-bit PCM, stereo, WAV"},
        FactsCase{"Rate384001",
                  [] {
                      return wav("c-384001", cat({fmtChunk({.rate = 384001}), kStereo16}));
                  },
                  1007, 1007, "sample rate 384001 Hz is outside 8000 to 384000 Hz"},
        FactsCase{"ZeroChannels",
                  [] {
                      return wav("c-0ch", cat({fmtChunk({.channels = 0}), kStereo16}));
                  },
                  1006, 1006, "0 channels: the amp needs mono or stereo"},
        FactsCase{"Mp3Tag",
                  [] {
                      return wav("c-mp3", cat({fmtChunk({.tag = 0x55}), kStereo16}));
                  },
                  1005, 1005, "WAV format tag 0x0055 (not PCM or float)"},
        FactsCase{"BlockAlignThree",
                  [] {
                      return wav("c-ba3", cat({fmtChunk({.blockAlign = 3}), kStereo16}));
                  },
                  1005, 1005, "block align 3 does not match 2 channels of 16 bits"},
        FactsCase{"NoData", [] { return wav("c-nodata", fmtChunk({})); }, 1005, 1005, "no data chunk"},
        FactsCase{"NoFmt", [] { return wav("c-nofmt", kStereo16); }, 1007, 1005, "no format chunk"},
        FactsCase{"FmtCutShort",
                  [] {
                      return wav("c-fmt8", cat({wavChunk("fmt ", Bytes(8, 1)), kStereo16}));
                  },
                  1007, 1005, "format chunk cut short"},
        FactsCase{"TextNamedWav",
                  [] {
                      return writeFile("c-text.wav", Bytes{'h', 'i', '\n'});
                  },
                  1007, 1005, "not a WAV file"},
        FactsCase{"TextNamedAiff",
                  [] {
                      return writeFile("c-text.aiff", Bytes{'h', 'i', '\n'});
                  },
                  1007, 1005, "not an AIFF file"},
        FactsCase{"NamedMp3",
                  [] {
                      return writeFile("c-song.mp3", riff(cat({fmtChunk({}), kStereo16})));
                  },
                  1005, 1005, "not a WAV or AIFF file"},
        FactsCase{"Missing", [] { return scratch() / "c-missing.wav"; }, 1005, 1005, "the file cannot be opened"},
        FactsCase{"ExtensibleFloat",
                  [] {
                      return wav("c-extf",
                                 cat({fmtChunk({.tag = 0xFFFE, .channels = 1, .bits = 32, .size = 40, .subFormat = 3}),
                                      wavChunk("data", floatSamplesLE({0.5f, -0.25f}))}));
                  },
                  1005, 0, "44100 Hz, 32-bit float, mono, WAV with the extensible header"},
        FactsCase{
            "ExtensibleMp3",
            [] {
                return wav("c-extmp3", cat({fmtChunk({.tag = 0xFFFE, .size = 40, .subFormat = 0x55}), kStereo16}));
            },
            1005, 1005, "extensible WAV of sub-format 0x0055 (not PCM or float)"},
        FactsCase{"ExtensibleForeignGuid",
                  [] {
                      Bytes fmt = fmtChunk({.tag = 0xFFFE, .size = 40});
                      fmt.back() ^= 0xFF; // the GUID's last byte
                      return wav("c-extguid", cat({fmt, kStereo16}));
                  },
                  1005, 1005, "extensible WAV of an unknown sub-format"},
        FactsCase{"ExtensibleCutShort",
                  [] {
                      return wav("c-ext18", cat({fmtChunk({.tag = 0xFFFE, .size = 18}), kStereo16}));
                  },
                  1005, 1005, "extensible header cut short"},
        FactsCase{"Valid24In32",
                  [] {
                      return wav("c-v24", cat({fmtChunk({.tag = 0xFFFE, .bits = 32, .size = 40, .validBits = 24}),
                                               wavChunk("data", leSamples({1 << 24, 2 << 24}, 4))}));
                  },
                  1005, 0, "44100 Hz, 24-bit PCM in 32-bit words, stereo, WAV with the extensible header"},
        FactsCase{"ValidBitsBeyondTheWord",
                  [] {
                      return wav("c-v20", cat({fmtChunk({.tag = 0xFFFE, .size = 40, .validBits = 20}), kStereo16}));
                  },
                  1005, 1008, "20 valid bits do not fit 16-bit words"},
        FactsCase{"DataNotWholeFrames",
                  [] {
                      return wav("c-part", cat({fmtChunk({}), wavChunk("data", leSamples({1, 2, 3}, 2))}));
                  },
                  1005, 0, "44100 Hz, 16-bit PCM, stereo, WAV", "a data chunk that is not a whole number of frames"},
        FactsCase{"ByteRateOfMono",
                  [] {
                      return wav("c-byterate", cat({fmtChunk({.byteRate = 88200}), kStereo16}));
                  },
                  1005, 0, "44100 Hz, 16-bit PCM, stereo, WAV", "byte rate 88200 that does not match"},
        FactsCase{"Float16",
                  [] {
                      return wav("c-f16", cat({fmtChunk({.tag = 3, .bits = 16}), kStereo16}));
                  },
                  1005, 1008, "16-bit float: 32 or 64 bits are supported"},
        FactsCase{"Pcm12",
                  [] {
                      return wav("c-12", cat({fmtChunk({.bits = 12}), kStereo16}));
                  },
                  1008, 1008, "12-bit PCM: 8, 16, 24 or 32 bits are supported"},
        FactsCase{"AifcCommCutShort",
                  [] {
                      return writeFile("c-aifc18.aif",
                                       form(cat({commChunk(1, 1, 16), ssndChunk(beSamples({7}, 2))}), "AIFC"));
                  },
                  1005, 1005, "format chunk cut short"},
        FactsCase{"AiffNoSsnd", [] { return writeFile("c-nossnd.aif", form(commChunk(1, 1, 16))); }, 1005, 1005,
                  "no data chunk"},
        // Real files under the AIFF-C extension, and files under the name of the other container: read as what
        // their bytes are, by the conversion only.
        FactsCase{"SoxAifcNamedAifc", [] { return soxFile("c-sox.aifc", {.type = "aifc"}); }, 1005, 0,
                  "44100 Hz, 16-bit PCM, stereo, AIFF-C", "AIFF-C"},
        FactsCase{"AiffNamedAifc", [] { return soxFile("c-plain.aifc", {.type = "aiff"}); }, 1005, 0,
                  "44100 Hz, 16-bit PCM, stereo, AIFF", "the .aifc extension"},
        FactsCase{"WavNamedAif", [] { return soxFile("c-wav.aif", {}); }, 1007, 0, "44100 Hz, 16-bit PCM, stereo, WAV",
                  "a WAV file named .aif"},
        FactsCase{"AiffNamedUpperWav", [] { return soxFile("c-aiff.WAV", {.type = "aiff"}); }, 1007, 0,
                  "44100 Hz, 16-bit PCM, stereo, AIFF", "an AIFF file named .WAV"},
        FactsCase{"AifcAt96kNamedWav", [] { return soxFile("c-aifc96.wav", {.type = "aifc", .rate = 96000}); }, 1007,
                  0, "96000 Hz, 16-bit PCM, stereo, AIFF-C", "an AIFF-C file named .wav, sample rate 96000 Hz"},
        FactsCase{"ThreeChannelWavNamedAif", [] { return soxFile("c-3ch.aif", {.channels = 3}); }, 1007, 1006,
                  "3 channels: the amp needs mono or stereo"},
        FactsCase{"CutInTheFormatChunk", [] { return cutCopy(soxFile("c-whole.wav", {}), "c-cut.wav", 30); }, 1008,
                  1005, "format chunk cut short"}),
    [](const auto& info) { return info.param.name; });

// What orx-irinfo prints of a file is what the window does with it: the same code, the box's text and its note,
// with the conversion off and on.
TEST_P(ConversionFacts, OrxIrinfoGivesTheWindowsVerdict)
{
    const FactsCase& c = GetParam();
    const auto path = c.make();
    for (const bool convert : {false, true}) {
        SCOPED_TRACE(convert ? "conversion on" : "conversion off");
        const eLibrary::IrLoadOutcome outcome =
            eLibrary::tryLoadIr(path, eLibrary::IrLoadOptions{.convert = convert, .processing = {}}, [] { return 0; });
        EXPECT_EQ(outcome.refusal.code, convert ? c.codeOn : c.codeOff);
        EXPECT_EQ(outcome.taps.has_value(), outcome.refusal.code == 0);

        std::vector<std::string> args{ORX_IRINFO_PATH, path.string()};
        if (convert)
            args.push_back("--convert");
        const ProgramRun run = runProgram(args);
        if (outcome.refusal.code == 0) {
            EXPECT_EQ(run.status, 0) << run.output;
            EXPECT_EQ(run.output.find("\nerror: "), std::string::npos) << run.output;
        } else {
            EXPECT_EQ(run.status, 1) << run.output;
            EXPECT_NE(run.output.find("\nerror: " + outcome.refusal.text + "\nnote: " + outcome.refusal.note + "\n"),
                      std::string::npos)
                << run.output;
        }
    }
}

TEST(ConversionNote, SaysWhatTheFileIsAndWhatToDo)
{
    const auto ext = soxFile("Warm Cab 48k.wav", {.type = "wav", .rate = 48000, .bits = 24});
    EXPECT_EQ(irFileNote(ext, inspectIrFile(ext)),
              "Warm Cab 48k.wav: 48000 Hz, 24-bit PCM, stereo, WAV with the extensible header. Turn on Properties "
              "\xE2\x96\xB8 IR File Conversion to use it.");
    const auto three = soxFile("Three.wav", {.channels = 3});
    EXPECT_EQ(irFileNote(three, inspectIrFile(three)), "Three.wav: 3 channels: the amp needs mono or stereo.");
    const auto plain = soxFile("Plain.wav", {});
    EXPECT_EQ(irFileNote(plain, inspectIrFile(plain)), "Plain.wav: 44100 Hz, 16-bit PCM, stereo, WAV.");
}

// The note of a refused file with the conversion off and on: what a misnamed file is, and renaming only when the
// file would then load as it is; never the advice to turn on a conversion that is on.
TEST(ConversionNote, MisnamedFilesAndTheSetting)
{
    const std::string turnOn = "Turn on Properties \xE2\x96\xB8 IR File Conversion to use it.";
    struct Row {
        std::filesystem::path file;
        bool convert;
        std::string note;
    };
    const std::vector<Row> rows{
        {soxFile("Wav Cab.aif", {}), false,
         "Wav Cab.aif: it is a WAV file named .aif (44100 Hz, 16-bit PCM, stereo, WAV). Rename it to .wav, or turn "
         "on Properties \xE2\x96\xB8 IR File Conversion to use it."},
        {soxFile("Aiff Cab.wav", {.type = "aiff", .channels = 1}), false,
         "Aiff Cab.wav: it is an AIFF file named .wav (44100 Hz, 16-bit PCM, mono, AIFF). Rename it to .aif, or turn "
         "on Properties \xE2\x96\xB8 IR File Conversion to use it."},
        // Renamed, it would still need the conversion.
        {soxFile("Wav 48k.aif", {.rate = 48000}), false,
         "Wav 48k.aif: it is a WAV file named .aif (48000 Hz, 16-bit PCM, stereo, WAV). " + turnOn},
        {soxFile("Wav 48k.aif", {.rate = 48000}), true,
         "Wav 48k.aif: it is a WAV file named .aif (48000 Hz, 16-bit PCM, stereo, WAV)."},
        {soxFile("Wav Three.aif", {.channels = 3}), false,
         "Wav Three.aif: it is a WAV file named .aif; 3 channels: the amp needs mono or stereo."},
        {soxFile("Wav Three.aif", {.channels = 3}), true,
         "Wav Three.aif: it is a WAV file named .aif; 3 channels: the amp needs mono or stereo."},
        {soxFile("Sox.aifc", {.type = "aifc", .channels = 1}), false,
         "Sox.aifc: 44100 Hz, 16-bit PCM, mono, AIFF-C. " + turnOn},
        {soxFile("Warm Cab 48k.wav", {.type = "wav", .rate = 48000, .bits = 24}), true,
         "Warm Cab 48k.wav: 48000 Hz, 24-bit PCM, stereo, WAV with the extensible header."},
        {scratch() / "Gone.aif", true, "Gone.aif: the file cannot be opened."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file.filename().string() + (row.convert ? " on" : " off"));
        EXPECT_EQ(irFileNote(row.file, inspectIrFile(row.file), row.convert), row.note);
        EXPECT_EQ(eLibrary::irRefusal(row.file, 1005, row.convert).note, row.note);
    }
}

// ---- Converted values ----

// Files that load without the conversion give the same coefficients with it.
TEST(ConvertedValues, StrictFilesLoadAsWithoutTheConversion)
{
    for (const std::string type : {"wavpcm", "aiff"})
        for (int bits : {16, 24, 32}) {
            SCOPED_TRACE(type + " " + std::to_string(bits));
            const auto path = soxFile("strict" + std::to_string(bits) + (type == "aiff" ? ".aiff" : ".wav"),
                                      {.type = type, .bits = bits});
            for (int channel : {0, 1})
                EXPECT_EQ(load(path, true, channel), load(path, false, channel));
        }
}

// The same integer samples behind the extensible header, in big-endian AIFF-C and little-endian "sowt" give the
// upper 16 bits libsndfile reads.
TEST(ConvertedValues, IntegerLayoutsGiveTheUpperSixteenBits)
{
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        const std::string b = std::to_string(bits);
        const auto plain =
            soxFile("int" + b + ".wav", {.bits = bits, .encoding = bits == 8 ? "unsigned-integer" : "signed-integer"});
        SF_INFO info;
        const std::vector<int> samples = sndfileRead<int>(plain, info);
        ASSERT_EQ(info.channels, 2);
        std::vector<std::int32_t> stored;
        for (int s : samples)
            stored.push_back(bits == 8 ? (s >> 24) + 128 : s >> (32 - bits));
        const auto extensible =
            writeFile("int-ext" + b + ".wav",
                      riff(cat({fmtChunk({.tag = 0xFFFE, .bits = static_cast<std::uint16_t>(bits), .size = 40}),
                                wavChunk("data", leSamples(stored, bits / 8))})));
        const auto aifc = scratch() / ("int-aifc" + b + ".aif");
        ASSERT_TRUE(runSox({plain.string(), "-t", "aifc", aifc.string()}));
        // libsndfile writes little-endian AIFF-C as "sowt" only for 16 bits ("42n1", "23ni" for 24, 32).
        const auto sowt =
            bits != 16
                ? aifc
                : sndfileFile("int-sowt.aiff", SF_FORMAT_AIFF | SF_ENDIAN_LITTLE | SF_FORMAT_PCM_16, 44100, 2, samples);
        for (int channel : {0, 1}) {
            const Coefficients expected = firstOfChannel(samples, 2, channel, [](const std::vector<int>& v) {
                Coefficients out;
                for (int s : v)
                    out.push_back(static_cast<std::int16_t>(s >> 16));
                return out;
            });
            ASSERT_NE(expected, Coefficients(orx::kCoefficientCount, 0));
            EXPECT_EQ(load(plain, true, channel), expected);
            EXPECT_EQ(load(extensible, true, channel), expected);
            EXPECT_EQ(load(aifc, true, channel), expected);
            EXPECT_EQ(load(sowt, true, channel), expected);
        }
    }
}

// Float samples become x * 32767 rounded to the nearest, as libsndfile turns normalised floats into 16-bit PCM.
TEST(ConvertedValues, FloatSamplesRoundAsLibsndfileConvertsThem)
{
    for (int bits : {32, 64}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        const std::string b = std::to_string(bits);
        const auto wavFile = soxFile("float" + b + ".wav", {.type = "wav", .bits = bits, .encoding = "floating-point"});
        const auto aifc = scratch() / ("float-aifc" + b + ".aif");
        ASSERT_TRUE(runSox({wavFile.string(), "-t", "aifc", aifc.string()}));
        SF_INFO info;
        for (int channel : {0, 1}) {
            const Coefficients expected =
                bits == 32 ? firstOfChannel(sndfileRead<float>(wavFile, info), 2, channel,
                                            [](const std::vector<float>& v) { return sndfileTo16(v); })
                           : firstOfChannel(sndfileRead<double>(wavFile, info), 2, channel,
                                            [](const std::vector<double>& v) { return sndfileTo16(v); });
            ASSERT_NE(expected, Coefficients(orx::kCoefficientCount, 0));
            EXPECT_EQ(load(wavFile, true, channel), expected);
            EXPECT_EQ(load(aifc, true, channel), expected);
        }
    }
}

// Files under the AIFF-C extension or the other container's name give what libsndfile, which goes by the bytes,
// reads from them: the upper 16 bits.
TEST(ConvertedValues, FilesLoadAsWhatTheirBytesAre)
{
    const std::vector<std::filesystem::path> files{
        soxFile("bytes-sox.aifc", {.type = "aifc"}),
        soxFile("bytes-aiff.aifc", {.type = "aiff"}),
        soxFile("bytes-wav.aif", {.bits = 24}),
        soxFile("bytes-aiff.wav", {.type = "aiff", .bits = 32}),
        soxFile("bytes-aifc.WAV", {.type = "aifc"}),
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        SF_INFO info;
        const std::vector<int> samples = sndfileRead<int>(file, info);
        ASSERT_EQ(info.channels, 2);
        for (int channel : {0, 1}) {
            const Coefficients expected = firstOfChannel(samples, 2, channel, [](const std::vector<int>& v) {
                Coefficients out;
                for (int x : v)
                    out.push_back(static_cast<std::int16_t>(x >> 16));
                return out;
            });
            ASSERT_NE(expected, Coefficients(orx::kCoefficientCount, 0));
            EXPECT_EQ(load(file, true, channel), expected);
        }
    }
}

// The edges of each rule, written out.
TEST(ConvertedValues, EdgeSamples)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Row {
        std::string name;
        Bytes file;
        const char* extension;
        Coefficients start;
    };
    const std::vector<Row> rows{
        {"FloatFullScaleTiesAndClipping",
         riff(cat({fmtChunk({.tag = 3, .channels = 1, .bits = 32}),
                   wavChunk("data",
                            floatSamplesLE({1.0f, -1.0f, 0.5f, -0.5f, 2.5f / 32767, 1.5f, -1.5f, nan, inf, -inf}))})),
         ".wav",
         {32767, -32767, 16384, -16384, 2, 32767, -32768, 0, 32767, -32768}},
        {"WavEightBitIsUnsigned",
         riff(cat({fmtChunk({.channels = 1, .bits = 8}), wavChunk("data", Bytes{0x00, 0x80, 0xFF})})),
         ".wav",
         {-32768, 0, 32512}},
        {"AiffEightBitIsSigned",
         form(cat({commChunk(1, 3, 8), ssndChunk(Bytes{0x80, 0x00, 0x7F})})),
         ".aiff",
         {-32768, 0, 32512}},
        {"TwelveValidBitsClearTheRest",
         riff(cat({fmtChunk({.tag = 0xFFFE, .channels = 1, .size = 40, .validBits = 12}),
                   wavChunk("data", leSamples({0x123F, -1}, 2))})),
         ".wav",
         {0x1230, -16}},
        {"SowtIsLittleEndian",
         form(cat({aifcComm(1, 2, 16, 44100, "sowt"), ssndChunk(Bytes{0x34, 0x12, 0xFE, 0xFF})}), "AIFC"),
         ".aif",
         {0x1234, -2}},
        {"QuickTimeTwosIsBigEndian",
         form(cat({aifcComm(1, 2, 16, 44100, "twos"), ssndChunk(Bytes{0x12, 0x34, 0xFF, 0xFE})}), "AIFC"),
         ".aif",
         {0x1234, -2}},
        {"PartialFrameIsLeftOut",
         riff(cat({fmtChunk({}), wavChunk("data", leSamples({100, 200, 300}, 2))})),
         ".wav",
         {100}},
        // A size the strict check refuses (not whole stereo frames), so the conversion reads it.
        {"StatedSizePastTheEnd",
         riff(cat({fmtChunk({}), rawChunk(Endian::Little, "data", 0xFFFFFFF2, leSamples({7, 8, 9, 10}, 2))})),
         ".wav",
         {7, 9}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto path = writeFile("edge-" + row.name + row.extension, row.file);
        Coefficients expected(orx::kCoefficientCount, 0);
        std::copy(row.start.begin(), row.start.end(), expected.begin());
        EXPECT_EQ(load(path, true), expected);
    }
}

// ---- Resampling ----

// A noise burst, decaying exponentially, then low-passed at 16 kHz, at 44100 Hz with peak 0.5: made here with a
// fixed seed. Filtering after the burst starts keeps its onset band-limited too.
std::vector<double> bandLimitedIr()
{
    constexpr int kLength = 6000;
    constexpr int kTaps = 255;
    std::mt19937 random(20261210);
    std::vector<double> burst(kLength);
    for (int n = 0; n < kLength; ++n)
        burst[static_cast<std::size_t>(n)] =
            (static_cast<double>(random()) / 4294967296.0 - 0.5) * std::exp(-n / (0.02 * 44100));
    std::vector<double> taps(kTaps);
    const double cutoff = 16000.0 / 44100.0; // cycles per sample
    for (int k = 0; k < kTaps; ++k) {
        const double m = k - (kTaps - 1) / 2.0;
        const double sinc = m == 0 ? 2 * cutoff : std::sin(2 * std::numbers::pi * cutoff * m) / (std::numbers::pi * m);
        const double blackman = 0.42 - 0.5 * std::cos(2 * std::numbers::pi * k / (kTaps - 1)) +
                                0.08 * std::cos(4 * std::numbers::pi * k / (kTaps - 1));
        taps[static_cast<std::size_t>(k)] = sinc * blackman;
    }
    std::vector<double> ir(kLength);
    double peak = 0;
    for (int n = 0; n < kLength; ++n) {
        double y = 0;
        for (int k = 0; k < kTaps && k <= n; ++k)
            y += taps[static_cast<std::size_t>(k)] * burst[static_cast<std::size_t>(n - k)];
        ir[static_cast<std::size_t>(n)] = y;
        peak = std::max(peak, std::fabs(y));
    }
    for (double& x : ir)
        x *= 0.5 / peak;
    return ir;
}

// Error energy over signal energy in dB, with `out` shifted by `lag` samples against the reference.
double errorDb(const Coefficients& out, const std::vector<double>& reference, int lag)
{
    double error = 0;
    double signal = 0;
    for (int n = 0; n < static_cast<int>(orx::kCoefficientCount); ++n) {
        const int m = n - lag;
        const double r =
            m >= 0 && m < static_cast<int>(reference.size()) ? reference[static_cast<std::size_t>(m)] : 0.0;
        error += (out[static_cast<std::size_t>(n)] - r) * (out[static_cast<std::size_t>(n)] - r);
        signal += r * r;
    }
    return 10 * std::log10(error / signal);
}

struct RateCase {
    int rate;
    std::vector<std::string> encoding; // sox output options
    double scale;                      // the converted file's full scale in 16-bit units
};

TEST(Resampling, BandLimitedIrComesBackAt44100)
{
    const std::vector<double> ir = bandLimitedIr();
    const auto original = sndfileFile("ir44k.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, ir);
    // sox writes 24-bit WAV with the extensible header; integers have full scale 32768, floats 32767.
    for (const RateCase& c :
         {RateCase{48000, {"-b", "24"}, 32768.0}, RateCase{88200, {"-e", "floating-point", "-b", "32"}, 32767.0},
          RateCase{96000, {"-b", "24"}, 32768.0}}) {
        SCOPED_TRACE(c.rate);
        const auto converted = scratch() / ("ir" + std::to_string(c.rate) + ".wav");
        std::vector<std::string> args{"-D", original.string()};
        args.insert(args.end(), c.encoding.begin(), c.encoding.end());
        args.insert(args.end(), {converted.string(), "rate", "-v", std::to_string(c.rate)});
        ASSERT_TRUE(runSox(args));
        ASSERT_EQ(openCode(converted, false), 1007);

        std::vector<double> reference;
        for (double x : ir)
            reference.push_back(x * c.scale);
        const Coefficients out = load(converted, true);
        const double aligned = errorDb(out, reference, 0);
        for (int lag : {-3, -2, -1, 1, 2, 3})
            EXPECT_LT(aligned, errorDb(out, reference, lag)) << "best alignment at lag " << lag;
        EXPECT_LT(aligned, -40.0);
    }
}

TEST(Resampling, SineAt48kComesOutAtTheSameFrequencyAndAmplitude)
{
    const auto path = scratch() / "sine1k-48k.wav";
    ASSERT_TRUE(runSox(
        {"-D", "-n", "-r", "48000", "-c", "1", "-b", "24", path.string(), "synth", "1", "sine", "1000", "vol", "0.5"}));
    const Coefficients out = load(path, true);
    // The start carries the resampler's response to the sine switching on; the steady part is what counts.
    constexpr int kFirst = 300;
    const double w = 2 * std::numbers::pi * 1000.0 / 44100.0;
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (int n = kFirst; n < static_cast<int>(orx::kCoefficientCount); ++n) {
        const double s = std::sin(w * n), k = std::cos(w * n), y = out[static_cast<std::size_t>(n)];
        ss += s * s, cc += k * k, sc += s * k, ys += y * s, yc += y * k;
    }
    // Least squares of y = a sin + b cos.
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det;
    const double b = (yc * ss - ys * sc) / det;
    const double expected = 0.5 * 32768; // sox's full scale, in 16-bit units
    EXPECT_NEAR(20 * std::log10(std::hypot(a, b) / expected), 0.0, 0.1);

    double error = 0, signal = 0;
    for (int n = kFirst; n < static_cast<int>(orx::kCoefficientCount); ++n) {
        const double r = expected * std::sin(w * n);
        error += (out[static_cast<std::size_t>(n)] - r) * (out[static_cast<std::size_t>(n)] - r);
        signal += r * r;
    }
    EXPECT_LT(10 * std::log10(error / signal), -40.0);
}

// A stream that counts what is read from it.
class CountingStream final : public eLibrary::InputStream {
public:
    explicit CountingStream(const std::filesystem::path& path) : m_file(path) {}
    bool isError() override { return m_file.isError(); }
    std::int32_t getSize() override { return m_file.getSize(); }
    std::int32_t getPosition() override { return m_file.getPosition(); }
    bool seek(std::int32_t offset, std::int32_t origin) override { return m_file.seek(offset, origin); }
    std::int32_t read(void* buffer, std::int32_t size) override
    {
        const std::int32_t n = m_file.read(buffer, size);
        m_read += n;
        return n;
    }
    std::int64_t bytesRead() const { return m_read; }

private:
    eLibrary::InputFileStream m_file;
    std::int64_t m_read = 0;
};

// 2048 samples at 44100 Hz need about 4460 frames of a 96 kHz file, plus the filter: not the whole file.
TEST(Resampling, ReadsOnlyTheStartOfALongFile)
{
    const auto path = soxFile("long96k.wav", {.channels = 1, .rate = 96000, .bits = 24, .frames = 960000});
    CountingStream stream(path);
    const eLibrary::IrLayout layout = eLibrary::readIrLayout(stream, eLibrary::IrContainer::Wav);
    const eLibrary::IrVerdict verdict = eLibrary::judgeForConversion(layout);
    ASSERT_EQ(verdict.code, 0);
    const std::int64_t header = stream.bytesRead();
    Coefficients out(orx::kCoefficientCount, 0);
    ASSERT_TRUE(eLibrary::convertCoefficients(stream, layout, verdict, 0, out.data()));
    EXPECT_LT(stream.bytesRead() - header, 3 * 12000) << "of " << std::filesystem::file_size(path) << " bytes";
    EXPECT_NE(out, Coefficients(orx::kCoefficientCount, 0));
}

} // namespace
