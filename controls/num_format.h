#pragma once
// The display modes of the numeric entry boxes: how a raw value is shown, how typed text turns
// back into a raw value, and how the spin steps it. Plain functions, so every mode can be checked
// without a window.

#include <string>
#include <string_view>

#include "core/typed_values.h"
#include "core/encodings.h"

namespace zelto {

/// Display modes the pages use (the others in 0..34 show the raw value).
namespace nummode {
inline constexpr int kDelayMs = 0;
inline constexpr int kDelayCm = 1;
inline constexpr int kDelayInch = 2;
inline constexpr int kCentred = 3;         // (d − max/2) × step
inline constexpr int kFrequency = 4;       // plain Hz
inline constexpr int kAttack = 5;          // limiter attack code
inline constexpr int kDecimal2 = 7;        // d × step − offset, two decimals
inline constexpr int kFrequencyHz = 8;     // "Hz" appended
inline constexpr int kFrequencyTop = 9;    // "Hz" appended, 20 kHz at max
inline constexpr int kLinear = 10;         // d × step − offset, one decimal
inline constexpr int kQ = 11;              // Q table entry + 0.025
inline constexpr int kScaled = 13;         // d × step as integer
inline constexpr int kLevelDbu = 23;       // whole dBu, 0 is off
inline constexpr int kThresholdDbu = 24;   // dBu, one decimal
inline constexpr int kGainDb = 25;         // whole dB
inline constexpr int kGainDbLimited = 26;  // whole dB, value limited to the range first
inline constexpr int kLowRangeHz = 28;     // 20 Hz at min, 1000 Hz at max
inline constexpr int kHighRangeHz = 29;    // 5000 Hz at min, 20000 Hz at max
inline constexpr int kAttenuationDb = 30;  // dB, one decimal, max is off
inline constexpr int kBalance = 31;        // R_n / OFF / L_n around 100
inline constexpr int kInteger = 32;
inline constexpr int kOffsetInteger = 33;  // d + offset
inline constexpr int kLast = 34;
}  // namespace nummode

inline constexpr int kDefaultTemperatureCode = 75;  // °C + 50: 25 °C
inline constexpr int kTemperatureCodeOffset = 50;
inline constexpr int kMaxDelayCode = typed::kMaxDelayCode;  // 20 ms at 48 kHz
inline constexpr double kMaxDelayMs = typed::kMaxDelayMs;

/// Everything a box knows about how to show and read its number.
struct NumFormat {
  int mode = nummode::kInteger;
  int min = 0;
  int max = 100;
  double step = 1.0;
  double offset = 0.0;
  int temperatureCode = kDefaultTemperatureCode;
  std::string suffix;  // appended to the shown text; empty on every page of the editor
};

/// True for the modes whose spin walks the frequency grid.
bool IsFrequencyMode(int mode);
/// True for the modes that read "OFF" / "关闭" and decimals (d × step − offset).
bool IsLinearMode(int mode);

/// The text a box shows for raw value `value` (UTF-8).
std::string FormatNumber(const NumFormat& format, int value, Language lang);
/// The raw value typed text stands for, limited to min..max; text that is no number reads as 0.
int ParseNumber(const NumFormat& format, std::string_view text);
/// The raw value after one spin step (direction > 0 up, < 0 down), limited to min..max.
int StepNumber(const NumFormat& format, int value, int direction);
/// The refusal of a value handed to a spin outside its range: "%d:" + "数据错误" / "Data err".
std::string RefusalText(int controlId, Language lang);

}  // namespace zelto
