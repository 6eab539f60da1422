#include "sim/sim_server.h"

#include <gtest/gtest.h>

#include <array>

#include "core/device_image.h"
#include "core/frame.h"
#include "link/tcp/tcp_transport.h"

namespace zelto::sim {
namespace {

using Report = std::array<std::uint8_t, kHidReportSize>;

class SimServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDeviceImage(image);
    std::string error;
    ASSERT_TRUE(server.Listen(0, &error)) << error;
    server.Start();
    transport = std::make_unique<TcpTransport>(TcpEndpoint{kLoopbackHost, server.Port()});
    device = transport->Open(transport->Path());
    ASSERT_NE(device, nullptr) << transport->LastError();
  }

  void WritePoll(HidDevice& d) { Write(d, builder.BuildStatusPoll()); }

  void Write(HidDevice& d, SendDataPtr message) {
    Report r{};
    while (message->MakeHidReport(r)) ASSERT_TRUE(d.WriteOutputReport(r));
  }

  /// The command of the next reply the host reads (0 for an empty report).
  std::uint8_t NextReply(HidDevice& d) {
    Report in{};
    if (!d.ReadInputReport(in)) return 0xFF;
    return in[1 + frame::kCommand];
  }

  SimProcessor processor;
  SimServer server{processor};
  std::unique_ptr<TcpTransport> transport;
  std::unique_ptr<HidDevice> device;
  DeviceImage image;
  FrameBuilder builder{image};
};

TEST_F(SimServerTest, WatcherProbesDoNotDisturbTheOpenSession) {
  WritePoll(*device);
  ASSERT_EQ(transport->Enumerate().size(), 1u);
  ASSERT_EQ(transport->Enumerate().size(), 1u);
  Report in{};
  ASSERT_TRUE(device->ReadInputReport(in));
  EXPECT_EQ(in[1 + frame::kCommand], static_cast<std::uint8_t>(Command::Data)) << "the reply survived the probes";
}

TEST_F(SimServerTest, ASecondToolIsServedBesideTheFirstWithoutTakingItsReplies) {
  TcpTransport otherTransport({kLoopbackHost, server.Port()});
  auto other = otherTransport.Open(otherTransport.Path());
  ASSERT_NE(other, nullptr) << otherTransport.LastError();

  // Interleaved as two programs would: each sends before the other has read its answer.
  WritePoll(*device);
  Write(*other, builder.BuildItemWrite(BlockType::Output, 2, 0));
  EXPECT_EQ(NextReply(*other), static_cast<std::uint8_t>(Command::Ack));
  EXPECT_EQ(NextReply(*device), static_cast<std::uint8_t>(Command::Data)) << "the first tool lost its reply";
  EXPECT_EQ(NextReply(*device), 0) << "the first tool got the second one's reply as well";

  // The second tool hanging up leaves the first as it was.
  other.reset();
  WritePoll(*device);
  EXPECT_EQ(NextReply(*device), static_cast<std::uint8_t>(Command::Data));
}

TEST_F(SimServerTest, UnpluggedProcessorClosesTheSessionAndRefusesNewOnesUntilReplugged) {
  processor.Unplug();
  Report in{};
  EXPECT_FALSE(device->ReadInputReport(in));
  EXPECT_TRUE(transport->Enumerate().empty());
  device.reset();
  EXPECT_TRUE(transport->Enumerate().empty());
  EXPECT_NE(transport->LastError().find("before its hello"), std::string::npos) << transport->LastError();

  processor.Replug();
  auto again = transport->Open(transport->Path());
  ASSERT_NE(again, nullptr);
  WritePoll(*again);
  ASSERT_TRUE(again->ReadInputReport(in));
  EXPECT_EQ(in[1 + frame::kCommand], static_cast<std::uint8_t>(Command::Data));
}

TEST(SimServerOneClient, AcceptsTheNextConnectionOnlyAfterTheCurrentOneCloses) {
  SimProcessor processor;
  SimServer server{processor};
  server.SetOneClient(true);
  std::string error;
  ASSERT_TRUE(server.Listen(0, &error)) << error;
  server.Start();
  TcpTransport first({kLoopbackHost, server.Port()});
  TcpTransport second({kLoopbackHost, server.Port()});
  auto device = first.Open(first.Path());
  ASSERT_NE(device, nullptr) << first.LastError();
  EXPECT_EQ(second.Open(second.Path()), nullptr) << "a second host got a hello while the first was served";
  EXPECT_NE(second.LastError().find("no hello"), std::string::npos) << second.LastError();
  device.reset();
  auto next = second.Open(second.Path());
  ASSERT_NE(next, nullptr) << second.LastError();
  Report in{};
  EXPECT_TRUE(next->ReadInputReport(in));
}

TEST_F(SimServerTest, StopEndsServingWithAToolConnected) {
  server.Stop();
  Report in{};
  EXPECT_FALSE(device->ReadInputReport(in));
}

}  // namespace
}  // namespace zelto::sim
