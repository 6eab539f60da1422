#include "core/encodings.h"

#include <cctype>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace zelto {

namespace {

// The grid is the processor's own table, not a computed series: indices 76 and 192 hold 179 and
// 5000 where a 1/24-octave series would give 175 and 5039, and responses are drawn at these.
constexpr std::array<double, kGridPoints> kGrid = {
    19.7,  20.3,  20.9,  21.5,  22.1,  22.7,  23.4,  24.1,  24.8,  25.5,   //
    26.3,  27,    27.8,  28.7,  29.5,  30.4,  31.3,  32.2,  33.1,  34.1,   //
    35.1,  36.1,  37.2,  38.3,  39.4,  40.5,  41.7,  42.9,  44.2,  45.5,   //
    46.8,  48.2,  49.6,  51.1,  52.6,  54.1,  55.7,  57.3,  59,    60.7,   //
    62.5,  64.3,  66.2,  68.2,  70.2,  72.2,  74.3,  76.5,  78.7,  81.1,   //
    83.4,  85.9,  88.4,  91,    93.6,  96.4,  99.2,  102,   105,   108,    //
    111,   115,   118,   121,   125,   129,   132,   136,   140,   144,    //
    149,   153,   158,   162,   167,   172,   179,   182,   187,   193,    //
    198,   204,   210,   216,   223,   229,   236,   243,   250,   257,    //
    265,   273,   281,   289,   297,   306,   315,   324,   334,   344,    //
    354,   364,   375,   386,   397,   409,   420,   433,   445,   459,    //
    472,   486,   500,   515,   530,   545,   561,   578,   595,   612,    //
    630,   648,   667,   687,   707,   728,   749,   771,   794,   817,    //
    841,   866,   891,   917,   944,   972,   1000,  1030,  1060,  1090,   //
    1123,  1155,  1190,  1224,  1260,  1297,  1335,  1374,  1414,  1456,   //
    1498,  1542,  1587,  1634,  1682,  1731,  1782,  1834,  1888,  1943,   //
    2000,  2059,  2119,  2181,  2245,  2311,  2378,  2448,  2520,  2594,   //
    2670,  2748,  2828,  2911,  2997,  3084,  3175,  3268,  3364,  3462,   //
    3564,  3668,  3776,  3886,  4000,  4117,  4238,  4362,  4490,  4621,   //
    4757,  4896,  5000,  5187,  5339,  5496,  5657,  5823,  5993,  6169,   //
    6350,  6536,  6727,  6924,  7127,  7336,  7551,  7772,  8000,  8234,   //
    8476,  8724,  8980,  9243,  9514,  9792,  10079, 10374, 10679, 10992,  //
    11314, 11645, 11987, 12338, 12699, 13071, 13454, 13849, 14254, 14672,  //
    15102, 15545, 16000, 16469, 16951, 17448, 17959, 18486, 19027, 19585,  //
    20000};

struct QTable {
  std::array<double, kQTableSize> q{};
  QTable() {
    for (int b = 0; b < kQTableSize; ++b) {
      const double p = std::pow(2.0, BandwidthOctavesFromIndex(b));
      q[b] = std::round(std::sqrt(p) / (p - 1.0) * 1000.0) / 1000.0;
    }
  }
};

constexpr std::array<int, 31> kOutputCentres = {20,   25,   32,   40,   50,   63,    80,    100,   125,  160,  200,
                                                250,  315,  400,  500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                                3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
constexpr std::array<int, 9> kInputCentres = {40, 80, 160, 317, 632, 1261, 2515, 5018, 10000};
constexpr std::array<int, 3> kEffectCentres = {100, 1000, 10000};

constexpr std::array<std::string_view, kChannelTypeNames> kChannelTypes = {
    "空",         "前左高频", "前左中频", "前左低频",   "前左中高频", "前左中低频", "前左全频",
    "前右高频",   "前右中频", "前右低频", "前右中高频", "前右中低频", "前右全频",   "后左高频",
    "后左中低频", "后左全频", "后右高频", "后右中低频", "后右全频",   "中置高频",   "中置中低频",
    "中置全频",   "左超低",   "右超低",   "超低",       "前自定义",   "后自定义",   "",
    "",           "",         ""};

constexpr std::array<std::string_view, 8> kLongSlopes = {"12dB/Oct", "18dB/Oct", "24dB/Oct", "30dB/Oct",
                                                         "36dB/Oct", "42dB/Oct", "OFF",      "48dB/Oct"};
constexpr std::array<std::string_view, 2> kShortSlopes = {"12dB/Oct", "24dB/Oct"};
constexpr std::array<std::string_view, 2> kShelfSlopes = {"6dB/Oct", "12dB/Oct"};
constexpr std::array<std::string_view, 6> kReleases = {"Atk * 2", "Atk * 4",  "Atk * 6",
                                                       "Atk * 8", "Atk * 16", "Atk * 32"};

// Inches per metre as the processor's tool counts them (3.28 feet of 12 inches).
constexpr double kMetresPerMs = 0.346;  // speed of sound, metres per millisecond
constexpr double kInchesPerMetre = 3.28 * 12.0;

// Limits of the graph: three decades from 20 Hz, 40 dB from top to bottom.
constexpr double kGraphTopDb = 20.0;
constexpr double kGraphSpanDb = 40.0;
constexpr double kGraphLowHz = 20.0;
constexpr double kGraphHighHz = 20000.0;
constexpr int kGraphDecades = 3;

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Converts a double that may be far outside int range (log of a tiny frequency) without overflow.
int TruncToInt(double v) {
  constexpr double kLimit = 1e9;
  if (!(v > -kLimit)) return static_cast<int>(-kLimit);
  if (v > kLimit) return static_cast<int>(kLimit);
  return static_cast<int>(v);
}

}  // namespace

std::string Printf(const char* fmt, ...) {
  char buf[64];
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  if (n < 0) return {};
  return std::string(buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

const std::array<double, kGridPoints>& FrequencyGrid() { return kGrid; }

int NearestGridIndex(double hz) {
  // The first grid frequency at or above hz; none (or no number) means the top of the grid.
  if (std::isnan(hz)) return kGridPoints - 1;
  const auto it = std::lower_bound(kGrid.begin(), kGrid.end(), hz);
  if (it == kGrid.end()) return kGridPoints - 1;
  const int i = static_cast<int>(it - kGrid.begin());
  if (i == 0) return 0;
  return (hz - kGrid[i - 1] < kGrid[i] - hz) ? i - 1 : i;
}

double QFromIndex(int index) {
  static const QTable table;
  assert(index >= 0 && index < kQTableSize);
  return table.q[std::clamp(index, 0, kQTableSize - 1)];
}

double BandGainDbFromCode(int code) { return code * 0.1 - 60.0; }

int BandGainEditCodeFromDb(double db) {
  db = std::clamp(db, -20.0, 20.0);
  // 10 * (dB + 20) loses a last bit for values such as -0.05 dB (199.49999...), which must still
  // round half up; a margin far below the 0.1 dB step absorbs that.
  constexpr double kRoundingMargin = 1e-9;
  return static_cast<int>(kBandGainStepsPerDb * (db + kBandGainOffsetDb) + 0.5 + kRoundingMargin);
}

double BandGainDbFromEditCode(int code) { return (code - kBandGainEditFlat) / double(kBandGainStepsPerDb); }

// The record counts the same steps from -60 dB.
int BandGainCodeFromDb(double db) { return 400 + BandGainEditCodeFromDb(db); }

double BandwidthOctavesFromIndex(int index) { return 0.05 + 0.01 * index; }

int BandwidthIndexFromOctaves(double octaves) { return static_cast<int>((octaves - 0.05) / 0.01 + 0.05); }

double BandwidthOctavesForSetting(int index) {
  constexpr int kNarrowestIndex = 4;
  constexpr double kNarrowestOctaves = 0.09;
  return index < kNarrowestIndex ? kNarrowestOctaves : BandwidthOctavesFromIndex(index);
}

std::string FormatQ(double q) { return q > 10.0 ? Printf("%.2f", q) : Printf("%.3f", q); }

int OutputGainDbFromCode(int code) { return code - kOutputGainOffsetDb; }
int OutputGainCodeFromDb(int db) { return db + kOutputGainOffsetDb; }
std::string FormatOutputGain(double db, bool switchedOff) {
  return switchedOff ? std::string("-60.0dB") : Printf("%0.1fdB", db);
}

int InputGainDbFromValue(int value) { return value - 80; }
int InputGainValueFromDb(int db) { return db + 80; }
std::string FormatInputGain(int db) { return Printf("%ddB", db); }

double OutputLevelDbFromValue(int value) { return value - 80.0; }
double InputLevelDbuFromValue(int value) { return value - 120.0; }
std::string FormatOutputLevel(int value) { return Printf("%0.1fdB", OutputLevelDbFromValue(value)); }
std::string FormatInputLevel(int value) {
  if (value == 0) return "OFF";
  return Printf("%0.1fdBu", InputLevelDbuFromValue(value));
}

double LimiterThresholdDbuFromCode(int code) { return code * 0.1 - 30.0; }
int LimiterThresholdCodeFromDbu(double dbu) { return static_cast<int>(std::lround((dbu + 30.0) * 10.0)); }
std::string FormatLimiterThreshold(int code) { return Printf("%0.1fdBu", LimiterThresholdDbuFromCode(code)); }

// Attack codes 0..6 count tenths of a millisecond from 0.3 ms, codes above 6 whole milliseconds.
constexpr int kLastTenthsAttackCode = 6;
double LimiterAttackMsFromCode(int code) {
  return code > kLastTenthsAttackCode ? static_cast<double>(code - kLastTenthsAttackCode) : (code + 3) * 0.1;
}
int LimiterAttackCodeFromMs(double ms) {
  if (ms >= 0.95) return static_cast<int>(std::lround(ms)) + kLastTenthsAttackCode;
  return std::max(0, static_cast<int>(std::lround(ms * 10.0)) - 3);
}
std::string FormatLimiterAttack(int code) {
  if (code > kLastTenthsAttackCode) return Printf("%dms", code - kLastTenthsAttackCode);
  return Printf("%0.1fms", LimiterAttackMsFromCode(code));
}

double DelayMsFromCode(int code) { return code / kDelaySampleRate; }
int DelayCodeFromMs(double ms) { return static_cast<int>(std::lround(ms * kDelaySampleRate)); }
double DelayCmFromCode(int code) { return DelayMsFromCode(code) * kMetresPerMs * 100.0; }
double DelayInchFromCode(int code) { return DelayMsFromCode(code) * kMetresPerMs * kInchesPerMetre; }
std::string FormatDelayMs(int code, Language lang) {
  return Printf(lang == Language::Chinese ? "%0.3f毫秒" : "%0.3fMS", DelayMsFromCode(code));
}
std::string FormatDelayCm(int code, Language lang) {
  return Printf(lang == Language::Chinese ? "%0.2f厘米" : "%0.2fCM", DelayCmFromCode(code));
}
std::string FormatDelayInch(int code, Language lang) {
  return Printf(lang == Language::Chinese ? "%0.2f英寸" : "%0.2fINCH", DelayInchFromCode(code));
}

std::span<const int> OutputBandCentres() { return kOutputCentres; }
std::span<const int> InputBandCentres() { return kInputCentres; }
std::span<const int> EffectBandCentres() { return kEffectCentres; }

std::string_view ChannelTypeName(int code) {
  if (code < 0 || code >= kChannelTypeNames) return {};
  return kChannelTypes[code];
}

std::string_view FilterTypeName(int type, bool graphicEq, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (type) {
    case 0:
      if (graphicEq) return zh ? "图示均衡" : "GEQ";
      return zh ? "参量均衡" : "PEQ";
    case 1: return zh ? "低架" : "Lo_Shf";
    case 2: return zh ? "高架" : "Hi_Shf";
    default: return {};
  }
}

std::string_view CrossoverFamilyName(int family, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (family) {
    case 0: return zh ? "宁克" : "Link_Ril";
    case 1: return zh ? "贝塞尔" : "Bessel";
    case 2: return zh ? "巴特沃斯" : "Butter_W";
    default: return {};
  }
}

std::string_view SlopeName(int code, bool shortList) {
  if (shortList) {
    if (code < 0 || code >= static_cast<int>(kShortSlopes.size())) return {};
    return kShortSlopes[code];
  }
  if (code < 0 || code >= static_cast<int>(kLongSlopes.size())) return {};
  return kLongSlopes[code];
}

std::string_view ShelfSlopeName(int code) {
  if (code < 0 || code >= static_cast<int>(kShelfSlopes.size())) return {};
  return kShelfSlopes[code];
}

std::string_view LimiterReleaseName(int code) {
  if (code < 0 || code >= static_cast<int>(kReleases.size())) return {};
  return kReleases[code];
}

std::string_view NameLengthError(Language lang) {
  return lang == Language::Chinese ? "字符长度错误!" : "char Len error!";
}

bool StoreField(std::span<std::uint8_t> field, std::string_view text) {
  // The last byte always stays zero so that the processor finds the end of the text.
  if (field.empty() || text.size() >= field.size()) return false;
  std::fill(field.begin(), field.end(), std::uint8_t{0});
  std::copy(text.begin(), text.end(), field.begin());
  return true;
}

void StoreFieldTruncated(std::span<std::uint8_t> field, std::string_view text) {
  if (field.empty()) return;
  text = TruncateText(text, field.size() - 1);
  StoreField(field, text);
}

std::string_view TruncateText(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t n = maxBytes;
  // Never cut a UTF-8 sequence in half: back up over continuation bytes to the lead byte.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

bool StoreName8(std::span<std::uint8_t> field, std::string_view name) {
  assert(field.size() >= kNameFieldSize);
  if (field.size() < kNameFieldSize) return false;
  return StoreField(field.first(kNameFieldSize), name);
}

std::string ReadField(std::span<const std::uint8_t> field) {
  std::string s;
  for (std::uint8_t b : field) {
    if (b == 0) break;
    s.push_back(static_cast<char>(b));
  }
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && IsTrimmed(s[begin])) ++begin;
  while (end > begin && IsTrimmed(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

bool IsBlankField(std::span<const std::uint8_t> field) { return ReadField(field).empty(); }

int GraphY(double db, int height) { return TruncToInt(GraphYExact(db, height) + 0.5); }

double GraphYExact(double db, int height) { return height / kGraphSpanDb * (kGraphTopDb - db); }

double GraphGainAt(int y, int height) {
  if (height <= 0) return 0.0;
  // The pointer's own gain, unbiased: the caller rounds it to the 0.1 dB gain code. Adding or
  // subtracting half a dB here (the processor tool's whole-dB rounding without its truncation)
  // would make 0 dB unreachable by dragging and make a handle jump on the first mouse move.
  return kGraphTopDb - static_cast<double>(y) * kGraphSpanDb / height;
}

int GraphX(double hz, int width) {
  const int decade = width / kGraphDecades;
  if (!(hz > 0.0)) return TruncToInt(-1e300);
  return TruncToInt(std::log10(hz / kGraphLowHz) * decade);
}

double GraphXExact(double hz, int width) {
  const int decade = width / kGraphDecades;
  if (!(hz > 0.0)) return -1e9;
  return std::log10(hz / kGraphLowHz) * decade;
}

int GraphFrequencyAt(int x, int width) {
  const int decade = width / kGraphDecades;
  if (decade <= 0) return static_cast<int>(kGraphLowHz);
  const double f = kGraphLowHz * std::pow(10.0, static_cast<double>(x) / decade);
  return static_cast<int>(std::clamp(f, kGraphLowHz, kGraphHighHz));
}

std::optional<double> ReadDecimalPrefix(std::string_view text, std::size_t* used) {
  static constexpr std::string_view kUnicodeMinus = "\xE2\x88\x92";
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (text.substr(i).starts_with(kUnicodeMinus)) {
    negative = true;
    i += kUnicodeMinus.size();
  } else if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  double whole = 0.0;
  double scale = 1.0;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      if (point) {
        scale /= 10.0;
        whole += (c - '0') * scale;
      } else {
        whole = whole * 10.0 + (c - '0');
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  // Hundreds of digits overflow a double: infinity is no value any box or code can take, and
  // converting it to an integer code would be undefined.
  if (!digits || !std::isfinite(whole)) return std::nullopt;
  if (used) *used = i;
  return negative ? -whole : whole;
}

}  // namespace zelto
