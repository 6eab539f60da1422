#include "measure/rew_filters.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "curves/filter.h"
#include "measure/measurement.h"
#include "measure/rew_filters.h"
#include "presets/file_io.h"

namespace zelto::measure {

namespace {

constexpr std::size_t kMaxFilterFileBytes = 1u << 20;
constexpr double kLn2 = 0.69314718055994530942;
constexpr double kTwoPi = 6.28318530717958647692;
// The processor's own centre angle per Hz (curves/ uses the same literal).
constexpr double kProcessorAnglePerHz = 6.544985e-05;
constexpr double kDbPerPowerDecade = 10.0;
// Beyond these no equaliser goes; the designs would leave the range of a double.
constexpr double kMinQ = 0.01;
constexpr double kMaxQ = 1000.0;
constexpr double kMaxGainDb = 60.0;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') {
      if (!cur.empty()) out.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(std::move(cur));
  return out;
}

// REW writes a decimal comma in some locales.
std::optional<double> CommaNumber(std::string s) {
  std::replace(s.begin(), s.end(), ',', '.');
  return measure::Number(std::string_view(s));
}

bool Fail(RewFilterError* error, RewFilterError::Kind kind, int line, std::string text = {}) {
  if (error) *error = RewFilterError{kind, line, std::move(text)};
  return false;
}

/// "Filter 12:" or "Filter12:" at the start of the words: the words after it, or nothing.
std::optional<std::size_t> FilterLineStart(const std::vector<std::string>& w) {
  if (w.empty() || Lower(w[0]).rfind("filter", 0) != 0) return std::nullopt;
  std::string head = w[0].substr(6);
  std::size_t next = 1;
  if (head.empty()) {
    if (w.size() < 2) return std::nullopt;
    head = w[1];
    next = 2;
  }
  if (head.size() < 2 || head.back() != ':') return std::nullopt;
  head.pop_back();
  if (!std::all_of(head.begin(), head.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  return next;
}

struct Section {
  double b0, b1, b2, a0, a1, a2;
};

/// |H|^2 of one section at every grid angle, multiplied into `power`.
void MultiplyResponse(const Section& s, std::array<double, kGridPoints>& power) {
  const GridTrig& trig = GridTrigTable();
  for (int i = 0; i < kGridPoints; ++i) {
    const double c = trig.cos[i], sn = trig.sin[i];
    const double c2 = 2 * c * c - 1, s2 = 2 * sn * c;
    const double nr = s.b0 + s.b1 * c + s.b2 * c2, ni = s.b1 * sn + s.b2 * s2;
    const double dr = s.a0 + s.a1 * c + s.a2 * c2, di = s.a1 * sn + s.a2 * s2;
    power[i] *= (nr * nr + ni * ni) / (dr * dr + di * di);
  }
}

Section Design(const RewFilter& f) {
  const double w0 = kTwoPi * f.hz / kFilterSampleRate;
  const double cw = std::cos(w0), sw = std::sin(w0);
  const double A = std::pow(10.0, f.gainDb / 40.0);
  switch (f.kind) {
    case RewFilter::Kind::Peaking: {
      const double alpha = sw / (2 * f.q);
      return {1 + alpha * A, -2 * cw, 1 - alpha * A, 1 + alpha / A, -2 * cw, 1 - alpha / A};
    }
    case RewFilter::Kind::LowShelf:
    case RewFilter::Kind::HighShelf: {
      const double beta = 2 * std::sqrt(A) * sw / (2 * f.q);
      if (f.kind == RewFilter::Kind::LowShelf)
        return {A * ((A + 1) - (A - 1) * cw + beta), 2 * A * ((A - 1) - (A + 1) * cw),
                A * ((A + 1) - (A - 1) * cw - beta), (A + 1) + (A - 1) * cw + beta,
                -2 * ((A - 1) + (A + 1) * cw),       (A + 1) + (A - 1) * cw - beta};
      return {A * ((A + 1) + (A - 1) * cw + beta), -2 * A * ((A - 1) + (A + 1) * cw),
              A * ((A + 1) + (A - 1) * cw - beta), (A + 1) - (A - 1) * cw + beta,
              2 * ((A - 1) - (A + 1) * cw),        (A + 1) - (A - 1) * cw - beta};
    }
    case RewFilter::Kind::LowShelf1:
    case RewFilter::Kind::HighShelf1: {
      // (s + w0 sqrt(G)) / (s + w0 / sqrt(G)) and its mirror, midpoint w0, by the bilinear
      // transform with the corner prewarped.
      const double g = A * A;  // amplitude ratio
      const double k = std::tan(w0 / 2), r = std::sqrt(g);
      if (f.kind == RewFilter::Kind::LowShelf1) return {1 + k * r, k * r - 1, 0, 1 + k / r, k / r - 1, 0};
      return {g + k * r, k * r - g, 0, 1 + k * r, k * r - 1, 0};
    }
  }
  return {1, 0, 0, 1, 0, 0};
}

}  // namespace

std::optional<RewFilterFile> ParseRewFilters(std::string_view text, RewFilterError* error) {
  RewFilterFile file;
  bool anyFilterLine = false;
  int lineNo = 0;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    ++lineNo;
    const auto w = Words(line);
    if (w.size() >= 2 && Lower(w[0]) == "preamp:") {
      if (auto v = CommaNumber(w[1])) file.preampDb = *v;
      continue;
    }
    const auto start = FilterLineStart(w);
    if (!start) continue;
    anyFilterLine = true;
    std::size_t k = *start;
    if (k >= w.size()) continue;
    if (Lower(w[k]) == "off") continue;
    if (Lower(w[k]) == "on") ++k;
    // The type runs up to "Fc" ("LS 6dB" is two words).
    // The type is one word, or two for the fixed shelves ("LS 6dB").
    std::string type = k < w.size() ? w[k++] : std::string();
    if (k < w.size() && std::isdigit(static_cast<unsigned char>(w[k].front())) && Lower(w[k]).ends_with("db")) {
      type += ' ';
      type += w[k++];
    }
    const std::string t = Lower(type);
    if (t.empty() || t == "none") continue;
    RewFilter f;
    f.line = lineNo;
    bool needsQ = false;
    bool corner = false;
    if (t == "pk" || t == "peq") {
      f.kind = RewFilter::Kind::Peaking;
      needsQ = true;
    } else if (t == "ls" || t == "lsc" || t == "ls 12db" || t == "lsq") {
      f.kind = RewFilter::Kind::LowShelf;
      corner = t == "lsc";
    } else if (t == "hs" || t == "hsc" || t == "hs 12db" || t == "hsq") {
      f.kind = RewFilter::Kind::HighShelf;
      corner = t == "hsc";
    } else if (t == "ls 6db") {
      f.kind = RewFilter::Kind::LowShelf1;
    } else if (t == "hs 6db") {
      f.kind = RewFilter::Kind::HighShelf1;
    } else {
      return Fail(error, RewFilterError::Kind::UnknownType, lineNo, type), std::nullopt;
    }
    // Values follow their names: "Fc 63.0 Hz", "Gain -5.0 dB", "Q 4.000".
    std::optional<double> fc, gain, q;
    for (std::size_t j = k; j + 1 < w.size(); ++j) {
      const std::string name = Lower(w[j]);
      std::optional<double>* slot = name == "fc" ? &fc : name == "gain" ? &gain : name == "q" ? &q : nullptr;
      if (!slot) continue;
      *slot = CommaNumber(w[j + 1]);
      if (!*slot) return Fail(error, RewFilterError::Kind::BadValue, lineNo, w[j + 1]), std::nullopt;
      ++j;
    }
    if (!fc) return Fail(error, RewFilterError::Kind::MissingValue, lineNo, "Fc"), std::nullopt;
    if (!gain) return Fail(error, RewFilterError::Kind::MissingValue, lineNo, "Gain"), std::nullopt;
    if (needsQ && !q) return Fail(error, RewFilterError::Kind::MissingValue, lineNo, "Q"), std::nullopt;
    if (*fc <= 0 || *fc >= kFilterSampleRate / 2)
      return Fail(error, RewFilterError::Kind::BadValue, lineNo, "Fc"), std::nullopt;
    if (q && (*q < kMinQ || *q > kMaxQ)) return Fail(error, RewFilterError::Kind::BadValue, lineNo, "Q"), std::nullopt;
    if (std::abs(*gain) > kMaxGainDb) return Fail(error, RewFilterError::Kind::BadValue, lineNo, "Gain"), std::nullopt;
    f.hz = *fc;
    f.gainDb = *gain;
    if (q && t != "ls 12db" && t != "hs 12db") f.q = *q;
    if (corner && f.gainDb != 0) {
      // The cookbook's frequency is the midpoint of the transition; the shelf's own end of it lies
      // 10^(|gain|/80) away (the pole or zero on the shelf side).
      const double toMid = std::pow(10.0, std::abs(f.gainDb) / 80.0);
      f.hz = f.kind == RewFilter::Kind::LowShelf ? f.hz * toMid : f.hz / toMid;
    }
    file.filters.push_back(f);
  }
  if (!anyFilterLine) return Fail(error, RewFilterError::Kind::NoFilters, 0), std::nullopt;
  return file;
}

std::optional<RewFilterFile> ReadRewFilterFile(const std::string& path, RewFilterError* error) {
  const FileBytes file = ReadWholeFile(path, kMaxFilterFileBytes);
  if (!file.ok()) return Fail(error, RewFilterError::Kind::CannotOpen, 0), std::nullopt;
  return ParseRewFilters(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()), error);
}

std::array<double, kGridPoints> CookbookResponse(const RewFilter& filter) {
  return CookbookResponse(std::span<const RewFilter>(&filter, 1));
}

std::array<double, kGridPoints> CookbookResponse(std::span<const RewFilter> filters) {
  std::array<double, kGridPoints> power;
  power.fill(1.0);
  std::array<double, kGridPoints> db{};
  for (std::size_t n = 0; n < filters.size(); ++n) {
    MultiplyResponse(Design(filters[n]), power);
    // Fold into dB now and then so a long list of deep filters never leaves the range of a double.
    if (n % 8 == 7 || n + 1 == filters.size()) {
      for (int i = 0; i < kGridPoints; ++i) db[i] += kDbPerPowerDecade * std::log10(power[i]);
      power.fill(1.0);
    }
  }
  return db;
}

RewFilter CookbookEquivalent(int hz, double gainDb, int bandwidthIndex) {
  RewFilter f;
  f.kind = RewFilter::Kind::Peaking;
  f.hz = FrequencyGrid()[NearestGridIndex(hz)];
  f.gainDb = gainDb;
  // The processor: alpha = sin w0 sinh(ln2 * bw * w0 / sin w0); the cookbook: alpha = sin w0 / (2Q).
  const double w0 = kProcessorAnglePerHz * f.hz;
  const double bw = BandwidthOctavesForSetting(bandwidthIndex);
  f.q = 1.0 / (2.0 * std::sinh(kLn2 * bw * w0 / std::sin(w0)));
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
