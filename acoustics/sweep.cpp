#include "acoustics/sweep.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zelto::acoustics {

namespace {

std::string Text(Language lang, const std::string& en, const std::string& zh) {
  return lang == Language::Chinese ? zh : en;
}

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 768000;
constexpr double kMaxEndFraction = 0.45;  // of the sample rate
constexpr double kFadeInOctaves = 1.0 / 3.0;
constexpr double kFadeOutOctaves = 1.0 / 12.0;
// The reference sweep: short, above the woofers, below the band edge of every rate.
constexpr double kReferenceStartHz = 2000.0;
constexpr double kReferenceEndHz = 20000.0;
constexpr double kReferenceSeconds = 0.2;

}  // namespace

double DefaultEndHz(int sampleRate) { return std::min(kDefaultEndHz, kMaxEndFraction * sampleRate); }

std::optional<std::string> CheckSweep(const SweepParams& p, Language lang) {
  if (p.sampleRate < kMinRate || p.sampleRate > kMaxRate)
    return Text(lang, "the sample rate must be 8000 to 768000 Hz", "采样率必须在 8000 至 768000 Hz 之间");
  if (!(p.startHz >= 1.0)) return Text(lang, "the start frequency must be at least 1 Hz", "起始频率至少为 1 Hz");
  if (!(p.endHz > p.startHz))
    return Text(lang, "the end frequency must lie above the start", "终止频率必须高于起始频率");
  if (!(p.endHz <= kMaxEndFraction * p.sampleRate))
    return Text(lang, "the end frequency must not exceed " + Num(kMaxEndFraction * p.sampleRate) + " Hz at this rate",
                "此采样率下终止频率不能超过 " + Num(kMaxEndFraction * p.sampleRate) + " Hz");
  if (!(p.seconds >= kMinSweepSeconds && p.seconds <= kMaxSweepSeconds))
    return Text(lang, "the sweep length must be 0.05 to 60 s", "扫频长度必须在 0.05 至 60 秒之间");
  if (!(p.tailSeconds >= 0.0 && p.tailSeconds <= kMaxTailSeconds))
    return Text(lang, "the silence after the sweep must be 0 to 10 s", "扫频后的静音必须在 0 至 10 秒之间");
  if (!(p.levelDbfs >= kMinSweepLevelDbfs && p.levelDbfs <= 0.0))
    return Text(lang, "the level must be -80 to 0 dBFS", "电平必须在 -80 至 0 dBFS 之间");
  return std::nullopt;
}

std::vector<float> ExponentialSweep(const SweepParams& p) {
  if (CheckSweep(p)) return {};
  const double rate = p.sampleRate;
  const auto n = static_cast<std::size_t>(std::llround(p.seconds * rate));
  const auto tail = static_cast<std::size_t>(std::llround(p.tailSeconds * rate));
  const double ln = std::log(p.endHz / p.startHz);
  const double L = p.seconds / ln;
  const double amplitude = std::pow(10.0, p.levelDbfs / 20.0);
  const double fadeIn = std::min(p.seconds / 2, L * std::log(2.0) * kFadeInOctaves) * rate;
  const double fadeOut = std::min(p.seconds / 2, L * std::log(2.0) * kFadeOutOctaves) * rate;
  std::vector<float> out(n + tail, 0.0f);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double v = std::sin(2.0 * std::numbers::pi * p.startHz * L * std::expm1(t / L));
    const double fromStart = static_cast<double>(i);
    const double fromEnd = static_cast<double>(n - 1 - i);
    if (fromStart < fadeIn) v *= 0.5 - 0.5 * std::cos(std::numbers::pi * fromStart / fadeIn);
    if (fromEnd < fadeOut) v *= 0.5 - 0.5 * std::cos(std::numbers::pi * fromEnd / fadeOut);
    out[i] = static_cast<float>(amplitude * v);
  }
  return out;
}

double HarmonicLeadSeconds(const SweepParams& p, int harmonic) {
  return p.seconds / std::log(p.endHz / p.startHz) * std::log(static_cast<double>(harmonic));
}

SweepParams TimingReferenceSweep(int sampleRate) {
  SweepParams p;
  p.sampleRate = sampleRate;
  p.startHz = kReferenceStartHz;
  p.endHz = std::min(kReferenceEndHz, kMaxEndFraction * sampleRate);
  p.seconds = kReferenceSeconds;
  p.levelDbfs = -6.0;
  return p;
}

ReferencedStream MakeReferencedStream(const SweepParams& sweep) {
  ReferencedStream s;
  SweepParams ref = TimingReferenceSweep(sweep.sampleRate);
  // Never quieter than it must be heard: a loud subwoofer's sweep starts low, and the reference
  // speaker does not play its band.
  ref.levelDbfs = std::max(sweep.levelDbfs, kReferenceMinLevelDbfs);
  const std::vector<float> head = ExponentialSweep(ref);
  const std::vector<float> body = ExponentialSweep(sweep);
  if (head.empty() || body.empty()) return s;
  s.measurementOffset = head.size() + static_cast<std::size_t>(std::llround(kReferenceGapSeconds * sweep.sampleRate));
  s.closingOffset =
      s.measurementOffset + body.size() + static_cast<std::size_t>(std::llround(kClosingGapSeconds * sweep.sampleRate));
  const std::size_t total = s.closingOffset + head.size();
  s.reference.assign(total, 0.0f);
  std::copy(head.begin(), head.end(), s.reference.begin());
  std::copy(head.rbegin(), head.rend(), s.reference.begin() + static_cast<std::ptrdiff_t>(s.closingOffset));
  s.measurement.assign(total, 0.0f);
  std::copy(body.begin(), body.end(), s.measurement.begin() + static_cast<std::ptrdiff_t>(s.measurementOffset));
  return s;
}

}  // namespace zelto::acoustics
