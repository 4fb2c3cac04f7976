// What the user reads for each error code: the string it maps to and the "text (code)" line of the error box.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace mstd {

// The string resource that holds a code's text. The ids do not follow the codes from 1004 on.
std::int32_t errorStringId(std::int32_t code);
// The text of an error string resource; empty for an id that has none.
std::string errorString(std::int32_t stringId);
// "<text of stringId> (<code>)"; the number is the code passed in, not the string id.
std::string formatErrorText(std::int32_t stringId, std::int32_t code);
// The whole line an error box shows for a code.
inline std::string errorMessage(std::int32_t code)
{
    return formatErrorText(errorStringId(code), code);
}

} // namespace mstd
