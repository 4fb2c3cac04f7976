// Reading a PNG of stored deflate blocks and unfiltered rows: the layout orx-store-png writes.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredPng.h"

#include <QRgb>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orx {
namespace {

std::uint32_t bigEndian32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The image data of every IDAT chunk as one stream, without copying the chunks together.
class ImageData {
public:
    void add(const unsigned char* data, std::size_t size)
    {
        if (size > 0)
            m_parts.push_back({data, size});
    }
    bool read(unsigned char* out, std::size_t size)
    {
        return consume(size, [&out](const unsigned char* piece, std::size_t n) {
            std::memcpy(out, piece, n);
            out += n;
        });
    }
    // Passes up to `size` bytes of the current chunk to `use` in place: the rows are copied only once.
    template <typename Use> bool consume(std::size_t size, Use use)
    {
        while (size > 0) {
            if (m_part == m_parts.size())
                return false;
            const Part& part = m_parts[m_part];
            const std::size_t n = std::min(size, part.size - m_offset);
            use(part.data + m_offset, n);
            size -= n;
            m_offset += n;
            if (m_offset == part.size) {
                ++m_part;
                m_offset = 0;
            }
        }
        return true;
    }

private:
    struct Part {
        const unsigned char* data;
        std::size_t size;
    };
    std::vector<Part> m_parts;
    std::size_t m_part = 0;
    std::size_t m_offset = 0;
};

// Takes the decompressed bytes in whatever pieces the blocks give and fills the picture row by row.
class RowFiller {
public:
    RowFiller(QImage& image, int channels)
        : m_image(image), m_channels(channels), m_rowBytes(static_cast<std::size_t>(image.width()) * channels + 1),
          m_row(m_rowBytes)
    {
    }
    bool take(const unsigned char* data, std::size_t size)
    {
        while (size > 0) {
            if (m_y == m_image.height())
                return false; // more data than rows
            const std::size_t n = std::min(size, m_rowBytes - m_filled);
            std::memcpy(m_row.data() + m_filled, data, n);
            m_filled += n;
            data += n;
            size -= n;
            if (m_filled == m_rowBytes && !finishRow())
                return false;
        }
        return true;
    }
    bool complete() const { return m_y == m_image.height() && m_filled == 0; }

private:
    bool finishRow()
    {
        if (m_row[0] != 0)
            return false; // a filtered row: not one of ours
        auto* out = reinterpret_cast<QRgb*>(m_image.scanLine(m_y));
        const unsigned char* in = m_row.data() + 1;
        const int width = m_image.width();
        if (m_channels == 3) {
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = qRgb(in[0], in[1], in[2]);
        } else {
            for (int x = 0; x < width; ++x, in += 4)
                out[x] = qPremultiply(qRgba(in[0], in[1], in[2], in[3]));
        }
        ++m_y;
        m_filled = 0;
        return true;
    }

    QImage& m_image;
    const int m_channels;
    const std::size_t m_rowBytes;
    std::vector<unsigned char> m_row;
    std::size_t m_filled = 0;
    int m_y = 0;
};

} // namespace

QImage readStoredPng(const QByteArray& png)
{
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const auto* bytes = reinterpret_cast<const unsigned char*>(png.constData());
    const std::size_t size = static_cast<std::size_t>(png.size());
    if (size < 8 || std::memcmp(bytes, kSignature, 8) != 0)
        return {};

    int width = 0, height = 0, channels = 0;
    ImageData data;
    bool ended = false;
    for (std::size_t at = 8; at + 12 <= size && !ended;) {
        const std::size_t length = bigEndian32(bytes + at);
        if (length > size - at - 12)
            return {};
        const unsigned char* type = bytes + at + 4;
        const unsigned char* body = bytes + at + 8;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13 || width != 0)
                return {};
            width = static_cast<int>(bigEndian32(body));
            height = static_cast<int>(bigEndian32(body + 4));
            const int depth = body[8], colour = body[9];
            channels = colour == 2 ? 3 : colour == 6 ? 4 : 0;
            // Compression, filter method and interlacing must all be 0.
            if (depth != 8 || channels == 0 || body[10] != 0 || body[11] != 0 || body[12] != 0)
                return {};
            if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
                return {};
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            data.add(body, length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        } else if ((type[0] & 0x20) == 0 || std::memcmp(type, "tRNS", 4) == 0) {
            return {}; // a critical chunk this reader does not know, or transparency it would ignore
        }
        at += length + 12;
    }
    if (!ended || width == 0)
        return {};

    unsigned char zlibHeader[2];
    if (!data.read(zlibHeader, 2) || (zlibHeader[0] & 0x0f) != 8 || (zlibHeader[1] & 0x20) != 0 ||
        ((zlibHeader[0] << 8) | zlibHeader[1]) % 31 != 0)
        return {};

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    RowFiller rows(image, channels);
    for (bool last = false; !last;) {
        unsigned char block[5];
        if (!data.read(block, 5))
            return {};
        last = (block[0] & 1) != 0;
        // Only stored blocks: each starts on a byte, its header's other bits are padding.
        if (((block[0] >> 1) & 3) != 0)
            return {};
        const unsigned length = block[1] | (block[2] << 8);
        const unsigned check = block[3] | (block[4] << 8);
        if ((length ^ 0xffffu) != check)
            return {};
        bool fits = true;
        if (!data.consume(length,
                          [&](const unsigned char* piece, std::size_t n) { fits = fits && rows.take(piece, n); }) ||
            !fits)
            return {};
    }
    if (!rows.complete())
        return {};
    return image;
}

} // namespace orx
