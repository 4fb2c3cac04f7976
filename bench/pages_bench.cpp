// Speed of what the user-interface thread does on its own: listing a folder and painting the pages.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CEffcetSettingsTab.h"
#include "CIrInfoDlg.h"
#include "CMIDIManager.h"
#include "CSpeakerSimulationTab.h"
#include "FolderScan.h"
#include "SimulatorPorts.h"
#include "WaveFile.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A folder as users keep them: a few sub-folders and many response files, some of other kinds.
std::filesystem::path makeFolder(const QTemporaryDir& dir, int files)
{
    const std::filesystem::path root = dir.path().toStdString();
    for (int i = 0; i < 8; ++i)
        std::filesystem::create_directories(root / ("Pack " + std::to_string(i)));
    for (int i = 0; i < files; ++i) {
        const char* extension = i % 10 == 0 ? ".txt" : i % 3 == 0 ? ".aiff" : ".WAV";
        std::ofstream(root / ("Cabinet " + std::to_string(i) + extension)) << "x";
    }
    return root;
}

void BM_ScanFolder(benchmark::State& state)
{
    QTemporaryDir dir;
    const auto folder = makeFolder(dir, static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(orx::scanFolder(folder));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanFolder)->Arg(30)->Arg(200)->Arg(2000)->Unit(benchmark::kMicrosecond);

// One whole paint of a page into an off-screen picture, as a repaint after a click costs.
template <typename Page> void BM_PaintPage(benchmark::State& state)
{
    QWidget owner;
    Page page(&owner);
    page.show();
    QImage target(page.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        page.render(&target);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_TEMPLATE(BM_PaintPage, CEffcetSettingsTab)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PaintPage, CSpeakerSimulationTab)->Unit(benchmark::kMillisecond);

// One paint of the IR File Info view (figures, a 256-point response of the file and of the taps, the 2048 taps)
// for a 1 s response, as each file tried repaints it.
void BM_PaintIrInfo(benchmark::State& state)
{
    QTemporaryDir folder;
    const std::string path = (std::filesystem::path(folder.path().toStdString()) / "long.wav").string();
    std::vector<std::int16_t> samples(44100);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double decay = std::exp(-static_cast<double>(i) / 4000.0);
        samples[i] = static_cast<std::int16_t>(decay * (static_cast<int>(noise >> 16) - 32768) * 0.9);
    }
    orx::test::writeWave(path, {samples});
    std::array<std::int16_t, orx::kCoefficientCount> taps{};
    std::copy_n(samples.begin(), taps.size(), taps.begin());
    orx::IrInfoView view;
    view.setInsight(orx::inspectTriedIr(path, 0, taps, {}));
    view.resize(view.sizeHint());
    QImage target(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&target);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PaintIrInfo)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The pages read the device session; an amplifier that is never connected keeps the system's MIDI out of it.
    orx::CMIDIManager::setBackendFactory(
        [] { return std::make_unique<orx::sim::SimulatorPortBackend>(std::make_shared<orx::sim::SimulatedAmp>('2')); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
