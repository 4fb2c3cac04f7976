// Transfer image conversion and the fixed records.
#include "DeviceRecords.h"

#include <algorithm>
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

} // namespace orx
