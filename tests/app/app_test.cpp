// Start-up, shutdown, the single-instance rule and the error box.
#include "AppFixture.h"

#include "CORXUtilityApp.h"
#include "CORXUtilityDlg.h"
#include "GenericException.h"

#include <QDialog>
#include <QDir>
#include <QLockFile>

namespace orx {
namespace {

class App : public test::AppFixture {
protected:
    CORXUtilityApp::Options options(std::function<int(QDialog&)> run)
    {
        CORXUtilityApp::Options o;
        o.lockFolder = scratch.path();
        o.folders = folders;
        o.runDialog = std::move(run);
        return o;
    }
};

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
    QLockFile running(QDir(scratch.path()).filePath(QStringLiteral("ORX Tevo Utility.lock")));
    ASSERT_TRUE(running.tryLock(0));
    bool ranDialog = false;
    CORXUtilityApp second(options([&](QDialog&) {
        ranDialog = true;
        return 0;
    }));
    EXPECT_FALSE(second.InitInstance());
    EXPECT_FALSE(ranDialog);
    EXPECT_EQ(CORXManager::existingInstance(), nullptr);
    EXPECT_EQ(second.ExitInstance(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folders->appData))) << "no settings read or written";
    EXPECT_TRUE(running.isLocked());
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
