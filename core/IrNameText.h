// The name an impulse response gets in the amplifier, made from text the user sees (file names, typed names).
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceRecords.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orx {

// The amplifier shows 7-bit text only, so every name it is sent goes through this one rule, whichever program
// sends it: letters with accents lose them ("è" to "e", "Ü" to "U", and a decomposed "e" with a combining accent
// to "e"), letters that are two in ASCII become two ("ß" to "ss", "æ" to "ae", "Œ" to "OE"), and every other
// character outside ASCII, or a byte that is not valid UTF-8, becomes one "_".
std::string asciiIrName(std::string_view utf8);

// `asciiIrName` cut to the 63 characters a name may have, in the amplifier's zero-filled 64-byte field; an empty
// name becomes "Untitled".
std::array<std::uint8_t, kIrNameLength> irNameField(std::string_view utf8);

// Text that is valid UTF-8: each byte that cannot be read as UTF-8 becomes U+FFFD, so a file name spelt in another
// character set is still shown, one mark per byte the system cannot read.
std::string validUtf8(std::string_view bytes);

} // namespace orx
