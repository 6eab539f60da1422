#pragma once
// Reading values typed on the command line in engineering units, by the rules the editor's entry
// boxes use for the same quantities: decimals truncated with a hair of margin, delays typed as
// time or distance with the typed-distance speed of sound, a Q matched to the nearest table entry.

#include <optional>
#include <string>
#include <string_view>

namespace zelto::ctl::values {

/// A number with an optional unit after it: "-3.5dB" gives -3.5 and "db" (the unit in lower
/// case, spaces around it dropped). Sign, digits and one point only; nothing when no digit.
struct Quantity {
  double value = 0.0;
  std::string unit;
};
std::optional<Quantity> ReadQuantity(std::string_view text);

/// Truncation toward zero that keeps a typed decimal: 0.7 × 10 is not quite 7 in binary.
int TruncateTyped(double v);

/// Delay codes (samples at 48 kHz, 0..960) from a typed time or distance.
int DelayFromMs(double ms);
int DelayFromCm(double cm);
int DelayFromInches(double inches);
inline constexpr int kMaxDelayCode = 960;
/// The longest delays that can be typed: what sound covers in 20 ms at the typed speed.
inline constexpr double kMaxDelayMs = 20.0;
double MaxDelayCm();
double MaxDelayInches();

/// The bandwidth index a band can take (4..295; lower indices all mean 0.09 octaves) whose Q is
/// nearest to `q`.
int NearestBandwidthIndexForQ(double q);
inline constexpr int kFirstOwnBandwidthIndex = 4;
/// Q of the widest and of the narrowest band.
double WidestQ();
double NarrowestQ();

/// "on"/"off" and their usual spellings (yes/no, true/false, 1/0).
std::optional<bool> ReadSwitch(std::string_view text);

/// Lower-case ASCII copy, spaces trimmed.
std::string Lower(std::string_view text);
std::string_view Trim(std::string_view text);

}  // namespace zelto::ctl::values
