// File and text helpers the IR library and the backup file share: atomic writes, SHA-256, hex, base64,
// UTC time stamps and the amplifier's name bytes as text.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceRecords.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orx {

// The same alias the session uses, so names pass between them unchanged.
using IrName = std::array<std::uint8_t, kIrNameLength>;
using Coefficients = std::array<std::int16_t, kCoefficientCount>;

namespace files {

// Writes the bytes to a temporary file next to `path`, flushes it to the disk and renames it over `path`, so
// a reader sees the old file or the new one, never a part. Throws std::runtime_error with the reason.
void writeAtomically(const std::filesystem::path& path, std::string_view bytes);
// The whole file; nothing when it cannot be read.
std::optional<std::string> readWhole(const std::filesystem::path& path);
// Whether a file name is one of the temporary files writeAtomically leaves behind when it is killed.
bool isTemporaryName(const std::string& fileName);

std::string sha256Hex(std::string_view bytes);
std::string toHex(const std::uint8_t* bytes, std::size_t size);
// Nothing for an odd length or a character that is not a hex digit.
std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text);
std::string toBase64(std::string_view bytes);
// Nothing for text that is not base64.
std::optional<std::string> fromBase64(std::string_view text);

// "2026-12-10T15:31:23Z"
std::string isoUtc(std::chrono::system_clock::time_point time);
// "20261210T153123Z", for file names.
std::string compactUtc(std::chrono::system_clock::time_point time);

// The amplifier's names are Windows-1252 bytes up to the first zero; this is their UTF-8 text.
std::string nameText(const IrName& name);
// Whether a name the amplifier reports is this stored one: its dumps carry each name byte's lower 7 bits only,
// while a slot holds the 8-bit bytes it was sent.
bool sameReportedName(const IrName& stored, const IrName& reported);
IrName nameFromText(std::string_view text); // for tests and tools: at most 63 bytes, zero-filled

// The coefficients as little-endian int16 bytes, and back (nothing for the wrong length).
std::string coefficientBytes(const Coefficients& coefficients);
std::optional<Coefficients> coefficientsFromBytes(std::string_view bytes);

} // namespace files
} // namespace orx
