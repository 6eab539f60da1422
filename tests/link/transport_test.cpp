// The three HID backends behind one interface, the report stream's wire format and the device URLs.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "core/bytes.h"
#include "core/frame.h"
#include "core/platform.h"
#include "core/update_steps.h"
#include "link/tcp/report_stream.h"
#include "link/tcp/socket.h"
#include "link/tcp/tcp_transport.h"
#include "sim/sim_process.h"
#include "sim/sim_transport.h"
#include "support/report_frames.h"
#include "transports/device_url.h"

#if ZELTO_HAVE_USB
#include "link/usb/hidapi_transport.h"
#endif

namespace zelto {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::Code;
using testing::FrameIn;
using testing::Report;

// ---- The same behaviour through every backend ----

// The hardware runs both ways an output report can travel: SET_REPORT on the control pipe and the
// interrupt OUT pipe.
enum class Backend { Sim, Tcp, UsbControl, UsbInterrupt };

bool IsUsb(Backend b) { return b == Backend::UsbControl || b == Backend::UsbInterrupt; }

std::string Name(Backend b) {
  switch (b) {
    case Backend::Sim: return "InProcessSim";
    case Backend::Tcp: return "TcpToZeltoSim";
    case Backend::UsbControl: return "UsbHardwareControlWrite";
    case Backend::UsbInterrupt: return "UsbHardwareInterruptWrite";
  }
  return "?";
}
std::string BackendName(const ::testing::TestParamInfo<Backend>& info) { return Name(info.param); }
void PrintTo(Backend b, std::ostream* os) { *os << Name(b); }

class TransportTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    InitDeviceImage(image);
    switch (GetParam()) {
      case Backend::Sim: transport = std::make_unique<sim::SimTransport>(); break;
      case Backend::Tcp: {
        std::string error;
        ASSERT_TRUE(process.Start(ZELTO_SIM_EXE, {}, &error)) << error;
        transport = std::make_unique<TcpTransport>(TcpEndpoint{"127.0.0.1", process.Port()});
        break;
      }
#if ZELTO_HAVE_USB
      case Backend::UsbControl: transport = std::make_unique<HidapiTransport>(UsbWrite::Control); break;
      case Backend::UsbInterrupt: transport = std::make_unique<HidapiTransport>(UsbWrite::Interrupt); break;
#else
      case Backend::UsbControl:
      case Backend::UsbInterrupt: GTEST_SKIP() << "built without the USB backend";
#endif
    }
    for (const auto& d : transport->Enumerate())
      if (d.vendorId == kVendorId && d.productId == kProductId && d.versionNumber == kVersionNumber) info = d;
    if (IsUsb(GetParam()) && info.path.empty()) GTEST_SKIP() << "no processor attached";
    ASSERT_FALSE(info.path.empty()) << transport->LastError();
    device = transport->Open(info.path);
    ASSERT_NE(device, nullptr) << transport->LastError();
  }

  Bytes Exchange(SendDataPtr m) {
    Report r{};
    while (m->MakeHidReport(r)) EXPECT_TRUE(device->WriteOutputReport(r));
    // A real processor may take a moment; the simulated one answers at once.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      Report in{};
      if (!device->ReadInputReport(in)) return {};
      if (Bytes f = FrameIn(in); !f.empty()) return f;
      std::this_thread::sleep_for(kPollInterval);
    }
    return {};
  }

  static constexpr int kAttempts = 60;
  static constexpr auto kPollInterval = 50ms;

  sim::SimProcess process;
  std::unique_ptr<HidTransport> transport;
  HidDeviceInfo info;
  std::unique_ptr<HidDevice> device;
  DeviceImage image;
  FrameBuilder builder{image};
};

TEST_P(TransportTest, ProcessorAnswersItsIdentity) {
  const Bytes reply = Exchange(builder.BuildSystemRead(SystemItem::DeviceInfo, 0));
  ASSERT_GE(reply.size(), frame::kHeaderSize + 15);
  EXPECT_EQ(reply[frame::kCommand], Code(Command::Data));
  EXPECT_EQ(reply[reply.size() - 2], FrameCheck(reply));
  EXPECT_EQ(std::string(reply.begin() + frame::kHeaderSize, reply.begin() + frame::kHeaderSize + 15),
            "KVN-734-31EQ-V3");
}

TEST_P(TransportTest, FullSizeFrameTravelsInOneReportAndReadsBack) {
  if (IsUsb(GetParam())) GTEST_SKIP() << "would change the settings of a real processor";
  auto block = image.Block(0, BlockType::Output, 4);
  for (std::size_t i = 0; i < out::kSendSize; ++i) block[i] = static_cast<std::uint8_t>(255 - i);
  auto write = builder.BuildBlockWrite(0, BlockType::Output, 4, true, false);
  ASSERT_EQ(write->Length(), static_cast<std::int32_t>(kHidDataSize));
  EXPECT_EQ(Exchange(std::move(write))[frame::kCommand], Code(Command::Ack));

  const Bytes reply = Exchange(builder.BuildBlockRead(0, BlockType::Output, 4, true));
  ASSERT_EQ(reply.size(), kHidDataSize);
  EXPECT_EQ(Bytes(reply.begin() + frame::kHeaderSize, reply.end() - 2), Bytes(block.begin(), block.begin() + 296));
}

TEST_P(TransportTest, DeviceIsOpenedOnlyAtItsOwnPath) {
  EXPECT_EQ(transport->Open(info.path + "x"), nullptr);
  EXPECT_FALSE(transport->LastError().empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, TransportTest,
                         ::testing::Values(Backend::Sim, Backend::Tcp, Backend::UsbControl, Backend::UsbInterrupt),
                         BackendName);

// ---- The report stream against a scripted device side ----

// Listens on loopback and runs `script` with the first accepted connection.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::function<void(net::Socket&)> script) {
    std::string error;
    listener_ = net::ListenTcp("127.0.0.1", 0, &port_, &error);
    EXPECT_TRUE(listener_.Valid()) << error;
    thread_ = std::thread([this, script = std::move(script)] {
      net::Socket s = listener_.Accept(kAcceptTimeout);
      if (s.Valid()) script(s);
    });
  }
  ~ScriptedServer() {
    listener_.Interrupt();  // ends an accept still waiting
    thread_.join();
  }
  TcpEndpoint Endpoint() const { return {"127.0.0.1", port_}; }

 private:
  static constexpr auto kAcceptTimeout = 10s;

  net::Listener listener_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

void SendHello(net::Socket& socket, std::span<const std::uint8_t> hello) {
  ASSERT_EQ(net::SendAll(socket, hello, 1s), net::IoResult::Ok);
}

TEST(ReportStream, HelloCarriesMagicAndAttributesLittleEndian) {
  const auto hello = report_stream::EncodeHello({0x0483, 0x5750, 0x0200});
  EXPECT_EQ(Bytes(hello.begin(), hello.end()), (Bytes{'Z', 'H', 'I', 'D', 0x83, 0x04, 0x50, 0x57, 0x00, 0x02}));
  EXPECT_EQ(report_stream::DecodeHello(hello), (report_stream::Attributes{0x0483, 0x5750, 0x0200}));
  Bytes wrongMagic(hello.begin(), hello.end());
  wrongMagic[0] = 'X';
  EXPECT_FALSE(report_stream::DecodeHello(wrongMagic));
  EXPECT_FALSE(report_stream::DecodeHello(std::span(hello).first(9)));
}

TEST(TcpTransport, EnumerateReportsTheHelloAttributesUnderTheTcpPath) {
  ScriptedServer server([](net::Socket& s) { SendHello(s, report_stream::EncodeHello({0x1234, 0x5678, 0x0100})); });
  TcpTransport transport(server.Endpoint());
  const auto devices = transport.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].path, "tcp:127.0.0.1:" + std::to_string(server.Endpoint().port));
  EXPECT_EQ(devices[0].vendorId, 0x1234);
  EXPECT_EQ(devices[0].productId, 0x5678);
  EXPECT_EQ(devices[0].versionNumber, 0x0100);
}

TEST(TcpTransport, BadHellosFindNoDevice) {
  struct Case {
    const char* name;
    Bytes hello;
    const char* error;
  };
  const Case cases[] = {
      {"wrong magic", {'H', 'I', 'D', 'Z', 0x83, 0x04, 0x50, 0x57, 0x00, 0x02}, "ZHID"},
      {"short hello", {'Z', 'H', 'I', 'D', 0x83}, "closed the connection before its hello"},
      {"no hello", {}, "closed the connection before its hello"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server([&](net::Socket& s) {
      if (!c.hello.empty()) SendHello(s, c.hello);
    });
    TcpTransport transport(server.Endpoint());
    EXPECT_EQ(transport.Open(transport.Path()), nullptr);
    EXPECT_NE(transport.LastError().find(c.error), std::string::npos) << transport.LastError();
  }
}

TEST(TcpTransport, NothingListeningIsNoDeviceWithAReason) {
  std::uint16_t port = 0;
  std::string error;
  { net::Listener probe = net::ListenTcp("127.0.0.1", 0, &port, &error); }  // a port nobody listens on now
  TcpTransport transport({"127.0.0.1", port});
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_NE(transport.LastError().find("cannot connect"), std::string::npos) << transport.LastError();
  EXPECT_EQ(transport.Open(transport.Path()), nullptr);
}

TEST(TcpTransport, RequestsAreOperationByteAndFullReports) {
  Bytes setRequest(report_stream::kSetRequestSize);
  std::uint8_t getRequest = 0;
  ScriptedServer server([&](net::Socket& s) {
    SendHello(s, report_stream::EncodeHello({kVendorId, kProductId, kVersionNumber}));
    ASSERT_EQ(net::ReceiveAll(s, setRequest, 2s), net::IoResult::Ok);
    ASSERT_EQ(net::ReceiveAll(s, std::span(&getRequest, 1), 2s), net::IoResult::Ok);
    Report answer{};
    for (std::size_t i = 1; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(net::SendAll(s, answer, 2s), net::IoResult::Ok);
  });
  TcpTransport transport(server.Endpoint());
  auto device = transport.Open(transport.Path());
  ASSERT_NE(device, nullptr) << transport.LastError();

  Report out{};
  out[0] = 0x7F;  // whatever the caller left there, report ID 0 goes on the wire
  out[1] = kSyncByte;
  out[312] = 0xEE;
  ASSERT_TRUE(device->WriteOutputReport(out));
  Report in{};
  ASSERT_TRUE(device->ReadInputReport(in));

  EXPECT_EQ(setRequest[0], static_cast<std::uint8_t>(report_stream::Op::SetOutputReport));
  EXPECT_EQ(setRequest[1], 0);
  EXPECT_EQ(setRequest[2], kSyncByte);
  EXPECT_EQ(setRequest[313], 0xEE);
  EXPECT_EQ(getRequest, static_cast<std::uint8_t>(report_stream::Op::GetInputReport));
  EXPECT_EQ(in[0], 0);
  EXPECT_EQ(in[1], 1);
  EXPECT_EQ(in[312], 312 & 0xFF);
}

TEST(TcpTransport, ClosedConnectionIsTheRemovalOfTheDevice) {
  ScriptedServer server([](net::Socket& s) {
    SendHello(s, report_stream::EncodeHello({kVendorId, kProductId, kVersionNumber}));
  });
  TcpTransport transport(server.Endpoint());
  auto device = transport.Open(transport.Path());
  ASSERT_NE(device, nullptr);
  Report in{};
  in.fill(0x55);
  EXPECT_FALSE(device->ReadInputReport(in));
  EXPECT_EQ(in, Report{}) << "a failed read leaves no stale bytes";
  Report out{};
  EXPECT_FALSE(device->WriteOutputReport(out)) << "once removed, the device stays removed";
}

TEST(TcpTransport, AnOpenDeviceIsItsConnectionAndIsNotProbed) {
  // A device side that serves one client at a time: a probe while the device is open would wait
  // for a hello that never comes and report the healthy device removed.
  sim::SimProcess process;
  std::string error;
  ASSERT_TRUE(process.Start(ZELTO_SIM_EXE, {"--one-client"}, &error)) << error;
  TcpTransport transport({"127.0.0.1", process.Port()});
  ASSERT_EQ(transport.Enumerate().size(), 1u) << transport.LastError();
  auto device = transport.Open(transport.Path());
  ASSERT_NE(device, nullptr) << transport.LastError();
  for (int i = 0; i < 3; ++i) {
    const auto devices = transport.Enumerate();
    ASSERT_EQ(devices.size(), 1u) << "probe " << i << ": " << transport.LastError();
    EXPECT_EQ(devices[0].path, transport.Path());
    EXPECT_EQ(devices[0].productId, kProductId);
  }
  Report in{};
  EXPECT_TRUE(device->ReadInputReport(in));
  // Its connection closing is its removal.
  [[maybe_unused]] const int status = process.Stop();
#ifndef _WIN32
  EXPECT_EQ(status, 0);  // SIGTERM ends it cleanly; Windows can only end it outright
#endif
  EXPECT_FALSE(device->ReadInputReport(in));
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_FALSE(transport.Present(transport.Path()));
  device.reset();
  EXPECT_TRUE(transport.Enumerate().empty()) << "nothing listens any more";
}

TEST(TcpTransport, ZeltoSimComesBackAfterItsRestartUnderTheSamePath) {
  sim::SimProcess process;
  std::string error;
  ASSERT_TRUE(process.Start(ZELTO_SIM_EXE, {"--restart-ms", "50"}, &error)) << error;
  TcpTransport transport({"127.0.0.1", process.Port()});
  auto device = transport.Open(transport.Path());
  ASSERT_NE(device, nullptr);

  std::array<std::uint8_t, frame::kMaxSize> work{};
  work[0] = work[1] = work[2] = kSyncByte;
  work[3] = kSyncEndByte;
  work[frame::kCommand] = Code(Command::Write);
  work[frame::kDeviceId] = kDeviceId;
  work[frame::kBlockType] = static_cast<std::uint8_t>(BlockType::System);
  work[frame::kChannel] = static_cast<std::uint8_t>(UpdateStep::DspStart);
  constexpr std::size_t kLength = 16 + frame::kOverhead;
  PutU16(work, frame::kPayloadLength, 16);
  Report out{};
  FinishFrame(work, std::span(out).subspan(1, kLength));
  ASSERT_TRUE(device->WriteOutputReport(out));
  Report in{};
  ASSERT_TRUE(device->ReadInputReport(in));
  EXPECT_EQ(FrameIn(in)[frame::kCommand], Code(Command::Ack));
  EXPECT_FALSE(device->ReadInputReport(in)) << "the processor restarts after acknowledging the start";
  EXPECT_TRUE(transport.Enumerate().empty()) << "the dead connection is the device's removal";
  device.reset();  // closed, as the link closes a removed device: the transport looks again

  std::vector<HidDeviceInfo> devices;
  for (int i = 0; i < 50 && devices.empty(); ++i) {
    std::this_thread::sleep_for(10ms);
    devices = transport.Enumerate();
  }
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].path, transport.Path());
  EXPECT_NE(transport.Open(transport.Path()), nullptr);
}

// ---- hidapi without hardware ----

#if ZELTO_HAVE_USB
TEST(HidapiTransport, MissingPathIsRefusedWithAReason) {
  HidapiTransport transport;
  transport.Enumerate();  // whatever is attached, enumerating must work
  EXPECT_EQ(transport.Open("/dev/zelto-no-such-device"), nullptr);
  EXPECT_FALSE(transport.LastError().empty());
}
#endif

// ---- Device URLs ----

TEST(DeviceUrl, ChoosesTheBackendOrSaysWhatIsWrong) {
  struct Case {
    const char* url;
    bool ok;
    const char* errorPart;
  };
  const Case cases[] = {
      {"usb", UsbBackendBuilt(), UsbBackendBuilt() ? "" : "no USB backend"},
      {"sim", true, ""},
      {"tcp:127.0.0.1:5000", true, ""},
      {"tcp:localhost:1", true, ""},
      {"tcp:[::1]:65535", true, ""},
      {"tcp:127.0.0.1", false, "tcp:HOST:PORT"},
      {"tcp::5000", false, "tcp:HOST:PORT"},
      {"tcp:host:0", false, "1 to 65535"},
      {"tcp:host:65536", false, "1 to 65535"},
      {"tcp:host:50x", false, "tcp:HOST:PORT"},
      {"tcp:::1:80", false, "tcp:HOST:PORT"},
      {"serial", false, "use usb, sim or tcp:HOST:PORT"},
      {"", false, "unknown device"},
      {"USB", false, "unknown device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    std::string error;
    const auto transport = MakeTransport(c.url, &error);
    EXPECT_EQ(transport != nullptr, c.ok);
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
  }
}

TEST(DeviceUrl, TcpEndpointsAndPaths) {
  const auto v4 = ParseTcpEndpoint("10.0.0.2:7000");
  ASSERT_TRUE(v4);
  EXPECT_EQ(v4->host, "10.0.0.2");
  EXPECT_EQ(v4->port, 7000);
  EXPECT_EQ(TcpDevicePath(*v4), "tcp:10.0.0.2:7000");
  const auto v6 = ParseTcpEndpoint("[::1]:7001");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host, "::1");
  EXPECT_EQ(TcpDevicePath(*v6), "tcp:[::1]:7001");
}

TEST(DeviceUrl, UsbWriteFromCommandLineEnvironmentOrControl) {
  SetEnvironmentValue(kUsbWriteEnvironment, nullptr);
  std::string error;
  EXPECT_EQ(ChooseUsbWrite("", &error), UsbWrite::Control);
  EXPECT_EQ(ChooseUsbWrite("interrupt", &error), UsbWrite::Interrupt);
  SetEnvironmentValue(kUsbWriteEnvironment, "interrupt");
  EXPECT_EQ(ChooseUsbWrite("", &error), UsbWrite::Interrupt);
  EXPECT_EQ(ChooseUsbWrite("control", &error), UsbWrite::Control);
  SetEnvironmentValue(kUsbWriteEnvironment, "bulk");
  EXPECT_FALSE(ChooseUsbWrite("", &error));
  EXPECT_NE(error.find("bulk"), std::string::npos) << error;
  SetEnvironmentValue(kUsbWriteEnvironment, nullptr);
  EXPECT_FALSE(ChooseUsbWrite("Control", &error));
  // Without hid_send_output_report the control write falls back to hid_write.
#if ZELTO_HAVE_USB
  HidapiTransport usb(UsbWrite::Control);
  EXPECT_EQ(usb.Write(), UsbControlWriteAvailable() ? UsbWrite::Control : UsbWrite::Interrupt);
#endif
}

TEST(DeviceUrl, CommandLineBeatsEnvironmentBeatsUsb) {
  SetEnvironmentValue(kDeviceUrlEnvironment, nullptr);
  EXPECT_EQ(ChooseDeviceUrl(""), "usb");
  SetEnvironmentValue(kDeviceUrlEnvironment, "sim");
  EXPECT_EQ(ChooseDeviceUrl(""), "sim");
  EXPECT_EQ(ChooseDeviceUrl("tcp:h:1"), "tcp:h:1");
  SetEnvironmentValue(kDeviceUrlEnvironment, nullptr);
}

}  // namespace
}  // namespace zelto
