#include "acoustics/deconvolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <stdexcept>

namespace zelto::acoustics {

namespace {

// ε relative to the largest |S|²: inside the band far below the sweep's own level at the band's
// weak end (a 20 Hz–20 kHz exponential sweep spans 30 dB), outside it above.
constexpr double kInBandRegularisation = 1e-7;
constexpr double kOutOfBandRegularisation = 1.0;
// The regularisation rises from the in-band to the out-of-band value over this much beyond each
// band edge (raised cosine in log frequency), so the band limit does not ring.
constexpr double kEdgeOctaves = 0.5;
constexpr std::size_t kMedianSamples = 65536;
constexpr double kBandFloor = 1e-3;  // bands 30 dB below the strongest carry no delay worth comparing
// A band whose energy lies at one time turns its bins by one step after another; a band of noise
// spread over the whole buffer does not. Below this agreement (0..1) a band holds more noise than
// sound — a band where the speaker does not play, lifted by the inverse filter — and has no delay.
constexpr double kBandCoherence = 0.95;

// The delay of each octave band as the phase step between neighbouring bins (the lag-one
// autocorrelation of the spectrum: a delay of d samples turns each bin 2πd/N further than the
// last), energy-weighted; the spread is the range of those delays over the bands that matter.
double BandDelaySpread(const ComplexVector& h, std::size_t n, double binHz, double lowHz, double highHz) {
  struct Band {
    std::complex<double> step;
    double energy = 0;
    std::size_t bins = 0;
  };
  std::vector<Band> bands;
  for (double lo = lowHz; lo < highHz; lo *= 2) {
    Band b;
    const auto first = static_cast<std::size_t>(std::ceil(lo / binHz));
    const auto last = std::min(static_cast<std::size_t>(std::floor(std::min(lo * 2, highHz) / binHz)), h.size() - 2);
    for (std::size_t k = std::max<std::size_t>(first, 1); k <= last; ++k) {
      b.step += h[k + 1] * std::conj(h[k]);
      b.energy += Power(h[k]);
      ++b.bins;
    }
    if (b.bins >= 2) bands.push_back(b);
  }
  double strongest = 0;
  for (const Band& b : bands) strongest = std::max(strongest, b.energy / static_cast<double>(b.bins));
  if (strongest <= 0) return 0;
  const double full = static_cast<double>(n);
  std::optional<double> first;
  double lo = 0, hi = 0;
  for (const Band& b : bands) {
    if (b.energy / static_cast<double>(b.bins) < kBandFloor * strongest || Power(b.step) == 0) continue;
    if (std::abs(b.step) < kBandCoherence * b.energy) continue;
    double d = -std::arg(b.step) / (2 * std::numbers::pi) * full;
    if (!first) first = d;
    d -= *first;  // relative to the first band, wrapped to the nearer side
    d -= full * std::round(d / full);
    lo = std::min(lo, d);
    hi = std::max(hi, d);
  }
  return hi - lo;
}

double Regularisation(double hz, double lowHz, double highHz) {
  const double lo = std::log2(lowHz);
  const double hi = std::log2(highHz);
  const double f = hz > 0 ? std::log2(hz) : -1e9;
  double outside = 0;  // octaves beyond the band
  if (f < lo) outside = lo - f;
  if (f > hi) outside = f - hi;
  if (outside <= 0) return kInBandRegularisation;
  if (outside >= kEdgeOctaves) return kOutOfBandRegularisation;
  const double x = 0.5 - 0.5 * std::cos(std::numbers::pi * outside / kEdgeOctaves);
  return std::exp(std::log(kInBandRegularisation) * (1 - x) + std::log(kOutOfBandRegularisation) * x);
}

}  // namespace

InverseFilter::InverseFilter(std::span<const float> excitation, int sampleRate, double lowHz, double highHz,
                             std::size_t maxRecordingFrames)
    : fft_(FftSizeFor(excitation.size(), maxRecordingFrames)),
      excitationFrames_(excitation.size()),
      sampleRate_(sampleRate),
      lowHz_(lowHz),
      highHz_(highHz) {
  if (excitation.empty() || sampleRate <= 0 || !(lowHz > 0) || !(highHz > lowHz))
    throw std::invalid_argument("inverse filter parameters");
  RealVector x(fft_.Size(), 0.0);
  std::copy(excitation.begin(), excitation.end(), x.begin());
  inverse_ = fft_.Forward(x);
  double maxPower = 0;
  for (const auto& s : inverse_) maxPower = std::max(maxPower, Power(s));
  if (maxPower <= 0) maxPower = 1;
  const double binHz = static_cast<double>(sampleRate) / static_cast<double>(fft_.Size());
  // Only the bins on the band's edges need the raised cosine; the rest take a constant.
  const double edgeLo = lowHz * std::exp2(-kEdgeOctaves), edgeHi = highHz * std::exp2(kEdgeOctaves);
  for (std::size_t k = 0; k < inverse_.size(); ++k) {
    const double f = binHz * static_cast<double>(k);
    const double r = f >= lowHz && f <= highHz    ? kInBandRegularisation
                     : f <= edgeLo || f >= edgeHi ? kOutOfBandRegularisation
                                                  : Regularisation(f, lowHz, highHz);
    inverse_[k] = std::conj(inverse_[k]) * (1.0 / (Power(inverse_[k]) + maxPower * r));
  }
}

std::size_t InverseFilter::FftSizeFor(std::size_t excitationFrames, std::size_t maxRecordingFrames) {
  return FastFftSize(std::max<std::size_t>(excitationFrames + maxRecordingFrames, 2));
}

double ImpulseResponse::TimeOf(std::size_t i) const {
  const std::size_t n = samples.size();
  return i + excitationFrames >= n ? static_cast<double>(i) - static_cast<double>(n) : static_cast<double>(i);
}

double ImpulseResponse::At(long long t) const {
  const auto n = static_cast<long long>(samples.size());
  if (n == 0) return 0;
  long long i = t % n;
  if (i < 0) i += n;
  return samples[static_cast<std::size_t>(i)];
}

ImpulseResponse Deconvolve(std::span<const float> recording, const InverseFilter& inverse) {
  ImpulseResponse ir;
  ComplexVector spectrum;
  DeconvolveInto(recording, inverse, ir, spectrum);
  return ir;
}

void DeconvolveInto(std::span<const float> recording, const InverseFilter& inverse, ImpulseResponse& out,
                    ComplexVector& spectrum) {
  const std::size_t n = inverse.FftSize();
  const Fft fft(n);
  RealVector& y = out.samples;
  y.resize(n);
  // Linear deconvolution needs the excitation's length of zeros after the recording.
  const std::size_t take = std::min(recording.size(), n - inverse.ExcitationFrames());
  std::copy(recording.begin(), recording.begin() + static_cast<std::ptrdiff_t>(take), y.begin());
  std::fill(y.begin() + static_cast<std::ptrdiff_t>(take), y.end(), 0.0);
  spectrum.resize(fft.Bins());
  fft.Forward(y, spectrum);
  const ComplexVector& inv = inverse.Spectrum();
  for (std::size_t k = 0; k < spectrum.size(); ++k) {
    // Written out: without -ffast-math the operator checks every product for NaN and infinity.
    const double a = spectrum[k].real(), b = spectrum[k].imag();
    const double c = inv[k].real(), d = inv[k].imag();
    spectrum[k] = {a * c - b * d, a * d + b * c};
  }
  out.bandDelaySpread = BandDelaySpread(spectrum, n, static_cast<double>(inverse.SampleRate()) / static_cast<double>(n),
                                        inverse.LowHz(), inverse.HighHz());
  out.sampleRate = inverse.SampleRate();
  out.excitationFrames = inverse.ExcitationFrames();
  fft.Inverse(spectrum, y);
}

Arrival FindArrival(const ImpulseResponse& ir, long long fromSample, long long toSample) {
  Arrival a;
  const std::size_t n = ir.samples.size();
  if (n < 3) return a;
  const bool all = fromSample >= toSample;
  std::size_t best = 0;
  double bestMag = -1;
  for (std::size_t i = 0; i < n; ++i) {
    if (!all) {
      const double t = ir.TimeOf(i);
      if (t < static_cast<double>(fromSample) || t >= static_cast<double>(toSample)) continue;
    }
    const double m = std::abs(ir.samples[i]);
    if (m > bestMag) {
      bestMag = m;
      best = i;
    }
  }
  if (bestMag <= 0) return a;
  a.index = best;
  a.peak = bestMag;
  a.polarity = ir.samples[best] < 0 ? -1 : 1;
  // Parabolic interpolation of |h| around the peak (the neighbours wrap around the buffer).
  const double l = std::abs(ir.samples[(best + n - 1) % n]);
  const double r = std::abs(ir.samples[(best + 1) % n]);
  const double denom = l - 2 * bestMag + r;
  double delta = denom != 0 ? 0.5 * (l - r) / denom : 0.0;
  delta = std::clamp(delta, -0.5, 0.5);
  a.samples = ir.TimeOf(best) + delta;
  // The median power stands for the noise floor: the response itself is short next to the buffer.
  // Every stride-th sample is plenty for a median and keeps this cheap for long recordings.
  const std::size_t stride = std::max<std::size_t>(1, n / kMedianSamples);
  std::vector<double> power;
  power.reserve(n / stride + 1);
  for (std::size_t i = 0; i < n; i += stride) power.push_back(ir.samples[i] * ir.samples[i]);
  auto mid = power.begin() + static_cast<std::ptrdiff_t>(power.size() / 2);
  std::nth_element(power.begin(), mid, power.end());
  const double median = *mid;
  a.peakToNoiseDb = median > 0 ? 10 * std::log10(bestMag * bestMag / median) : 400.0;
  return a;
}

}  // namespace zelto::acoustics
