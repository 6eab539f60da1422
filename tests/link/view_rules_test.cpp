#include "link/view_rules.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

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


// ---- linking --------------------------------------------------------------------------------

DeviceImage ImageWithTypes(std::array<std::uint8_t, 12> types) {
  DeviceImage image;
  InitDeviceImage(image);
  std::copy(types.begin(), types.end(), image.ChannelTypes().begin());
  return image;
}

TEST(LinkRules, DefaultTypesPairThreeChannelPairs) {
  DeviceImage image = ImageWithTypes(kDefaultTypes);
  EXPECT_EQ(BuildLinkPairs(image), 3);
  EXPECT_EQ(PairPartner(image, 0), 1);
  EXPECT_EQ(PairPartner(image, 3), 2);
  EXPECT_EQ(PairPartner(image, 5), 4);
  EXPECT_EQ(PairPartner(image, 6), std::nullopt);  // the subwoofer has no counterpart
  const auto copies = LinkActivePairs(image, CopyDirection::LeftToRight);
  EXPECT_EQ(copies, (std::vector<ChannelCopy>{{0, 1}, {2, 3}, {4, 5}}));
  EXPECT_TRUE(image.SameLinkGroup(0, 1));
  EXPECT_FALSE(image.SameLinkGroup(1, 2));
  EXPECT_EQ(LinkGroup(image, 3), (std::vector<int>{2, 3}));
}

TEST(LinkRules, RightToLeftCopiesTheOtherWay) {
  DeviceImage image = ImageWithTypes(kDefaultTypes);
  BuildLinkPairs(image);
  EXPECT_EQ(LinkActivePairs(image, CopyDirection::RightToLeft), (std::vector<ChannelCopy>{{1, 0}, {3, 2}, {5, 4}}));
}

TEST(LinkRules, PairingEdges) {
  // Two front-left tweeters and one right: only the later left one pairs.
  DeviceImage twoLeft = ImageWithTypes({1, 1, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(BuildLinkPairs(twoLeft), 1);
  EXPECT_EQ(PairPartner(twoLeft, 2), 1);
  EXPECT_EQ(PairPartner(twoLeft, 0), std::nullopt);
  // Centre speakers and the plain subwoofer never pair; one side alone stays inactive.
  DeviceImage centre = ImageWithTypes({19, 20, 21, 24, 22, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(BuildLinkPairs(centre), 0);
  EXPECT_EQ(centre.linkPairs[9].active, 0);
  EXPECT_EQ(centre.linkPairs[9].first, 4);
  // A type byte beyond the eight output channels names no channel to copy into.
  DeviceImage beyond = ImageWithTypes({1, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0});
  EXPECT_EQ(BuildLinkPairs(beyond), 0);
  EXPECT_TRUE(LinkActivePairs(beyond, CopyDirection::LeftToRight).empty());
}

TEST(LinkRules, JoiningAGroupTwiceCopiesOnce) {
  DeviceImage image = ImageWithTypes(kDefaultTypes);
  EXPECT_EQ(JoinLinkGroup(image, 0, 1), (std::vector<ChannelCopy>{{0, 1}}));
  EXPECT_TRUE(JoinLinkGroup(image, 0, 1).empty());
  // A third member takes the settings of every member already there.
  EXPECT_EQ(JoinLinkGroup(image, 0, 6), (std::vector<ChannelCopy>{{0, 6}, {1, 6}}));
  ClearLinks(image);
  for (int ch = 0; ch < kOutputChannels; ++ch) EXPECT_EQ(LinkGroup(image, ch), std::vector<int>{ch});
  for (const auto& pair : image.linkPairs) EXPECT_EQ(pair.active, 0);
}

// ---- crossover and block sends --------------------------------------------------------------

TEST(CrossoverRules, LimitsOfTheFormAndThePage) {
  EXPECT_EQ(LimitHighPass(5000, 2000), 2000);
  EXPECT_EQ(LimitHighPass(80, 2000), 80);
  EXPECT_EQ(LimitLowPass(300, 100), 300);
  // Channel 5's high-pass on the page: at most 100 Hz, or the low-pass below that.
  EXPECT_EQ(LimitPageHighPass(5, 250, 20000), 100);
  EXPECT_EQ(LimitPageHighPass(5, 250, 80), 80);
  EXPECT_EQ(LimitPageHighPass(5, 60, 20000), 60);
  EXPECT_EQ(LimitPageHighPass(4, 250, 20000), 250);
  EXPECT_EQ(LimitPageHighPass(4, 5000, 2000), 2000);
}

TEST(BlockSendRules, MuteBlocksRestoreInOrderAndTheLastBlockFinishes) {
  using K = BlockSend::Kind;
  const std::vector<int> group = {0, 1};
  EXPECT_EQ(BracketedBlockSends(group, group, true),
            (std::vector<BlockSend>{{K::Mute, 0}, {K::Mute, 1}, {K::Block, 0}, {K::Block, 1, true}, {K::Restore, 0},
                                    {K::Restore, 1}}));
  // The form's reset of one channel still mutes the whole group; unlinked, nothing is flagged.
  const std::vector<int> one = {1};
  EXPECT_EQ(BracketedBlockSends(group, one, false),
            (std::vector<BlockSend>{{K::Mute, 0}, {K::Mute, 1}, {K::Block, 1}, {K::Restore, 0}, {K::Restore, 1}}));
  // Link copies: the flag goes on the last copy, not on channel 1's.
  const std::vector<ChannelCopy> copies = {{0, 1}, {2, 3}, {4, 5}};
  EXPECT_EQ(CopyBlockSends(copies, true), (std::vector<BlockSend>{{K::Block, 1}, {K::Block, 3}, {K::Block, 5, true}}));
  EXPECT_TRUE(CopyBlockSends({}, true).empty());
}

// ---- mix page and source volumes ------------------------------------------------------------

TEST(MixRules, FieldsAndVolumesLandInTheImage) {
  DeviceImage image;
  InitDeviceImage(image);
  EXPECT_TRUE(StoreMixPageField(image, 0, 12));
  EXPECT_TRUE(StoreMixPageField(image, 1, 300));
  EXPECT_FALSE(StoreMixPageField(image, 1, 255));
  EXPECT_FALSE(StoreMixPageField(image, 2, 1));
  EXPECT_EQ(image.mixPageFlags[0], 0);
  EXPECT_EQ(image.mixPageFlags[1], 12);
  EXPECT_EQ(image.mixPageFlags[2], 255);

  EXPECT_TRUE(StoreSourceVolume(image, 3, 120));
  EXPECT_EQ(image.sourceVolumes[3], 100);
  EXPECT_FALSE(StoreSourceVolume(image, 5, 10));
  EXPECT_EQ(NextSourceVolumeColumn(0), 1);
  EXPECT_EQ(NextSourceVolumeColumn(4), 0);
}

}  // namespace
}  // namespace zelto::view_rules
