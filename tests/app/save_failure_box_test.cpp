// A save that fails is told in the program's error box: by the window for the saves of its closing steps, by a
// box without owner for the last save at exit, and never dropped for a box that is open at the time.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppRunFixture.h"
#include "UnwritableFolder.h"

#include "CORXUtilityApp.h"

#include <QDialog>

#include <cstring>
#include <memory>

namespace orx {
namespace {

class SaveFailureBox : public test::AppRunFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        // A working save ends whatever failing run an earlier test in this program left.
        ASSERT_TRUE(AppSettings::getInstance()->save());
        AppSettings::deleteInstance();
    }
    std::string sentence(int reason) const
    {
        return "Your settings could not be saved to " + settingsFile().string() + ": " + std::strerror(reason) +
               ". The folder choices, Properties and MIDI ports you changed are lost when the program ends.";
    }
};

TEST_F(SaveFailureBox, TheClosingStepsSaveIsToldByTheWindowAndTheSameFailureAtExitIsNotToldAgain)
{
    std::unique_ptr<test::UnwritableFolder> unwritable;
    QDialog* window = nullptr;
    CORXUtilityApp app(options([&](QDialog& dialog) {
        window = &dialog;
        dialog.show();
        unwritable = std::make_unique<test::UnwritableFolder>(settingsFile());
        dialog.close();
        return 0;
    }));
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(boxes.size(), 1u) << "told before the program goes on to end";
    EXPECT_EQ(boxes[0].owner, window);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("ORX Tevo Utility"));
    EXPECT_EQ(boxes[0].text.toStdString(), sentence(unwritable->reason));
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(boxes.size(), 1u) << "the exit's save fails the same way: the user knows already";
}

TEST_F(SaveFailureBox, AFailureOfTheLastSaveAloneGetsABoxWithoutOwner)
{
    CORXUtilityApp app(options([](QDialog& dialog) {
        dialog.show();
        dialog.close();
        return 0;
    }));
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(boxes.empty());
    const test::UnwritableFolder unwritable(settingsFile());
    EXPECT_EQ(app.ExitInstance(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text.toStdString(), sentence(unwritable.reason));
}

TEST_F(SaveFailureBox, AFailureWhileAnotherBoxIsOpenIsToldAfterIt)
{
    QWidget window;
    SaveFailureBoxes saveFailures(&window);
    const test::UnwritableFolder unwritable(settingsFile());
    onBox = [] {
        if (saveFailing(SaveTarget::Settings))
            return;
        AppSettings::getInstance()->save();
        // A real box runs an event loop of its own while it is open: the failure's box comes up there first.
        QCoreApplication::processEvents();
    };
    showErrorMessage(&window, 1004);
    ASSERT_TRUE(processUntil([this] { return boxes.size() == 2; }));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Timeout error. (1004)"));
    EXPECT_EQ(boxes[1].owner, &window);
    EXPECT_EQ(boxes[1].text.toStdString(), sentence(unwritable.reason));
}

} // namespace
} // namespace orx
