// Loading a file the way the speaker page does, for the page and for orx-tevo install.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrFileLoading.h"

#include "IrConversion.h"
#include "IrNameText.h"
#include "IrLoad.h"

#include <vector>

namespace orx {

LoadingSettings loadingSettingsOf(const AppSettings* settings)
{
    if (!settings)
        return {false, false, false, false, false, 2};
    return {settings->ConvertFiles, settings->TrimSilence, settings->MinimumPhase,
            settings->FadeOut,      settings->MatchLoudness, settings->PrimaryCh};
}

LoadedIr loadIrFile(const std::filesystem::path& path, const AppSettings* settings,
                    const std::function<int()>& askChannel)
{
    const LoadingSettings with = loadingSettingsOf(settings);
    eLibrary::IrLoadOptions options;
    options.convert = with.convert;
    options.processing.trimSilence = with.trimSilence;
    options.processing.minimumPhase = with.minimumPhase;
    options.processing.fadeOut = with.fadeOut;
    options.processing.matchLoudness = with.matchLoudness;
    eLibrary::IrTaps taps = eLibrary::loadIrTaps(path, options, [&] {
        return with.primaryCh == 0 || with.primaryCh == 1 ? with.primaryCh : askChannel();
    });
    LoadedIr loaded;
    loaded.coefficients = taps.coefficients;
    loaded.processing = std::move(taps.processing);
    loaded.channel = taps.channel;
    loaded.processedShare = taps.processedShare;
    return loaded;
}

std::optional<IrInsight> inspectTriedIr(const std::filesystem::path& file, int channel,
                                        const std::array<std::int16_t, kCoefficientCount>& sent,
                                        const std::string& processing, std::optional<double> processedShare)
{
    IrInsight insight;
    insight.file = file;
    insight.channel = channel;
    insight.processing = processing;
    std::vector<double> whole;
    try {
        if (!eLibrary::ConvertedIrFile(file).readWhole(channel, whole) || whole.empty())
            return std::nullopt;
    } catch (...) {
        return std::nullopt; // gone or changed since it was tried
    }
    insight.whole = eLibrary::analyseIr(whole);
    insight.plot = eLibrary::irPlotOf(whole, std::vector<double>(sent.begin(), sent.end()));
    insight.sent = eLibrary::measureIr(insight.plot.taps);
    const bool processed = insight.plot.processed;
    insight.plot.lines = eLibrary::irFigureLines(file.filename().string(), channel, insight.whole, insight.sent,
                                                 processed, processing, processed ? processedShare : std::nullopt);
    return insight;
}

std::array<std::uint8_t, kIrNameLength> irNameOfFile(const std::string& displayName)
{
    return irNameField(std::string_view(displayName).substr(0, displayName.rfind('.')));
}

} // namespace orx
