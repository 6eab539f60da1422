// Acoustic measurement: the analysis of a long recording (deconvolution, arrival, windowed
// response) beside the transforms it spends its time in; one RTA update (at 10 updates a second
// its time × 10 is the share of one core); and the memory the results of a whole car take, 8
// channels at 6 microphone positions.

#include <benchmark/benchmark.h>

#ifdef ZELTO_HAVE_ACOUSTICS
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "acoustics/analysis.h"
#include "acoustics/audio/audio_device.h"
#include "acoustics/fft.h"
#include "acoustics/rta.h"
#include "acoustics/rta_run.h"
#include "acoustics/sweep.h"
#include "support/offline_editor.h"

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

// With a workspace kept across calls, as a run keeps one for all its channels and positions (the
// sweep's inverse filter made once); with a new one each time, as `measure analyse` runs once.
void BM_AnalyseRecording(benchmark::State& state) {
  const bool kept = state.range(0) != 0;
  const SweepParams p = LongSweep();
  const std::vector<float> sweep = ExponentialSweep(p);
  const std::vector<float> rec = Recording(sweep, kRecordingFrames);
  double arrival = 0;
  AnalysisWorkspace workspace;
  for (auto _ : state) {
    AnalysisWorkspace fresh;
    const AnalysisOrRejection r = Analyse(rec, sweep, kRate, OptionsFor(p), kept ? workspace : fresh);
    // Read after the loop; DoNotOptimize on this double lost its value with GCC 12.
    arrival = std::get<Analysis>(r).arrival.samples;
    benchmark::ClobberMemory();
  }
  state.counters["recording_frames"] = static_cast<double>(kRecordingFrames);
  state.counters["arrival_error_samples"] = std::abs(arrival - 700.0);
}
BENCHMARK(BM_AnalyseRecording)->ArgName("kept_workspace")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

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

// Cancel latency: a tone plays through the audio server's loopback sink; once it sounds, the
// flag is set and the time until PlayAndRecord has silenced and dropped the stream is taken (the
// stream is aborted, so nothing it still buffered is played after that). Needs the server that
// `scripts/pulse start DIR` makes: ZELTO_AUDIO_ENV=DIR/env.
// The audio server `scripts/pulse start DIR` made (ZELTO_AUDIO_ENV=DIR/env) and its loopback
// sink's devices; nothing, with the reason, without one.
struct LoopServer {
  std::unique_ptr<audio::AudioSystem> system;
  int out = 0;
  int in = 0;
  std::string skip;
};

LoopServer OpenLoopServer() {
  LoopServer s;
  const char* envPath = std::getenv("ZELTO_AUDIO_ENV");
  std::map<std::string, std::string> env;
  if (envPath) {
    std::ifstream in(envPath);
    for (std::string line; std::getline(in, line);)
      if (const auto eq = line.find('='); eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
  }
  if (!audio::AudioBuilt() || env.count("PULSE_SERVER") == 0) {
    s.skip = "no audio server: scripts/pulse start DIR, then ZELTO_AUDIO_ENV=DIR/env";
    return s;
  }
  ::setenv("PULSE_SERVER", env["PULSE_SERVER"].c_str(), 1);
  s.system = audio::MakeAudioSystem(&s.skip, "pulse");
  if (!s.system) return s;
  const auto devices = s.system->Devices();
  const auto out = audio::FindDevice(devices, env["ZELTO_LOOP_OUT"], audio::Direction::Output);
  const auto in = audio::FindDevice(devices, env["ZELTO_LOOP_IN"], audio::Direction::Input);
  if (!out.device || !in.device) {
    s.skip = "the audio server has no zelto-loop sink";
    return s;
  }
  s.out = out.device->number;
  s.in = in.device->number;
  return s;
}

void BM_CancelToSilence(benchmark::State& state) {
  const LoopServer server = OpenLoopServer();
  if (!server.system) {
    state.SkipWithError(server.skip.c_str());
    return;
  }
  audio::AudioSystem* system = server.system.get();
  audio::PlayRecordSpec request;
  request.outputDevice = server.out;
  request.inputDevice = server.in;
  request.inputChannels = {0};
  std::vector<float> tone(static_cast<std::size_t>(kRate) * 5);
  for (std::size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / kRate));
  request.outputs = {{0, tone}};
  double worstMs = 0;
  for (auto _ : state) {
    audio::CancelFlag cancel;
    std::atomic<bool> sounding{false};
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
      while (!sounding.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      // Some way into the tone, at no particular phase of the poll.
      std::this_thread::sleep_for(std::chrono::milliseconds(200 + std::rand() % 10));
      cancelledAt = std::chrono::steady_clock::now();
      cancel.Cancel();
    });
    const audio::Recording rec = audio::PlayAndRecord(*system, request, cancel, [&](double, float peak) {
      if (peak > 0.05f) sounding.store(true);
    });
    const auto stopped = std::chrono::steady_clock::now();
    canceller.join();
    if (!rec.cancelled) {
      state.SkipWithError(rec.error.empty() ? "the tone was never heard" : rec.error.c_str());
      return;
    }
    const double ms = std::chrono::duration<double, std::milli>(stopped - cancelledAt).count();
    worstMs = std::max(worstMs, ms);
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_CancelToSilence)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// The RTA's stop, at a random moment from 0.05 to 4 s after its start: how long the call takes
// (until the stream is dropped and the routing is back, on an editor without a processor, whose
// changes are in place at once), and what a second listener on the loopback still hears from
// 100 ms after the call on (heard_after_100ms_dBFS; -300 is nothing).
class ImmediateHost final : public MeasurementHost {
 public:
  bool Settle() override { return true; }
  bool MoveMicrophone(int, int) override { return true; }
  void Report(const Progress&) override {}
  void Rejected(int, int, const std::string&) override {}
};

void BM_RtaStopToSilence(benchmark::State& state) {
  const LoopServer server = OpenLoopServer();
  if (!server.system) {
    state.SkipWithError(server.skip.c_str());
    return;
  }
  testing::OfflineEditor e;
  e.editor.SetCrossoverFrequency(0, true, 2500, Editor::CrossoverBox::Main);
  MeasurementGuard guard((std::filesystem::temp_directory_path() / "zelto-rta-bench" / kGuardFileName).string());
  ImmediateHost host;
  audio::InputMeter listener;
  std::string error;
  if (!listener.Open(*server.system, server.in, 0, kRate, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::mt19937 random(3);
  std::uniform_int_distribution<int> waitMs(50, 4000);
  double worstMs = 0;
  float heardAfter = 0;
  for (auto _ : state) {
    RtaRun run(e.editor, *server.system, guard);
    RtaPlan plan;
    plan.channels = {0};
    plan.outputDevice = server.out;
    plan.inputDevice = server.in;
    plan.levelDbfs = -20;
    if (!run.Start(plan, host, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs(random)));
    run.Poll();
    const auto asked = std::chrono::steady_clock::now();
    std::thread late([&] {
      std::this_thread::sleep_until(asked + std::chrono::milliseconds(100));
      listener.TakePeak();  // what came before the 100 ms is allowed
    });
    run.Stop(host);
    const auto stopped = std::chrono::steady_clock::now();
    late.join();
    std::this_thread::sleep_until(std::max(stopped, asked + std::chrono::milliseconds(100)) +
                                  std::chrono::milliseconds(500));
    heardAfter = std::max(heardAfter, listener.TakePeak());
    const double ms = std::chrono::duration<double, std::milli>(stopped - asked).count();
    worstMs = std::max(worstMs, ms);
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["worst_ms"] = worstMs;
  state.counters["heard_after_100ms_dBFS"] = heardAfter > 0 ? 20 * std::log10(heardAfter) : -300.0;
}
BENCHMARK(BM_RtaStopToSilence)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto::acoustics
#endif  // ZELTO_HAVE_ACOUSTICS
