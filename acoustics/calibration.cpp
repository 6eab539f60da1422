#include "acoustics/calibration.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/text.h"
#include "measure/measurement.h"
#include "core/file_io.h"

namespace zelto::acoustics {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

using text::Trim;

using text::Lower;

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  auto sep = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == ';'; };
  while (i < line.size()) {
    while (i < line.size() && sep(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !sep(line[i])) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// `"Sens Factor =-1.23dB, AGain =18dB, SERNO: 1234567"`: the number after "sens factor" and '=',
// and the word after "serno:".
void ReadSensitivityLine(std::string_view line, MicCalibration& cal) {
  const std::string lower = Lower(line);
  if (const auto at = lower.find("sens factor"); at != std::string::npos) {
    auto eq = lower.find('=', at);
    if (eq != std::string::npos) {
      std::size_t b = eq + 1;
      while (b < lower.size() && lower[b] == ' ') ++b;
      std::size_t e = b;
      while (e < lower.size() && (std::isdigit(static_cast<unsigned char>(lower[e])) || lower[e] == '.' ||
                                  lower[e] == '-' || lower[e] == '+'))
        ++e;
      if (const auto v = measure::Number(line.substr(b, e - b)); v && std::abs(*v) <= kMaxCalibrationDb)
        cal.sensFactorDb = *v;
    }
  }
  if (const auto at = lower.find("serno:"); at != std::string::npos) {
    std::size_t b = at + 6;
    while (b < line.size() && line[b] == ' ') ++b;
    std::size_t e = b;
    while (e < line.size() && std::isalnum(static_cast<unsigned char>(line[e]))) ++e;
    cal.serial = std::string(line.substr(b, e - b));
  }
}

std::string Text(Language lang, const std::string& en, const std::string& zh) {
  return lang == Language::Chinese ? zh : en;
}

}  // namespace

double MicCalibration::DbAt(double f) const {
  if (hz.empty()) return 0;
  if (!(f > hz.front())) return db.front();
  if (f >= hz.back()) return db.back();
  const auto it = std::upper_bound(hz.begin(), hz.end(), f);
  const auto i = static_cast<std::size_t>(it - hz.begin());
  const double x = std::log(f / hz[i - 1]) / std::log(hz[i] / hz[i - 1]);
  return db[i - 1] + x * (db[i] - db[i - 1]);
}

std::variant<MicCalibration, CalibrationError> ParseCalibration(std::string_view text) {
  using K = CalibrationError::Kind;
  if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
  MicCalibration cal;
  int lineNo = 0;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    const std::string_view line = Trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    ++lineNo;
    if (line.empty()) continue;
    const bool data = !cal.hz.empty();
    if (!data) ReadSensitivityLine(line, cal);
    if (line.front() == '*' || line.front() == '#' || line.front() == ';' || line.front() == '"' ||
        line.front() == '\'')
      continue;
    const auto fields = Fields(line);
    const auto f = fields.empty() ? std::nullopt : measure::Number(fields[0]);
    if (!f) {
      // Words before the first point are a header ("Freq(Hz) dB", "Sens Factor =…" unquoted).
      if (!data) continue;
      return CalibrationError{K::NotNumber, lineNo, std::string(fields.empty() ? line : fields[0])};
    }
    if (fields.size() < 2) return CalibrationError{K::TooFewValues, lineNo, {}};
    const auto d = measure::Number(fields[1]);
    if (!d) return CalibrationError{K::NotNumber, lineNo, std::string(fields[1])};
    if (!(*f > 0)) return CalibrationError{K::BadFrequency, lineNo, std::string(fields[0])};
    if (data && !(*f > cal.hz.back())) return CalibrationError{K::FrequencyNotRising, lineNo, std::string(fields[0])};
    if (!(std::abs(*d) <= kMaxCalibrationDb)) return CalibrationError{K::BadLevel, lineNo, std::string(fields[1])};
    cal.hz.push_back(*f);
    cal.db.push_back(*d);
  }
  if (cal.hz.size() < 2) return CalibrationError{K::TooFewPoints, 0, std::to_string(cal.hz.size())};
  return cal;
}

std::variant<MicCalibration, CalibrationError> ReadCalibrationFile(const std::string& path) {
  const FileBytes file = ReadWholeFile(path, kMaxCalibrationBytes);
  if (file.status == FileBytes::Status::TooLarge) return CalibrationError{CalibrationError::Kind::TooLarge, 0, {}};
  if (!file.ok()) return CalibrationError{CalibrationError::Kind::CannotOpen, 0, {}};
  return ParseCalibration(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
}

std::string CalibrationErrorText(const CalibrationError& e, const std::string& path, Language lang) {
  const bool zh = lang == Language::Chinese;
  std::string at = path + ": ";
  if (e.line > 0)
    at = zh ? path + " 第" + std::to_string(e.line) + "行：" : path + ", line " + std::to_string(e.line) + ": ";
  const std::string q = zh ? "“" + e.text + "”" : "\"" + e.text + "\"";
  using K = CalibrationError::Kind;
  switch (e.kind) {
    case K::CannotOpen: return at + Text(lang, "cannot read the calibration file", "无法读取校准文件");
    case K::TooLarge: return at + Text(lang, "the file is too large for a calibration file", "文件太大，不是校准文件");
    case K::NotNumber:
      return at + Text(lang, q + " is not a number (a calibration file has lines \"frequency dB\")",
                       q + "不是数字（校准文件应为每行“频率 dB”）");
    case K::TooFewValues: return at + Text(lang, "a line needs a frequency and a level", "一行需要频率和电平两个数值");
    case K::FrequencyNotRising:
      return at + Text(lang, "the frequencies must rise from line to line", "频率必须逐行上升");
    case K::BadFrequency: return at + Text(lang, "the frequency " + q + " must be above 0", "频率" + q + "必须大于 0");
    case K::BadLevel:
      return at + Text(lang, "the correction " + q + " is beyond ±60 dB, not a microphone calibration",
                       "校正值" + q + "超出 ±60 dB，不是麦克风校准");
    case K::TooFewPoints:
      return at + Text(lang, "a calibration needs at least 2 points, this one has " + e.text,
                       "校准至少需要 2 个点，只有 " + e.text + " 个");
  }
  return at;
}

}  // namespace zelto::acoustics
