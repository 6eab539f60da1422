#include "measure/rew_filters.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "curves/filter.h"
#include "curves/filter_design.h"
#include "measure/measurement.h"
#include "core/file_io.h"

namespace zelto::measure {

namespace {

constexpr std::size_t kMaxFilterFileBytes = 1u << 20;
// Beyond these no equaliser goes; the designs would leave the range of a double.
constexpr double kMinQ = 0.01;
constexpr double kMaxQ = 1000.0;
constexpr double kMaxGainDb = 60.0;
constexpr double kNyquistHz = kFilterSampleRate / 2;
constexpr double kSqrt2 = 1.41421356237309504880;
constexpr double kButterworthQ = 0.70710678118654752440;
// Shelf slopes S of the cookbook for REW's fixed shelves: 12 dB/Oct is S = 1, 6 dB/Oct S = 0.5.
constexpr double kSlopePerDbPerOct = 1.0 / 12.0;
// A grouped thousand has this many digits after its mark.
constexpr std::size_t kGroupDigits = 3;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      if (!cur.empty()) out.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(std::move(cur));
  return out;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct RewNumber {
  std::optional<double> value;
  bool ambiguous = false;
};

/// A number as REW writes it in any locale: a decimal point or comma, thousands grouped with the
/// other mark, an apostrophe or a (narrow) non-breaking space. Only a frequency can be a grouped
/// thousand with one mark: "1,451" is 1451 Hz, since 1.451 Hz lies below every equaliser; one
/// that could be either ("20,000") is refused rather than guessed.
RewNumber ParseRewNumber(std::string s, bool frequency) {
  for (std::string_view space : {"\xC2\xA0", "\xE2\x80\xAF", "\xA0", "'"}) {
    for (auto at = s.find(space); at != std::string::npos; at = s.find(space)) s.erase(at, space.size());
  }
  const auto commas = std::count(s.begin(), s.end(), ',');
  const auto points = std::count(s.begin(), s.end(), '.');
  std::string sign;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    sign = s.substr(0, 1);
    s.erase(0, 1);
  }
  RewNumber r;
  if (commas > 0 && points > 0) {
    // Both marks: the last one is the decimal mark, the other groups.
    const char decimal = s.find_last_of(",.") == s.rfind(',') ? ',' : '.';
    const char group = decimal == ',' ? '.' : ',';
    if (std::count(s.begin(), s.end(), decimal) != 1) return r;
    s.erase(std::remove(s.begin(), s.end(), group), s.end());
    std::replace(s.begin(), s.end(), decimal, '.');
  } else if (commas + points > 1) {
    // One mark several times groups thousands ("1.234.567").
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ',' || c == '.'; }), s.end());
  } else if (commas + points == 1) {
    const auto at = s.find_first_of(",.");
    const std::string whole = s.substr(0, at), part = s.substr(at + 1);
    std::replace(s.begin(), s.end(), ',', '.');
    if (frequency && part.size() == kGroupDigits && AllDigits(part) && AllDigits(whole) && whole.size() <= 3 &&
        whole.front() != '0') {
      const auto decimal = Number(s);
      const auto grouped = Number(whole + part);
      if (!decimal || !grouped) return r;
      if (*decimal < kFilterMinHz) {
        r.value = *grouped;
      } else if (*grouped >= kNyquistHz) {
        r.value = *decimal;
      } else {
        r.ambiguous = true;
      }
      return r;
    }
  }
  r.value = Number(sign + s);
  return r;
}

bool Fail(RewFilterError* error, RewFilterError::Kind kind, int line, std::string text = {}) {
  if (error) *error = RewFilterError{kind, line, std::move(text)};
  return false;
}

/// The words after "Filter:", "Filter 12:" or "Filter12:" at the start of `line`, or nothing.
std::optional<std::vector<std::string>> FilterLineWords(std::string_view line) {
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  line.remove_prefix(first);
  if (line.size() < 6 || Lower(line.substr(0, 6)) != "filter") return std::nullopt;
  line.remove_prefix(6);
  std::size_t k = 0;
  while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
  while (k < line.size() && std::isdigit(static_cast<unsigned char>(line[k]))) ++k;
  while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
  if (k >= line.size() || line[k] != ':') return std::nullopt;
  return Words(line.substr(k + 1));
}

enum class TypeKind { Peaking, Shelf, FixedShelf, Skipped, None };

struct Type {
  TypeKind kind = TypeKind::Skipped;
  bool high = false;
  bool cShelf = false;            // LSC / HSC
  std::optional<double> slopeDb;  // "LS 6dB", "LSC 12dB"
};

Type TypeOf(const std::string& t) {
  Type r;
  if (t == "none") r.kind = TypeKind::None;
  if (t == "pk" || t == "peq" || t == "modal") r.kind = TypeKind::Peaking;
  if (t == "ls" || t == "hs" || t == "lsc" || t == "hsc" || t == "lsq" || t == "hsq") {
    r.kind = TypeKind::Shelf;
    r.high = t[0] == 'h';
    r.cShelf = t.size() == 3;
  }
  return r;
}

}  // namespace

std::optional<RewFilterFile> ParseRewFilters(std::string_view text, RewFilterError* error,
                                             const RewReadOptions& options) {
  RewFilterFile file;
  bool anyFilterLine = false;
  int lineNo = 0;
  while (!text.empty()) {
    const auto nl = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, nl);
    if (nl == std::string_view::npos) {
      text = {};
    } else {
      // CRLF is one line end; a lone CR (old Mac files) is one too.
      text = text.substr(nl + (text.substr(nl, 2) == "\r\n" ? 2 : 1));
    }
    ++lineNo;
    const auto w = Words(line);
    if (w.size() >= 2 && Lower(w[0]) == "preamp:") {
      const RewNumber v = ParseRewNumber(w[1], false);
      if (!v.value) return Fail(error, RewFilterError::Kind::BadValue, lineNo, w[1]), std::nullopt;
      file.preampDb = *v.value;
      continue;
    }
    const auto words = FilterLineWords(line);
    if (!words) continue;
    anyFilterLine = true;
    const auto& fw = *words;
    std::size_t k = 0;
    if (k < fw.size() && Lower(fw[k]) == "off") continue;
    if (k < fw.size() && Lower(fw[k]) == "on") ++k;
    if (k >= fw.size()) continue;
    const std::string typeWord = fw[k++];
    Type type = TypeOf(Lower(typeWord));
    std::string typeText = typeWord;
    // A slope after a shelf type: "LS 6dB", "HS 12dB", "LSC 12dB".
    if (k < fw.size() && std::isdigit(static_cast<unsigned char>(fw[k].front())) && Lower(fw[k]).ends_with("db")) {
      const std::string slope = fw[k].substr(0, fw[k].size() - 2);
      typeText += ' ' + fw[k++];
      if (type.kind == TypeKind::Shelf) {
        const RewNumber v = ParseRewNumber(slope, false);
        if (!v.value || !(*v.value > 0) || *v.value > 12)
          return Fail(error, RewFilterError::Kind::BadValue, lineNo, slope + "dB"), std::nullopt;
        type.slopeDb = *v.value;
        if (!type.cShelf) type.kind = TypeKind::FixedShelf;
      }
    }
    if (type.kind == TypeKind::None) continue;
    if (type.kind == TypeKind::Skipped) {
      file.notes.push_back({RewNote::Kind::SkippedType, lineNo, 0, typeText});
      continue;
    }
    // Values follow their names: "Fc 63.0 Hz", "Gain -5.0 dB", "Q 4.000", "BW Oct 0.333", "BW/60 20".
    std::optional<double> fc, gain, q, bwOct, bw60;
    for (std::size_t j = k; j + 1 < fw.size(); ++j) {
      const std::string name = Lower(fw[j]);
      std::optional<double>* slot = nullptr;
      bool isFrequency = false;
      if (name == "fc") {
        slot = &fc;
        isFrequency = true;
      } else if (name == "gain") {
        slot = &gain;
      } else if (name == "q") {
        slot = &q;
      } else if (name == "bw/60") {
        slot = &bw60;
      } else if (name == "bw" && j + 2 < fw.size() && Lower(fw[j + 1]) == "oct") {
        slot = &bwOct;
        ++j;
      }
      if (!slot) continue;
      std::string value = fw[j + 1];
      // A frequency grouped with plain spaces ("1 451 Hz") continues in the next words.
      if (isFrequency)
        while (j + 2 < fw.size() && fw[j + 2].size() == kGroupDigits && AllDigits(fw[j + 2]) && AllDigits(value)) {
          value += fw[j + 2];
          ++j;
        }
      const RewNumber v = ParseRewNumber(value, isFrequency);
      if (v.ambiguous) return Fail(error, RewFilterError::Kind::AmbiguousNumber, lineNo, value), std::nullopt;
      if (!v.value) return Fail(error, RewFilterError::Kind::BadValue, lineNo, value), std::nullopt;
      *slot = v.value;
      ++j;
    }
    if (!fc) return Fail(error, RewFilterError::Kind::MissingValue, lineNo, "Fc"), std::nullopt;
    if (!gain) return Fail(error, RewFilterError::Kind::MissingValue, lineNo, "Gain"), std::nullopt;
    // REW's widths: Q is centre / bandwidth between the half-gain points; "BW Oct" N octaves is
    // Q = sqrt(2^N) / (2^N - 1); "BW/60" sets that bandwidth to centre * (BW / 60) * sqrt(2).
    if (!q && bwOct && *bwOct > 0) q = std::sqrt(std::exp2(*bwOct)) / (std::exp2(*bwOct) - 1);
    if (!q && bw60 && *bw60 > 0) q = 60.0 / (*bw60 * kSqrt2);
    if ((bwOct && !(*bwOct > 0)) || (bw60 && !(*bw60 > 0)))
      return Fail(error, RewFilterError::Kind::BadValue, lineNo, bwOct ? "BW Oct" : "BW/60"), std::nullopt;
    if (type.kind == TypeKind::Peaking && !q)
      return Fail(error, RewFilterError::Kind::MissingValue, lineNo, "Q"), std::nullopt;
    if (!(*fc > 0) || *fc >= kNyquistHz) return Fail(error, RewFilterError::Kind::BadValue, lineNo, "Fc"), std::nullopt;
    if (q && (*q < kMinQ || *q > kMaxQ)) return Fail(error, RewFilterError::Kind::BadValue, lineNo, "Q"), std::nullopt;
    if (std::abs(*gain) > kMaxGainDb) return Fail(error, RewFilterError::Kind::BadValue, lineNo, "Gain"), std::nullopt;

    RewFilter f;
    f.line = lineNo;
    f.hz = *fc;
    f.gainDb = *gain;
    if (q) f.q = *q;
    if (type.kind != TypeKind::Peaking) {
      f.kind = type.high ? RewFilter::Kind::HighShelf : RewFilter::Kind::LowShelf;
      const double away = [&] {
        // How far the file's frequency lies from the gain midpoint. REW's fixed shelves follow
        // the DCX2496's definitions, as REW's author gave them on the Home Theater Shack forum
        // ("Generic/DCX2496 shelving filters center frequency"): the midpoint lies 10^(|g| / 40)
        // (6 dB/Oct, slope S = 0.5) or 10^(|g| / 80) (12 dB/Oct, S = 1) beyond Fc. LSC / HSC give
        // the midpoint itself (REW's help, Equalizer APO's configuration reference).
        if (type.kind == TypeKind::FixedShelf)
          return std::pow(10.0, std::abs(f.gainDb) / (*type.slopeDb < 9 ? 40 : 80));
        if (type.cShelf && options.lscFrequency == ShelfConvention::Corner)
          return std::pow(10.0, std::abs(f.gainDb) / 80);
        return 1.0;
      }();
      f.hz = type.high ? f.hz / away : f.hz * away;
      if (type.slopeDb)
        f.q = ShelfQForSlope(f.gainDb, std::min(1.0, *type.slopeDb * kSlopePerDbPerOct));
      else if (!q)
        f.q = kButterworthQ;
    }
    if (*fc < kFilterMinHz || *fc > kFilterMaxHz) file.notes.push_back({RewNote::Kind::OutsideRange, lineNo, *fc, {}});
    file.filters.push_back(f);
  }
  if (!anyFilterLine) return Fail(error, RewFilterError::Kind::NoFilters, 0), std::nullopt;
  if (file.filters.empty() && !file.notes.empty())
    return Fail(error, RewFilterError::Kind::NothingToImport, 0), std::nullopt;
  return file;
}

std::optional<RewFilterFile> ReadRewFilterFile(const std::string& path, RewFilterError* error,
                                               const RewReadOptions& options) {
  const FileBytes file = ReadWholeFile(path, kMaxFilterFileBytes);
  if (!file.ok()) return Fail(error, RewFilterError::Kind::CannotOpen, 0), std::nullopt;
  const std::string text = TextOfFile(file.bytes);
  return ParseRewFilters(text, error, options);
}

namespace {

FilterSections DesignOf(const RewFilter& f) {
  switch (f.kind) {
    case RewFilter::Kind::Peaking: return CookbookPeakingDesign(f.hz, f.gainDb, f.q);
    case RewFilter::Kind::LowShelf: return CookbookShelfDesign(false, f.hz, f.gainDb, f.q);
    case RewFilter::Kind::HighShelf: return CookbookShelfDesign(true, f.hz, f.gainDb, f.q);
  }
  return {};
}

}  // namespace

std::array<double, kGridPoints> CookbookResponse(std::span<const RewFilter> filters) {
  std::array<double, kGridPoints> db{};
  for (const auto& f : filters) {
    const auto r = GridResponseDb(DesignOf(f));
    for (int i = 0; i < kGridPoints; ++i) db[i] += r[i];
  }
  return db;
}

std::array<double, kGridPoints> CookbookResponse(const RewFilter& filter) {
  return CookbookResponse(std::span<const RewFilter>(&filter, 1));
}

std::vector<double> CookbookResponseAt(std::span<const RewFilter> filters, std::span<const double> hz) {
  std::vector<double> db(hz.size(), 0.0);
  for (const auto& f : filters) {
    const FilterSections s = DesignOf(f);
    for (std::size_t i = 0; i < hz.size(); ++i) db[i] += ResponseDb(s, hz[i]);
  }
  return db;
}

RewFilter CookbookEquivalent(int hz, double gainDb, int bandwidthIndex) {
  RewFilter f;
  f.kind = RewFilter::Kind::Peaking;
  f.hz = FrequencyGrid()[NearestGridIndex(hz)];
  f.gainDb = gainDb;
  f.q = CookbookQOfBand(f.hz, BandwidthOctavesForSetting(bandwidthIndex));
  return f;
}

std::string RewFilterText(std::span<const BandForExport> bands, std::string_view note) {
  std::string out = "Filter Settings file\n\nRoom EQ V5.20\n\nNotes: ";
  out += note;
  out += "\n\nEqualiser: Generic\n";
  int n = 0;
  for (const auto& b : bands) {
    const RewFilter f = CookbookEquivalent(b.hz, b.gainDb, b.bandwidthIndex);
    char line[128];
    std::snprintf(line, sizeof line, "Filter %2d: ON  PK       Fc %7.1f Hz  Gain %5.1f dB  Q %7.4f\n", ++n, f.hz,
                  f.gainDb, f.q);
    out += line;
  }
  return out;
}

}  // namespace zelto::measure
