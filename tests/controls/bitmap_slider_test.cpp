#include "controls/bitmap_slider.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

#include "controls/num_edit.h"
#include "input_events.h"

namespace zelto {
namespace {

using namespace zelto::testing;

constexpr int kStripGainId = 8650;
constexpr int kMasterVolumeId = 2227;
constexpr int kLength = 170;  // thumb 14 px long: 156 px of travel for 60 steps

class SliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<QWidget>();
    host->resize(400, 300);
    strip = new BitmapSlider(kStripGainId, host.get());
    strip->SetSkin(SliderSkin::Vertical(kLength));
    strip->SetRange(0, 60);
    strip->SetValue(30);
    master = new BitmapSlider(kMasterVolumeId, host.get());
    master->SetVertical(false);
    master->SetSkin(SliderSkin::Horizontal(kLength));
    master->SetValueFollowsTravel(true);
    master->SetRange(0, 60);
    master->SetValue(30);
    master->move(100, 0);
    other = new QLineEdit(host.get());
    other->move(0, 250);
    ASSERT_TRUE(ShowActive(host.get()));
    strip->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(strip->hasFocus());
  }

  QPoint ThumbOf(BitmapSlider* s) const {
    const int along = s->PixelOfPosition(s->Position());
    return s->IsVertical() ? QPoint(s->width() / 2, along) : QPoint(along, s->height() / 2);
  }

  std::unique_ptr<QWidget> host;
  BitmapSlider* strip = nullptr;
  BitmapSlider* master = nullptr;
  QLineEdit* other = nullptr;
};

TEST(SliderGeometry, MapsPositionsAndPixelsAlongTheTravelInsideTheMargins) {
  BitmapSlider s(1);
  s.SetSkin(SliderSkin::Vertical(kLength));
  s.SetRange(0, 60);
  s.SetMargins(QMargins(0, 5, 0, 5));  // travel 170 − 10 − 14 = 146 px
  EXPECT_EQ(s.PixelOfPosition(0), 12);
  EXPECT_EQ(s.PixelOfPosition(60), 158);
  EXPECT_EQ(s.PixelOfPosition(30), 85);
  EXPECT_EQ(s.PositionOfPixel(12), 0);
  EXPECT_EQ(s.PositionOfPixel(158), 60);
  EXPECT_EQ(s.PositionOfPixel(85), 30);
  EXPECT_EQ(s.PositionOfPixel(86), 30);  // truncated, not rounded
  EXPECT_EQ(s.PositionOfPixel(0), 0);    // before the travel: clamped
  EXPECT_EQ(s.PositionOfPixel(500), 60);
  for (int p = 0; p <= 60; ++p) ASSERT_LE(std::abs(s.PositionOfPixel(s.PixelOfPosition(p)) - p), 1) << p;

  // A horizontal slider measures along x with the left and right margins.
  s.SetVertical(false);
  s.SetSkin(SliderSkin::Horizontal(kLength));  // thumb 12 px wide: travel 170 − 20 − 12 = 138
  s.SetMargins(QMargins(10, 0, 10, 0));
  EXPECT_EQ(s.PixelOfPosition(0), 16);
  EXPECT_EQ(s.PixelOfPosition(60), 154);
}

TEST(SliderGeometry, DegenerateRangeOrTravelStaysAtTheStart) {
  BitmapSlider s(1);
  s.SetSkin(SliderSkin::Vertical(10));  // shorter than its thumb: no travel
  s.SetRange(0, 60);
  EXPECT_EQ(s.PositionOfPixel(100), 0);
  s.SetSkin(SliderSkin::Vertical(kLength));
  s.SetRange(5, 5);
  EXPECT_EQ(s.PositionOfPixel(100), 5);
  EXPECT_EQ(s.PixelOfPosition(5), 7);
}

TEST_F(SliderTest, ValueRunsAgainstOrWithTheTravel) {
  EXPECT_EQ(strip->Position(), 30);
  strip->SetValue(60);  // a vertical gain slider has its maximum at the top
  EXPECT_EQ(strip->Position(), 0);
  EXPECT_EQ(strip->Value(), 60);
  master->SetValue(45);  // the master volume's value is its position
  EXPECT_EQ(master->Position(), 45);
  strip->SetValue(99);  // clamped into the range
  EXPECT_EQ(strip->Value(), 60);
}

TEST_F(SliderTest, PressAwayFromTheThumbStepsOnceAndNoDragFollows) {
  QSignalSpy moving(strip, &BitmapSlider::moving);
  QSignalSpy released(strip, &BitmapSlider::released);
  Press(strip, QPoint(14, kLength - 2));  // far below the thumb
  EXPECT_EQ(strip->Position(), 31);
  EXPECT_FALSE(strip->IsGrabbed());
  Move(strip, QPoint(14, 5));
  Move(strip, QPoint(14, 150));
  EXPECT_EQ(strip->Position(), 31);
  Release(strip, QPoint(14, 150));
  ASSERT_EQ(released.size(), 1);
  EXPECT_EQ(released[0][0].toInt(), kStripGainId);
  EXPECT_EQ(released[0][1].toInt(), 31);

  Click(strip, QPoint(14, 1));  // above the thumb: one step up the travel
  Click(strip, QPoint(14, 1));
  EXPECT_EQ(strip->Position(), 29);
  EXPECT_EQ(released.size(), 3);
}

TEST_F(SliderTest, HeldStillThumbReportsNothingAndReleaseReportsOnce) {
  QSignalSpy moving(strip, &BitmapSlider::moving);
  QSignalSpy released(strip, &BitmapSlider::released);
  Press(strip, ThumbOf(strip) + QPoint(0, 3));  // grabbed off-centre
  EXPECT_TRUE(strip->IsGrabbed());
  QTest::qWait(4 * BitmapSlider::kDragTickMs);
  EXPECT_EQ(moving.size(), 0);
  Release(strip, ThumbOf(strip));
  ASSERT_EQ(released.size(), 1);
  EXPECT_EQ(released[0][1].toInt(), 30);
  EXPECT_FALSE(strip->IsGrabbed());
}

TEST_F(SliderTest, DragReportsTheLatestPositionOncePerTick) {
  QSignalSpy moving(strip, &BitmapSlider::moving);
  QSignalSpy released(strip, &BitmapSlider::released);
  const QPoint start = ThumbOf(strip);  // pixel 85
  Press(strip, start);
  Move(strip, start + QPoint(0, 26));  // 10 positions down the travel
  Move(strip, start + QPoint(0, 39));  // 15
  EXPECT_EQ(strip->Position(), 45);
  ASSERT_TRUE(moving.wait(kSignalTimeoutMs));
  QTest::qWait(3 * BitmapSlider::kDragTickMs);
  ASSERT_EQ(moving.size(), 1);
  EXPECT_EQ(moving[0][0].toInt(), kStripGainId);
  EXPECT_EQ(moving[0][1].toInt(), 45);
  EXPECT_EQ(strip->Value(), 15);

  Move(strip, QPoint(14, 1000));  // past the end: clamped to the travel
  EXPECT_EQ(strip->Position(), 60);
  Release(strip, QPoint(14, 1000));
  EXPECT_EQ(released.size(), 1);
  EXPECT_EQ(released[0][1].toInt(), 60);
  QTest::qWait(2 * BitmapSlider::kDragTickMs);
  EXPECT_EQ(moving.size(), 1);  // the timer stopped with the release
}

struct KeyCase {
  int key;
  int value;
};

TEST_F(SliderTest, KeysMoveTheValueTheWayEachSliderShowsIt) {
  // Vertical gain slider: up, Page Up and Home raise the value; Home is 0 dB (60), End is off (0).
  const KeyCase stripCases[] = {{Qt::Key_Home, 60}, {Qt::Key_End, 0},    {Qt::Key_Up, 31},     {Qt::Key_Down, 29},
                                {Qt::Key_Left, 31}, {Qt::Key_Right, 29}, {Qt::Key_PageUp, 50}, {Qt::Key_PageDown, 10}};
  for (const auto& c : stripCases) {
    strip->SetValue(30);
    QSignalSpy released(strip, &BitmapSlider::released);
    Key(strip, c.key);
    EXPECT_EQ(strip->Value(), c.value) << "key " << c.key;
    EXPECT_EQ(released.size(), 1) << "key " << c.key;
  }
  // Master volume, horizontal with the value following the travel: left and Home lower it.
  const KeyCase masterCases[] = {{Qt::Key_Home, 0},   {Qt::Key_End, 60},    {Qt::Key_Left, 29},
                                 {Qt::Key_Right, 31}, {Qt::Key_PageUp, 10}, {Qt::Key_PageDown, 50}};
  for (const auto& c : masterCases) {
    master->SetValue(30);
    Key(master, c.key);
    EXPECT_EQ(master->Value(), c.value) << "key " << c.key;
  }
  // The mixer page reverses the arrows.
  strip->SetArrowsReversed(true);
  strip->SetValue(30);
  Key(strip, Qt::Key_Up);
  EXPECT_EQ(strip->Value(), 29);
  // Clamped at the ends, and still reported.
  strip->SetValue(60);
  QSignalSpy released(strip, &BitmapSlider::released);
  Key(strip, Qt::Key_PageDown);
  Key(strip, Qt::Key_PageDown);
  Key(strip, Qt::Key_PageDown);
  Key(strip, Qt::Key_PageDown);
  EXPECT_EQ(strip->Value(), 0);
  EXPECT_EQ(released.size(), 4);
}

TEST_F(SliderTest, WheelMovesOnlyOnWholeNotchesButAlwaysReports) {
  QSignalSpy released(strip, &BitmapSlider::released);
  Wheel(strip, 120);  // away from the user
  EXPECT_EQ(strip->Value(), 31);
  Wheel(strip, -120);
  Wheel(strip, -120);
  EXPECT_EQ(strip->Value(), 29);
  Wheel(strip, 60);
  Wheel(strip, 60);  // halves do not add up
  Wheel(strip, 240);
  EXPECT_EQ(strip->Value(), 29);
  EXPECT_EQ(released.size(), 6);

  Wheel(master, 120);  // the master volume goes down when turned away
  EXPECT_EQ(master->Value(), 29);
}

TEST_F(SliderTest, InputDisabledIgnoresEverythingAndEndsADragSilently) {
  QSignalSpy moving(strip, &BitmapSlider::moving);
  QSignalSpy released(strip, &BitmapSlider::released);
  Press(strip, ThumbOf(strip));
  Move(strip, ThumbOf(strip) + QPoint(0, 26));
  strip->SetInputEnabled(false);
  EXPECT_FALSE(strip->IsGrabbed());
  const int at = strip->Position();
  Move(strip, QPoint(14, 160));
  Release(strip, QPoint(14, 160));
  Key(strip, Qt::Key_Home);
  Wheel(strip, 120);
  Click(strip, QPoint(14, 1));
  QTest::qWait(2 * BitmapSlider::kDragTickMs);
  EXPECT_EQ(strip->Position(), at);
  EXPECT_EQ(moving.size(), 0);
  EXPECT_EQ(released.size(), 0);
}

TEST_F(SliderTest, FocusReportsThePositionAndMarksTheBuddyBox) {
  NumEdit box(8630, host.get());
  master->SetBuddy(&box);
  QSignalSpy moving(master, &BitmapSlider::moving);
  master->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(moving.size(), 1);
  EXPECT_EQ(moving[0][0].toInt(), kMasterVolumeId);
  EXPECT_EQ(moving[0][1].toInt(), 30);
  EXPECT_TRUE(master->HasFocusMark());
  EXPECT_TRUE(box.HasFocusMark());
  other->setFocus();
  QApplication::processEvents();
  EXPECT_FALSE(master->HasFocusMark());
  EXPECT_FALSE(box.HasFocusMark());
  master->TakeFocus();  // what a page asks of a slider it wants focused
  QApplication::processEvents();
  EXPECT_TRUE(master->hasFocus());
  EXPECT_TRUE(box.HasFocusMark());
  master->SetBuddy(nullptr);
}

TEST_F(SliderTest, PressTakesTheFocus) {
  QSignalSpy moving(master, &BitmapSlider::moving);
  Press(master, ThumbOf(master));
  EXPECT_TRUE(master->hasFocus());
  EXPECT_EQ(moving.size(), 1);  // from gaining the focus
  Release(master, ThumbOf(master));
}

}  // namespace
}  // namespace zelto
