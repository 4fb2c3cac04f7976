// The amplifier's records as the program and the simulated amplifier hold them.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orx {

inline constexpr std::size_t kIrNameLength = 64;
inline constexpr std::size_t kCoefficientCount = 2048;
inline constexpr std::size_t kFIRRecordSize = 4162;
inline constexpr std::size_t kIrSlotCount = 10;
inline constexpr std::size_t kSlotsPerChannel = 5;
inline constexpr std::uint16_t kMaxFIRCOE = 0x3FFF;

// One impulse response as the amplifier stores it.
struct FIRRecord {
    std::array<std::uint8_t, kIrNameLength> irName{}; // zero-terminated, at most 63 characters used
    std::uint16_t FIRCOE = 0;                         // linear gain times 16384
    std::array<std::int16_t, kCoefficientCount> coefficients{};

    bool operator==(const FIRRecord&) const = default;
};
static_assert(sizeof(FIRRecord) == kFIRRecordSize, "FIRRecord must be 4162 bytes without gaps");

// The 4162-byte image sent to the amplifier: fields in order, 16-bit values little-endian.
using FIRTransferImage = std::array<std::uint8_t, kFIRRecordSize>;
FIRTransferImage toTransferImage(const FIRRecord& record);
FIRRecord fromTransferImage(const FIRTransferImage& image);

// The amplifier's 16-byte settings block, byte for byte as in the effect data dump.
struct EffectData {
    std::array<std::uint8_t, 16> bytes{};

    // Byte positions with a meaning to the program.
    static constexpr std::size_t kSlotChannel1 = 0;
    static constexpr std::size_t kFirstParamChannel1 = 1; // booster, FX loop mode, reverb, noise gate
    static constexpr std::size_t kLoopSend = 5;
    static constexpr std::size_t kLoopReturn = 6;
    static constexpr std::size_t kSlotChannel2 = 8;
    static constexpr std::size_t kFirstParamChannel2 = 9;

    bool operator==(const EffectData&) const = default;
};

// IR name "Bypass", full gain and a single unit tap: the neutral response.
FIRRecord makeBypassRecord();

// A name as the amplifier stores it (8-bit, Windows-1252), up to its first zero byte, as UTF-8.
std::string decodeAmpNameUtf8(const std::uint8_t* bytes, std::size_t size);

} // namespace orx
