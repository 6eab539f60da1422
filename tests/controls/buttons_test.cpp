// Picture buttons, labels and tabs: which face shows, and when a click is reported.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

#include "controls/bit_button.h"
#include "controls/en_tab_ctrl.h"
#include "controls/font_static.h"
#include "controls/xp_button.h"
#include "input_events.h"

namespace zelto {
namespace {

using namespace zelto::testing;

constexpr int kMuteId = 6052;
const Face kSounding = Icon(Glyph::Speaker);
const Face kMuted = Icon(Glyph::SpeakerMuted, Tone::Alert);

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<QWidget>();
    host->resize(300, 100);
    mute = new XPButton(kMuteId, host.get());
    mute->SetFaces(kSounding, kMuted);
    mute->setGeometry(10, 10, 40, 30);
    host->show();
  }
  std::unique_ptr<QWidget> host;
  XPButton* mute = nullptr;
};

TEST_F(ButtonTest, ClickIsReportedOnReleaseOverTheButtonAndNeverFlipsTheState) {
  QSignalSpy clicked(mute, &XPButton::clicked);
  EXPECT_TRUE(mute->IsOn());  // picture buttons start on
  Press(mute, QPoint(5, 5));
  EXPECT_EQ(clicked.size(), 0);
  Release(mute, QPoint(5, 5));
  ASSERT_EQ(clicked.size(), 1);
  EXPECT_EQ(clicked[0][0].toInt(), kMuteId);
  EXPECT_TRUE(mute->IsOn());  // the owner sets the state in its handler

  // Dragged off before release: no click.
  Press(mute, QPoint(5, 5));
  Move(mute, QPoint(100, 5));
  EXPECT_FALSE(mute->IsPressed());
  Release(mute, QPoint(100, 5));
  EXPECT_EQ(clicked.size(), 1);
  // A right click is not a click.
  Click(mute, QPoint(5, 5));
  Press(mute, QPoint(5, 5), Qt::RightButton);
  Release(mute, QPoint(5, 5), Qt::RightButton);
  EXPECT_EQ(clicked.size(), 2);
}

TEST_F(ButtonTest, DisabledButtonShowsTheDisabledFaceOfItsStateAndSendsNoClick) {
  QSignalSpy clicked(mute, &XPButton::clicked);
  mute->SetOn(false);
  mute->SetDisabled(true);
  EXPECT_EQ(mute->ShownState(), FaceState::Disabled);
  ASSERT_NE(mute->ShownFace(), nullptr);
  EXPECT_EQ(*mute->ShownFace(), kMuted);
  QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(5, 5));
  Click(mute, QPoint(5, 5));
  EXPECT_EQ(clicked.size(), 0);
  mute->SetOn(true);
  EXPECT_EQ(*mute->ShownFace(), kSounding);
  mute->SetDisabled(false);
  Click(mute, QPoint(5, 5));
  EXPECT_EQ(clicked.size(), 1);
}

TEST_F(ButtonTest, PictureChoiceFollowsDisabledFixedPressedHoverNormal) {
  EXPECT_EQ(mute->ShownState(), FaceState::Normal);
  Move(mute, QPoint(5, 5));
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), mute->mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(mute, &enter);
  EXPECT_EQ(mute->ShownState(), FaceState::Hover);
  Press(mute, QPoint(5, 5));
  EXPECT_EQ(mute->ShownState(), FaceState::Pressed);
  mute->SetFixed(true);
  EXPECT_EQ(mute->ShownState(), FaceState::Fixed);
  mute->SetDisabled(true);
  EXPECT_EQ(mute->ShownState(), FaceState::Disabled);
  mute->SetDisabled(false);
  mute->SetFixed(false);
  EXPECT_EQ(mute->ShownState(), FaceState::Normal);  // disabling dropped the press
}

TEST(BitButton, OnStateFallsBackToTheOffFacesAndHighlightRanksBelowHover) {
  QWidget host;
  BitButton dsp(3417, &host);
  const Face off = Caption({"关", "OFF"});
  dsp.SetFaces(off);
  dsp.SetOn(true);
  ASSERT_NE(dsp.ShownFace(), nullptr);
  EXPECT_EQ(*dsp.ShownFace(), off);
  const Face on = Caption({"开", "ON"}, Tone::Lit);
  dsp.SetFaces(off, on);
  EXPECT_EQ(*dsp.ShownFace(), on);

  dsp.SetHighlighted(true);
  EXPECT_EQ(dsp.ShownState(), FaceState::Highlighted);
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(&dsp, &enter);
  EXPECT_EQ(dsp.ShownState(), FaceState::Hover);
}

TEST(BitButton, RightPressIsReportedApartFromClicks) {
  QWidget host;
  BitButton slot(2401, &host);
  slot.resize(80, 28);
  QSignalSpy clicked(&slot, &BitButton::clicked);
  QSignalSpy right(&slot, &BitButton::rightPressed);
  Press(&slot, QPoint(5, 5), Qt::RightButton);
  Release(&slot, QPoint(5, 5), Qt::RightButton);
  ASSERT_EQ(right.size(), 1);
  EXPECT_EQ(right[0][0].toInt(), 2401);
  EXPECT_EQ(clicked.size(), 0);
}

TEST(FontStatic, ShowsItsTextByLanguageOrTheFontErrorWhenNoFontCanBeMade) {
  FontStatic label(2428);
  label.SetText(Same("CH1"));
  EXPECT_EQ(label.ShownText(), "CH1");
  label.SetText({"通道", "Channel"});
  label.SetLanguage(Language::Chinese);
  EXPECT_EQ(label.ShownText(), "通道");
  label.SetTextHeight(0);
  EXPECT_FALSE(label.HasFont());
  EXPECT_EQ(label.ShownText(), "字体不能创建!");
  label.SetLanguage(Language::English);
  EXPECT_EQ(label.ShownText(), "Font could not be created!");
  label.SetTextHeight(16);
  EXPECT_TRUE(label.HasFont());
  EXPECT_EQ(label.ShownText(), "Channel");
}

TEST(EnTabCtrl, CaptionsFollowTheLanguageAndTabChangesAreOrdinarySignals) {
  EnTabCtrl tabs(1368);
  tabs.AddPage(new QWidget, {"输出", "Output"});
  tabs.AddPage(new QWidget, {"混音", "Mixer"});
  EXPECT_EQ(tabs.tabText(1), "Mixer");
  tabs.SetLanguage(Language::Chinese);
  EXPECT_EQ(tabs.tabText(0), "输出");
  EXPECT_EQ(tabs.tabText(1), "混音");
  QSignalSpy changed(&tabs, &QTabWidget::currentChanged);
  tabs.setCurrentIndex(1);
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].toInt(), 1);
}

}  // namespace
}  // namespace zelto
