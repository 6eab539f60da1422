#include "sim/twin/convolver.h"

#include <algorithm>
#include <cassert>

namespace zelto::twin {

SummingConvolver::SummingConvolver(std::size_t channels, std::size_t blockFrames)
    : block_(blockFrames), bins_(blockFrames + 1), channels_(channels), fft_(2 * blockFrames) {
  assert(blockFrames > 0);
  frame_.assign(2 * block_, 0.0);
  spectrum_.assign(bins_, {});
  sum_.assign(bins_, {});
  for (Channel& c : channels_) c.previous.assign(block_, 0.0);
}

std::size_t SummingConvolver::AddResponse(std::size_t channel, std::span<const float> ir) {
  Channel& c = channels_.at(channel);
  Response r;
  const std::size_t parts = std::max<std::size_t>(1, (ir.size() + block_ - 1) / block_);
  for (std::size_t p = 0; p < parts; ++p) {
    std::fill(frame_.begin(), frame_.end(), 0.0);
    for (std::size_t i = 0; i < block_ && p * block_ + i < ir.size(); ++i) frame_[i] = ir[p * block_ + i];
    fft_.Forward(frame_, spectrum_);
    r.partition.push_back(spectrum_);
  }
  c.responses.push_back(std::move(r));
  // Every channel's history is as long as the longest response of any channel, so one head
  // index serves them all.
  std::size_t longest = 0;
  for (const Channel& ch : channels_)
    for (const Response& resp : ch.responses) longest = std::max(longest, resp.partition.size());
  for (Channel& ch : channels_) {
    if (ch.history.size() < longest) ch.history.resize(longest, Spectrum(bins_));
  }
  head_ = 0;
  Reset();
  return c.responses.size() - 1;
}

void SummingConvolver::Select(std::size_t channel, std::size_t response) { channels_.at(channel).selected = response; }

void SummingConvolver::Reset() {
  for (Channel& c : channels_) {
    std::fill(c.previous.begin(), c.previous.end(), 0.0);
    for (Spectrum& s : c.history) std::fill(s.begin(), s.end(), std::complex<double>{});
  }
}

void SummingConvolver::Process(std::span<const std::span<const double>> in, std::span<double> out) {
  assert(in.size() == channels_.size() && out.size() >= block_);
  std::fill(sum_.begin(), sum_.end(), std::complex<double>{});
  const std::size_t depth = channels_.empty() ? 0 : channels_[0].history.size();
  if (depth == 0) {
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(block_), 0.0);
    return;
  }
  head_ = (head_ + depth - 1) % depth;
  for (std::size_t ch = 0; ch < channels_.size(); ++ch) {
    Channel& c = channels_[ch];
    // A channel with nothing to play into (an output without a speaker) costs nothing.
    if (c.responses.empty()) continue;
    // Overlap-save: the frame is the previous block followed by this one.
    std::copy(c.previous.begin(), c.previous.end(), frame_.begin());
    std::copy_n(in[ch].begin(), block_, frame_.begin() + static_cast<std::ptrdiff_t>(block_));
    std::copy_n(in[ch].begin(), block_, c.previous.begin());
    fft_.Forward(frame_, c.history[head_]);
    if (c.selected >= c.responses.size()) continue;
    const Response& r = c.responses[c.selected];
    double* acc = reinterpret_cast<double*>(sum_.data());
    for (std::size_t p = 0; p < r.partition.size(); ++p) {
      // Written out on the interleaved parts: std::complex's operator* checks for infinities
      // and NaNs on every product, which costs more than the product itself.
      const double* x = reinterpret_cast<const double*>(c.history[(head_ + p) % depth].data());
      const double* h = reinterpret_cast<const double*>(r.partition[p].data());
      for (std::size_t k = 0; k < 2 * bins_; k += 2) {
        acc[k] += x[k] * h[k] - x[k + 1] * h[k + 1];
        acc[k + 1] += x[k] * h[k + 1] + x[k + 1] * h[k];
      }
    }
  }
  fft_.Inverse(sum_, frame_);
  // The second half of the frame is free of circular wrap-around.
  std::copy_n(frame_.begin() + static_cast<std::ptrdiff_t>(block_), block_, out.begin());
}

}  // namespace zelto::twin
