// An impulse-response file loaded as the speaker page loads it, for the page and for the command-line tool:
// the same conversion setting, the same channel of a stereo file, the same words for what the loading did.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppSettings.h"
#include "DeviceRecords.h"
#include "IrAnalysis.h"
#include "IrPlot.h"

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orx {

struct LoadedIr {
    std::array<std::int16_t, kCoefficientCount> coefficients{};
    // What the conversion and the IR processing did ("sample rate 48000 Hz, ...; trimmed 221 samples of leading
    // silence, minimum phase"); empty when nothing.
    std::string processing;
    int channel = 0; // the file's channel the taps came from
    // With IR processing on: the part of the file's energy the processed taps hold (ProcessedIr::keptShare).
    std::optional<double> processedShare;
};

// The settings that decide what a file's loading gives.
struct LoadingSettings {
    bool convert = false;
    bool trimSilence = false;
    bool minimumPhase = false;
    bool fadeOut = false;
    bool matchLoudness = false;
    int primaryCh = 0;

    bool operator==(const LoadingSettings&) const = default;
};
LoadingSettings loadingSettingsOf(const AppSettings* settings);

// Throws mstd::CGenericException 1005 to 1009. `askChannel` is asked (0 or 1) for a stereo file when the
// settings leave the channel to the user; without settings the user is asked as well. The settings' IR processing
// steps, when any is on, work on the whole response of that channel.
LoadedIr loadIrFile(const std::filesystem::path& path, const AppSettings* settings,
                    const std::function<int()>& askChannel);

// What the IR File Info dialog shows of a file being tried: the whole response (after the conversion) and the 2048
// taps as they were sent, and, when the processing changed them, the taps as the file has them.
struct IrInsight {
    std::filesystem::path file;
    int channel = 0;
    std::string processing;              // what the loading did, as LoadedIr says it
    eLibrary::IrAnalysis whole;          // the file, and its first 2048 samples as the taps
    eLibrary::IrMeasures sent;           // the taps as sent
    // The dialog's picture: the figure lines, the responses, the taps (in 16-bit units) and whether the taps sent
    // are not the file's first 2048 samples.
    eLibrary::IrPlotData plot;
};

// Reads the file's whole response again (headers and samples; on any thread); nothing when it cannot be read.
std::optional<IrInsight> inspectTriedIr(const std::filesystem::path& file, int channel,
                                        const std::array<std::int16_t, kCoefficientCount>& sent,
                                        const std::string& processing,
                                        std::optional<double> processedShare = std::nullopt);

// The IR name a file gets: its name (UTF-8, as the file system spells it) without the extension, made 7-bit as
// every name sent to the amplifier is (`irNameField`).
std::array<std::uint8_t, kIrNameLength> irNameOfFile(const std::string& displayName);

} // namespace orx
