// Every user-visible string the program takes from its string table, spelled as it always was.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "StringTable.h"

#include "AmpWords.h"
#include "ErrorTexts.h"

namespace orx {

std::string loadString(std::int32_t id)
{
    // Amp types by the IR slot in use, booster and reverb names: the words every program writes for them.
    if (id >= 106 && id <= 110)
        return words::kAmpTypes[static_cast<std::size_t>(id - 106)];
    if (id >= 406 && id <= 408)
        return words::kBoosters[static_cast<std::size_t>(id - 406)];
    if (id >= 409 && id <= 412)
        return words::kReverbs[static_cast<std::size_t>(id - 409)];
    switch (id) {
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
