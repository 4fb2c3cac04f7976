// Start-up and shutdown in their fixed order.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CORXUtilityApp.h"

#include "AppFolders.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "CORXUtilityDlg.h"
#include "ErrorBox.h"
#include "GenericException.h"
#include "StringTable.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <clocale>
#include <cstdio>
#include <locale>
#include <stdexcept>

namespace orx {

namespace {

// The user's default locale for the standard library and the C conversions; a broken one is not fatal.
void useUserLocale()
{
    std::setlocale(LC_ALL, "");
    try {
        std::locale::global(std::locale(""));
    } catch (const std::runtime_error&) {
        std::setlocale(LC_ALL, "C");
    }
}

// The program runs on without the guard; the line says why a second copy could now start.
void reportNoGuard(const QString& why)
{
    std::fprintf(stderr, "ORX Tevo Utility: no single-instance guard: %s\n", why.toLocal8Bit().constData());
}

QString lockErrorText(QLockFile::LockError error)
{
    switch (error) {
    case QLockFile::PermissionError:
        return QStringLiteral("permission denied");
    case QLockFile::LockFailedError:
        return QStringLiteral("it cannot be read or replaced");
    default:
        return QStringLiteral("unknown error");
    }
}

} // namespace

CORXUtilityApp::CORXUtilityApp() : CORXUtilityApp(Options{}) {}

CORXUtilityApp::CORXUtilityApp(Options options) : m_options(std::move(options))
{
    if (!m_options.folders)
        m_options.folders = std::make_shared<DesktopFolders>();
    if (!m_options.runDialog)
        m_options.runDialog = [](QDialog& dialog) { return dialog.exec(); };
    if (!m_options.bringToFront)
        m_options.bringToFront = [](QWidget& window) {
            window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            window.show();
            window.raise();
            window.activateWindow();
        };
}

CORXUtilityApp::~CORXUtilityApp() = default;

bool CORXUtilityApp::InitInstance()
{
    try {
        useUserLocale();
        const QString title = QString::fromStdString(loadString(kStringAppTitle));
        if (takeInstanceLock(title) == InstanceLock::AnotherCopyRuns) {
            askRunningCopyToShow();
            return false; // end silently, touching nothing
        }
        CORXUtilityDlg::decodeFirstPageAhead();
        AppSettings::setFolders(m_options.folders);
        AppSettings* settings = AppSettings::getInstance();
        // Before the session makes its first MIDI client.
        chooseMidiSystem(m_options.midi, *settings);
        // The ports the user chose are looked for before the amplifier's marker.
        auto [input, output] = choosePorts(m_options.midi, *settings);
        CORXManager::getInstance()->setPortChoice(std::move(input), std::move(output));
        CORXUtilityDlg dialog;
        SaveFailureBoxes saveFailures(&dialog);
        listenForOtherCopies(dialog);
        m_options.runDialog(dialog);
        m_server.reset();
        // The closing steps saved after the window's event loop took its last event.
        saveFailures.showPending();
    } catch (const mstd::CGenericException& e) {
        showErrorMessage(nullptr, e.getCode());
    } catch (...) {
        std::fputs("[CATCH] Exception! - CORXUtilityApp::InitInstance()\n", stderr);
    }
    return false;
}

// Only a copy of this user that is alive ends this one. Every other failure lets the program start unguarded:
// a user locked out of the program by a folder they cannot write is worse off than one who may, by
// mistake, start it twice.
CORXUtilityApp::InstanceLock CORXUtilityApp::takeInstanceLock(const QString& title)
{
    QString folder = m_options.lockFolder;
    if (folder.isEmpty()) {
        const InstanceLockFolder own = instanceLockFolder();
        if (own.path.isEmpty()) {
            reportNoGuard(own.problem);
            return InstanceLock::NoGuard;
        }
        folder = own.path;
    }
    if (!QDir().mkpath(folder)) {
        reportNoGuard(QStringLiteral("cannot create the folder %1").arg(folder));
        return InstanceLock::NoGuard;
    }
    m_socketPath = QDir(folder).filePath(title + QStringLiteral(".socket"));
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(title + QStringLiteral(".lock")));
    // A lock is never stale by age, only when its holder is gone: a copy may run for weeks.
    lock->setStaleLockTime(0);
    const auto holderNamed = [&lock] {
        qint64 pid = 0;
        QString host, application;
        return lock->getLockInfo(&pid, &host, &application);
    };
    if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
        // Qt takes over the lock of a holder that is gone, so a holder it names is alive. A file that names
        // none (left half-written by a crash) proves nothing; the operating system's lock on it, which a live
        // holder keeps, still stops its removal.
        if (!holderNamed() && lock->removeStaleLockFile())
            lock->tryLock(0);
        if (!lock->isLocked() && lock->error() == QLockFile::LockFailedError && holderNamed())
            return InstanceLock::AnotherCopyRuns;
    }
    if (!lock->isLocked()) {
        reportNoGuard(
            QStringLiteral("cannot take the lock %1: %2").arg(lock->fileName(), lockErrorText(lock->error())));
        return InstanceLock::NoGuard;
    }
    m_lock = std::move(lock);
    return InstanceLock::Owned;
}

void CORXUtilityApp::listenForOtherCopies(QWidget& window)
{
    if (!ownsInstanceLock())
        return;
    // Only the lock's holder gets here, so a socket file left behind belongs to a copy that is gone.
    QLocalServer::removeServer(m_socketPath);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        std::fprintf(stderr, "ORX Tevo Utility: a second start cannot bring this window to the front: %s\n",
                     m_server->errorString().toLocal8Bit().constData());
        m_server.reset();
        return;
    }
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this, &window] {
        while (QLocalSocket* knock = m_server->nextPendingConnection()) {
            knock->deleteLater();
            m_options.bringToFront(window);
        }
    });
}

void CORXUtilityApp::askRunningCopyToShow()
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    // A copy that does not listen (an older version, or one without the socket) is left as it is, silently.
    if (socket.waitForConnected(5000)) {
        socket.write("show\n");
        socket.waitForBytesWritten(5000);
        socket.disconnectFromServer();
    }
}

int CORXUtilityApp::ExitInstance()
{
    if (CORXManager* session = CORXManager::existingInstance()) {
        session->stopRequestThread();
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
    }
    {
        // The last save, with no window left: a failure the window has not told yet gets a box of its own.
        SaveFailureBoxes saveFailures(nullptr);
        AppSettings::deleteInstance();
        saveFailures.showPending();
    }
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
    m_server.reset();
    m_lock.reset();
    return 0;
}

} // namespace orx
