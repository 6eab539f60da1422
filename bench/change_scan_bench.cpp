// Cost of one change scan as the link worker runs it whenever the queue is empty: with nothing
// changed (the status poll) and with one changed item, first and last in scan order. Each call
// includes packing the item and building its frame, under the model lock.

#include <benchmark/benchmark.h>

#include "core/change_tracking.h"
#include "core/device_image.h"
#include "core/frame.h"
#include "model/ktv_data.h"

namespace {

using namespace zelto;

struct Scan {
  Scan() { InitDeviceImage(image); }
  DeviceImage image;
  ChangeTracking tracking{true};
  CKTV_Data data{image, tracking};
  FrameBuilder builder{image};
};

void BM_ChangeScanNothingChanged(benchmark::State& state) {
  Scan s;
  for (auto _ : state) benchmark::DoNotOptimize(s.data.NextChangeMessage(s.builder));
}
BENCHMARK(BM_ChangeScanNothingChanged);

// The flag is set directly so that only the scan is measured, not the setter.
void BM_ChangeScanOneItemFirstChannel(benchmark::State& state) {
  Scan s;
  auto& o = s.data.Output(0);
  for (auto _ : state) {
    o.DirtyFlags().item31 = true;
    benchmark::DoNotOptimize(s.data.NextChangeMessage(s.builder));
  }
}
BENCHMARK(BM_ChangeScanOneItemFirstChannel);

// The last band of the last channel: every earlier check of the scan runs first.
void BM_ChangeScanOneBandLastChannel(benchmark::State& state) {
  Scan s;
  auto& band = s.data.Output(kOutputChannels - 1).Eq().Filter(out::kBands - 1);
  for (auto _ : state) {
    band.SetPending(true);
    benchmark::DoNotOptimize(s.data.NextChangeMessage(s.builder));
  }
}
BENCHMARK(BM_ChangeScanOneBandLastChannel);

}  // namespace
