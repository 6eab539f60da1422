#include "measure/measurement.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/text.h"
#include "core/file_io.h"

namespace zelto::measure {

namespace {

// A line starting with `"` may be a comment (FRD) or quoted data (CSV): its fields decide.
constexpr std::string_view kCommentStarts = "*#;";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

using text::Trim;

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

std::string TextOfFile(std::span<const std::uint8_t> bytes) {
  const auto starts = [&](std::initializer_list<std::uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
  };
  if (starts({0xEF, 0xBB, 0xBF})) return std::string(bytes.begin() + 3, bytes.end());
  const bool le = starts({0xFF, 0xFE});
  if (!le && !starts({0xFE, 0xFF})) return std::string(bytes.begin(), bytes.end());
  std::string out;
  out.reserve(bytes.size() / 2);
  const auto unit = [&](std::size_t at) -> std::uint32_t {
    return le ? bytes[at] | (bytes[at + 1] << 8) : (bytes[at] << 8) | bytes[at + 1];
  };
  for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
    std::uint32_t c = unit(at);
    if (c >= 0xD800 && c < 0xDC00 && at + 3 < bytes.size()) {
      const std::uint32_t low = unit(at + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        at += 2;
      }
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<Measurement> ParseMeasurement(std::string_view text, ReadError* error, ReadNotes* notes) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  Measurement m;
  ReadNotes passed;
  // The first line after the data that is not data: a footer, unless data follows it.
  int endedAt = 0;
  std::string endedBy;
  int lineNo = 0;
  while (!text.empty()) {
    const auto nl = text.find_first_of("\r\n");
    const std::string_view raw = text.substr(0, nl);
    if (nl == std::string_view::npos) {
      text = {};
    } else {
      text = text.substr(nl + (text.substr(nl, 2) == "\r\n" ? 2 : 1));
    }
    ++lineNo;
    const std::string_view line = Trim(raw);
    if (line.empty() || kCommentStarts.find(line.front()) != std::string_view::npos) continue;
    std::string unquoted(line);
    unquoted.erase(std::remove(unquoted.begin(), unquoted.end(), '"'), unquoted.end());
    const auto fields = Fields(unquoted);
    // A row of separators only (",,," at the end of a spreadsheet export) holds nothing.
    if (fields.empty()) continue;
    const auto hz = Number(fields.front());
    if (!hz) {
      // Titles and column headers before the data, a footer after it.
      if (!m.hz.empty() && endedAt == 0) {
        endedAt = lineNo;
        endedBy = fields.front();
      }
      continue;
    }
    if (endedAt != 0) return Fail(error, ReadError::Kind::HeaderNotFirst, endedAt, endedBy), std::nullopt;
    if (fields.size() < 2) return Fail(error, ReadError::Kind::TooFewValues, lineNo, std::string(line)), std::nullopt;
    const auto db = Number(fields[1]);
    if (!db) {
      const bool infinite = [&] {
        double v = 0;
        const auto r = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), v);
        return r.ec == std::errc() && !std::isfinite(v);
      }();
      return Fail(error, infinite ? ReadError::Kind::BadLevel : ReadError::Kind::NotNumber, lineNo, fields[1]),
             std::nullopt;
    }
    if (*db < kMinLevelDb || *db > kMaxLevelDb)
      return Fail(error, ReadError::Kind::BadLevel, lineNo, fields[1]), std::nullopt;
    if (*hz <= 0) {
      if (!m.hz.empty()) return Fail(error, ReadError::Kind::FrequencyNotRising, lineNo, fields.front()), std::nullopt;
      if (passed.droppedAtOrBelowZero++ == 0) passed.firstDroppedLine = lineNo;
      continue;
    }
    if (!m.hz.empty() && *hz <= m.hz.back())
      return Fail(error, ReadError::Kind::FrequencyNotRising, lineNo, fields.front()), std::nullopt;
    m.hz.push_back(*hz);
    m.db.push_back(*db);
  }
  if (m.size() < kMinPoints)
    return Fail(error, ReadError::Kind::TooFewPoints, 0, std::to_string(m.size())), std::nullopt;
  if (notes) *notes = passed;
  return m;
}

std::optional<Measurement> ReadMeasurementFile(const std::string& path, ReadError* error, ReadNotes* notes) {
  const FileBytes file = ReadWholeFile(path, kMaxFileBytes);
  if (!file.ok()) {
    Fail(error, file.status == FileBytes::Status::TooLarge ? ReadError::Kind::TooLarge : ReadError::Kind::CannotOpen,
         0);
    return std::nullopt;
  }
  const std::string text = TextOfFile(file.bytes);
  // A binary file (a measurement program's own format) is refused at the line of its first zero
  // byte, which no text has.
  if (const auto zero = text.find('\0'); zero != std::string::npos) {
    const int line =
        1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(zero), '\n'));
    Fail(error, ReadError::Kind::NotNumber, line, "\\0");
    return std::nullopt;
  }
  auto m = ParseMeasurement(text, error, notes);
  if (!m) return std::nullopt;
  return Resampled(*m);
}

Measurement Resampled(const Measurement& m, int pointsPerOctave) {
  if (m.size() < 2 || pointsPerOctave <= 0) return m;
  std::vector<double> x(m.size());
  for (std::size_t k = 0; k < m.size(); ++k) x[k] = std::log2(m.hz[k]);
  const LineIntegral integral(x, m.db);
  const double step = 1.0 / pointsPerOctave;
  const double first = x.front(), last = x.back();
  const auto count = static_cast<std::size_t>(std::floor((last - first) / step + 1e-9)) + 1;
  Measurement out;
  out.hz.reserve(count + 1);
  out.db.reserve(count + 1);
  auto add = [&](double at) {
    const double a = std::max(at - step / 2, first), b = std::min(at + step / 2, last);
    out.hz.push_back(std::exp2(at));
    out.db.push_back(b > a ? (integral.Upto(b) - integral.Upto(a)) / (b - a) : m.db.front());
  };
  for (std::size_t k = 0; k < count; ++k) add(first + static_cast<double>(k) * step);
  // The last measured frequency stays the end, so the range the measurement covers is kept.
  if (last - (first + static_cast<double>(count - 1) * step) > step * 1e-6) add(last);
  out.hz.front() = m.hz.front();
  out.hz.back() = m.hz.back();
  return out;
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
