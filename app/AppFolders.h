// The user's folders as the desktop reports them, and the per-user folder of the single-instance lock.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppSettings.h"

#include <QString>

namespace orx {

class DesktopFolders final : public SettingsFolders {
public:
    std::string localAppDataFolder() override;
    std::string musicFolder() override;
    std::string configFolder() override; // ~/.config ($XDG_CONFIG_HOME)
};

// Where this user's single-instance lock lives: a folder no other user can write, or why there is none.
struct InstanceLockFolder {
    QString path;    // empty when there is no such folder
    QString problem; // why, when there is none
};

// The user's runtime folder when the session has one; otherwise a private folder of this user in the
// temporary folder, made on first use.
InstanceLockFolder instanceLockFolder();

} // namespace orx
