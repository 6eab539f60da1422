#include "controls/com_box_btn.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

#include "input_events.h"

namespace zelto {
namespace {

using namespace zelto::testing;

constexpr int kSourceListButton = 2400;
constexpr int kSourceListId = 3965;

struct Placement {
  const char* what;
  QRect button;
  int items;
  int maxHeight;
  QRect work;
  QRect list;
};

TEST(DropListGeometry, OpensBelowOverlappingTheButtonOrAboveWhenItWouldLeaveTheWorkArea) {
  const QRect screen(0, 0, 800, 600);
  const Placement cases[] = {
      {"below", QRect(100, 200, 120, 24), 6, 256, screen, QRect(100, 223, 120, 96)},
      {"limited height", QRect(100, 200, 120, 24), 40, 256, screen, QRect(100, 223, 120, 256)},
      {"just fits", QRect(100, 480, 120, 24), 6, 256, screen, QRect(100, 503, 120, 96)},
      {"one pixel too low: above", QRect(100, 482, 120, 24), 6, 256, screen, QRect(100, 386, 120, 96)},
      {"near the bottom", QRect(100, 560, 120, 24), 9, 256, screen, QRect(100, 416, 120, 144)},
      {"work area offset", QRect(900, 1000, 120, 24), 6, 256, QRect(800, 0, 800, 1040), QRect(900, 904, 120, 96)},
      {"no room either way", QRect(100, 100, 120, 24), 16, 256, QRect(0, 0, 800, 300), QRect(100, 0, 120, 256)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComBoxBtn::ListGeometry(c.button, c.items, c.maxHeight, c.work), c.list) << c.what;
  }
}

class DropListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<QWidget>();
    host->resize(300, 200);
    box = new ComBoxBtn(kSourceListButton, kSourceListId, host.get());
    box->move(20, 20);
    box->SetItems({{"高电平", "High level"},
                   {"低电平", "RCA"},
                   {"蓝牙", "Bluetooth"},
                   {"光纤", "Optical"},
                   {"同轴", "Coaxial"},
                   {"播放器", "Player"}});
    ASSERT_TRUE(ShowActive(host.get()));
  }

  void Open() {
    Press(box, QPoint(10, 10));
    ASSERT_TRUE(box->IsListOpen());
  }
  // A point of the list: the middle of item `row`.
  QPoint Row(int row) const { return QPoint(box->List()->width() / 2, row * DropList::kItemHeight + 8); }
  // Where the button is, seen from the list.
  QPoint OverButton() const { return box->List()->mapFromGlobal(box->mapToGlobal(QPoint(10, 10))); }

  void ChooseWithPointer(int row) {
    Open();
    Release(box->List(), OverButton());  // the opening click's release keeps the list open
    ASSERT_TRUE(box->IsListOpen());
    Move(box->List(), Row(row));
    Press(box->List(), Row(row));
    Release(box->List(), Row(row));
  }

  std::unique_ptr<QWidget> host;
  ComBoxBtn* box = nullptr;
};

TEST_F(DropListTest, ChoosingAnItemWithThePointerCommitsAndReportsTheListId) {
  QSignalSpy chosen(box, &ComBoxBtn::chosen);
  Open();
  EXPECT_EQ(box->List()->width(), box->width());
  EXPECT_EQ(box->List()->height(), 6 * DropList::kItemHeight);
  EXPECT_EQ(box->List()->mapToGlobal(QPoint(0, 0)).y(), box->mapToGlobal(QPoint(0, box->height() - 1)).y());
  Release(box->List(), OverButton());
  EXPECT_TRUE(box->IsListOpen());
  Move(box->List(), Row(2));
  EXPECT_EQ(box->List()->Highlighted(), 2);
  Press(box->List(), Row(2));
  Release(box->List(), Row(2));
  EXPECT_FALSE(box->IsListOpen());
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_EQ(chosen[0][0].toInt(), kSourceListId);
  EXPECT_EQ(chosen[0][1].toInt(), 2);
  EXPECT_EQ(box->Selection(), 2);
  EXPECT_EQ(box->CurrentText(), "Bluetooth");
}

TEST_F(DropListTest, PressDragReleaseInOneGestureChoosesToo) {
  QSignalSpy chosen(box, &ComBoxBtn::chosen);
  Open();
  Move(box->List(), Row(4));
  Release(box->List(), Row(4));
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_EQ(box->Selection(), 4);
}

TEST_F(DropListTest, ReleasingOutsideTheListKeepsTheEarlierChoiceAndReportsNothing) {
  ChooseWithPointer(2);
  QSignalSpy chosen(box, &ComBoxBtn::chosen);
  Open();
  Move(box->List(), Row(4));
  EXPECT_EQ(box->List()->Highlighted(), 4);
  Release(box->List(), QPoint(box->List()->width() + 30, -40));
  EXPECT_FALSE(box->IsListOpen());
  EXPECT_EQ(chosen.size(), 0);
  EXPECT_EQ(box->Selection(), 2);
  EXPECT_EQ(box->List()->Highlighted(), 2);
  EXPECT_EQ(box->CurrentText(), "Bluetooth");
}

TEST_F(DropListTest, PressOutsideOrLosingTheListClosesWithoutAChoice) {
  box->SelectItem(1);
  QSignalSpy chosen(box, &ComBoxBtn::chosen);
  Open();
  Release(box->List(), OverButton());
  Move(box->List(), Row(5));
  Press(box->List(), QPoint(-50, -50));
  EXPECT_FALSE(box->IsListOpen());
  EXPECT_EQ(box->Selection(), 1);

  Open();
  Move(box->List(), Row(3));
  box->List()->hide();  // what focus loss or the system does to a pop-up
  EXPECT_FALSE(box->IsListOpen());
  EXPECT_EQ(box->Selection(), 1);
  EXPECT_EQ(box->List()->Highlighted(), 1);
  EXPECT_EQ(chosen.size(), 0);
}

TEST_F(DropListTest, WheelStepsTheSelectionOnWholeNotchesAndStopsAtTheEnds) {
  box->SelectItem(4);
  QSignalSpy chosen(box, &ComBoxBtn::chosen);
  Wheel(box, -120);
  EXPECT_EQ(box->Selection(), 5);
  Wheel(box, -120);  // at the last item: stays, still reported
  EXPECT_EQ(box->Selection(), 5);
  ASSERT_EQ(chosen.size(), 2);
  EXPECT_EQ(chosen[1][0].toInt(), kSourceListId);
  EXPECT_EQ(chosen[1][1].toInt(), 5);

  Wheel(box, 60);
  EXPECT_EQ(chosen.size(), 2);  // half a notch waits for the other half
  Wheel(box, 60);
  EXPECT_EQ(box->Selection(), 4);
  Wheel(box, 500);  // a big delta is one step
  EXPECT_EQ(box->Selection(), 3);
  EXPECT_EQ(chosen.size(), 4);

  // A wheel choice is what the list returns to after an aborted pointer choice.
  Open();
  Move(box->List(), Row(0));
  Release(box->List(), QPoint(-10, -10));
  EXPECT_EQ(box->Selection(), 3);
}

TEST_F(DropListTest, LanguageSwitchKeepsTheSelection) {
  box->SelectItem(5);
  EXPECT_EQ(box->CurrentText(), "Player");
  box->SetLanguage(Language::Chinese);
  EXPECT_EQ(box->Selection(), 5);
  EXPECT_EQ(box->CurrentText(), "播放器");
  box->SetItems({{"关闭", "Close"}, {"-110dB", "-110dB"}});  // fewer items: the selection is gone
  EXPECT_EQ(box->Selection(), -1);
  EXPECT_EQ(box->CurrentText(), "");
}

TEST_F(DropListTest, AnEmptyListDoesNotOpen) {
  box->SetItems({});
  Press(box, QPoint(10, 10));
  EXPECT_FALSE(box->IsListOpen());
  QSignalSpy chosen(box, &ComBoxBtn::chosen);
  Wheel(box, -120);
  EXPECT_EQ(chosen.size(), 0);
}

}  // namespace
}  // namespace zelto
