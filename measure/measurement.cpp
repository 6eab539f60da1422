#include "measure/measurement.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "measure/measurement.h"
#include "measure/rew_filters.h"
#include "presets/file_io.h"

namespace zelto::measure {

namespace {

constexpr std::string_view kCommentStarts = "*#;";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// No sound level lies beyond this; larger values are not a measurement (and would overflow sums).
constexpr double kMaxLevelDb = 1000.0;

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n\f\v");
  return s.substr(first, last - first + 1);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::vector<std::string> SplitOn(std::string_view line, std::string_view separators) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (IsSpace(c) || separators.find(c) != std::string_view::npos) {
      if (!cur.empty()) out.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(std::move(cur));
  return out;
}

/// The fields of a data line. A semicolon separates fields and leaves the comma to decimals; a line
/// whose space-separated fields each hold at most one inner comma ("20,5 85,3") uses decimal commas;
/// otherwise the comma separates fields.
std::vector<std::string> Fields(std::string_view line) {
  bool decimalComma = false;
  std::vector<std::string> fields;
  if (line.find(';') != std::string_view::npos) {
    fields = SplitOn(line, ";");
    decimalComma = true;
  } else if (line.find(',') != std::string_view::npos) {
    fields = SplitOn(line, "");
    decimalComma = fields.size() >= 2 && std::all_of(fields.begin(), fields.end(), [](const std::string& f) {
                     return std::count(f.begin(), f.end(), ',') <= 1 && f.front() != ',' && f.back() != ',';
                   });
    if (!decimalComma) fields = SplitOn(line, ",");
  } else {
    fields = SplitOn(line, "");
  }
  if (decimalComma)
    for (auto& f : fields) std::replace(f.begin(), f.end(), ',', '.');
  return fields;
}

bool Fail(ReadError* error, ReadError::Kind kind, int line, std::string text = {}) {
  if (error) *error = ReadError{kind, line, std::move(text)};
  return false;
}

/// Mean level of the straight-line curve through (x, y) over [a, b] (a < b, both inside x).
class LineIntegral {
 public:
  LineIntegral(const std::vector<double>& x, const std::vector<double>& y) : x_(x), y_(y), prefix_(x.size(), 0.0) {
    for (std::size_t k = 1; k < x.size(); ++k) prefix_[k] = prefix_[k - 1] + (x[k] - x[k - 1]) * (y[k] + y[k - 1]) / 2;
  }
  double Upto(double at) const {
    const auto it = std::upper_bound(x_.begin(), x_.end(), at);
    std::size_t k = static_cast<std::size_t>(it - x_.begin());
    if (k == 0) return 0.0;
    --k;
    if (k + 1 >= x_.size()) return prefix_.back();
    const double t = (at - x_[k]) / (x_[k + 1] - x_[k]);
    const double yAt = y_[k] + t * (y_[k + 1] - y_[k]);
    return prefix_[k] + (at - x_[k]) * (y_[k] + yAt) / 2;
  }

 private:
  const std::vector<double>& x_;
  const std::vector<double>& y_;
  std::vector<double> prefix_;
};

}  // namespace

std::optional<double> Number(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

GridCurve GridCurve::Full(const std::array<double, kGridPoints>& db) {
  GridCurve c;
  c.db = db;
  c.has.fill(true);
  return c;
}

std::optional<Measurement> ParseMeasurement(std::string_view text, ReadError* error) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  Measurement m;
  bool headerSeen = false;
  int lineNo = 0;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    const std::string_view raw = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    ++lineNo;
    const std::string_view line = Trim(raw);
    if (line.empty() || kCommentStarts.find(line.front()) != std::string_view::npos) continue;
    const auto fields = Fields(line);
    // A row of separators only (",,," at the end of a spreadsheet export) holds nothing.
    if (fields.empty()) continue;
    const auto hz = Number(fields.front());
    if (!hz) {
      // One header row ("Frequency,SPL,Phase") may name the columns before the data.
      if (m.hz.empty() && !headerSeen) {
        headerSeen = true;
        continue;
      }
      if (!m.hz.empty() && std::all_of(fields.front().begin(), fields.front().end(),
                                       [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }))
        return Fail(error, ReadError::Kind::HeaderNotFirst, lineNo, fields.front()), std::nullopt;
      return Fail(error, ReadError::Kind::NotNumber, lineNo, fields.front()), std::nullopt;
    }
    if (fields.size() < 2) return Fail(error, ReadError::Kind::TooFewValues, lineNo, std::string(line)), std::nullopt;
    const auto db = Number(fields[1]);
    if (db && std::abs(*db) > kMaxLevelDb)
      return Fail(error, ReadError::Kind::BadLevel, lineNo, fields[1]), std::nullopt;
    if (!db) {
      const bool infinite = [&] {
        double v = 0;
        const auto r = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), v);
        return r.ec == std::errc() && !std::isfinite(v);
      }();
      return Fail(error, infinite ? ReadError::Kind::BadLevel : ReadError::Kind::NotNumber, lineNo, fields[1]),
             std::nullopt;
    }
    if (*hz <= 0) return Fail(error, ReadError::Kind::FrequencyNotPositive, lineNo, fields.front()), std::nullopt;
    if (!m.hz.empty() && *hz <= m.hz.back())
      return Fail(error, ReadError::Kind::FrequencyNotRising, lineNo, fields.front()), std::nullopt;
    m.hz.push_back(*hz);
    m.db.push_back(*db);
  }
  if (m.size() < kMinPoints)
    return Fail(error, ReadError::Kind::TooFewPoints, 0, std::to_string(m.size())), std::nullopt;
  return m;
}

std::optional<Measurement> ReadMeasurementFile(const std::string& path, ReadError* error) {
  const FileBytes file = ReadWholeFile(path, kMaxFileBytes);
  if (!file.ok()) {
    Fail(error, file.status == FileBytes::Status::TooLarge ? ReadError::Kind::TooLarge : ReadError::Kind::CannotOpen,
         0);
    return std::nullopt;
  }
  const std::string_view text(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size());
  // A binary file (a measurement program's own format) is refused at the line of its first zero
  // byte, which no text has.
  if (const auto zero = text.find('\0'); zero != std::string_view::npos) {
    const int line =
        1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(zero), '\n'));
    Fail(error, ReadError::Kind::NotNumber, line, "\\0");
    return std::nullopt;
  }
  return ParseMeasurement(text, error);
}

Measurement Smooth(const Measurement& m, int fraction) {
  fraction = std::clamp(fraction, kMinSmoothingFraction, kMaxSmoothingFraction);
  std::vector<double> x(m.size());
  for (std::size_t k = 0; k < m.size(); ++k) x[k] = std::log2(m.hz[k]);
  const LineIntegral integral(x, m.db);
  const double half = 0.5 / fraction;
  Measurement out = m;
  for (std::size_t k = 0; k < m.size(); ++k) {
    const double a = std::max(x[k] - half, x.front());
    const double b = std::min(x[k] + half, x.back());
    if (b > a) out.db[k] = (integral.Upto(b) - integral.Upto(a)) / (b - a);
  }
  return out;
}

GridCurve OnGrid(const Measurement& m) {
  GridCurve c;
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = grid[i];
    if (m.size() == 0 || f < m.hz.front() || f > m.hz.back()) continue;
    auto it = std::lower_bound(m.hz.begin(), m.hz.end(), f);
    std::size_t k = static_cast<std::size_t>(it - m.hz.begin());
    if (k == 0) {
      c.db[i] = m.db.front();
    } else {
      const double t = std::log(f / m.hz[k - 1]) / std::log(m.hz[k] / m.hz[k - 1]);
      c.db[i] = m.db[k - 1] + t * (m.db[k] - m.db[k - 1]);
    }
    c.has[i] = true;
  }
  return c;
}

Target FlatTarget() { return Target{}; }

Target CarTarget() {
  constexpr double kBassDb = 7.0, kBassHz = 60.0, kBassEndHz = 250.0;
  constexpr double kTrebleStartHz = 1000.0, kTrebleEndHz = 20000.0, kTrebleDb = -4.0;
  Target t{};
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = grid[i];
    if (f <= kBassHz)
      t[i] = kBassDb;
    else if (f < kBassEndHz)
      t[i] = kBassDb * (1.0 - std::log(f / kBassHz) / std::log(kBassEndHz / kBassHz));
    else if (f <= kTrebleStartHz)
      t[i] = 0.0;
    else
      t[i] = kTrebleDb * std::log(f / kTrebleStartHz) / std::log(kTrebleEndHz / kTrebleStartHz);
  }
  return t;
}

Target TargetFromMeasurement(const Measurement& m) {
  const GridCurve c = OnGrid(m);
  Target t{};
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i)
    t[i] = c.has[i] ? c.db[i] : (grid[i] < m.hz.front() ? m.db.front() : m.db.back());
  return t;
}

std::optional<Target> TargetByName(const std::string& nameOrPath, Language lang, std::string* error) {
  if (nameOrPath == "flat") return FlatTarget();
  if (nameOrPath == "car") return CarTarget();
  ReadError e;
  const auto m = ReadMeasurementFile(nameOrPath, &e);
  if (!m) {
    if (error) *error = ReadErrorText(e, nameOrPath, lang);
    return std::nullopt;
  }
  return TargetFromMeasurement(*m);
}

GridRange RangeOf(double loHz, double hiHz) {
  const auto& grid = FrequencyGrid();
  GridRange r{kGridPoints, -1};
  for (int i = 0; i < kGridPoints; ++i) {
    if (grid[i] < loHz || grid[i] > hiHz) continue;
    r.first = std::min(r.first, i);
    r.last = std::max(r.last, i);
  }
  return r;
}

Deviation Compare(const GridCurve& curve, const Target& reference, GridRange range, bool levelMatch) {
  Deviation d;
  double sum = 0;
  for (int i = range.first; i <= range.last; ++i) {
    if (!curve.has[i]) continue;
    sum += curve.db[i] - reference[i];
    ++d.points;
  }
  if (d.points == 0) return d;
  d.offset = levelMatch ? sum / d.points : 0.0;
  double sq = 0;
  const auto& grid = FrequencyGrid();
  for (int i = range.first; i <= range.last; ++i) {
    if (!curve.has[i]) continue;
    const double e = curve.db[i] - reference[i] - d.offset;
    sq += e * e;
    if (std::abs(e) > d.max) {
      d.max = std::abs(e);
      d.maxHz = grid[i];
    }
  }
  d.rms = std::sqrt(sq / d.points);
  return d;
}

}  // namespace zelto::measure
