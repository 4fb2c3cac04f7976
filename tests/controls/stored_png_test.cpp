// The quick reader of the program's stored pictures: exactly what libpng (through Qt) reads for the layout it
// knows, and nothing, so that the usual reader takes over, for every other layout or a damaged file.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredPng.h"

#include <QByteArray>
#include <QImage>
#include <QRgb>

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <png.h>

namespace {

struct Layout {
    const char* name;
    int colour;       // PNG_COLOR_TYPE_RGB, _RGB_ALPHA, _PALETTE
    int depth;        // bits per channel
    int level;        // zlib level: 0 is stored blocks
    int filter;       // PNG_FILTER_NONE, _PAETH, ...
    int interlace;    // PNG_INTERLACE_NONE or _ADAM7
    bool transparent; // a tRNS chunk
    bool quick;       // whether the quick reader takes it
};

std::ostream& operator<<(std::ostream& os, const Layout& l)
{
    return os << l.name;
}

void append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}

// A 37 x 23 picture with every channel varying, half transparent in its lower part when it has alpha; wider
// rows than one stored block would be are not needed, blocks end mid-row anyway at this size with small chunks.
QByteArray writePng(const Layout& l)
{
    constexpr int kWidth = 37, kHeight = 23;
    const int channels = l.colour == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : l.colour == PNG_COLOR_TYPE_RGB ? 3 : 1;
    const int bytes = l.depth / 8;
    std::vector<unsigned char> rows(static_cast<std::size_t>(kWidth * kHeight * channels * bytes));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<unsigned char>((i * 37 + i / 7) & 0xff);
    if (channels == 4) {
        for (int y = kHeight / 2; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                rows[static_cast<std::size_t>((y * kWidth + x) * 4 + 3)] = static_cast<unsigned char>(x * 7);
    }
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, l.depth, l.colour, l.interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[static_cast<std::size_t>(i)] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i), 7};
    if (l.colour == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette.data(), 256);
    png_color_16 key{0, 1, 2, 3, 0};
    if (l.transparent)
        png_set_tRNS(png, info, nullptr, 0, &key);
    png_set_compression_level(png, l.level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, l.filter);
    png_set_compression_buffer_size(png, 64); // many small IDAT chunks: blocks and rows cross them
    png_write_info(png, info);
    const std::size_t stride = static_cast<std::size_t>(kWidth * channels * bytes);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < kHeight; ++y)
            png_write_row(png, rows.data() + static_cast<std::size_t>(y) * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

class StoredPngLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(StoredPngLayouts, ReadsItsOwnLayoutExactlyAsLibpngAndLeavesEveryOtherToIt)
{
    const Layout l = GetParam();
    const QByteArray png = writePng(l);
    ASSERT_FALSE(png.isEmpty());
    const QImage reference = QImage::fromData(png, "PNG");
    ASSERT_FALSE(reference.isNull()) << "libpng cannot read the fixture";
    const QImage quick = orx::readStoredPng(png);
    if (!l.quick) {
        EXPECT_TRUE(quick.isNull()) << "took a layout it does not know";
        return;
    }
    ASSERT_FALSE(quick.isNull());
    EXPECT_EQ(quick.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_TRUE(quick == reference.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, StoredPngLayouts,
    ::testing::Values(
        Layout{"StoredRgb", PNG_COLOR_TYPE_RGB, 8, 0, PNG_FILTER_NONE, PNG_INTERLACE_NONE, false, true},
        Layout{"StoredRgba", PNG_COLOR_TYPE_RGB_ALPHA, 8, 0, PNG_FILTER_NONE, PNG_INTERLACE_NONE, false, true},
        Layout{"FilteredRows", PNG_COLOR_TYPE_RGB, 8, 0, PNG_FILTER_PAETH, PNG_INTERLACE_NONE, false, false},
        Layout{"Deflated", PNG_COLOR_TYPE_RGB, 8, 6, PNG_FILTER_NONE, PNG_INTERLACE_NONE, false, false},
        Layout{"Interlaced", PNG_COLOR_TYPE_RGB, 8, 0, PNG_FILTER_NONE, PNG_INTERLACE_ADAM7, false, false},
        Layout{"SixteenBits", PNG_COLOR_TYPE_RGB, 16, 0, PNG_FILTER_NONE, PNG_INTERLACE_NONE, false, false},
        Layout{"Palette", PNG_COLOR_TYPE_PALETTE, 8, 0, PNG_FILTER_NONE, PNG_INTERLACE_NONE, false, false},
        Layout{"TransparentColour", PNG_COLOR_TYPE_RGB, 8, 0, PNG_FILTER_NONE, PNG_INTERLACE_NONE, true, false}),
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

// Damage to a file of the known layout: the reader must give nothing rather than a wrong or partial picture.
TEST(StoredPng, ADamagedFileGivesNothing)
{
    const QByteArray good = writePng({"", PNG_COLOR_TYPE_RGB, 8, 0, PNG_FILTER_NONE, PNG_INTERLACE_NONE, false, true});
    ASSERT_FALSE(orx::readStoredPng(good).isNull());
    const qsizetype firstData = good.indexOf("IDAT") + 4; // the zlib header, then the first block's header
    struct Damage {
        const char* what;
        QByteArray bytes;
    };
    QByteArray wrongCheck = good;
    wrongCheck[firstData + 2 + 3] = static_cast<char>(wrongCheck[firstData + 2 + 3] ^ 0x01); // NLEN
    QByteArray notZlib = good;
    notZlib[firstData] = 0x79; // compression method 9
    QByteArray hugeChunk = good;
    hugeChunk[firstData - 8] = 0x7f; // the first IDAT's length points past the end
    const Damage damages[] = {
        {"cut in the middle", good.left(good.size() / 2)},
        {"no end chunk", good.left(good.size() - 12)},
        {"block length check", wrongCheck},
        {"not zlib", notZlib},
        {"chunk longer than the file", hugeChunk},
        {"not a PNG", QByteArray("GIF89a") + good.mid(6)},
        {"empty", QByteArray()},
    };
    for (const Damage& d : damages)
        EXPECT_TRUE(orx::readStoredPng(d.bytes).isNull()) << d.what;
}

} // namespace
