#include "sim/sim_processor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/bytes.h"
#include "core/command_queue.h"
#include "core/frame.h"
#include "core/notice.h"
#include "sim/sim_transport.h"

namespace zelto::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Report = std::array<std::uint8_t, kHidReportSize>;

constexpr std::uint8_t Code(Command c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t Code(UpdateStep s) { return static_cast<std::uint8_t>(s); }

// The reply frame an input report carries, from its first sync byte; empty when there is none.
Bytes FrameIn(const Report& report) {
  const auto data = std::span(report).subspan(1);
  if (data[0] != kSyncByte || data[1] != kSyncByte || data[2] != kSyncByte || data[3] != kSyncEndByte) return {};
  const std::size_t length = GetU16(data, frame::kPayloadLength) + frame::kOverhead;
  if (length > data.size()) return {};
  return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
}

std::span<const std::uint8_t> PayloadOf(const Bytes& f) {
  return std::span(f).subspan(frame::kHeaderSize, GetU16(f, frame::kPayloadLength));
}

bool CheckByteRight(const Bytes& f) { return f.size() >= frame::kOverhead && f[f.size() - 2] == FrameCheck(f); }

Bytes Raw(std::span<const std::uint8_t> s) { return Bytes(s.begin(), s.end()); }

// An update-step frame as the update transfer sends it.
SendDataPtr UpdateFrame(UpdateStep step, std::span<const std::uint8_t> payload) {
  std::array<std::uint8_t, frame::kMaxSize> work{};
  work.fill(0);
  work[0] = work[1] = work[2] = kSyncByte;
  work[3] = kSyncEndByte;
  work[frame::kCommand] = Code(Command::Write);
  work[frame::kDeviceId] = kDeviceId;
  work[frame::kBlockType] = static_cast<std::uint8_t>(BlockType::System);
  work[frame::kChannel] = Code(step);
  PutU16(work, frame::kPayloadLength, static_cast<std::uint16_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), work.begin() + frame::kHeaderSize);
  const auto length = static_cast<std::int32_t>(payload.size() + frame::kOverhead);
  auto buffer = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(length));
  FinishFrame(work, std::span(buffer.get(), static_cast<std::size_t>(length)));
  auto m = std::make_unique<CSendData>();
  m->SetBuffer(std::move(buffer), length);
  return m;
}

// The tool's side of an in-process link: its own image and builders, and one open device.
class SimProcessorTest : public ::testing::Test {
 protected:
  SimProcessorTest() { InitDeviceImage(image); }

  SimProcessor& Sim() { return transport.Processor(); }

  void WriteAll(CSendData& m, HidDevice& d) {
    Report r{};
    while (m.MakeHidReport(r)) ASSERT_TRUE(d.WriteOutputReport(r));
  }
  // Writes the message as the link does and returns the reply the next input report carries.
  Bytes Exchange(SendDataPtr m) { return Exchange(*m, *device); }
  Bytes Exchange(CSendData& m, HidDevice& d) {
    WriteAll(m, d);
    Report in{};
    if (!d.ReadInputReport(in)) return {};
    return FrameIn(in);
  }

  SimTransport transport;
  std::unique_ptr<HidDevice> device = transport.Open(std::string(SimTransport::kPath));
  DeviceImage image;
  FrameBuilder builder{image};
};

TEST_F(SimProcessorTest, ItemWriteIsAcknowledgedWithTheHeaderEchoedAndStored) {
  auto out3 = image.Block(0, BlockType::Output, 3);
  PutU16(out3, out::kGain, 42);
  out3[out::kPhase] = 1;
  const Bytes reply = Exchange(builder.BuildItemWrite(BlockType::Output, 3, out::kItemSwitch));

  ASSERT_FALSE(reply.empty());
  EXPECT_TRUE(CheckByteRight(reply));
  EXPECT_EQ(reply.back(), kEndByte);
  EXPECT_EQ(reply[frame::kCommand], Code(Command::Ack));
  EXPECT_EQ(reply[frame::kDeviceId], kDeviceId);
  EXPECT_EQ(reply[frame::kSlot], 0);
  EXPECT_EQ(reply[frame::kBlockType], static_cast<std::uint8_t>(BlockType::Output));
  EXPECT_EQ(reply[frame::kChannel], 3);
  EXPECT_EQ(reply[frame::kItemIndex], out::kItemSwitch);
  const DeviceImage sim = Sim().Memory();
  const auto stored = sim.Block(0, BlockType::Output, 3);
  EXPECT_EQ(GetU16(stored, out::kGain), 42);
  EXPECT_EQ(stored[out::kPhase], 1);
  // Only that item changed: the neighbouring crossover item is still the default.
  EXPECT_EQ(Raw(stored.subspan(out::kCrossover, 8)), Raw(OutputDefaults().subspan(out::kCrossover, 8)));
}

struct ReadCase {
  const char* name;
  SendDataPtr (*build)(FrameBuilder&);
  std::size_t size;
};

TEST_F(SimProcessorTest, ReadsAnswerDataOfTheItemSizeEchoingBytes6To9) {
  const ReadCase cases[] = {
      {"output block", [](FrameBuilder& b) { return b.BuildBlockRead(0, BlockType::Output, 5, true); }, 296},
      {"mic block", [](FrameBuilder& b) { return b.BuildBlockRead(0, BlockType::MicIn, 0, true); }, 112},
      {"music block", [](FrameBuilder& b) { return b.BuildBlockRead(0, BlockType::MusicIn, 2, true); }, 112},
      {"effect block", [](FrameBuilder& b) { return b.BuildBlockRead(0, BlockType::Effect, 0, true); }, 96},
      {"stored slot", [](FrameBuilder& b) { return b.BuildBlockRead(4, BlockType::Output, 7, false); }, 296},
      {"source slot", [](FrameBuilder& b) { return b.BuildBlockRead(30, BlockType::Effect, 0, false); }, 96},
      {"settings", [](FrameBuilder& b) { return b.BuildSystemRead(SystemItem::Settings, 0); }, 8},
      {"group levels", [](FrameBuilder& b) { return b.BuildSystemRead(SystemItem::GroupLevels, 0); }, 8},
      {"channel types", [](FrameBuilder& b) { return b.BuildSystemRead(SystemItem::ChannelTypes, 0); }, 12},
      {"current preset", [](FrameBuilder& b) { return b.BuildSystemRead(SystemItem::CurrentPreset, 0); }, 1},
      {"source volumes", [](FrameBuilder& b) { return b.BuildSystemRead(SystemItem::SourceVolumes, 0); }, 8},
      {"preset name", [](FrameBuilder& b) { return b.BuildSystemRead(SystemItem::PresetName, 5); }, 16},
      {"device info", [](FrameBuilder& b) { return b.BuildSystemRead(SystemItem::DeviceInfo, 0); }, 17},
      {"status poll", [](FrameBuilder& b) { return b.BuildStatusPoll(); }, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto request = c.build(builder);
    const Bytes sent = Raw(request->Buffer());
    const Bytes reply = Exchange(std::move(request));
    ASSERT_FALSE(reply.empty());
    EXPECT_TRUE(CheckByteRight(reply));
    EXPECT_EQ(reply[frame::kCommand], Code(Command::Data));
    for (std::size_t i = frame::kSlot; i <= frame::kItemIndex; ++i) EXPECT_EQ(reply[i], sent[i]) << "byte " << i;
    EXPECT_EQ(PayloadOf(reply).size(), c.size);
  }
}

TEST_F(SimProcessorTest, IdentityTextIsTheModelOrWhatWasSet) {
  Bytes reply = Exchange(builder.BuildSystemRead(SystemItem::DeviceInfo, 0));
  EXPECT_EQ(std::string(PayloadOf(reply).begin(), PayloadOf(reply).end()), "KVN-734-31EQ-V3.0");

  Sim().SetIdentity("KVN-734-31EQ-V2");
  reply = Exchange(builder.BuildSystemRead(SystemItem::DeviceInfo, 0));
  const auto p = PayloadOf(reply);
  ASSERT_EQ(p.size(), 17u);
  EXPECT_EQ(std::string(p.begin(), p.begin() + 15), "KVN-734-31EQ-V2");
  EXPECT_EQ(p[15], 0);
  EXPECT_EQ(p[16], 0);
}

TEST_F(SimProcessorTest, StatusReportsVolumeSwitchAndSourceOfTheWrittenSettings) {
  auto settings = image.SystemSettings();
  PutS16(settings, sys::kMasterVolume, 37);
  settings[sys::kMasterSwitch] = 0;
  settings[sys::kSource] = 3;
  EXPECT_EQ(Exchange(builder.BuildSystemWrite(SystemItem::Settings, 0))[frame::kCommand], Code(Command::Ack));

  const Bytes reply = Exchange(builder.BuildStatusPoll());
  const auto p = PayloadOf(reply);
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0], 37);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(p[2], 3);
}

TEST_F(SimProcessorTest, StoredPresetIsRecalledIntoTheProcessorsLiveSettings) {
  // Store: the tool writes its live output blocks and the name into slot 3.
  for (int c = 0; c < kOutputChannels; ++c) PutU16(image.Block(0, BlockType::Output, c), out::kGain, 10 + c);
  const std::string name = "Club";
  std::fill_n(image.Preset(3).begin(), preset::kNameSize, 0);
  std::copy(name.begin(), name.end(), image.Preset(3).begin());
  Exchange(builder.BuildSystemWrite(SystemItem::PresetName, 3));
  for (int c = 0; c < kOutputChannels; ++c) Exchange(builder.BuildBlockWrite(3, BlockType::Output, c, true, false));
  DeviceImage sim = Sim().Memory();
  EXPECT_EQ(GetU16(sim.Block(0, BlockType::Output, 2), out::kGain), 60) << "a store leaves the live settings";
  EXPECT_EQ(GetU16(sim.Block(3, BlockType::Output, 2), out::kGain), 12);

  // Reading the slot into the tool's stored copy changes nothing on the processor.
  Bytes reply = Exchange(builder.BuildBlockRead(3, BlockType::Output, 2, false));
  EXPECT_EQ(reply[frame::kItemIndex], kReadIntoSlot);
  EXPECT_EQ(GetU16(PayloadOf(reply), out::kGain), 12);
  EXPECT_EQ(GetU16(Sim().Memory().Block(0, BlockType::Output, 2), out::kGain), 60);

  // Recall (read into live): the processor now runs the slot, and remembers which one.
  for (int c = 0; c < kOutputChannels; ++c) {
    reply = Exchange(builder.BuildBlockRead(3, BlockType::Output, c, true));
    EXPECT_EQ(reply[frame::kItemIndex], 0);
    EXPECT_EQ(Raw(PayloadOf(reply)), Raw(Sim().Memory().Block(3, BlockType::Output, c).first(out::kSendSize)));
  }
  sim = Sim().Memory();
  for (int c = 0; c < kOutputChannels; ++c)
    EXPECT_EQ(GetU16(sim.Block(0, BlockType::Output, c), out::kGain), 10 + c) << "channel " << c;
  EXPECT_EQ(sim.currentPreset[0], 3);
  reply = Exchange(builder.BuildSystemRead(SystemItem::PresetName, 3));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(PayloadOf(reply).data())), name);
}

TEST_F(SimProcessorTest, ReadBackThroughTheToolsReceiverMirrorsTheProcessor) {
  Sim().EditMemory([](DeviceImage& m) {
    for (int c = 0; c < kOutputChannels; ++c) {
      auto block = m.Block(0, BlockType::Output, c);
      for (std::size_t i = 0; i < out::kSendSize; ++i) block[i] = static_cast<std::uint8_t>(i * 7 + c);
    }
    PutS16(m.SystemSettings(), sys::kMasterVolume, 21);
    m.ChannelTypes()[0] = 9;
    PutS16(m.GroupLevels(), 2, 150);
    m.sourceVolumes[4] = 17;
    m.currentPreset[0] = 2;
    const std::string n = "Highway";
    std::copy(n.begin(), n.end(), m.Preset(4).begin());
  });
  NullNoticeSink sink;
  CKTVCommand queue(image, sink);
  for (auto item : {SystemItem::Settings, SystemItem::GroupLevels, SystemItem::ChannelTypes, SystemItem::CurrentPreset,
                    SystemItem::SourceVolumes})
    queue.Push(builder.BuildSystemRead(item, 0));
  for (int slot = 1; slot <= 6; ++slot) queue.Push(builder.BuildSystemRead(SystemItem::PresetName, slot));
  for (int c = 0; c < kOutputChannels; ++c) queue.Push(builder.BuildBlockRead(0, BlockType::Output, c, true));

  while (CSendData* front = queue.Front()) {
    WriteAll(*front, *device);
    Report in{};
    ASSERT_TRUE(device->ReadInputReport(in));
    ASSERT_TRUE(queue.FeedHidReport(in, kHidReportSize)) << "no valid reply with " << queue.Count() << " left";
  }

  const DeviceImage sim = Sim().Memory();
  for (int c = 0; c < kOutputChannels; ++c)
    EXPECT_EQ(Raw(image.Block(0, BlockType::Output, c).first(out::kSendSize)),
              Raw(sim.Block(0, BlockType::Output, c).first(out::kSendSize)))
        << "channel " << c;
  EXPECT_EQ(Raw(image.SystemSettings()), Raw(sim.SystemSettings()));
  EXPECT_EQ(Raw(image.GroupLevels()), Raw(sim.GroupLevels()));
  EXPECT_EQ(Raw(image.ChannelTypes()), Raw(sim.ChannelTypes()));
  EXPECT_EQ(image.sourceVolumes, sim.sourceVolumes);
  EXPECT_EQ(image.currentPreset[0], 2);
  // The receiver keeps only 13 name characters of its own accord.
  EXPECT_EQ(Raw(image.Preset(4).first(13)), Raw(sim.Preset(4).first(13)));
}

TEST_F(SimProcessorTest, FactoryResetRestoresTheStartUpMemory) {
  PutU16(image.Block(0, BlockType::Output, 0), out::kGain, 5);
  Exchange(builder.BuildBlockWrite(0, BlockType::Output, 0, true, false));
  Exchange(builder.BuildSystemWrite(SystemItem::PresetName, 2));
  ASSERT_EQ(GetU16(Sim().Memory().Block(0, BlockType::Output, 0), out::kGain), 5);

  const Bytes reply = Exchange(builder.BuildSystemWrite(SystemItem::FactoryReset, 0));
  EXPECT_EQ(reply[frame::kCommand], Code(Command::Ack));
  DeviceImage fresh;
  InitDeviceImage(fresh);
  const DeviceImage sim = Sim().Memory();
  EXPECT_EQ(sim.live, fresh.live);
  EXPECT_EQ(sim.presetSlots, fresh.presetSlots);
  EXPECT_EQ(sim.systemArea, fresh.systemArea);
}

TEST_F(SimProcessorTest, FaultsChangeTheReplyAsAsked) {
  struct Case {
    Fault fault;
    bool read;
    std::uint8_t command;  // 0: no reply at all
    std::size_t payload;
    bool checkRight;
    bool writeStored;
  };
  const Case cases[] = {
      {Fault::DropReply, false, 0, 0, true, true},
      {Fault::CorruptCheck, false, Code(Command::Ack), 0, false, true},
      {Fault::Resend, false, Code(Command::Resend), 0, true, false},
      {Fault::Resend, true, Code(Command::Resend), 0, true, false},
      {Fault::EmptyData, true, Code(Command::Data), 0, true, false},
      {Fault::EmptyData, false, Code(Command::Ack), 0, true, true},  // writes are still accepted
      {Fault::CorruptCheck, true, Code(Command::Data), 296, false, false},
  };
  std::uint16_t gain = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(c.fault) << (c.read ? " read" : " write"));
    Sim().ClearFaults();
    Sim().InjectFault(c.fault);
    ++gain;
    PutU16(image.Block(0, BlockType::Output, 1), out::kGain, gain);
    auto request = c.read ? builder.BuildBlockRead(0, BlockType::Output, 1, true)
                          : builder.BuildItemWrite(BlockType::Output, 1, out::kItemSwitch);
    const Bytes reply = Exchange(std::move(request));
    if (c.command == 0) {
      EXPECT_TRUE(reply.empty());
    } else {
      ASSERT_FALSE(reply.empty());
      EXPECT_EQ(reply[frame::kCommand], c.command);
      EXPECT_EQ(PayloadOf(reply).size(), c.payload);
      EXPECT_EQ(CheckByteRight(reply), c.checkRight);
    }
    if (!c.read) {
      EXPECT_EQ(GetU16(Sim().Memory().Block(0, BlockType::Output, 1), out::kGain) == gain, c.writeStored);
    }
  }
}

TEST_F(SimProcessorTest, FaultWindowSparesAndCountsFrames) {
  Sim().InjectFault(Fault::Resend, {.skip = 1, .count = 2});
  std::vector<std::uint8_t> commands;
  for (int i = 0; i < 5; ++i) commands.push_back(Exchange(builder.BuildStatusPoll())[frame::kCommand]);
  const std::uint8_t data = Code(Command::Data), resend = Code(Command::Resend);
  EXPECT_EQ(commands, (std::vector<std::uint8_t>{data, resend, resend, data, data}));
}

TEST_F(SimProcessorTest, RecurringFaultsHitEveryNthFrameOfTheWindowAndSlowRepliesComeLate) {
  Sim().InjectFault(Fault::Resend, {.skip = 1, .count = 7, .every = 3});
  std::vector<std::uint8_t> commands;
  for (int i = 0; i < 9; ++i) commands.push_back(Exchange(builder.BuildStatusPoll())[frame::kCommand]);
  const std::uint8_t d = Code(Command::Data), r = Code(Command::Resend);
  EXPECT_EQ(commands, (std::vector<std::uint8_t>{d, r, d, d, r, d, d, r, d}));

  // Only the hit frames wait for the slow-reply delay.
  Sim().ClearFaults();
  Sim().SetSlowReplyDelay(200ms);
  Sim().InjectFault(Fault::SlowReply, {.skip = 1, .count = 1});
  auto timed = [&] {
    const auto start = std::chrono::steady_clock::now();
    auto poll = builder.BuildStatusPoll();
    WriteAll(*poll, *device);
    Report in{};
    while (device->ReadInputReport(in) && FrameIn(in).empty() && std::chrono::steady_clock::now() - start < 2s)
      std::this_thread::sleep_for(5ms);
    return std::chrono::steady_clock::now() - start;
  };
  EXPECT_LT(timed(), 150ms);
  EXPECT_GE(timed(), 200ms);
  EXPECT_LT(timed(), 150ms);
}

TEST_F(SimProcessorTest, DelayedReplyAppearsOnlyAfterTheDelay) {
  constexpr auto kDelay = 80ms;
  Sim().SetReplyDelay(kDelay);
  auto request = builder.BuildStatusPoll();
  const auto start = std::chrono::steady_clock::now();
  WriteAll(*request, *device);
  Report in{};
  ASSERT_TRUE(device->ReadInputReport(in));
  EXPECT_TRUE(FrameIn(in).empty());
  Bytes reply;
  while (reply.empty() && std::chrono::steady_clock::now() - start < 10 * kDelay) {
    std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(device->ReadInputReport(in));
    reply = FrameIn(in);
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, kDelay);
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply[frame::kCommand], Code(Command::Data));
}

TEST_F(SimProcessorTest, DisconnectAfterFramesRemovesTheDeviceUntilReplugged) {
  Sim().DisconnectAfter(2);
  EXPECT_FALSE(Exchange(builder.BuildStatusPoll()).empty());
  EXPECT_FALSE(Exchange(builder.BuildStatusPoll()).empty()) << "the last reply still arrives";
  Report r{};
  EXPECT_FALSE(device->ReadInputReport(r));
  EXPECT_FALSE(device->WriteOutputReport(r));
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_EQ(transport.Open(std::string(SimTransport::kPath)), nullptr);
  EXPECT_FALSE(transport.LastError().empty());

  Sim().Replug();
  ASSERT_EQ(transport.Enumerate().size(), 1u);
  EXPECT_FALSE(device->ReadInputReport(r)) << "a handle from before the removal stays dead";
  auto reopened = transport.Open(std::string(SimTransport::kPath));
  ASSERT_NE(reopened, nullptr);
  EXPECT_FALSE(Exchange(*builder.BuildStatusPoll(), *reopened).empty());
}

TEST_F(SimProcessorTest, DeviceIsOpenedExclusively) {
  EXPECT_EQ(transport.Open(std::string(SimTransport::kPath)), nullptr);
  EXPECT_EQ(transport.Open("sim:1"), nullptr);
  device.reset();
  EXPECT_NE(transport.Open(std::string(SimTransport::kPath)), nullptr);
}

TEST_F(SimProcessorTest, BrokenFramesAreAskedForAgainAndLogged) {
  auto request = builder.BuildStatusPoll();
  Bytes bytes = Raw(request->Buffer());
  bytes[frame::kHeaderSize] ^= 0x01;  // payload no longer matches the check byte
  Report out{};
  std::copy(bytes.begin(), bytes.end(), out.begin() + 1);
  ASSERT_TRUE(device->WriteOutputReport(out));
  Report in{};
  ASSERT_TRUE(device->ReadInputReport(in));
  EXPECT_EQ(FrameIn(in)[frame::kCommand], Code(Command::Resend));

  // Four sync bytes in a row do not start a frame: nothing is answered.
  out.fill(0);
  out[1] = kSyncByte;
  std::copy(request->Buffer().begin(), request->Buffer().end(), out.begin() + 2);
  ASSERT_TRUE(device->WriteOutputReport(out));
  ASSERT_TRUE(device->ReadInputReport(in));
  EXPECT_TRUE(FrameIn(in).empty());

  const auto frames = Sim().Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].valid);
  EXPECT_EQ(frames[0].reply, Reply::Resend);
}

TEST_F(SimProcessorTest, FrameCrossingAReportBoundaryIsAssembled) {
  PutS16(image.Block(0, BlockType::Output, 6), out::kDelay, 480);
  auto request = builder.BuildItemWrite(BlockType::Output, 6, out::kItemSwitch);
  // Line noise before the frame pushes its second half into the next report.
  constexpr std::size_t kLeadIn = 300;
  Bytes stream(kLeadIn, 0);
  stream.insert(stream.end(), request->Buffer().begin(), request->Buffer().end());
  auto m = std::make_unique<CSendData>();
  auto buffer = std::make_unique<std::uint8_t[]>(stream.size());
  std::copy(stream.begin(), stream.end(), buffer.get());
  m->SetBuffer(std::move(buffer), static_cast<std::int32_t>(stream.size()));
  const Bytes reply = Exchange(std::move(m));
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply[frame::kCommand], Code(Command::Ack));
  EXPECT_EQ(GetS16(Sim().Memory().Block(0, BlockType::Output, 6), out::kDelay), 480);
}

TEST_F(SimProcessorTest, FrameLogRecordsRequestsInOrderAndCanBeAwaited) {
  std::thread tool([&] {
    Exchange(builder.BuildSystemRead(SystemItem::DeviceInfo, 0));
    Exchange(builder.BuildItemWrite(BlockType::Output, 2, out::kItemSwitch));
  });
  EXPECT_TRUE(Sim().WaitForFrames(2, 2s));
  tool.join();
  const auto frames = Sim().Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].ChannelOrItem(), static_cast<std::uint8_t>(SystemItem::DeviceInfo));
  EXPECT_EQ(frames[0].reply, Reply::Data);
  EXPECT_EQ(frames[1].Command(), Code(Command::Write));
  EXPECT_EQ(frames[1].ChannelOrItem(), 2);
  EXPECT_EQ(frames[1].Byte9(), out::kItemSwitch);
  EXPECT_EQ(frames[1].reply, Reply::Ack);
  EXPECT_EQ(DescribeFrame(frames[1]), "#2 WRITE slot 0 OUTPUT ch 2 idx 31 len 8 -> ACK");
  Sim().ClearFrameLog();
  EXPECT_EQ(Sim().FrameCount(), 0u);

  // A serving simulator keeps no log but still counts, so waiting works the same.
  Sim().SetFrameLogKept(false);
  std::thread again([&] { Exchange(builder.BuildSystemRead(SystemItem::DeviceInfo, 0)); });
  EXPECT_TRUE(Sim().WaitForFrames(1, 2s));
  again.join();
  EXPECT_EQ(Sim().FrameCount(), 1u);
  EXPECT_TRUE(Sim().Frames().empty());
}

TEST_F(SimProcessorTest, DspUpdateStartRestartsTheProcessorAsTheSameDevice) {
  constexpr auto kRestart = 60ms;
  Sim().SetRestartTime(kRestart);
  const std::array<std::uint8_t, 16> zeros{};
  Bytes reply = Exchange(UpdateFrame(UpdateStep::DspStart, zeros));
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply[frame::kCommand], Code(Command::Ack));
  EXPECT_EQ(reply[frame::kChannel], Code(UpdateStep::DspStart));
  EXPECT_TRUE(transport.Enumerate().empty()) << "away while it restarts";

  std::this_thread::sleep_for(kRestart + 20ms);
  const auto devices = transport.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].path, SimTransport::kPath);
  EXPECT_EQ(devices[0].versionNumber, kVersionNumber);
  Report r{};
  EXPECT_FALSE(device->ReadInputReport(r));
  device = transport.Open(devices[0].path);
  ASSERT_NE(device, nullptr);

  const std::array<std::uint8_t, 4> header = {7, 7, 7, 7};
  std::array<std::uint8_t, 296> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
  const std::array<std::uint8_t, 1> checksum = {0x5A};
  EXPECT_EQ(Exchange(UpdateFrame(UpdateStep::DspHeader, header))[frame::kCommand], Code(Command::Ack));
  EXPECT_EQ(Exchange(UpdateFrame(UpdateStep::DspBlock, block))[frame::kCommand], Code(Command::Ack));
  EXPECT_EQ(Exchange(UpdateFrame(UpdateStep::DspBlock, block))[frame::kCommand], Code(Command::Ack));
  EXPECT_EQ(Exchange(UpdateFrame(UpdateStep::DspEnd, checksum))[frame::kCommand], Code(Command::Ack));
  EXPECT_EQ(transport.Enumerate().size(), 1u) << "only the start restarts the processor";

  const SimUpdateRecord u = Sim().UpdateRecord();
  EXPECT_EQ(u.steps, (std::vector<std::uint8_t>{0xB0, 0xB1, 0xB2, 0xB2, 0xB3}));
  EXPECT_EQ(u.restarts, 1);
  EXPECT_EQ(u.dspHeader, Raw(header));
  ASSERT_EQ(u.dspImage.size(), 2 * block.size());
  EXPECT_EQ(u.dspImage[block.size() + 5], 5);
  EXPECT_EQ(u.dspChecksum, 0x5A);
}

TEST_F(SimProcessorTest, ControllerUpdateIsAcknowledgedStepByStep) {
  const std::array<std::uint8_t, 16> zeros{};
  std::array<std::uint8_t, 48> block{};
  block.fill(0x33);
  const std::array<std::uint8_t, 1> checksum = {0x12};
  for (auto [step, payload] : {std::pair{UpdateStep::CtrlBegin1, std::span<const std::uint8_t>(zeros)},
                               {UpdateStep::CtrlBegin2, zeros},
                               {UpdateStep::CtrlBlock, block},
                               {UpdateStep::CtrlEnd, checksum}}) {
    const Bytes reply = Exchange(UpdateFrame(step, payload));
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[frame::kCommand], Code(Command::Ack));
    EXPECT_EQ(reply[frame::kChannel], Code(step));
  }
  const SimUpdateRecord u = Sim().UpdateRecord();
  EXPECT_EQ(u.controllerImage, Raw(block));
  EXPECT_EQ(u.controllerChecksum, 0x12);
  EXPECT_EQ(u.restarts, 0);
}

TEST_F(SimProcessorTest, VanishingDuringAnUpdateLeavesNoReplyAndNoDevice) {
  Sim().SetRestartTime(0ms);
  Sim().VanishDuringUpdate(2);
  const std::array<std::uint8_t, 16> zeros{};
  EXPECT_FALSE(Exchange(UpdateFrame(UpdateStep::DspStart, zeros)).empty());
  device = transport.Open(std::string(SimTransport::kPath));
  ASSERT_NE(device, nullptr);
  const std::array<std::uint8_t, 4> header{};
  EXPECT_TRUE(Exchange(UpdateFrame(UpdateStep::DspHeader, header)).empty());
  EXPECT_TRUE(transport.Enumerate().empty());
  Report r{};
  EXPECT_FALSE(device->WriteOutputReport(r));
}

TEST_F(SimProcessorTest, ProcessorThatNeverComesBackAfterTheStartStaysAway) {
  Sim().SetRestartTime(kForever);
  const std::array<std::uint8_t, 16> zeros{};
  EXPECT_FALSE(Exchange(UpdateFrame(UpdateStep::DspStart, zeros)).empty());
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_FALSE(Sim().Present());
}

}  // namespace
}  // namespace zelto::sim
