// Loading the 2048 coefficients of an impulse response: our loader beside libsndfile, same files, same run; the
// conversion of a 96 kHz file beside the plain 44.1 kHz load; and the header check over a folder of files.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CFIRFile.h"
#include "IrFileFacts.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFrames = 2048;

// A 24-bit stereo file of a few thousand frames, written once per run by libsndfile.
std::filesystem::path fixture(int format, const char* extension)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("orx_bench_" + std::to_string(::getpid()) + "_24bit_stereo" + extension);
    if (std::filesystem::exists(path))
        return path;
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        std::abort();
    std::vector<int> samples(2 * 6000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int>((i * 2654435761u) & 0xFFFFFF00u);
    sf_writef_int(file, samples.data(), 6000);
    sf_close(file);
    return path;
}

std::filesystem::path benchPath(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("orx_bench_" + std::to_string(::getpid()) + "_" + name);
}

// One second of noise at the given rate, bits and channels, written once per run.
std::filesystem::path secondOf(int rate, int format, int channels, const std::string& name)
{
    const auto path = benchPath(name);
    if (std::filesystem::exists(path))
        return path;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        std::abort();
    std::vector<int> samples(static_cast<std::size_t>(rate * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int>((i * 2654435761u) & 0xFFFFFF00u) / 2;
    sf_writef_int(file, samples.data(), rate);
    sf_close(file);
    return path;
}

// A folder of 1000 short files of the kinds a user's IR library holds, some the conversion needs.
std::filesystem::path folderOf1000()
{
    const auto dir = benchPath("folder");
    if (std::filesystem::exists(dir))
        return dir;
    std::filesystem::create_directory(dir);
    const int formats[] = {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT, SF_FORMAT_PCM_32};
    const int rates[] = {44100, 48000, 96000};
    std::vector<int> samples(2 * 4096, 1 << 24);
    for (int i = 0; i < 1000; ++i) {
        SF_INFO info{};
        info.samplerate = rates[i % 3];
        info.channels = 1 + i % 2;
        info.format = (i % 5 == 0 ? SF_FORMAT_AIFF : SF_FORMAT_WAV) | formats[i % 4];
        const auto path = dir / ("ir" + std::to_string(i) + (i % 5 == 0 ? ".aif" : ".wav"));
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!file)
            std::abort();
        sf_writef_int(file, samples.data(), 4096);
        sf_close(file);
    }
    return dir;
}

void loadWithCFIRFile(benchmark::State& state, const std::filesystem::path& path, bool convert = false)
{
    std::int16_t coefficients[kFrames];
    for (auto _ : state) {
        CFIRFile file;
        file.open(path, CFIRFile::Options{.convert = convert});
        file.readCoefficients(coefficients, 0);
        benchmark::DoNotOptimize(coefficients);
    }
}

void loadWithSndfile(benchmark::State& state, const std::filesystem::path& path)
{
    std::int16_t coefficients[kFrames];
    std::vector<int> frames(2 * kFrames);
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        const sf_count_t got = sf_readf_int(file, frames.data(), kFrames);
        for (sf_count_t i = 0; i < got; ++i)
            coefficients[i] = static_cast<std::int16_t>(frames[static_cast<std::size_t>(2 * i)] >> 16);
        sf_close(file);
        benchmark::DoNotOptimize(coefficients);
    }
}

void BM_CFIRFile_Wav24Stereo(benchmark::State& s)
{
    loadWithCFIRFile(s, fixture(SF_FORMAT_WAV, ".wav"));
}
void BM_Sndfile_Wav24Stereo(benchmark::State& s)
{
    loadWithSndfile(s, fixture(SF_FORMAT_WAV, ".wav"));
}
void BM_CFIRFile_Aiff24Stereo(benchmark::State& s)
{
    loadWithCFIRFile(s, fixture(SF_FORMAT_AIFF, ".aiff"));
}
void BM_Sndfile_Aiff24Stereo(benchmark::State& s)
{
    loadWithSndfile(s, fixture(SF_FORMAT_AIFF, ".aiff"));
}

// The conversion's cost beside the load the amplifier takes as it is.
void BM_CFIRFile_Wav16Stereo44k(benchmark::State& s)
{
    loadWithCFIRFile(s, secondOf(44100, SF_FORMAT_PCM_16, 2, "44k16.wav"));
}
void BM_CFIRFile_Convert_Wav24Stereo96k(benchmark::State& s)
{
    loadWithCFIRFile(s, secondOf(96000, SF_FORMAT_PCM_24, 2, "96k24.wav"), true);
}

// What a file list pays to say, for every file, whether and how it loads.
void BM_InspectFolderOf1000(benchmark::State& state)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf1000()))
        files.push_back(entry.path());
    for (auto _ : state) {
        int loadable = 0;
        for (const auto& path : files)
            loadable += inspectIrFile(path).loadsWithConversion;
        benchmark::DoNotOptimize(loadable);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(files.size()));
}

BENCHMARK(BM_CFIRFile_Wav24Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sndfile_Wav24Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CFIRFile_Aiff24Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sndfile_Aiff24Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CFIRFile_Wav16Stereo44k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CFIRFile_Convert_Wav24Stereo96k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InspectFolderOf1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* extension : {".wav", ".aiff"})
        std::filesystem::remove(std::filesystem::temp_directory_path() /
                                ("orx_bench_" + std::to_string(::getpid()) + "_24bit_stereo" + extension));
    for (const char* name : {"44k16.wav", "96k24.wav", "folder"})
        std::filesystem::remove_all(benchPath(name));
    return 0;
}
