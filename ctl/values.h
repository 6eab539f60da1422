#pragma once
// Reading values typed on the command line in engineering units, by the rules the editor's entry
// boxes use for the same quantities: decimals truncated with a hair of margin, delays typed as
// time or distance with the typed-distance speed of sound, a Q matched to the nearest table entry.

#include <optional>
#include <string>
#include <string_view>

#include "core/typed_values.h"

namespace zelto::ctl::values {

/// A number with an optional unit after it: "-3.5dB" gives -3.5 and "db" (the unit in lower
/// case, spaces around it dropped). Sign, digits and one point only; nothing when no digit.
struct Quantity {
  double value = 0.0;
  std::string unit;
};
std::optional<Quantity> ReadQuantity(std::string_view text);

using typed::TruncateTyped;

/// Typed distances on the command line are taken at the editor's default 25 °C.
inline constexpr double kTypedCelsius = 25.0;
/// Delay codes (samples at 48 kHz, 0..960) from a typed time or distance.
using typed::DelayFromMs;
inline int DelayFromCm(double cm) { return typed::DelayFromCm(cm, kTypedCelsius); }
inline int DelayFromInches(double inches) { return typed::DelayFromInches(inches, kTypedCelsius); }
using typed::kMaxDelayCode;
using typed::kMaxDelayMs;
inline double MaxDelayCm() { return typed::MaxDelayCm(kTypedCelsius); }
inline double MaxDelayInches() { return typed::MaxDelayInches(kTypedCelsius); }

/// The bandwidth index a band can take (4..295; lower indices all mean 0.09 octaves) whose Q is
/// nearest to `q`.
int NearestBandwidthIndexForQ(double q);
inline constexpr int kFirstOwnBandwidthIndex = 4;
/// Q of the widest and of the narrowest band.
double WidestQ();
double NarrowestQ();

/// "on"/"off" and their usual spellings (yes/no, true/false, 1/0).
std::optional<bool> ReadSwitch(std::string_view text);

/// Lower-case ASCII copy, white space trimmed (core/text).
std::string Lower(std::string_view text);
std::string_view Trim(std::string_view text);

}  // namespace zelto::ctl::values
