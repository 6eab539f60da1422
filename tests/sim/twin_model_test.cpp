// The twin's processor model against the response curves: what the twin plays must be what the
// graph shows, for every kind of filter and every channel setting.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "core/device_image.h"
#include "curves/filter.h"
#include "model/out_data.h"
#include "sim/twin/halfband.h"
#include "sim/twin/processor_model.h"

namespace zelto::twin {
namespace {

constexpr double kToleranceDb = 0.05;
constexpr double kTopHz = 20000.0;
// Far down a steep slope the impulse is lost in the double-precision floor; no measurement
// reaches below this anyway.
constexpr double kFloorDb = -120.0;
constexpr std::size_t kBlock = 1024;
// Long enough for a narrow 20 Hz band or a steep low corner to ring out far below 0.05 dB.
constexpr std::size_t kImpulseFrames = std::size_t{1} << 17;

// The processor's memory, edited through the editor's own channel objects.
class Memory {
 public:
  Memory() : route_(image_, tracking_) {
    InitDeviceImage(image_);
    for (int ch = 0; ch < kOutputChannels; ++ch) route_[ch].Unpack(image_.Block(0, BlockType::Output, ch));
  }
  CKTV_OutData& Channel(int ch) { return route_[ch]; }
  DeviceImage& Image() { return image_; }
  void Pack() {
    for (int ch = 0; ch < kOutputChannels; ++ch) route_[ch].PackAll();
  }
  /// The channel's curve as the graph draws it, in dB at each grid point.
  std::array<double, kGridPoints> Curve(int ch) {
    std::vector<const CFilter*> filters;
    const CKTVEQ& eq = route_[ch].Eq();
    for (int i = 0; i < eq.FilterCount(); ++i) filters.push_back(&eq.Filter(i));
    return ChannelResponse(filters);
  }

 private:
  DeviceImage image_{};
  ChangeTracking tracking_{false};
  KTV_OutRoute route_;
};

// Plays `frames` samples of the left input (an impulse at 0 unless given) and returns output
// channel `ch`.
std::vector<double> Play(const DeviceImage& image, int ch, int rate, std::vector<double> left = {},
                         std::size_t frames = kImpulseFrames) {
  SettingsReader reader;
  ProcessorModel model(rate, kBlock);
  model.SetSettings(reader.Read(image));
  if (left.empty()) {
    left.assign(frames, 0.0);
    left[0] = 1.0;
  }
  left.resize(frames, 0.0);
  const std::vector<double> right(kBlock, 0.0);
  std::vector<double> result(frames);
  std::array<std::vector<double>, kOutputChannels> out;
  for (auto& o : out) o.resize(kBlock);
  for (std::size_t at = 0; at < frames; at += kBlock) {
    std::array<std::span<double>, kOutputChannels> spans;
    for (std::size_t c = 0; c < out.size(); ++c) spans[c] = out[c];
    model.Process(std::span(left).subspan(at, kBlock), right, spans);
    std::copy(out[static_cast<std::size_t>(ch)].begin(), out[static_cast<std::size_t>(ch)].end(),
              result.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return result;
}

// The level of `x` at `hz` in dB: its discrete-time Fourier transform at that frequency.
double LevelDb(const std::vector<double>& x, double hz, int rate) {
  const double w = 2.0 * std::numbers::pi * hz / rate;
  const std::complex<double> step = std::polar(1.0, -w);
  std::complex<double> rot = 1.0;
  std::complex<double> sum = 0.0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    sum += x[n] * rot;
    rot *= step;
    if (n % 4096 == 0) rot /= std::abs(rot);  // keeps the rotation on the unit circle
  }
  return 20.0 * std::log10(std::abs(sum));
}

struct Setting {
  std::string name;
  std::function<void(Memory&)> apply;
  double gainDb = 0.0;  // what gain, phase and volume add to the curve
};

void ExpectMatchesCurve(Memory& m, int ch, int rate, double gainDb, const std::string& name) {
  const std::vector<double> out = Play(m.Image(), ch, rate);
  const auto curve = m.Curve(ch);
  double worst = 0.0;
  double worstHz = 0.0;
  for (int i = 0; i < kGridPoints; ++i) {
    const double hz = FrequencyGrid()[i];
    if (hz > kTopHz) break;
    if (curve[i] + gainDb < kFloorDb) continue;
    const double diff = std::abs(LevelDb(out, hz, rate) - (curve[i] + gainDb));
    if (diff > worst) {
      worst = diff;
      worstHz = hz;
    }
  }
  EXPECT_LT(worst, kToleranceDb) << name << " at " << rate << " Hz: " << worst << " dB off at " << worstHz << " Hz";
}

TEST(TwinModel, HalfbandPassesTheAudioBandAndStopsTheImages) {
  const std::vector<double> taps = HalfbandTaps();
  const auto level = [&](double hz) {
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < taps.size(); ++n)
      sum += taps[n] * std::polar(1.0, -2.0 * std::numbers::pi * hz * n / 96000);
    return 20.0 * std::log10(std::abs(sum));
  };
  for (double hz = 10.0; hz <= kTopHz; hz *= 1.05) EXPECT_NEAR(level(hz), 0.0, 0.002) << hz;
  for (double hz = 28000.0; hz <= 48000.0; hz += 250.0) EXPECT_LT(level(hz), -95.0) << hz;
}

TEST(TwinModel, ChannelSoundsAsItsCurveForEveryFilterKind) {
  std::vector<Setting> settings = {
      {"factory settings", [](Memory&) {}},
      {"bands",
       [](Memory& m) {
         CKTVEQ& eq = m.Channel(2).Eq();
         const std::array<std::tuple<int, int, int>, 6> bands = {{
             {20, 320, 4},      // +12 dB, the narrowest band, at the bottom of the grid
             {63, 100, 60},     // -10 dB, wide
             {1000, 260, 15},   // +6 dB
             {3150, 80, 100},   // -12 dB, 1 octave
             {12500, 400, 30},  // +20 dB
             {19500, 150, 20},  // -5 dB near the top
         }};
         for (std::size_t k = 0; k < bands.size(); ++k) {
           const auto [hz, gain, width] = bands[k];
           CFilter& f = eq.Filter(static_cast<int>(k * 5));
           f.SetFrequency(hz, false);
           f.SetGainCode(gain);
           f.SetBandwidthIndex(width);
         }
       }},
      {"gain -12 dB", [](Memory& m) { m.Channel(2).SetGain(48); }, -12.0},
      {"phase inverted", [](Memory& m) { m.Channel(2).SetPhase(1); }},
      {"delay 10 ms", [](Memory& m) { m.Channel(2).SetDelay(480); }},
      {"master volume -20 dB", [](Memory& m) { PutS16(m.Image().systemArea, sys::kMasterVolume, 40); }, -20.0},
      {"half the left input", [](Memory& m) { m.Channel(2).SetInputShare(kMixSourceLeft, 50); }, -6.0206},
  };
  for (int family : {crossover_family::kLinkwitzRiley, crossover_family::kBessel, crossover_family::kButterworth}) {
    for (int slope : {0, 1, 2, 3, 4, 5, 7}) {
      settings.push_back({"crossover family " + std::to_string(family) + " slope " + std::to_string(slope),
                          [family, slope](Memory& m) {
                            CKTVEQ& eq = m.Channel(2).Eq();
                            eq.HighPass().SetFrequency(80, false);
                            eq.LowPass().SetFrequency(4000, false);
                            for (CFilter* f : {&eq.HighPass(), &eq.LowPass()}) {
                              f->SetCrossoverType(family, false);
                              f->SetSlope(slope, false);
                            }
                          }});
    }
  }
  for (const Setting& s : settings) {
    Memory m;
    s.apply(m);
    m.Pack();
    ExpectMatchesCurve(m, 2, 48000, s.gainDb, s.name);
  }
}

TEST(TwinModel, AtTheProcessorsOwnRateNothingIsResampled) {
  Memory m;
  CKTVEQ& eq = m.Channel(0).Eq();
  eq.HighPass().SetFrequency(2500, false);
  eq.HighPass().SetCrossoverType(crossover_family::kLinkwitzRiley, false);
  eq.HighPass().SetSlope(7, false);
  eq.Filter(20).SetGainCode(150);
  m.Pack();
  ExpectMatchesCurve(m, 0, 96000, 0.0, "tweeter at 96 kHz");
  EXPECT_EQ(ProcessorModel(96000, kBlock).Latency(), 0u);
}

// Phase, delay, mute and the mix are about the waveform, not only its spectrum.
TEST(TwinModel, PhaseDelayMuteAndMixShapeTheWaveform) {
  Memory m;
  m.Channel(1).SetPhase(1);
  m.Channel(3).SetDelay(96);  // 2 ms
  m.Channel(4).SetOutputSwitch(false);
  m.Channel(5).SetGain(0);  // gain off
  m.Channel(6).SetInputShare(kMixSourceLeft, 0);
  m.Channel(6).SetInputShare(kMixSourceRight, 100);
  m.Pack();
  SettingsReader reader;
  ProcessorModel model(48000, kBlock);
  model.SetSettings(reader.Read(m.Image()));
  std::vector<double> left(kBlock, 0.0), right(kBlock, 0.0);
  left[0] = 1.0;
  right[10] = 0.5;
  std::array<std::vector<double>, kOutputChannels> out;
  std::array<std::span<double>, kOutputChannels> spans;
  for (std::size_t c = 0; c < out.size(); ++c) {
    out[c].resize(kBlock);
    spans[c] = out[c];
  }
  model.Process(left, right, spans);
  const std::size_t lat = model.Latency();
  const auto peak = [](const std::vector<double>& v) {
    return static_cast<std::size_t>(
        std::max_element(v.begin(), v.end(), [](double a, double b) { return std::abs(a) < std::abs(b); }) - v.begin());
  };
  // The resampling rounds the impulse off (it has no content above 21 kHz), so channel 1 is the
  // reference the others are held against.
  EXPECT_EQ(peak(out[0]), lat);
  EXPECT_GT(out[0][lat], 0.9);
  for (std::size_t i = 0; i < kBlock; ++i) ASSERT_EQ(out[1][i], -out[0][i]);
  EXPECT_EQ(peak(out[3]), lat + 96);
  EXPECT_EQ(out[3][lat + 96], out[0][lat]);
  for (int ch : {4, 5})
    for (double v : out[static_cast<std::size_t>(ch)]) ASSERT_EQ(v, 0.0) << "channel " << ch + 1;
  EXPECT_EQ(peak(out[6]), lat + 10);
  EXPECT_NEAR(out[6][lat + 10], 0.5 * out[0][lat], 1e-12);
}

TEST(TwinModel, MasterMuteAndAnotherSourceSilenceEverything) {
  for (const auto& [byte, value] : {std::pair{sys::kMasterSwitch, 0}, std::pair{sys::kSource, 2}}) {
    Memory m;
    m.Image().systemArea[byte] = static_cast<std::uint8_t>(value);
    m.Pack();
    const std::vector<double> out = Play(m.Image(), 0, 48000, {}, kBlock);
    for (double v : out) ASSERT_EQ(v, 0.0);
  }
}

}  // namespace
}  // namespace zelto::twin
