// orx-store-png: writes each picture again as a PNG whose image data is not deflated (stored blocks, no row
// filters), with the same pixels. Qt's resource compiler then compresses the resources with zstd, which makes
// them smaller than the committed files and several times quicker to open than inflating and unfiltering them:
// the window's first paint waits for its pictures.
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Usage: orx-store-png SOURCE.png TARGET.png [SOURCE.png TARGET.png ...]
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <cstdio>

namespace {

// Quality 100 is compression level 0 for Qt's PNG writer.
constexpr int kStoredQuality = 100;

bool storeOne(const QString& source, const QString& target)
{
    QImageReader reader(source, "PNG");
    const QImage picture = reader.read();
    if (picture.isNull()) {
        std::fprintf(stderr, "orx-store-png: %s: %s\n", qPrintable(source), qPrintable(reader.errorString()));
        return false;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "orx-store-png: %s: %s\n", qPrintable(target), qPrintable(out.errorString()));
        return false;
    }
    QImageWriter writer(&out, "PNG");
    writer.setQuality(kStoredQuality);
    if (!writer.write(picture) || !out.commit()) {
        std::fprintf(stderr, "orx-store-png: %s: %s\n", qPrintable(target), qPrintable(writer.errorString()));
        return false;
    }
    // The program must show exactly the painted pictures: a file that reads back differently fails the build.
    const QImage again(target, "PNG");
    if (again.format() != picture.format() || again != picture) {
        std::fprintf(stderr, "orx-store-png: %s does not read back as %s\n", qPrintable(target), qPrintable(source));
        QFile::remove(target);
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
