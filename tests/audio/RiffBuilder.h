// Builds WAV and AIFF files byte by byte, so each test can break exactly one thing about a file.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace orx::test {

using Bytes = std::vector<std::uint8_t>;

enum class Endian { Little, Big };

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes fourcc(std::string_view id)
{
    return Bytes(id.begin(), id.begin() + 4);
}

inline Bytes number(std::uint64_t value, int bytes, Endian order)
{
    Bytes out(static_cast<std::size_t>(bytes));
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == Endian::Little ? 8 * i : 8 * (bytes - 1 - i);
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> shift);
    }
    return out;
}

inline Bytes le16(std::uint16_t v)
{
    return number(v, 2, Endian::Little);
}
inline Bytes le32(std::uint32_t v)
{
    return number(v, 4, Endian::Little);
}
inline Bytes be16(std::uint16_t v)
{
    return number(v, 2, Endian::Big);
}
inline Bytes be32(std::uint32_t v)
{
    return number(v, 4, Endian::Big);
}

// A chunk whose header states `size` whatever the body holds; no pad byte is added.
inline Bytes rawChunk(Endian order, std::string_view id, std::uint32_t size, const Bytes& body)
{
    return cat({fourcc(id), number(size, 4, order), body});
}

// A well-formed chunk: the body's own size, and the pad byte an odd body needs.
inline Bytes chunk(Endian order, std::string_view id, const Bytes& body)
{
    Bytes out = rawChunk(order, id, static_cast<std::uint32_t>(body.size()), body);
    if (body.size() % 2 != 0)
        out.push_back(0);
    return out;
}

// `depth` containers (RIFF/WAVE or FORM/AIFF), each holding only the next one, and nothing else.
inline Bytes nested(Endian order, std::string_view id, std::string_view type, std::uint32_t depth)
{
    Bytes out;
    out.reserve(12 * static_cast<std::size_t>(depth));
    for (std::uint32_t level = 0; level < depth; ++level) {
        const Bytes header = cat({fourcc(id), number(12 * (depth - level) - 8, 4, order), fourcc(type)});
        out.insert(out.end(), header.begin(), header.end());
    }
    return out;
}

// ---- WAV ----

inline Bytes wavChunk(std::string_view id, const Bytes& body)
{
    return chunk(Endian::Little, id, body);
}

inline Bytes riff(const Bytes& chunks, std::string_view form = "WAVE")
{
    return rawChunk(Endian::Little, "RIFF", static_cast<std::uint32_t>(4 + chunks.size()), cat({fourcc(form), chunks}));
}

// fmt fields; the defaults describe stereo 16-bit PCM at 44100 Hz and the derived fields follow the others
// unless set.
struct WaveFmt {
    std::uint16_t tag = 1;
    std::uint16_t channels = 2;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 16;
    std::uint32_t byteRate = 0;   // 0: channels * container bytes * rate
    std::uint16_t blockAlign = 0; // 0: channels * container bytes
    std::uint16_t size = 16;      // 16, 18 (cbSize) or 40 (extensible layout)
    std::uint16_t validBits = 0;  // extensible layout: 0 gives bits
    std::uint16_t subFormat = 1;  // extensible layout: the format tag inside the sub-format GUID
};

inline Bytes fmtChunk(const WaveFmt& f)
{
    const std::uint16_t align =
        f.blockAlign ? f.blockAlign : static_cast<std::uint16_t>(f.channels * ((f.bits + 7) / 8));
    const std::uint32_t byteRate = f.byteRate ? f.byteRate : f.channels * ((f.bits + 7) / 8u) * f.rate;
    Bytes body = cat({le16(f.tag), le16(f.channels), le32(f.rate), le32(byteRate), le16(align), le16(f.bits)});
    if (f.size >= 18)
        body = cat({body, le16(static_cast<std::uint16_t>(f.size - 18))});
    if (f.size >= 40) // valid bits, channel mask, then the sub-format GUID
        body = cat({body, le16(f.validBits ? f.validBits : f.bits), le32(3), le16(f.subFormat),
                    Bytes{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}});
    return wavChunk("fmt ", body);
}

// Interleaved little-endian samples of `bytes` bytes each, taken from the low bytes of the values.
inline Bytes leSamples(const std::vector<std::int32_t>& values, int bytes)
{
    Bytes out;
    for (std::int32_t v : values) {
        const Bytes b = number(static_cast<std::uint32_t>(v), bytes, Endian::Little);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// ---- AIFF ----

inline Bytes aiffChunk(std::string_view id, const Bytes& body)
{
    return chunk(Endian::Big, id, body);
}

inline Bytes form(const Bytes& chunks, std::string_view type = "AIFF")
{
    return rawChunk(Endian::Big, "FORM", static_cast<std::uint32_t>(4 + chunks.size()), cat({fourcc(type), chunks}));
}

inline const Bytes kRate44100{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
inline const Bytes kRate48000{0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0};

inline Bytes commChunk(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits, const Bytes& rate = kRate44100)
{
    return aiffChunk("COMM", cat({be16(channels), be32(frames), be16(bits), rate}));
}

inline Bytes ssndChunk(const Bytes& samples, std::uint32_t offset = 0)
{
    return aiffChunk("SSND", cat({be32(offset), be32(0), Bytes(offset, 0xEE), samples}));
}

inline Bytes beSamples(const std::vector<std::int32_t>& values, int bytes)
{
    Bytes out;
    for (std::int32_t v : values) {
        const Bytes b = number(static_cast<std::uint32_t>(v), bytes, Endian::Big);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

} // namespace orx::test
