// Editing through the window against the in-process simulated processor: each edit is made as a
// user makes it (typing into a box, a key on a slider, a button) and checked by what the processor
// received.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include "app/car_picture.h"
#include "edit/channel_rules.h"
#include "edit/editor.h"
#include "app/mix_page.h"
#include "app/output_page.h"
#include "app/transfer_window.h"
#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "curves/ui/response_graph.h"
#include "sim_frames.h"

namespace zelto {
namespace {

using testing::ConnectedEditor;
using testing::IsOutputBlock;
using testing::IsOutputItem;
using testing::WaitForFrame;
using testing::WaitForQuiet;
using testing::WaitUntil;

/// Types `text` into a box and commits it, as leaving the box does.
void Type(NumEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClicks(box, text);
  box->Commit();
}

void Click(QWidget* w) {
  ASSERT_NE(w, nullptr);
  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

class EditTest : public ConnectedEditor {
 protected:
  OutputPage* page() { return view->Page(); }
  CKTV_OutData& channel(int i) { return view->engine().Data().Output(i); }
  void Link(std::array<std::uint8_t, 8> types, int direction) {
    std::copy(types.begin(), types.end(), view->engine().Image().ChannelTypes().begin());
    view->RefreshAll();
    view->SetLinkChoiceHandler([direction] { return std::optional<int>(direction); });
    Click(view->Control<XPButton>(view_id::kLink));
    // The copies go out with the progress window up; the form takes input again after them.
    ASSERT_TRUE(WaitUntil([&] { return !view->TransferShown() && view->isEnabled(); }, testing::kFrameWait));
  }
};

// ---- strips ---------------------------------------------------------------------------------

TEST_F(EditTest, StripGainTypedInTheBoxReachesTheProcessor) {
  Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + 2), QStringLiteral("-12"));
  EXPECT_EQ(channel(2).GainCode(), 48);
  EXPECT_EQ(view->Control<BitmapSlider>(view_id::kFirstStripGainSlider + 2)->Value(), 48);
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 2, out::kItemSwitch); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetS16(f->Payload(), out::kGain - out::kSwitch), 48);

  // The bottom of the slider switches the gain off: the box reads -60dB, the processor gets 0.
  processor().ClearFrameLog();
  QTest::keyClick(view->Control<BitmapSlider>(view_id::kFirstStripGainSlider + 2), Qt::Key_End);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox + 2)->text(), QStringLiteral("-60dB"));
  EXPECT_TRUE(channel(2).GainOff());
  f = WaitForFrame(processor(), [](auto& f) {
    return IsOutputItem(f, 2, out::kItemSwitch) && GetS16(f.Payload(), out::kGain - out::kSwitch) == 0;
  });
  EXPECT_TRUE(f);
}

TEST_F(EditTest, MuteAndPhaseStayWithTheirChannelEvenWhenLinked) {
  Link({1, 7, 0, 0, 0, 0, 0, 0}, 0);
  ASSERT_TRUE(view->LinkActive());
  const bool sound1 = channel(1).OutputSwitch();
  Click(view->Control<XPButton>(view_id::kFirstStripMute));
  Click(view->Control<XPButton>(view_id::kFirstStripPhase));
  EXPECT_EQ(channel(1).OutputSwitch(), sound1);
  EXPECT_EQ(channel(1).Phase(), 0);
  EXPECT_EQ(channel(0).Phase(), 1);
  // The gain does follow.
  QTest::keyClick(view->Control<BitmapSlider>(view_id::kFirstStripGainSlider), Qt::Key_Down);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox + 1)->GetValue(), channel(0).GainCode());
}

// ---- bands ----------------------------------------------------------------------------------

TEST_F(EditTest, BandGainAndFrequencyReachTheProcessorAsBandItems) {
  Type(page()->GainBox(4), QStringLiteral("6"));
  EXPECT_EQ(page()->GainSlider(4)->Value(), 260);
  EXPECT_FALSE(page()->BandSwitch(4)->IsOn());
  EXPECT_EQ(page()->HighlightedBand(), 4);
  EXPECT_EQ(page()->LastEdited(), page()->GainBox(4));
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 0, 4); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), band::kGainCode), 660);

  // A frequency far away travels in octave steps and ends where it was typed.
  Type(page()->FrequencyBox(4), QStringLiteral("1600"));
  f = WaitForFrame(processor(),
                   [](auto& f) { return IsOutputItem(f, 0, 4) && GetU16(f.Payload(), band::kFrequency) == 1600; });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), band::kGainCode), 660);

  // A Q is typed as the box shows it (the table's Q plus 0.025).
  Type(page()->QBox(4), QStringLiteral("1.024"));
  f = WaitForFrame(processor(),
                   [](auto& f) { return IsOutputItem(f, 0, 4) && GetS16(f.Payload(), band::kBandwidth) == 134; });
  EXPECT_TRUE(f);
  EXPECT_EQ(page()->QBox(4)->text(), QStringLiteral("1.024"));
}

TEST_F(EditTest, ASwitchedOffBandShowsZeroAndKeepsItsGain) {
  Type(page()->GainBox(7), QStringLiteral("4.5"));
  Click(page()->BandSwitch(7));
  EXPECT_TRUE(page()->BandSwitch(7)->IsOn());
  EXPECT_EQ(page()->GainBox(7)->text(), QStringLiteral("0.0"));
  EXPECT_EQ(page()->GainSlider(7)->Value(), kBandGainFlatCode);
  auto f = WaitForFrame(processor(), [](auto& f) {
    return IsOutputItem(f, 0, 7) && GetU16(f.Payload(), band::kGainCode) == band::kFlatGainCode;
  });
  EXPECT_TRUE(f);
  // Clicking the box of the off band reports its shown 0.0: that must not become its gain.
  Click(page()->GainBox(7));
  Click(page()->BandSwitch(7));
  EXPECT_FALSE(page()->BandSwitch(7)->IsOn());
  EXPECT_EQ(page()->GainBox(7)->text(), QStringLiteral("4.5"));
}

TEST_F(EditTest, BandEditsOfALinkedChannelChangeItsPartner) {
  Link({1, 7, 0, 0, 0, 0, 0, 0}, 0);
  Type(page()->GainBox(5), QStringLiteral("-3"));
  EXPECT_DOUBLE_EQ(channel(1).Eq().Filter(5).gain(), -3.0);
  Type(page()->FrequencyBox(5), QStringLiteral("700"));
  EXPECT_EQ(channel(1).Eq().Filter(5).frequency(), 700);
  EXPECT_NE(channel(2).Eq().Filter(5).frequency(), 700);
  auto f = WaitForFrame(processor(),
                        [](auto& f) { return IsOutputItem(f, 1, 5) && GetU16(f.Payload(), band::kFrequency) == 700; });
  EXPECT_TRUE(f);
}

TEST_F(EditTest, GraphDragsReachTheRowsAndTheLinkGroup) {
  Link({1, 7, 0, 0, 0, 0, 0, 0}, 0);
  view->engine().Data().Edit([](CKTV_Data& d) {
    d.Output(0).Eq().Filter(3).SetGainCode(280);
    d.Output(0).Eq().HighPass().SetFrequency(150, true);
  });
  emit view->Graph()->filterChanged(3, CFStatic::kOutputCodeBase);
  EXPECT_EQ(page()->GainBox(3)->text(), QStringLiteral("8.0"));
  EXPECT_EQ(channel(1).Eq().Filter(3).gainCode(), 280);
  emit view->Graph()->filterChanged(OutputPage::kBands, CFStatic::kOutputCodeBase);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kHighPassBox)->text(), QStringLiteral("150Hz"));
  EXPECT_EQ(page()->HighPassBox()->GetValue(), 150);
  EXPECT_EQ(channel(1).Eq().HighPass().frequency(), 150);
}

// ---- whole-EQ commands ----------------------------------------------------------------------

TEST_F(EditTest, ResetMutesSendsTheBlockAndUnmutesPerChannelInThisOrder) {
  Link({1, 7, 0, 0, 0, 0, 0, 0}, 0);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  view->engine().Data().Edit([](CKTV_Data& d) {
    d.Output(0).SetOutputSwitch(true);
    d.Output(1).SetOutputSwitch(true);
  });
  Type(page()->GainBox(2), QStringLiteral("5"));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  processor().ClearFrameLog();

  Click(page()->ResetButton());
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(questions[0], QStringLiteral("Whether the reset all EQ?"));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  const auto writes = testing::Writes(processor());
  std::vector<std::pair<char, int>> seen;
  for (const auto& f : writes) {
    if (IsOutputItem(f, f.ChannelOrItem(), out::kItemSwitch))
      seen.push_back({f.Payload()[0] ? 'U' : 'M', f.ChannelOrItem()});
    else if (IsOutputBlock(f, f.ChannelOrItem()))
      seen.push_back({'B', f.ChannelOrItem()});
  }
  const std::vector<std::pair<char, int>> expected = {{'M', 0}, {'M', 1}, {'B', 0}, {'B', 1}, {'U', 0}, {'U', 1}};
  EXPECT_EQ(seen, expected);
  // The blocks carry the default bands: band 2 at 32 Hz, 0 dB, 0.2 octave.
  for (const auto& f : writes) {
    if (!IsOutputBlock(f, 0)) continue;
    const auto b = f.Payload().subspan(2 * band::kSize, band::kSize);
    EXPECT_EQ(GetU16(b, band::kFrequency), 32);
    EXPECT_EQ(GetU16(b, band::kGainCode), band::kFlatGainCode);
    EXPECT_EQ(GetS16(b, band::kBandwidth), 15);
  }
  EXPECT_EQ(page()->GainBox(2)->text(), QStringLiteral("0.0"));
  EXPECT_EQ(page()->FrequencyBox(2)->GetValue(), 32);
  // While linked, the last block's reply closes the progress window again.
  EXPECT_TRUE(WaitUntil([&] { return !view->TransferShown() && view->isEnabled(); }, testing::kFrameWait));
}

TEST_F(EditTest, CancelledQuestionsChangeNothing) {
  answer = false;
  Type(page()->GainBox(2), QStringLiteral("5"));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  processor().ClearFrameLog();
  Click(view->Control<BitButton>(view_id::kEqReset));
  Click(page()->ModeSwitch());
  ASSERT_EQ(questions.size(), 2);
  EXPECT_EQ(questions[1], QStringLiteral("Whether the PEQMode convert to GEQMode?"));
  EXPECT_EQ(page()->GainBox(2)->text(), QStringLiteral("5.0"));
  EXPECT_EQ(page()->EqModeShown(), 0);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_TRUE(testing::Writes(processor()).empty());
}

TEST_F(EditTest, GraphicModeLocksFrequencyAndQAndResetsTheBands) {
  Type(page()->GainBox(9), QStringLiteral("3"));
  Type(page()->FrequencyBox(9), QStringLiteral("150"));
  Click(page()->ModeSwitch());
  EXPECT_EQ(page()->EqModeShown(), 1);
  EXPECT_FALSE(page()->FrequencyBox(9)->isEnabled());
  EXPECT_FALSE(page()->QBox(9)->isEnabled());
  EXPECT_TRUE(page()->GainBox(9)->isEnabled());
  EXPECT_EQ(channel(0).EqMode(), 1);
  EXPECT_EQ(page()->FrequencyBox(9)->GetValue(), 160);
  EXPECT_EQ(page()->GainBox(9)->text(), QStringLiteral("0.0"));
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 0) && f.Payload()[out::kEqMode] == 1; });
  EXPECT_TRUE(f);
  // And back: the bands are reset once more.
  Type(page()->GainBox(9), QStringLiteral("3"));
  Click(page()->ModeSwitch());
  EXPECT_EQ(questions.back(), QStringLiteral("Whether the GEQMode convert to PEQMode?"));
  EXPECT_TRUE(page()->FrequencyBox(9)->isEnabled());
  EXPECT_EQ(page()->GainBox(9)->text(), QStringLiteral("0.0"));
}

TEST_F(EditTest, EqBypassFromAnyOfItsThreeButtons) {
  Type(page()->GainBox(10), QStringLiteral("6"));
  auto* formButton = view->Control<BitButton>(view_id::kEqBypass);
  ASSERT_FALSE(formButton->IsOn());
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  processor().ClearFrameLog();

  Click(formButton);
  EXPECT_TRUE(formButton->IsOn());
  EXPECT_TRUE(page()->EqBypassShown());
  EXPECT_EQ(page()->GainBox(10)->text(), QStringLiteral("0.0"));
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 0); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload().subspan(10 * band::kSize), band::kGainCode), band::kFlatGainCode);

  Click(page()->AllBypassButton());
  EXPECT_FALSE(formButton->IsOn());
  EXPECT_EQ(page()->GainBox(10)->text(), QStringLiteral("6.0"));
  Click(page()->AllBypass());
  EXPECT_TRUE(formButton->IsOn());
}

TEST_F(EditTest, BandsSwitchedOffOneByOneKeepTheBypassOn) {
  // Every band at 0 dB counts as off: the channel reads bypassed and cannot leave it.
  auto* formButton = view->Control<BitButton>(view_id::kEqBypass);
  view->engine().Data().Edit([](CKTV_Data& d) { rules::ResetBands(d, 0); });
  view->RefreshEqPage();
  ASSERT_TRUE(formButton->IsOn());
  processor().ClearFrameLog();
  Click(formButton);
  EXPECT_TRUE(formButton->IsOn());
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_TRUE(testing::Writes(processor()).empty());
}

// ---- crossover ------------------------------------------------------------------------------

TEST_F(EditTest, CrossoverBoxesStopAtEachOtherAndChannelFiveAtOneHundredHertz) {
  auto* lp = view->Control<NumEdit>(view_id::kLowPassBox);
  auto* hp = view->Control<NumEdit>(view_id::kHighPassBox);
  Type(lp, QStringLiteral("2000"));
  Type(hp, QStringLiteral("5000"));
  EXPECT_EQ(hp->GetValue(), 2000);
  EXPECT_EQ(channel(0).Eq().HighPass().frequency(), 2000);
  EXPECT_EQ(page()->HighPassBox()->GetValue(), 2000);
  auto f = WaitForFrame(processor(), [](auto& f) {
    return IsOutputItem(f, 0, out::kItemCrossover) && GetU16(f.Payload(), xover::kHpFrequency) == 2000;
  });
  EXPECT_TRUE(f);

  // The page's high-pass of channel 5 stays at 100 Hz or below.
  view->SelectChannel(5);
  Type(page()->HighPassBox(), QStringLiteral("250"));
  EXPECT_EQ(channel(5).Eq().HighPass().frequency(), 100);
  EXPECT_EQ(page()->HighPassBox()->text(), QStringLiteral("100Hz"));
  EXPECT_EQ(hp->GetValue(), 100);
  Type(page()->LowPassBox(), QStringLiteral("60"));
  EXPECT_EQ(channel(5).Eq().LowPass().frequency(), 100);
  // The form's boxes have no such limit.
  Type(lp, QStringLiteral("20000"));
  Type(hp, QStringLiteral("250"));
  EXPECT_EQ(channel(5).Eq().HighPass().frequency(), 250);
}

TEST_F(EditTest, SlopeListsStoreTheirPosition) {
  auto* slope = view->Control<ComBoxBtn>(view_id::kHighPassSlope);
  ASSERT_EQ(slope->Count(), 8);
  EXPECT_EQ(slope->ItemText(6), QStringLiteral("OFF"));
  emit slope->chosen(view_id::kHighPassSlopeList, 0);
  EXPECT_EQ(channel(0).Eq().HighPass().slope(), 0);
  EXPECT_EQ(page()->HighPassSlope()->Selection(), 0);
  EXPECT_EQ(page()->HighPassSlope()->CurrentText(), QStringLiteral("12dB/Oct"));
  // "24dB/Oct" on the main form is code 2 on the wire, as the graph draws it.
  ASSERT_EQ(slope->ItemText(2), QStringLiteral("24dB/Oct"));
  emit slope->chosen(view_id::kHighPassSlopeList, 2);
  EXPECT_EQ(page()->HighPassSlope()->CurrentText(), QStringLiteral("24dB/Oct"));
  ASSERT_TRUE(WaitForFrame(processor(), [](auto& f) {
    return IsOutputItem(f, 0, out::kItemCrossover) && f.Payload()[xover::kHpSlope] == 2;
  }));
  emit slope->chosen(view_id::kHighPassSlopeList, 6);
  auto f = WaitForFrame(processor(), [](auto& f) {
    return IsOutputItem(f, 0, out::kItemCrossover) && f.Payload()[xover::kHpSlope] == 6;
  });
  EXPECT_TRUE(f);
}

TEST_F(EditTest, LimiterAndOutputGainOfThePage) {
  Type(page()->ThresholdBox(), QStringLiteral("-10"));
  EXPECT_EQ(channel(0).LimiterThreshold(), 200);
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 0, out::kItemLimiter); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetS16(f->Payload(), out::kLimThreshold - out::kItemLimiter * frame::kItemSize), 200);
  emit page()->ReleaseList()->chosen(OutputPage::kReleaseList, 2);
  EXPECT_EQ(channel(0).LimiterRelease(), 2);

  Type(page()->OutputGainBox(), QStringLiteral("-60"));
  EXPECT_TRUE(channel(0).GainOff());
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox)->text(), QStringLiteral("-60dB"));
}

// ---- delay ----------------------------------------------------------------------------------

TEST_F(EditTest, DelayTypedInCentimetres) {
  Click(view->Control<BitButton>(view_id::kDelayUnitCm));
  EXPECT_EQ(view->DelayUnitShown(), CZeltoView::kCentimetres);
  NumEdit* box = view->Car()->DelayBox(9);  // the front-right woofer position: channel 3
  Type(box, QStringLiteral("346"));
  EXPECT_EQ(channel(3).Delay(), 479);
  EXPECT_EQ(box->text(), QStringLiteral("345"));
  EXPECT_EQ(view->CurrentChannel(), 3);
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 3, out::kItemSwitch); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetS16(f->Payload(), out::kDelay - out::kSwitch), 479);
  // Another unit shows the same delay.
  Click(view->Control<BitButton>(view_id::kDelayUnitMs));
  EXPECT_EQ(box->text(), QStringLiteral("9.979"));
  Type(box, QStringLiteral("25"));
  EXPECT_EQ(channel(3).Delay(), 960);
  EXPECT_EQ(box->text(), QStringLiteral("20.000"));
}

// ---- linking --------------------------------------------------------------------------------

TEST_F(EditTest, LinkingCopiesLeftToRightAndSendsTheCopies) {
  view->engine().Data().Edit([](CKTV_Data& d) {
    d.Output(0).Eq().Filter(12).SetGainCode(290);
    d.Output(0).Eq().LowPass().SetFrequency(8000, false);
    d.Output(0).SetGain(41);
  });
  view->SetLinkChoiceHandler([] { return std::optional<int>(0); });
  Click(view->Control<XPButton>(view_id::kLink));
  ASSERT_TRUE(view->LinkActive());
  EXPECT_TRUE(view->Control<XPButton>(view_id::kLink)->IsOn());
  // Default types pair (0, 1), (2, 3) and (4, 5); the right channels become copies of the left.
  EXPECT_EQ(channel(1).Eq().Filter(12).gainCode(), 290);
  EXPECT_EQ(channel(1).Eq().LowPass().frequency(), 8000);
  EXPECT_EQ(channel(1).GainCode(), 41);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox + 1)->GetValue(), 41);
  // The partner is shown selected with the current channel.
  EXPECT_TRUE(view->Control<XPButton>(view_id::kFirstStripSelect + 1)->IsOn());

  ASSERT_TRUE(WaitForQuiet(view, processor()));
  std::vector<int> blocks;
  for (const auto& f : testing::Writes(processor()))
    if (f.PayloadLength() == out::kSendSize) blocks.push_back(f.ChannelOrItem());
  EXPECT_EQ(blocks, (std::vector<int>{1, 3, 5}));
  const auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 1); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload().subspan(12 * band::kSize), band::kGainCode), 400 + 290);
  EXPECT_EQ(GetU16(f->Payload(), out::kCrossover + xover::kLpFrequency), 8000);
  EXPECT_TRUE(WaitUntil([&] { return !view->TransferShown() && view->isEnabled(); }, testing::kFrameWait));

  // Off again: the copies stay, the groups go, nothing is sent.
  processor().ClearFrameLog();
  Click(view->Control<XPButton>(view_id::kLink));
  EXPECT_FALSE(view->LinkActive());
  EXPECT_FALSE(view->engine().Image().IsChannelLinked(0));
  EXPECT_FALSE(view->Control<XPButton>(view_id::kFirstStripSelect + 1)->IsOn());
  EXPECT_EQ(channel(1).GainCode(), 41);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_TRUE(testing::Writes(processor()).empty());
}

TEST_F(EditTest, LinkingRefusedWithoutPairsOrWhenCancelled) {
  view->SetLinkChoiceHandler([] { return std::optional<int>(); });
  Click(view->Control<XPButton>(view_id::kLink));
  EXPECT_FALSE(view->LinkActive());
  EXPECT_TRUE(editor->messages.isEmpty());
  Link({24, 19, 0, 0, 0, 0, 0, 0}, 1);
  EXPECT_FALSE(view->LinkActive());
  ASSERT_EQ(editor->messages.size(), 1);
  EXPECT_EQ(editor->messages[0], QStringLiteral("无通道可以联调"));
}

TEST_F(EditTest, FormResetTakesThePartnerOnlyWhileLinked) {
  Link({1, 7, 0, 0, 0, 0, 0, 0}, 0);
  Type(page()->GainBox(1), QStringLiteral("5"));
  ASSERT_DOUBLE_EQ(channel(1).Eq().Filter(1).gain(), 5.0);
  Click(view->Control<BitButton>(view_id::kEqReset));
  EXPECT_TRUE(channel(1).Eq().Filter(1).IsFlat());
  EXPECT_TRUE(channel(0).Eq().Filter(1).IsFlat());
}

// ---- mix page and source volumes ------------------------------------------------------------

TEST_F(EditTest, MixSliderSetsItsFieldAndSendsTheItemHoldingTheShare) {
  Click(view->Control<BitButton>(view_id::kMixer));
  MixPage* mixer = view->Mixer();
  ASSERT_NE(mixer, nullptr);
  EXPECT_TRUE(mixer->isVisible());
  BitmapSlider* slider = mixer->Slider(2, 3);
  slider->SetValue(39);
  QTest::keyClick(slider, Qt::Key_Up);
  EXPECT_EQ(mixer->Field(2, 3)->GetValue(), 40);
  EXPECT_EQ(channel(2).InputMix()[3], 40);
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 2, out::kItemMixA); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Payload()[3], 40);
  // Column 9 lies in the second mix item.
  Type(mixer->Field(2, 9), QStringLiteral("25"));
  EXPECT_EQ(mixer->Slider(2, 9)->Value(), 25);
  f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 2, out::kItemMixB); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Payload()[9 - 8], 25);
  // Enter commits a field and keeps the window.
  NumEdit* field = mixer->Field(2, 4);
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("55"));
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(channel(2).InputMix()[4], 55);
  EXPECT_TRUE(mixer->isVisible());
  // The top fields stay in the editor.
  Type(mixer->TopField(1), QStringLiteral("12"));
  EXPECT_EQ(view->engine().Image().mixPageFlags[1], 12);

  mixer->close();
  EXPECT_EQ(view->Mixer(), nullptr);
  EXPECT_FALSE(view->Control<BitButton>(view_id::kMixer)->IsOn());
}

TEST_F(EditTest, SourceVolumesAreSentAtOnceAndEnterMovesAlong) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    auto* optical = dialog->findChild<BitmapSlider*>(QStringLiteral("8653"));
    ASSERT_NE(optical, nullptr);
    optical->SetValue(70);
    QTest::keyClick(optical, Qt::Key_Up);
    auto* first = dialog->findChild<NumEdit*>(QStringLiteral("2591"));
    EXPECT_EQ(first->GetValue(), view->engine().Image().sourceVolumes[0]);
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    ran = true;
    dialog->close();
  });
  view->RunMenuCommand(menu_cmd::kSourceVolumeEn);
  ASSERT_TRUE(ran);
  EXPECT_EQ(view->engine().Image().sourceVolumes[3], 71);
  auto f = WaitForFrame(processor(), [](auto& f) { return testing::IsSystemWrite(f, SystemItem::SourceVolumes); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Payload()[3], 71);
}

TEST_F(EditTest, FactoryResetOnlyOnYes) {
  answer = false;
  view->RunMenuCommand(menu_cmd::kFactoryResetEn);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].startsWith(QStringLiteral("After restoring the factory settings")));
  // A refused reset keeps the history; a reset clears it.
  Type(page()->GainBox(3), QStringLiteral("2"));
  EXPECT_TRUE(view->MenuCommandEnabled(menu_cmd::kUndo));
  answer = true;
  view->RunMenuCommand(menu_cmd::kFactoryResetEn);
  auto f = WaitForFrame(processor(), [](auto& f) { return testing::IsSystemWrite(f, SystemItem::FactoryReset); });
  EXPECT_TRUE(f);
  EXPECT_FALSE(view->MenuCommandEnabled(menu_cmd::kUndo));
  EXPECT_EQ(view->StatusText(), QStringLiteral("Undo history cleared"));
  int resets = 0;
  for (const auto& w : testing::Writes(processor())) resets += testing::IsSystemWrite(w, SystemItem::FactoryReset);
  EXPECT_EQ(resets, 1);

  view->SetUpdateRunning(true);
  view->RunMenuCommand(menu_cmd::kFactoryResetEn);
  EXPECT_EQ(editor->messages.back(), QStringLiteral("Don't close up the update!"));
}

// ---- history ----------------------------------------------------------------------------------

namespace history {

QString MenuText(CZeltoView* view, int command) {
  for (const auto& [id, text] : view->SettingsMenuItems())
    if (id == command) return text;
  return {};
}

void PressKeys(CZeltoView* view, QKeySequence keys) {
  QWidget* w = view->window();
  w->activateWindow();
  QTest::keySequence(w, keys);
}

}  // namespace history

TEST_F(EditTest, CtrlZAndCtrlYTakeBackAndReapplyADragAndTheMenuNamesTheStep) {
  using history::MenuText;
  EXPECT_EQ(MenuText(view, menu_cmd::kUndo), QStringLiteral("Undo"));
  EXPECT_FALSE(view->MenuCommandEnabled(menu_cmd::kUndo));
  EXPECT_FALSE(view->MenuCommandEnabled(menu_cmd::kRedo));
  const int oldGain = channel(0).Eq().Filter(4).gainCode();

  // A drag of the band's slider from press to release is one step.
  BitmapSlider* slider = page()->GainSlider(4);
  const QPoint centre = slider->rect().center();
  QTest::mousePress(slider, Qt::LeftButton, {}, centre);
  for (int dy = 4; dy <= 24; dy += 4) QTest::mouseMove(slider, centre - QPoint(0, dy));
  QTest::mouseRelease(slider, Qt::LeftButton, {}, centre - QPoint(0, 24));
  const int draggedGain = channel(0).Eq().Filter(4).gainCode();
  ASSERT_NE(draggedGain, oldGain);
  ASSERT_EQ(view->editor().Steps().Size(), 1u);
  EXPECT_EQ(MenuText(view, menu_cmd::kUndo), QStringLiteral("Undo CH1 band 5 gain"));
  EXPECT_TRUE(view->MenuCommandEnabled(menu_cmd::kUndo));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  processor().ClearFrameLog();

  history::PressKeys(view, QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(channel(0).Eq().Filter(4).gainCode(), oldGain);
  EXPECT_EQ(page()->GainSlider(4)->Value(), oldGain);
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 0, 4); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), band::kGainCode), oldGain + 400);
  EXPECT_EQ(MenuText(view, menu_cmd::kRedo), QStringLiteral("Redo CH1 band 5 gain"));
  EXPECT_FALSE(view->MenuCommandEnabled(menu_cmd::kUndo));

  for (QKeySequence redo : {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
    history::PressKeys(view, redo);
    EXPECT_EQ(channel(0).Eq().Filter(4).gainCode(), draggedGain);
    view->RunMenuCommand(menu_cmd::kUndo);
    EXPECT_EQ(channel(0).Eq().Filter(4).gainCode(), oldGain);
  }
}

TEST_F(EditTest, AHandleDragOnALinkedChannelIsOneStepWithItsPartner) {
  Link({1, 7, 0, 0, 0, 0, 0, 0}, 0);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  CFStatic* graph = view->Graph();
  const auto send = [graph](QEvent::Type type, QPoint pos) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(pos), graph->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(graph, &e);
  };
  constexpr int kBand = 12;
  const int oldGain = channel(0).Eq().Filter(kBand).gainCode();
  ASSERT_EQ(channel(1).Eq().Filter(kBand).gainCode(), oldGain);
  const std::size_t steps = view->editor().Steps().Size();
  processor().ClearFrameLog();

  // Press, drag and release before the graph's change notice is due, as a quick flick does.
  const auto centre = channel(0).Eq().Filter(kBand).pointHandle().Centre();
  const QPoint handle(centre.x, centre.y);
  send(QEvent::MouseMove, handle);
  ASSERT_EQ(graph->selectedIndex(), kBand);
  send(QEvent::MouseButtonPress, handle);
  send(QEvent::MouseMove, handle + QPoint(0, -20));
  send(QEvent::MouseButtonRelease, handle + QPoint(0, -20));
  const int dragged = channel(0).Eq().Filter(kBand).gainCode();
  ASSERT_NE(dragged, oldGain);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(channel(1).Eq().Filter(kBand).gainCode(), dragged);
  EXPECT_EQ(view->editor().Steps().Size(), steps + 1);

  processor().ClearFrameLog();
  view->RunMenuCommand(menu_cmd::kUndo);
  EXPECT_EQ(channel(0).Eq().Filter(kBand).gainCode(), oldGain);
  EXPECT_EQ(channel(1).Eq().Filter(kBand).gainCode(), oldGain);
  for (int ch : {0, 1}) {
    auto f = WaitForFrame(processor(), [ch](auto& f) { return IsOutputItem(f, ch, kBand); });
    ASSERT_TRUE(f) << "channel " << ch;
    EXPECT_EQ(GetU16(f->Payload(), band::kGainCode), oldGain + 400) << "channel " << ch;
  }
}

TEST(EditHistoryChinese, TheMenuNamesTheStepInChinese) {
  testing::StartedEditor editor(Language::Chinese, true);
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
  EXPECT_EQ(history::MenuText(view, menu_cmd::kUndo), QStringLiteral("撤销"));
  Type(view->Page()->GainBox(12), QStringLiteral("3"));
  EXPECT_EQ(history::MenuText(view, menu_cmd::kUndo), QStringLiteral("撤销 CH1 第13段 增益"));
  view->RunMenuCommand(menu_cmd::kUndo);
  EXPECT_EQ(history::MenuText(view, menu_cmd::kRedo), QStringLiteral("重做 CH1 第13段 增益"));
  EXPECT_EQ(history::MenuText(view, menu_cmd::kUndo), QStringLiteral("撤销"));
}

}  // namespace
}  // namespace zelto
