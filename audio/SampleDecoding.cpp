// The sample decoders: every container size, both byte orders, three output types, and WAV float.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleDecoding.h"

#include <cmath>
#include <cstring>
#include <type_traits>

namespace eLibrary {

namespace {

template <ByteOrder Order, int Bytes> inline std::uint32_t loadContainer(const std::uint8_t* p)
{
    std::uint32_t raw = 0;
    for (int i = 0; i < Bytes; ++i) {
        const int shift = Order == ByteOrder::BigEndian ? 8 * (Bytes - 1 - i) : 8 * i;
        raw |= static_cast<std::uint32_t>(p[i]) << shift;
    }
    return raw;
}

// An integer sample left-justified into 32 bits, with the bits below a 12/20/28-bit size cleared.
template <ByteOrder Order, int Bits, bool Unsigned8> inline std::int32_t leftJustified(const std::uint8_t* p)
{
    constexpr int Bytes = (Bits + 7) / 8;
    std::uint32_t raw = loadContainer<Order, Bytes>(p);
    if constexpr (Bytes == 1 && Unsigned8)
        raw ^= 0x80; // WAV 8-bit samples are unsigned around 128
    std::uint32_t v = raw << (32 - 8 * Bytes);
    if constexpr (Bits % 8 == 4)
        v &= ~(0xFu << (32 - 8 * Bytes));
    return static_cast<std::int32_t>(v);
}

template <typename T> inline T fromJustified(std::int32_t v)
{
    if constexpr (std::is_same_v<T, std::int32_t>)
        return v;
    else if constexpr (std::is_same_v<T, std::int16_t>)
        return static_cast<std::int16_t>(v >> 16); // the top two bytes; lower bits dropped, not rounded
    else
        return static_cast<float>(static_cast<double>(v) * (1.0 / 2147483648.0));
}

template <typename T> inline T fromFloat(float x)
{
    if constexpr (std::is_same_v<T, float>) {
        return x;
    } else {
        constexpr double scale = std::is_same_v<T, std::int16_t> ? 32768.0 : 2147483648.0;
        constexpr double low = std::is_same_v<T, std::int16_t> ? -32768.0 : -2147483648.0;
        constexpr double high = std::is_same_v<T, std::int16_t> ? 32767.0 : 2147483647.0;
        const double y = static_cast<double>(x) * scale;
        if (std::isnan(y))
            return 0; // silence rather than an undefined conversion
        if (y < low)
            return static_cast<T>(low);
        if (y > high)
            return static_cast<T>(high);
        return static_cast<T>(y >= 0 ? y + 0.5 : y - 0.5); // half away from zero, then truncated
    }
}

inline float loadFloatLE(const std::uint8_t* p)
{
    const std::uint32_t bits = loadContainer<ByteOrder::LittleEndian, 4>(p);
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

template <typename T, int Bytes, typename Convert>
int decodeFrames(const std::uint8_t* block, int fileChannels, int n, T** dest, int channels, int start, Convert convert)
{
    const int used = std::min(channels, fileChannels);
    const int stride = fileChannels * Bytes;
    for (int c = 0; c < used; ++c) {
        T* out = dest[c];
        if (!out)
            continue;
        out += start;
        const std::uint8_t* p = block + c * Bytes;
        for (int i = 0; i < n; ++i, p += stride)
            out[i] = convert(p);
    }
    return n;
}

template <typename T, ByteOrder Order, bool Unsigned8>
int decodeInteger(const std::uint8_t* block, const SampleFormat& f, int n, T** dest, int channels, int start)
{
    switch (f.bitsPerSample) {
#define ORX_DECODER(BITS)                                                                                              \
    case BITS:                                                                                                         \
        return decodeFrames<T, (BITS + 7) / 8>(                                                                        \
            block, f.channels, n, dest, channels, start,                                                               \
            [](const std::uint8_t* p) { return fromJustified<T>(leftJustified<Order, BITS, Unsigned8>(p)); });
        ORX_DECODER(8)
        ORX_DECODER(12)
        ORX_DECODER(16)
        ORX_DECODER(20)
        ORX_DECODER(24)
        ORX_DECODER(28)
        ORX_DECODER(32)
#undef ORX_DECODER
    default:
        return 0;
    }
}

bool isIntegerSize(int bits)
{
    return bits == 8 || bits == 12 || bits == 16 || bits == 20 || bits == 24 || bits == 28 || bits == 32;
}

} // namespace

template <typename T> bool hasDecoder(const SampleFormat& format)
{
    if (format.order == ByteOrder::BigEndian)
        return isIntegerSize(format.bitsPerSample);
    if (format.formatTag == kWaveFormatPCM)
        return isIntegerSize(format.bitsPerSample);
    return format.formatTag == kWaveFormatFloat && format.bitsPerSample == 32;
}

template <typename T>
int decodeBlock(const std::uint8_t* block, const SampleFormat& format, int n, T** dest, int channels, int start)
{
    if (format.order == ByteOrder::BigEndian)
        return decodeInteger<T, ByteOrder::BigEndian, false>(block, format, n, dest, channels, start);
    if (format.formatTag == kWaveFormatPCM)
        return decodeInteger<T, ByteOrder::LittleEndian, true>(block, format, n, dest, channels, start);
    if (format.formatTag == kWaveFormatFloat && format.bitsPerSample == 32)
        return decodeFrames<T, 4>(block, format.channels, n, dest, channels, start,
                                  [](const std::uint8_t* p) { return fromFloat<T>(loadFloatLE(p)); });
    return 0;
}

template bool hasDecoder<std::int16_t>(const SampleFormat&);
template bool hasDecoder<std::int32_t>(const SampleFormat&);
template bool hasDecoder<float>(const SampleFormat&);
template int decodeBlock<std::int16_t>(const std::uint8_t*, const SampleFormat&, int, std::int16_t**, int, int);
template int decodeBlock<std::int32_t>(const std::uint8_t*, const SampleFormat&, int, std::int32_t**, int, int);
template int decodeBlock<float>(const std::uint8_t*, const SampleFormat&, int, float**, int, int);

} // namespace eLibrary
