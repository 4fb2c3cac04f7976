// The dial: pointing on its arc, the end stop, relative steps with acceleration, wheel, keys and film-strip frames.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDTADial.h"
#include "ControlsTestSupport.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

constexpr int kGainDialId = 1319;

// The speaker page's gain dial: 0 to 40, default angles, centre of a 135 x 112 client area, i.e. (67, 56).
class GainDial : public ::testing::Test {
protected:
    void SetUp() override
    {
        dial.resize(135, 112);
        dial.setRange(0, 40);
        dial.setControlId(kGainDialId);
        dial.setListener(&listener);
        dial.setPointingMode(CDTADial::Absolute);
        dial.setNoAcceleration(true);
        dial.show();
    }
    void TearDown() override
    {
        // QTest remembers held buttons across tests; never leave one down.
        QTest::mouseRelease(&dial, Qt::LeftButton, {}, QPoint(1, 1));
    }
    RecordingListener listener;
    CDTADial dial;
};

void wheel(QWidget& widget, int delta)
{
    QWheelEvent event(QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&widget, &event);
}

// Points around the centre (67, 56) and the angle they make, clockwise from straight below.
const QPoint kAbove(67, 10);             // 180
const QPoint kLowerLeftAt30(47, 91);     // 30: the start angle
const QPoint kNearlyBelowLeft(66, 100);  // 2
const QPoint kLowerRightAt330(87, 91);   // 330: the end angle
const QPoint kNearlyBelowRight(68, 100); // 358
const QPoint kLeft(17, 56);              // 90
const QPoint kRight(117, 56);            // 270

} // namespace

TEST_F(GainDial, PressSetsTheValueUnderThePointerAndReportsIt)
{
    struct Case {
        QPoint at;
        int value;
    };
    for (const Case& c : {Case{kAbove, 20}, Case{kLowerLeftAt30, 0}, Case{kNearlyBelowLeft, 0},
                          Case{kLowerRightAt330, 40}, Case{kNearlyBelowRight, 40}, Case{kLeft, 8}, Case{kRight, 32}}) {
        listener.reports.clear();
        dial.setValue(13);
        QTest::mouseClick(&dial, Qt::LeftButton, {}, c.at);
        EXPECT_EQ(dial.value(), c.value) << c.at.x() << "," << c.at.y();
        EXPECT_EQ(listener.reports, (std::vector<std::pair<int, int>>{{kGainDialId, c.value}}));
    }
}

TEST_F(GainDial, EndStopHoldsAnEndWhileDraggingAcrossTheGap)
{
    struct Case {
        bool endStop;
        QPoint press;
        QPoint dragTo;
        int value;
    };
    const Case cases[] = {
        {true, kLowerRightAt330, kLowerLeftAt30, 40}, // from the maximum into the left half: stays
        {true, kLowerLeftAt30, kLowerRightAt330, 0},  // from the minimum into the right half: stays
        {false, kLowerRightAt330, kLowerLeftAt30, 0}, // no end stop: jumps
        {true, kLowerRightAt330, kRight, 32},         // within the same half: follows
    };
    for (const Case& c : cases) {
        dial.setEndStop(c.endStop);
        QTest::mousePress(&dial, Qt::LeftButton, {}, c.press);
        listener.reports.clear();
        QTest::mouseMove(&dial, c.dragTo);
        EXPECT_EQ(dial.value(), c.value) << c.endStop << " " << c.dragTo.x();
        // Every move reports, whether or not the value moved.
        EXPECT_EQ(listener.lastValue(), c.value);
        QTest::mouseRelease(&dial, Qt::LeftButton, {}, c.dragTo);
    }
}

TEST_F(GainDial, PressIsNotHeldBackByTheEndStop)
{
    dial.setValue(40);
    QTest::mousePress(&dial, Qt::LeftButton, {}, kLowerLeftAt30);
    EXPECT_EQ(dial.value(), 0);
}

TEST_F(GainDial, MovesAfterReleaseDoNothing)
{
    QTest::mouseClick(&dial, Qt::LeftButton, {}, kAbove);
    listener.reports.clear();
    QMouseEvent move(QEvent::MouseMove, QPointF(kRight), dial.mapToGlobal(QPointF(kRight)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&dial, &move);
    EXPECT_EQ(dial.value(), 20);
    EXPECT_TRUE(listener.reports.empty());
}

TEST_F(GainDial, WheelAtTheMaximumStillReports)
{
    dial.setValue(40);
    wheel(dial, 120);
    EXPECT_EQ(dial.value(), 40);
    EXPECT_EQ(listener.reports, (std::vector<std::pair<int, int>>{{kGainDialId, 40}}));
    wheel(dial, -120);
    EXPECT_EQ(listener.lastValue(), 39);
}

namespace {

// A dial left at its construction defaults: 0 to 255, relative pointing, with acceleration.
class RelativeDial : public ::testing::Test {
protected:
    void SetUp() override
    {
        page.resize(300, 300);
        dial.setParent(&page);
        dial.setGeometry(10, 10, 100, 100);
        dial.setListener(&listener);
        page.show();
        dial.setValue(100);
    }
    void TearDown() override { QTest::mouseRelease(&dial, Qt::LeftButton, {}, QPoint(1, 1)); }

    struct Page : QWidget {
        std::vector<int> keys;
        void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
    };

    RecordingListener listener;
    Page page;
    CDTADial dial;
};

} // namespace

TEST_F(RelativeDial, StartsWithItsDocumentedRangeAndMode)
{
    CDTADial fresh;
    EXPECT_EQ(fresh.minimum(), 0);
    EXPECT_EQ(fresh.maximum(), 255);
    EXPECT_EQ(fresh.pointingMode(), CDTADial::Relative);
}

TEST_F(RelativeDial, WheelStepsThreeAndShiftStepsOne)
{
    wheel(dial, 120);
    EXPECT_EQ(dial.value(), 103);
    wheel(dial, -120);
    EXPECT_EQ(dial.value(), 100);

    QTest::keyPress(&dial, Qt::Key_Shift);
    EXPECT_TRUE(dial.fineFlag());
    wheel(dial, 120);
    EXPECT_EQ(dial.value(), 101);
    QTest::keyRelease(&dial, Qt::Key_Shift);
    wheel(dial, 120);
    EXPECT_EQ(dial.value(), 104);
}

TEST_F(RelativeDial, DragStepsFivePerMoveAndHorizontalCountsAsDown)
{
    QTest::mousePress(&dial, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(dial.value(), 100) << "a press in relative mode sets nothing";
    EXPECT_TRUE(listener.reports.empty());
    QTest::mouseMove(&dial, QPoint(50, 40));
    EXPECT_EQ(dial.value(), 105);
    QTest::mouseMove(&dial, QPoint(50, 38));
    EXPECT_EQ(dial.value(), 110);
    QTest::mouseMove(&dial, QPoint(70, 38));
    EXPECT_EQ(dial.value(), 105);
    QTest::mouseMove(&dial, QPoint(70, 60));
    EXPECT_EQ(dial.value(), 100);
    EXPECT_EQ(listener.reports.size(), 4U);

    QTest::keyPress(&dial, Qt::Key_Shift);
    QTest::mouseMove(&dial, QPoint(70, 50));
    EXPECT_EQ(dial.value(), 101);
    QTest::keyRelease(&dial, Qt::Key_Shift);
}

TEST_F(RelativeDial, ConsumesUpAndDownAndPassesOtherKeysToThePage)
{
    QTest::keyClick(&dial, Qt::Key_Up);
    EXPECT_EQ(dial.value(), 103);
    QTest::keyClick(&dial, Qt::Key_Down);
    QTest::keyClick(&dial, Qt::Key_Down);
    EXPECT_EQ(dial.value(), 97);
    EXPECT_EQ(listener.reports.size(), 3U);
    QTest::keyClick(&dial, Qt::Key_Left);
    QTest::keyClick(&dial, Qt::Key_Shift);
    EXPECT_EQ(page.keys, (std::vector<int>{Qt::Key_Left, Qt::Key_Shift}));
    EXPECT_EQ(dial.value(), 97);
}

TEST(DialSteps, AccelerationFollowsTheRange)
{
    struct Case {
        int minimum;
        int maximum;
        bool dragging;
        bool noAcceleration;
        int step;
    };
    const Case cases[] = {
        {0, 255, true, false, 5}, {0, 255, false, false, 3}, {10, 265, false, false, 3}, {0, 150, false, false, 2},
        {0, 101, true, false, 2}, {0, 101, false, false, 1}, {0, 100, true, false, 2},   {0, 75, true, false, 2},
        {0, 60, true, false, 1},  {0, 49, true, false, 1},   {0, 100, false, false, 1},  {0, 40, false, false, 1},
        {0, 255, true, true, 1},
    };
    for (const Case& c : cases) {
        CDTADial dial;
        dial.setRange(c.minimum, c.maximum);
        dial.setNoAcceleration(c.noAcceleration);
        const int start = (c.minimum + c.maximum) / 2;
        dial.setValue(start);
        dial.stepValue(false, c.dragging);
        EXPECT_EQ(dial.value() - start, c.step) << c.minimum << ".." << c.maximum << " dragging " << c.dragging;
        dial.stepValue(true, c.dragging);
        EXPECT_EQ(dial.value(), start);
    }
}

TEST(DialSteps, StepsStopAtTheEnds)
{
    CDTADial dial;
    dial.setValue(254);
    dial.stepValue(false, true);
    EXPECT_EQ(dial.value(), 255);
    dial.setValue(2);
    dial.stepValue(true, true);
    EXPECT_EQ(dial.value(), 0);
}

TEST(DialFrames, SourceTopFollowsTheValue)
{
    struct Case {
        int minimum;
        int maximum;
        int frames;
        int frameHeight;
        int value;
        int sourceTop;
    };
    const Case cases[] = {
        {0, 3, 4, 141, 0, 0},     {0, 3, 4, 141, 1, 141},      {0, 3, 4, 141, 2, 282},  {0, 3, 4, 141, 3, 423},
        {0, 40, 41, 113, 7, 791}, {0, 255, 51, 54, 128, 1350}, {0, 255, 51, 54, 3, 54}, {5, 5, 51, 54, 5, 0},
    };
    for (const Case& c : cases) {
        CDTADial dial;
        dial.setRange(c.minimum, c.maximum);
        dial.setFrameCount(c.frames);
        dial.setFrameSize(155, c.frameHeight);
        dial.setValue(c.value);
        EXPECT_EQ(dial.frameSourceTop(), c.sourceTop) << c.maximum << " value " << c.value;
    }
}

TEST(DialFrames, DrawCopiesTheFramePixelForPixelAtThePlacement)
{
    // The noise gate dial: four frames of 141 rows, placement 154 x 140.
    CDTADial dial;
    dial.setRange(0, 3);
    dial.setFrameCount(4);
    dial.setFrameSize(155, 141);
    dial.setPlacement(QRect(10, 20, 154, 140));
    ASSERT_TRUE(dial.image().loadFromImage(rowCodedStrip(155, 564)));
    dial.show();
    for (int value = 0; value <= 3; ++value) {
        dial.setValue(value);
        QImage page(200, 200, QImage::Format_ARGB32_Premultiplied);
        page.fill(Qt::white);
        QPainter painter(&page);
        dial.draw(painter);
        painter.end();
        EXPECT_EQ(rowOf(page.pixel(10, 20)), 141 * value);
        EXPECT_EQ(rowOf(page.pixel(163, 159)), 141 * value + 139) << "no scaling";
        EXPECT_EQ(page.pixel(9, 20), qRgb(255, 255, 255));
        EXPECT_EQ(page.pixel(164, 20), qRgb(255, 255, 255));
        EXPECT_EQ(page.pixel(10, 160), qRgb(255, 255, 255));
    }
}

TEST(DialFrames, HiddenDialDrawsNothing)
{
    CDTADial dial;
    dial.setPlacement(QRect(0, 0, 10, 10));
    ASSERT_TRUE(dial.image().loadFromImage(solidImage(10, 540, Qt::red)));
    QImage page = solidImage(20, 20, Qt::white);
    QPainter painter(&page);
    dial.draw(painter);
    painter.end();
    EXPECT_TRUE(areaIs(page, page.rect(), Qt::white));
}

TEST(DialFrames, FocusedDialDrawsWithItsFocusedOpacity)
{
    CDTADial dial;
    dial.resize(10, 10);
    dial.setPlacement(QRect(0, 0, 10, 10));
    dial.setFocusedOpacity(0.5F);
    ASSERT_TRUE(dial.image().loadFromImage(solidImage(10, 540, Qt::red)));
    dial.show();
    QApplication::setActiveWindow(&dial);
    dial.setFocus();
    ASSERT_TRUE(dial.hasFocus());

    auto drawnAlpha = [&] {
        QImage page(10, 10, QImage::Format_ARGB32_Premultiplied);
        page.fill(Qt::transparent);
        QPainter painter(&page);
        dial.draw(painter);
        painter.end();
        return qAlpha(page.pixel(5, 5));
    };
    EXPECT_NEAR(drawnAlpha(), 128, 1);
    dial.clearFocus();
    EXPECT_EQ(drawnAlpha(), 255);
}
