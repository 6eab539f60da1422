#include "acoustics/response.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/file_io.h"

namespace zelto::acoustics {

namespace {

constexpr double kFloorDb = -300.0;  // the level of an exact zero

double Db(double magnitude) { return magnitude > 0 ? 20.0 * std::log10(magnitude) : kFloorDb; }

std::size_t NextPowerOfTwo(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

// Linear interpolation in log frequency, ends held.
double Interpolate(const std::vector<double>& hz, const std::vector<double>& v, double f) {
  if (hz.empty()) return kFloorDb;
  if (!(f > hz.front())) return v.front();
  if (f >= hz.back()) return v.back();
  const auto i = static_cast<std::size_t>(std::upper_bound(hz.begin(), hz.end(), f) - hz.begin());
  const double x = std::log(f / hz[i - 1]) / std::log(hz[i] / hz[i - 1]);
  return v[i - 1] + x * (v[i] - v[i - 1]);
}

}  // namespace

Response FrequencyResponse(const ImpulseResponse& ir, const Arrival& arrival, const IrWindow& window) {
  Response r;
  const std::size_t n = ir.samples.size();
  if (n < 4 || ir.sampleRate <= 0) return r;
  const double rate = ir.sampleRate;
  // The right side must not run round into the times before the arrival (harmonic products sit
  // up to one excitation length before it); the left side must stay within the buffer.
  const auto maxRight = static_cast<long long>(n > ir.excitationFrames + 1 ? n - ir.excitationFrames - 1 : 1);
  const auto right = std::clamp<long long>(std::llround(std::max(0.0, window.rightMs) * rate / 1000.0), 1, maxRight);
  const auto left = std::clamp<long long>(std::llround(std::max(0.0, window.leftMs) * rate / 1000.0), 0,
                                          static_cast<long long>(n) / 4);
  const auto taper =
      static_cast<long long>(std::llround(std::clamp(window.taper, 0.0, 1.0) * static_cast<double>(right)));
  const std::size_t m = std::max<std::size_t>(NextPowerOfTwo(static_cast<std::size_t>(left + right)), 64);
  // The peak sample goes to index 0, what comes before it to the end: phase is then relative to
  // the peak sample, and the fraction of a sample is taken out below.
  RealVector x(m, 0.0);
  const auto peak = static_cast<long long>(arrival.index);
  for (long long k = -left; k < right; ++k) {
    double w = 1.0;
    if (k < 0) w = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(left + k) / static_cast<double>(left));
    const long long fromEnd = right - 1 - k;
    if (k >= 0 && taper > 0 && fromEnd < taper)
      w = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(fromEnd) / static_cast<double>(taper));
    const auto idx = static_cast<std::size_t>(((peak + k) % static_cast<long long>(n) + static_cast<long long>(n)) %
                                              static_cast<long long>(n));
    x[static_cast<std::size_t>((k + static_cast<long long>(m)) % static_cast<long long>(m))] = w * ir.samples[idx];
  }
  const Fft fft(m);
  const ComplexVector spectrum = fft.Forward(x);
  const double fraction = arrival.samples - ir.TimeOf(arrival.index);  // sub-sample part of the arrival
  const std::size_t bins = m / 2;
  r.hz.reserve(bins);
  r.db.reserve(bins);
  r.phaseDeg.reserve(bins);
  for (std::size_t k = 1; k <= bins; ++k) {
    const double f = rate * static_cast<double>(k) / static_cast<double>(m);
    const double turn = 2.0 * std::numbers::pi * f * fraction / rate;
    const std::complex<double> h = spectrum[k] * std::polar(1.0, turn);
    r.hz.push_back(f);
    r.db.push_back(Db(std::abs(h)));
    r.phaseDeg.push_back(std::arg(h) * 180.0 / std::numbers::pi);
  }
  return r;
}

void ApplyCalibration(Response& r, const MicCalibration& cal) {
  const double sens = cal.sensFactorDb.value_or(0.0);
  for (std::size_t i = 0; i < r.hz.size(); ++i) r.db[i] -= cal.DbAt(r.hz[i]) + sens;
}

Response PowerAverage(std::span<const Response> responses) {
  Response out;
  if (responses.empty()) return out;
  out.hz = responses.front().hz;
  out.db.assign(out.hz.size(), 0.0);
  for (std::size_t i = 0; i < out.hz.size(); ++i) {
    double sum = 0;
    for (const Response& r : responses) {
      const bool same = r.hz.size() == out.hz.size() && r.hz[i] == out.hz[i];
      const double db = same ? r.db[i] : Interpolate(r.hz, r.db, out.hz[i]);
      sum += std::pow(10.0, db / 10.0);
    }
    out.db[i] = sum > 0 ? 10.0 * std::log10(sum / static_cast<double>(responses.size())) : kFloorDb;
  }
  return out;
}

measure::Measurement ToMeasurement(const Response& r) {
  measure::Measurement m;
  for (std::size_t i = 0; i < r.hz.size(); ++i) {
    if (!(r.hz[i] > 0) || !std::isfinite(r.db[i]) || (!m.hz.empty() && !(r.hz[i] > m.hz.back()))) continue;
    m.hz.push_back(r.hz[i]);
    m.db.push_back(r.db[i]);
  }
  return m;
}

std::string RewText(const Response& r, const std::string& note) {
  std::string out = "* Measurement data measured by Zelto\n";
  std::string line;
  for (char c : note) {
    if (c == '\n' || c == '\r') {
      out += "* " + line + "\n";
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) out += "* " + line + "\n";
  const bool phase = r.phaseDeg.size() == r.hz.size();
  out += phase ? "* Freq(Hz) SPL(dB) Phase(degrees)\n" : "* Freq(Hz) SPL(dB)\n";
  char buf[96];
  for (std::size_t i = 0; i < r.hz.size(); ++i) {
    if (phase)
      std::snprintf(buf, sizeof buf, "%.6f %.3f %.4f\n", r.hz[i], r.db[i], r.phaseDeg[i]);
    else
      std::snprintf(buf, sizeof buf, "%.6f %.3f\n", r.hz[i], r.db[i]);
    out += buf;
  }
  return out;
}

std::optional<std::string> WriteRewText(const std::string& path, const Response& r, const std::string& note,
                                        Language lang) {
  const std::string text = RewText(r, note);
  if (WriteFileReplacing(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())))
    return std::nullopt;
  return path + ": " + (lang == Language::Chinese ? "无法写入文件" : "cannot write the file");
}

}  // namespace zelto::acoustics
