// The program's string table, looked up by resource number.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace orx {

inline constexpr std::int32_t kStringAppTitle = 57344;

// The text of a string resource; empty for a number that has none.
std::string loadString(std::int32_t id);

} // namespace orx
