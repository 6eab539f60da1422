#pragma once
// Code <-> engineering value conversions, the frequency grid, the Q table and the fixed texts.
// Pure functions only.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zelto {

enum class Language { Chinese, English };

inline constexpr int kGridPoints = 241;
inline constexpr int kQTableSize = 296;

/// The 241 grid frequencies in Hz, 19.7 .. 20000, about 1/24 octave apart.
const std::array<double, kGridPoints>& FrequencyGrid();
/// Nearest grid index of a frequency (ties go to the higher index; above 20000 gives 240).
int NearestGridIndex(double hz);
/// Q of a peaking band with bandwidth 0.05 + 0.01 * index octaves, rounded to 3 decimals.
double QFromIndex(int index);

/// printf into a string of at most 63 characters (the texts shown are short).
[[gnu::format(printf, 1, 2)]] std::string Printf(const char* fmt, ...);

// EQ band gain (EqBandRecord): dB = code * 0.1 - 60.
double BandGainDbFromCode(int code);
int BandGainCodeFromDb(double db);
// EQ band gain as the parameter objects keep it: 0..400, 200 = 0 dB, 0.1 dB a step.
inline constexpr int kBandGainEditFlat = 200;
inline constexpr int kBandGainOffsetDb = 20;
inline constexpr int kBandGainStepsPerDb = 10;
/// The one rounding rule for a gain that is computed (a graph drag, a fit, an imported filter):
/// limited to +-20 dB, a half step rounds up. A typed gain truncates instead (core/typed_values).
int BandGainEditCodeFromDb(double db);
double BandGainDbFromEditCode(int code);
// Bandwidth index <-> octaves.
double BandwidthOctavesFromIndex(int index);  // raw: 0.05 + 0.01 * index
int BandwidthIndexFromOctaves(double octaves);
double BandwidthOctavesForSetting(int index);  // indices below 4 give 0.09 octaves
std::string FormatQ(double q);

// Output gain and master volume: dB = code - 60.
inline constexpr int kOutputGainOffsetDb = 60;
int OutputGainDbFromCode(int code);
int OutputGainCodeFromDb(int db);
std::string FormatOutputGain(double db, bool switchedOff);
// Input gain: dB = value - 80.
int InputGainDbFromValue(int value);
int InputGainValueFromDb(int db);
std::string FormatInputGain(int db);
// Levels: output dB = value - 80; inputs dBu = value - 120, 0 = off.
double OutputLevelDbFromValue(int value);
double InputLevelDbuFromValue(int value);
std::string FormatOutputLevel(int value);
std::string FormatInputLevel(int value);
// Limiter.
double LimiterThresholdDbuFromCode(int code);
int LimiterThresholdCodeFromDbu(double dbu);
std::string FormatLimiterThreshold(int code);
double LimiterAttackMsFromCode(int code);
int LimiterAttackCodeFromMs(double ms);
std::string FormatLimiterAttack(int code);
// Delay: samples at 48 kHz.
inline constexpr double kDelaySampleRate = 48.0;  // samples per millisecond
double DelayMsFromCode(int code);
int DelayCodeFromMs(double ms);
double DelayCmFromCode(int code);
double DelayInchFromCode(int code);
std::string FormatDelayMs(int code, Language lang);
std::string FormatDelayCm(int code, Language lang);
std::string FormatDelayInch(int code, Language lang);

// Default band centres.
std::span<const int> OutputBandCentres();  // 31
std::span<const int> InputBandCentres();   // 9
std::span<const int> EffectBandCentres();  // 3

// Names shown in the editor.
inline constexpr int kChannelTypeNames = 31;  // 27 named, 27..30 empty
std::string_view ChannelTypeName(int code);   // empty for unknown codes
std::string_view FilterTypeName(int type, bool graphicEq, Language lang);
std::string_view CrossoverFamilyName(int family, Language lang);
std::string_view SlopeName(int code, bool shortList);
std::string_view ShelfSlopeName(int code);
std::string_view LimiterReleaseName(int code);

// Fixed-length text fields.
inline constexpr std::size_t kNameFieldSize = 8;    // 7 characters and zero bytes
inline constexpr std::size_t kPresetNameSize = 16;  // 15 characters and a zero byte
std::string_view NameLengthError(Language lang);    // "字符长度错误!" / "char Len error!"
/// Writes `name` into an 8-byte field; refuses (returns false, field unchanged) at 8 characters or more.
/// Characters are counted as the bytes they occupy in the field (UTF-8).
bool StoreName8(std::span<std::uint8_t> field, std::string_view name);
/// Writes `text` zero-padded into the whole field; refuses (false, field unchanged) unless a zero byte
/// is left at the end (so a 16-byte preset name holds at most 15 characters).
bool StoreField(std::span<std::uint8_t> field, std::string_view text);
/// Writes the first field.size() - 1 bytes of `text` (whole UTF-8 characters only), zero-padded.
void StoreFieldTruncated(std::span<std::uint8_t> field, std::string_view text);
/// The longest prefix of `text` of at most `maxBytes` bytes that does not split a UTF-8 character.
std::string_view TruncateText(std::string_view text, std::size_t maxBytes);
/// Reads a field: bytes up to its length, cut at the first zero, spaces trimmed at both ends.
std::string ReadField(std::span<const std::uint8_t> field);
bool IsBlankField(std::span<const std::uint8_t> field);

/// A decimal number at the start of `text` (after leading spaces): sign (also U+2212), digits,
/// one point. No exponents, hex or "inf": what a technician types, nothing a C library would also
/// accept. `used` (optional) receives how many bytes of `text` the number took.
std::optional<double> ReadDecimalPrefix(std::string_view text, std::size_t* used = nullptr);

// Graph coordinates: +20 dB at the top, -20 dB at the bottom, three decades from 20 Hz, each
// width / 3 (integer division) pixels wide. Results are inside the plot; callers add the margins.
inline constexpr int kGraphMarginX = 35;
inline constexpr int kGraphMarginY = 10;
int GraphY(double db, int height);          // trunc(height / 40 * (20 - db) + 0.5)
double GraphYExact(double db, int height);  // height / 40 * (20 - db), unrounded
/// Gain at plot row y, 20 - 40 * y / height, not rounded: the caller quantises it through the gain code.
double GraphGainAt(int y, int height);
int GraphX(double hz, int width);          // trunc(log10(hz / 20) * (width / 3))
double GraphXExact(double hz, int width);  // unrounded
/// Frequency at plot column x, limited to 20..20000 Hz and truncated to whole Hz.
int GraphFrequencyAt(int x, int width);

}  // namespace zelto
