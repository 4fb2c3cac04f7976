// Loading a file the way the speaker page does, for the page and for orx-tevo install.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrFileLoading.h"

#include "CFIRFile.h"
#include "GenericException.h"
#include "IrNameText.h"
#include "IrConversion.h"
#include "IrFileFacts.h"
#include "IrProcessing.h"

#include <algorithm>
#include <span>
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
    CFIRFile::Options options;
    options.convert = settings && settings->ConvertFiles;
    CFIRFile file;
    file.open(path, options);
    int channel = 0;
    // Asked of the file, not of its reader: a converted file has no reader that could tell.
    if (file.getChannels() >= 2) {
        const int primary = settings ? settings->PrimaryCh : 2;
        channel = primary == 0 || primary == 1 ? primary : askChannel();
    }
    LoadedIr loaded;
    loaded.channel = channel;
    file.readCoefficients(loaded.coefficients.data(), channel);
    if (file.isConverted())
        loaded.processing = inspectIrFile(path).conversion;
    // With every step off the taps are the file's first 2048 samples as read above, bit for bit.
    if (settings && settings->anyIrProcessing()) {
        eLibrary::IrProcessing steps;
        steps.trimSilence = settings->TrimSilence;
        steps.minimumPhase = settings->MinimumPhase;
        steps.fadeOut = settings->FadeOut;
        steps.matchLoudness = settings->MatchLoudness;
        std::vector<double> whole;
        // The whole response, not only its first 2048 samples: trimming and minimum phase bring in what lies after.
        if (!eLibrary::ConvertedIrFile(path).readWhole(channel, whole))
            throw mstd::CGenericException(mstd::kErrFIRFileRead, 0);
        const eLibrary::ProcessedIr processed = eLibrary::processIr(whole, steps);
        loaded.coefficients = processed.taps;
        loaded.processedShare = processed.keptShare;
        const std::string summary = processed.summary();
        if (!summary.empty())
            loaded.processing += (loaded.processing.empty() ? "" : "; ") + summary;
    }
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
