// Image holders, image buttons (looks, toggling, clicks, keys) and the auto-repeat button on a fake clock.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CCustomButton.h"
#include "CImageEx.h"
#include "CRapidbutton.h"
#include "ControlsTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEnterEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int kW = 8;
constexpr int kH = 6;
const QColor kSentinel(1, 2, 3);

// One colour per face frame, in the order of CCustomButton::Look.
const std::vector<QColor> kFrameColours = {
    QColor(200, 0, 0),   QColor(0, 200, 0),   QColor(0, 0, 200),
    QColor(200, 200, 0), QColor(0, 200, 200), QColor(200, 0, 200),
};

void giveSixLooks(CCustomButton& button)
{
    button.resize(kW, kH);
    button.setFrameSize(QSize(kW, kH));
    ASSERT_TRUE(button.faceImage().loadFromImage(frameStrip(kW, kH, kFrameColours)));
    for (int look = 0; look < CCustomButton::LookCount; ++look)
        button.setFaceOffset(static_cast<CCustomButton::Look>(look), QPoint(0, look * kH));
}

void enter(QWidget& widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&widget, &event);
}

void leave(QWidget& widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &event);
}

QImage render(const CCustomButton& button, CCustomButton::ItemState state, bool buffered)
{
    QImage target(kW, kH, QImage::Format_ARGB32_Premultiplied);
    target.fill(kSentinel);
    QPainter painter(&target);
    button.drawButton(painter, state, buffered);
    return target;
}

} // namespace

TEST(ImageResource, LoadsByResourceNumberAndEmptiesOnFailure)
{
    CImageExResource image;
    ASSERT_TRUE(image.load(9001));
    ASSERT_NE(image.image(), nullptr);
    EXPECT_EQ(image.image()->size(), QSize(3, 2));
    EXPECT_EQ(image.image()->pixel(0, 1), qRgba(200, 10, 30, 255));

    // A broken picture must not leave the previous one in place: the holder is empty and draws nothing.
    EXPECT_FALSE(image.load(9002));
    EXPECT_EQ(image.image(), nullptr);

    ASSERT_TRUE(image.load(9001));
    EXPECT_FALSE(image.load(123456));
    EXPECT_TRUE(image.isEmpty());

    EXPECT_FALSE(image.loadFromData(QByteArray()));
    EXPECT_FALSE(image.loadFromImage(QImage()));
    EXPECT_TRUE(image.isEmpty());
}

struct LookCase {
    int toggle;
    bool hover;
    bool pressed;
    int frame;
};

void PrintTo(const LookCase& c, std::ostream* os)
{
    *os << "toggle " << c.toggle << (c.hover ? ", hover" : "") << (c.pressed ? ", pressed" : "");
}

class ButtonLook : public ::testing::TestWithParam<LookCase> {};

TEST_P(ButtonLook, DrawsTheFrameAtTheChosenOffset)
{
    const LookCase c = GetParam();
    CCustomButton button;
    giveSixLooks(button);
    button.setToggleState(c.toggle);
    if (c.hover)
        enter(button);
    const CCustomButton::ItemState state = c.pressed ? CCustomButton::ItemPressed : CCustomButton::ItemState();
    for (bool buffered : {false, true}) {
        SCOPED_TRACE(buffered ? "buffered" : "direct");
        EXPECT_TRUE(areaIs(render(button, state, buffered), QRect(0, 0, kW, kH), kFrameColours.at(c.frame)));
    }
}

INSTANTIATE_TEST_SUITE_P(AllCombinations, ButtonLook,
                         ::testing::Values(LookCase{0, false, false, CCustomButton::NormalOff},
                                           LookCase{1, false, false, CCustomButton::NormalOn},
                                           LookCase{0, false, true, CCustomButton::PressedOff},
                                           LookCase{1, false, true, CCustomButton::PressedOn},
                                           LookCase{1, true, false, CCustomButton::HoverOn},
                                           LookCase{0, true, false, CCustomButton::HoverOff},
                                           LookCase{0, true, true, CCustomButton::PressedOff},
                                           LookCase{1, true, true, CCustomButton::PressedOn}),
                         [](const ::testing::TestParamInfo<LookCase>& info) {
                             const LookCase& c = info.param;
                             return std::string(c.toggle == 1 ? "On" : "Off") + (c.hover ? "Hover" : "") +
                                    (c.pressed ? "Pressed" : "");
                         });

TEST(ButtonLookFallback, HoverNeedsBothHoverFrames)
{
    struct Case {
        QPoint hoverOn;
        QPoint hoverOff;
    };
    // Both missing, or only one given (as on the channel label, whose "off, mouse over" frame is the top one).
    for (const Case& c : {Case{{0, 0}, {0, 0}}, Case{{0, 4 * kH}, {0, 0}}, Case{{0, 0}, {0, 5 * kH}}}) {
        for (int toggle : {0, 1}) {
            CCustomButton button;
            giveSixLooks(button);
            button.setFaceOffset(CCustomButton::HoverOn, c.hoverOn);
            button.setFaceOffset(CCustomButton::HoverOff, c.hoverOff);
            button.setToggleState(toggle);
            enter(button);
            ASSERT_TRUE(button.hoverFlag());
            EXPECT_TRUE(areaIs(render(button, {}, false), QRect(0, 0, kW, kH), kFrameColours.at(toggle)))
                << "toggle " << toggle << " hover on " << c.hoverOn.y() << " hover off " << c.hoverOff.y();
        }
    }
}

TEST(ButtonLookFallback, ToggleStateOutsideZeroAndOneDrawsNoFace)
{
    CCustomButton button;
    giveSixLooks(button);
    button.setToggleState(2);
    EXPECT_TRUE(areaIs(render(button, {}, false), QRect(0, 0, kW, kH), kSentinel));
}

TEST(ButtonLookFallback, ButtonWithoutFaceDrawsNothing)
{
    CCustomButton button;
    button.resize(kW, kH);
    EXPECT_FALSE(button.faceImage().load(123456));
    EXPECT_TRUE(areaIs(render(button, {}, false), QRect(0, 0, kW, kH), kSentinel));
}

TEST(ButtonBackground, PagePartShowsThroughTransparentFacePixels)
{
    CCustomButton button;
    button.resize(kW, kH);
    button.setFrameSize(QSize(kW, kH));
    // The page picture is grey except the button's part at (5, 7), which is cyan.
    QImage page = solidImage(30, 30, Qt::gray);
    QPainter(&page).fillRect(QRect(5, 7, kW, kH), Qt::cyan);
    ASSERT_TRUE(button.backgroundImage().loadFromImage(page));
    button.setBackgroundRect(QRect(5, 7, kW, kH));
    QImage face = solidImage(kW, kH, Qt::red);
    {
        QPainter painter(&face);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRect(0, 0, kW / 2, kH), Qt::transparent);
    }
    ASSERT_TRUE(button.faceImage().loadFromImage(face));

    for (bool buffered : {false, true}) {
        const QImage drawn = render(button, {}, buffered);
        EXPECT_TRUE(areaIs(drawn, QRect(0, 0, kW / 2, kH), Qt::cyan)) << buffered;
        EXPECT_TRUE(areaIs(drawn, QRect(kW / 2, 0, kW / 2, kH), Qt::red)) << buffered;
    }
}

TEST(ButtonWidget, PaintsItsPressedLookWhileHeld)
{
    CCustomButton button;
    giveSixLooks(button);
    button.show();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(areaIs(button.grab().toImage(), QRect(0, 0, kW, kH), kFrameColours[CCustomButton::PressedOff]));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(areaIs(button.grab().toImage(), QRect(0, 0, kW, kH), kFrameColours[CCustomButton::NormalOn]));
}

TEST(ButtonWidget, HoverFollowsThePointerOnlyWhileEnabled)
{
    CCustomButton button;
    enter(button);
    EXPECT_TRUE(button.hoverFlag());
    leave(button);
    EXPECT_FALSE(button.hoverFlag());

    button.setEnabled(false);
    enter(button);
    EXPECT_FALSE(button.hoverFlag());
}

class ButtonClicks : public ::testing::Test {
protected:
    void SetUp() override
    {
        button.resize(kW, kH);
        button.show();
        QObject::connect(&button, &QAbstractButton::clicked, [this] { statesAtClick.push_back(button.toggleState()); });
    }
    CCustomButton button;
    std::vector<int> statesAtClick;
};

TEST_F(ButtonClicks, ToggleFlipsBeforeTheClickIsReported)
{
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(statesAtClick, (std::vector<int>{1, 0}));
}

TEST_F(ButtonClicks, ReleaseOutsideKeepsTheStateAndReportsNoClick)
{
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(kW + 5, 3));
    EXPECT_EQ(button.toggleState(), 0);
    EXPECT_TRUE(statesAtClick.empty());
}

TEST_F(ButtonClicks, ReleaseWithoutAPressOnTheButtonChangesNothing)
{
    // As when a press closed a popup elsewhere and only its release lands on the button.
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(button.toggleState(), 0);
    EXPECT_TRUE(statesAtClick.empty());
}

TEST_F(ButtonClicks, DoubleClickFlipsTwice)
{
    // The platform's order: press, release, double click (a second press), release.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseDClick(&button, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(statesAtClick, (std::vector<int>{1, 0}));
    EXPECT_EQ(button.toggleState(), 0);
}

TEST_F(ButtonClicks, PlainButtonClicksWithoutChangingState)
{
    button.setToggleFlag(false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(statesAtClick, (std::vector<int>{0}));
}

TEST_F(ButtonClicks, SpaceNeverOperatesAToggleButton)
{
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_TRUE(statesAtClick.empty());
    EXPECT_EQ(button.toggleState(), 0);

    // The same key still clicks a plain button, so the test above is about the toggle flag.
    button.setToggleFlag(false);
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(statesAtClick.size(), 1U);
}

namespace {

constexpr int kRepeatMessage = 0x8067;

struct RepeatCounter : QObject {
    int received = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == static_cast<QEvent::Type>(kRepeatMessage)) {
            ++received;
            return true;
        }
        return QObject::event(e);
    }
};

class RepeatButton : public ::testing::Test {
protected:
    void SetUp() override
    {
        button.resize(15, 15);
        button.move(100, 200);
        button.show();
        button.setClock([this] { return now; });
        button.setPointerSource([this] { return pointer; });
        button.setRepeatTarget(&counter, kRepeatMessage);
        pointer = button.mapToGlobal(QPoint(7, 7));
    }

    // Advances the fake clock one timer interval at a time and delivers each tick.
    void hold(std::uint32_t ms)
    {
        for (std::uint32_t t = 0; t < ms; t += CRapidbutton::kRepeatIntervalMs) {
            now += CRapidbutton::kRepeatIntervalMs;
            button.repeatTick();
        }
        QCoreApplication::sendPostedEvents(&counter);
    }

    std::uint32_t now = 10'000;
    QPoint pointer;
    RepeatCounter counter;
    CRapidbutton button;
};

} // namespace

TEST_F(RepeatButton, HeldOneSecondOverItselfPostsTenTimes)
{
    button.startRepeat();
    EXPECT_EQ(button.repeatTimer(), CRapidbutton::kRepeatTimerId);
    hold(500);
    EXPECT_EQ(counter.received, 0) << "nothing during the first 500 ms";
    hold(500);
    // Ticks at 550, 600, ... 1000 ms are later than the delay.
    EXPECT_EQ(counter.received, 10);
}

TEST_F(RepeatButton, PausesWhileThePointerIsOutsideAndResumes)
{
    button.startRepeat();
    hold(600);
    const int before = counter.received;
    pointer = button.mapToGlobal(QPoint(15, 7));
    hold(300);
    EXPECT_EQ(counter.received, before);
    pointer = button.mapToGlobal(QPoint(14, 14));
    hold(100);
    EXPECT_EQ(counter.received, before + 2);
}

TEST_F(RepeatButton, StopEndsTheRepeatAndStartAgainRearmsTheDelay)
{
    button.startRepeat();
    hold(700);
    button.stopRepeat();
    EXPECT_EQ(button.repeatTimer(), 0);
    const int before = counter.received;
    hold(200);
    EXPECT_EQ(counter.received, before);

    button.startRepeat();
    hold(500);
    EXPECT_EQ(counter.received, before);
}

TEST_F(RepeatButton, StartWhileRunningKeepsThePressTime)
{
    button.startRepeat();
    hold(400);
    button.startRepeat();
    hold(300);
    // Ticks at 550 to 700 ms after the first start; a restarted delay would still be silent.
    EXPECT_EQ(counter.received, 4);
}

TEST_F(RepeatButton, RunningTimerDeliversTheTicks)
{
    button.startRepeat();
    now += 10'000;
    // Only the wiring is checked here; the deadline is a guard against a timer that never fires.
    QDeadlineTimer guard(5000);
    while (counter.received == 0 && !guard.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GT(counter.received, 0);
    button.stopRepeat();
}

TEST_F(RepeatButton, SurvivesItsTargetGoingAway)
{
    auto* target = new RepeatCounter;
    button.setRepeatTarget(target, kRepeatMessage);
    delete target;
    button.startRepeat();
    hold(1000);
    EXPECT_EQ(counter.received, 0);
}
