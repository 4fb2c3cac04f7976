// A settings folder that a save cannot write into, for root as well as for other users.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace orx::test {

// Root writes into a folder of mode 0500 all the same, so for root a folder in the place of the save's temporary
// file stops the write instead; either way the save really fails, with `reason` as its errno.
class UnwritableFolder {
public:
    explicit UnwritableFolder(const std::filesystem::path& file)
        : m_folder(file.parent_path()), m_blocker(file.string() + ".tmp")
    {
        namespace fs = std::filesystem;
        if (::geteuid() == 0) {
            fs::create_directories(m_blocker);
            reason = EEXIST;
        } else {
            fs::create_directories(m_folder);
            fs::permissions(m_folder, fs::perms::owner_read | fs::perms::owner_exec);
            reason = EACCES;
        }
    }
    ~UnwritableFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove(m_blocker, ignored);
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

    int reason = 0;

private:
    std::filesystem::path m_folder, m_blocker;
};

} // namespace orx::test
