#include "link/view_rules.h"

#include <gtest/gtest.h>

#include <array>

namespace zelto::view_rules {
namespace {

using Types = std::array<std::uint8_t, 12>;
constexpr Types kDefaultTypes = {1, 7, 5, 11, 15, 18, 24, 0, 0, 0, 0, 0};

TEST(PositionRules, DefaultTypesShowTheirPositionsOnly) {
  // Front-left mid (2) and the centre speakers have no channel with the default types.
  for (int code : {1, 3, 7, 9, 14, 17, 24}) EXPECT_TRUE(PositionShown(kDefaultTypes, code)) << code;
  for (int code : {2, 8, 13, 16, 19, 20, 21, 22, 23}) EXPECT_FALSE(PositionShown(kDefaultTypes, code)) << code;
}

TEST(PositionRules, ChannelForPosition) {
  struct Case {
    Types types;
    int code;
    std::optional<int> channel;
  };
  const Case cases[] = {
      {kDefaultTypes, 1, 0},
      {kDefaultTypes, 9, 3},           // type 11 stands on the front-right woofer position
      {kDefaultTypes, 24, 6},
      {kDefaultTypes, 2, std::nullopt},
      {kDefaultTypes, 99, std::nullopt},
      // Types 5 and 6 both stand on position 3: the first of them is taken.
      {{0, 6, 5, 0, 0, 0, 0, 0}, 3, 1},
      // Two channels of type 13: the rear-left tweeter takes the later one.
      {{13, 0, 13, 0, 0, 0, 0, 0}, 13, 2},
      // Positions 14 and 17 take the first channel of their group.
      {{0, 15, 14, 0, 0, 0, 0, 0}, 14, 1},
      {{0, 0, 0, 18, 17, 0, 0, 0}, 17, 3},
      // A type number beyond the eight output channels is not a channel.
      {{0, 0, 0, 0, 0, 0, 0, 0, 13, 0, 0, 0}, 13, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ChannelForPosition(c.types, c.code), c.channel) << "code " << c.code;
}

TEST(PositionRules, EveryTypeHasOnePositionAndBox) {
  for (int type = 1; type <= 24; ++type) {
    const PositionSpot* spot = SpotOfType(type);
    ASSERT_NE(spot, nullptr) << type;
    EXPECT_EQ(SpotOfButton(spot->buttonId), spot);
  }
  EXPECT_EQ(SpotOfType(0), nullptr);
  EXPECT_EQ(SpotOfType(25), nullptr);
  EXPECT_EQ(SpotOfType(4)->delayBoxId, 2580);
  EXPECT_EQ(SpotOfType(19)->delayBoxId, 2597);
  EXPECT_EQ(DelaySpinOfBox(2597), 2627);
  EXPECT_EQ(DelaySpinOfBox(2585), 2615);
}

TEST(SelectionRules, PressingTheCurrentChannelActsOnlyOnTheSecondStrip) {
  EXPECT_FALSE(SelectButtonActs(0, 0));
  EXPECT_TRUE(SelectButtonActs(0, 3));
  EXPECT_TRUE(SelectButtonActs(1, 1));
  EXPECT_FALSE(CurveButtonActs(4, 4));
  EXPECT_TRUE(CurveButtonActs(4, 5));
}

TEST(SelectionRules, PairPartnerOnlyForActivePairs) {
  DeviceImage image;
  InitDeviceImage(image);
  image.linkPairs[0] = {1, 0, 1};
  image.linkPairs[1] = {0, 2, 3};
  EXPECT_EQ(PairPartner(image, 0), 1);
  EXPECT_EQ(PairPartner(image, 1), 0);
  EXPECT_EQ(PairPartner(image, 2), std::nullopt);
}

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

TEST(UpdateFileSetting, CreatedOnFirstRunReadAfterwards) {
  MemorySettings settings;
  const UpdateFile none;
  EXPECT_EQ(LoadOrCreateUpdateFile(settings, none), none);
  EXPECT_EQ(settings.Get(kUpdateFileKey, kUpdateFileName), std::string());
  EXPECT_EQ(settings.Get(kUpdateFileKey, kUpdateFilePath), std::string());

  settings.Set(kUpdateFileKey, kUpdateFileName, "dsp.mva");
  settings.Set(kUpdateFileKey, kUpdateFilePath, "/home/tech/fw");
  const UpdateFile read = LoadOrCreateUpdateFile(settings, none);
  EXPECT_EQ(read.name, "dsp.mva");
  EXPECT_EQ(read.path, "/home/tech/fw");

  // Longer texts than the buffers hold are cut, never overrun.
  settings.Set(kUpdateFileKey, kUpdateFilePath, std::string(400, 'p'));
  EXPECT_EQ(LoadOrCreateUpdateFile(settings, none).path.size(), kUpdatePathBuffer - 1);
}

}  // namespace
}  // namespace zelto::view_rules
