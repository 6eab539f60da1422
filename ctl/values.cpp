#include "ctl/values.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

#include "core/encodings.h"

namespace zelto::ctl::values {

namespace {

// The editor's entry boxes truncate (x + offset) × scale with this margin, so that a typed 0.7
// is not taken for 0.6999…; the command line reads values the same way.
constexpr double kTruncationMargin = 1e-7;

// Typed distances use 331.4 + 0.6 T m/s at the fixed 25 °C (the display uses 331 + 0.6 T).
constexpr double kSoundAtZeroTyped = 331.4;
constexpr double kSoundPerDegree = 0.6;
constexpr double kTemperature = 25.0;
constexpr double kCentimetresPerMetre = 100.0;
constexpr double kInchesPerMetre = 3.2808 * 12.0;
constexpr double kMsPerSecond = 1000.0;


double SoundTyped() { return kSoundAtZeroTyped + kSoundPerDegree * kTemperature; }

int ToInt(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

int DelayFromMetres(double metres) {
  const double c = SoundTyped();
  metres = std::clamp(metres, 0.0, c * kMaxDelayMs / kMsPerSecond);
  const double ms = metres * kMsPerSecond / c;
  if (ms >= kMaxDelayMs) return kMaxDelayCode;
  return ToInt(std::floor(ms * kDelaySampleRate + 0.5));
}

}  // namespace

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view text) {
  std::string s(Trim(text));
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::optional<Quantity> ReadQuantity(std::string_view text) {
  const auto s = Trim(text);
  std::size_t used = 0;
  const auto value = ReadDecimalPrefix(s, &used);
  if (!value) return std::nullopt;
  Quantity q;
  q.value = *value;
  q.unit = Lower(s.substr(used));
  return q;
}

int TruncateTyped(double v) { return ToInt(std::trunc(v + std::copysign(kTruncationMargin, v))); }

int DelayFromMs(double ms) {
  if (ms < 0) return 0;
  if (ms >= kMaxDelayMs) return kMaxDelayCode;
  return TruncateTyped(ms * kDelaySampleRate);
}

double MaxDelayCm() { return SoundTyped() * kMaxDelayMs / kMsPerSecond * kCentimetresPerMetre; }
double MaxDelayInches() { return SoundTyped() * kMaxDelayMs / kMsPerSecond * kInchesPerMetre; }

int DelayFromCm(double cm) { return DelayFromMetres(cm / kCentimetresPerMetre); }

int DelayFromInches(double inches) {
  return DelayFromMetres(std::clamp(inches, 0.0, MaxDelayInches()) / kInchesPerMetre);
}

int NearestBandwidthIndexForQ(double q) {
  int best = kFirstOwnBandwidthIndex;
  double bestDistance = INFINITY;
  for (int i = kFirstOwnBandwidthIndex; i < kQTableSize; ++i) {
    const double distance = std::fabs(QFromIndex(i) - q);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

double WidestQ() { return QFromIndex(kQTableSize - 1); }
double NarrowestQ() { return QFromIndex(kFirstOwnBandwidthIndex); }

std::optional<bool> ReadSwitch(std::string_view text) {
  const std::string s = Lower(text);
  if (s == "on" || s == "yes" || s == "true" || s == "1") return true;
  if (s == "off" || s == "no" || s == "false" || s == "0") return false;
  return std::nullopt;
}

}  // namespace zelto::ctl::values
