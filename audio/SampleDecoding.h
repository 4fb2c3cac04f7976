// Block reading and sample decoding shared by the WAV and AIFF readers.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "InputStream.h"

#include <algorithm>
#include <cstdint>

namespace eLibrary {

enum class ByteOrder { BigEndian, LittleEndian };

inline constexpr int kWaveFormatPCM = 1;
inline constexpr int kWaveFormatFloat = 3;
// One block of whole frames is read and decoded at a time.
inline constexpr int kBlockSize = 1024;

// How a reader's sample data is laid out.
struct SampleFormat {
    int channels = 0;
    int bitsPerSample = 0;
    ByteOrder order = ByteOrder::BigEndian;
    int formatTag = 0; // WAV only: 1 integer PCM, 3 IEEE float
};

constexpr int containerBytes(int bitsPerSample)
{
    return bitsPerSample > 0 ? (bitsPerSample + 7) / 8 : 0;
}

// Whether a decoder exists for the format and output type.
template <typename T> bool hasDecoder(const SampleFormat& format);

// Decodes n interleaved frames of the block into dest[c][start + i] for the channels both sides have.
// Returns n, or 0 when the format has no decoder.
template <typename T>
int decodeBlock(const std::uint8_t* block, const SampleFormat& format, int n, T** dest, int channels, int start);

// Reads frames from the stream's position up to endPosition (the byte just past the sample data),
// at most `frames`, block by block. Returns the frames delivered, or 0 on any failure.
template <typename T, typename PositionToFrame>
int readBlocks(InputStream& stream, const SampleFormat& format, PositionToFrame positionToFrame,
               std::int64_t endPosition, T** dest, int channels, int frames)
{
    if (!dest || channels <= 0 || frames <= 0)
        return 0;
    if (format.channels <= 0 || containerBytes(format.bitsPerSample) == 0 || !hasDecoder<T>(format))
        return 0;
    const std::int64_t current = positionToFrame(stream.getPosition());
    const std::int64_t end = positionToFrame(endPosition);
    const std::int64_t total = std::min<std::int64_t>(end - current, frames);
    if (total <= 0)
        return 0;
    const int bytesPerFrame = format.channels * containerBytes(format.bitsPerSample);
    // A frame that does not fit a block cannot be read block-wise; no valid impulse response comes close.
    if (bytesPerFrame > kBlockSize)
        return 0;
    const int framesPerBlock = kBlockSize / bytesPerFrame;
    std::uint8_t block[kBlockSize];
    int done = 0;
    while (done < total) {
        const int n = static_cast<int>(std::min<std::int64_t>(total - done, framesPerBlock));
        const int bytes = n * bytesPerFrame;
        if (stream.read(block, bytes) != bytes)
            return 0;
        if (decodeBlock<T>(block, format, n, dest, channels, done) != n)
            return 0;
        done += n;
    }
    return static_cast<int>(total);
}

} // namespace eLibrary
