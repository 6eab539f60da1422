#include "core/typed_values.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/encodings.h"

namespace zelto::typed {

namespace {

constexpr double kTruncationMargin = 1e-7;
constexpr double kSoundAtZeroTyped = 331.4;
constexpr double kSoundPerDegree = 0.6;
constexpr double kCentimetresPerMetre = 100.0;
constexpr double kInchesPerMetre = 3.2808 * 12.0;
constexpr double kMsPerSecond = 1000.0;

int ToInt(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

// Metres to a delay code: the longest distance is what sound covers in 20 ms.
int DelayFromMetres(double metres, double celsius) {
  const double c = SoundSpeedTyped(celsius);
  metres = std::clamp(metres, 0.0, c * kMaxDelayMs / kMsPerSecond);
  const double ms = metres * kMsPerSecond / c;
  if (ms >= kMaxDelayMs) return kMaxDelayCode;
  return ToInt(std::floor(ms * kDelaySampleRate + 0.5));
}

}  // namespace

int TruncateTyped(double v) { return ToInt(std::trunc(v + std::copysign(kTruncationMargin, v))); }

double SoundSpeedTyped(double celsius) { return kSoundAtZeroTyped + kSoundPerDegree * celsius; }

int DelayFromMs(double ms) {
  if (ms < 0) return 0;
  if (ms >= kMaxDelayMs) return kMaxDelayCode;
  return TruncateTyped(ms * kDelaySampleRate);
}

double MaxDelayCm(double celsius) {
  return SoundSpeedTyped(celsius) * kMaxDelayMs / kMsPerSecond * kCentimetresPerMetre;
}

double MaxDelayInches(double celsius) {
  return SoundSpeedTyped(celsius) * kMaxDelayMs / kMsPerSecond * kInchesPerMetre;
}

int DelayFromCm(double cm, double celsius) { return DelayFromMetres(cm / kCentimetresPerMetre, celsius); }

int DelayFromInches(double inches, double celsius) {
  return DelayFromMetres(std::clamp(inches, 0.0, MaxDelayInches(celsius)) / kInchesPerMetre, celsius);
}

}  // namespace zelto::typed
