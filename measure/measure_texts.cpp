#include <cstdio>

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
      return at + (zh ? "声压级 " + Quoted(e.text, lang) + " 不是有效数值（应在 -50 到 200 dB SPL 之间）"
                      : "the level " + Quoted(e.text, lang) + " is not a valid level (-50 to 200 dB SPL)");
    case K::TooFewPoints:
      return at + (zh ? "测量至少需要 3 个点，只有 " + e.text + " 个"
                      : "a measurement needs at least 3 points, this one has " + e.text);
    case K::HeaderNotFirst:
      return at + (zh ? Quoted(e.text, lang) + " 打断了数据（其后又有数据行）"
                      : Quoted(e.text, lang) + " interrupts the data (more data follows it)");
  }
  return at;
}

std::string ReadNotesText(const ReadNotes& notes, const std::string& path, Language lang) {
  if (notes.droppedAtOrBelowZero == 0) return {};
  const std::string n = std::to_string(notes.droppedAtOrBelowZero);
  return Where(path, notes.firstDroppedLine, lang) +
         (lang == Language::Chinese ? "略过 " + n + " 个 0 Hz 及以下的点" : n + " point(s) at or below 0 Hz left out");
}

std::string RewFilterErrorText(const RewFilterError& e, const std::string& path, Language lang) {
  const bool zh = lang == Language::Chinese;
  const std::string at = Where(path, e.line, lang);
  using K = RewFilterError::Kind;
  switch (e.kind) {
    case K::CannotOpen: return at + (zh ? "无法读取滤波器文件" : "cannot read the filter file");
    case K::NoFilters:
      return at + (zh ? "不是 REW 滤波器文件（没有“Filter N:”行）" : "not a REW filter file (no \"Filter N:\" lines)");
    case K::NothingToImport:
      return at + (zh ? "文件中没有频段能重现的滤波器（支持 PK、PEQ、Modal 和各种搁架滤波器）"
                      : "no filter of the file is one the bands can shape (PK, PEQ, Modal and the shelves can be)");
    case K::MissingValue: return at + (zh ? "缺少 " + e.text + " 的数值" : "the value of " + e.text + " is missing");
    case K::BadValue:
      return at + (zh ? Quoted(e.text, lang) + " 不是有效数值" : Quoted(e.text, lang) + " is not a valid value");
    case K::AmbiguousNumber:
      return at + (zh ? Quoted(e.text, lang) + " 既可读作小数也可读作千位分组，无法确定"
                      : Quoted(e.text, lang) +
                            " reads as a decimal and as grouped thousands alike; write it without the "
                            "grouping mark");
  }
  return at;
}

std::string RewNoteText(const RewNote& n, Language lang) {
  const bool zh = lang == Language::Chinese;
  const std::string at = n.line > 0
                             ? (zh ? "第" + std::to_string(n.line) + "行：" : "line " + std::to_string(n.line) + ": ")
                             : std::string();
  const auto number = [](double v, const char* format) {
    char s[32];
    std::snprintf(s, sizeof s, format, v);
    return std::string(s);
  };
  using K = RewNote::Kind;
  switch (n.kind) {
    case K::SkippedType:
      return at + (zh ? "略过 " + Quoted(n.text, lang) + " 滤波器（通道有自己的分频器，频段无法重现此类型）"
                      : "the " + Quoted(n.text, lang) +
                            " filter is left out (the bands cannot shape it; the channel has its own crossovers)");
    case K::QBeyondBand:
      return at + (zh ? "Q " + number(n.value, "%.2f") + " 比处理器最窄的频段还窄，只能近似重现"
                      : "Q " + number(n.value, "%.2f") +
                            " is narrower than the processor's narrowest band; it is only "
                            "approximated");
    case K::OutsideRange:
      return at + (zh ? number(n.value, "%g") + " Hz 在 20 Hz–20 kHz 之外，频段只能重现其在范围内的部分"
                      : number(n.value, "%g") + " Hz lies outside 20 Hz-20 kHz; only its effect inside is reproduced");
    case K::TooManyFilters:
      return zh ? "文件有 " + number(n.value, "%.0f") + " 个滤波器，多于通道的 31 个频段"
                : "the file has " + number(n.value, "%.0f") + " filters, more than the channel's 31 bands";
    case K::Preamp:
      return zh ? "文件的前级增益 " + number(n.value, "%.1f") + " dB 未计入频段（请用通道增益设置）"
                : "the file's preamp of " + number(n.value, "%.1f") +
                      " dB is not part of the bands (set it with the "
                      "channel gain)";
  }
  return at;
}

}  // namespace zelto::measure
