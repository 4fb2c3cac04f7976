// The speaker page's file library: listing order, hidden and foreign files, plain display texts, navigation.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderScan.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace orx {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> shown(const std::vector<CFileItem>& items)
{
    std::vector<std::string> texts;
    for (const auto& item : items)
        texts.push_back(item.getDisplayText());
    return texts;
}

TEST(FolderScan, ParentThenFoldersThenResponseFilesEachInFoldedOrder)
{
    QTemporaryDir scratch;
    const fs::path folder = fs::path(scratch.path().toStdString()) / "IR";
    fs::create_directories(folder / "Zeta");
    fs::create_directories(folder / "alpha");
    fs::create_directories(folder / ".git");
    for (const char* name : {"b.WAV", "a.aif", "c.aiff", "readme.txt", ".hidden.wav", "x.wav.bak", "nodot"})
        std::ofstream(folder / name) << "x";
    const auto items = scanFolder(folder);
    EXPECT_EQ(shown(items), (std::vector<std::string>{"[..]", "[alpha]", "[Zeta]", "a.aif", "b.WAV", "c.aiff"}));
    EXPECT_EQ(items[0].kind(), CFileItem::ParentFolder);
    EXPECT_EQ(items[1].kind(), CFileItem::Folder);
    EXPECT_EQ(items[1].getFileName(), "alpha");
    EXPECT_EQ(items[3].kind(), CFileItem::ResponseFile);
}

// AIFF-C files usually end in ".aifc"; only the conversion can load them, so only with it are they listed.
TEST(FolderScan, AifcFilesAreListedWithTheConversionOn)
{
    QTemporaryDir scratch;
    const fs::path folder(scratch.path().toStdString());
    for (const char* name : {"a.wav", "b.aifc", "C.AIFC", "d.aif", "e.aifc.txt", "f.aifcx"})
        std::ofstream(folder / name) << "x";
    EXPECT_EQ(shown(scanFolder(folder)), (std::vector<std::string>{"[..]", "a.wav", "d.aif"}));
    EXPECT_EQ(shown(scanFolder(folder, false)), (std::vector<std::string>{"[..]", "a.wav", "d.aif"}));
    EXPECT_EQ(shown(scanFolder(folder, true)), (std::vector<std::string>{"[..]", "a.wav", "b.aifc", "C.AIFC", "d.aif"}));
}

TEST(FolderScan, NamesAreShownAsTheFileSystemSpellsThem)
{
    QTemporaryDir scratch;
    const fs::path folder(scratch.path().toStdString());
    std::ofstream(folder / "C\xC3\xA2" "binet \xC3\x9C.wav") << "x"; // Câbinet Ü
    std::ofstream(folder / "G\xF0\x9F\x8E\xB8 R.aiff") << "x";      // a guitar outside the basic plane
    std::ofstream(folder / "Caf\xE9.wav") << "x";                    // a Latin-1 byte, not UTF-8
    fs::create_directory(folder / "Cr\xC3\xA8me");
    const auto items = scanFolder(folder);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[1].getDisplayText(), "[Cr\xC3\xA8me]");
    EXPECT_EQ(items[2].getDisplayText(), "Caf\xEF\xBF\xBD.wav") << "one replacement mark for the unreadable byte";
    EXPECT_EQ(items[2].getFileName(), "Caf\xE9.wav") << "and the real name for opening it";
    EXPECT_EQ(items[3].getDisplayText(), "C\xC3\xA2" "binet \xC3\x9C.wav") << "after ASCII letters, not before";
    EXPECT_EQ(items[4].getDisplayText(), "G\xF0\x9F\x8E\xB8 R.aiff");
}

TEST(FolderScan, TheRootHasNoParentEntryAndMissingFoldersAreEmpty)
{
    const auto root = scanFolder("/");
    EXPECT_TRUE(root.empty() || root.front().kind() != CFileItem::ParentFolder);
    EXPECT_TRUE(scanFolder("/no/such/folder/anywhere").empty());
    EXPECT_TRUE(scanFolder("").empty());
}

TEST(FolderScan, MovingBetweenFolders)
{
    EXPECT_EQ(parentFolder("/IR/Cab"), "/IR");
    EXPECT_EQ(parentFolder("/IR"), "/");
    EXPECT_EQ(parentFolder("/"), "/");
    EXPECT_EQ(parentFolder("IR"), "IR") << "no separator: unchanged";
    EXPECT_EQ(childFolder("/IR", "Cab"), "/IR/Cab");
    EXPECT_EQ(childFolder("/", "IR"), "/IR");
}

TEST(FolderScan, ThumbLengths)
{
    EXPECT_EQ(thumbLength(30, 170), 50);
    EXPECT_EQ(thumbLength(200, 170), 19);
    EXPECT_EQ(thumbLength(3, 170), 170) << "fewer entries than fit: the whole bar";
    EXPECT_EQ(thumbLength(0, 170), 170);
}

} // namespace
} // namespace orx
