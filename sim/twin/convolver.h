#pragma once
// Uniformly partitioned overlap-save convolution of several channels with one impulse response
// each, summed into one output: every channel's input spectrum enters a frequency-domain delay
// line, the products with the response's partitions are summed across all channels, and a single
// inverse transform gives the block. A block in gives the block out with no added latency.
// Each channel may hold several responses (one per microphone position); which one sounds can
// change between blocks, and a change is heard in the very next block.

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "acoustics/fft.h"

namespace zelto::twin {

class SummingConvolver {
 public:
  /// `blockFrames` is the partition length and the only block size Process takes.
  SummingConvolver(std::size_t channels, std::size_t blockFrames);
  SummingConvolver(const SummingConvolver&) = delete;
  SummingConvolver& operator=(const SummingConvolver&) = delete;

  /// Adds a response of `channel` and returns its index among that channel's responses. Not while
  /// Process runs.
  std::size_t AddResponse(std::size_t channel, std::span<const float> ir);
  /// Which of its responses each channel plays (an index out of range: the channel is silent).
  void Select(std::size_t channel, std::size_t response);

  /// Convolves one block: in[c] holds blockFrames samples of channel c; out receives their sum.
  void Process(std::span<const std::span<const double>> in, std::span<double> out);
  std::size_t BlockFrames() const { return block_; }
  void Reset();

 private:
  using Spectrum = acoustics::ComplexVector;
  struct Response {
    std::vector<Spectrum> partition;  // partition p: ir[p*B .. (p+1)*B) padded to 2B
  };
  struct Channel {
    std::vector<Response> responses;
    std::size_t selected = 0;
    std::vector<Spectrum> history;  // input spectra, newest at `head`
    std::vector<double> previous;   // the last input block (the first half of the FFT frame)
  };
  std::size_t block_;
  std::size_t bins_;
  std::size_t head_ = 0;  // slot of the newest spectrum in every channel's history
  std::vector<Channel> channels_;
  acoustics::Fft fft_;
  acoustics::RealVector frame_;  // 2B real samples
  Spectrum spectrum_;            // B + 1 bins
  Spectrum sum_;
};

}  // namespace zelto::twin
