// Local application data and music folders from QStandardPaths.
#include "AppFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace orx {

std::string DesktopFolders::localAppDataFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .toStdString();
}

std::string DesktopFolders::musicFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::MusicLocation)).toStdString();
}

} // namespace orx
