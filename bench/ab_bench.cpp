// A/B switch time at the processor against zelto-sim over the report stream: from the switch until
// the processor has received the last block, with 1, 4 and 8 channels differing in every EQ band
// gain and the channel gain. Beside it the same difference sent item by item, as edits go out
// through the change scan (32 items per channel, one per exchange).

#include <benchmark/benchmark.h>

#include <chrono>

#include "edit/ab_compare.h"
#include "transports/device_url.h"
#include "model/ktv_data.h"
#include "sim/sim_process.h"
#include "support/engine_harness.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;
using testing::EngineHarness;

constexpr int kItemsPerChannel = 31 + 1;  // every band and item 31

struct Connected {
  sim::SimProcess process;
  std::unique_ptr<EngineHarness> h;

  bool Start(benchmark::State& state) {
    std::string error;
    if (!process.Start(sim::SimProcess::DefaultExecutable(), {"--trace"}, &error)) {
      state.SkipWithError("zelto-sim not found");
      return false;
    }
    auto transport = MakeTransport(process.Url(), &error);
    if (!transport) {
      state.SkipWithError(error.c_str());
      return false;
    }
    h = std::make_unique<EngineHarness>(std::move(transport));
    h->engine.OnConnectButton();
    if (!h->PumpUntil([&] { return h->Saw(Notice::LiveReadDone) && !h->view.transferShown; }, 10s)) {
      state.SkipWithError("read-back did not finish");
      return false;
    }
    return true;
  }
  /// Frames the processor received beyond the first `from` lines, status polls left out.
  std::size_t FramesSince(std::size_t from) {
    const auto lines = process.Lines();
    std::size_t n = 0;
    for (std::size_t i = from; i < lines.size(); ++i)
      if (lines[i].find("SYSTEM STATUS") == std::string::npos) ++n;
    return n;
  }
  bool WaitForFrames(std::size_t from, std::size_t count) {
    return h->PumpUntil([&] { return FramesSince(from) >= count; }, 30s);
  }
  /// Lets the status poll go quiet so that every run starts from an idle link.
  void Settle() {
    h->PumpUntil([] { return false; }, 100ms);
  }
};

/// The difference: channels 0..n-1 get band gains and a gain of their own, one of two sets.
void EditChannels(Engine& engine, int channels, bool second) {
  engine.Data().Edit([&](CKTV_Data& d) {
    for (int c = 0; c < channels; ++c) {
      auto& o = d.Output(c);
      for (int k = 0; k < out::kBands; ++k) o.Eq().Filter(k).SetGainCode(second ? 150 + k : 250 - k);
      o.SetGain(second ? 40 : 50);
    }
  });
}

void BM_AbSwitch(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  Connected s;
  if (!s.Start(state)) return;
  AbCompare& ab = s.h->runtime.ab();
  ab.Switch();
  const std::size_t edited = s.process.Lines().size();
  EditChannels(s.h->engine, channels, true);
  if (!s.WaitForFrames(edited, static_cast<std::size_t>(channels * kItemsPerChannel)))
    return state.SkipWithError("edits not sent");
  for (auto _ : state) {
    s.Settle();
    const std::size_t before = s.process.Lines().size();
    const auto start = std::chrono::steady_clock::now();
    const AbCompare::Outcome o = ab.Switch();
    if (o.queued != channels) return state.SkipWithError("unexpected difference");
    if (!s.WaitForFrames(before, static_cast<std::size_t>(channels))) return state.SkipWithError("blocks not sent");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["frames"] = channels;
  s.h->engine.Disconnect();
}
BENCHMARK(BM_AbSwitch)->Arg(1)->Arg(4)->Arg(8)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

void BM_SameDifferenceItemByItem(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  Connected s;
  if (!s.Start(state)) return;
  bool second = false;
  for (auto _ : state) {
    s.Settle();
    second = !second;
    const std::size_t before = s.process.Lines().size();
    const auto start = std::chrono::steady_clock::now();
    EditChannels(s.h->engine, channels, second);
    if (!s.WaitForFrames(before, static_cast<std::size_t>(channels * kItemsPerChannel)))
      return state.SkipWithError("items not sent");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["frames"] = channels * kItemsPerChannel;
  s.h->engine.Disconnect();
}
BENCHMARK(BM_SameDifferenceItemByItem)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto
