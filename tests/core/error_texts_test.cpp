// The error box's line for every code: string ids out of code order, the odd spacing and spelling kept.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorTexts.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorTexts, EveryCodeShowsItsTextAndItsOwnNumber)
{
    struct Case {
        int code;
        const char* shown;
    } cases[] = {
        {1000, "MIDI open error. (1000)"},
        {1001, "MIDI send error. (1001)"},
        {1002, "Receive data error. (1002)"},
        {1003, "FIR data write error. (1003)"},
        {1004, "Timeout error. (1004)"},           // text of string 1009
        {1005, "FIR file open error. (1005)"},     // text of string 1004
        {1006, "FIR file channel error.  (1006)"}, // the text ends in a space: two before the parenthesis
        {1007, "FIR file sample rate error. (1007)"},
        {1008, "FIR file sample size error. (1008)"},
        {1009, "FIR file read error. (1009)"}, // text of string 1008
        {1010, "Unkown error. (1010)"},
        {0, "Unkown error. (0)"},
        {1234, "Unkown error. (1234)"},
        {-7, "Unkown error. (-7)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mstd::errorMessage(c.code), c.shown) << c.code;
}

TEST(ErrorTexts, AMissingStringGivesAnEmptyTextBeforeTheNumber)
{
    EXPECT_EQ(mstd::formatErrorText(4242, 1002), " (1002)");
}

} // namespace
