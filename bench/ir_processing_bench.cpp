// The IR figures and the minimum-phase processing of a one-second IR at 44100 Hz: what a Properties dialog or a
// load with the processing on waits for.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrAnalysis.h"
#include "IrProcessing.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// Decaying filtered noise, as a measured cabinet with a long room tail.
std::vector<double> secondLongIr()
{
    std::mt19937 random(1);
    std::normal_distribution<double> noise;
    std::vector<double> h(44100);
    double state = 0.0;
    for (std::size_t n = 0; n < h.size(); ++n) {
        state = 0.6 * state + 0.4 * noise(random);
        h[n] = 12000.0 * state * std::exp(-static_cast<double>(n) / 2000.0);
    }
    return h;
}

void BM_AnalysisAndMinimumPhase1s(benchmark::State& state)
{
    const std::vector<double> ir = secondLongIr();
    for (auto _ : state) {
        const eLibrary::IrAnalysis figures = eLibrary::analyseIr(ir);
        const eLibrary::MagnitudeResponse response = eLibrary::magnitudeResponse(ir);
        const std::vector<double> minimum = eLibrary::minimumPhase(ir, eLibrary::kTapCount);
        benchmark::DoNotOptimize(figures.tapsEnergyShare);
        benchmark::DoNotOptimize(response.db.data());
        benchmark::DoNotOptimize(minimum.data());
    }
}
BENCHMARK(BM_AnalysisAndMinimumPhase1s)->Unit(benchmark::kMillisecond);

void BM_Analysis1s(benchmark::State& state)
{
    const std::vector<double> ir = secondLongIr();
    for (auto _ : state) {
        const eLibrary::IrAnalysis figures = eLibrary::analyseIr(ir);
        const eLibrary::MagnitudeResponse response = eLibrary::magnitudeResponse(ir);
        benchmark::DoNotOptimize(figures.tapsEnergyShare);
        benchmark::DoNotOptimize(response.db.data());
    }
}
BENCHMARK(BM_Analysis1s)->Unit(benchmark::kMillisecond);

void BM_EveryProcessingStep1s(benchmark::State& state)
{
    const std::vector<double> ir = secondLongIr();
    const eLibrary::IrProcessing all{.trimSilence = true, .minimumPhase = true, .fadeOut = true, .matchLoudness = true};
    for (auto _ : state) {
        const eLibrary::ProcessedIr processed = eLibrary::processIr(ir, all);
        benchmark::DoNotOptimize(processed.taps.data());
    }
}
BENCHMARK(BM_EveryProcessingStep1s)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
