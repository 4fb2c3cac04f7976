// Start-up, shutdown, the single-instance rule and the error box.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppRunFixture.h"

#include "CORXUtilityApp.h"
#include "CORXUtilityDlg.h"
#include "GenericException.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace orx {
namespace {

const QString kLockName = QStringLiteral("ORX Tevo Utility.lock");

// Another copy of this user's program: a process that takes the lock and keeps it until it dies, which it does
// without unlocking, as a killed copy would.
class OtherCopy {
public:
    explicit OtherCopy(const QString& lockFile)
    {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            QLockFile lock(lockFile);
            const char locked = lock.tryLock(0) ? 1 : 0;
            (void)!::write(ready[1], &locked, 1);
            char ignored;
            (void)!::read(release[0], &ignored, 1); // returns when the test closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char locked = 0;
        m_locked = ::read(ready[0], &locked, 1) == 1 && locked == 1;
        ::close(ready[0]);
    }
    ~OtherCopy() { die(); }
    bool holdsLock() const { return m_locked && m_pid > 0; }
    qint64 pid() const { return m_pid; }
    void die()
    {
        if (m_release < 0)
            return;
        ::close(m_release);
        m_release = -1;
        ::waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_previous = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_previous)
            qputenv(m_name, *m_previous);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_previous;
};

int guardLines(const std::string& text)
{
    int lines = 0;
    for (std::size_t at = text.find("single-instance guard"); at != std::string::npos;
         at = text.find("single-instance guard", at + 1))
        ++lines;
    return lines;
}

class App : public test::AppRunFixture {};

TEST_F(App, ErrorTextsWithTheirCodeAndTheTitleAsCaption)
{
    QWidget owner;
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {1006, "FIR file channel error.  (1006)"}, // two spaces before the parenthesis
        {1004, "Timeout error. (1004)"},
        {1009, "FIR file read error. (1009)"},
        {1010, "Unkown error. (1010)"},
        {0, "Unkown error. (0)"},
    };
    for (const auto& c : cases)
        showErrorMessage(&owner, c.code);
    ASSERT_EQ(boxes.size(), std::size(cases));
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].text.toStdString(), cases[i].text);
        EXPECT_EQ(boxes[i].caption, QStringLiteral("ORX Tevo Utility"));
        EXPECT_EQ(boxes[i].owner, &owner);
    }
}

TEST_F(App, ASecondErrorWhileABoxIsOpenIsDropped)
{
    onBox = [this] {
        if (boxes.size() == 1)
            showErrorMessage(nullptr, 1001); // arrives while the first box is open
    };
    showErrorMessage(nullptr, 1004);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Timeout error. (1004)"));
    EXPECT_FALSE(isErrorBoxOpen());
    showErrorMessage(nullptr, 1002); // after closing, boxes show again
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, QStringLiteral("Receive data error. (1002)"));
}

TEST_F(App, ASecondCopyEndsAtOnceWithoutTouchingTheSettings)
{
    const QString lockFile = QDir(scratch.path()).filePath(kLockName);
    OtherCopy running(lockFile);
    ASSERT_TRUE(running.holdsLock());
    bool ranDialog = false;
    CORXUtilityApp second(options([&](QDialog&) {
        ranDialog = true;
        return 0;
    }));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "silently";
    EXPECT_FALSE(ranDialog);
    EXPECT_EQ(CORXManager::existingInstance(), nullptr);
    EXPECT_EQ(second.ExitInstance(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folders->appData))) << "no settings read or written";
    qint64 holder = 0;
    QString host, application;
    ASSERT_TRUE(QLockFile(lockFile).getLockInfo(&holder, &host, &application));
    EXPECT_EQ(holder, running.pid()) << "the running copy keeps its lock";
}

// A second start while the window is open: the running copy shows its window (the user sees the program they
// already have), and the second copy still ends at once and silently.
TEST_F(App, ASecondStartBringsTheRunningWindowToTheFront)
{
    int broughtToFront = 0;
    bool secondRanDialog = false;
    std::string secondSaid = "not run";
    CORXUtilityApp::Options first = options([&](QDialog&) {
        CORXUtilityApp second(options([&](QDialog&) {
            secondRanDialog = true;
            return 0;
        }));
        ::testing::internal::CaptureStderr();
        second.InitInstance();
        secondSaid = ::testing::internal::GetCapturedStderr();
        second.ExitInstance();
        EXPECT_TRUE(QTest::qWaitFor([&] { return broughtToFront > 0; }, 30000)) << "the window was never shown";
        return 0;
    });
    first.bringToFront = [&](QWidget& window) {
        EXPECT_NE(qobject_cast<QDialog*>(&window), nullptr) << "the main window";
        ++broughtToFront;
    };
    CORXUtilityApp app(first);
    app.InitInstance();
    app.ExitInstance();
    EXPECT_EQ(broughtToFront, 1);
    EXPECT_FALSE(secondRanDialog);
    EXPECT_EQ(secondSaid, "");
}

// A copy that cannot take the lock for any reason but a running copy must still start: ending silently would
// leave the user with a program that never opens and no word why.
TEST_F(App, ALockThatCannotBeTakenLetsTheProgramStartWithOneLineSayingWhy)
{
    const QDir root(scratch.path());
    struct Case {
        const char* what;
        std::function<QString()> prepare; // returns the lock folder
        bool needsPermissions;            // permission bits do not stop root
    } cases[] = {
        {"a folder that cannot be made, under a file",
         [&] {
             QFile file(root.filePath(QStringLiteral("plain-file")));
             file.open(QIODevice::WriteOnly);
             return root.filePath(QStringLiteral("plain-file/locks"));
         },
         false},
        {"a lock file that is a folder",
         [&] {
             root.mkpath(QStringLiteral("odd/") + kLockName);
             return root.filePath(QStringLiteral("odd"));
         },
         false},
        {"a read-only folder",
         [&] {
             root.mkpath(QStringLiteral("read-only"));
             ::chmod(QFile::encodeName(root.filePath(QStringLiteral("read-only"))).constData(), 0500);
             return root.filePath(QStringLiteral("read-only"));
         },
         true},
    };
    for (const auto& c : cases) {
        if (c.needsPermissions && ::geteuid() == 0) {
            std::printf("[   NOTE   ] %s: not checked as root, who may write anywhere\n", c.what);
            continue;
        }
        CORXUtilityApp::Options o = options({});
        o.lockFolder = c.prepare();
        bool ranDialog = false;
        o.runDialog = [&](QDialog&) {
            ranDialog = true;
            return 0;
        };
        CORXUtilityApp app(o);
        ::testing::internal::CaptureStderr();
        app.InitInstance();
        const std::string diagnostics = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(ranDialog) << c.what;
        EXPECT_FALSE(app.ownsInstanceLock()) << c.what;
        EXPECT_EQ(guardLines(diagnostics), 1) << c.what << ": " << diagnostics;
        EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << c.what << ": " << diagnostics;
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    ::chmod(QFile::encodeName(root.filePath(QStringLiteral("read-only"))).constData(), 0700);
}

// A copy that is gone cannot be running; its lock must not keep the program from ever starting again.
TEST_F(App, ALockLeftByACopyThatIsGoneIsTakenOver)
{
    const QString lockFile = QDir(scratch.path()).filePath(kLockName);
    struct Case {
        const char* what;
        std::function<void()> leave;
    } cases[] = {
        {"its holder was killed",
         [&] {
             OtherCopy killed(lockFile);
             ASSERT_TRUE(killed.holdsLock());
             killed.die();
         }},
        {"its holder died while writing it, naming no one",
         [&] {
             QFile file(lockFile);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         }},
    };
    for (const auto& c : cases) {
        c.leave();
        ASSERT_TRUE(QFileInfo::exists(lockFile)) << c.what;
        bool ranDialog = false;
        CORXUtilityApp app(options([&](QDialog&) {
            ranDialog = true;
            return 0;
        }));
        ::testing::internal::CaptureStderr();
        app.InitInstance();
        EXPECT_EQ(guardLines(::testing::internal::GetCapturedStderr()), 0) << c.what;
        EXPECT_TRUE(ranDialog) << c.what;
        EXPECT_TRUE(app.ownsInstanceLock()) << c.what;
        EXPECT_EQ(app.ExitInstance(), 0);
        EXPECT_FALSE(QFileInfo::exists(lockFile)) << c.what << ": released at exit";
    }
}

// In a folder that every user shares, one user's copy, or a lock it left behind that others cannot remove,
// kept every other user's program from starting.
TEST_F(App, TheDefaultLockLivesInAFolderOfThisUser)
{
    const QDir root(scratch.path());
    root.mkpath(QStringLiteral("tmp"));
    ASSERT_EQ(::mkdir(QFile::encodeName(root.filePath(QStringLiteral("run"))).constData(), 0700), 0);
    const QString temp = root.filePath(QStringLiteral("tmp"));
    const QString ownTemp = QDir(temp).filePath(QStringLiteral("orx-tevo-utility-%1").arg(::geteuid()));
    struct Case {
        const char* what;
        std::optional<QByteArray> runtimeFolder;
        QString expectedFolder;
    } cases[] = {
        {"the session's runtime folder", QFile::encodeName(root.filePath(QStringLiteral("run"))),
         root.filePath(QStringLiteral("run"))},
        {"no runtime folder: a private one in the temporary folder", std::nullopt, ownTemp},
    };
    const ScopedEnv tmp("TMPDIR", QFile::encodeName(temp));
    for (const auto& c : cases) {
        const ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtimeFolder);
        const QString expected = QDir(c.expectedFolder).filePath(kLockName);
        CORXUtilityApp::Options o = options({});
        o.lockFolder.clear();
        qint64 holder = 0;
        o.runDialog = [&](QDialog&) {
            QString host, application;
            QLockFile(expected).getLockInfo(&holder, &host, &application);
            return 0;
        };
        CORXUtilityApp app(o);
        app.InitInstance();
        EXPECT_TRUE(app.ownsInstanceLock()) << c.what;
        EXPECT_EQ(holder, QCoreApplication::applicationPid()) << c.what << ": the lock is " << expected.toStdString();
        EXPECT_FALSE(QFileInfo::exists(QDir(temp).filePath(kLockName))) << c.what << ": not in the shared folder";
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(ownTemp).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "nobody else may enter the private folder";
    EXPECT_EQ(info.st_uid, ::geteuid());
}

TEST_F(App, AFirstCopyRunsTheWindowThenTearsDownAndReleasesTheLock)
{
    CORXUtilityApp app(options([](QDialog& dialog) {
        dialog.show();
        dialog.move(-300, 15);
        dialog.close();
        return 0;
    }));
    EXPECT_FALSE(app.InitInstance()) << "nothing runs after the dialog";
    EXPECT_TRUE(app.ownsInstanceLock());
    ASSERT_NE(CORXManager::existingInstance(), nullptr);
    EXPECT_FALSE(CORXManager::existingInstance()->isRequestThreadRunning()) << "closing stopped the worker";
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(CORXManager::existingInstance(), nullptr);
    EXPECT_EQ(CMIDIManager::existingInstance(), nullptr);
    EXPECT_NE(settingsText().find("X=-300"), std::string::npos);

    QLockFile next(QDir(scratch.path()).filePath(QStringLiteral("ORX Tevo Utility.lock")));
    EXPECT_TRUE(next.tryLock(0)) << "the lock was released";
}

TEST_F(App, AnErrorEscapingTheWindowShowsItsBoxWithoutOwner)
{
    CORXUtilityApp app(options([](QDialog&) -> int { throw mstd::CGenericException(1002, 0); }));
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Receive data error. (1002)"));
    app.ExitInstance();
}

TEST_F(App, AnyOtherExceptionIsLoggedAndTheProgramStillEnds)
{
    CORXUtilityApp app(options([](QDialog&) -> int { throw std::runtime_error("bug"); }));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(app.InitInstance());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("[CATCH] Exception! - CORXUtilityApp::InitInstance()\n"),
              std::string::npos);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(app.ExitInstance(), 0);
}

} // namespace
} // namespace orx
