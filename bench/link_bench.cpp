// Wall time of connect + read-back and of an edit reaching the processor, against zelto-sim over
// the report stream; and the CPU an idle connection costs. The protocol's own waits put a floor under
// the first two: 20 exchanges of at least 20 + 50 + 10 ms for the read-back.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "sim/sim_process.h"
#include "support/engine_harness.h"
#include "transports/device_url.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;
using testing::EngineHarness;

constexpr double kReadBackFloorSeconds = 20 * (0.020 + 0.050 + 0.010);

struct ServedSim {
  explicit ServedSim(std::vector<std::string> args = {}) {
    std::string error;
    if (!process.Start(sim::SimProcess::DefaultExecutable(), args, &error)) ok = false;
  }
  sim::SimProcess process;
  bool ok = true;
};

std::unique_ptr<EngineHarness> Connect(ServedSim& s, benchmark::State& state) {
  std::string error;
  auto transport = MakeTransport(s.process.Url(), &error);
  if (!transport) {
    state.SkipWithError(error.c_str());
    return nullptr;
  }
  auto h = std::make_unique<EngineHarness>(std::move(transport));
  h->engine.OnConnectButton();
  if (!h->PumpUntil([&] { return h->Saw(Notice::LiveReadDone) && !h->view.transferShown; }, 10s)) {
    state.SkipWithError("read-back did not finish");
    return nullptr;
  }
  return h;
}

void BM_ConnectAndReadBackOverTcp(benchmark::State& state) {
  ServedSim s;
  if (!s.ok) return state.SkipWithError("zelto-sim not found");
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    auto h = Connect(s, state);
    if (!h) return;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    state.PauseTiming();
    h->engine.Disconnect();
    state.ResumeTiming();
  }
  state.counters["floor_s"] = kReadBackFloorSeconds;
}
BENCHMARK(BM_ConnectAndReadBackOverTcp)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_EditToFrameAtProcessor(benchmark::State& state) {
  ServedSim s({"--trace"});
  if (!s.ok) return state.SkipWithError("zelto-sim not found");
  auto h = Connect(s, state);
  if (!h) return;
  int gain = 10;
  for (auto _ : state) {
    const std::size_t before = s.process.Lines().size();
    const auto start = std::chrono::steady_clock::now();
    gain = gain == 10 ? 20 : 10;
    h->engine.Data().Edit([&](CKTV_Data& d) { d.Output(4).SetGain(gain); });
    // The processor's trace prints one line per frame it receives.
    const bool arrived = h->PumpUntil(
        [&] {
          const auto lines = s.process.Lines();
          for (std::size_t i = before; i < lines.size(); ++i)
            if (lines[i].find("ch 4 idx 31") != std::string::npos) return true;
          return false;
        },
        3s);
    if (!arrived) return state.SkipWithError("edit not sent");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  h->engine.Disconnect();
}
BENCHMARK(BM_EditToFrameAtProcessor)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_IdleConnectionCpu(benchmark::State& state) {
  ServedSim s;
  if (!s.ok) return state.SkipWithError("zelto-sim not found");
  auto h = Connect(s, state);
  if (!h) return;
  double share = 0;
  for (auto _ : state) {
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(5s);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    share = (CpuSeconds() - cpu0) / wall;
    state.SetIterationTime(wall);
  }
  state.counters["cpu_percent"] = share * 100;
  h->engine.Disconnect();
}
BENCHMARK(BM_IdleConnectionCpu)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto
