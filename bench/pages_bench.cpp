// Speed of what the user-interface thread does on its own: listing a folder and painting the pages.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CEffcetSettingsTab.h"
#include "CMIDIManager.h"
#include "CSpeakerSimulationTab.h"
#include "FolderScan.h"
#include "SimulatorPorts.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

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
