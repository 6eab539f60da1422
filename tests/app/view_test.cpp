// Channel selection, the speaker positions and the top-bar edits of the main form, without a
// processor: what the form shows and what lands in the device image.
#include <gtest/gtest.h>

#include <QTest>

#include "app/car_picture.h"
#include "app/mix_page.h"
#include "app/output_page.h"
#include "app/view_ids.h"
#include "app_harness.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "core/encodings.h"
#include "curves/filter.h"
#include "curves/ui/response_graph.h"

namespace zelto {
namespace {

using testing::StartedEditor;

class ViewTest : public ::testing::Test {
 protected:
  ViewTest() : editor(Language::English, false), view(editor.view()) {
    testing::WaitUntil([&] { return view->AutoConnectDone(); }, std::chrono::milliseconds(5000));
  }

  XPButton* Button(int id) { return view->Control<XPButton>(id); }
  void Click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
  }
  void SetTypes(std::array<std::uint8_t, 8> types) {
    auto table = view->engine().Image().ChannelTypes();
    std::copy(types.begin(), types.end(), table.begin());
    view->RefreshAll();
  }

  StartedEditor editor;
  CZeltoView* view;
};

TEST_F(ViewTest, StartsOnTheFirstChannel) {
  EXPECT_EQ(view->CurrentChannel(), 0);
  EXPECT_TRUE(Button(view_id::kFirstStripSelect)->IsOn());
  EXPECT_TRUE(Button(view_id::kFirstCurveButton)->IsOn());
  EXPECT_EQ(view->Car()->Highlighted(), 1);
  EXPECT_EQ(view->Graph()->channelIndex(), 0);
  EXPECT_EQ(view->Graph()->mode(), CFStatic::Mode::Output);
}

TEST_F(ViewTest, StripSelectMakesAChannelCurrentEverywhere) {
  Click(Button(view_id::kFirstStripSelect + 3));
  EXPECT_EQ(view->CurrentChannel(), 3);
  EXPECT_EQ(view->ui().currentChannel, 3);
  EXPECT_FALSE(Button(view_id::kFirstStripSelect)->IsOn());
  EXPECT_TRUE(Button(view_id::kFirstStripSelect + 3)->IsOn());
  // The previous channel's curve button returns to its own flag (off), the new one shows.
  EXPECT_FALSE(Button(view_id::kFirstCurveButton)->IsOn());
  EXPECT_TRUE(Button(view_id::kFirstCurveButton + 3)->IsOn());
  // Type 11 (front-right mid-low) stands on the front-right woofer position 9.
  EXPECT_EQ(view->Car()->Highlighted(), 9);
  EXPECT_EQ(view->Graph()->channelIndex(), 3);
  EXPECT_EQ(view->Page()->Bound(), &view->engine().Data().Output(3));
}

TEST_F(ViewTest, CurveButtonsToggleOtherChannelsOnly) {
  XPButton* own = Button(view_id::kFirstCurveButton);
  Click(own);
  EXPECT_TRUE(own->IsOn());
  EXPECT_FALSE(view->CurveShown(0));

  XPButton* other = Button(view_id::kFirstCurveButton + 2);
  Click(other);
  EXPECT_TRUE(other->IsOn());
  EXPECT_TRUE(view->CurveShown(2));
  EXPECT_TRUE(view->Graph()->referenceShown(2));
  Click(other);
  EXPECT_FALSE(other->IsOn());
  EXPECT_FALSE(view->Graph()->referenceShown(2));
}

TEST_F(ViewTest, PositionButtonsFollowTheChannelTypes) {
  // Default types: no channel is a front-left mid, so its position is hidden.
  EXPECT_FALSE(view->Car()->Button(2)->isVisible());
  EXPECT_TRUE(view->Car()->Button(14)->isVisible());
  Click(view->Car()->Button(14));  // type 15, channel 4
  EXPECT_EQ(view->CurrentChannel(), 4);

  SetTypes({6, 5, 13, 0, 13, 0, 0, 0});
  EXPECT_TRUE(view->Car()->Button(3)->isVisible());
  EXPECT_FALSE(view->Car()->Button(1)->isVisible());
  Click(view->Car()->Button(3));  // types 5 and 6: the first of them
  EXPECT_EQ(view->CurrentChannel(), 0);
  Click(view->Car()->Button(13));  // two channels of type 13: the later one
  EXPECT_EQ(view->CurrentChannel(), 4);
}

TEST_F(ViewTest, DelayBoxEditsItsChannelAndSelectsIt) {
  NumEdit* box = view->Car()->DelayBox(9);  // type 11 on channel 3
  ASSERT_NE(box, nullptr);
  ASSERT_NE(box->Spin(), nullptr);
  box->Spin()->StepUp();
  EXPECT_EQ(view->engine().Data().Output(3).Delay(), 1);
  EXPECT_EQ(view->CurrentChannel(), 3);
  EXPECT_EQ(view->engine().Data().Output(0).Delay(), 0);
}

TEST_F(ViewTest, MasterVolumeLandsInTheImageAndNothingIsQueuedWhileDisconnected) {
  auto* slider = view->Control<BitmapSlider>(view_id::kMasterVolumeSlider);
  auto* box = view->Control<NumEdit>(view_id::kMasterVolumeBox);
  ASSERT_NE(slider, nullptr);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->GetValue(), 60);
  EXPECT_EQ(box->text(), QStringLiteral("0dB"));
  QTest::keyClick(slider, Qt::Key_Left);  // horizontal: left lowers the value
  const DeviceImage& image = view->engine().Image();
  EXPECT_EQ(image.MasterVolume(), 59);
  EXPECT_EQ(box->GetValue(), 59);
  EXPECT_EQ(image.sourceVolumes[0], 59);
  EXPECT_EQ(view->engine().Queue().Count(), 0u);
}

TEST_F(ViewTest, MasterMuteAndDspSwitchFlipTheirBytes) {
  DeviceImage& image = view->engine().Image();
  const auto mute0 = image.MasterSwitch();
  Click(Button(view_id::kMasterMute));
  EXPECT_NE(image.MasterSwitch(), mute0);
  EXPECT_EQ(Button(view_id::kMasterMute)->IsOn(), image.MasterSwitch() != 0);
  const auto dsp0 = image.SystemSettings()[sys::kDspSwitch];
  Click(view->Control<QWidget>(view_id::kDspSwitch));
  EXPECT_NE(image.SystemSettings()[sys::kDspSwitch], dsp0);
}

TEST_F(ViewTest, DeviceSideChangesAreShownAndNotEchoed) {
  view->HandleNotice(Notice::DeviceSource, 4, 0);
  EXPECT_EQ(view->Control<ComBoxBtn>(view_id::kSourceList)->CurrentText(), QStringLiteral("Coaxial"));
  EXPECT_EQ(view->engine().Image().InputSource(), 4);
  view->HandleNotice(Notice::DeviceVolume, 30, 0);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kMasterVolumeBox)->GetValue(), 30);
  EXPECT_EQ(view->Control<BitmapSlider>(view_id::kMasterVolumeSlider)->Value(), 30);
  view->HandleNotice(Notice::DeviceMute, 0, 0);
  EXPECT_FALSE(Button(view_id::kMasterMute)->IsOn());
  EXPECT_EQ(view->engine().Image().MasterSwitch(), 0);
  EXPECT_EQ(view->engine().Queue().Count(), 0u);
}

TEST_F(ViewTest, SourceAboveTheListIsShownAndKeptAsTheLast) {
  view->engine().Image().systemArea[sys::kSource] = 9;
  view->RefreshAll();
  EXPECT_EQ(view->engine().Image().InputSource(), 5);
  EXPECT_EQ(view->Control<ComBoxBtn>(view_id::kSourceList)->Selection(), 5);
}

TEST_F(ViewTest, StripGainShowsOnLinkedStripsOnly) {
  DeviceImage& image = view->engine().Image();
  image.linkGroups[1] = 0;  // channel 1 joins channel 0's group
  auto* slider0 = view->Control<BitmapSlider>(view_id::kFirstStripGainSlider);
  QTest::keyClick(slider0, Qt::Key_Down);  // vertical: down lowers the gain
  const int g = view->engine().Data().Output(0).GainCode();
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox)->GetValue(), g);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox + 1)->GetValue(),
            view->engine().Data().Output(1).GainCode());
  EXPECT_EQ(view->engine().Data().Output(1).GainCode(), g);
  EXPECT_NE(view->engine().Data().Output(2).GainCode(), g);
}

TEST_F(ViewTest, EnterMovesTheFocusToTheFormAndCommits) {
  view->window()->activateWindow();
  auto* box = view->Control<NumEdit>(view_id::kMasterVolumeBox);
  box->setFocus();
  if (!box->hasFocus()) GTEST_SKIP() << "the platform gives no keyboard focus";
  box->selectAll();
  QTest::keyClicks(box, QStringLiteral("-20"));
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_FALSE(box->hasFocus());
  EXPECT_EQ(box->GetValue(), 40);
  EXPECT_EQ(view->engine().Image().MasterVolume(), 40);
  EXPECT_TRUE(view->window()->isVisible());
}

TEST_F(ViewTest, BandCellsShowTheirWholeTextInBothLanguages) {
  OutputPage* page = view->Page();
  // The widest texts each row shows: a six-character Q, a five-digit frequency, a negative gain.
  const auto wholeTextShown = [](NumEdit* box) {
    box->grab();  // lays the text out as a repaint does
    const int y = box->height() / 2;
    return box->cursorPositionAt(QPoint(1, y)) == 0 &&
           box->cursorPositionAt(QPoint(box->width() - 2, y)) == box->text().size();
  };
  for (Language lang : {Language::English, Language::Chinese}) {
    page->SetLanguage(lang);
    for (int k = 0; k < OutputPage::kBands; ++k) {
      page->QBox(k)->SetValue(0);
      page->FrequencyBox(k)->SetValue(20000);
      page->GainBox(k)->SetValue(0);
      for (NumEdit* box : {page->QBox(k), page->FrequencyBox(k), page->GainBox(k)})
        EXPECT_TRUE(wholeTextShown(box)) << "band " << k + 1 << " shows only part of " << box->text().toStdString();
    }
  }
  EXPECT_EQ(page->QBox(0)->text().size(), 6);
}

TEST_F(ViewTest, CurveButtonOfChannelEightLetGoAfterARefresh) {
  view->SelectChannel(7);
  view->RefreshAll();
  view->SelectChannel(0);
  // "CH7/8" shows its own flag again, which is off.
  EXPECT_FALSE(Button(view_id::kFirstCurveButton + 6)->IsOn());
  EXPECT_TRUE(Button(view_id::kFirstCurveButton)->IsOn());
}

TEST_F(ViewTest, BothSlopeListsNameWhatEachCodeMeans) {
  for (Language lang : {Language::English, Language::Chinese}) {
    if (view->ui().language != lang) view->SwitchLanguage();
    for (ComBoxBtn* list :
         {view->Control<ComBoxBtn>(view_id::kHighPassSlope), view->Control<ComBoxBtn>(view_id::kLowPassSlope),
          view->Page()->HighPassSlope(), view->Page()->LowPassSlope()}) {
      ASSERT_NE(list, nullptr);
      ASSERT_EQ(list->Count(), 8);
      for (int code : {slope_code::k12, slope_code::k18, slope_code::k24, slope_code::k36, slope_code::k48})
        EXPECT_EQ(list->ItemText(code).toStdString(), SlopeName(code, false)) << list->objectName().toStdString();
      EXPECT_EQ(list->ItemText(slope_code::kOff),
                lang == Language::Chinese ? QStringLiteral("关闭") : QStringLiteral("OFF"));
    }
  }
}

TEST_F(ViewTest, MixSlidersTakeTheArrowKeysReversed) {
  view->OpenMixer();
  MixPage* mixer = view->Mixer();
  ASSERT_NE(mixer, nullptr);
  BitmapSlider* slider = mixer->Slider(1, 2);
  slider->SetValue(30);
  QTest::keyClick(slider, Qt::Key_Up);
  EXPECT_EQ(slider->Value(), 31);
  QTest::keyClick(slider, Qt::Key_Right);
  QTest::keyClick(slider, Qt::Key_Right);
  EXPECT_EQ(slider->Value(), 29);
  EXPECT_EQ(mixer->Field(1, 2)->GetValue(), 29);
  mixer->close();
}

}  // namespace
}  // namespace zelto
