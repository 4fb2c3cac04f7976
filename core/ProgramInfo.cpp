// The version and licence texts, and the two questions every program answers before anything else.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramInfo.h"

#include <string_view>

#ifndef ORX_VERSION
#error "ORX_VERSION must be set by the build"
#endif

namespace orx {

namespace {

bool hasOption(int argc, char** argv, std::initializer_list<std::string_view> names)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            return false;
        for (const std::string_view name : names)
            if (arg == name)
                return true;
    }
    return false;
}

} // namespace

const char* programVersion()
{
    return ORX_VERSION;
}

std::string versionText(const std::string& program)
{
    return program + " " + programVersion() +
           "\n"
           "Copyright (C) 2026 the ORX Tevo Utility developers\n"
           "License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl-3.0.html>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

bool asksForVersion(int argc, char** argv)
{
    return hasOption(argc, argv, {"--version"});
}

bool asksForHelp(int argc, char** argv)
{
    return hasOption(argc, argv, {"--help", "-h", "--help-all", "-?"});
}

} // namespace orx
