#include "widgets/PositionSlider.h"

#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace wendmoor::test {
namespace {

// What the owner sets never reports a move, nor pulls the thumb from the user's hand; the user's
// keys and clicks report moves with the new position.
TEST(PositionSlider, OnlyTheUsersMovesAreReportedAndOwnerUpdatesDoNotPullTheThumb)
{
    PositionSlider s;
    QSignalSpy moved(&s, &PositionSlider::moved);
    s.setMaximum(60000);
    s.setPosition(30000);
    s.setMinimum(40000); // the thumb now lies outside: shown at the edge, value kept
    s.setMaximum(100000);
    s.setPosition(99999);
    EXPECT_EQ(moved.count(), 0);
    EXPECT_EQ(std::make_tuple(s.minimum(), s.maximum(), s.position()), std::make_tuple(40000, 100000, 99999));
    // Moving a window forward sets the minimum first; the maximum must not be pulled along.
    s.setMaximum(10000);
    s.setMinimum(70000);
    s.setMaximum(80000);
    EXPECT_EQ(std::make_pair(s.minimum(), s.maximum()), std::make_pair(70000, 80000));

    s.setMinimum(0);
    s.setMaximum(100000);
    s.setPosition(10000);
    s.slider()->setSliderDown(true);
    s.slider()->setSliderPosition(70000); // dragged there, not yet let go
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(s.position(), 70000);
    s.setPosition(10050); // the owner's tick
    EXPECT_EQ(s.slider()->sliderPosition(), 70000);
    s.slider()->setSliderDown(false);
    EXPECT_EQ(s.slider()->value(), 10050); // let go: the owner's value shows again
    EXPECT_EQ(moved.count(), 1);

    s.resize(400, 30);
    s.setPosition(50000);
    s.show();
    QTest::keyClick(s.slider(), Qt::Key_Right);
    ASSERT_EQ(moved.count(), 2);
    EXPECT_EQ(s.position(), 51000);
    QTest::mouseClick(s.slider(), Qt::LeftButton, {}, QPoint(s.slider()->width() - 3, s.slider()->height() / 2));
    EXPECT_GE(moved.count(), 3);
    EXPECT_GT(s.position(), 90000); // jumped to the click, not one page
}

} // namespace
} // namespace wendmoor::test
