// Every user-visible string the program takes from its string table, spelled as it always was.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "StringTable.h"

#include "ErrorTexts.h"

namespace orx {

std::string loadString(std::int32_t id)
{
    switch (id) {
    // Amp types, by the IR slot in use.
    case 106:
        return "MODERN";
    case 107:
        return "LEAD";
    case 108:
        return "CRUNCH";
    case 109:
        return "CLEAN";
    case 110:
        return "SOLID";
    // Booster and reverb names on the effect settings page.
    case 406:
        return "White Drive";
    case 407:
        return "Green Drive";
    case 408:
        return "Amber Drive";
    case 409:
        return "Spring";
    case 410:
        return "Plate";
    case 411:
        return "Room";
    case 412:
        return "Hall";
    // The IR memory reset question.
    case 413:
        return "Reset IR Data";
    case 414:
        return "Reset IR data to factory settings.";
    case kStringAppTitle:
        return "ORX Tevo Utility";
    default:
        return mstd::errorString(id); // 1000 to 1010, or empty
    }
}

} // namespace orx
