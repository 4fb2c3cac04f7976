// The main window against the simulated amplifier: tabs by model, event relay, menu, keys, closing.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "AppIcon.h"
#include "CDevicePage.h"
#include "CORXUtilityDlg.h"
#include "IMenuHandler.h"

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace orx {
namespace {

// The window's icon reads its pictures only when asked; asked, it must be the program's icon at every size.
TEST(WindowIcon, GivesTheProgramsIconAtEverySizeAndRatioAsked)
{
    const QIcon direct(QStringLiteral(":/images/icon.png"));
    const QIcon icon = appIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), direct.availableSizes());
    for (int size : {16, 32, 48, 256}) {
        for (qreal ratio : {1.0, 2.0}) {
            const QImage got = icon.pixmap(QSize(size, size), ratio).toImage();
            ASSERT_FALSE(got.isNull()) << size << " at " << ratio;
            EXPECT_TRUE(got == direct.pixmap(QSize(size, size), ratio).toImage()) << size << " at " << ratio;
        }
    }
    const QIcon copy = icon; // a window keeps its own copy of the icon it is given
    EXPECT_FALSE(copy.pixmap(64, 64).isNull());
}

// Edit commands that fail with something other than the program's own exception.
struct FailingMenuHandler final : IMenuHandler {
    int canUndo() override { return 1; }
    int canCut() override { return 1; }
    int canCopy() override { return 1; }
    int canPaste() override { return 1; }
    int canSelectAll() override { return 1; }
    void undo() override { fail(); }
    void cut() override { fail(); }
    void copy() override { fail(); }
    void paste() override { fail(); }
    void selectAll() override { fail(); }
    static void fail() { throw std::runtime_error("edit command failed"); }
};

// The window with a failing handler behind its Edit commands, whichever page is shown.
class DialogWithFailingEdit final : public CORXUtilityDlg {
public:
    IMenuHandler* activeMenuHandler() const override { return &m_handler; }

private:
    mutable FailingMenuHandler m_handler;
};

std::vector<std::string> catchLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("[CATCH]", 0) == 0)
            lines.push_back(line);
    return lines;
}

class MainDialog : public test::AppFixture {
protected:
    std::unique_ptr<CORXUtilityDlg> open()
    {
        auto dialog = std::make_unique<CORXUtilityDlg>();
        dialog->show();
        for (int i = 0; i < 4; ++i)
            QObject::connect(dialog->page(i), &CDevicePage::deviceEventReceived, dialog.get(),
                             [this, i](int event, int) { pageEvents[static_cast<std::size_t>(i)].push_back(event); });
        return dialog;
    }
    bool waitForReadAll()
    {
        return processUntil([this] {
            return std::find(pageEvents[3].begin(), pageEvents[3].end(), kEventReadAll) != pageEvents[3].end();
        });
    }
    std::vector<QString> tabLabels(const CORXUtilityDlg& d) const
    {
        std::vector<QString> labels;
        for (int i = 0; i < d.tabBar()->count(); ++i)
            labels.push_back(d.tabBar()->tabText(i));
        return labels;
    }

    std::array<std::vector<int>, 4> pageEvents;
};

TEST_F(MainDialog, FirstStartShowsTheTwoTabsOfModelOneAtTheTopLeft)
{
    amp->setSilent(true); // nothing connects: the window stays as it opened
    auto dialog = open();
    EXPECT_EQ(dialog->pos(), QPoint(0, 0));
    EXPECT_EQ(tabLabels(*dialog), (std::vector<QString>{" Effect Settings I ", " Speaker Simulation I "}));
    EXPECT_EQ(dialog->tabBar()->currentIndex(), 0);
    EXPECT_TRUE(dialog->page(0)->isVisible());
    EXPECT_FALSE(dialog->page(2)->isVisible());
    EXPECT_EQ(dialog->page(0)->size(), QSize(960, 640));
    EXPECT_EQ(dialog->page(0)->geometry().top(), dialog->tabBar()->geometry().bottom() + 1)
        << "the page area lies right below the tabs";
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ORX Tevo Utility"));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "not resizable";
}

TEST_F(MainDialog, AWholeConnectionReachesEveryPageInOrder)
{
    auto dialog = open();
    ASSERT_TRUE(waitForReadAll());
    EXPECT_EQ(dialog->modelCode(), 2);
    EXPECT_EQ(tabLabels(*dialog), (std::vector<QString>{" Effect Settings I ", " Effect Settings II ",
                                                        " Speaker Simulation I ", " Speaker Simulation II "}));
    EXPECT_EQ(dialog->tabBar()->currentIndex(), 0);
    for (std::size_t i = 0; i < 4; ++i) {
        std::vector<int> main;
        for (int e : pageEvents[i])
            if (e == kEventOpened || e == kEventConnected || e == kEventUpdater || e == kEventReadAll)
                main.push_back(e);
        EXPECT_EQ(main, (std::vector<int>{kEventOpened, kEventConnected, kEventUpdater, kEventReadAll}))
            << "page " << i;
        EXPECT_EQ(dialog->page(static_cast<int>(i))->modelCode(), 2);
    }
    EXPECT_EQ(dialog->page(1)->ampChannel(), 1);
    EXPECT_EQ(dialog->page(2)->ampChannel(), 0);
    EXPECT_TRUE(CORXManager::getInstance()->isLoopSettingsAvailable()) << "updater 110 on a model 2 amplifier";
}

// Would catch: the new model announced over ports that are about to close, so that what the window asks for
// in answer (the updater value) times out and a false "Timeout error." box appears.
TEST_F(MainDialog, AnAmplifierThatChangesModelGetsItsTabsAndNoErrorBox)
{
    auto dialog = open();
    ASSERT_TRUE(waitForReadAll());
    ASSERT_EQ(tabLabels(*dialog).size(), 4u);
    const auto readAlls = [this] { return std::count(pageEvents[0].begin(), pageEvents[0].end(), kEventReadAll); };
    const auto before = readAlls();

    amp->setModelCode('1');
    ASSERT_TRUE(processUntil([&] { return readAlls() > before; })) << "the new model's data were never read";
    EXPECT_EQ(tabLabels(*dialog), (std::vector<QString>{" Effect Settings I ", " Speaker Simulation I "}));
    EXPECT_EQ(dialog->modelCode(), 1);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
    EXPECT_EQ(std::count(pageEvents[0].begin(), pageEvents[0].end(), kEventError), 0);
}

TEST_F(MainDialog, ASecondHeartbeatOfTheSameModelAsksForTheUpdaterAgainWithoutRebuilding)
{
    auto dialog = open();
    ASSERT_TRUE(waitForReadAll());
    dialog->tabBar()->setCurrentIndex(2);
    amp->clearReceived();
    dialog->onDeviceEventMessage(kEventConnected, 2);
    EXPECT_EQ(dialog->tabBar()->currentIndex(), 2) << "a rebuild would select the first tab";
    const auto request = sysex::updaterRequest();
    ASSERT_TRUE(processUntil([&] {
        for (const auto& m : amp->received())
            if (m == sysex::Bytes(request.begin(), request.end()))
                return true;
        return false;
    }));
}

TEST_F(MainDialog, TheUpdaterValueDecidesWhetherLoopSettingsAreAvailable)
{
    amp->setSilent(true);
    auto dialog = open();
    struct Case {
        int model, updater;
        bool available;
    } cases[] = {{2, 110, true},  {2, 45, true},  {2, 42, true},   {2, 49, true}, {2, 50, false},
                 {2, 109, false}, {2, 41, false}, {1, 110, false}, {1, 45, false}};
    CORXManager* session = CORXManager::getInstance();
    for (const auto& c : cases) {
        dialog->onDeviceEventMessage(kEventConnected, c.model);
        session->clearRequests();
        dialog->onDeviceEventMessage(kEventUpdater, c.updater);
        EXPECT_EQ(session->isLoopSettingsAvailable(), c.available) << c.model << "/" << c.updater;
    }
}

TEST_F(MainDialog, ClosingStoresThePositionAndStopsTheWorker)
{
    auto dialog = open();
    dialog->move(-300, 42);
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(AppSettings::getInstance()->X, -300);
    EXPECT_EQ(AppSettings::getInstance()->Y, 42);
    EXPECT_NE(settingsText().find("X=-300"), std::string::npos) << "written at once";
    EXPECT_FALSE(CORXManager::getInstance()->isRequestThreadRunning());
}

TEST_F(MainDialog, ExitRunsTheClosingSteps)
{
    auto dialog = open();
    dialog->move(7, 8);
    dialog->commandAction(kCmdExit)->trigger();
    ASSERT_TRUE(processUntil([&] { return !dialog->isVisible(); }));
    EXPECT_EQ(AppSettings::getInstance()->X, 7);
    EXPECT_FALSE(CORXManager::getInstance()->isRequestThreadRunning());
}

TEST_F(MainDialog, CtrlQRunsTheClosingStepsLikeExit)
{
    auto dialog = open();
    dialog->activateWindow(); // the shortcuts belong to the active window
    ASSERT_TRUE(processUntil([&] { return dialog->isActiveWindow(); }));
    dialog->move(9, 10);
    QTest::keyClick(dialog.get(), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(processUntil([&] { return !dialog->isVisible(); }));
    EXPECT_EQ(AppSettings::getInstance()->X, 9);
    EXPECT_FALSE(CORXManager::getInstance()->isRequestThreadRunning());
}

TEST_F(MainDialog, EnterAndEscapeLeaveTheWindowOpen)
{
    auto dialog = open();
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(dialog.get(), static_cast<Qt::Key>(key));
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(CORXManager::getInstance()->isRequestThreadRunning());
}

TEST_F(MainDialog, MenuTextsAndCommands)
{
    amp->setSilent(true);
    auto dialog = open();
    QStringList menus;
    for (QAction* a : dialog->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"File(&F)", "Edit(&E)", "Help(&H)"}));
    struct Item {
        int command;
        const char* text;
    } items[] = {{kCmdExit, "Exit(&X)"},
                 {kCmdUndo, "Undo(&U)\tCtrl+Z"},
                 {kCmdCut, "Cut(&T)\tCtrl+X"},
                 {kCmdCopy, "Copy(&C)\tCtrl+C"},
                 {kCmdPaste, "Paste(&P)\tCtrl+V"},
                 {kCmdSelectAll, "Select All(&A)\tCtrl+A"},
                 {kCmdProperties, "Properties..."},
                 {kCmdMidiPorts, "MIDI Ports..."},
                 {kCmdIrInfo, "IR File Info...\tCtrl+I"},
                 {kCmdAbout, "About(&A)..."}};
    for (const auto& item : items) {
        QAction* action = dialog->commandAction(item.command);
        ASSERT_NE(action, nullptr) << item.command;
        EXPECT_EQ(action->text().toStdString(), item.text);
    }
    // Separators after Undo and before Properties.
    const auto edit = dialog->menuBar()->actions()[1]->menu()->actions();
    ASSERT_EQ(edit.size(), 10);
    EXPECT_TRUE(edit[1]->isSeparator());
    EXPECT_TRUE(edit[6]->isSeparator());
    EXPECT_EQ(edit[8]->data().toInt(), kCmdMidiPorts) << "right under Properties";
    EXPECT_EQ(edit[9]->data().toInt(), kCmdIrInfo);
}

TEST_F(MainDialog, WithAnEffectPageShownTheEditItemsAreDisabled)
{
    amp->setSilent(true);
    auto dialog = open();
    QMenu* edit = dialog->menuBar()->actions()[1]->menu();
    Q_EMIT edit->aboutToShow();
    for (int command : {kCmdUndo, kCmdCut, kCmdCopy, kCmdPaste, kCmdSelectAll})
        EXPECT_FALSE(dialog->commandAction(command)->isEnabled()) << command;
    EXPECT_TRUE(dialog->commandAction(kCmdProperties)->isEnabled()) << "items without a query keep their state";
    EXPECT_EQ(dialog->activeMenuHandler(), dynamic_cast<IMenuHandler*>(dialog->page(0)));
}

TEST_F(MainDialog, AboutShowsTheVersion)
{
    amp->setSilent(true);
    auto dialog = open();
    QString shown;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        shown = box->findChild<QLabel*>(QStringLiteral("versionText"))->text();
        box->close();
    });
    dialog->runCommand(kCmdAbout);
    EXPECT_EQ(shown, QStringLiteral("ORX Tevo Utility, Version 1.1.0.0"));
}

TEST_F(MainDialog, AnErrorEventShowsTheBoxThenReachesThePages)
{
    amp->setSilent(true);
    auto dialog = open();
    CORXManager::getInstance()->stopRequestThread(); // no other events in between
    QCoreApplication::processEvents();
    pageEvents = {};
    onBox = [this] { EXPECT_TRUE(pageEvents[0].empty()) << "pages hear of the error after the box closed"; };
    CORXUtilityDlg::postDeviceEvent(kEventError, 1004, dialog.get());
    ASSERT_TRUE(processUntil([&] { return !pageEvents[3].empty(); }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, dialog.get());
    EXPECT_EQ(boxes[0].text, QStringLiteral("Timeout error. (1004)"));
    EXPECT_EQ(pageEvents[0], std::vector<int>{kEventError});
}

TEST_F(MainDialog, TheBusyFlagShowsTheWaitCursor)
{
    amp->setSilent(true);
    auto dialog = open();
    dialog->setBusyFlag(1);
    EXPECT_EQ(dialog->cursor().shape(), Qt::WaitCursor);
    dialog->setBusyFlag(0);
    EXPECT_EQ(dialog->cursor().shape(), Qt::ArrowCursor);
}

// One shared text would send whoever reads a redirected log to the key handling, whatever had failed.
TEST_F(MainDialog, AnUnexpectedExceptionNamesTheEntryPointThatCaughtIt)
{
    amp->setSilent(true);
    DialogWithFailingEdit dialog;
    dialog.show();
    dialog.activateWindow(); // the shortcuts belong to the active window
    ASSERT_TRUE(processUntil([&] { return dialog.isActiveWindow(); }));
    CORXManager::getInstance()->stopRequestThread(); // no device events but the test's own
    QCoreApplication::processEvents();
    bool pageFailed = false;
    QObject::connect(dialog.page(0), &CDevicePage::deviceEventReceived, &dialog, [&](int event, int) {
        if (event != kEventDisconnected)
            return;
        pageFailed = true;
        throw std::runtime_error("page failed");
    });
    struct Case {
        const char* entry;
        std::function<void()> act;
        const char* line;
    } cases[] = {
        {"a device event",
         [&] {
             CORXUtilityDlg::postDeviceEvent(kEventDisconnected, 0, &dialog);
             EXPECT_TRUE(processUntil([&] { return pageFailed; }));
         },
         "[CATCH] Exception! -  CORXUtilityDlg::OnDeviceEvent()"},
        {"Edit, Copy from the menu", [&] { dialog.commandAction(kCmdCopy)->trigger(); },
         "[CATCH] Exception! -  CORXUtilityDlg::OnEditCopy()"},
        {"Edit, Select All from the menu", [&] { dialog.commandAction(kCmdSelectAll)->trigger(); },
         "[CATCH] Exception! -  CORXUtilityDlg::OnEditSelectAll()"},
        {"Ctrl+C", [&] { QTest::keyClick(&dialog, Qt::Key_C, Qt::ControlModifier); },
         "[CATCH] Exception! -  CORXUtilityDlg::PreTranslateMessage()"},
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStderr();
        c.act();
        EXPECT_EQ(catchLines(::testing::internal::GetCapturedStderr()), std::vector<std::string>{c.line}) << c.entry;
    }
    EXPECT_TRUE(boxes.empty()) << "only the program's own exceptions show a box";
    EXPECT_TRUE(dialog.isVisible());
}

} // namespace
} // namespace orx
