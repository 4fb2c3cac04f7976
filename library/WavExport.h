// The 2048 coefficients of a slot as a plain 16-bit 44100 Hz mono WAV, sample for sample.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LibraryFiles.h"

#include <filesystem>
#include <optional>
#include <string>

namespace orx {

inline constexpr std::uint32_t kExportSampleRate = 44100;

// The whole WAV file in memory: a 44-byte PCM header and the coefficients as its samples.
std::string coefficientsWavBytes(const Coefficients& coefficients);
// Writes it atomically; throws std::runtime_error with the reason.
void exportCoefficientsWav(const std::filesystem::path& path, const Coefficients& coefficients);
// Reads a WAV as exportCoefficientsWav writes it (16-bit PCM, mono, 2048 frames; other chunks are skipped);
// nothing for any other file.
std::optional<Coefficients> coefficientsFromWavBytes(std::string_view bytes);

} // namespace orx
