#include "core/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "core/bytes.h"

namespace zelto {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const SendDataPtr& m) {
  auto b = m->Buffer();
  return {b.begin(), b.end()};
}

class FrameBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDeviceImage(img); }
  DeviceImage img;
  FrameBuilder fb{img};
};

TEST_F(FrameBuilderTest, ExampleFramesAreByteExact) {
  const Bytes factoryReset = {0xA2, 0xA2, 0xA2, 0xA3, 0xB3, 0x01, 0x00, 0x04, 0x89, 0x00, 0x00, 0x00,
                              0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x38, 0xAA};
  const Bytes statusPoll = {0xA2, 0xA2, 0xA2, 0xA3, 0xB4, 0x01, 0x00, 0x04, 0x03, 0x00, 0x00, 0x00,
                            0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBA, 0xAA};
  const Bytes readLiveOut0 = {0xA2, 0xA2, 0xA2, 0xA3, 0xB4, 0x01, 0x00, 0x03, 0x00, 0xAB, 0x00, 0x00,
                              0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x15, 0xAA};
  EXPECT_EQ(Of(fb.BuildSystemWrite(SystemItem::FactoryReset, 0)), factoryReset);
  // Built after a frame that left non-zero payload bytes behind: the poll still carries zeros.
  ASSERT_NE(fb.BuildBlockWrite(0, BlockType::Output, 0, true, false), nullptr);
  EXPECT_EQ(Of(fb.BuildStatusPoll()), statusPoll);
  EXPECT_EQ(Of(fb.BuildBlockRead(0, BlockType::Output, 0, true)), readLiveOut0);
}

// Every frame a builder makes is complete on its own: right length, valid check and end byte.
void ExpectWellFormed(const SendDataPtr& m, std::size_t payload) {
  ASSERT_NE(m, nullptr);
  auto b = m->Buffer();
  ASSERT_EQ(b.size(), payload + frame::kOverhead);
  EXPECT_EQ(b[0], kSyncByte);
  EXPECT_EQ(b[3], kSyncEndByte);
  EXPECT_EQ(b[frame::kDeviceId], kDeviceId);
  EXPECT_EQ(b[frame::kReserved], 0);
  EXPECT_EQ(GetU16(b, frame::kPayloadLength), payload);
  EXPECT_EQ(b[b.size() - 2], FrameCheck(b));
  EXPECT_EQ(b.back(), kEndByte);
}

TEST_F(FrameBuilderTest, ItemWriteLinkFlagFollowsTheItem) {
  img.linkGroups[2] = 5;  // channels 2 and 5 linked
  img.linkGroups[5] = 5;
  struct Case {
    int item;
    std::uint8_t linkedFlag;
  };
  for (const Case c :
       {Case{0, 1}, Case{30, 1}, Case{31, 0}, Case{32, 1}, Case{33, 1}, Case{34, 0}, Case{35, 0}, Case{36, 0}}) {
    auto m = fb.BuildItemWrite(BlockType::Output, 2, c.item);
    ExpectWellFormed(m, frame::kItemSize);
    auto b = m->Buffer();
    EXPECT_EQ(b[frame::kLinkFlag], c.linkedFlag) << "item " << c.item;
    EXPECT_EQ(b[frame::kItemIndex], c.item);
    auto block = img.Block(0, BlockType::Output, 2);
    EXPECT_TRUE(std::equal(b.begin() + frame::kHeaderSize, b.end() - 2, block.begin() + 8 * c.item)) << c.item;
    // The same item of an unlinked channel never carries the flag.
    EXPECT_EQ(fb.BuildItemWrite(BlockType::Output, 3, c.item)->Buffer()[frame::kLinkFlag], 0);
  }
}

TEST_F(FrameBuilderTest, ItemWriteAddressesEachLiveBlock) {
  img.Block(0, BlockType::MusicIn, 2)[8 * 4] = 0x5A;
  img.Block(0, BlockType::MicIn, 0)[8 * 13 + 7] = 0x6B;
  img.Block(0, BlockType::Effect, 0)[8 * 17] = 0x7C;
  auto music = fb.BuildItemWrite(BlockType::MusicIn, 2, 4);
  ExpectWellFormed(music, 8);
  EXPECT_EQ(music->Buffer()[frame::kChannel], 2);
  EXPECT_EQ(music->Buffer()[frame::kHeaderSize], 0x5A);
  EXPECT_EQ(fb.BuildItemWrite(BlockType::MicIn, 0, 13)->Buffer()[frame::kHeaderSize + 7], 0x6B);
  EXPECT_EQ(fb.BuildItemWrite(BlockType::Effect, 0, 17)->Buffer()[frame::kHeaderSize], 0x7C);
}

TEST_F(FrameBuilderTest, RequestsOutsideTheImageAreRefused) {
  EXPECT_EQ(fb.BuildItemWrite(BlockType::Output, 0, 37), nullptr);  // past the 296 sendable bytes
  EXPECT_EQ(fb.BuildItemWrite(BlockType::Output, 8, 0), nullptr);
  EXPECT_EQ(fb.BuildItemWrite(BlockType::MicIn, 0, 14), nullptr);
  EXPECT_EQ(fb.BuildItemWrite(BlockType::MusicIn, 0, 0), nullptr);  // the music input is channel 2
  EXPECT_EQ(fb.BuildItemWrite(std::uint8_t{5}, 0, 0), nullptr);
  EXPECT_EQ(fb.BuildItemWrite(BlockType::Output, 0, -1), nullptr);
  EXPECT_EQ(fb.BuildBlockWrite(21, BlockType::Output, 0, false, false), nullptr);
  EXPECT_EQ(fb.BuildBlockWrite(5, BlockType::Effect, 0, false, false), nullptr);  // not a source slot
  EXPECT_EQ(fb.BuildBlockWrite(0, BlockType::System, 0, true, false), nullptr);
  EXPECT_EQ(fb.BuildBlockRead(300, BlockType::Output, 0, false), nullptr);
  EXPECT_EQ(fb.BuildSystemWrite(SystemItem::PresetName, 21), nullptr);
  EXPECT_EQ(fb.BuildSystemWrite(SystemItem::CurrentPreset, 0), nullptr);
}

TEST_F(FrameBuilderTest, BlockWritesCarryTheWholeBlock) {
  img.linkGroups[1] = 0;  // channels 0 and 1 linked
  img.Block(4, BlockType::Output, 1)[295] = 0x11;
  img.Block(4, BlockType::Output, 1)[296] = 0x99;  // never sent
  img.Source(30)[source::kEffect] = 0x22;
  img.Block(3, BlockType::Effect, 0)[0] = 0x33;

  struct Case {
    int slot;
    BlockType type;
    int channel;
    bool fromLive;
    bool sourceSlot;
    std::size_t payload;
    std::span<const std::uint8_t> from;
    std::uint8_t link;
  };
  const Case cases[] = {
      {0, BlockType::MicIn, 0, true, false, 112, img.Block(0, BlockType::MicIn, 0), 0},
      {2, BlockType::MicIn, 0, false, false, 112, img.Block(2, BlockType::MicIn, 0), 0},
      {4, BlockType::Output, 1, false, false, 296, img.Block(4, BlockType::Output, 1).first(296), 1},
      {0, BlockType::Output, 7, true, false, 296, img.Block(0, BlockType::Output, 7).first(296), 0},
      {0, BlockType::Effect, 0, true, false, 96, img.Block(0, BlockType::Effect, 0).first(96), 0},
      {3, BlockType::Effect, 0, false, true, 96, img.Block(3, BlockType::Effect, 0).first(96), 0},
      {30, BlockType::Effect, 0, false, false, 96, img.Source(30).subspan(16, 96), 0},
  };
  for (const auto& c : cases) {
    auto m = fb.BuildBlockWrite(c.slot, c.type, c.channel, c.fromLive, c.sourceSlot);
    ExpectWellFormed(m, c.payload);
    auto b = m->Buffer();
    EXPECT_EQ(b[frame::kCommand], static_cast<std::uint8_t>(Command::Write));
    EXPECT_EQ(b[frame::kSlot], c.slot);
    EXPECT_EQ(b[frame::kBlockType], static_cast<std::uint8_t>(c.type));
    EXPECT_EQ(b[frame::kChannel], c.channel);
    EXPECT_EQ(b[frame::kItemIndex], 0);
    EXPECT_EQ(b[frame::kLinkFlag], c.link);
    EXPECT_TRUE(std::equal(c.from.begin(), c.from.end(), b.begin() + frame::kHeaderSize))
        << "slot " << c.slot << " type " << static_cast<int>(c.type);
  }
  EXPECT_EQ(fb.BuildBlockWrite(30, BlockType::Effect, 0, false, false)->Buffer()[frame::kHeaderSize], 0x22);
  EXPECT_EQ(fb.BuildBlockWrite(3, BlockType::Effect, 0, false, true)->Buffer()[frame::kHeaderSize], 0x33);
}

TEST_F(FrameBuilderTest, StoringLiveMusicIntoASlotSwitchesItOn) {
  auto music = img.Block(0, BlockType::MusicIn, 2);
  music[in::kSwitch] = 0;
  auto toLive = fb.BuildBlockWrite(0, BlockType::MusicIn, 2, true, false);
  EXPECT_EQ(music[in::kSwitch], 0);
  EXPECT_EQ(toLive->Buffer()[frame::kHeaderSize + in::kSwitch], 0);
  auto toSlot = fb.BuildBlockWrite(3, BlockType::MusicIn, 2, true, false);
  ExpectWellFormed(toSlot, in::kSize);
  EXPECT_EQ(music[in::kSwitch], 1);
  EXPECT_EQ(toSlot->Buffer()[frame::kHeaderSize + in::kSwitch], 1);
}

TEST_F(FrameBuilderTest, BlockReadMarkerChoosesWhereTheReplyLands) {
  struct Case {
    int slot;
    bool intoLive;
    std::uint8_t marker;
  };
  for (const Case c : {Case{0, true, kReadIntoSlot}, Case{0, false, kReadIntoSlot}, Case{3, true, 0},
                       Case{3, false, kReadIntoSlot}, Case{25, false, kReadIntoSlot}}) {
    auto m = fb.BuildBlockRead(c.slot, BlockType::Output, 7, c.intoLive);
    ExpectWellFormed(m, 8);
    auto b = m->Buffer();
    EXPECT_EQ(b[frame::kCommand], static_cast<std::uint8_t>(Command::Read));
    EXPECT_EQ(b[frame::kSlot], c.slot);
    EXPECT_EQ(b[frame::kChannel], 7);
    EXPECT_EQ(b[frame::kItemIndex], c.marker) << "slot " << c.slot << " intoLive " << c.intoLive;
    EXPECT_TRUE(std::all_of(b.begin() + frame::kHeaderSize, b.end() - 2, [](auto v) { return v == 0; }));
  }
}

TEST_F(FrameBuilderTest, SystemItemsHaveTheirPayloads) {
  img.sourceVolumes[4] = 33;
  img.ChannelTypes()[7] = 9;
  const char kName[] = "Evening drive  ";  // 15 characters
  auto name = img.Preset(4).subspan(preset::kName, 16);
  std::copy_n(kName, 15, name.begin());
  name[15] = 'X';  // whatever is stored there, the frame ends the name with a zero

  struct Case {
    SystemItem item;
    std::size_t payload;
    std::span<const std::uint8_t> from;
  };
  const Case cases[] = {
      {SystemItem::SourceVolumes, 8, img.sourceVolumes},  {SystemItem::Settings, 8, img.SystemSettings()},
      {SystemItem::ChannelTypes, 12, img.ChannelTypes()}, {SystemItem::GroupLevels, 8, img.GroupLevels()},
      {SystemItem::PresetName, 16, name.first(15)},       {SystemItem::FactoryReset, 7, {}},
  };
  for (const auto& c : cases) {
    auto m = fb.BuildSystemWrite(c.item, 4);
    ExpectWellFormed(m, c.payload);
    auto b = m->Buffer();
    EXPECT_EQ(b[frame::kSlot], 4);
    EXPECT_EQ(b[frame::kBlockType], static_cast<std::uint8_t>(BlockType::System));
    EXPECT_EQ(b[frame::kChannel], static_cast<std::uint8_t>(c.item));
    EXPECT_TRUE(std::equal(c.from.begin(), c.from.end(), b.begin() + frame::kHeaderSize));
  }
  EXPECT_EQ(fb.BuildSystemWrite(SystemItem::PresetName, 4)->Buffer()[frame::kHeaderSize + 15], 0);

  auto read = fb.BuildSystemRead(SystemItem::DeviceInfo, 0);
  ExpectWellFormed(read, 8);
  EXPECT_EQ(read->Buffer()[frame::kCommand], static_cast<std::uint8_t>(Command::Read));
  EXPECT_EQ(read->Buffer()[frame::kChannel], static_cast<std::uint8_t>(SystemItem::DeviceInfo));
}

TEST_F(FrameBuilderTest, QueuedMessagesKeepTheirBytesAfterLaterBuilds) {
  auto first = fb.BuildItemWrite(BlockType::Output, 0, 31);
  const Bytes before = Of(first);
  fb.BuildBlockWrite(0, BlockType::Output, 1, true, false);
  fb.BuildSystemWrite(SystemItem::FactoryReset, 0);
  EXPECT_EQ(Of(first), before);
}

TEST(FinishFrame, ChecksCommandThroughPayloadOnly) {
  std::array<std::uint8_t, frame::kMaxSize> f{};
  f.fill(0xFF);  // bytes past the frame's length must not reach the buffer
  f[0] = f[1] = f[2] = kSyncByte;
  f[3] = kSyncEndByte;
  const std::uint8_t header[] = {0x66, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00, 0x01, 0x00};
  std::copy(std::begin(header), std::end(header), f.begin() + 4);
  f[14] = 0x80;
  std::array<std::uint8_t, 17> buf{};
  FinishFrame(f, buf);
  EXPECT_EQ(buf[15], 0x66 ^ 0x01 ^ 0x02 ^ 0x03 ^ 0x04 ^ 0x05 ^ 0x06 ^ 0x01 ^ 0x80);
  EXPECT_EQ(buf[16], kEndByte);
  EXPECT_EQ(FrameCheck(buf), buf[15]);
}

TEST_F(FrameBuilderTest, UpdateFramesKeepTheLinkFlagOfThePreviousFrame) {
  img.linkGroups[1] = 0;
  fb.BuildItemWrite(BlockType::Output, 0, 0);  // leaves the link flag set in the shared frame
  const std::uint8_t checksum[] = {0x5D};
  auto end = fb.BuildUpdateFrame(0xB3, checksum);
  ExpectWellFormed(end, 1);
  EXPECT_EQ(end->Length(), 17);
  EXPECT_EQ(end->updateStep, 0xB3);
  const Bytes want = {0xA2, 0xA2, 0xA2, 0xA3, 0xB3, 0x01, 0x00, 0x04, 0xB3, 0x00, 0x01, 0x00, 0x01, 0x00, 0x5D};
  EXPECT_EQ(Bytes(end->Buffer().begin(), end->Buffer().begin() + 15), want);
  EXPECT_EQ(fb.BuildUpdateFrame(0xB2, std::vector<std::uint8_t>(301)), nullptr);
  EXPECT_EQ(fb.BuildUpdateFrame(0xB2, std::vector<std::uint8_t>(296))->Length(), 312);
}

}  // namespace
}  // namespace zelto
