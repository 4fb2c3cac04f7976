// An impulse-response file loaded as the speaker page loads it, for the page and for the command-line tool:
// the same conversion setting, the same channel of a stereo file, the same words for what the loading did.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppSettings.h"
#include "DeviceRecords.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>

namespace orx {

struct LoadedIr {
    std::array<std::int16_t, kCoefficientCount> coefficients{};
    // What the conversion and the IR processing did ("sample rate 48000 Hz, ...; trimmed 221 samples of leading
    // silence, minimum phase"); empty when nothing.
    std::string processing;
};

// Throws mstd::CGenericException 1005 to 1009. `askChannel` is asked (0 or 1) for a stereo file when the
// settings leave the channel to the user; without settings the user is asked as well. The settings' IR processing
// steps, when any is on, work on the whole response of that channel.
LoadedIr loadIrFile(const std::filesystem::path& path, const AppSettings* settings,
                    const std::function<int()>& askChannel);

// The IR name a file gets: its name without the extension, at most 63 bytes.
std::array<std::uint8_t, kIrNameLength> irNameOfFile(const std::string& displayName);

} // namespace orx
