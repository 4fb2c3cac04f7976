// InputFileStream: bad seek origins, reads at the end, missing files, and the size fixed at opening.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioFiles.h"
#include "InputStream.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

using namespace orx::test;
using eLibrary::InputFileStream;

namespace {

const Bytes kTenBytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(InputFileStream, UnknownSeekOriginFailsAndLeavesThePosition)
{
    InputFileStream stream(writeFile("ten.bin", kTenBytes));
    ASSERT_TRUE(stream.seek(3, eLibrary::SeekBegin));
    for (std::int32_t origin : {0, 4, -1}) {
        EXPECT_FALSE(stream.seek(1, origin)) << "origin " << origin;
        EXPECT_EQ(stream.getPosition(), 3) << "origin " << origin;
    }
}

TEST(InputFileStream, SeeksFromEachOriginAndReadsShortAtTheEnd)
{
    InputFileStream stream(writeFile("ten.bin", kTenBytes));
    EXPECT_EQ(stream.getSize(), 10);
    std::array<std::uint8_t, 4> buffer{};

    ASSERT_TRUE(stream.seek(-3, eLibrary::SeekEnd));
    EXPECT_EQ(stream.read(buffer.data(), 4), 3);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[2], 9);
    EXPECT_EQ(stream.read(buffer.data(), 4), 0) << "a read at the end delivers nothing";

    ASSERT_TRUE(stream.seek(2, eLibrary::SeekBegin));
    ASSERT_TRUE(stream.seek(3, eLibrary::SeekCurrent));
    EXPECT_EQ(stream.getPosition(), 5);
    EXPECT_EQ(stream.read(buffer.data(), 1), 1);
    EXPECT_EQ(buffer[0], 5);

    EXPECT_FALSE(stream.seek(-1, eLibrary::SeekBegin));
}

TEST(InputFileStream, SizeIsTheSizeAtOpening)
{
    const auto path = writeFile("growing.bin", kTenBytes);
    InputFileStream stream(path);
    {
        std::ofstream more(path, std::ios::binary | std::ios::app);
        more << "more bytes";
    }
    EXPECT_EQ(stream.getSize(), 10);
}

TEST(InputFileStream, MissingFileIsAnErrorThatReadsNothing)
{
    InputFileStream stream(scratch() / "no-such-file.wav");
    EXPECT_TRUE(stream.isError());
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.read(&byte, 1), 0);
    EXPECT_FALSE(stream.seek(0, eLibrary::SeekBegin));
    EXPECT_EQ(stream.getSize(), 0);
}

} // namespace
