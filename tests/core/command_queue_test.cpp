#include "core/command_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/batch.h"
#include "core/bytes.h"
#include "core/frame.h"
#include "core/update_steps.h"

namespace zelto {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Posted {
  Notice notice;
  std::intptr_t wParam;
  std::intptr_t lParam;
  bool operator==(const Posted&) const = default;
};

class RecordingSink final : public NoticeSink {
 public:
  void Post(Notice n, std::intptr_t w, std::intptr_t l) noexcept override { posted.push_back({n, w, l}); }
  std::vector<Posted> posted;
};

// A reply frame as the processor sends it, with a correct check byte unless told otherwise.
Bytes Reply(Command cmd, int slot = 0, std::uint8_t type = 0, int channel = 0, std::uint8_t byte9 = 0,
            const Bytes& payload = {}) {
  Bytes f(payload.size() + frame::kOverhead);
  f[0] = f[1] = f[2] = kSyncByte;
  f[3] = kSyncEndByte;
  f[frame::kCommand] = static_cast<std::uint8_t>(cmd);
  f[frame::kDeviceId] = kDeviceId;
  f[frame::kSlot] = static_cast<std::uint8_t>(slot);
  f[frame::kBlockType] = type;
  f[frame::kChannel] = static_cast<std::uint8_t>(channel);
  f[frame::kItemIndex] = byte9;
  PutU16(f, frame::kPayloadLength, static_cast<std::uint16_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), f.begin() + frame::kHeaderSize);
  f[f.size() - 2] = FrameCheck(f);
  f.back() = kEndByte;
  return f;
}

Bytes Data(BlockType type, int slot, int channel, std::uint8_t byte9, const Bytes& payload) {
  return Reply(Command::Data, slot, static_cast<std::uint8_t>(type), channel, byte9, payload);
}

Bytes SystemData(SystemItem item, int slot, const Bytes& payload) {
  return Data(BlockType::System, slot, static_cast<int>(item), 0, payload);
}

Bytes Pattern(std::size_t n, std::uint8_t first = 1) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), first);
  return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Field by field, so that padding never decides.
bool SameImage(const DeviceImage& a, const DeviceImage& b) {
  auto pairs = [](const DeviceImage& i) {
    std::vector<std::tuple<std::int32_t, int, int>> v;
    for (const auto& p : i.linkPairs) v.emplace_back(p.active, p.first, p.second);
    return v;
  };
  return a.systemArea == b.systemArea && a.sourceVolumes == b.sourceVolumes && a.deviceInfoText == b.deviceInfoText &&
         a.delayMemory == b.delayMemory && a.mixPageFlags == b.mixPageFlags && a.currentPreset == b.currentPreset &&
         a.editorBytes == b.editorBytes && a.live == b.live && pairs(a) == pairs(b) && a.linkGroups == b.linkGroups &&
         a.editorVariables == b.editorVariables && a.deviceInfoItem == b.deviceInfoItem &&
         a.sourceSlots == b.sourceSlots && a.presetSlots == b.presetSlots;
}

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDeviceImage(img); }

  // Queues `n` status polls as stand-ins for requests awaiting their reply.
  void Queue(int n = 1) {
    for (int i = 0; i < n; ++i) cmd.Push(fb.BuildStatusPoll());
  }
  bool Feed(const Bytes& chunk) { return cmd.Receive(chunk); }

  DeviceImage img;
  RecordingSink sink;
  CKTVCommand cmd{img, sink};
  FrameBuilder fb{img};
};

// ---- Finding frames in the byte stream ----

TEST_F(QueueTest, FramesStartAfterExactlyThreeSyncBytesOrAnEeByte) {
  const Bytes ack = Reply(Command::Ack);
  const Bytes body(ack.begin() + 3, ack.end());  // from the A3 byte on
  Bytes eeFrame = body;
  eeFrame[0] = kAltStartByte;
  Bytes otherEnd = body;
  otherEnd[0] = 0x00;  // the byte after the three A2 is not examined
  struct Case {
    const char* name;
    Bytes stream;
    bool handled;
  };
  const Case cases[] = {
      {"three A2", ack, true},
      {"four A2", Cat({kSyncByte}, ack), false},
      {"five A2", Cat({kSyncByte, kSyncByte}, ack), false},
      {"two A2", Cat({kSyncByte, kSyncByte}, body), false},
      {"noise before", Cat({0x00, 0x13, kSyncByte, 0x55}, ack), true},
      {"EE without sync", Cat({0x00, 0x00}, eeFrame), true},
      {"three A2 then any byte", Cat({kSyncByte, kSyncByte, kSyncByte}, otherEnd), true},
  };
  for (const auto& c : cases) {
    DeviceImage image;
    InitDeviceImage(image);
    RecordingSink s;
    CKTVCommand q{image, s};
    FrameBuilder b{image};
    q.Push(b.BuildStatusPoll());
    EXPECT_EQ(q.Receive(c.stream), c.handled) << c.name;
    EXPECT_EQ(q.Count(), c.handled ? 0u : 1u) << c.name;
  }
}

TEST_F(QueueTest, SyncRunMayEndInOneChunkAndTheFrameStartInTheNext) {
  Queue();
  const Bytes ack = Reply(Command::Ack);
  EXPECT_FALSE(Feed(Bytes(ack.begin(), ack.begin() + 3)));
  EXPECT_TRUE(cmd.Flags().syncSeen);
  EXPECT_TRUE(Feed(Bytes(ack.begin() + 3, ack.end())));
  EXPECT_EQ(cmd.Count(), 0u);
}

TEST_F(QueueTest, FrameSplitAcrossChunksAtEveryPoint) {
  const Bytes reply = Data(BlockType::Output, 0, 3, 0, Pattern(296));
  for (std::size_t cut = 1; cut < reply.size(); ++cut) {
    Queue();
    EXPECT_FALSE(Feed(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(cut)))) << cut;
    // Zero padding ends each report; only the frame's own bytes may count.
    EXPECT_TRUE(Feed(Bytes(reply.begin() + static_cast<std::ptrdiff_t>(cut), reply.end()))) << cut;
    ASSERT_EQ(cmd.Count(), 0u) << cut;
  }
  EXPECT_EQ(img.Block(0, BlockType::Output, 3)[0], 1);
  EXPECT_EQ(img.Block(0, BlockType::Output, 3)[295], static_cast<std::uint8_t>(296));
}

TEST_F(QueueTest, OnlyTheFirstOfTwoFramesInOneChunkIsUsed) {
  Queue(3);
  const Bytes ack = Reply(Command::Ack);
  EXPECT_TRUE(Feed(Cat(ack, ack)));
  EXPECT_EQ(cmd.Count(), 2u);
  // The receiver is ready for the next chunk.
  EXPECT_TRUE(Feed(Cat(ack, Bytes(200, 0))));
  EXPECT_EQ(cmd.Count(), 1u);
}

TEST_F(QueueTest, BrokenFramesAreDroppedAndTheReceiverRecovers) {
  Bytes badCheck = Reply(Command::Ack);
  badCheck[badCheck.size() - 2] ^= 0x01;
  Bytes badEnd = Reply(Command::Ack);
  badEnd.back() = 0xAB;
  Bytes oversized = Reply(Command::Ack);
  PutU16(oversized, frame::kPayloadLength, 388);  // 388 + 13 does not fit the 400-byte collection
  Bytes huge = Reply(Command::Ack);
  PutU16(huge, frame::kPayloadLength, 0xFFFF);
  struct Case {
    const char* name;
    Bytes stream;
  };
  for (const auto& c : {Case{"check byte", badCheck}, Case{"end byte", badEnd}, Case{"declared length", oversized},
                        Case{"declared length 65535", huge}}) {
    cmd.Clear();
    cmd.Flags().Clear();
    Queue();
    EXPECT_FALSE(Feed(c.stream)) << c.name;
    EXPECT_TRUE(cmd.Flags().badFrame) << c.name;
    EXPECT_EQ(cmd.Count(), 1u) << c.name;
    EXPECT_TRUE(Feed(Reply(Command::Ack))) << c.name;
    EXPECT_EQ(cmd.Count(), 0u) << c.name;
  }
}

TEST_F(QueueTest, LargestFrameThatFitsTheCollectionIsAccepted) {
  Queue();
  // 387 payload bytes + 13 = exactly 400 collected bytes. Data of an unknown block type is
  // consumed without touching the queue.
  const Bytes reply = Reply(Command::Data, 0, 0x33, 0, 0, Pattern(387));
  EXPECT_FALSE(Feed(Bytes(reply.begin(), reply.begin() + 312)));  // one full report
  Bytes rest(reply.begin() + 312, reply.end());
  rest.resize(312, 0);
  EXPECT_TRUE(Feed(rest));
  EXPECT_FALSE(cmd.Flags().badFrame);
  EXPECT_EQ(cmd.Count(), 1u);
}

// ---- What each reply does ----

TEST_F(QueueTest, EachReplyKindActsOnTheFrontMessage) {
  // Acknowledgement removes the front message.
  Queue(2);
  EXPECT_TRUE(Feed(Reply(Command::Ack)));
  EXPECT_EQ(cmd.Count(), 1u);

  // Resend rewinds it so it goes out again from its first byte.
  std::array<std::uint8_t, kHidReportSize> report{};
  ASSERT_TRUE(cmd.Front()->MakeHidReport(report));
  EXPECT_EQ(cmd.Front()->sendPosition, cmd.Front()->Length());
  EXPECT_TRUE(Feed(Reply(Command::Resend)));
  EXPECT_EQ(cmd.Count(), 1u);
  EXPECT_EQ(cmd.Front()->sendPosition, 0);

  // A frame with a command the processor never answers with is consumed and changes nothing.
  EXPECT_TRUE(Feed(Reply(Command::Write)));
  EXPECT_EQ(cmd.Count(), 1u);

  // Data of a block type no request uses stores nothing and leaves the request waiting.
  EXPECT_TRUE(Feed(Reply(Command::Data, 0, 0x09, 0, 0, Pattern(8))));
  EXPECT_EQ(cmd.Count(), 1u);

  // An empty data reply raises the empty-reply flag and keeps the request.
  EXPECT_TRUE(Feed(Reply(Command::Data, 0, static_cast<std::uint8_t>(BlockType::Output), 0)));
  EXPECT_EQ(cmd.Count(), 1u);
  EXPECT_TRUE(cmd.Flags().emptyReply);
  EXPECT_EQ(sink.posted, (std::vector<Posted>{{Notice::EmptyReply, 0, 0}}));

  // Data is stored and answers the request.
  EXPECT_TRUE(Feed(SystemData(SystemItem::SourceVolumes, 0, {1, 2, 3, 4, 5, 6, 7, 8})));
  EXPECT_EQ(cmd.Count(), 0u);
  EXPECT_EQ(img.sourceVolumes[7], 8);

  // With nothing queued a reply is still consumed.
  EXPECT_TRUE(Feed(Reply(Command::Ack)));
  EXPECT_EQ(cmd.Count(), 0u);
}

struct StoreCase {
  const char* name;
  BlockType type;
  int slot;
  int channel;
  std::uint8_t byte9;
  std::size_t payload;
  // Where the bytes must land, and how many of them.
  std::span<std::uint8_t> (*target)(DeviceImage&);
  std::size_t stored;
  std::optional<Posted> notice;
};

std::span<std::uint8_t> LiveOut3(DeviceImage& i) { return i.Block(0, BlockType::Output, 3); }
std::span<std::uint8_t> Slot5Out3(DeviceImage& i) { return i.Block(5, BlockType::Output, 3); }
std::span<std::uint8_t> LiveOut7(DeviceImage& i) { return i.Block(0, BlockType::Output, 7); }
std::span<std::uint8_t> Slot6Out7(DeviceImage& i) { return i.Block(6, BlockType::Output, 7); }
std::span<std::uint8_t> Slot2Out7(DeviceImage& i) { return i.Block(2, BlockType::Output, 7); }
std::span<std::uint8_t> Slot2Mic(DeviceImage& i) { return i.Block(2, BlockType::MicIn, 0); }
std::span<std::uint8_t> LiveMusic(DeviceImage& i) { return i.Block(0, BlockType::MusicIn, 2); }
std::span<std::uint8_t> Slot3Music(DeviceImage& i) { return i.Block(3, BlockType::MusicIn, 2); }
std::span<std::uint8_t> LiveFx(DeviceImage& i) { return i.Block(0, BlockType::Effect, 0); }
std::span<std::uint8_t> Slot4Fx(DeviceImage& i) { return i.Block(4, BlockType::Effect, 0); }
std::span<std::uint8_t> Source25Fx(DeviceImage& i) { return i.Source(25).subspan(source::kEffect); }
std::span<std::uint8_t> Source40Fx(DeviceImage& i) { return i.Source(40).subspan(source::kEffect); }

TEST_F(QueueTest, DataRepliesLandInTheirBlock) {
  const StoreCase cases[] = {
      {"output live", BlockType::Output, 0, 3, 0, 296, LiveOut3, 296, {}},
      {"output echo of a recall lands live", BlockType::Output, 5, 3, 0, 296, LiveOut3, 296, {}},
      {"output into slot 5", BlockType::Output, 5, 3, kReadIntoSlot, 296, Slot5Out3, 296, {}},
      {"output marker with slot 0 is live", BlockType::Output, 0, 3, kReadIntoSlot, 296, LiveOut3, 296, {}},
      {"output too long stops at 296", BlockType::Output, 0, 3, 0, 300, LiveOut3, 296, {}},
      {"last live channel", BlockType::Output, 0, 7, kReadIntoSlot, 296, LiveOut7, 296,
       Posted{Notice::LiveReadDone, 0, 0}},
      {"last channel recalled", BlockType::Output, 4, 7, 0, 296, LiveOut7, 296, Posted{Notice::LiveReadDone, 4, 0}},
      {"last channel of slot 6", BlockType::Output, 6, 7, kReadIntoSlot, 296, Slot6Out7, 296,
       Posted{Notice::PresetsReadDone, 6, 0}},
      {"last channel of slot 2", BlockType::Output, 2, 7, kReadIntoSlot, 296, Slot2Out7, 296, {}},
      {"mic into slot 2", BlockType::MicIn, 2, 0, kReadIntoSlot, 112, Slot2Mic, 112, {}},
      {"music live", BlockType::MusicIn, 0, 2, kReadIntoSlot, 112, LiveMusic, 112, {}},
      {"music into slot 3", BlockType::MusicIn, 3, 2, kReadIntoSlot, 112, Slot3Music, 112, {}},
      {"music too long stops at 112", BlockType::MusicIn, 3, 2, kReadIntoSlot, 200, Slot3Music, 112, {}},
      {"effect into source 25", BlockType::Effect, 25, 0, kReadIntoSlot, 96, Source25Fx, 96, {}},
      {"effect into source 40", BlockType::Effect, 40, 0, kReadIntoSlot, 96, Source40Fx, 96,
       Posted{Notice::SourcesReadDone, 40, 0}},
      {"effect into slot 4", BlockType::Effect, 4, 0, kReadIntoSlot, 96, Slot4Fx, 96, {}},
      {"effect marker with slot 0", BlockType::Effect, 0, 0, kReadIntoSlot, 96, LiveFx, 96, {}},
      {"source recalled live", BlockType::Effect, 25, 0, 0, 96, LiveFx, 96, Posted{Notice::SourceRead, 25, 0}},
      {"effect too long stops at 96", BlockType::Effect, 0, 0, 0, 150, LiveFx, 96, {}},
  };
  for (const auto& c : cases) {
    DeviceImage image;
    InitDeviceImage(image);
    RecordingSink s;
    CKTVCommand q{image, s};
    FrameBuilder b{image};
    q.Push(b.BuildStatusPoll());
    const DeviceImage before = image;
    const Bytes payload = Pattern(c.payload, 0x40);
    ASSERT_TRUE(q.Receive(Data(c.type, c.slot, c.channel, c.byte9, payload))) << c.name;
    EXPECT_EQ(q.Count(), 0u) << c.name;

    auto target = c.target(image);
    EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(c.stored), target.begin()))
        << c.name;
    // Nothing outside the target changed.
    DeviceImage expected = before;
    auto expectedTarget = c.target(expected);
    std::copy_n(payload.begin(), c.stored, expectedTarget.begin());
    EXPECT_TRUE(SameImage(expected, image)) << c.name;
    if (c.notice) {
      EXPECT_EQ(s.posted, std::vector<Posted>{*c.notice}) << c.name;
    } else {
      EXPECT_TRUE(s.posted.empty()) << c.name;
    }
  }
}

TEST_F(QueueTest, SystemItemsReplaceAtMostTheirOwnBytes) {
  struct Case {
    SystemItem item;
    std::size_t payload;
    std::span<std::uint8_t> (*target)(DeviceImage&);
  };
  const Case cases[] = {
      {SystemItem::SourceVolumes, 8, [](DeviceImage& i) { return std::span<std::uint8_t>(i.sourceVolumes); }},
      {SystemItem::Settings, 8, [](DeviceImage& i) { return std::span<std::uint8_t>(i.SystemSettings()); }},
      // A long settings reply must not run into the channel types that follow it.
      {SystemItem::Settings, 30, [](DeviceImage& i) { return std::span<std::uint8_t>(i.SystemSettings()); }},
      {SystemItem::ChannelTypes, 12, [](DeviceImage& i) { return std::span<std::uint8_t>(i.ChannelTypes()); }},
      {SystemItem::GroupLevels, 20, [](DeviceImage& i) { return std::span<std::uint8_t>(i.GroupLevels()); }},
      {SystemItem::CurrentPreset, 1, [](DeviceImage& i) { return std::span<std::uint8_t>(i.currentPreset); }},
      {SystemItem::CurrentPreset, 9, [](DeviceImage& i) { return std::span<std::uint8_t>(i.currentPreset); }},
  };
  for (const auto& c : cases) {
    DeviceImage image;
    InitDeviceImage(image);
    RecordingSink s;
    CKTVCommand q{image, s};
    const DeviceImage before = image;
    const Bytes payload = Pattern(c.payload, 0x70);
    ASSERT_TRUE(q.Receive(SystemData(c.item, 0, payload)));
    DeviceImage expected = before;
    auto t = c.target(expected);
    std::copy_n(payload.begin(), std::min(t.size(), payload.size()), t.begin());
    EXPECT_TRUE(SameImage(expected, image)) << static_cast<int>(c.item) << " with " << c.payload << " bytes";
    EXPECT_TRUE(s.posted.empty());
  }
}

TEST_F(QueueTest, PresetNameKeepsThirteenCharactersAndTwoSpaces) {
  const std::string letters = "ABCDEFGHIJKLMNO";
  const Bytes payload = Cat(Bytes(letters.begin(), letters.end()), {0});
  for (int slot : {3, 0}) {
    sink.posted.clear();
    Queue();
    ASSERT_TRUE(Feed(SystemData(SystemItem::PresetName, slot, payload)));
    EXPECT_EQ(cmd.Count(), 0u);
    auto name = img.Preset(slot).subspan(preset::kName, preset::kNameSize);
    EXPECT_EQ(std::string(name.begin(), name.begin() + 15), "ABCDEFGHIJKLM  ") << slot;
    EXPECT_EQ(name[15], 0);
    EXPECT_EQ(sink.posted, (std::vector<Posted>{{Notice::PresetName, slot, 0}}));
  }
  // A name for a slot the image does not have changes nothing.
  const DeviceImage before = img;
  ASSERT_TRUE(Feed(SystemData(SystemItem::PresetName, 30, payload)));
  EXPECT_TRUE(SameImage(before, img));
}

TEST_F(QueueTest, DeviceInfoReplacesTheWholeIdentity) {
  const std::string id = "KVN-734-31EQ-V3.0";
  ASSERT_TRUE(Feed(SystemData(SystemItem::DeviceInfo, 0, Bytes(id.begin(), id.end()))));
  EXPECT_EQ(std::string(img.deviceInfoText.begin(), img.deviceInfoText.end()), id);
  EXPECT_EQ(img.sourceVolumes, (std::array<std::uint8_t, 8>{50, 50, 50, 50, 50, 0, 0, 0}));
  const std::string other = "KVN-9";
  ASSERT_TRUE(Feed(SystemData(SystemItem::DeviceInfo, 0, Bytes(other.begin(), other.end()))));
  EXPECT_STREQ(reinterpret_cast<const char*>(img.deviceInfoText.data()), "KVN-9");
  EXPECT_EQ(sink.posted, (std::vector<Posted>{{Notice::DeviceInfo, 0, 0}, {Notice::DeviceInfo, 0, 0}}));
}

// ---- Status replies and the settle count ----

class StatusTest : public QueueTest {
 protected:
  // One status reply with the given volume, switch and source; returns what it posted.
  std::vector<Posted> Status(std::uint8_t volume, std::uint8_t sw, std::uint8_t source) {
    sink.posted.clear();
    Queue();
    EXPECT_TRUE(Feed(SystemData(SystemItem::Status, 0, {volume, sw, source, 0, 0, 0, 0, 0})));
    EXPECT_EQ(cmd.Count(), 0u);
    return sink.posted;
  }
  // How many replies reporting another volume pass before the first notice.
  int RepliesIgnored() {
    for (int n = 0; n < 1000; ++n)
      if (!Status(33, 1, 0).empty()) return n;
    return -1;
  }
};

TEST_F(StatusTest, DeviceChangesWaitForTheSettleCount) {
  cmd.SetStatusSettleCount(CKTVCommand::kStatusSettleAfterStart);
  EXPECT_EQ(RepliesIgnored(), 20);
  EXPECT_EQ(cmd.StatusSettleCount(), 100);
  cmd.SetStatusSettleCount(0);  // a local master-volume edit
  EXPECT_EQ(RepliesIgnored(), 100);
  EXPECT_EQ(cmd.StatusSettleCount(), 100);
}

TEST_F(StatusTest, OneNoticePerReplyInOrderSourceVolumeMute) {
  cmd.SetStatusSettleCount(CKTVCommand::kStatusSettleLimit);
  const std::uint8_t volume = static_cast<std::uint8_t>(img.MasterVolume());
  EXPECT_EQ(Status(10, 0, 3), (std::vector<Posted>{{Notice::DeviceSource, 3, 0}}));
  EXPECT_EQ(Status(10, 0, 0), (std::vector<Posted>{{Notice::DeviceVolume, 10, 0}}));
  EXPECT_EQ(Status(volume, 0, 0), (std::vector<Posted>{{Notice::DeviceMute, 0, 0}}));
  EXPECT_TRUE(Status(volume, 1, 0).empty());
  // A short status reply is consumed without comparing bytes it does not have.
  Queue();
  sink.posted.clear();
  EXPECT_TRUE(Feed(SystemData(SystemItem::Status, 0, {10})));
  EXPECT_TRUE(sink.posted.empty());
}

// ---- Progress of batches and update steps ----

TEST_F(QueueTest, ReplyProgressFollowsTheFrontMessage) {
  struct Case {
    const char* name;
    std::int32_t standalone, progressStep, endRead, endWrite;
    bool written;
    std::vector<Posted> posted;
  };
  const Case cases[] = {
      {"standalone", 1, 4, 0, 1, true, {{Notice::TransferDone, 0, 0}}},
      {"first of a batch", 0, 0, 0, 0, true, {}},
      {"middle of a batch", 0, 5, 0, 0, true, {{Notice::TransferPosition, 5, 0}}},
      {"end of write batch", 0, 9, 0, 1, true, {{Notice::TransferPosition, 9, 0}, {Notice::TransferDone, 0, 1}}},
      {"end of read batch", 0, 18, 1, 0, true, {{Notice::TransferPosition, 18, 0}, {Notice::TransferDone, 0, 0}}},
      {"read batch end not yet written", 0, 18, 1, 0, false, {{Notice::TransferPosition, 18, 0}}},
      {"batch of one message", 0, 0, 0, 1, true, {{Notice::TransferPosition, 0, 0}, {Notice::TransferDone, 0, 1}}},
  };
  for (const auto& c : cases) {
    cmd.Clear();
    sink.posted.clear();
    auto m = fb.BuildStatusPoll();
    m->standalone = c.standalone;
    m->progressStep = c.progressStep;
    m->endOfReadBatch = c.endRead;
    m->endOfWriteBatch = c.endWrite;
    if (c.written) m->sendPosition = m->Length();
    cmd.Push(std::move(m));
    EXPECT_TRUE(Feed(Reply(Command::Ack)));
    EXPECT_EQ(sink.posted, c.posted) << c.name;
  }
}

TEST_F(QueueTest, UpdateRepliesShowTheProgrammingTextOncePerRun) {
  std::vector<int> hooked;
  cmd.SetUpdateReplyHook([&](int step) { hooked.push_back(step); });
  const UpdateStep steps[] = {UpdateStep::DspStart, UpdateStep::DspHeader, UpdateStep::DspBlock,
                              UpdateStep::DspBlock, UpdateStep::DspBlock,  UpdateStep::DspEnd,
                              UpdateStep::DspBlock, UpdateStep::CtrlBlock, UpdateStep::CtrlBlock};
  for (auto step : steps) {
    auto m = fb.BuildStatusPoll();
    m->updateStep = static_cast<std::int32_t>(step);
    m->progressStep = 1;
    cmd.Push(std::move(m));
    ASSERT_TRUE(Feed(Reply(Command::Ack)));
  }
  const std::vector<std::intptr_t> textDue = {1, 0, 1, 0, 0, 1, 1, 1, 1};
  ASSERT_EQ(sink.posted.size(), std::size(steps));
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(sink.posted[i].notice, Notice::UpdateStatus);
    EXPECT_EQ(sink.posted[i].wParam, static_cast<std::intptr_t>(steps[i]));
    EXPECT_EQ(sink.posted[i].lParam, textDue[i]) << "reply " << i;
    EXPECT_EQ(hooked[i], static_cast<int>(steps[i]));
  }
}

TEST_F(QueueTest, BatchNumbersItsMessagesAndMarksTheLast) {
  {
    Batch batch(cmd, Batch::Kind::Read);
    EXPECT_TRUE(batch.Push(fb.BuildBlockRead(1, BlockType::Output, 0, false)));
    EXPECT_FALSE(batch.Push(fb.BuildItemWrite(BlockType::Output, 0, 99)));  // refused by the builder
    EXPECT_TRUE(batch.Push(fb.BuildBlockRead(1, BlockType::Output, 1, false)));
    EXPECT_TRUE(batch.Push(fb.BuildBlockRead(1, BlockType::Output, 2, false)));
    EXPECT_EQ(batch.Finish(), 3);
  }
  ASSERT_EQ(cmd.Count(), 3u);
  for (int i = 0; i < 3; ++i) {
    auto* m = cmd.Front();
    EXPECT_EQ(m->counted, 1);
    EXPECT_EQ(m->progressStep, i);
    EXPECT_EQ(m->endOfReadBatch, i == 2 ? 1 : 0);
    EXPECT_EQ(m->endOfWriteBatch, 0);
    cmd.PopFront();
  }
  {
    Batch batch(cmd, Batch::Kind::Write);
    batch.Push(fb.BuildSystemWrite(SystemItem::Settings, 0));
  }  // finished on leaving scope
  ASSERT_EQ(cmd.Count(), 1u);
  EXPECT_EQ(cmd.Front()->endOfWriteBatch, 1);
}

// ---- The queue and report cutting ----

TEST_F(QueueTest, ShortFrameGoesOutInOneZeroPaddedReport) {
  auto m = fb.BuildStatusPoll();
  const auto frameBytes = m->Buffer();
  std::array<std::uint8_t, kHidReportSize> report;
  report.fill(0xEE);
  ASSERT_TRUE(m->MakeHidReport(report));
  EXPECT_EQ(report[0], 0);
  EXPECT_TRUE(std::equal(frameBytes.begin(), frameBytes.end(), report.begin() + 1));
  EXPECT_TRUE(std::all_of(report.begin() + 25, report.end(), [](auto b) { return b == 0; }));
  EXPECT_FALSE(m->MakeHidReport(report));
}

TEST_F(QueueTest, LargestFrameFillsOneReportExactly) {
  auto m = fb.BuildBlockWrite(0, BlockType::Output, 0, true, false);
  ASSERT_EQ(m->Length(), 312);
  std::array<std::uint8_t, kHidReportSize> report{};
  ASSERT_TRUE(m->MakeHidReport(report));
  EXPECT_TRUE(std::equal(m->Buffer().begin(), m->Buffer().end(), report.begin() + 1));
  EXPECT_EQ(report[312], kEndByte);
  EXPECT_FALSE(m->MakeHidReport(report));
}

TEST_F(QueueTest, LongBufferIsCutIntoReportsAndRewindStartsAgain) {
  CSendData m;
  const Bytes frameBytes = Cat({kSyncByte, kSyncByte, kSyncByte, kSyncEndByte}, Pattern(396, 7));
  auto buf = std::make_unique<std::uint8_t[]>(frameBytes.size());
  std::copy(frameBytes.begin(), frameBytes.end(), buf.get());
  m.SetBuffer(std::move(buf), static_cast<std::int32_t>(frameBytes.size()));
  m.endOfReadBatch = 1;
  m.endOfWriteBatch = 1;
  std::array<std::uint8_t, kHidReportSize> report{};
  ASSERT_TRUE(m.MakeHidReport(report));
  EXPECT_EQ(m.sendPosition, 312);
  EXPECT_EQ(m.ReadBatchEnded(), 0);
  EXPECT_EQ(m.WriteBatchEnded(), 0);
  m.Rewind();
  ASSERT_TRUE(m.MakeHidReport(report));
  EXPECT_EQ(Bytes(report.begin() + 1, report.begin() + 5), Bytes({0xA2, 0xA2, 0xA2, 0xA3}));
  ASSERT_TRUE(m.MakeHidReport(report));
  EXPECT_TRUE(std::equal(frameBytes.begin() + 312, frameBytes.end(), report.begin() + 1));
  EXPECT_TRUE(std::all_of(report.begin() + 1 + 88, report.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(m.ReadBatchEnded(), 1);
  EXPECT_EQ(m.WriteBatchEnded(), 1);
  EXPECT_FALSE(m.MakeHidReport(report));
}

TEST_F(QueueTest, ClearDestroysEverythingAndTheHalfCollectedReply) {
  Queue(3);
  const Bytes ack = Reply(Command::Ack);
  EXPECT_FALSE(Feed(Bytes(ack.begin(), ack.begin() + 10)));
  cmd.Clear();
  EXPECT_EQ(cmd.Count(), 0u);
  EXPECT_EQ(cmd.Front(), nullptr);
  Queue(1);
  // The rest of the cleared reply is no frame; a whole new one is.
  EXPECT_FALSE(Feed(Bytes(ack.begin() + 10, ack.end())));
  EXPECT_EQ(cmd.Count(), 1u);
  EXPECT_TRUE(Feed(ack));
  EXPECT_EQ(cmd.Count(), 0u);
  // Popping or rewinding an empty queue does nothing.
  EXPECT_FALSE(cmd.PopFront());
  cmd.RewindFront();
  cmd.Push(nullptr);
  EXPECT_EQ(cmd.Count(), 0u);
}

TEST_F(QueueTest, PopFrontClearsTheLinkFlags) {
  Queue(2);
  Bytes bad = Reply(Command::Ack);
  bad.back() = 0;
  Feed(bad);
  EXPECT_TRUE(cmd.Flags().badFrame && cmd.Flags().frameComplete && cmd.Flags().syncSeen);
  EXPECT_TRUE(cmd.PopFront());
  EXPECT_FALSE(cmd.Flags().badFrame || cmd.Flags().frameComplete || cmd.Flags().syncSeen);
}

TEST_F(QueueTest, FeedHidReportTakesAndClearsTheDataBytes) {
  Queue();
  std::array<std::uint8_t, kHidReportSize> report{};
  const Bytes ack = Reply(Command::Ack);
  report[0] = 0x00;
  std::copy(ack.begin(), ack.end(), report.begin() + 1);
  EXPECT_FALSE(cmd.FeedHidReport(report, 0));
  EXPECT_EQ(cmd.Count(), 1u);
  EXPECT_TRUE(cmd.FeedHidReport(report, kHidReportSize));
  EXPECT_EQ(cmd.Count(), 0u);
  EXPECT_TRUE(std::all_of(report.begin(), report.end(), [](auto b) { return b == 0; }));
  // The same report read again carries nothing.
  Queue();
  EXPECT_FALSE(cmd.FeedHidReport(report, kHidReportSize));
  EXPECT_EQ(cmd.Count(), 1u);
}

}  // namespace
}  // namespace zelto
