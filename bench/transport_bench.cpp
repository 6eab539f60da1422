// Cost of one exchange at the transport level: a status poll written as one output report and
// its reply read back with one input report, through each backend that needs no hardware. The
// link's own waits (20 ms between reports, 50 ms before a scan) come on top of this; the figures
// show how little of an exchange the transport itself takes.

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <string>

#include "core/device_image.h"
#include "core/frame.h"
#include "link/tcp/tcp_transport.h"
#include "sim/sim_process.h"
#include "sim/sim_server.h"
#include "sim/sim_transport.h"

namespace {

using namespace zelto;

enum class Backend { InProcess, TcpInProcessServer, TcpZeltoSimProcess };

void RoundTrips(benchmark::State& state, HidDevice& device) {
  DeviceImage image;
  InitDeviceImage(image);
  FrameBuilder builder(image);
  std::array<std::uint8_t, kHidReportSize> out{};
  std::array<std::uint8_t, kHidReportSize> in{};
  for (auto _ : state) {
    auto poll = builder.BuildStatusPoll();
    while (poll->MakeHidReport(out))
      if (!device.WriteOutputReport(out)) state.SkipWithError("write failed");
    if (!device.ReadInputReport(in) || in[1] != kSyncByte) state.SkipWithError("no reply");
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_StatusPollRoundTrip(benchmark::State& state, Backend backend) {
  sim::SimProcessor processor;
  sim::SimServer server(processor);
  sim::SimProcess process;
  std::unique_ptr<HidTransport> transport;
  std::string error;
  switch (backend) {
    case Backend::InProcess: transport = std::make_unique<sim::SimTransport>(); break;
    case Backend::TcpInProcessServer:
      if (!server.Listen(0, &error)) return state.SkipWithError(error.c_str());
      server.Start();
      transport = std::make_unique<TcpTransport>(TcpEndpoint{sim::kLoopbackHost, server.Port()});
      break;
    case Backend::TcpZeltoSimProcess: {
      const std::string exe = sim::SimProcess::DefaultExecutable();
      if (exe.empty()) return state.SkipWithError("zelto-sim not found (set ZELTO_SIM_EXE)");
      if (!process.Start(exe, {}, &error)) return state.SkipWithError(error.c_str());
      transport = std::make_unique<TcpTransport>(TcpEndpoint{sim::kLoopbackHost, process.Port()});
      break;
    }
  }
  const auto devices = transport->Enumerate();
  if (devices.empty()) return state.SkipWithError("no device");
  auto device = transport->Open(devices.front().path);
  if (!device) return state.SkipWithError(transport->LastError().c_str());
  RoundTrips(state, *device);
}

BENCHMARK_CAPTURE(BM_StatusPollRoundTrip, InProcessSim, Backend::InProcess);
BENCHMARK_CAPTURE(BM_StatusPollRoundTrip, TcpInProcessServer, Backend::TcpInProcessServer);
BENCHMARK_CAPTURE(BM_StatusPollRoundTrip, TcpZeltoSimProcess, Backend::TcpZeltoSimProcess);

// Probing the endpoint as a device watcher does once a second: connect, hello, hang up.
void BM_TcpEnumerate(benchmark::State& state) {
  sim::SimProcessor processor;
  sim::SimServer server(processor);
  std::string error;
  if (!server.Listen(0, &error)) return state.SkipWithError(error.c_str());
  server.Start();
  TcpTransport transport(TcpEndpoint{sim::kLoopbackHost, server.Port()});
  for (auto _ : state)
    if (transport.Enumerate().size() != 1) state.SkipWithError("no device");
}
BENCHMARK(BM_TcpEnumerate);

}  // namespace
