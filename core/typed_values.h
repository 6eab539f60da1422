#pragma once
// Numbers typed by the user turned into the codes the processor keeps, the same way for the
// editor's entry boxes and for the command line: decimals truncated with a hair of margin, delays
// typed as a time or as a distance at the typed speed of sound.

namespace zelto::typed {

/// Truncation toward zero that keeps a typed decimal: 0.7 × 10 is not quite 7 in binary, and a
/// margin far below any step keeps what was typed.
int TruncateTyped(double v);

/// Delay codes are samples at 48 kHz, 0..960 (20 ms).
inline constexpr int kMaxDelayCode = 960;
inline constexpr double kMaxDelayMs = 20.0;

/// Speed of sound in m/s for typed distances at `celsius`: 331.4 + 0.6 T. The display uses 331
/// instead, on purpose, so a typed distance may come back a unit off.
double SoundSpeedTyped(double celsius);

int DelayFromMs(double ms);
int DelayFromCm(double cm, double celsius);
int DelayFromInches(double inches, double celsius);
/// The longest distances that can be typed: what sound covers in 20 ms.
double MaxDelayCm(double celsius);
double MaxDelayInches(double celsius);

}  // namespace zelto::typed
