// The program carries its pictures repacked for speed (see resources/CMakeLists.txt); what it shows must still be
// the committed pictures pixel for pixel, read by libpng or the quick way, and every committed picture must be there.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredPng.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QResource>
#include <QSet>
#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(PackedPictures, EveryResourceShowsTheCommittedPictureExactly)
{
    const QDir committed(QStringLiteral(ORX_SOURCE_DIR "/resources/images"));
    QSet<QString> packed;
    for (QDirIterator it(QStringLiteral(":/images")); it.hasNext();) {
        const QString path = it.next();
        const QString name = it.fileName();
        packed.insert(name);
        const QImage shown(path);
        const QImage painted(committed.filePath(name));
        ASSERT_FALSE(painted.isNull()) << "no committed picture for " << name.toStdString();
        ASSERT_FALSE(shown.isNull()) << name.toStdString();
        EXPECT_EQ(shown.format(), painted.format()) << name.toStdString();
        EXPECT_TRUE(shown == painted) << name.toStdString() << " differs from the committed picture";
        // And the way the program opens them, which never goes through libpng.
        const QImage quick = orx::readStoredPng(QResource(path).uncompressedData());
        EXPECT_TRUE(quick == painted.convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << name.toStdString() << " does not open the quick way as the committed picture";
    }
    // The icons at every size are installed by packaging from the committed files; the rest must all be packed.
    for (const QString& name : committed.entryList({QStringLiteral("*.png")}, QDir::Files)) {
        if (!name.startsWith(QStringLiteral("icon-"))) {
            EXPECT_TRUE(packed.contains(name)) << name.toStdString() << " is committed but not in the program";
        }
    }
    EXPECT_FALSE(packed.isEmpty());
}

} // namespace
