#include "core/device_image.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/bytes.h"

namespace zelto {
namespace {

TEST(DeviceImage, LiveOutputBlocksStartAsTheDefaultsTable) {
  DeviceImage img;
  InitDeviceImage(img);
  const auto defaults = OutputDefaults();
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    auto o = img.Block(0, BlockType::Output, ch);
    ASSERT_EQ(o.size(), out::kSize);
    EXPECT_TRUE(std::equal(defaults.begin(), defaults.end(), o.begin())) << "channel " << ch;
    EXPECT_EQ(o[out::kSwitch], 1);
    EXPECT_EQ(GetU16(o, out::kGain), 60);
    EXPECT_EQ(GetU16(o, out::kCrossover + xover::kHpFrequency), 20);
    EXPECT_EQ(GetU16(o, out::kCrossover + xover::kLpFrequency), 20000);
  }
  // Band 31 sits at 20 kHz, band 26 at the table's 6299 Hz.
  auto o = img.Block(0, BlockType::Output, 3);
  EXPECT_EQ(GetU16(o, 30 * band::kSize), 20000);
  EXPECT_EQ(GetU16(o, 25 * band::kSize), 6299);
  EXPECT_EQ(GetS16(o, 25 * band::kSize + band::kBandwidth), 15);
}

TEST(DeviceImage, StoredSlotsHoldOnlyBlankNames) {
  DeviceImage img;
  InitDeviceImage(img);
  for (int slot = kFirstPresetSlot; slot <= kLastPresetSlot; ++slot) {
    auto p = img.Preset(slot);
    for (std::size_t i = 0; i < p.size(); ++i) {
      const std::uint8_t want = (i < 15 || (i >= 16 && i < 32)) ? 0x20 : 0;
      ASSERT_EQ(p[i], want) << "slot " << slot << " byte " << i;
    }
  }
}

TEST(DeviceImage, SystemItemsStartAsListed) {
  DeviceImage img;
  InitDeviceImage(img);
  EXPECT_EQ(img.MasterVolume(), 60);
  EXPECT_EQ(img.MasterSwitch(), 1);
  const std::array<std::uint8_t, 12> types = {1, 7, 5, 11, 15, 18, 24, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::ranges::equal(img.ChannelTypes(), types));
  EXPECT_EQ(GetS16(img.GroupLevels(), 4), 200);
  EXPECT_EQ(img.sourceVolumes[4], 50);
  EXPECT_EQ(img.sourceVolumes[5], 0);
  EXPECT_EQ(img.deviceInfoItem, 136);
}

TEST(DeviceImage, BlockAddressing) {
  DeviceImage img;
  auto live = img.Preset(0);
  auto slot3 = img.Preset(3);
  EXPECT_EQ(img.Block(0, BlockType::MusicIn, 2).data(), live.data() + preset::kMusicIn);
  EXPECT_TRUE(img.Block(0, BlockType::MusicIn, 3).empty());
  EXPECT_EQ(img.Block(3, BlockType::Output, 7).data(), slot3.data() + preset::kOutput + 7 * out::kSize);
  EXPECT_TRUE(img.Block(0, BlockType::Output, 8).empty());
  EXPECT_TRUE(img.Block(21, BlockType::Output, 0).empty());
  EXPECT_EQ(img.Source(21).size(), source::kSize);
  EXPECT_TRUE(img.Source(41).empty());
}

TEST(DeviceImage, LinkGroupsAreEqualNumbers) {
  DeviceImage img;
  InitDeviceImage(img);
  for (int ch = 0; ch < kOutputChannels; ++ch) EXPECT_FALSE(img.IsChannelLinked(ch));
  img.linkGroups[5] = 2;
  img.linkGroups[6] = 2;
  EXPECT_TRUE(img.IsChannelLinked(2));
  EXPECT_TRUE(img.IsChannelLinked(5));
  EXPECT_TRUE(img.IsChannelLinked(6));
  EXPECT_TRUE(img.SameLinkGroup(5, 6));  // transitive through the shared number
  EXPECT_FALSE(img.IsChannelLinked(0));
  // Entries 8..11 are not channels: a spare entry with the same number links nothing.
  img.linkGroups[9] = 0;
  EXPECT_FALSE(img.IsChannelLinked(0));
}

}  // namespace
}  // namespace zelto
