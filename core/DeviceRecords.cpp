// Transfer image conversion, the fixed records and the text of the amplifier's names.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceRecords.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orx {

FIRTransferImage toTransferImage(const FIRRecord& record)
{
    FIRTransferImage image{};
    std::copy(record.irName.begin(), record.irName.end(), image.begin());
    std::size_t pos = kIrNameLength;
    image[pos++] = static_cast<std::uint8_t>(record.FIRCOE & 0xFF);
    image[pos++] = static_cast<std::uint8_t>(record.FIRCOE >> 8);
    for (std::int16_t c : record.coefficients) {
        const auto u = static_cast<std::uint16_t>(c);
        image[pos++] = static_cast<std::uint8_t>(u & 0xFF);
        image[pos++] = static_cast<std::uint8_t>(u >> 8);
    }
    return image;
}

FIRRecord fromTransferImage(const FIRTransferImage& image)
{
    FIRRecord record;
    std::copy_n(image.begin(), kIrNameLength, record.irName.begin());
    std::size_t pos = kIrNameLength;
    record.FIRCOE = static_cast<std::uint16_t>(image[pos] | (image[pos + 1] << 8));
    pos += 2;
    for (auto& c : record.coefficients) {
        c = static_cast<std::int16_t>(static_cast<std::uint16_t>(image[pos] | (image[pos + 1] << 8)));
        pos += 2;
    }
    return record;
}

FIRRecord makeBypassRecord()
{
    FIRRecord record;
    static constexpr char kName[] = "Bypass";
    std::memcpy(record.irName.data(), kName, sizeof kName - 1);
    record.FIRCOE = kMaxFIRCOE;
    record.coefficients[0] = 0x7FFF;
    return record;
}

std::string decodeAmpNameUtf8(const std::uint8_t* bytes, std::size_t size)
{
    // Windows-1252 differs from Latin-1 only in 0x80 to 0x9F; its five unassigned bytes stay as they are.
    static constexpr std::array<char16_t, 32> kHigh{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string text;
    for (std::size_t i = 0; i < size && bytes[i] != 0; ++i) {
        const std::uint8_t b = bytes[i];
        const char16_t c = b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : char16_t{b};
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

} // namespace orx
