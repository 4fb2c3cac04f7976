// The amplifier's 7-bit IR names from UTF-8 text.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrNameText.h"

#include <algorithm>
#include <cstring>

namespace orx {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// The character at `i` and how many bytes it takes; an invalid sequence (a stray continuation byte, a lead byte
// cut short, an overlong form, a surrogate, beyond U+10FFFF) is one invalid byte.
char32_t decodeAt(std::string_view text, std::size_t i, std::size_t& length)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    length = 1;
    if (lead < 0x80)
        return lead;
    std::size_t need = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3, c = lead & 0x07, least = 0x10000;
    } else {
        return kInvalid;
    }
    if (i + need >= text.size())
        return kInvalid;
    for (std::size_t k = 1; k <= need; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return kInvalid;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kInvalid;
    length = need + 1;
    return c;
}

// U+00C0 to U+00FF.
constexpr const char* kLatin1[64] = {
    "A",  "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",  // C0-CF
    "D",  "N", "O", "O", "O", "O", "O",  "_", "O", "U", "U", "U", "U", "Y", "TH", "ss", // D0-DF
    "a",  "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",  // E0-EF
    "d",  "n", "o", "o", "o", "o", "o",  "_", "o", "u", "u", "u", "u", "y", "th", "y",  // F0-FF
};

// U+0100 to U+017F (Latin Extended-A): mostly a capital and its small letter in turn.
constexpr const char* kLatinExtendedA[128] = {
    "A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d",   // 0100-010F
    "D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",   // 0110-011F
    "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i",   // 0120-012F
    "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L", // 0130-013F
    "l", "L", "l", "N", "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o",   // 0140-014F
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s", // 0150-015F
    "S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u",   // 0160-016F
    "U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s",   // 0170-017F
};

// What one character becomes; empty for the accents that follow a letter in decomposed text, and for a zero byte,
// which would end the name early in the amplifier.
const char* asciiOf(char32_t c, char (&single)[2])
{
    if (c < 0x80) {
        single[0] = static_cast<char>(c);
        single[1] = 0;
        return single;
    }
    if (c >= 0x0300 && c <= 0x036F)
        return "";
    if (c >= 0x00C0 && c <= 0x00FF)
        return kLatin1[c - 0x00C0];
    if (c >= 0x0100 && c <= 0x017F)
        return kLatinExtendedA[c - 0x0100];
    switch (c) { // the comma-below letters Romanian uses
    case 0x0218: return "S";
    case 0x0219: return "s";
    case 0x021A: return "T";
    case 0x021B: return "t";
    default: return "_";
    }
}

} // namespace

std::string asciiIrName(std::string_view utf8)
{
    std::string ascii;
    ascii.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 1;
        const char32_t c = decodeAt(utf8, i, length);
        char single[2] = {};
        ascii += c == kInvalid ? "_" : asciiOf(c, single);
        i += length;
    }
    return ascii;
}

std::array<std::uint8_t, kIrNameLength> irNameField(std::string_view utf8)
{
    std::array<std::uint8_t, kIrNameLength> field{};
    std::string ascii = asciiIrName(utf8).substr(0, kIrNameLength - 1);
    if (ascii.empty())
        ascii = "Untitled";
    std::memcpy(field.data(), ascii.data(), ascii.size());
    return field;
}

std::string validUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = 1;
        if (decodeAt(bytes, i, length) == kInvalid)
            text += "\xEF\xBF\xBD";
        else
            text.append(bytes.substr(i, length));
        i += length;
    }
    return text;
}

} // namespace orx
