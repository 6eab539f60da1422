// Acoustic measurement: the analysis of a long recording (deconvolution, arrival, windowed
// response) beside the transforms it spends its time in; one RTA update (at 10 updates a second
// its time × 10 is the share of one core); and the memory the results of a whole car take, 8
// channels at 6 microphone positions.

#include <benchmark/benchmark.h>

#ifdef ZELTO_HAVE_ACOUSTICS
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cmath>
#include <random>
#include <vector>

#include "acoustics/analysis.h"
#include "acoustics/fft.h"
#include "acoustics/rta.h"
#include "acoustics/sweep.h"

namespace zelto::acoustics {
namespace {

constexpr int kRate = 48000;
constexpr std::size_t kRecordingFrames = std::size_t{1} << 20;
constexpr std::size_t kSweepFrames = std::size_t{1} << 19;

SweepParams LongSweep() {
  SweepParams p;
  p.sampleRate = kRate;
  p.seconds = static_cast<double>(kSweepFrames) / kRate;
  return p;
}

// The sweep after a direct sound, two reflections and noise 50 dB down.
std::vector<float> Recording(const std::vector<float>& sweep, std::size_t frames) {
  std::vector<float> rec(frames, 0.0f);
  const struct {
    std::size_t delay;
    float gain;
  } taps[] = {{700, 0.5f}, {1500, -0.2f}, {4000, 0.1f}};
  for (const auto& t : taps)
    for (std::size_t i = 0; i < sweep.size() && i + t.delay < frames; ++i) rec[i + t.delay] += t.gain * sweep[i];
  std::mt19937 random(1);
  std::normal_distribution<float> noise(0.0f, 0.5f * 0.35f * 0.003f);
  for (float& v : rec) v += noise(random);
  return rec;
}

void BM_AnalyseRecording(benchmark::State& state) {
  const SweepParams p = LongSweep();
  const std::vector<float> sweep = ExponentialSweep(p);
  const std::vector<float> rec = Recording(sweep, kRecordingFrames);
  double arrival = 0;
  for (auto _ : state) {
    const AnalysisOrRejection r = Analyse(rec, sweep, kRate, OptionsFor(p));
    // Read after the loop; DoNotOptimize on this double lost its value with GCC 12.
    arrival = std::get<Analysis>(r).arrival.samples;
    benchmark::ClobberMemory();
  }
  state.counters["recording_frames"] = static_cast<double>(kRecordingFrames);
  state.counters["arrival_error_samples"] = std::abs(arrival - 700.0);
}
BENCHMARK(BM_AnalyseRecording)->Unit(benchmark::kMillisecond);

// The transforms the analysis above makes at its large size: the sweep's spectrum for the inverse
// filter, the recording's spectrum and the way back. Its time over the analysis's is FFTW's share.
void BM_DeconvolutionTransforms(benchmark::State& state) {
  const std::size_t n = FastFftSize(kRecordingFrames + kSweepFrames);
  const Fft fft(n);
  RealVector x(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(0.001 * static_cast<double>(i));
  ComplexVector spectrum(fft.Bins());
  for (auto _ : state) {
    fft.Forward(x, spectrum);
    fft.Forward(x, spectrum);
    fft.Inverse(spectrum, x);
    benchmark::DoNotOptimize(x.data());
  }
  state.counters["fft_size"] = static_cast<double>(n);
}
BENCHMARK(BM_DeconvolutionTransforms)->Unit(benchmark::kMillisecond);

// One RTA update with a tenth of a second of new sound, as at 10 updates a second.
void BM_RtaUpdate(benchmark::State& state) {
  RtaOptions o;
  o.bandsPerOctave = static_cast<int>(state.range(0));
  Rta rta(o);
  PinkNoiseParams p;
  const std::vector<float> noise = PeriodicPinkNoise(p);
  rta.Add(noise);
  std::size_t at = 0;
  const std::size_t tenth = kRate / 10;
  for (auto _ : state) {
    if (at + tenth > noise.size()) at = 0;
    rta.Add(std::span(noise).subspan(at, tenth));
    at += tenth;
    rta.Update();
    benchmark::DoNotOptimize(rta.Bands());
  }
  state.counters["bands_per_octave"] = static_cast<double>(o.bandsPerOctave);
}
BENCHMARK(BM_RtaUpdate)->Arg(3)->Arg(24)->Unit(benchmark::kMicrosecond);

std::size_t HeapInUse() {
#if defined(__GLIBC__)
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
#else
  return 0;  // no portable way to ask; the counter then reads 0
#endif
}

// What a whole car's results keep: 8 channels × 6 positions analysed from 2-second sweeps
// (response, phase and one second of impulse response each), plus each channel's position average.
void BM_CarResultsMemory(benchmark::State& state) {
  SweepParams p;
  p.sampleRate = kRate;
  p.seconds = 2.0;
  const std::vector<float> sweep = ExponentialSweep(p);
  const std::vector<float> rec = Recording(sweep, sweep.size() + kRate);
  std::size_t held = 0;
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    std::vector<Analysis> results;
    std::vector<Response> averages;
    for (int channel = 0; channel < 8; ++channel) {
      std::vector<Response> positions;
      for (int position = 0; position < 6; ++position) {
        results.push_back(std::get<Analysis>(Analyse(rec, sweep, kRate, OptionsFor(p))));
        positions.push_back(results.back().response);
      }
      averages.push_back(PowerAverage(positions));
    }
    held = HeapInUse() - before;
    benchmark::DoNotOptimize(results.data());
  }
  state.counters["held_MB"] = static_cast<double>(held) / (1024.0 * 1024.0);
}
BENCHMARK(BM_CarResultsMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace zelto::acoustics
#endif  // ZELTO_HAVE_ACOUSTICS
