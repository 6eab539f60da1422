#include "sim/twin/halfband.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace zelto::twin {

namespace {

// Half the filter length less one: 111 taps. With beta 10 the Kaiser window's side lobes are
// about 100 dB down and the transition band, centred on 24 kHz, spans 20.6 to 27.4 kHz.
constexpr int kHalfLength = 55;
constexpr double kKaiserBeta = 10.0;

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  const double q = x * x / 4.0;
  for (int k = 1; k < 64; ++k) {
    term *= q / (static_cast<double>(k) * static_cast<double>(k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

}  // namespace

std::vector<double> HalfbandTaps() {
  std::vector<double> taps(2 * kHalfLength + 1, 0.0);
  const double norm = BesselI0(kKaiserBeta);
  for (int n = -kHalfLength; n <= kHalfLength; ++n) {
    double ideal = 0.5;
    if (n != 0) ideal = n % 2 == 0 ? 0.0 : std::sin(std::numbers::pi * n / 2.0) / (std::numbers::pi * n);
    const double r = static_cast<double>(n) / kHalfLength;
    const double window = BesselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
    taps[static_cast<std::size_t>(n + kHalfLength)] = ideal * window;
  }
  // Exactly unity at DC: the window leaves the sum a hair away from 1.
  double sum = 0.0;
  for (double t : taps) sum += t;
  for (double& t : taps) t /= sum;
  return taps;
}

Upsampler2::Upsampler2() {
  const std::vector<double> g = HalfbandTaps();
  // Zero stuffing halves the level; the factor 2 restores it.
  for (std::size_t i = 0; i < g.size(); ++i) branch_[i % 2].push_back(2.0 * g[i]);
  branch_[1].resize(branch_[0].size(), 0.0);
  history_.assign(branch_[0].size() - 1, 0.0);
  latency_ = g.size() / 2;
}

void Upsampler2::Reset() { std::fill(history_.begin(), history_.end(), 0.0); }

void Upsampler2::Process(std::span<const double> in, std::span<double> out) {
  assert(out.size() >= 2 * in.size());
  const std::size_t h = history_.size();
  work_.resize(h + in.size());
  std::copy(history_.begin(), history_.end(), work_.begin());
  std::copy(in.begin(), in.end(), work_.begin() + static_cast<std::ptrdiff_t>(h));
  const std::size_t taps = branch_[0].size();
  for (std::size_t m = 0; m < in.size(); ++m) {
    // work_[h + m] is x[m]; tap k meets x[m - k].
    const double* x = work_.data() + h + m;
    double even = 0.0;
    double odd = 0.0;
    for (std::size_t k = 0; k < taps; ++k) {
      even += branch_[0][k] * x[-static_cast<std::ptrdiff_t>(k)];
      odd += branch_[1][k] * x[-static_cast<std::ptrdiff_t>(k)];
    }
    out[2 * m] = even;
    out[2 * m + 1] = odd;
  }
  std::copy(work_.end() - static_cast<std::ptrdiff_t>(h), work_.end(), history_.begin());
}

Decimator2::Decimator2() {
  const std::vector<double> g = HalfbandTaps();
  length_ = g.size();
  for (std::size_t i = 0; i < g.size(); ++i)
    if (g[i] != 0.0) taps_.push_back({i, g[i]});
  history_.assign(length_ - 1, 0.0);
  latency_ = length_ / 2;
}

void Decimator2::Reset() { std::fill(history_.begin(), history_.end(), 0.0); }

void Decimator2::Process(std::span<const double> in, std::span<double> out) {
  assert(in.size() % 2 == 0 && out.size() >= in.size() / 2);
  const std::size_t h = history_.size();
  work_.resize(h + in.size());
  std::copy(history_.begin(), history_.end(), work_.begin());
  std::copy(in.begin(), in.end(), work_.begin() + static_cast<std::ptrdiff_t>(h));
  for (std::size_t m = 0; m < in.size() / 2; ++m) {
    // Output m is taken at input 2m, so that a doubled-then-halved signal is delayed by whole
    // samples of the lower rate.
    const double* x = work_.data() + h + 2 * m;
    double y = 0.0;
    for (const Tap& t : taps_) y += t.value * x[-static_cast<std::ptrdiff_t>(t.offset)];
    out[m] = y;
  }
  std::copy(work_.end() - static_cast<std::ptrdiff_t>(h), work_.end(), history_.begin());
}

}  // namespace zelto::twin
