// The channel choice dialog, driven inside its own modal run, and the replaceable question pages use.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CChannelDlg.h"
#include "ScopedOverride.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

QPushButton* button(QWidget* dialog, int id)
{
    return dialog->findChild<QPushButton*>(QString::number(id));
}

// Runs `act` on the modal dialog once its run has started. A dialog that will not close is ended with -1
// so the test fails instead of hanging.
void whenModal(const std::function<void(CChannelDlg*)>& act)
{
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<CChannelDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QPointer<CChannelDlg> guard(dialog);
        QTimer::singleShot(5000, dialog, [guard] {
            if (guard && guard->isVisible())
                guard->done(-1);
        });
        act(dialog);
    });
}

struct Outcome {
    int result;
    int channel;
};

Outcome runDialog(const std::function<void(CChannelDlg*)>& act)
{
    CChannelDlg dialog;
    whenModal(act);
    const int result = dialog.exec();
    return {result, dialog.chosenChannel()};
}

TEST(ChannelDialog, ShowsCaptionQuestionAndQuestionIcon)
{
    CChannelDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Choose Priority Channel");

    bool hasQuestion = false;
    for (auto* label : dialog.findChildren<QLabel*>())
        hasQuestion = hasQuestion || label->text() == "Which channel do you use ?";
    EXPECT_TRUE(hasQuestion);

    auto* icon = dialog.findChild<QLabel*>(QString::number(CChannelDlg::kIcon));
    ASSERT_NE(icon, nullptr);
    const QPixmap shown = icon->pixmap();
    ASSERT_FALSE(shown.isNull());
    const QPixmap question =
        dialog.style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, &dialog).pixmap(shown.size());
    const QPixmap warning =
        dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &dialog).pixmap(shown.size());
    EXPECT_EQ(shown.toImage(), question.toImage());
    EXPECT_NE(shown.toImage(), warning.toImage());
}

TEST(ChannelDialog, HasNoCloseBoxAndNoSystemMenu)
{
    CChannelDlg dialog;
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
}

TEST(ChannelDialog, RChSitsLeftOfTheDefaultLChWhichHasTheFocus)
{
    Outcome run = runDialog([](CChannelDlg* dialog) {
        auto* right = button(dialog, CChannelDlg::kRightButton);
        auto* left = button(dialog, CChannelDlg::kLeftButton);
        ASSERT_NE(right, nullptr);
        ASSERT_NE(left, nullptr);
        EXPECT_EQ(right->text(), "R ch");
        EXPECT_EQ(left->text(), "L ch");
        EXPECT_LT(right->mapTo(dialog, QPoint()).x() + right->width(), left->mapTo(dialog, QPoint()).x() + 1);
        EXPECT_TRUE(left->isDefault());
        EXPECT_FALSE(right->isDefault());
        EXPECT_EQ(dialog->focusWidget(), left);
        left->click();
    });
    EXPECT_EQ(run.result, QDialog::Accepted);
}

TEST(ChannelDialog, EachAnswerGivesItsChannelAndEndsAsOk)
{
    EXPECT_EQ(CChannelDlg().chosenChannel(), 0);

    Outcome right = runDialog([](CChannelDlg* dialog) { button(dialog, CChannelDlg::kRightButton)->click(); });
    EXPECT_EQ(right.result, QDialog::Accepted);
    EXPECT_EQ(right.channel, 1);

    Outcome left = runDialog([](CChannelDlg* dialog) { button(dialog, CChannelDlg::kLeftButton)->click(); });
    EXPECT_EQ(left.result, QDialog::Accepted);
    EXPECT_EQ(left.channel, 0);
}

TEST(ChannelDialog, ReturnAtOnceChoosesLeft)
{
    // Start from "right" so a Return that did nothing cannot pass as "left".
    CChannelDlg dialog;
    whenModal([](CChannelDlg* d) { button(d, CChannelDlg::kRightButton)->click(); });
    dialog.exec();
    ASSERT_EQ(dialog.chosenChannel(), 1);

    whenModal([](CChannelDlg* d) {
        QWidget* target = d->focusWidget() ? d->focusWidget() : d;
        QTest::keyClick(target, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenChannel(), 0);
}

TEST(ChannelDialog, EscapeAndCloseLeaveItOpenUntilAnswered)
{
    bool openAfterEscape = false;
    bool openAfterClose = false;
    Outcome run = runDialog([&](CChannelDlg* dialog) {
        QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCoreApplication::processEvents();
        openAfterEscape = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
        dialog->close();
        QCoreApplication::processEvents();
        openAfterClose = dialog->isVisible();
        button(dialog, CChannelDlg::kRightButton)->click();
    });
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(openAfterClose);
    EXPECT_EQ(run.result, QDialog::Accepted);
    EXPECT_EQ(run.channel, 1);
}

class ChannelQuestionSeam : public ::testing::Test {
protected:
    // Whatever a test puts in place is gone when it ends.
    orx::ScopedOverride<orx::ChannelQuestion> m_question{&orx::setChannelQuestion, {}};
};

TEST_F(ChannelQuestionSeam, AReplacementAnswersForTheOwnerItIsGiven)
{
    QWidget owner;
    QWidget* askedFor = nullptr;
    int answer = 1;
    // Should a dialog run anyway, end it so the test fails instead of hanging; the timer dies with the test.
    bool dialogRan = false;
    QTimer stray;
    QObject::connect(&stray, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialogRan = true;
            dialog->done(-1);
        }
    });
    stray.start(0);
    orx::setChannelQuestion([&](QWidget* o) {
        askedFor = o;
        return answer;
    });
    EXPECT_EQ(orx::askChannel(&owner), 1);
    EXPECT_EQ(askedFor, &owner);
    answer = 0;
    EXPECT_EQ(orx::askChannel(&owner), 0);
    EXPECT_FALSE(dialogRan);
}

TEST_F(ChannelQuestionSeam, WithoutOneAFreshDialogAsksEachTime)
{
    QWidget owner;
    orx::setChannelQuestion([](QWidget*) { return 1; });
    orx::setChannelQuestion({});

    CChannelDlg* first = nullptr;
    whenModal([&](CChannelDlg* dialog) {
        first = dialog;
        EXPECT_EQ(dialog->parentWidget(), &owner);
        button(dialog, CChannelDlg::kRightButton)->click();
    });
    EXPECT_EQ(orx::askChannel(&owner), 1);
    ASSERT_NE(first, nullptr);

    // No memory of the last answer: Return picks left again.
    whenModal([](CChannelDlg* dialog) {
        EXPECT_EQ(dialog->chosenChannel(), 0);
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Return);
    });
    EXPECT_EQ(orx::askChannel(&owner), 0);
}

} // namespace
