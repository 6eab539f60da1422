#include "measure/measurement.h"
#include "measure/rew_filters.h"

namespace zelto::measure {

namespace {

std::string Where(const std::string& path, int line, Language lang) {
  if (line <= 0) return path + ": ";
  return lang == Language::Chinese ? path + " 第" + std::to_string(line) + "行："
                                   : path + ", line " + std::to_string(line) + ": ";
}

std::string Quoted(const std::string& text, Language lang) {
  return lang == Language::Chinese ? "“" + text + "”" : "\"" + text + "\"";
}

}  // namespace

std::string ReadErrorText(const ReadError& e, const std::string& path, Language lang) {
  const bool zh = lang == Language::Chinese;
  const std::string at = Where(path, e.line, lang);
  using K = ReadError::Kind;
  switch (e.kind) {
    case K::CannotOpen: return at + (zh ? "无法读取测量文件" : "cannot read the measurement file");
    case K::TooLarge: return at + (zh ? "文件太大，不是测量文件" : "the file is too large for a measurement");
    case K::NotNumber:
      return at + (zh ? Quoted(e.text, lang) + "不是数字（测量文件应为每行“频率 声压级 [相位]”）"
                      : Quoted(e.text, lang) + " is not a number (a measurement has lines \"frequency SPL [phase]\")");
    case K::TooFewValues: return at + (zh ? "一行需要频率和声压级两个数值" : "a line needs a frequency and a level");
    case K::FrequencyNotPositive: return at + (zh ? "频率必须大于 0" : "the frequency must be above 0");
    case K::FrequencyNotRising: return at + (zh ? "频率必须逐行上升" : "the frequencies must rise from line to line");
    case K::BadLevel:
      return at + (zh ? "声压级 " + Quoted(e.text, lang) + " 不是有效数值"
                      : "the level " + Quoted(e.text, lang) + " is not a valid level");
    case K::TooFewPoints:
      return at + (zh ? "测量至少需要 3 个点，只有 " + e.text + " 个"
                      : "a measurement needs at least 3 points, this one has " + e.text);
    case K::HeaderNotFirst: return at + (zh ? "标题行只能在数据之前" : "a header row may only come before the data");
  }
  return at;
}

std::string RewFilterErrorText(const RewFilterError& e, const std::string& path, Language lang) {
  const bool zh = lang == Language::Chinese;
  const std::string at = Where(path, e.line, lang);
  using K = RewFilterError::Kind;
  switch (e.kind) {
    case K::CannotOpen: return at + (zh ? "无法读取滤波器文件" : "cannot read the filter file");
    case K::NoFilters:
      return at + (zh ? "不是 REW 滤波器文件（没有“Filter N:”行）" : "not a REW filter file (no \"Filter N:\" lines)");
    case K::UnknownType:
      return at + (zh ? "不支持的滤波器类型 " + Quoted(e.text, lang) +
                            "（支持 PK、PEQ、LS、HS、LSC、HSC、LS 6dB、LS 12dB、HS 6dB、HS 12dB）"
                      : "filter type " + Quoted(e.text, lang) +
                            " cannot be imported (PK, PEQ, LS, HS, LSC, HSC, LS 6dB, LS 12dB, HS 6dB and HS 12dB can)");
    case K::MissingValue: return at + (zh ? "缺少 " + e.text + " 的数值" : "the value of " + e.text + " is missing");
    case K::BadValue:
      return at + (zh ? Quoted(e.text, lang) + " 不是有效数值" : Quoted(e.text, lang) + " is not a valid value");
  }
  return at;
}

}  // namespace zelto::measure
