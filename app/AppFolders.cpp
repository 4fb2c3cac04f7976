// Local application data and music folders from QStandardPaths; the folder of the single-instance lock.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFolders.h"

#include <QDir>
#include <QStandardPaths>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orx {

std::string DesktopFolders::localAppDataFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .toStdString();
}

std::string DesktopFolders::configFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .toStdString();
}

std::string DesktopFolders::musicFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::MusicLocation)).toStdString();
}

namespace {

InstanceLockFolder runtimeFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        return {{}, QStringLiteral("the user's runtime folder is not usable")};
    return {folder, {}};
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Named by the user id, not the name: every account has one, and no two share it. In the temporary folder,
// not the home folder: a home shared between machines would let a copy on another machine, whose process
// cannot be checked from here, stop this one. Only a folder that this user owns and nobody else may enter is
// trusted: where others may write, another user could plant a lock this user cannot remove.
InstanceLockFolder privateTempFolder()
{
    const uid_t uid = ::geteuid();
    const QString folder = QDir(QDir::tempPath()).filePath(QStringLiteral("orx-tevo-utility-%1").arg(uid));
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return {{}, QStringLiteral("cannot create %1: %2").arg(folder, errnoText(errno))};
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return {{}, QStringLiteral("cannot examine %1: %2").arg(folder, errnoText(errno))};
    if (!S_ISDIR(info.st_mode))
        return {{}, QStringLiteral("%1 is not a folder").arg(folder)};
    if (info.st_uid != uid)
        return {{}, QStringLiteral("%1 belongs to another user").arg(folder)};
    // Ours but opened up by someone: close it again before trusting it.
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return {{}, QStringLiteral("cannot make %1 private: %2").arg(folder, errnoText(errno))};
    return {folder, {}};
}

#endif

} // namespace

InstanceLockFolder instanceLockFolder()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // Without XDG_RUNTIME_DIR (su, cron, some remote logins), Qt names its stand-in after the user's name,
    // which an account without a passwd entry lacks: all such accounts would then share one folder.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return privateTempFolder();
#endif
    return runtimeFolder();
}

} // namespace orx
