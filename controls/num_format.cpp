#include "controls/num_format.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>

#include "core/text.h"
#include "core/typed_values.h"

namespace zelto {
namespace {

// Speed of sound in m/s at T °C: the display uses 331, typed distances 331.4 (the two constants
// differ on purpose, so a typed distance may come back a unit off).
constexpr double kSoundAtZeroShown = 331.0;
constexpr double kSoundPerDegree = 0.6;
constexpr double kCentimetresPerMetre = 100.0;
constexpr double kInchesPerMetre = 3.2808 * 12.0;
constexpr double kMsPerSecond = 1000.0;

constexpr int kLastTenthsAttackCode = 6;  // codes above count whole milliseconds
constexpr int kBalanceCentre = 100;
constexpr double kQShownOffset = 0.025;

// Fixed texts of the modes that name their ends.
constexpr const char* kOffLatin = "OFF";
constexpr const char* kOffChinese = "关闭";
constexpr const char* kTopFrequency = "20000Hz";
constexpr const char* kLowRangeMin = "20Hz";
constexpr const char* kLowRangeMax = "1000Hz";
constexpr const char* kHighRangeMin = "5000Hz";
constexpr const char* kHighRangeMax = "20000Hz";
constexpr const char* kBalanceRight = "R_";
constexpr const char* kBalanceLeft = "L_";

// What "OFF" stands for in the linear modes that accept it.
constexpr double kOffLevelDbu = -120.0;
constexpr double kOffThresholdDbu = 20.0;
constexpr double kOffGainDb = -60.0;
constexpr double kOffAttenuationDb = 0.0;

int Truncate(double v) { return typed::TruncateTyped(v); }

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s(buf);
  // A value a hair below zero prints as "-0.0"; a box shows zero without a sign.
  if (!s.empty() && s[0] == '-' && s.find_first_of("123456789") == std::string::npos) s.erase(0, 1);
  return s;
}

using text::Trim;

using text::EqualsNoCase;

bool IsOffWord(std::string_view text) {
  const auto t = Trim(text);
  return EqualsNoCase(t, kOffLatin) || t == kOffChinese;
}

// What a technician types into a box: the shared decimal reader, nothing a C library would also
// accept.
std::optional<double> ReadNumber(std::string_view text) { return ReadDecimalPrefix(text); }

double Step(const NumFormat& f) { return f.step != 0.0 ? f.step : 1.0; }
double Linear(const NumFormat& f, int d) { return d * f.step - f.offset; }
double Temperature(const NumFormat& f) { return f.temperatureCode - kTemperatureCodeOffset; }
double SoundShown(const NumFormat& f) { return kSoundAtZeroShown + kSoundPerDegree * Temperature(f); }

double DelayMs(int d) { return d / kDelaySampleRate; }

int DelayFromTyped(const NumFormat& f, double x) {
  switch (f.mode) {
    case nummode::kDelayMs: return typed::DelayFromMs(x);
    case nummode::kDelayCm: return typed::DelayFromCm(x, Temperature(f));
    default: return typed::DelayFromInches(x, Temperature(f));
  }
}

double OffMeaning(int mode) {
  switch (mode) {
    case nummode::kLevelDbu: return kOffLevelDbu;
    case nummode::kThresholdDbu: return kOffThresholdDbu;
    case nummode::kGainDb: return kOffGainDb;
    default: return kOffAttenuationDb;
  }
}

bool AcceptsOff(int mode) {
  return mode == nummode::kLevelDbu || mode == nummode::kThresholdDbu || mode == nummode::kGainDb ||
         mode == nummode::kAttenuationDb;
}

int LinearFromTyped(const NumFormat& f, std::string_view text, double x) {
  if (AcceptsOff(f.mode) && IsOffWord(text)) x = OffMeaning(f.mode);
  const double step = Step(f);
  const double a = f.min * step - f.offset;
  const double b = f.max * step - f.offset;
  x = std::clamp(x, std::min(a, b), std::max(a, b));
  return Truncate((x + f.offset) * 10.0 / (step * 10.0));
}

int NearestQIndex(const NumFormat& f, double q) {
  const int lo = std::clamp(f.min, 0, kQTableSize - 1);
  const int hi = std::clamp(f.max, 0, kQTableSize - 1);
  int best = lo;
  double bestDistance = INFINITY;
  for (int i = lo; i <= hi; ++i) {
    const double distance = std::fabs(QFromIndex(i) + kQShownOffset - q);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

int BalanceFromTyped(std::string_view text, double x) {
  const auto t = Trim(text);
  if (IsOffWord(t)) return kBalanceCentre;
  auto amount = [&](std::size_t skip) { return Truncate(ReadNumber(t.substr(skip)).value_or(0.0)); };
  if (t.size() >= 2 && (t[0] == 'R' || t[0] == 'r') && t[1] == '_') return kBalanceCentre - amount(2);
  if (t.size() >= 2 && (t[0] == 'L' || t[0] == 'l') && t[1] == '_') return kBalanceCentre + amount(2);
  return Truncate(x);
}

std::string AttackText(int code) {
  if (code > kLastTenthsAttackCode) return std::to_string(code - kLastTenthsAttackCode) + "ms";
  return Fixed(LimiterAttackMsFromCode(code), 1) + "ms";
}

std::string Hz(int d) { return std::to_string(d) + "Hz"; }

}  // namespace

bool IsFrequencyMode(int mode) {
  return mode == nummode::kFrequency || mode == nummode::kFrequencyHz || mode == nummode::kFrequencyTop;
}

bool IsLinearMode(int mode) {
  return mode == nummode::kDecimal2 || mode == nummode::kLinear || mode == nummode::kLevelDbu ||
         mode == nummode::kThresholdDbu || mode == nummode::kGainDb || mode == nummode::kGainDbLimited ||
         mode == nummode::kAttenuationDb;
}

std::string FormatNumber(const NumFormat& f, int d, Language lang) {
  std::string s;
  switch (f.mode) {
    case nummode::kDelayMs: s = Fixed(DelayMs(d), 3); break;
    case nummode::kDelayCm: s = Fixed(DelayMs(d) * SoundShown(f) / kMsPerSecond * kCentimetresPerMetre, 0); break;
    case nummode::kDelayInch: s = Fixed(DelayMs(d) * SoundShown(f) / kMsPerSecond * kInchesPerMetre, 0); break;
    case nummode::kCentred: s = Fixed((d - f.max / 2) * f.step, 1); break;
    case nummode::kAttack: s = AttackText(d); break;
    case nummode::kDecimal2: s = Fixed(Linear(f, d), 2); break;
    case nummode::kFrequencyHz: s = Hz(d); break;
    case nummode::kFrequencyTop: s = d == f.max ? kTopFrequency : Hz(d); break;
    case nummode::kLinear: s = Fixed(Linear(f, d), 1); break;
    case nummode::kQ: s = Fixed(QFromIndex(std::clamp(d, 0, kQTableSize - 1)) + kQShownOffset, 3); break;
    case nummode::kScaled: s = std::to_string(Truncate(d * f.step)); break;
    case nummode::kLevelDbu:
      s = d == 0 ? (lang == Language::Chinese ? kOffChinese : kOffLatin) : Fixed(Linear(f, d), 0) + "dBu";
      break;
    case nummode::kThresholdDbu: s = Fixed(Linear(f, d), 1) + "dBu"; break;
    case nummode::kGainDb: s = Fixed(Linear(f, d), 0) + "dB"; break;
    case nummode::kGainDbLimited: s = Fixed(Linear(f, std::clamp(d, f.min, f.max)), 0) + "dB"; break;
    case nummode::kLowRangeHz: s = d == f.min ? kLowRangeMin : d == f.max ? kLowRangeMax : Hz(d); break;
    case nummode::kHighRangeHz: s = d == f.min ? kHighRangeMin : d == f.max ? kHighRangeMax : Hz(d); break;
    case nummode::kAttenuationDb: s = d == f.max ? kOffLatin : Fixed(Linear(f, d), 1) + "dB"; break;
    case nummode::kBalance:
      if (d < kBalanceCentre) {
        s = kBalanceRight + std::to_string(kBalanceCentre - d);
      } else if (d == kBalanceCentre) {
        s = kOffLatin;
      } else {
        s = kBalanceLeft + std::to_string(d - kBalanceCentre);
      }
      break;
    case nummode::kOffsetInteger: s = std::to_string(d + Truncate(f.offset)); break;
    default:  // plain frequency, plain integers and the modes no page uses
      s = std::to_string(d);
      break;
  }
  return s + f.suffix;
}

int ParseNumber(const NumFormat& f, std::string_view text) {
  const std::optional<double> typed = ReadNumber(text);
  const double x = typed.value_or(0.0);
  int v = 0;
  switch (f.mode) {
    case nummode::kDelayMs:
    case nummode::kDelayCm:
    case nummode::kDelayInch: v = DelayFromTyped(f, x); break;
    case nummode::kCentred: v = Truncate(x / Step(f)) + f.max / 2; break;
    case nummode::kAttack: v = LimiterAttackCodeFromMs(std::max(0.0, x)); break;
    case nummode::kQ:
      // A Q is typed as the box shows it; the nearest table entry is taken.
      v = typed ? NearestQIndex(f, x) : 0;
      break;
    case nummode::kScaled: v = Truncate(x / Step(f)); break;
    case nummode::kOffsetInteger: v = Truncate(x) - Truncate(f.offset); break;
    case nummode::kBalance: v = BalanceFromTyped(text, x); break;
    default: v = IsLinearMode(f.mode) ? LinearFromTyped(f, text, x) : Truncate(x); break;
  }
  return std::clamp(v, f.min, std::max(f.min, f.max));
}

int StepNumber(const NumFormat& f, int value, int direction) {
  const int hi = std::max(f.min, f.max);
  if (direction == 0) return std::clamp(value, f.min, hi);
  if (!IsFrequencyMode(f.mode)) return std::clamp(value + (direction > 0 ? 1 : -1), f.min, hi);

  const auto& grid = FrequencyGrid();
  int next = value;
  if (direction > 0) {
    // The first point whose whole-Hz value lies above: 20.3 Hz truncates to 20, so comparing the
    // raw grid value would leave a box at 20 Hz stuck there. Past the top point nothing moves.
    for (double g : grid) {
      if (Truncate(g) > value) {
        next = Truncate(g);
        break;
      }
    }
  } else {
    // The point below, never below the second point (the first, 19.7 Hz, is off the scale).
    int index = 1;
    for (int i = kGridPoints - 1; i >= 1; --i) {
      if (grid[i] < value) {
        index = i;
        break;
      }
    }
    next = Truncate(grid[index]);
  }
  return std::clamp(next, f.min, hi);
}

std::string RefusalText(int controlId, Language lang) {
  return std::to_string(controlId) + ":" + (lang == Language::Chinese ? "数据错误" : "Data err");
}

}  // namespace zelto
