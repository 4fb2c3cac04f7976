// The chunk walk both readers share: 8-byte headers, pad bytes, and a walk that always ends.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "InputStream.h"
#include "SampleDecoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace eLibrary {

using ChunkId = std::array<char, 4>;

// How many containers (RIFF in RIFF, FORM in FORM) a walk enters; deeper ones are skipped like any chunk.
inline constexpr int kMaxContainerDepth = 16;

struct ChunkRecord {
    ChunkId id{};
    std::uint32_t size = 0;
    std::int32_t position = 0; // just after the chunk header
};

inline bool isId(const ChunkId& id, const char* text)
{
    return std::memcmp(id.data(), text, 4) == 0;
}

// Reads an unsigned integer of Bytes bytes in the given order; false on a short read.
template <typename T> bool readNumber(InputStream& stream, ByteOrder order, T& out)
{
    std::uint8_t bytes[sizeof(T)];
    if (stream.read(bytes, sizeof bytes) != static_cast<std::int32_t>(sizeof bytes))
        return false;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
        const std::size_t shift = order == ByteOrder::BigEndian ? 8 * (sizeof bytes - 1 - i) : 8 * i;
        value |= static_cast<std::uint64_t>(bytes[i]) << shift;
    }
    out = static_cast<T>(value);
    return true;
}

inline bool readId(InputStream& stream, ChunkId& id)
{
    return stream.read(id.data(), 4) == 4;
}

// Walks the chunks of [start, start + length). Positions are computed in 64 bits, so a chunk size that
// would wrap a 32-bit position simply reaches the end of the range, and every step moves forward:
// the walk ends for every file. handle(id, size, here) returns false to fail the walk.
template <typename Handler>
bool walkChunks(InputStream& stream, ByteOrder order, std::int64_t start, std::int64_t length, Handler&& handle)
{
    const std::int64_t end = start + length;
    for (;;) {
        const std::int64_t position = stream.getPosition();
        if (position < 0 || position >= end)
            return true;
        ChunkId id;
        std::uint32_t size = 0;
        if (!readId(stream, id) || !readNumber(stream, order, size))
            return false;
        if (size == 0)
            continue;
        const std::int64_t here = stream.getPosition();
        if (!handle(id, size, static_cast<std::int32_t>(here)))
            return false;
        const std::int64_t next = std::min<std::int64_t>(here + size + (size & 1), end);
        if (next > INT32_MAX || !stream.seek(static_cast<std::int32_t>(next), SeekBegin))
            return false;
    }
}

} // namespace eLibrary
