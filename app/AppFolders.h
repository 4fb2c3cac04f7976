// The user's folders as the desktop reports them.
#pragma once

#include "AppSettings.h"

namespace orx {

class DesktopFolders final : public SettingsFolders {
public:
    std::string localAppDataFolder() override;
    std::string musicFolder() override;
};

} // namespace orx
