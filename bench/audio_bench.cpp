// Loading the 2048 coefficients of an impulse response: our loader beside libsndfile, same files, same run.
#include "CFIRFile.h"

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

void loadWithCFIRFile(benchmark::State& state, const std::filesystem::path& path)
{
    std::int16_t coefficients[kFrames];
    for (auto _ : state) {
        CFIRFile file;
        file.open(path);
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

BENCHMARK(BM_CFIRFile_Wav24Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sndfile_Wav24Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CFIRFile_Aiff24Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sndfile_Aiff24Stereo)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* extension : {".wav", ".aiff"})
        std::filesystem::remove(std::filesystem::temp_directory_path() /
                                ("orx_bench_" + std::to_string(::getpid()) + "_24bit_stereo" + extension));
    return 0;
}
