// The amplifier's 7-bit IR names made from what users type and what their file systems hold.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrNameText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    const char* text; // UTF-8, or bytes that are not
    const char* ascii;
};

// Each row a name a guitarist may have; the expected names are written by hand from the letters' base forms.
constexpr NameCase kNames[] = {
    {"Cab A", "Cab A"},
    {"C\xC3\xA2" "binet \xC3\x9C", "Cabinet U"},                   // Câbinet Ü
    {"My Cr\xC3\xA8me Cab", "My Creme Cab"},                        // precomposed è
    {"My Cre\xCC\x80me Cab", "My Creme Cab"},                       // e + combining grave, as macOS writes names
    {"Stra\xC3\x9F" "e", "Strasse"},                                // ß
    {"\xC3\x86ther \xC3\xA6on", "AEther aeon"},                     // Æ æ
    {"\xC5\x92uvre \xC5\x93uf", "OEuvre oeuf"},                     // Œ œ
    {"\xC3\x98rsted \xC3\xB8l", "Orsted ol"},                       // Ø ø
    {"\xC5\x81\xC3\xB3" "d\xC5\xBA", "Lodz"},                       // Łódź
    {"\xC4\x8C" "e\xC5\xA1ka \xC5\x98" "ada", "Ceska Rada"},        // Č š Ř
    {"Gr\xC3\xB6\xC3\x9F" "e 4x12", "Grosse 4x12"},
    {"\xC8\x98" "ase \xC8\x9B" "ara", "Sase tara"},                 // Ș ț (comma below)
    {"V30 4\xC3\x97" "12", "V30 4_12"},                             // × is no letter
    {"SM57 \xE2\x80\x93 Cap", "SM57 _ Cap"},                        // en dash
    {"Cab \xF0\x9F\x8E\xB8", "Cab _"},                              // a character beyond the basic plane is one mark
    {"\xE6\x97\xA5\xE6\x9C\xAC", "__"},                             // two CJK characters
    {"Caf\xE9", "Caf_"},                                            // a Latin-1 byte on disk, not UTF-8
    {"x\xC3", "x_"},                                                // a sequence cut short at the end
    {"\xED\xA0\x80" "z", "___z"},                                   // an encoded surrogate is three bad bytes
    {"\xC0\xAF", "__"},                                             // an overlong slash is not a slash
};

TEST(IrNameText, LettersLoseTheirAccentsAndEveryOtherCharacterBecomesOneMark)
{
    for (const NameCase& c : kNames)
        EXPECT_EQ(orx::asciiIrName(c.text), c.ascii) << c.text;
}

TEST(IrNameText, TheFieldHoldsAtMost63CharactersAndNeverEmpty)
{
    const auto field = [](const std::string& text) {
        const auto bytes = orx::irNameField(text);
        EXPECT_EQ(bytes.back(), 0);
        return std::string(reinterpret_cast<const char*>(bytes.data()));
    };
    EXPECT_EQ(field(""), "Untitled");
    EXPECT_EQ(field("\xCC\x81"), "Untitled"); // only an accent: nothing is left of it
    EXPECT_EQ(field(std::string(70, 'a')), std::string(63, 'a'));
    // Two-letter forms count as two: the cut falls on whole ASCII characters.
    std::string sharp;
    for (int i = 0; i < 40; ++i)
        sharp += "\xC3\x9F";
    EXPECT_EQ(field(sharp), std::string(63, 's'));
    EXPECT_EQ(field(std::string("ab\0cd", 5)), "abcd") << "a zero byte would end the name in the amplifier";
}

TEST(IrNameText, BytesThatAreNotUtf8AreShownAsOneReplacementEach)
{
    EXPECT_EQ(orx::validUtf8("C\xC3\xA2" "b"), "C\xC3\xA2" "b");
    EXPECT_EQ(orx::validUtf8("Caf\xE9.wav"), "Caf\xEF\xBF\xBD.wav");
    EXPECT_EQ(orx::validUtf8("\xFF\xFE"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
