// Byte formats of every System Exclusive message exchanged with the amplifier.
// Pure functions: no I/O, no state.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceRecords.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orx::sysex {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kStart = 0xF0;
inline constexpr std::uint8_t kHeader1 = 0x43;
inline constexpr std::uint8_t kHeader2 = 0x7D;
inline constexpr std::uint8_t kEnd = 0xF7;

// Byte 3, high four bits.
inline constexpr std::uint8_t kKindBulk = 0x00; // bulk dump or FIR data block
inline constexpr std::uint8_t kKindParameter = 0x10;
inline constexpr std::uint8_t kKindDumpRequest = 0x20;
inline constexpr std::uint8_t kKindHeartbeat = 0x60;

// Anything shorter cannot be one of the amplifier's messages.
inline constexpr std::size_t kMinReceivedLength = 9;

inline constexpr std::size_t kDumpRequestLength = 13;
inline constexpr std::size_t kParameterLength = 11;
inline constexpr std::size_t kEffectDumpLength = 36;
inline constexpr std::size_t kFIRHeaderDumpLength = 86;
inline constexpr std::uint8_t kEffectDumpCount = 0x1C;    // 28
inline constexpr std::uint8_t kFIRHeaderDumpCount = 0x4E; // 78

inline constexpr int kDumpTypeEffectData = 10;
inline constexpr int kDumpTypeCount = 11;

// How long a whole dump of this type is.
constexpr std::size_t bulkDumpLength(int dumpType)
{
    return dumpType == kDumpTypeEffectData ? kEffectDumpLength : kFIRHeaderDumpLength;
}

// FIR data blocks: ten blocks cover the 4162-byte transfer image.
inline constexpr std::size_t kFIRBlockCount = 10;
inline constexpr std::size_t kFIRBlockPayload = 448;
inline constexpr std::size_t kFIRLastBlockPayload = kFIRRecordSize - 9 * kFIRBlockPayload; // 130
inline constexpr std::size_t kFIRBlockHeaderLength = 12;
inline constexpr std::size_t kMaxFIRBlockLength = 532;

// Parameter groups and numbers.
namespace param {
inline constexpr std::uint8_t kGroupEffect = 0x00;
inline constexpr std::uint8_t kGroupFIR = 0x04;
inline constexpr std::uint8_t kGroupSystem = 0x70;

// group 0x00, sent
inline constexpr std::uint8_t kLoopSend = 0x05;
inline constexpr std::uint8_t kLoopReturn = 0x06;
// group 0x00, received
inline constexpr std::uint8_t kSlotSwitchChannel1 = 0x40;
inline constexpr std::uint8_t kSlotSwitchChannel2 = 0x48;
// group 0x04, sent
inline constexpr std::uint8_t kSelectSlot = 0x00;
inline constexpr std::uint8_t kNameCharChannel1 = 0x03;
inline constexpr std::uint8_t kGainChannel1 = 0x04;
inline constexpr std::uint8_t kNameCharChannel2 = 0x05;
inline constexpr std::uint8_t kGainChannel2 = 0x06;
inline constexpr std::uint8_t kStore = 0x07;
inline constexpr std::uint8_t kReset = 0x08;
// group 0x04, received
inline constexpr std::uint8_t kBlockReply = 0x42;
inline constexpr std::uint8_t kStoreReply = 0x47;
inline constexpr std::uint8_t kResetReply = 0x48;
// group 0x70
inline constexpr std::uint8_t kHeartbeatRequest = 0x01;
inline constexpr std::uint8_t kUpdaterRequest = 0x21;
inline constexpr std::uint8_t kUpdaterReply = 0x61;

// Effect parameter k (1 to 4) of an amp channel.
constexpr std::uint8_t effectParameter(int k, int ampCh)
{
    return static_cast<std::uint8_t>(k + (ampCh != 0 ? 8 : 0));
}
} // namespace param

// --- shared rules ---------------------------------------------------------

// (0 - sum) & 0x7F over the counted bytes.
std::uint8_t checksum(const std::uint8_t* data, std::size_t size);

// 14-bit value as two data bytes, high seven bits first.
std::array<std::uint8_t, 2> encode14(std::uint16_t value);
std::uint16_t decode14(std::uint8_t high, std::uint8_t low);

// Packed size of a payload: padded to a multiple of 7, 8 bytes per group.
constexpr std::size_t packedLength(std::size_t payloadSize)
{
    return (payloadSize + 6) / 7 * 8;
}
// Packs 8-bit bytes into 7-bit MIDI bytes; out must hold packedLength(size) bytes. Returns bytes written.
std::size_t pack7(const std::uint8_t* in, std::size_t size, std::uint8_t* out);
// Reverses pack7; size must be a multiple of 8. out must hold size / 8 * 7 bytes. Returns bytes written.
std::size_t unpack7(const std::uint8_t* in, std::size_t size, std::uint8_t* out);

// Header bytes 0 to 2 and the minimum length every received message must have.
bool hasAmpHeader(const std::uint8_t* data, std::size_t size);
// High four bits of byte 3; only meaningful when hasAmpHeader holds.
inline std::uint8_t kindOf(const std::uint8_t* data)
{
    return static_cast<std::uint8_t>(data[3] & 0xF0);
}

// --- messages the program sends -------------------------------------------

std::array<std::uint8_t, kDumpRequestLength> dumpRequest(int dumpType);
std::array<std::uint8_t, kParameterLength> parameterMessage(std::uint8_t group, std::uint8_t parameter,
                                                            std::uint8_t data1, std::uint8_t data2);
std::array<std::uint8_t, kParameterLength> heartbeatRequest();
std::array<std::uint8_t, kParameterLength> updaterRequest();
// One FIR data block: header, 7-bit packed payload (zero-filled to a group), checksum. 532 bytes at most.
Bytes firDataBlock(int blockNumber, int ampCh, const std::uint8_t* payload, std::size_t payloadSize);
// Payload start and length of block b within the transfer image.
std::size_t firBlockOffset(int blockNumber);
std::size_t firBlockPayloadSize(int blockNumber);

// --- messages the program receives ----------------------------------------

// Dump type 0 to 10 of a bulk dump, with its count bytes checked; nullopt for anything to be ignored.
std::optional<int> recogniseBulkDump(const std::uint8_t* data, std::size_t size);
// Whether the byte before checksumIndex sums with it to zero over [6, checksumIndex).
bool checksumMatches(const std::uint8_t* data, std::size_t size, std::size_t checksumIndex);

struct Parameter {
    std::uint8_t group = 0;
    std::uint8_t parameter = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};
// A parameter message with "X2"; nullopt when it is not one.
std::optional<Parameter> parseParameter(const std::uint8_t* data, std::size_t size);
// The model code character ('1' or '2') of a heartbeat; nullopt when it is not one.
std::optional<std::uint8_t> parseHeartbeat(const std::uint8_t* data, std::size_t size);

// A dump request's type 0 to 10; nullopt when it is not one (the amplifier's side).
std::optional<int> parseDumpRequest(const std::uint8_t* data, std::size_t size);

struct FIRBlock {
    int blockNumber = 0;
    int ampCh = 0;
    Bytes payload; // unpacked, fill bytes included
    bool checksumOk = false;
};
// A FIR data block as the amplifier reads it; nullopt when the frame or count is wrong.
std::optional<FIRBlock> parseFIRDataBlock(const std::uint8_t* data, std::size_t size);

// Messages the amplifier sends (used by the simulated amplifier and by tests).
Bytes heartbeat(std::uint8_t modelCode);
Bytes effectDataDump(const EffectData& effect);
Bytes firHeaderDump(int dumpType, const std::array<std::uint8_t, kIrNameLength>& irName, std::uint16_t firCoe);

} // namespace orx::sysex
