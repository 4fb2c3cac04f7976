// orx-store-png: writes each picture again as a PNG whose image data is not deflated (stored blocks, no row
// filters), with the same pixels. Qt's resource compiler then compresses the resources with zstd, which makes
// them smaller than the committed files, and the program opens them by copying rows (readStoredPng) instead of
// inflating and unfiltering them: the window's first paint waits for its pictures.
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Usage: orx-store-png SOURCE.png TARGET.png [SOURCE.png TARGET.png ...]
#include "StoredPng.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>

#include <cstdio>
#include <vector>

#include <png.h>

namespace {

// Rows as PNG wants them: R, G, B (and A, not premultiplied).
std::vector<unsigned char> pngRows(const QImage& picture, bool alpha)
{
    const int channels = alpha ? 4 : 3;
    std::vector<unsigned char> rows(static_cast<std::size_t>(picture.width()) * picture.height() * channels);
    unsigned char* out = rows.data();
    for (int y = 0; y < picture.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            *out++ = static_cast<unsigned char>(qRed(in[x]));
            *out++ = static_cast<unsigned char>(qGreen(in[x]));
            *out++ = static_cast<unsigned char>(qBlue(in[x]));
            if (alpha)
                *out++ = static_cast<unsigned char>(qAlpha(in[x]));
        }
    }
    return rows;
}

void appendToBuffer(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}

// libpng with no compression and no row filter: the layout readStoredPng copies.
QByteArray storedPng(const QImage& source)
{
    const bool alpha = source.hasAlphaChannel();
    const QImage picture = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    std::vector<unsigned char> rows = pngRows(picture, alpha);
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendToBuffer, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width()), static_cast<png_uint_32>(picture.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 0);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    const std::size_t stride = static_cast<std::size_t>(picture.width()) * (alpha ? 4 : 3);
    for (int y = 0; y < picture.height(); ++y)
        png_write_row(png, rows.data() + static_cast<std::size_t>(y) * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

bool storeOne(const QString& source, const QString& target)
{
    QImageReader reader(source, "PNG");
    const QImage picture = reader.read();
    if (picture.isNull()) {
        std::fprintf(stderr, "orx-store-png: %s: %s\n", qPrintable(source), qPrintable(reader.errorString()));
        return false;
    }
    const QByteArray bytes = storedPng(picture);
    // The program must show exactly the painted pictures, and open them the quick way: a file that reads back
    // differently, or only the slow way, fails the build.
    const QImage again = QImage::fromData(bytes, "PNG");
    const QImage quick = orx::readStoredPng(bytes);
    if (bytes.isEmpty() || again.format() != picture.format() || again != picture ||
        quick != picture.convertToFormat(QImage::Format_ARGB32_Premultiplied)) {
        std::fprintf(stderr, "orx-store-png: %s does not read back the same once stored\n", qPrintable(source));
        return false;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        std::fprintf(stderr, "orx-store-png: %s: %s\n", qPrintable(target), qPrintable(out.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty() || arguments.size() % 2 != 0) {
        std::fputs("usage: orx-store-png SOURCE.png TARGET.png [SOURCE.png TARGET.png ...]\n", stderr);
        return 2;
    }
    for (qsizetype i = 0; i < arguments.size(); i += 2) {
        if (!storeOne(arguments[i], arguments[i + 1]))
            return 1;
    }
    return 0;
}
