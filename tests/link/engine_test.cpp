// The link worker and the connection against the simulated processor, with the real thread and
// real timing: in this process and through a started zelto-sim over the report stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "core/bytes.h"
#include "sim/sim_process.h"
#include "sim/sim_transport.h"
#include "link/refused_open_text.h"
#include "support/engine_harness.h"
#include "support/refusing_transport.h"
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
  EXPECT_EQ(h.engine.TakeConnectFailure(), ConnectFailure::NoReply);
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
  EXPECT_EQ(frames[1].reply,
            frames[1].Command() == static_cast<std::uint8_t>(Command::Write) ? sim::Reply::Ack : sim::Reply::Data);
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

// Fails the input-report reads it is told to, once each; everything else goes to the processor.
class FlakyTransport final : public HidTransport {
 public:
  explicit FlakyTransport(std::unique_ptr<HidTransport> inner) : inner_(std::move(inner)) {}
  std::vector<HidDeviceInfo> Enumerate() override { return inner_->Enumerate(); }
  std::unique_ptr<HidDevice> Open(const std::string& path) override {
    auto device = inner_->Open(path);
    return device ? std::make_unique<Device>(std::move(device), *this) : nullptr;
  }
  /// The read after `reads` more reads fails.
  void FailReadAfter(int reads) { failAt_ = readCount_ + reads; }
  int Failures() const { return failures_; }

 private:
  class Device final : public HidDevice {
   public:
    Device(std::unique_ptr<HidDevice> inner, FlakyTransport& owner) : inner_(std::move(inner)), owner_(owner) {}
    bool WriteOutputReport(std::span<const std::uint8_t, kHidReportSize> r) override {
      return inner_->WriteOutputReport(r);
    }
    bool ReadInputReport(std::span<std::uint8_t, kHidReportSize> r) override {
      if (owner_.readCount_++ == owner_.failAt_) {
        ++owner_.failures_;
        std::fill(r.begin(), r.end(), 0);
        return false;
      }
      return inner_->ReadInputReport(r);
    }

   private:
    std::unique_ptr<HidDevice> inner_;
    FlakyTransport& owner_;
  };
  std::unique_ptr<HidTransport> inner_;
  std::atomic<int> readCount_{0};
  std::atomic<int> failAt_{-1};
  std::atomic<int> failures_{0};
};

TEST(LinkEngine, OneFailedReportInTheReadBackIsNotARemoval) {
  auto sim = std::make_unique<sim::SimTransport>();
  auto processor = sim->SharedProcessor();
  auto flaky = std::make_unique<FlakyTransport>(std::move(sim));
  FlakyTransport& f = *flaky;
  EngineHarness h(std::move(flaky));
  h.engine.SetLinkTiming(testing::ShortLinkTiming());
  h.engine.StartDeviceWatcher();
  f.FailReadAfter(8);  // a few exchanges into the read-back
  ConnectAndReadBack(h);
  EXPECT_EQ(f.Failures(), 1);
  EXPECT_TRUE(h.engine.Connected());
  EXPECT_TRUE(h.view.messages.empty());
  // Still exchanging afterwards.
  processor->ClearFrameLog();
  EXPECT_TRUE(processor->WaitForFrames(2, 2s));
  h.engine.StopDeviceWatcher();
}

TEST(LinkEngine, AFailedReportOnAVanishedDeviceIsItsRemoval) {
  InProcess p;
  auto& h = *p.harness;
  h.engine.SetLinkTiming(testing::ShortLinkTiming());
  ConnectAndReadBack(h);
  // Gone from the system between two watcher looks: the failed report finds it absent.
  p.processor->Unplug();
  ASSERT_TRUE(h.PumpUntil([&] { return !h.engine.Connected(); }, 2s));
  ASSERT_EQ(h.view.messages.size(), 1u);
  EXPECT_EQ(h.view.messages[0], UserMessage::UnableToConnect);
}

TEST(LinkEngine, ConnectButtonAndAutoConnectRefuseADeviceClaimedByAnotherInstance) {
  InProcess p;
  auto& h = *p.harness;
  h.settings.Set(kClaimsKey, std::string(sim::SimTransport::kPath), "1");
  h.engine.Link().SetProcessAliveCheck([](long) { return true; });
  h.engine.AutoConnect();
  EXPECT_FALSE(h.engine.Connected());
  EXPECT_TRUE(h.view.messages.empty()) << "the automatic connect stays silent";
  h.engine.OnConnectButton();
  EXPECT_FALSE(h.engine.Connected());
  ASSERT_EQ(h.view.messages.size(), 1u);
  EXPECT_EQ(h.view.messages[0], UserMessage::UnableToConnect);
  EXPECT_EQ(p.processor->FrameCount(), 0u) << "nothing reached the claimed processor";

  // Free again: the connect button takes it and claims it for this instance.
  h.settings.Remove(kClaimsKey, std::string(sim::SimTransport::kPath));
  ConnectAndReadBack(h);
  EXPECT_TRUE(h.settings.Get(kClaimsKey, std::string(sim::SimTransport::kPath)).has_value());
  h.engine.Disconnect();
  EXPECT_FALSE(h.settings.Get(kClaimsKey, std::string(sim::SimTransport::kPath)).has_value());
}

TEST(LinkEngineOverTcp, StaysConnectedAndEditingAgainstAOneClientDeviceSide) {
  // A bridge to one USB device serves one connection at a time; the watcher must not probe it
  // while the link is open, or the healthy link is dropped about a second after the read-back.
  sim::SimProcess process;
  std::string error;
  ASSERT_TRUE(process.Start(ZELTO_SIM_EXE, {"--one-client", "--trace"}, &error)) << error;
  auto transport = MakeTransport(process.Url(), &error);
  ASSERT_TRUE(transport) << error;
  EngineHarness h(std::move(transport));
  LinkTiming timing;
  timing.afterStopOnFailure = 0ms;
  timing.watcherPeriod = 200ms;  // looks more often than the program does
  h.engine.SetLinkTiming(timing);
  h.engine.StartDeviceWatcher();
  ConnectAndReadBack(h);

  const auto end = std::chrono::steady_clock::now() + 10s;
  int gain = 0;
  while (std::chrono::steady_clock::now() < end) {
    gain = (gain + 7) % 61;
    h.engine.Data().Edit([&](CKTV_Data& d) { d.Output(gain % 7).SetGain(gain); });
    h.PumpUntil([] { return false; }, 250ms);
    ASSERT_TRUE(h.engine.Connected()) << "dropped after editing for a while";
  }
  EXPECT_TRUE(h.view.messages.empty());
  // The last edit reaches the processor.
  const std::string want = "ch " + std::to_string(gain % 7) + " idx 31";
  const std::size_t before = process.Lines().size();
  h.engine.Data().Edit([&](CKTV_Data& d) { d.Output(gain % 7).SetGain(gain == 60 ? 59 : gain + 1); });
  EXPECT_TRUE(h.PumpUntil(
      [&] {
        const auto lines = process.Lines();
        return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines.size())), lines.end(),
                           [&](const std::string& l) { return l.find(want) != std::string::npos; });
      },
      3s));
  h.engine.StopDeviceWatcher();
  h.engine.Disconnect();
  [[maybe_unused]] const int status = process.Stop();
#ifndef _WIN32
  EXPECT_EQ(status, 0);  // SIGTERM ends it cleanly; Windows can only end it outright
#endif
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

TEST(LinkEngine, RefusedOpenOfAFoundProcessorIsExplainedOnce) {
  auto t = std::make_unique<testing::RefusingTransport>(OpenRefusal::NoPermission, "/dev/hidraw7: Permission denied");
  auto* transport = t.get();
  EngineHarness h(std::move(t));
  h.engine.OnConnectButton();
  EXPECT_FALSE(h.engine.Connected());
  EXPECT_EQ(h.view.messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  const auto refused = h.engine.Link().TakeRefusedOpen();
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->reason, OpenRefusal::NoPermission);
  EXPECT_EQ(refused->detail, "/dev/hidraw7: Permission denied");
  EXPECT_FALSE(h.engine.Link().TakeRefusedOpen()) << "the reason belongs to one message";

  // Once the rule applies the same button connects, and a later failure has no stale reason.
  h.engine.OnConnectButton();
  transport->refusing = false;
  h.engine.OnConnectButton();
  EXPECT_TRUE(h.engine.Connected());
  EXPECT_FALSE(h.engine.Link().TakeRefusedOpen());
}

TEST(LinkEngine, AbsentProcessorHasNoRefusalToExplain) {
  InProcess p;
  p.processor->Unplug();
  p.harness->engine.OnConnectButton();
  EXPECT_EQ(p.harness->view.messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  EXPECT_FALSE(p.harness->engine.Link().TakeRefusedOpen());
}

TEST(LinkEngine, RefusalTextsNameTheReasonAndTheFix) {
  struct Case {
    OpenRefusal reason;
    Language lang;
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {OpenRefusal::NoPermission,
       Language::English,
       {"may not open it (/dev/hidraw7: x)", "zelto package", "70-zelto.rules",
        "unplug the processor and plug it in again"}},
      {OpenRefusal::NoPermission,
       Language::Chinese,
       {"无权打开它（/dev/hidraw7: x）", "zelto 软件包", "70-zelto.rules", "拔下处理器再重新插上"}},
      {OpenRefusal::InUse, Language::English, {"in use by another program", "Close that program"}},
      {OpenRefusal::InUse, Language::Chinese, {"正被其他程序占用", "关闭该程序"}},
      {OpenRefusal::Unknown, Language::English, {"could not be opened", "Unplug the processor", "udev rule"}},
      {OpenRefusal::Unknown, Language::Chinese, {"无法打开", "重新插上", "udev 规则"}},
  };
  for (const Case& c : cases) {
    const std::string text = RefusedOpenText({c.reason, "/dev/hidraw7: x"}, c.lang);
    for (const auto& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << text << "\n lacks " << part;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
}

TEST(LinkEngine, EveryUnableToConnectSaysWhyAndWhatToDo) {
  struct Case {
    ConnectFailure why;
    Language lang;
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {ConnectFailure::NotFound, Language::English, {"No processor was found", "(tcp:h:1: refused)", "connect again"}},
      {ConnectFailure::NotFound, Language::Chinese, {"未找到处理器", "（tcp:h:1: refused）", "重新连接"}},
      {ConnectFailure::NoReply, Language::English, {"did not answer in time", "then connect again"}},
      {ConnectFailure::NoReply, Language::Chinese, {"没有及时应答", "重新连接"}},
      {ConnectFailure::Removed, Language::English, {"went away", "Plug it in"}},
      {ConnectFailure::Removed, Language::Chinese, {"已断开", "重新插上"}},
      {ConnectFailure::Refused, Language::English, {"in use by another program", "Close that program"}},
  };
  const RefusedOpen inUse{OpenRefusal::InUse, ""};
  for (const Case& c : cases) {
    const std::string text = ConnectFailureText(c.why, inUse, "tcp:h:1: refused", c.lang);
    for (const auto& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << text << "\n lacks " << part;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
}

}  // namespace
}  // namespace zelto
