// What every installed program says about itself: its version and licence, the same way in each.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace orx {

inline constexpr const char* kAppId = "org.orxtevo.utility"; // desktop file, icon and AppStream id
inline constexpr const char* kLicence = "GPL-3.0-or-later";

const char* programVersion(); // "1.1.0", the project's version

// The --version text of `program`: name and version, copyright, licence, no warranty.
std::string versionText(const std::string& program);

// Whether the command line asks for the version (--version, before a "--" that ends the options).
bool asksForVersion(int argc, char** argv);
// Whether it asks for help (-h, --help, --help-all), which every program answers without a display.
bool asksForHelp(int argc, char** argv);

} // namespace orx
