#include "edit/history.h"

#include <algorithm>
#include <cassert>

namespace zelto {

namespace {

struct LabelWords {
  const char* en;
  const char* zh;
};

LabelWords WordsOf(StepLabel::What what) {
  using W = StepLabel::What;
  switch (what) {
    case W::BandGain: return {"gain", "增益"};
    case W::BandFrequency: return {"frequency", "频率"};
    case W::BandWidth: return {"width", "带宽"};
    case W::BandSwitch: return {"on/off", "开关"};
    case W::Band: return {"", ""};
    case W::EqBypass: return {"EQ bypass", "EQ 直通"};
    case W::EqMode: return {"EQ mode", "EQ 模式"};
    case W::EqReset: return {"EQ reset", "EQ 复位"};
    case W::HighPass: return {"high-pass", "高通"};
    case W::LowPass: return {"low-pass", "低通"};
    case W::Gain: return {"gain", "增益"};
    case W::Mute: return {"mute", "静音"};
    case W::Phase: return {"phase", "相位"};
    case W::Delay: return {"delay", "延时"};
    case W::Limiter: return {"limiter", "限幅器"};
    case W::Name: return {"name", "名称"};
    case W::Mix: return {"mix", "混音"};
    case W::Link: return {"link", "联调"};
    case W::FileLoad: return {"file load", "载入文件"};
    case W::Edits: return {"edits", "编辑"};
    case W::None: break;
  }
  return {"", ""};
}

}  // namespace

std::string StepText(const StepLabel& label, Language lang) {
  const bool en = lang == Language::English;
  std::string text;
  const auto add = [&](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty()) text += ' ';
    text += part;
  };
  if (label.channel >= 0) add("CH" + std::to_string(label.channel + 1));
  if (label.band >= 0)
    add(en ? "band " + std::to_string(label.band + 1) : "第" + std::to_string(label.band + 1) + "段");
  const LabelWords w = WordsOf(label.what);
  add(en ? w.en : w.zh);
  return text;
}

std::vector<ByteRange> DiffRanges(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after) {
  assert(before.size() == after.size());
  std::vector<ByteRange> ranges;
  const std::size_t n = std::min(before.size(), after.size());
  for (std::size_t i = 0; i < n;) {
    if (before[i] == after[i]) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < n && before[end] != after[end]) ++end;
    ranges.push_back({static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(end - i)});
    i = end;
  }
  return ranges;
}

void History::Step::Apply(std::span<std::uint8_t> image, bool undo) const {
  const std::vector<std::uint8_t>& bytes = undo ? before : after;
  std::size_t at = 0;
  for (const ByteRange& r : ranges) {
    if (r.offset + r.length > image.size()) break;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), r.length, image.begin() + r.offset);
    at += r.length;
  }
}

bool History::Record(const StepLabel& label, bool wholeBlocks, std::span<const std::uint8_t> before,
                     std::span<const std::uint8_t> after) {
  if (before.size() != after.size()) return false;
  Step step;
  step.ranges = DiffRanges(before, after);
  if (step.ranges.empty()) return false;
  step.label = label;
  step.wholeBlocks = wholeBlocks;
  for (const ByteRange& r : step.ranges) {
    step.before.insert(step.before.end(), before.begin() + r.offset, before.begin() + r.offset + r.length);
    step.after.insert(step.after.end(), after.begin() + r.offset, after.begin() + r.offset + r.length);
  }
  step.ranges.shrink_to_fit();
  // A new edit after an undo ends the branch that could have been redone.
  steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(cursor_), steps_.end());
  steps_.push_back(std::move(step));
  if (steps_.size() > kMaxSteps) steps_.pop_front();
  cursor_ = steps_.size();
  return true;
}

void History::Clear() {
  steps_.clear();
  cursor_ = 0;
}

std::size_t History::MemoryBytes() const {
  std::size_t bytes = 0;
  for (const Step& s : steps_)
    bytes += sizeof(Step) + s.ranges.capacity() * sizeof(ByteRange) + s.before.capacity() + s.after.capacity();
  return bytes;
}

}  // namespace zelto
