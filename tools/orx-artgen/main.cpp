// orx-artgen: paints every picture of the program (pages, control film strips, scroll thumb, icon) into PNG files.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Art.h"
#include "Materials.h"
#include "Preview.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

namespace {

artgen::Pictures allPictures()
{
    artgen::Pictures all;
    for (artgen::PageArt page : {artgen::effectPageArt(), artgen::speakerPageArt()})
        all.merge(page.pictures);
    return all;
}

int usage(FILE* to)
{
    std::fputs("usage: orx-artgen OUTDIR\n"
               "       orx-artgen --preview OUTDIR\n"
               "The first form writes every picture of the program as OUTDIR/<id>.png and OUTDIR/icon.png, and\n"
               "each again painted at twice the resolution for HiDPI screens as OUTDIR/<id>@2x.png and\n"
               "OUTDIR/icon@2x.png, and the icon at the desktop's sizes as OUTDIR/icon-16.png to icon-512.png.\n"
               "The second writes the pages composed with sample texts and controls in several looks, and one\n"
               "sheet per film strip showing each frame over its piece of the page.\n",
               to);
    return to == stderr ? 2 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")))
        return usage(stdout);
    const bool preview = argc == 3 && !std::strcmp(argv[1], "--preview");
    if (argc != 2 && !preview)
        return usage(stderr);
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[argc - 1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "orx-artgen: cannot create %s\n", argv[argc - 1]);
        return 1;
    }
    const artgen::Pictures pictures = allPictures();
    if (preview) {
        if (!artgen::writePreviews(pictures, folder)) {
            std::fprintf(stderr, "orx-artgen: cannot write the previews into %s\n", argv[argc - 1]);
            return 1;
        }
        return 0;
    }
    // Highest zlib compression keeps the committed pictures small; the pixels are the same at any level.
    constexpr int kSmallest = 0;
    auto saveAll = [&](const artgen::Pictures& all, const QString& suffix) {
        for (const auto& [id, image] : all) {
            const QString path = QDir(folder).filePath(QStringLiteral("%1%2.png").arg(id).arg(suffix));
            if (!image.save(path, "PNG", kSmallest)) {
                std::fprintf(stderr, "orx-artgen: cannot write %s\n", qPrintable(path));
                return false;
            }
        }
        if (!artgen::iconArt().save(QDir(folder).filePath(QStringLiteral("icon%1.png").arg(suffix)), "PNG",
                                    kSmallest)) {
            std::fprintf(stderr, "orx-artgen: cannot write the icon\n");
            return false;
        }
        return true;
    };
    if (!saveAll(pictures, QString()))
        return 1;
    // Qt's "@2x" naming: the program picks these on screens of device pixel ratio 2.
    artgen::setArtScale(2);
    const bool doubled = saveAll(allPictures(), QStringLiteral("@2x"));
    artgen::setArtScale(1);
    if (!doubled)
        return 1;
    // The desktop's icon sizes, installed into the icon theme; the program itself uses icon.png.
    for (const int size : artgen::kIconSizes) {
        const QString path = QDir(folder).filePath(QStringLiteral("icon-%1.png").arg(size));
        if (!artgen::iconArtAt(size).save(path, "PNG", kSmallest)) {
            std::fprintf(stderr, "orx-artgen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
