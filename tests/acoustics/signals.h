#pragma once
// Known acoustic paths for the analysis tests: sparse impulse responses (direct sound and
// reflections at fractional delays), played by convolution, with noise at a chosen level.

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace zelto::testing {

struct Tap {
  double delay;  // samples, may be fractional
  double gain;   // negative: reversed
};

// A windowed-sinc fractional delay (Blackman, ±kHalf taps): flat far beyond 16 kHz at 48 kHz.
inline void AddDelayed(std::span<const float> x, const Tap& tap, std::vector<double>& y) {
  constexpr int kHalf = 96;
  const auto whole = static_cast<long long>(std::floor(tap.delay));
  const double frac = tap.delay - static_cast<double>(whole);
  std::vector<double> kernel;
  for (int k = -kHalf; k <= kHalf; ++k) {
    const double t = k - frac;
    const double sinc = t == 0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
    const double w = std::abs(t) >= kHalf + 1 ? 0
                                              : 0.42 + 0.5 * std::cos(std::numbers::pi * t / (kHalf + 1)) +
                                                    0.08 * std::cos(2 * std::numbers::pi * t / (kHalf + 1));
    kernel.push_back(tap.gain * sinc * w);
  }
  const auto n = static_cast<long long>(y.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] == 0.0f) continue;
    for (int k = -kHalf; k <= kHalf; ++k) {
      const long long j = static_cast<long long>(i) + whole + k;
      if (j >= 0 && j < n) y[static_cast<std::size_t>(j)] += x[i] * kernel[static_cast<std::size_t>(k + kHalf)];
    }
  }
}

/// `x` through the taps, `length` samples long.
inline std::vector<double> Play(std::span<const float> x, const std::vector<Tap>& taps, std::size_t length) {
  std::vector<double> y(length, 0.0);
  for (const Tap& t : taps) AddDelayed(x, t, y);
  return y;
}

inline double Rms(std::span<const double> x) {
  double s = 0;
  for (double v : x) s += v * v;
  return x.empty() ? 0 : std::sqrt(s / static_cast<double>(x.size()));
}

/// White noise `snrDb` below the RMS of `signalRms`, added to y; returns y as float.
inline std::vector<float> WithNoise(const std::vector<double>& y, double signalRms, double snrDb,
                                    std::uint32_t seed = 7) {
  std::mt19937 random(seed);
  std::normal_distribution<double> gauss(0.0, signalRms * std::pow(10.0, -snrDb / 20.0));
  std::vector<float> out(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) out[i] = static_cast<float>(y[i] + (snrDb < 200 ? gauss(random) : 0.0));
  return out;
}

/// A second-order low- or high-pass (RBJ's cookbook) run over x in place.
inline void Biquad(std::vector<float>& x, double hz, double q, bool highPass, double rate) {
  const double w = 2 * std::numbers::pi * hz / rate;
  const double alpha = std::sin(w) / (2 * q);
  const double c = std::cos(w);
  const double a0 = 1 + alpha;
  const double b0 = (highPass ? (1 + c) / 2 : (1 - c) / 2) / a0;
  const double b1 = (highPass ? -(1 + c) : 1 - c) / a0;
  const double b2 = b0;
  const double a1 = -2 * c / a0, a2 = (1 - alpha) / a0;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (float& v : x) {
    const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = v;
    y2 = y1;
    y1 = y;
    v = static_cast<float>(y);
  }
}

/// |H(f)| in dB of the taps.
inline double TapsDb(const std::vector<Tap>& taps, double hz, double rate) {
  std::complex<double> h = 0;
  for (const Tap& t : taps) h += t.gain * std::polar(1.0, -2 * std::numbers::pi * hz * t.delay / rate);
  return 20 * std::log10(std::abs(h));
}

}  // namespace zelto::testing
