#pragma once
// The processor's audio path, as a digital twin hears it: the two analogue inputs mixed into each
// of the eight outputs, then per output the 31 bands and both crossovers, gain, phase, mute and
// delay, and the master volume and mute. The filters are the very designs the response curves
// are drawn from (curves/filter_design), run at the processor's 96 kHz; audio at 48 kHz is doubled
// in rate on the way in and halved on the way out.

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "core/change_tracking.h"
#include "core/device_image.h"
#include "curves/filter_design.h"
#include "model/out_data.h"
#include "sim/twin/halfband.h"

namespace zelto::twin {

inline constexpr int kInputs = 2;  // the analogue inputs, left and right
inline constexpr int kProcessorRate = 96000;
// The input mix names twelve sources per output; the twin has the two analogue inputs, which it
// takes as sources 0 (left) and 1 (right). The others carry nothing here.
inline constexpr int kMixSourceLeft = 0;
inline constexpr int kMixSourceRight = 1;
// One section per band (bands are peaking or shelves), up to four per crossover filter.
inline constexpr int kBandSlots = out::kBands;
inline constexpr int kSectionsPerCrossover = 4;
inline constexpr int kSlots = kBandSlots + 2 * kSectionsPerCrossover;
// A delay code counts samples at 48 kHz.
inline constexpr int kDelayCodeRate = 48000;

/// What one output does to the sound; sections are in fixed slots so that a filter keeps its
/// state while its values change.
struct ChannelSettings {
  std::array<BiquadSection, kSlots> slot{};
  std::array<bool, kSlots> active{};
  double gain = 1.0;  // linear; carries the phase's sign, the mute and the master volume
  int delayCode = 0;  // samples at 48 kHz, 0..960
  double mixLeft = 1.0;
  double mixRight = 0.0;
};

struct ProcessorSettings {
  std::array<ChannelSettings, kOutputChannels> channel{};
};

/// Reads the settings from the processor's parameter memory through the editor's own channel
/// objects, so a value means here what it means on the graph.
class SettingsReader {
 public:
  SettingsReader();
  ProcessorSettings Read(const DeviceImage& memory);

 private:
  DeviceImage scratch_{};
  ChangeTracking tracking_{false};
  KTV_OutRoute route_;
};

/// The eight outputs for two inputs. Not thread-safe: one audio thread calls it; settings arrive
/// between blocks through SetSettings, which allocates nothing.
class ProcessorModel {
 public:
  /// `rate` is the rate of the audio in and out, 48000 or 96000; blocks may hold up to
  /// `maxFrames` frames.
  ProcessorModel(int rate, std::size_t maxFrames);
  static bool RateSupported(int rate) { return rate == kProcessorRate || rate == kProcessorRate / 2; }

  void SetSettings(const ProcessorSettings& settings);
  /// Processes `left.size()` frames (equal to right's, at most maxFrames) into out[c][0..frames).
  void Process(std::span<const double> left, std::span<const double> right,
               const std::array<std::span<double>, kOutputChannels>& out);
  /// Samples at the audio rate by which the outputs lag the inputs (with zero delay codes).
  std::size_t Latency() const { return latency_; }
  int Rate() const { return rate_; }
  std::size_t MaxFrames() const { return maxFrames_; }

 private:
  static constexpr std::size_t kDelayLine = 2048;  // a power of two above 960 * 2

  void RunFilters(std::size_t frames96);

  int rate_;
  int factor_;  // 96 kHz / rate: 1 or 2
  std::size_t maxFrames_;
  std::size_t latency_ = 0;

  // Coefficients and states by slot, channel innermost, so the eight channels run side by side.
  struct alignas(64) Lane {
    double v[kOutputChannels];
  };
  std::array<Lane, kSlots> b0_{}, b1_{}, b2_{}, a1_{}, a2_{}, s1_{}, s2_{};
  std::array<int, kSlots> activeSlots_{};
  int activeCount_ = 0;
  Lane gain_{}, mixLeft_{}, mixRight_{};
  std::array<int, kOutputChannels> delay96_{};

  std::array<Upsampler2, kInputs> up_;
  std::array<Decimator2, kOutputChannels> down_;
  std::vector<double> in96_[kInputs];
  std::vector<double> out96_[kOutputChannels];
  std::vector<double> delayLine_[kOutputChannels];
  std::size_t delayWrite_ = 0;
};

}  // namespace zelto::twin
