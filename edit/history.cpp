#include "edit/history.h"

#include <algorithm>
#include <cassert>

#include "core/device_image.h"

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
    case W::FileLoad: return {"preset load", "音效调用"};
    case W::Edits: return {"edits", "编辑"};
    case W::AbSwitch: return {"A/B switch", "A/B 切换"};
    case W::AbCopy: return {"A/B copy", "A/B 复制"};
    case W::SendMine: return {"send my settings", "发送我的设置"};
    case W::KeepProcessor: return {"keep the processor's settings", "保留处理器的设置"};
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

StepLabel LabelOfChange(std::span<const ByteRange> ranges) {
  using W = StepLabel::What;
  constexpr std::size_t kItem = 8;
  constexpr std::size_t kOutputsEnd = preset::kOutput + kOutputChannels * out::kSize;
  if (ranges.empty()) return {W::Edits};
  std::size_t lowest = kOutputsEnd, highest = 0;
  for (const ByteRange& r : ranges) {
    lowest = std::min<std::size_t>(lowest, r.offset);
    highest = std::max<std::size_t>(highest, r.offset + r.length);
  }
  if (lowest < preset::kOutput || highest > kOutputsEnd) return {W::Edits};
  const int channel = static_cast<int>((lowest - preset::kOutput) / out::kSize);
  const std::size_t base = preset::kOutput + static_cast<std::size_t>(channel) * out::kSize;
  if (highest > base + out::kSize) return {W::Edits};
  const std::size_t first = lowest - base, end = highest - base;
  const std::size_t item = first / kItem;
  if ((end - 1) / kItem != item) return {W::Edits, channel};
  const auto within = [&](std::size_t at, std::size_t size) { return first >= at && end <= at + size; };
  if (item < static_cast<std::size_t>(out::kBands)) {
    const int bandIndex = static_cast<int>(item);
    const std::size_t b = item * kItem;
    if (within(b + band::kGainCode, 2)) return {W::BandGain, channel, bandIndex};
    if (within(b + band::kFrequency, 2)) return {W::BandFrequency, channel, bandIndex};
    if (within(b + band::kBandwidth, 2)) return {W::BandWidth, channel, bandIndex};
    return {W::Band, channel, bandIndex};
  }
  if (within(out::kSwitch, 1)) return {W::Mute, channel};
  if (within(out::kPhase, 1)) return {W::Phase, channel};
  if (within(out::kGain, 2)) return {W::Gain, channel};
  if (within(out::kDelay, 2)) return {W::Delay, channel};
  if (within(out::kEqMode, 1)) return {W::EqMode, channel};
  if (within(out::kCrossover + xover::kHpFrequency, 4)) return {W::HighPass, channel};
  if (within(out::kCrossover + xover::kLpFrequency, 4)) return {W::LowPass, channel};
  if (within(out::kMix, out::kMixSize)) return {W::Mix, channel};
  if (within(out::kLimThreshold, 4)) return {W::Limiter, channel};
  if (within(out::kName, 8)) return {W::Name, channel};
  return {W::Edits, channel};
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
                     std::span<const std::uint8_t> after, Target target) {
  if (before.size() != after.size()) return false;
  Step step;
  step.ranges = DiffRanges(before, after);
  if (step.ranges.empty()) return false;
  step.label = label.what == StepLabel::What::None ? LabelOfChange(step.ranges) : label;
  step.wholeBlocks = wholeBlocks;
  step.target = target;
  for (const ByteRange& r : step.ranges) {
    step.before.insert(step.before.end(), before.begin() + r.offset, before.begin() + r.offset + r.length);
    step.after.insert(step.after.end(), after.begin() + r.offset, after.begin() + r.offset + r.length);
  }
  step.ranges.shrink_to_fit();
  Push(std::move(step));
  return true;
}

void History::RecordSwitch() {
  Step step;
  step.label = {StepLabel::What::AbSwitch};
  step.target = Target::Switch;
  Push(std::move(step));
}

void History::Push(Step step) {
  // A new edit after an undo ends the branch that could have been redone.
  steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(cursor_), steps_.end());
  steps_.push_back(std::move(step));
  if (steps_.size() > kMaxSteps) steps_.pop_front();
  cursor_ = steps_.size();
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

// ---- the recovery file's form ---------------------------------------------------------------------
//
// version u8, step count u32, cursor u32, then per step: target u8, label (what, channel + 1,
// band + 1) u8 each, whole blocks u8, range count u16, the ranges (offset u16, length u16), the
// bytes before and the bytes after. Little-endian throughout.

namespace {

constexpr std::uint8_t kHistoryFormat = 1;
constexpr std::size_t kHeaderBytes = 1 + 4 + 4;
constexpr std::size_t kStepHeaderBytes = 1 + 3 + 1 + 2;
constexpr std::size_t kRangeBytes = 4;

class Writer {
 public:
  std::vector<std::uint8_t> out;
  void U8(std::uint8_t v) { out.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Bytes(const std::vector<std::uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); }
};

// Every read checks what is left first; a short blob fails instead of reading past its end.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
  bool Has(std::size_t n) const { return in_.size() - at_ >= n; }
  bool AtEnd() const { return at_ == in_.size(); }
  std::uint8_t U8() { return in_[at_++]; }
  std::uint16_t U16() {
    const std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | (U8() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (std::uint32_t{U16()} << 16);
  }
  std::span<const std::uint8_t> Take(std::size_t n) {
    const auto part = in_.subspan(at_, n);
    at_ += n;
    return part;
  }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t at_ = 0;
};

std::uint8_t Shifted(int v) { return static_cast<std::uint8_t>(std::clamp(v + 1, 0, 255)); }

}  // namespace

std::vector<std::uint8_t> History::Bytes() const {
  Writer w;
  w.U8(kHistoryFormat);
  w.U32(static_cast<std::uint32_t>(steps_.size()));
  w.U32(static_cast<std::uint32_t>(cursor_));
  for (const Step& s : steps_) {
    w.U8(static_cast<std::uint8_t>(s.target));
    w.U8(static_cast<std::uint8_t>(s.label.what));
    w.U8(Shifted(s.label.channel));
    w.U8(Shifted(s.label.band));
    w.U8(s.wholeBlocks ? 1 : 0);
    w.U16(static_cast<std::uint16_t>(s.ranges.size()));
    for (const ByteRange& r : s.ranges) {
      w.U16(r.offset);
      w.U16(r.length);
    }
    w.Bytes(s.before);
    w.Bytes(s.after);
  }
  return std::move(w.out);
}

std::optional<History> History::FromBytes(std::span<const std::uint8_t> bytes) {
  Reader r(bytes);
  if (!r.Has(kHeaderBytes) || r.U8() != kHistoryFormat) return std::nullopt;
  const std::uint32_t count = r.U32();
  const std::uint32_t cursor = r.U32();
  if (count > kMaxSteps || cursor > count) return std::nullopt;
  History h;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!r.Has(kStepHeaderBytes)) return std::nullopt;
    Step s;
    const std::uint8_t target = r.U8();
    const std::uint8_t what = r.U8();
    s.label.channel = int{r.U8()} - 1;
    s.label.band = int{r.U8()} - 1;
    const std::uint8_t whole = r.U8();
    const std::uint16_t rangeCount = r.U16();
    if (target > static_cast<std::uint8_t>(Target::Switch) || what > static_cast<std::uint8_t>(StepLabel::kLastWhat) ||
        whole > 1)
      return std::nullopt;
    s.target = static_cast<Target>(target);
    s.label.what = static_cast<StepLabel::What>(what);
    s.wholeBlocks = whole != 0;
    // A switch holds no bytes; every other step changed at least one.
    if ((s.target == Target::Switch) != (rangeCount == 0)) return std::nullopt;
    if (!r.Has(std::size_t{rangeCount} * kRangeBytes)) return std::nullopt;
    std::size_t total = 0, end = 0;
    for (std::uint16_t k = 0; k < rangeCount; ++k) {
      ByteRange range{r.U16(), r.U16()};
      // In order, apart and inside the preset, as DiffRanges makes them.
      if (range.length == 0 || range.offset < end || range.offset + range.length > preset::kSize) return std::nullopt;
      end = std::size_t{range.offset} + range.length;
      total += range.length;
      s.ranges.push_back(range);
    }
    if (!r.Has(2 * total)) return std::nullopt;
    const auto before = r.Take(total);
    const auto after = r.Take(total);
    s.before.assign(before.begin(), before.end());
    s.after.assign(after.begin(), after.end());
    h.steps_.push_back(std::move(s));
  }
  if (!r.AtEnd()) return std::nullopt;
  h.cursor_ = cursor;
  return h;
}

}  // namespace zelto
