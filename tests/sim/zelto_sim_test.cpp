// zelto-sim as a user runs it: a separate process reached over the report stream.

#include <signal.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/bytes.h"
#include "core/frame.h"
#include "core/update_steps.h"
#include "link/tcp/tcp_transport.h"
#include "sim/sim_process.h"
#include "support/report_frames.h"

namespace zelto::sim {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::Code;
using testing::FrameIn;
using testing::Report;

std::size_t PayloadSize(const Bytes& f) { return GetU16(f, frame::kPayloadLength); }

class ZeltoSimTest : public ::testing::Test {
 protected:
  ZeltoSimTest() { InitDeviceImage(image); }

  void Start(const std::vector<std::string>& args) {
    std::string error;
    ASSERT_TRUE(sim.Start(ZELTO_SIM_EXE, args, &error)) << error;
    transport = std::make_unique<TcpTransport>(TcpEndpoint{"127.0.0.1", sim.Port()});
    device = transport->Open(transport->Path());
    ASSERT_NE(device, nullptr) << transport->LastError();
  }

  // Writes the message and returns the reply the next input report carries; nullopt when the
  // connection failed.
  std::optional<Bytes> Exchange(SendDataPtr m) {
    Report r{};
    while (m->MakeHidReport(r))
      if (!device->WriteOutputReport(r)) return std::nullopt;
    Report in{};
    if (!device->ReadInputReport(in)) return std::nullopt;
    return FrameIn(in);
  }

  SimProcess sim;
  std::unique_ptr<TcpTransport> transport;
  std::unique_ptr<HidDevice> device;
  DeviceImage image;
  FrameBuilder builder{image};
};

TEST_F(ZeltoSimTest, AnswersOverTheReportStreamAndTracesEachFrame) {
  Start({"--trace"});
  const auto reply = Exchange(builder.BuildSystemRead(SystemItem::DeviceInfo, 0));
  ASSERT_TRUE(reply && !reply->empty());
  EXPECT_EQ((*reply)[frame::kCommand], Code(Command::Data));
  EXPECT_EQ(std::string(reply->begin() + frame::kHeaderSize, reply->begin() + frame::kHeaderSize + 17),
            "KVN-734-31EQ-V3.0");
  ASSERT_TRUE(sim.WaitForLines(2, 5s));
  EXPECT_EQ(sim.Lines()[0], "listening on 127.0.0.1:" + std::to_string(sim.Port()));
  EXPECT_EQ(sim.Lines()[1], "#1 READ slot 0 SYSTEM DEVICE_INFO len 8 -> DATA");
#ifndef _WIN32
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
#endif
}

TEST_F(ZeltoSimTest, StopsCleanlyOnSigintWithAToolConnected) {
#ifdef _WIN32
  GTEST_SKIP() << "no signal stops another program on Windows; Ctrl-C reaches only its own console";
#endif
  // Started the way a shell starts a background job: with SIGINT ignored, which exec keeps.
  const auto previous = ::signal(SIGINT, SIG_IGN);
  Start({});
  ::signal(SIGINT, previous);
  ASSERT_TRUE(Exchange(builder.BuildStatusPoll()));
  EXPECT_EQ(sim.Stop(SIGINT), 0);
  Report in{};
  EXPECT_FALSE(device->ReadInputReport(in)) << "a stopped simulator is a removed device";
}

TEST_F(ZeltoSimTest, FaultOptionsShapeTheReplies) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::uint8_t> commands;  // reply command per status poll; 0 = no reply
    bool checkRight = true;
  };
  const std::uint8_t data = Code(Command::Data), resend = Code(Command::Resend);
  const Case cases[] = {
      {{"--drop-reply"}, {0, 0}},
      {{"--corrupt-check"}, {data}, false},
      {{"--resend"}, {resend, resend}},
      {{"--empty-data"}, {data}},
      {{"--resend", "--fault-after", "1", "--fault-count", "1"}, {data, resend, data}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " ..." : ""));
    sim.Stop();
    Start(c.args);
    std::vector<std::uint8_t> got;
    for (std::size_t i = 0; i < c.commands.size(); ++i) {
      const auto reply = Exchange(builder.BuildStatusPoll());
      ASSERT_TRUE(reply);
      got.push_back(reply->empty() ? 0 : (*reply)[frame::kCommand]);
      if (!reply->empty()) {
        EXPECT_EQ((*reply)[reply->size() - 2] == FrameCheck(*reply), c.checkRight);
        if (c.args[0] == "--empty-data") {
          EXPECT_EQ(PayloadSize(*reply), 0u);
        }
      }
    }
    EXPECT_EQ(got, c.commands);
  }
}

TEST_F(ZeltoSimTest, IdentityAndUsbVersionOptions) {
  Start({"--identity", "KVN-734-31EQ-V2.9", "--usb-version", "0x0100"});
  const auto reply = Exchange(builder.BuildSystemRead(SystemItem::DeviceInfo, 0));
  ASSERT_TRUE(reply && !reply->empty());
  EXPECT_EQ(std::string(reply->begin() + frame::kHeaderSize, reply->begin() + frame::kHeaderSize + 17),
            "KVN-734-31EQ-V2.9");
  const auto devices = transport->Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].vendorId, kVendorId);
  EXPECT_EQ(devices[0].productId, kProductId);
  EXPECT_EQ(devices[0].versionNumber, 0x0100);
}

TEST_F(ZeltoSimTest, ReplyDelayOptionHoldsTheReplyBack) {
  constexpr auto kDelay = 100ms;
  Start({"--reply-delay-ms", std::to_string(kDelay.count())});
  const auto start = std::chrono::steady_clock::now();
  auto reply = Exchange(builder.BuildStatusPoll());
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->empty());
  Report in{};
  while (reply->empty() && std::chrono::steady_clock::now() - start < 20 * kDelay) {
    std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(device->ReadInputReport(in));
    reply = FrameIn(in);
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, kDelay);
  ASSERT_FALSE(reply->empty());
  EXPECT_EQ((*reply)[frame::kCommand], Code(Command::Data));
}

TEST_F(ZeltoSimTest, DisconnectAfterOptionClosesTheConnectionAndTheDeviceIsGone) {
  Start({"--disconnect-after", "1"});
  const auto first = Exchange(builder.BuildStatusPoll());
  ASSERT_TRUE(first);
  EXPECT_FALSE(first->empty());
  EXPECT_FALSE(Exchange(builder.BuildStatusPoll()));
  EXPECT_TRUE(transport->Enumerate().empty());
  EXPECT_EQ(transport->Open(transport->Path()), nullptr);
}

TEST_F(ZeltoSimTest, VanishDuringUpdateOptionDropsTheConnectionAtThatStep) {
  Start({"--vanish-during-update", "1"});
  std::array<std::uint8_t, frame::kMaxSize> work{};
  work[0] = work[1] = work[2] = kSyncByte;
  work[3] = kSyncEndByte;
  work[frame::kCommand] = Code(Command::Write);
  work[frame::kDeviceId] = kDeviceId;
  work[frame::kBlockType] = static_cast<std::uint8_t>(BlockType::System);
  work[frame::kChannel] = static_cast<std::uint8_t>(UpdateStep::DspStart);
  constexpr std::size_t kStartPayload = 16;
  PutU16(work, frame::kPayloadLength, kStartPayload);
  auto buffer = std::make_unique<std::uint8_t[]>(kStartPayload + frame::kOverhead);
  FinishFrame(work, std::span(buffer.get(), kStartPayload + frame::kOverhead));
  auto m = std::make_unique<CSendData>();
  m->SetBuffer(std::move(buffer), kStartPayload + frame::kOverhead);
  EXPECT_FALSE(Exchange(std::move(m)));
  EXPECT_TRUE(transport->Enumerate().empty());
}

TEST_F(ZeltoSimTest, BadOptionIsRefusedWithoutServing) {
  std::string error;
  EXPECT_FALSE(sim.Start(ZELTO_SIM_EXE, {"--reply-delay-ms", "soon"}, &error));
  EXPECT_NE(error.find("did not report its port"), std::string::npos) << error;
}

}  // namespace
}  // namespace zelto::sim
