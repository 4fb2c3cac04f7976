// The application object: single instance, start-up, the modal run of the main window, teardown in order.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppSettings.h"
#include "MidiOptions.h"

#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QLocalServer;
class QWidget;

namespace orx {

class CORXUtilityApp {
public:
    struct Options {
        QString lockFolder;                       // default: this user's own folder (instanceLockFolder)
        std::shared_ptr<SettingsFolders> folders; // default: the desktop's folders
        std::function<int(QDialog&)> runDialog;   // default: the dialog's modal run
        MidiCommandLine midi;                     // --midi-api, --midi-in, --midi-out
        // What a second copy's start does to the running window; default: shown, restored, raised, activated.
        std::function<void(QWidget&)> bringToFront;
    };

    CORXUtilityApp();
    explicit CORXUtilityApp(Options options);
    ~CORXUtilityApp();

    // Start-up, the whole modal run and its failures; false in every case, as nothing runs after it.
    bool InitInstance();
    // Teardown: worker, session, port layer, settings written once more, lock released.
    int ExitInstance();

    // Whether this copy holds the single-instance lock (false for a second copy).
    bool ownsInstanceLock() const { return m_lock && m_lock->isLocked(); }

private:
    enum class InstanceLock { Owned, AnotherCopyRuns, NoGuard };
    InstanceLock takeInstanceLock(const QString& title);
    // The running copy listens on a socket beside its lock (in a folder only this user may enter); a second copy
    // knocks there so that the user sees the window they already have.
    void listenForOtherCopies(QWidget& window);
    void askRunningCopyToShow();

    Options m_options;
    std::unique_ptr<QLockFile> m_lock;
    QString m_socketPath;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace orx
