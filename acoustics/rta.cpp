#include "acoustics/rta.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>

namespace zelto::acoustics {

namespace {

constexpr double kPeakLimit = 0.9;  // of full scale, for the pink noise

}  // namespace

std::vector<float> PeriodicPinkNoise(const PinkNoiseParams& p) {
  if (p.sampleRate <= 0 || p.period < 16 || p.period > (std::size_t{1} << 24) || !(p.lowHz > 0) ||
      !(p.highHz > p.lowHz) || !(p.rmsDbfs <= 0))
    return {};
  const Fft fft(p.period);
  ComplexVector spectrum(fft.Bins(), 0.0);
  // mt19937's output sequence is fixed by the standard, unlike the distributions built on it.
  std::mt19937 random(p.seed);
  const double binHz = static_cast<double>(p.sampleRate) / static_cast<double>(p.period);
  bool any = false;
  for (std::size_t k = 1; k < spectrum.size(); ++k) {
    const double f = binHz * static_cast<double>(k);
    const double phase = 2.0 * std::numbers::pi * static_cast<double>(random()) / 4294967296.0;
    if (f < p.lowHz || f > p.highHz) continue;
    spectrum[k] = std::polar(1.0 / std::sqrt(f), phase);
    any = true;
  }
  if (!any) return {};
  RealVector x = fft.Inverse(std::move(spectrum));
  double sum = 0, peak = 0;
  for (double v : x) {
    sum += v * v;
    peak = std::max(peak, std::abs(v));
  }
  const double rms = std::sqrt(sum / static_cast<double>(x.size()));
  double gain = std::pow(10.0, p.rmsDbfs / 20.0) / rms;
  gain = std::min(gain, kPeakLimit / peak);
  std::vector<float> out(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) out[i] = static_cast<float>(gain * x[i]);
  return out;
}

Rta::Rta(const RtaOptions& options) : options_(options), fft_(std::max<std::size_t>(options.fftSize, 16)) {
  if (options.sampleRate <= 0 || options.fftSize < 16 || options.bandsPerOctave < 1 || options.bandsPerOctave > 48 ||
      !(options.lowHz > 0) || !(options.highHz > options.lowHz) || options.averages < 0)
    throw std::invalid_argument("RTA options");
  const std::size_t n = options.fftSize;
  const double binHz = static_cast<double>(options.sampleRate) / static_cast<double>(n);
  const double nyquist = options.sampleRate / 2.0;
  // Band centres on the base-2 series through 1 kHz (IEC 61260 style), within lowHz..highHz.
  const double step = 1.0 / options.bandsPerOctave;
  const int first = static_cast<int>(std::ceil(std::log2(options.lowHz / 1000.0) / step - 1e-9));
  const int last = static_cast<int>(std::floor(std::log2(std::min(options.highHz, nyquist) / 1000.0) / step + 1e-9));
  for (int i = first; i <= last; ++i) {
    const double fc = 1000.0 * std::pow(2.0, i * step);
    const double lo = fc * std::pow(2.0, -step / 2);
    const double hi = std::min(fc * std::pow(2.0, step / 2), nyquist);
    // Each bin stands for binHz around its frequency; a bin on a band edge counts with the part
    // of it inside the band, so narrow bands and band edges read right without leakage.
    Band b{fc, 0, {}};
    const auto first = static_cast<std::size_t>(std::max(1.0, std::floor(lo / binHz + 0.5)));
    const auto last = static_cast<std::size_t>(std::min(std::floor(hi / binHz + 0.5), static_cast<double>(n / 2)));
    b.firstBin = first;
    for (std::size_t k = first; k <= last; ++k) {
      const double a = std::max(lo, (static_cast<double>(k) - 0.5) * binHz);
      const double z = std::min(hi, (static_cast<double>(k) + 0.5) * binHz);
      b.weights.push_back(std::max(0.0, z - a) / binHz);
    }
    bands_.push_back(b);
  }
  window_.assign(n, 1.0);
  if (!options.periodic)
    for (std::size_t i = 0; i < n; ++i)
      window_[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
  double power = 0;
  for (double w : window_) power += w * w;
  windowPower_ = power;
  ring_.assign(n, 0.0f);
  sum_.assign(bands_.size(), 0.0);
}

void Rta::Add(std::span<const float> samples) {
  const std::size_t n = ring_.size();
  if (samples.size() > n) samples = samples.subspan(samples.size() - n);
  for (float v : samples) ring_[written_++ % n] = v;
}

bool Rta::Update() {
  const std::size_t n = ring_.size();
  if (written_ < n) return false;
  RealVector x(n);
  const std::size_t start = written_ % n;  // the oldest sample
  for (std::size_t i = 0; i < n; ++i) x[i] = window_[i] * ring_[(start + i) % n];
  const ComplexVector spectrum = fft_.Forward(x);
  // Mean square of the windowed signal split over the bins (Parseval), both sides folded in;
  // ×2 more so a full-scale sine reads 0 dB.
  const double scale = 2.0 * 2.0 / (static_cast<double>(n) * windowPower_);
  std::vector<double> powers(bands_.size());
  for (std::size_t b = 0; b < bands_.size(); ++b) {
    double p = 0;
    for (std::size_t j = 0; j < bands_[b].weights.size(); ++j)
      p += Power(spectrum[bands_[b].firstBin + j]) * bands_[b].weights[j];
    powers[b] = p * scale;
  }
  if (options_.averages == 0) {
    for (std::size_t b = 0; b < powers.size(); ++b) sum_[b] += powers[b];
    ++cumulativeCount_;
    return true;
  }
  for (std::size_t b = 0; b < powers.size(); ++b) sum_[b] += powers[b];
  history_.push_back(std::move(powers));
  if (history_.size() > static_cast<std::size_t>(options_.averages)) {
    for (std::size_t b = 0; b < sum_.size(); ++b) sum_[b] -= history_.front()[b];
    history_.pop_front();
  }
  return true;
}

void Rta::Reset() {
  history_.clear();
  std::fill(sum_.begin(), sum_.end(), 0.0);
  cumulativeCount_ = 0;
  written_ = 0;
  std::fill(ring_.begin(), ring_.end(), 0.0f);
}

Response Rta::Bands(const MicCalibration* calibration) const {
  Response r;
  const int count = options_.averages == 0 ? cumulativeCount_ : static_cast<int>(history_.size());
  if (count == 0) return r;
  for (std::size_t b = 0; b < bands_.size(); ++b) {
    r.hz.push_back(bands_[b].centreHz);
    // The running sum can go a hair below zero after subtractions.
    const double p = std::max(sum_[b] / count, 0.0);
    r.db.push_back(p > 0 ? 10.0 * std::log10(p) : -300.0);
  }
  if (calibration) ApplyCalibration(r, *calibration);
  return r;
}

}  // namespace zelto::acoustics
