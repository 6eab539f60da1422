#include "controls/num_edit.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

#include "input_events.h"

namespace zelto {
namespace {

using namespace zelto::testing;

constexpr int kHighPassBox = 5500;
constexpr int kHighPassSpin = 5501;
constexpr int kBandGainBox = 5000;

class NumEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<QWidget>();
    host->resize(300, 100);
    gain = new NumEdit(kBandGainBox, host.get());
    gain->SetMode(nummode::kLinear);
    gain->SetStep(0.1);
    gain->SetOffset(20);
    gain->SetRange(0, 400);
    gain->SetValue(200);
    gain->setGeometry(10, 10, 60, 22);
    freq = new NumEdit(kHighPassBox, host.get());
    freq->SetMode(nummode::kFrequencyHz);
    freq->setGeometry(100, 10, 60, 22);
    spin = new NumSpin(kHighPassSpin, host.get());
    spin->SetBuddy(freq);
    spin->SetRange(20, 20000);
    spin->move(162, 10);
    spin->SetRefusalHandler([this](const QString& text) { refusals << text; });
    ASSERT_TRUE(ShowActive(host.get()));
  }

  void Focus(QWidget* w) {
    w->setFocus();
    QApplication::processEvents();
  }

  std::unique_ptr<QWidget> host;
  NumEdit* gain = nullptr;
  NumEdit* freq = nullptr;
  NumSpin* spin = nullptr;
  QStringList refusals;
};

TEST_F(NumEditTest, TypedTextCommitsWhenTheFocusLeaves) {
  QSignalSpy edited(gain, &NumEdit::edited);
  Focus(gain);
  EXPECT_EQ(gain->selectedText(), "0.0");  // the focus selects the whole text
  QTest::keyClicks(gain, "1.55");
  EXPECT_TRUE(gain->IsChanged());
  EXPECT_EQ(edited.size(), 0);
  Focus(freq);
  ASSERT_EQ(edited.size(), 1);
  EXPECT_EQ(edited[0][0].toInt(), kBandGainBox);
  EXPECT_EQ(edited[0][1].toInt(), 215);
  EXPECT_EQ(gain->GetValue(), 215);
  EXPECT_EQ(gain->text(), "1.5");
  EXPECT_FALSE(gain->IsChanged());

  // Leaving again without typing commits nothing.
  Focus(gain);
  Focus(freq);
  EXPECT_EQ(edited.size(), 1);
}

TEST_F(NumEditTest, OutOfRangeOrGarbageIsLimitedToTheRange) {
  Focus(freq);
  QTest::keyClicks(freq, "99999");
  Focus(gain);
  EXPECT_EQ(freq->GetValue(), 20000);
  EXPECT_EQ(freq->text(), "20000Hz");
  Focus(freq);
  QTest::keyClicks(freq, "abc");
  Focus(gain);
  EXPECT_EQ(freq->GetValue(), 20);
}

TEST_F(NumEditTest, ClickingABoxWithoutTypingNotifiesOnceWithTheSameValue) {
  Focus(freq);
  QSignalSpy edited(gain, &NumEdit::edited);
  QTest::mouseClick(gain, Qt::LeftButton, {}, QPoint(10, 10));
  ASSERT_EQ(edited.size(), 1);
  EXPECT_EQ(edited[0][1].toInt(), 200);
  EXPECT_EQ(gain->selectedText(), gain->text());  // the focusing click keeps the selection
  Focus(freq);
  EXPECT_EQ(edited.size(), 1);
  EXPECT_EQ(gain->GetValue(), 200);
}

TEST_F(NumEditTest, CodeSetsOnlyValuesInsideTheRangeAndARangeResetsToItsMinimum) {
  EXPECT_FALSE(gain->SetValue(401));
  EXPECT_FALSE(gain->SetValue(-1));
  EXPECT_EQ(gain->GetValue(), 200);
  EXPECT_TRUE(gain->SetValue(400));
  EXPECT_EQ(gain->text(), "20.0");
  gain->SetRange(100, 300);
  EXPECT_EQ(gain->GetValue(), 100);
  EXPECT_EQ(gain->text(), "-10.0");
}

TEST_F(NumEditTest, ModeAndLanguageRedrawTheSameValue) {
  NumEdit delay(2580, host.get());
  delay.SetRange(0, 960);
  delay.SetValue(960);
  delay.SetMode(nummode::kDelayMs);
  EXPECT_EQ(delay.text(), "20.000");
  delay.SetMode(nummode::kDelayCm);
  EXPECT_EQ(delay.text(), "692");
  delay.SetMode(nummode::kDelayMs);
  EXPECT_EQ(delay.GetValue(), 960);

  NumEdit level(1308, host.get());
  level.SetMode(nummode::kLevelDbu);
  level.SetOffset(120);
  level.SetRange(0, 140);
  EXPECT_EQ(level.text(), "OFF");
  level.SetLanguage(Language::Chinese);
  EXPECT_EQ(level.text(), "关闭");
}

TEST_F(NumEditTest, SpinWalksTheFrequencyGridAndStaysInRange) {
  QSignalSpy stepped(spin, &NumSpin::edited);
  EXPECT_TRUE(spin->IsFrequencyStepping());
  EXPECT_EQ(spin->Position(), 20);
  spin->StepDown();
  EXPECT_EQ(freq->GetValue(), 20);
  spin->StepUp();
  EXPECT_EQ(freq->GetValue(), 21);
  ASSERT_TRUE(spin->SetPosition(1000));
  spin->StepUp();
  EXPECT_EQ(freq->text(), "1030Hz");
  ASSERT_TRUE(spin->SetPosition(20000));
  spin->StepUp();
  EXPECT_EQ(spin->Position(), 20000);
  ASSERT_EQ(stepped.size(), 4);  // every step reports, even one that stays
  EXPECT_EQ(stepped[3][0].toInt(), kHighPassSpin);
  EXPECT_EQ(stepped[3][1].toInt(), 20000);

  freq->SetMode(nummode::kInteger);
  EXPECT_FALSE(spin->IsFrequencyStepping());
  spin->StepDown();
  EXPECT_EQ(spin->Position(), 19999);
}

TEST_F(NumEditTest, SpinRefusesValuesOutsideItsRangeNamingTheBox) {
  ASSERT_TRUE(spin->SetPosition(500));
  EXPECT_FALSE(spin->SetPosition(19));
  EXPECT_FALSE(spin->SetPosition(20001));
  EXPECT_EQ(freq->GetValue(), 500);
  freq->SetLanguage(Language::Chinese);
  EXPECT_FALSE(spin->SetPosition(-5));
  EXPECT_EQ(refusals, QStringList({"5500:Data err", "5500:Data err", "5500:数据错误"}));
}

TEST_F(NumEditTest, SpinStepsFromTextTypedButNotYetCommitted) {
  QSignalSpy boxEdited(freq, &NumEdit::edited);
  QSignalSpy spinEdited(spin, &NumSpin::edited);
  Focus(freq);
  QTest::keyClicks(freq, "1000");
  spin->StepUp();
  EXPECT_EQ(freq->GetValue(), 1030);
  EXPECT_EQ(boxEdited.size(), 1);
  EXPECT_EQ(spinEdited.size(), 1);
}

TEST_F(NumEditTest, ClickOnAnArrowStepsOnceAndHoldingRepeats) {
  QSignalSpy stepped(spin, &NumSpin::edited);
  spin->SetPosition(1000);
  Press(spin, QPoint(spin->width() / 2, 2));
  Release(spin, QPoint(spin->width() / 2, 2));
  EXPECT_EQ(spin->Position(), 1030);
  Press(spin, QPoint(spin->width() / 2, spin->height() - 2));
  EXPECT_EQ(spin->Position(), 1000);
  ASSERT_TRUE(stepped.wait(kSignalTimeoutMs));  // the auto-repeat takes over after its pause
  Release(spin, QPoint(spin->width() / 2, spin->height() - 2));
  const int after = spin->Position();
  EXPECT_LT(after, 1000);
  QTest::qWait(NumSpin::kRepeatDelayMs + NumSpin::kRepeatIntervalMs);
  EXPECT_EQ(spin->Position(), after);  // released: no more steps
}

TEST_F(NumEditTest, HighlightAndFocusMarkAreIndependentFlags) {
  gain->SetHighlighted(true);
  gain->SetFocusMark(true);
  EXPECT_TRUE(gain->IsHighlighted());
  gain->SetHighlighted(false);
  EXPECT_TRUE(gain->HasFocusMark());
}

}  // namespace
}  // namespace zelto
