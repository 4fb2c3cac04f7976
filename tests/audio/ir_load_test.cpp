// The one loading path: which channel it takes and when it asks, what it says it converted, and the verdict of a
// file it refuses.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioFiles.h"
#include "IrLoad.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <memory>
#include <vector>

using namespace orx::test;

namespace {

// Channel `channel` of a 44100 Hz integer file as libsndfile reads it, cut to the upper 16 bits and 2048 values.
std::vector<std::int16_t> sndfileChannel(const std::filesystem::path& path, int channel)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    std::vector<int> samples(static_cast<std::size_t>(info.frames * info.channels));
    if (file)
        sf_readf_int(file.get(), samples.data(), info.frames);
    std::vector<std::int16_t> out(orx::kCoefficientCount, 0);
    for (std::size_t i = 0; i < out.size() && i < static_cast<std::size_t>(info.frames); ++i)
        out[i] = static_cast<std::int16_t>(samples[i * static_cast<std::size_t>(info.channels) +
                                                   static_cast<std::size_t>(channel)] >> 16);
    return out;
}

std::vector<std::int16_t> taps(const eLibrary::IrTaps& loaded)
{
    return {loaded.coefficients.begin(), loaded.coefficients.end()};
}

TEST(IrLoad, TheChannelIsAskedOfStereoFilesOnly)
{
    const auto stereo = soxFile("load-stereo.wav", {});
    const auto mono = soxFile("load-mono.aiff", {.type = "aiff", .channels = 1});
    int asked = 0;
    const auto right = [&asked] {
        ++asked;
        return 1;
    };
    const eLibrary::IrTaps fromStereo = eLibrary::loadIrTaps(stereo, {}, right);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(fromStereo.channel, 1);
    EXPECT_EQ(taps(fromStereo), sndfileChannel(stereo, 1));

    const eLibrary::IrTaps fromMono = eLibrary::loadIrTaps(mono, {}, right);
    EXPECT_EQ(asked, 1) << "a mono file has one channel to give";
    EXPECT_EQ(fromMono.channel, 0);
    EXPECT_EQ(taps(fromMono), sndfileChannel(mono, 0));
}

TEST(IrLoad, SaysWhatTheConversionDid)
{
    const auto misnamed = soxFile("load-wav.aif", {});
    const eLibrary::IrTaps loaded =
        eLibrary::loadIrTaps(misnamed, eLibrary::IrLoadOptions{.convert = true, .processing = {}}, [] { return 0; });
    EXPECT_EQ(loaded.processing, "a WAV file named .aif");
    EXPECT_EQ(taps(loaded), sndfileChannel(misnamed, 0));
    EXPECT_EQ(eLibrary::loadIrTaps(soxFile("load-plain.wav", {}), {.convert = true, .processing = {}}, {}).processing,
              "");
}

// A refusal comes with the error box's line and its note; a missing or broken-off file is no exception to that.
TEST(IrLoad, RefusalsCarryTheBoxsWords)
{
    struct Row {
        std::filesystem::path file;
        bool convert;
        int code;
        std::string text;
        std::string note;
    };
    const auto whole = soxFile("load-whole.wav", {});
    const auto cut = scratch() / "load-cut.wav";
    std::filesystem::copy_file(whole, cut, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cut, 30); // inside the format chunk
    const std::vector<Row> rows{
        {scratch() / "load-gone.wav", false, 1005, "FIR file open error. (1005)",
         "load-gone.wav: the file cannot be opened."},
        {scratch() / "load-gone.wav", true, 1005, "FIR file open error. (1005)",
         "load-gone.wav: the file cannot be opened."},
        {cut, false, 1008, "FIR file sample size error. (1008)", "load-cut.wav: format chunk cut short."},
        {cut, true, 1005, "FIR file open error. (1005)", "load-cut.wav: format chunk cut short."},
        {soxFile("load-48k.wav", {.rate = 48000}), false, 1007, "FIR file sample rate error. (1007)",
         "load-48k.wav: 48000 Hz, 16-bit PCM, stereo, WAV. Turn on Properties \xE2\x96\xB8 IR File Conversion to use "
         "it."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file.filename().string() + (row.convert ? " on" : " off"));
        const eLibrary::IrLoadOutcome outcome =
            eLibrary::tryLoadIr(row.file, {.convert = row.convert, .processing = {}}, [] { return 0; });
        EXPECT_FALSE(outcome.taps);
        EXPECT_EQ(outcome.refusal.code, row.code);
        EXPECT_EQ(outcome.refusal.text, row.text);
        EXPECT_EQ(outcome.refusal.note, row.note);
    }
}

} // namespace
