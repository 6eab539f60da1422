#pragma once
// Sample-rate doubling and halving by a linear-phase half-band low-pass, so that the processor's
// 96 kHz filters can run on audio that arrives and leaves at 48 kHz. The filter is a windowed sinc
// (Kaiser window): flat to well under 0.01 dB up to 20 kHz and more than 100 dB down from 28 kHz,
// where the images of a 48 kHz signal begin.

#include <cstddef>
#include <span>
#include <vector>

namespace zelto::twin {

/// The half-band prototype at the doubled rate: odd length, centre tap 0.5, every other tap 0.
std::vector<double> HalfbandTaps();

/// Doubles the rate of one channel: each input sample gives two output samples.
class Upsampler2 {
 public:
  Upsampler2();
  /// `out` must hold 2 * in.size() samples.
  void Process(std::span<const double> in, std::span<double> out);
  /// Samples by which the output lags the input, counted at the doubled rate.
  std::size_t Latency() const { return latency_; }
  void Reset();

 private:
  // The two polyphase branches; the even one is a pure delay for a half-band filter.
  std::vector<double> branch_[2];
  std::vector<double> history_;  // the last (branch length - 1) input samples, oldest first
  std::vector<double> work_;
  std::size_t latency_ = 0;
};

/// Halves the rate of one channel: two input samples give one output sample.
class Decimator2 {
 public:
  Decimator2();
  /// `in` holds an even count; `out` must hold in.size() / 2 samples.
  void Process(std::span<const double> in, std::span<double> out);
  /// Samples by which the output lags the input, counted at the doubled rate.
  std::size_t Latency() const { return latency_; }
  void Reset();

 private:
  struct Tap {
    std::size_t offset;
    double value;
  };
  std::vector<Tap> taps_;        // the non-zero taps only
  std::size_t length_ = 0;       // the full filter length
  std::vector<double> history_;  // the last (length - 1) input samples, oldest first
  std::vector<double> work_;
  std::size_t latency_ = 0;
};

}  // namespace zelto::twin
