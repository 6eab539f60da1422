// The digital twin's share of one core: the processor's audio path for 8 channels with 33 filters
// each at 48 kHz (doubled to 96 kHz and back), and the whole twin in the demo car (the path plus
// the convolution of every speaker with its 341 ms response, and the noise). "core_share" is CPU
// time per second of audio: 0.10 is a tenth of one core.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/device_image.h"
#include "sim/twin/demo_car.h"
#include "sim/twin/processor_model.h"
#include "sim/twin/twin.h"
#include "sim/twin/twin_feed.h"

namespace zelto::twin {
namespace {

constexpr int kRate = 48000;
constexpr std::size_t kBlock = 256;

// Every channel with 31 active bands and a 12 dB/Oct high-pass and low-pass: 33 sections each.
ProcessorSettings BusySettings() {
  DeviceImage image{};
  InitDeviceImage(image);
  ChangeTracking tracking;
  KTV_OutRoute route(image, tracking);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    CKTV_OutData& o = route[ch];
    o.Unpack(image.Block(0, BlockType::Output, ch));
    for (int b = 0; b < out::kBands; ++b) o.Eq().Filter(b).SetGainCode(b % 2 ? 230 : 150);
    for (CFilter* f : {&o.Eq().HighPass(), &o.Eq().LowPass()}) {
      f->SetSlope(slope_code::k12, false);
      f->SetCrossoverType(crossover_family::kButterworth, false);
    }
    o.Eq().HighPass().SetFrequency(60, false);
    o.Eq().LowPass().SetFrequency(12000, false);
    o.PackAll();
  }
  SettingsReader reader;
  return reader.Read(image);
}

std::vector<float> Tone(std::size_t frames) {
  std::vector<float> v(frames);
  for (std::size_t i = 0; i < frames; ++i)
    v[i] = 0.3f * static_cast<float>(std::sin(2 * std::numbers::pi * 440.0 * i / kRate));
  return v;
}

void SetShare(benchmark::State& state) {
  const double audioSeconds = static_cast<double>(state.iterations() * kBlock) / kRate;
  state.counters["core_share"] =
      benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ProcessorPath8x33(benchmark::State& state) {
  const ProcessorSettings settings = BusySettings();
  int sections = 0;
  for (bool a : settings.channel[0].active) sections += a;
  ProcessorModel model(kRate, kBlock);
  model.SetSettings(settings);
  const std::vector<float> tone = Tone(kBlock);
  const std::vector<double> left(tone.begin(), tone.end());
  const std::vector<double> right(left.rbegin(), left.rend());
  std::array<std::vector<double>, kOutputChannels> out;
  std::array<std::span<double>, kOutputChannels> spans;
  for (std::size_t c = 0; c < out.size(); ++c) {
    out[c].resize(kBlock);
    spans[c] = out[c];
  }
  for (auto _ : state) {
    model.Process(left, right, spans);
    benchmark::DoNotOptimize(out[7][kBlock - 1]);
  }
  SetShare(state);
  state.counters["sections"] = sections;
}
BENCHMARK(BM_ProcessorPath8x33);

void BM_TwinInTheDemoCar(benchmark::State& state) {
  Twin twin(BuildDemoCar(), kBlock);
  twin.Publish(BusySettings());
  const std::vector<float> left = Tone(kBlock);
  const std::vector<float> right(left.rbegin(), left.rend());
  std::vector<float> mic(kBlock);
  for (auto _ : state) {
    twin.Process(left, right, mic);
    benchmark::DoNotOptimize(mic[kBlock - 1]);
  }
  SetShare(state);
}
BENCHMARK(BM_TwinInTheDemoCar);

// Building the demo car: what `zelto-sim --car demo` spends before it listens.
void BM_BuildDemoCar(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(BuildDemoCar());
}
BENCHMARK(BM_BuildDemoCar)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto::twin
