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

  void WritePoll(HidDevice& d) {
    auto poll = builder.BuildStatusPoll();
    Report r{};
    while (poll->MakeHidReport(r)) ASSERT_TRUE(d.WriteOutputReport(r));
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
