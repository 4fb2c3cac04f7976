// The error texts, spelled exactly as users have always seen them (including their typos and spaces).
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorTexts.h"

namespace mstd {

std::int32_t errorStringId(std::int32_t code)
{
    switch (code) {
    case 1000:
    case 1001:
    case 1002:
    case 1003:
        return code;
    case 1004:
        return 1009;
    case 1005:
    case 1006:
    case 1007:
    case 1008:
    case 1009:
        return code - 1;
    default:
        return 1010;
    }
}

std::string errorString(std::int32_t stringId)
{
    switch (stringId) {
    case 1000:
        return "MIDI open error.";
    case 1001:
        return "MIDI send error.";
    case 1002:
        return "Receive data error.";
    case 1003:
        return "FIR data write error.";
    case 1004:
        return "FIR file open error.";
    case 1005:
        return "FIR file channel error. ";
    case 1006:
        return "FIR file sample rate error.";
    case 1007:
        return "FIR file sample size error.";
    case 1008:
        return "FIR file read error.";
    case 1009:
        return "Timeout error.";
    case 1010:
        return "Unkown error.";
    default:
        return {};
    }
}

std::string formatErrorText(std::int32_t stringId, std::int32_t code)
{
    return errorString(stringId) + " (" + std::to_string(code) + ")";
}

} // namespace mstd
