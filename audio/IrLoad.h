// Loading an impulse-response file as the program sends it, one path for the speaker page, orx-tevo install and
// orx-irinfo: the conversion setting, the channel of a stereo file, the optional processing, and when the file is
// refused, the code and the words the user reads.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceRecords.h"
#include "IrProcessing.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace eLibrary {

struct IrLoadOptions {
    bool convert = false;    // Properties ▸ IR File Conversion
    IrProcessing processing; // every step off: the taps are the file's first 2048 samples as read, bit for bit
};

struct IrTaps {
    std::array<std::int16_t, orx::kCoefficientCount> coefficients{};
    // What the conversion and the processing did ("sample rate 48000 Hz, ...; trimmed 221 samples of leading
    // silence, minimum phase"); empty when nothing.
    std::string processing;
    int channel = 0; // the file's channel the taps came from
    // With a processing step on: the part of the file's energy the processed taps hold (ProcessedIr::keptShare).
    std::optional<double> processedShare;
};

// Throws mstd::CGenericException 1005 to 1009. `chooseChannel` (0 or 1) is asked only for a file of two channels
// or more; a mono file gives its only channel.
IrTaps loadIrTaps(const std::filesystem::path& path, const IrLoadOptions& options,
                  const std::function<int()>& chooseChannel);

struct IrRefusal {
    int code = 0;     // 1005 to 1009; 0 when the file loaded
    std::string text; // the error box's line, "<text> (<code>)"
    std::string note; // the line under it (UTF-8): the file's name, what it is, what to do
};

// The words for a file refused with `code` with the conversion on or off.
IrRefusal irRefusal(const std::filesystem::path& path, int code, bool convert);

struct IrLoadOutcome {
    std::optional<IrTaps> taps; // set when the file loaded
    IrRefusal refusal;          // code 0 when it loaded
};

// loadIrTaps, and the refusal when it throws: what the program does with a file, for every program that loads one.
IrLoadOutcome tryLoadIr(const std::filesystem::path& path, const IrLoadOptions& options,
                        const std::function<int()>& chooseChannel);

} // namespace eLibrary
