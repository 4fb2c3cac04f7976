// Builders and parsers of the amplifier's System Exclusive messages.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysexCatalogue.h"

#include <algorithm>
#include <cstring>

namespace orx::sysex {

namespace {

constexpr std::uint8_t kTag[4] = {'X', 'Q', 'V', '2'};
constexpr std::uint8_t kUtil[4] = {'U', 'T', 'I', 'L'};
constexpr std::uint8_t kFirc[4] = {'F', 'I', 'R', 'C'};

// Bulk dumps and FIR data blocks: bytes 4, 5 count, 6 to 9 tag, 10 on body.
constexpr std::size_t kCountPos = 4;
constexpr std::size_t kTagPos = 6;
constexpr std::size_t kBlockNamePos = 10;
constexpr std::size_t kBulkBodyPos = 18;

bool matches(const std::uint8_t* data, const std::uint8_t (&text)[4])
{
    return std::memcmp(data, text, 4) == 0;
}

// Bulk dump around a body that starts at byte 10; fills count and checksum.
Bytes bulkDump(const Bytes& bodyFromByte10)
{
    const std::size_t counted = 4 + bodyFromByte10.size(); // tag plus body
    Bytes out(counted + 8);
    out[0] = kStart;
    out[1] = kHeader1;
    out[2] = kHeader2;
    out[3] = kKindBulk;
    const auto count = encode14(static_cast<std::uint16_t>(counted));
    out[kCountPos] = count[0];
    out[kCountPos + 1] = count[1];
    std::copy(std::begin(kTag), std::end(kTag), out.begin() + kTagPos);
    std::copy(bodyFromByte10.begin(), bodyFromByte10.end(), out.begin() + kBlockNamePos);
    out[counted + 6] = checksum(out.data() + kTagPos, counted);
    out[counted + 7] = kEnd;
    return out;
}

} // namespace

std::uint8_t checksum(const std::uint8_t* data, std::size_t size)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += data[i];
    return static_cast<std::uint8_t>((0u - sum) & 0x7F);
}

std::array<std::uint8_t, 2> encode14(std::uint16_t value)
{
    return {static_cast<std::uint8_t>((value >> 7) & 0x7F), static_cast<std::uint8_t>(value & 0x7F)};
}

std::uint16_t decode14(std::uint8_t high, std::uint8_t low)
{
    return static_cast<std::uint16_t>((high & 0x7F) * 128 + (low & 0x7F));
}

std::size_t pack7(const std::uint8_t* in, std::size_t size, std::uint8_t* out)
{
    std::size_t written = 0;
    for (std::size_t group = 0; group < size; group += 7) {
        std::uint8_t topBits = 0;
        for (std::size_t i = 0; i < 7; ++i) {
            const std::uint8_t b = group + i < size ? in[group + i] : 0; // zero fill of the last group
            out[written++] = b & 0x7F;
            topBits = static_cast<std::uint8_t>(topBits | ((b >> 7) << (6 - i)));
        }
        out[written++] = topBits;
    }
    return written;
}

std::size_t unpack7(const std::uint8_t* in, std::size_t size, std::uint8_t* out)
{
    std::size_t written = 0;
    for (std::size_t group = 0; group + 8 <= size; group += 8) {
        const std::uint8_t topBits = in[group + 7];
        for (std::size_t i = 0; i < 7; ++i)
            out[written++] = static_cast<std::uint8_t>((in[group + i] & 0x7F) | (((topBits >> (6 - i)) & 1) << 7));
    }
    return written;
}

bool hasAmpHeader(const std::uint8_t* data, std::size_t size)
{
    return data != nullptr && size >= kMinReceivedLength && data[0] == kStart && data[1] == kHeader1 &&
           data[2] == kHeader2;
}

std::array<std::uint8_t, kDumpRequestLength> dumpRequest(int dumpType)
{
    std::array<std::uint8_t, kDumpRequestLength> m{kStart, kHeader1, kHeader2, kKindDumpRequest, 'X', 'Q', 'V', '2'};
    if (dumpType == kDumpTypeEffectData) {
        std::copy(std::begin(kUtil), std::end(kUtil), m.begin() + 8);
    } else {
        m[8] = 'F';
        m[9] = 'H';
        m[10] = dumpType < 5 ? 'L' : 'R';
        m[11] = static_cast<std::uint8_t>('0' + dumpType % 5);
    }
    m[12] = kEnd;
    return m;
}

std::array<std::uint8_t, kParameterLength> parameterMessage(std::uint8_t group, std::uint8_t parameter,
                                                            std::uint8_t data1, std::uint8_t data2)
{
    return {kStart, kHeader1, kHeader2, kKindParameter, 'X', '2', group, parameter, data1, data2, kEnd};
}

std::array<std::uint8_t, kParameterLength> heartbeatRequest()
{
    return parameterMessage(param::kGroupSystem, param::kHeartbeatRequest, 0, 0);
}

std::array<std::uint8_t, kParameterLength> updaterRequest()
{
    return parameterMessage(param::kGroupSystem, param::kUpdaterRequest, 0, 0);
}

std::size_t firBlockOffset(int blockNumber)
{
    return static_cast<std::size_t>(blockNumber) * kFIRBlockPayload;
}

std::size_t firBlockPayloadSize(int blockNumber)
{
    return blockNumber < static_cast<int>(kFIRBlockCount) - 1 ? kFIRBlockPayload : kFIRLastBlockPayload;
}

Bytes firDataBlock(int blockNumber, int ampCh, const std::uint8_t* payload, std::size_t payloadSize)
{
    payloadSize = std::min(payloadSize, kFIRBlockPayload);
    std::array<std::uint8_t, kFIRBlockHeaderLength> header{'X', 'Q', 'V', '2', 'F', 'I', 'R', 'C'};
    const auto block = encode14(static_cast<std::uint16_t>(blockNumber));
    const auto channel = encode14(ampCh == 0 ? 0 : 1);
    header[8] = block[0];
    header[9] = block[1];
    header[10] = channel[0];
    header[11] = channel[1];

    const std::size_t n = kFIRBlockHeaderLength + packedLength(payloadSize);
    Bytes out(n + 8);
    out[0] = kStart;
    out[1] = kHeader1;
    out[2] = kHeader2;
    out[3] = kKindBulk;
    const auto count = encode14(static_cast<std::uint16_t>(n));
    out[4] = count[0];
    out[5] = count[1];
    std::copy(header.begin(), header.end(), out.begin() + kTagPos);
    pack7(payload, payloadSize, out.data() + kBulkBodyPos);
    out[n + 6] = checksum(out.data() + kTagPos, n);
    out[n + 7] = kEnd;
    return out;
}

std::optional<int> recogniseBulkDump(const std::uint8_t* data, std::size_t size)
{
    // Bytes 10 to 17 decide the type; a message that ends before them is nobody's dump.
    if (!hasAmpHeader(data, size) || size < kBulkBodyPos || !matches(data + kTagPos, kTag))
        return std::nullopt;
    const std::uint8_t* name = data + kBlockNamePos;
    const bool zeroPad = data[14] == 0 && data[15] == 0;
    if (matches(name, kUtil) && zeroPad && data[16] == 0x7F && data[17] == 0x7F) {
        if (data[4] == 0 && data[5] == kEffectDumpCount)
            return kDumpTypeEffectData;
        return std::nullopt;
    }
    if (name[0] == 'F' && name[1] == 'H' && (name[2] == 'L' || name[2] == 'R') && zeroPad && name[3] >= '0' &&
        name[3] <= '4') {
        if (data[4] == 0 && data[5] == kFIRHeaderDumpCount)
            return (name[3] - '0') + (name[2] == 'R' ? 5 : 0);
        return std::nullopt;
    }
    return std::nullopt;
}

bool checksumMatches(const std::uint8_t* data, std::size_t size, std::size_t checksumIndex)
{
    // A message too short to hold its checksum cannot pass it.
    if (checksumIndex >= size || checksumIndex < kTagPos)
        return false;
    return checksum(data + kTagPos, checksumIndex - kTagPos) == (data[checksumIndex] & 0x7F);
}

std::optional<Parameter> parseParameter(const std::uint8_t* data, std::size_t size)
{
    // Bytes 6 to 9 carry the content, so ten bytes is the least a parameter can be.
    if (!hasAmpHeader(data, size) || size < 10 || kindOf(data) != kKindParameter || data[4] != 'X' || data[5] != '2')
        return std::nullopt;
    return Parameter{data[6], data[7], data[8], data[9]};
}

std::optional<std::uint8_t> parseHeartbeat(const std::uint8_t* data, std::size_t size)
{
    if (!hasAmpHeader(data, size) || kindOf(data) != kKindHeartbeat)
        return std::nullopt;
    if (data[4] != 'X' || data[5] != 'Q' || data[6] != 'V' || (data[7] != '1' && data[7] != '2'))
        return std::nullopt;
    return data[7];
}

std::optional<int> parseDumpRequest(const std::uint8_t* data, std::size_t size)
{
    if (!hasAmpHeader(data, size) || size < kDumpRequestLength || kindOf(data) != kKindDumpRequest ||
        !matches(data + 4, kTag))
        return std::nullopt;
    const std::uint8_t* name = data + 8;
    if (matches(name, kUtil))
        return kDumpTypeEffectData;
    if (name[0] == 'F' && name[1] == 'H' && (name[2] == 'L' || name[2] == 'R') && name[3] >= '0' && name[3] <= '4')
        return (name[3] - '0') + (name[2] == 'R' ? 5 : 0);
    return std::nullopt;
}

std::optional<FIRBlock> parseFIRDataBlock(const std::uint8_t* data, std::size_t size)
{
    if (!hasAmpHeader(data, size) || size < kBulkBodyPos + 2 || kindOf(data) != kKindBulk)
        return std::nullopt;
    const std::size_t n = decode14(data[4], data[5]);
    if (n < kFIRBlockHeaderLength || size != n + 8 || (n - kFIRBlockHeaderLength) % 8 != 0)
        return std::nullopt;
    if (!matches(data + kTagPos, kTag) || !matches(data + kBlockNamePos, kFirc) || data[size - 1] != kEnd)
        return std::nullopt;
    FIRBlock block;
    block.blockNumber = decode14(data[14], data[15]);
    block.ampCh = decode14(data[16], data[17]);
    const std::size_t packed = n - kFIRBlockHeaderLength;
    block.payload.resize(packed / 8 * 7);
    unpack7(data + kBulkBodyPos, packed, block.payload.data());
    block.checksumOk = checksumMatches(data, size, n + 6);
    return block;
}

Bytes heartbeat(std::uint8_t modelCode)
{
    return {kStart, kHeader1, kHeader2, kKindHeartbeat, 'X', 'Q', 'V', modelCode, kEnd};
}

Bytes effectDataDump(const EffectData& effect)
{
    Bytes body{'U', 'T', 'I', 'L', 0x00, 0x00, 0x7F, 0x7F};
    for (std::uint8_t b : effect.bytes)
        body.push_back(b & 0x7F);
    return bulkDump(body);
}

Bytes firHeaderDump(int dumpType, const std::array<std::uint8_t, kIrNameLength>& irName, std::uint16_t firCoe)
{
    Bytes body{'F',
               'H',
               static_cast<std::uint8_t>(dumpType < 5 ? 'L' : 'R'),
               static_cast<std::uint8_t>('0' + dumpType % 5),
               0x00,
               0x00,
               0x00,
               0x00};
    for (std::uint8_t b : irName)
        body.push_back(b & 0x7F);
    const auto gain = encode14(firCoe);
    body.insert(body.end(), gain.begin(), gain.end());
    return bulkDump(body);
}

} // namespace orx::sysex
