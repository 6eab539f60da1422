#pragma once
// Periodic pink noise and the real-time analyser (RTA) that listens to it. The noise repeats
// exactly every `period` samples and the analyser's transform is one period long, so once the
// room has settled each transform sees whole periods: no window, no leakage, and the averaged
// band levels converge on the response (the periodic-noise method, as in Müller and Massarani,
// "Transfer-function measurement with sweeps", JAES 49(6), 2001, on periodic excitations).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "acoustics/calibration.h"
#include "acoustics/fft.h"
#include "acoustics/response.h"

namespace zelto::acoustics {

struct PinkNoiseParams {
  int sampleRate = 48000;
  std::size_t period = 65536;  // samples; the RTA's transform length
  double lowHz = 20.0;
  double highHz = 20000.0;
  double rmsDbfs = -20.0;  // lowered as needed to keep the peaks below full scale
  std::uint32_t seed = 1;
};

/// One period of pink noise (equal power per octave between lowHz and highHz, nothing outside):
/// 1/√f magnitudes with random phases, transformed back. The same seed gives the same noise on
/// every platform. Empty for impossible parameters.
std::vector<float> PeriodicPinkNoise(const PinkNoiseParams& p);

struct RtaOptions {
  int sampleRate = 48000;
  std::size_t fftSize = 65536;  // the pink noise's period
  int bandsPerOctave = 3;       // 1..48
  double lowHz = 20.0;
  double highHz = 20000.0;
  /// Count: the last `averages` updates power-averaged alike (0: everything since the last reset).
  /// Exponential: each update weighs 1/`averages` against what came before, so old sound fades
  /// away smoothly instead of dropping out `averages` updates later.
  enum class Averaging { Count, Exponential };
  Averaging averaging = Averaging::Count;
  int averages = 8;
  bool periodic = true;  // rectangular window (periodic noise); false: Hann (any signal)
};

/// A real-time analyser: feed it what the microphone records; each Update turns the latest
/// transform length of samples into fractional-octave band levels (dB re full-scale sine, power
/// summed per band) and averages them.
class Rta {
 public:
  explicit Rta(const RtaOptions& options);
  const RtaOptions& Options() const { return options_; }
  /// Appends samples; only the latest fftSize are kept.
  void Add(std::span<const float> samples);
  /// Analyses the latest fftSize samples and adds them to the average. False (and nothing
  /// changes) until that many have come.
  bool Update();
  void Reset();
  /// Starts the average again but keeps the samples heard, so the next Update has a whole
  /// transform at once (after a level change, say).
  void ResetAverage();
  /// The averaged band levels: band centres in hz, levels in db (nothing before the first Update).
  Response Bands(const MicCalibration* calibration = nullptr) const;
  int UpdatesAveraged() const;

 private:
  struct Band {
    double centreHz;
    std::size_t firstBin;
    std::vector<double> weights;  // of bins firstBin.., the part of each bin inside the band
  };
  RtaOptions options_;
  Fft fft_;
  std::vector<Band> bands_;
  std::vector<double> window_;
  double windowPower_ = 1;
  std::vector<float> ring_;
  std::size_t written_ = 0;                  // samples ever added
  std::deque<std::vector<double>> history_;  // band powers of the averaged updates
  std::vector<double> sum_;
  int cumulativeCount_ = 0;
};

}  // namespace zelto::acoustics
