// The top bar's lists and how its edits and the source volumes land in the system settings.

#include <gtest/gtest.h>

#include "edit/system_settings.h"

namespace zelto::rules {
namespace {

TEST(TopBarLists, ExactTexts) {
  EXPECT_EQ(SourceName(0, Language::Chinese), "高电平");
  EXPECT_EQ(SourceName(1, Language::English), "RCA");
  EXPECT_EQ(SourceName(5, Language::English), "Player");
  EXPECT_EQ(SourceName(6, Language::English), "");
  EXPECT_EQ(NoiseGateName(0, Language::Chinese), "关闭");
  EXPECT_EQ(NoiseGateName(0, Language::English), "Close");
  EXPECT_EQ(NoiseGateName(1, Language::Chinese), "-110dB");
  EXPECT_EQ(NoiseGateName(8, Language::English), "-80dB");
}

TEST(TopBarEdits, MasterVolumeAlsoFillsTheCurrentSourcesSlot) {
  DeviceImage image;
  InitDeviceImage(image);
  StoreInputSource(image, 3);  // Optical shares slot 3 with Coaxial
  EXPECT_TRUE(StoreMasterVolume(image, 42));
  EXPECT_EQ(image.MasterVolume(), 42);
  EXPECT_EQ(image.sourceVolumes[3], 42);
  EXPECT_EQ(image.sourceVolumes[4], 50);
  EXPECT_FALSE(StoreMasterVolume(image, 42));
  StoreInputSource(image, 5);
  StoreMasterVolume(image, 7);
  EXPECT_EQ(image.sourceVolumes[4], 7);
}

TEST(TopBarEdits, SourceIsClampedAndCopiedForTheEditor) {
  DeviceImage image;
  InitDeviceImage(image);
  StoreInputSource(image, 9);
  EXPECT_EQ(image.InputSource(), 5);
  EXPECT_EQ(image.editorBytes[kEditorSourceCopy], 5);
  // The copy never touches the number of the preset last loaded.
  EXPECT_EQ(image.currentPreset[0], 0);
  image.systemArea[sys::kSource] = 200;
  EXPECT_EQ(ShownSource(image), 5);
}

TEST(TopBarEdits, SwitchesAndGate) {
  DeviceImage image;
  InitDeviceImage(image);
  EXPECT_TRUE(StoreDspSwitch(image, !image.SystemSettings()[sys::kDspSwitch]));
  StoreMasterSwitch(image, false);
  EXPECT_EQ(image.MasterSwitch(), 0);
  StoreNoiseGate(image, 4);
  EXPECT_EQ(image.SystemSettings()[sys::kNoiseGate], 4);
}

TEST(SourceVolumeRules, SlotsAreLimitedAndEnterWrapsAround) {
  DeviceImage image;
  InitDeviceImage(image);
  EXPECT_TRUE(StoreSourceVolume(image, 3, 120));
  EXPECT_EQ(image.sourceVolumes[3], 100);
  EXPECT_FALSE(StoreSourceVolume(image, 5, 10));
  EXPECT_EQ(NextSourceVolumeColumn(0), 1);
  EXPECT_EQ(NextSourceVolumeColumn(4), 0);
}

}  // namespace
}  // namespace zelto::rules
