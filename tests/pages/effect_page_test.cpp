// The effect settings pages inside the main window, against the simulated amplifier through the real worker.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "CCustomButton.h"
#include "CDTADial.h"
#include "CEffcetSettingsTab.h"
#include "CORXUtilityDlg.h"

#include <QMouseEvent>
#include <QTabBar>
#include <QTest>

#include <cmath>
#include <memory>

namespace orx {
namespace {

using B = std::vector<std::uint8_t>;

class EffectPage : public test::AppFixture {
protected:
    void connect()
    {
        dialog = std::make_unique<CORXUtilityDlg>();
        dialog->show();
        auto* last = dialog->page(3);
        QObject::connect(last, &CDevicePage::deviceEventReceived, last, [this](int event, int) {
            readAll += event == kEventReadAll;
            updaters += event == kEventUpdater;
        });
        ASSERT_TRUE(processUntil([this] { return readAll > 0; }));
        amp->clearReceived();
    }
    CEffcetSettingsTab* page(int ampCh) { return static_cast<CEffcetSettingsTab*>(dialog->page(ampCh)); }
    void showPage(int ampCh)
    {
        dialog->tabBar()->setCurrentIndex(ampCh);
        QCoreApplication::processEvents();
    }
    // Effect writes the amplifier received: (parameter, value).
    std::vector<std::pair<int, int>> effectWrites()
    {
        std::vector<std::pair<int, int>> writes;
        for (const auto& m : amp->received())
            if (const auto p = sysex::parseParameter(m.data(), m.size()); p && p->group == 0x00)
                writes.emplace_back(p->parameter, p->data2);
        return writes;
    }
    bool waitForWrites(std::size_t count)
    {
        return processUntil([&] { return effectWrites().size() >= count; });
    }
    // Processes what is queued and gives the worker time to send it; nothing more may arrive after it.
    void settle()
    {
        CORXManager::getInstance()->addRequest(kRequestUpdater, 0, 0);
        const std::size_t before = updaters;
        ASSERT_TRUE(processUntil([&] { return updaters > before; }));
    }
    std::vector<int> switchStates(CEffcetSettingsTab* p, std::initializer_list<int> ids)
    {
        std::vector<int> states;
        for (int id : ids)
            states.push_back(p->button(id)->toggleState());
        return states;
    }

    std::unique_ptr<CORXUtilityDlg> dialog;
    int readAll = 0;
    std::size_t updaters = 0;
};

using T = CEffcetSettingsTab;

TEST_F(EffectPage, DisabledUntilConnectedThenShowsEachChannelsValues)
{
    amp->setEffectByte(9, 2);  // channel II: Amber
    amp->setEffectByte(10, 1); // parallel
    amp->setEffectByte(11, 3); // Hall
    amp->setEffectByte(12, 2); // noise gate 2
    amp->setEffectByte(1, 1);  // channel I: Green, serial, Spring, gate off
    amp->setSilent(true);
    dialog = std::make_unique<CORXUtilityDlg>();
    dialog->show();
    QCoreApplication::processEvents();
    for (int id : {T::kWhite, T::kGreen, T::kAmber, T::kSpring, T::kPlate, T::kRoom, T::kHall, T::kFXLoop})
        EXPECT_FALSE(page(0)->button(id)->isEnabled()) << id;
    EXPECT_FALSE(page(0)->noiseGateDial()->isEnabled());
    EXPECT_EQ(page(0)->boosterText(), QStringLiteral("White Drive")) << "the session's zeros before any read";

    amp->setSilent(false); // the next heartbeat request is answered: the connection completes
    auto* last = dialog->page(3);
    QObject::connect(last, &CDevicePage::deviceEventReceived, last,
                     [this](int event, int) { readAll += event == kEventReadAll; });
    ASSERT_TRUE(processUntil([this] { return readAll > 0; }));
    auto* two = page(1);
    EXPECT_TRUE(two->isConnected());
    EXPECT_TRUE(two->button(T::kHall)->isEnabled());
    EXPECT_EQ(switchStates(two, {T::kWhite, T::kGreen, T::kAmber}), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(switchStates(two, {T::kSpring, T::kPlate, T::kRoom, T::kHall}), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(two->button(T::kFXLoop)->toggleState(), 1);
    EXPECT_EQ(two->noiseGateDial()->value(), 2);
    EXPECT_EQ(two->boosterText(), QStringLiteral("Amber Drive"));
    EXPECT_EQ(two->reverbText(), QStringLiteral("Hall"));

    auto* one = page(0);
    EXPECT_EQ(switchStates(one, {T::kWhite, T::kGreen, T::kAmber}), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(one->button(T::kFXLoop)->toggleState(), 0);
    EXPECT_EQ(one->noiseGateDial()->value(), 0);
    EXPECT_EQ(one->reverbText(), QStringLiteral("Spring"));
}

TEST_F(EffectPage, TheAmpChannelLabelShowsOnlyWithModelTwo)
{
    connect();
    EXPECT_FALSE(page(0)->button(T::kAmpChLabel)->isHidden());
    EXPECT_EQ(page(0)->button(T::kAmpChLabel)->toggleState(), 0);
    EXPECT_EQ(page(1)->button(T::kAmpChLabel)->toggleState(), 1);
    EXPECT_FALSE(page(0)->button(T::kAmpChLabel)->isEnabled());
    page(0)->setPageChannel(1, 0);
    EXPECT_TRUE(page(0)->button(T::kAmpChLabel)->isHidden());
}

TEST_F(EffectPage, ASelectedBoosterSwitchCannotBeClickedOff)
{
    connect();
    showPage(1);
    auto* two = page(1);
    QTest::mouseClick(two->button(T::kGreen), Qt::LeftButton);
    EXPECT_EQ(switchStates(two, {T::kWhite, T::kGreen, T::kAmber}), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(two->boosterText(), QStringLiteral("Green Drive"));
    ASSERT_TRUE(waitForWrites(1));
    EXPECT_EQ(effectWrites(), (std::vector<std::pair<int, int>>{{0x01 + 8, 1}}));

    QTest::mouseClick(two->button(T::kGreen), Qt::LeftButton);
    settle();
    EXPECT_EQ(switchStates(two, {T::kWhite, T::kGreen, T::kAmber}), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(effectWrites().size(), 1u) << "clicking the switch that is on sends nothing";
}

TEST_F(EffectPage, DoubleClickingAnOffReverbSwitchSendsOneRequest)
{
    connect();
    auto* one = page(0);
    // A double click arrives as press, release, double click, release.
    CCustomButton* room = one->button(T::kRoom);
    const QPoint centre = room->rect().center();
    QTest::mousePress(room, Qt::LeftButton, {}, centre);
    QTest::mouseRelease(room, Qt::LeftButton, {}, centre);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, room->mapToGlobal(centre), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(room, &doubleClick);
    QTest::mouseRelease(room, Qt::LeftButton, {}, centre);
    settle();
    EXPECT_EQ(switchStates(one, {T::kSpring, T::kPlate, T::kRoom, T::kHall}), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(one->reverbText(), QStringLiteral("Room"));
    EXPECT_EQ(effectWrites(), (std::vector<std::pair<int, int>>{{0x03, 2}}));
}

TEST_F(EffectPage, TheFXLoopSwitchAlternates)
{
    connect();
    auto* one = page(0);
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(one->button(T::kFXLoop), Qt::LeftButton);
    ASSERT_TRUE(waitForWrites(3));
    EXPECT_EQ(effectWrites(), (std::vector<std::pair<int, int>>{{0x02, 1}, {0x02, 0}, {0x02, 1}}));
}

TEST_F(EffectPage, DraggingTheDialSendsOneWritePerMove)
{
    connect();
    auto* dial = page(0)->noiseGateDial();
    // Points on the dial's arc, clockwise from straight below its centre (112, 108).
    auto at = [](double degrees) {
        const double r = degrees * 3.14159265358979 / 180.0;
        return QPoint(static_cast<int>(std::lround(112 - 30 * std::sin(r))),
                      static_cast<int>(std::lround(108 + 30 * std::cos(r))));
    };
    QTest::mousePress(dial, Qt::LeftButton, {}, at(52));
    const double path[] = {60, 75, 75, 100, 120, 139, 139};
    for (double a : path)
        QTest::mouseMove(dial, at(a));
    QTest::mouseRelease(dial, Qt::LeftButton, {}, at(139));
    ASSERT_TRUE(waitForWrites(1 + std::size(path)));
    settle();
    const auto writes = effectWrites();
    ASSERT_EQ(writes.size(), 1 + std::size(path)) << "the press and every move report, repeated values too";
    for (const auto& [parameter, value] : writes)
        EXPECT_EQ(parameter, 0x04);
    EXPECT_EQ(writes.front().second, 0);
    EXPECT_EQ(writes.back().second, 3);
    EXPECT_EQ(writes[2].second, writes[3].second) << "a move to the same place still reports";
    EXPECT_EQ(dial->value(), 3);
}

TEST_F(EffectPage, ValuesOutOfRangeLeaveTheDisplayAndTheGateShowsItsTop)
{
    amp->setEffectByte(1, 1); // Green
    amp->setEffectByte(3, 2); // Room
    connect();
    amp->setEffectByte(1, 3); // no such booster
    amp->setEffectByte(3, 4); // no such reverb
    amp->setEffectByte(4, 7); // beyond gate 3
    CORXManager::getInstance()->addRequest(kRequestReadAll, 0, 0);
    ASSERT_TRUE(processUntil([this] { return readAll > 1; }));
    auto* one = page(0);
    EXPECT_EQ(switchStates(one, {T::kWhite, T::kGreen, T::kAmber}), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(switchStates(one, {T::kSpring, T::kPlate, T::kRoom, T::kHall}), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(one->boosterText(), QStringLiteral("Green Drive"));
    EXPECT_EQ(one->reverbText(), QStringLiteral("Room"));
    EXPECT_EQ(one->noiseGateDial()->value(), 3);
}

TEST_F(EffectPage, ADisconnectionDisablesTheControlsAndKeepsTheValues)
{
    amp->setEffectByte(2, 1); // parallel
    connect();
    dialog->onDeviceEventMessage(kEventDisconnected, 0);
    auto* one = page(0);
    EXPECT_FALSE(one->isConnected());
    for (int id : {T::kWhite, T::kGreen, T::kAmber, T::kSpring, T::kPlate, T::kRoom, T::kHall, T::kFXLoop})
        EXPECT_FALSE(one->button(id)->isEnabled()) << id;
    EXPECT_FALSE(one->noiseGateDial()->isEnabled());
    EXPECT_EQ(one->button(T::kFXLoop)->toggleState(), 1);
    QTest::mouseClick(one->button(T::kGreen), Qt::LeftButton);
    settle();
    EXPECT_TRUE(effectWrites().empty()) << "a disabled switch sends nothing";
}

} // namespace
} // namespace orx
