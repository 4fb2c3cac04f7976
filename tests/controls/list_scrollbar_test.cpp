// The drawn list box (entries, colours, cut entries, wheel) and the scroll bar (thumb, drawing, presses, drags).
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDTAListBox.h"
#include "CDTAScrollBar.h"
#include "ControlsTestSupport.h"

#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

const QColor kNearBlack(5, 5, 5);

void wheel(QWidget& widget, int delta)
{
    QWheelEvent event(QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&widget, &event);
}

// Text without antialiasing, so every text pixel is exactly the pen colour.
QFont crispFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

class ListBox : public ::testing::Test {
protected:
    void fill(int width, int height, int entries, const QString& text = QStringLiteral("WAVE file"))
    {
        list.resize(width, height);
        list.setFont(crispFont());
        for (int i = 0; i < entries; ++i)
            list.addItem(text);
        list.show();
        list.doItemsLayout();
    }
    QImage shot() { return list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Colours other than the background found in rows [top, top + rows).
    static std::set<QRgb> textColours(const QImage& image, int top, int rows)
    {
        std::set<QRgb> colours;
        for (int y = top; y < std::min(top + rows, image.height()); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != kNearBlack.rgb())
                    colours.insert(image.pixel(x, y));
        return colours;
    }

    CDTAListBox list;
};

} // namespace

TEST_F(ListBox, EmptyListIsFilledNearBlack)
{
    fill(120, 60, 0);
    EXPECT_TRUE(areaIs(shot(), QRect(0, 0, 120, 60), kNearBlack));
}

TEST_F(ListBox, EntryReachingTheBottomEdgeShowsOnlyItsBackground)
{
    struct Case {
        int height;
        int lastWithText;
    };
    // 192: entries 0 to 9 end at 190 at most, inside; 190: the tenth ends exactly on the edge.
    for (const Case& c : {Case{192, 9}, Case{190, 8}}) {
        list.clear();
        fill(200, c.height, 12);
        const QImage image = shot();
        for (int entry = 0; entry * CDTAListBox::kEntryHeight < c.height; ++entry) {
            const bool text = !textColours(image, entry * CDTAListBox::kEntryHeight, CDTAListBox::kEntryHeight).empty();
            EXPECT_EQ(text, entry <= c.lastWithText) << "height " << c.height << " entry " << entry;
        }
    }
}

TEST_F(ListBox, TextColourShowsSelectionEnablingAndDimming)
{
    struct Case {
        bool enabled;
        bool selected;
        bool dimmed;
    };
    const QColor white(Qt::white), orange(255, 174, 0), darkOrange(127, 87, 0);
    const QColor grey(118, 118, 118), darkGrey(66, 66, 66);
    for (const Case& c : {Case{true, true, false}, Case{true, false, false}, Case{false, true, false},
                          Case{false, false, false}, Case{true, false, true}, Case{false, false, true},
                          Case{true, true, true}, Case{false, true, true}}) {
        list.clear();
        fill(200, 100, 3);
        list.setEntryDimmed(0, c.dimmed);
        list.setCurrentRow(c.selected ? 0 : 2);
        list.setEnabled(c.enabled);
        // A dimmed entry that is selected shows the mark, not the dimming.
        const QColor expected =
            c.selected ? (c.enabled ? orange : darkOrange)
            : c.dimmed ? (c.enabled ? grey : darkGrey)
                       : (c.enabled ? white : list.palette().color(QPalette::Disabled, QPalette::Text));
        EXPECT_EQ(textColours(shot(), 0, CDTAListBox::kEntryHeight), std::set<QRgb>{expected.rgb()})
            << "enabled " << c.enabled << " selected " << c.selected << " dimmed " << c.dimmed;
        EXPECT_EQ(list.isEntryDimmed(0), c.dimmed);
    }
    EXPECT_NE(list.palette().color(QPalette::Disabled, QPalette::Text), darkGrey)
        << "a dimmed entry stays apart from the others in a disabled list too";
    EXPECT_FALSE(list.isEntryDimmed(7)) << "no such entry";
}

TEST_F(ListBox, TextKeepsTwoPixelsFromEitherSide)
{
    fill(100, 60, 1, QString(40, QLatin1Char('W')));
    const QImage image = shot();
    int left = image.width();
    int right = -1;
    for (int y = 0; y < CDTAListBox::kEntryHeight; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kNearBlack.rgb()) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_GE(left, CDTAListBox::kSideMargin);
    EXPECT_LT(right, 100 - CDTAListBox::kSideMargin);
    EXPECT_GT(right, 90) << "a long text runs up to the margin";
}

TEST_F(ListBox, TopEntryIsReadableSettableAndMovesOnePerWheelNotch)
{
    fill(200, 192, 30);
    list.setTopIndex(5);
    EXPECT_EQ(list.topIndex(), 5);
    EXPECT_EQ(list.indexAt(QPoint(5, 3)).row(), 5);

    list.setTopIndex(0);
    wheel(*list.viewport(), 120);
    EXPECT_EQ(list.topIndex(), 0);
    wheel(*list.viewport(), -120);
    wheel(*list.viewport(), -120);
    EXPECT_EQ(list.topIndex(), 2);
    wheel(*list.viewport(), 120);
    EXPECT_EQ(list.topIndex(), 1);
}

namespace {

constexpr int kBarId = 1332;
const QColor kTopCap(255, 0, 0);
const QColor kMiddle(0, 255, 0);
const QColor kBottomCap(0, 0, 255);

// The speaker page's bar: 7 x 170, thumb 7 wide and 50 long, offset 1, 30 entries.
class ScrollBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.resize(7, 170);
        bar.setPlacement(QRect(20, 30, 7, 170));
        bar.setOrientation(CDTAScrollBar::Vertical);
        bar.setThumbWidth(7);
        bar.setThumbLength(50);
        bar.setThumbOffset(1);
        bar.setRange(0, 30);
        bar.setControlId(kBarId);
        bar.setListener(&listener);
        bar.setBackgroundColor(kNearBlack);
        // One-pixel images: drawing must stretch them to the thumb width.
        ASSERT_TRUE(bar.topCapImage().loadFromImage(solidImage(1, 1, kTopCap)));
        ASSERT_TRUE(bar.middleImage().loadFromImage(solidImage(1, 1, kMiddle)));
        ASSERT_TRUE(bar.bottomCapImage().loadFromImage(solidImage(1, 1, kBottomCap)));
        bar.show();
    }
    void TearDown() override { QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(1, 1)); }

    QImage drawnPage()
    {
        QImage page = solidImage(40, 220, Qt::white);
        QPainter painter(&page);
        bar.draw(painter);
        return page;
    }

    // Checks the placement column by column: caps and middle rows from the drawn thumb top, background elsewhere.
    void expectThumbAt(const QImage& page, int position)
    {
        const QRect placement = bar.placement();
        const int y = placement.top() + bar.thumbOffset() + position;
        const int middleEnd = std::max(y + 2, y + bar.thumbLength() - 4);
        for (int row = 0; row < page.height(); ++row) {
            QColor expected = Qt::white;
            if (row >= placement.top() && row <= placement.bottom()) {
                expected = kNearBlack;
                if (row >= y && row < y + 2)
                    expected = kTopCap;
                else if (row >= y + 2 && row < middleEnd)
                    expected = kMiddle;
                else if (row >= middleEnd && row < middleEnd + 2)
                    expected = kBottomCap;
            }
            ASSERT_TRUE(areaIs(page, QRect(placement.left(), row, placement.width(), 1), expected)) << "row " << row;
            ASSERT_EQ(page.pixel(placement.left() - 1, row), qRgb(255, 255, 255));
            ASSERT_EQ(page.pixel(placement.right() + 1, row), qRgb(255, 255, 255));
        }
    }

    RecordingListener listener;
    CDTAScrollBar bar;
};

} // namespace

TEST_F(ScrollBar, ThumbRectFollowsTheValueWithoutLimit)
{
    struct Case {
        int value;
        int top;
    };
    // (170 - 25) / 20 x value, truncated: 72.5 for 10, 145 for 20.
    for (const Case& c : {Case{0, 0}, Case{10, 72}, Case{20, 145}}) {
        bar.setValue(c.value);
        QRect thumb;
        ASSERT_EQ(bar.getThumbRect(&thumb), 0);
        EXPECT_EQ(thumb, QRect(0, c.top, 7, 50)) << c.value;
    }
}

TEST_F(ScrollBar, DrawsCapsAndRowsAtTheLimitedPositionPlusOffset)
{
    struct Case {
        int thumbLength;
        int value;
        int position;
    };
    // A 6-pixel thumb: (170 - 3) / 20 x 10 = 83.5, and no middle rows between its caps.
    for (const Case& c : {Case{50, 10, 72}, Case{50, 20, 120}, Case{50, 0, 0}, Case{6, 10, 83}}) {
        bar.setThumbLength(c.thumbLength);
        bar.setValue(c.value);
        SCOPED_TRACE(testing::Message() << "length " << c.thumbLength << " value " << c.value);
        expectThumbAt(drawnPage(), c.position);
    }
}

TEST_F(ScrollBar, MaximumOfTenOrLessKeepsTheThumbAtTheTop)
{
    struct Case {
        int maximum;
        int value;
    };
    for (const Case& c : {Case{10, 5}, Case{5, 3}, Case{0, 0}}) {
        SCOPED_TRACE(testing::Message() << "maximum " << c.maximum << " value " << c.value);
        bar.setRange(0, c.maximum);
        bar.setValue(c.value);
        expectThumbAt(drawnPage(), 0);
        listener.reports.clear();
        bar.dragTo(3, 150);
        EXPECT_EQ(listener.reports, (std::vector<std::pair<int, int>>{{kBarId, 0}}));
    }
}

TEST_F(ScrollBar, HiddenBarDrawsNothing)
{
    bar.hide();
    EXPECT_TRUE(areaIs(drawnPage(), QRect(0, 0, 40, 220), Qt::white));
}

TEST_F(ScrollBar, OtherOrientationsHaveNoThumb)
{
    QRect thumb(1, 2, 3, 4);
    bar.setOrientation(CDTAScrollBar::Horizontal);
    EXPECT_EQ(bar.getThumbRect(&thumb), 0);
    EXPECT_EQ(thumb, QRect());
    const QImage page = drawnPage();
    EXPECT_TRUE(areaIs(page, bar.placement(), kNearBlack)) << "background only";

    thumb = QRect(1, 2, 3, 4);
    bar.setOrientation(2);
    EXPECT_EQ(bar.getThumbRect(&thumb), -1);
    EXPECT_EQ(thumb, QRect());
    EXPECT_EQ(bar.getThumbRect(nullptr), -1);
}

TEST_F(ScrollBar, PressAboveOrBelowTheThumbAsksForAPageAndLeavesTheValue)
{
    struct Case {
        int maximum;
        int value;
        int y;
        int reported; // -1: no report
    };
    const Case cases[] = {
        {30, 3, 10, 0},                      // thumb 21..71: above, 3 - 10 limited to the minimum
        {30, 3, 100, 13},                    // below
        {30, 3, 40, -1},                     // on the thumb
        {30, 3, 71, -1},                     // the row at the thumb's far edge is not below it
        {30, 3, 72, 13},  {30, 25, 160, 15}, // the thumb lies beyond the bar (181..231), so all of the bar is above it
        {10, 5, 100, 10},                    // no movement possible: thumb at the top, below it asks for the maximum
    };
    for (const Case& c : cases) {
        bar.setRange(0, c.maximum);
        bar.setValue(c.value);
        listener.reports.clear();
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(3, c.y));
        const std::vector<std::pair<int, int>> expected = c.reported < 0
                                                              ? std::vector<std::pair<int, int>>{}
                                                              : std::vector<std::pair<int, int>>{{kBarId, c.reported}};
        EXPECT_EQ(listener.reports, expected) << "value " << c.value << " y " << c.y;
        EXPECT_EQ(bar.value(), c.value) << "the owner sets the value, not the press";
    }
}

TEST_F(ScrollBar, PressBesideANarrowThumbReportsNothing)
{
    // Thumb columns 2..7 of an 11-pixel bar: x = 9 at the thumb's height is neither on, above nor below it.
    bar.resize(11, 170);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(9, 20));
    EXPECT_TRUE(listener.reports.empty());
}

TEST_F(ScrollBar, DragMapsTheBarOntoZeroToMaximumMinusTen)
{
    bar.setRange(2, 30);
    bar.setValue(2);
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(3, 10));
    struct Case {
        int y;
        int value;
    };
    // 85 of 170 is half of 0..20; above the bar gives the minimum, below it 30 - 10.
    for (const Case& c : {Case{85, 10}, Case{-20, 2}, Case{400, 20}}) {
        listener.reports.clear();
        QTest::mouseMove(&bar, QPoint(3, c.y));
        EXPECT_EQ(bar.value(), c.value) << c.y;
        EXPECT_EQ(listener.reports, (std::vector<std::pair<int, int>>{{kBarId, c.value}})) << c.y;
    }
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(3, 17));
    listener.reports.clear();
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 85), bar.mapToGlobal(QPointF(3, 85)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&bar, &move);
    EXPECT_TRUE(listener.reports.empty()) << "moves after the release do not drag";
}

TEST_F(ScrollBar, WheelAsksForOneStepWithinTheRange)
{
    struct Case {
        int value;
        int delta;
        int reported;
    };
    for (const Case& c : {Case{30, -120, 30}, Case{0, 120, 0}, Case{5, 120, 4}, Case{5, -120, 6}}) {
        bar.setValue(c.value);
        listener.reports.clear();
        wheel(bar, c.delta);
        EXPECT_EQ(listener.reports, (std::vector<std::pair<int, int>>{{kBarId, c.reported}})) << c.value;
        EXPECT_EQ(bar.value(), c.value);
    }
}
