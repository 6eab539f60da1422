// The link worker and the connection against the simulated processor, with the real thread and
// real timing: in this process and through a started zelto-sim over the report stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/bytes.h"
#include "sim/sim_process.h"
#include "sim/sim_transport.h"
#include "support/engine_harness.h"
#include "transports/device_url.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;
using sim::SimFrameRecord;
using testing::EngineHarness;

constexpr auto kReadBackTimeout = 10s;

bool IsStatusPoll(const SimFrameRecord& f) {
  return f.Command() == static_cast<std::uint8_t>(Command::Read) &&
         f.BlockTypeCode() == static_cast<std::uint8_t>(BlockType::System) &&
         f.ChannelOrItem() == static_cast<std::uint8_t>(SystemItem::Status);
}

struct InProcess {
  InProcess() {
    auto t = std::make_unique<sim::SimTransport>();
    processor = t->SharedProcessor();
    harness = std::make_unique<EngineHarness>(std::move(t));
  }
  std::shared_ptr<sim::SimProcessor> processor;
  std::unique_ptr<EngineHarness> harness;
};

// Connects and waits for the read-back to be applied.
void ConnectAndReadBack(EngineHarness& h) {
  h.engine.OnConnectButton();
  ASSERT_TRUE(h.engine.Connected()) << "no device opened";
  ASSERT_TRUE(h.PumpUntil([&] { return h.Saw(Notice::LiveReadDone) && !h.view.transferShown; }, kReadBackTimeout));
}

TEST(LinkEngine, ConnectIdentifiesAndReadsBackTheLiveState) {
  InProcess p;
  // The processor holds something other than the tool's defaults.
  p.processor->EditMemory([](DeviceImage& m) {
    PutU16(m.Block(0, BlockType::Output, 3), out::kGain, 42);
    m.Block(0, BlockType::Output, 7)[out::kPhase] = 1;
    PutS16(m.SystemSettings(), sys::kMasterVolume, 33);
    m.ChannelTypes()[2] = 22;
    std::copy_n("Club", 4, m.Preset(4).begin());
  });
  auto& h = *p.harness;
  ConnectAndReadBack(h);

  EXPECT_EQ(h.view.transferRange, kReadBackRange);
  EXPECT_TRUE(h.engine.Tracking().IsOn());
  const auto frames = p.processor->Frames();
  ASSERT_GE(frames.size(), 20u);
  // Identity first, then 19 counted reads: five system items, six names, eight live outputs.
  EXPECT_EQ(frames[0].ChannelOrItem(), static_cast<std::uint8_t>(SystemItem::DeviceInfo));
  for (int ch = 0; ch < 8; ++ch) {
    const auto& f = frames[12 + static_cast<std::size_t>(ch)];
    EXPECT_EQ(f.BlockTypeCode(), static_cast<std::uint8_t>(BlockType::Output));
    EXPECT_EQ(f.ChannelOrItem(), ch);
  }
  const DeviceImage device = p.processor->Memory();
  auto& img = h.engine.Image();
  for (int ch = 0; ch < 8; ++ch) {
    auto mine = img.Block(0, BlockType::Output, ch).first(out::kSendSize);
    auto theirs = device.Block(0, BlockType::Output, ch).first(out::kSendSize);
    EXPECT_TRUE(std::ranges::equal(mine, theirs)) << "output " << ch;
  }
  EXPECT_TRUE(std::ranges::equal(img.SystemSettings(), device.SystemSettings()));
  EXPECT_TRUE(std::ranges::equal(img.ChannelTypes(), device.ChannelTypes()));
  EXPECT_EQ(ReadField(std::span(img.Preset(4)).first(16)), "Club");
  // The objects show what came back.
  EXPECT_EQ(h.engine.Data().Output(3).GainCode(), 42);
  EXPECT_EQ(h.engine.Data().Output(7).Phase(), 1);
  EXPECT_GE(h.view.refreshes, 1);
}

TEST(LinkEngine, AnEditedGainGoesOutAsOneItem31Write) {
  InProcess p;
  auto& h = *p.harness;
  ConnectAndReadBack(h);
  p.processor->ClearFrameLog();
  h.engine.Data().Edit([](CKTV_Data& d) { d.Output(2).SetGain(48); });
  std::vector<SimFrameRecord> writes;
  ASSERT_TRUE(h.PumpUntil(
      [&] {
        writes.clear();
        for (const auto& f : p.processor->Frames())
          if (!IsStatusPoll(f)) writes.push_back(f);
        return !writes.empty() && p.processor->FrameCount() > writes.size() + 1;
      },
      3s));
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].Command(), static_cast<std::uint8_t>(Command::Write));
  EXPECT_EQ(writes[0].BlockTypeCode(), static_cast<std::uint8_t>(BlockType::Output));
  EXPECT_EQ(writes[0].ChannelOrItem(), 2);
  EXPECT_EQ(writes[0].Byte9(), out::kItemSwitch);
  EXPECT_EQ(GetU16(p.processor->Memory().Block(0, BlockType::Output, 2), out::kGain), 48);
}

TEST(LinkEngine, IdleConnectionOnlyPollsStatus) {
  InProcess p;
  auto& h = *p.harness;
  ConnectAndReadBack(h);
  p.processor->ClearFrameLog();
  ASSERT_TRUE(p.processor->WaitForFrames(4, 3s));
  for (const auto& f : p.processor->Frames()) EXPECT_TRUE(IsStatusPoll(f));
}

TEST(LinkEngine, NoReplyFailsTheLinkAfterTheDeadlineNotBefore) {
  InProcess p;
  auto& h = *p.harness;
  ConnectAndReadBack(h);
  p.processor->InjectFault(sim::Fault::DropReply);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(h.PumpUntil([&] { return h.Saw(Notice::LinkFailed); }, 8s));
  const auto failedAfter = std::chrono::steady_clock::now() - start;
  // The deadline runs from the start of the exchange that wrote the unanswered frame.
  EXPECT_GE(failedAfter, 2900ms);
  EXPECT_FALSE(h.engine.Connected());
  EXPECT_FALSE(h.engine.Flags().linkActive);
  EXPECT_EQ(h.engine.Queue().Count(), 0u);
  ASSERT_EQ(h.view.messages.size(), 1u);
  EXPECT_EQ(h.view.messages[0], UserMessage::UnableToConnect);
  EXPECT_EQ(UserMessageText(h.view.messages[0], Language::English), "unable to connect");
}

TEST(LinkEngine, ResendWritesTheSameMessageAgainFromItsFirstByte) {
  InProcess p;
  auto& h = *p.harness;
  ConnectAndReadBack(h);
  p.processor->ClearFrameLog();
  p.processor->InjectFault(sim::Fault::Resend, {0, 1});
  h.engine.Data().Edit([](CKTV_Data& d) { d.Output(5).SetPhase(1); });
  ASSERT_TRUE(p.processor->WaitForFrames(4, 3s));
  const auto frames = p.processor->Frames();
  // Whatever was first (the edit or a poll) got RSP_RESEND and came again, byte for byte.
  EXPECT_EQ(frames[0].reply, sim::Reply::Resend);
  EXPECT_EQ(frames[1].bytes, frames[0].bytes);
  EXPECT_EQ(frames[1].reply, frames[1].Command() == static_cast<std::uint8_t>(Command::Write) ? sim::Reply::Ack
                                                                                               : sim::Reply::Data);
  EXPECT_TRUE(h.engine.Connected());
}

TEST(LinkEngine, EmptyDataReplyStopsExchangesAndKeepsTheQueue) {
  InProcess p;
  auto& h = *p.harness;
  p.processor->InjectFault(sim::Fault::EmptyData);
  h.engine.OnConnectButton();
  ASSERT_TRUE(h.PumpUntil([&] { return h.Saw(Notice::EmptyReply); }, 5s));
  EXPECT_FALSE(h.engine.Connected());
  EXPECT_TRUE(h.engine.Queue().Flags().emptyReply);
  EXPECT_EQ(h.engine.Queue().Count(), 1u);  // the unanswered identity request
  ASSERT_EQ(h.view.messages.size(), 1u);
  EXPECT_EQ(UserMessageText(h.view.messages[0], Language::English), "Please Update the Firmware!");
  EXPECT_EQ(UserMessageText(h.view.messages[0], Language::Chinese), "数据回传错误!");
}

TEST(LinkEngine, AnotherModelIsDroppedWithoutAMessage) {
  struct Case {
    const char* identity;
    bool accepted;
  };
  for (const Case c : {Case{"KVN-734-31EQ-V3.9", true}, Case{"KVN-734-31EQ-X3.0", false}}) {
    InProcess p;
    auto& h = *p.harness;
    p.processor->SetIdentity(c.identity);
    h.engine.OnConnectButton();
    if (c.accepted) {
      EXPECT_TRUE(h.PumpUntil([&] { return h.Saw(Notice::LiveReadDone); }, kReadBackTimeout)) << c.identity;
      EXPECT_TRUE(h.engine.Connected());
    } else {
      EXPECT_TRUE(h.PumpUntil([&] { return !h.engine.Connected(); }, 5s)) << c.identity;
      EXPECT_TRUE(h.view.messages.empty());
      EXPECT_EQ(std::string(h.engine.Image().deviceInfoText.begin(), h.engine.Image().deviceInfoText.end()),
                std::string(17, ' '));
      EXPECT_FALSE(h.view.connectedShown);
    }
  }
}

TEST(LinkEngine, RemovalDuringTheReadBackDisconnects) {
  InProcess p;
  auto& h = *p.harness;
  h.engine.StartDeviceWatcher();
  p.processor->DisconnectAfter(5);
  h.engine.OnConnectButton();
  ASSERT_TRUE(h.PumpUntil([&] { return !h.engine.Connected(); }, 5s));
  EXPECT_FALSE(h.Saw(Notice::LiveReadDone));
  ASSERT_FALSE(h.view.messages.empty());
  EXPECT_EQ(h.view.messages[0], UserMessage::UnableToConnect);
  h.engine.StopDeviceWatcher();
}

TEST(LinkEngine, NoProcessorLeavesEverythingStopped) {
  InProcess p;
  auto& h = *p.harness;
  p.processor->Unplug();
  h.engine.AutoConnect();  // silent
  EXPECT_TRUE(h.view.messages.empty());
  h.engine.OnConnectButton();
  EXPECT_FALSE(h.engine.Connected());
  EXPECT_FALSE(h.engine.Flags().linkActive);
  EXPECT_FALSE(h.engine.Worker().Running());
  ASSERT_EQ(h.view.messages.size(), 1u);
}

TEST(LinkEngine, StopDuringAReadPhaseWaitsForThatExchange) {
  InProcess p;
  auto& h = *p.harness;
  ConnectAndReadBack(h);
  p.processor->SetReplyDelay(600ms);
  p.processor->ClearFrameLog();
  ASSERT_TRUE(p.processor->WaitForFrames(1, 2s));  // a frame is out; its reply is 600 ms away
  const auto start = std::chrono::steady_clock::now();
  h.engine.Worker().StopWorker(true);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 300ms);
  EXPECT_FALSE(h.engine.Worker().Running());
  EXPECT_FALSE(h.engine.Flags().linkActive);
  EXPECT_FALSE(h.engine.Flags().connected);
}

TEST(LinkEngine, ConnectButtonWhileConnectedDisconnectsSilently) {
  InProcess p;
  auto& h = *p.harness;
  ConnectAndReadBack(h);
  h.engine.OnConnectButton();
  EXPECT_FALSE(h.engine.Connected());
  EXPECT_FALSE(h.engine.Tracking().IsOn());
  EXPECT_TRUE(h.view.messages.empty());
  EXPECT_FALSE(h.view.connectedShown);
}

TEST(LinkEngine, ArrivalConnectsOnlyToAFreeDeviceAndStaleClaimsAreFree) {
  InProcess p;
  auto& h = *p.harness;
  const std::string path(sim::SimTransport::kPath);
  // A claim by a live process other than this one keeps the arrival path away.
  h.settings.Set(kClaimsKey, path, "1");
  h.engine.Link().SetProcessAliveCheck([](long) { return true; });
  h.engine.ArrivalConnect(path);
  EXPECT_FALSE(h.engine.Connected());
  // The same claim left behind by a process that is gone does not.
  h.engine.Link().SetProcessAliveCheck([](long) { return false; });
  h.engine.ArrivalConnect(path);
  EXPECT_TRUE(h.engine.Connected());
  EXPECT_TRUE(h.engine.Tracking().IsOn());
  ASSERT_TRUE(h.PumpUntil([&] { return h.Saw(Notice::LiveReadDone); }, kReadBackTimeout));
  // Closing releases this instance's claim.
  EXPECT_TRUE(h.settings.Get(kClaimsKey, path).has_value());
  h.engine.Disconnect();
  EXPECT_FALSE(h.settings.Get(kClaimsKey, path).has_value());
}

TEST(LinkEngineOverTcp, ConnectReadBackAndEditThroughZeltoSim) {
  sim::SimProcess process;
  std::string error;
  ASSERT_TRUE(process.Start(ZELTO_SIM_EXE, {"--trace"}, &error)) << error;
  auto transport = MakeTransport(process.Url(), &error);
  ASSERT_TRUE(transport) << error;
  EngineHarness h(std::move(transport));
  ConnectAndReadBack(h);
  EXPECT_EQ(h.view.transferRange, kReadBackRange);

  const std::size_t before = process.Lines().size();
  h.engine.Data().Edit([](CKTV_Data& d) { d.Output(1).SetGain(30); });
  // The trace shows the item write arriving.
  ASSERT_TRUE(h.PumpUntil(
      [&] {
        const auto lines = process.Lines();
        return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines.size())), lines.end(),
                           [](const std::string& l) { return l.find("ch 1 idx 31") != std::string::npos; });
      },
      3s))
      << "no item-31 write in the trace";
  h.engine.Disconnect();
#ifndef _WIN32
  EXPECT_EQ(process.Stop(), 0);  // SIGTERM ends it cleanly; Windows can only end it outright
#endif
}

}  // namespace
}  // namespace zelto
