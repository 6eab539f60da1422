#include "edit/history.h"

#include <algorithm>
#include <cassert>

#include "core/channel_label.h"
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
    case W::ProcessorSettings: return {"processor settings", "处理器设置"};
    case W::Unlink: return {"unlink", "取消联调"};
    case W::AutoEq: return {"automatic EQ", "自动 EQ"};
    case W::RewImport: return {"REW filters", "REW 滤波器"};
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
  if (label.channel >= 0) add(ChannelLabel(label.channel));
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

bool LinkState::operator==(const LinkState& other) const {
  const auto samePair = [](const LinkPair& a, const LinkPair& b) {
    return a.active == b.active && a.first == b.first && a.second == b.second;
  };
  return on == other.on && groups == other.groups &&
         std::equal(pairs.begin(), pairs.end(), other.pairs.begin(), samePair);
}

LinkState LinkState::Unlinked() {
  LinkState s;
  for (std::size_t i = 0; i < s.groups.size(); ++i) s.groups[i] = static_cast<std::int32_t>(i);
  return s;
}

void History::Step::Apply(std::span<std::uint8_t> image, bool undo) const {
  for (const FieldChange& c : changes) {
    const std::int32_t value = undo ? c.before : c.after;
    if (c.field.kind != FieldKind::Text) {
      WriteNumber(image, c.field, value);
      continue;
    }
    if (value < 0 || static_cast<std::size_t>(value) >= texts.size()) continue;
    const std::string& text = texts[static_cast<std::size_t>(value)];
    if (std::size_t{c.field.offset} + c.field.size > image.size() || text.size() != c.field.size) continue;
    std::copy(text.begin(), text.end(), image.begin() + c.field.offset);
  }
}

std::vector<ByteRange> History::Step::Ranges() const {
  std::vector<ByteRange> ranges;
  ranges.reserve(changes.size());
  for (const FieldChange& c : changes) ranges.push_back({c.field.offset, c.field.size});
  return ranges;
}

std::vector<int> History::Step::OutputChannels() const {
  std::vector<int> channels;
  for (const FieldChange& c : changes) {
    if (c.field.offset < preset::kOutput) continue;
    const int ch = static_cast<int>((c.field.offset - preset::kOutput) / out::kSize);
    if (ch < kOutputChannels && (channels.empty() || channels.back() != ch)) channels.push_back(ch);
  }
  return channels;
}

bool History::Step::ChangesName() const {
  return std::ranges::any_of(changes, [](const FieldChange& c) { return c.field.offset == preset::kName; });
}

bool History::Record(const StepLabel& label, SendAs send, std::span<const std::uint8_t> before,
                     std::span<const std::uint8_t> after, std::int64_t timeMs, const LinkState* linkBefore,
                     const LinkState* linkAfter) {
  if (before.size() != after.size()) return false;
  Step step;
  ForEachDifferingField(before, after, [&](const Field& field) {
    FieldChange c{field};
    if (field.kind == FieldKind::Text) {
      const auto text = [&](std::span<const std::uint8_t> image) {
        step.texts.emplace_back(image.begin() + field.offset, image.begin() + field.offset + field.size);
        return static_cast<std::int32_t>(step.texts.size() - 1);
      };
      c.before = text(before);
      c.after = text(after);
    } else {
      c.before = ReadNumber(before, field);
      c.after = ReadNumber(after, field);
    }
    step.changes.push_back(c);
  });
  if (linkBefore && linkAfter && !(*linkBefore == *linkAfter)) step.link = std::make_pair(*linkBefore, *linkAfter);
  if (step.changes.empty() && !step.link) return false;
  step.label = label.what == StepLabel::What::None ? LabelOfChange(step.Ranges()) : label;
  step.send = send;
  step.timeMs = timeMs;
  step.changes.shrink_to_fit();
  Push(std::move(step));
  return true;
}

void History::SetLastTitle(std::string title) {
  if (CanUndo()) steps_[cursor_ - 1].fileTitle = std::move(title);
  ++revision_;
}

void History::SetLastLabel(const StepLabel& label) {
  if (CanUndo()) steps_[cursor_ - 1].label = label;
  ++revision_;
}

void History::Push(Step step) {
  // A new edit after an undo ends the branch that could have been redone.
  steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(cursor_), steps_.end());
  steps_.push_back(std::move(step));
  if (steps_.size() > kMaxSteps) steps_.pop_front();
  cursor_ = steps_.size();
  ++revision_;
}

void History::Clear() {
  steps_.clear();
  cursor_ = 0;
  ++revision_;
}

bool History::Holds(std::size_t offset) const {
  const Field field = PresetFieldAt(offset);
  for (const Step& s : steps_)
    for (const FieldChange& c : s.changes)
      if (c.field.offset == field.offset) return true;
  return false;
}

std::string History::AppliedFileTitle() const {
  for (std::size_t i = cursor_; i > 0; --i)
    if (steps_[i - 1].label.what == StepLabel::What::FileLoad) return steps_[i - 1].fileTitle;
  return {};
}

std::size_t History::MemoryBytes() const {
  std::size_t bytes = 0;
  for (const Step& s : steps_) {
    bytes += sizeof(Step) + s.changes.capacity() * sizeof(FieldChange) + s.fileTitle.capacity();
    for (const std::string& t : s.texts) bytes += sizeof(std::string) + t.capacity();
  }
  return bytes;
}

// ---- the recovery file's form ---------------------------------------------------------------------
//
// Little-endian throughout. version u8 (2), step count u32, cursor u32, then per step: label
// (what, channel + 1, band + 1) u8 each, how it is sent u8, time s64 (ms), change count u16, per
// change the field's offset u16 and its before and after values (s32 each for a number, the
// field's bytes for a text), a link flag u8 with the link states before and after when it is 1,
// the file title's length u8 and its bytes.
//
// The first form (version 1) held byte ranges of the packed preset instead of values, and the A/B
// switch as a step.

namespace {

constexpr std::uint8_t kFirstHistoryFormat = 1;
constexpr std::uint8_t kHistoryFormat = 2;
constexpr std::size_t kHeaderBytes = 1 + 4 + 4;
constexpr std::size_t kStepHeaderBytes = 3 + 1 + 8 + 2;
constexpr std::size_t kMaxTitle = 255;

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
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void Bytes(const std::string& b) { out.insert(out.end(), b.begin(), b.end()); }
  void Link(const LinkState& s) {
    U8(s.on ? 1 : 0);
    for (const LinkPair& p : s.pairs) {
      U8(p.active ? 1 : 0);
      U8(p.first);
      U8(p.second);
    }
    for (std::int32_t g : s.groups) U8(static_cast<std::uint8_t>(g));
  }
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
  std::uint64_t U64() {
    const std::uint64_t lo = U32();
    return lo | (std::uint64_t{U32()} << 32);
  }
  std::span<const std::uint8_t> Take(std::size_t n) {
    const auto part = in_.subspan(at_, n);
    at_ += n;
    return part;
  }
  /// A link state whose channels and groups are in range.
  std::optional<LinkState> Link() {
    if (!Has(kLinkStateBytes)) return std::nullopt;
    LinkState s;
    const std::uint8_t on = U8();
    bool valid = on <= 1;
    s.on = on == 1;
    for (LinkPair& p : s.pairs) {
      const std::uint8_t active = U8();
      p.active = active;
      p.first = U8();
      p.second = U8();
      valid = valid && active <= 1 && p.first < kOutputChannels && p.second < kOutputChannels;
    }
    for (std::int32_t& g : s.groups) {
      g = U8();
      valid = valid && g < kLinkGroupEntries;
    }
    if (!valid) return std::nullopt;
    return s;
  }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t at_ = 0;
};

std::uint8_t Shifted(int v) { return static_cast<std::uint8_t>(std::clamp(v + 1, 0, 255)); }

bool ValidLabel(std::uint8_t what, std::uint8_t channel, std::uint8_t band) {
  return what <= static_cast<std::uint8_t>(StepLabel::kLastWhat) && channel <= kOutputChannels && band <= out::kBands;
}

// A step of the first form: byte ranges with their bytes before and after.
struct FirstFormStep {
  enum class Target : std::uint8_t { Live = 0, OtherSide = 1, Switch = 2 };
  StepLabel label;
  Target target = Target::Live;
  bool wholeBlocks = false;
  std::vector<ByteRange> ranges;
  std::vector<std::uint8_t> before;
  std::vector<std::uint8_t> after;

  void Apply(PresetImage& image, bool undo) const {
    const std::vector<std::uint8_t>& bytes = undo ? before : after;
    std::size_t at = 0;
    for (const ByteRange& r : ranges) {
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), r.length, image.begin() + r.offset);
      at += r.length;
    }
  }
};

std::optional<std::vector<FirstFormStep>> ReadFirstForm(Reader& r, std::uint32_t count) {
  std::vector<FirstFormStep> steps;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!r.Has(1 + 3 + 1 + 2)) return std::nullopt;
    FirstFormStep s;
    const std::uint8_t target = r.U8();
    const std::uint8_t what = r.U8();
    const std::uint8_t channel = r.U8();
    const std::uint8_t band = r.U8();
    const std::uint8_t whole = r.U8();
    const std::uint16_t rangeCount = r.U16();
    if (target > static_cast<std::uint8_t>(FirstFormStep::Target::Switch) || !ValidLabel(what, channel, band) ||
        whole > 1)
      return std::nullopt;
    s.target = static_cast<FirstFormStep::Target>(target);
    s.label = {static_cast<StepLabel::What>(what), int{channel} - 1, int{band} - 1};
    s.wholeBlocks = whole != 0;
    if ((s.target == FirstFormStep::Target::Switch) != (rangeCount == 0)) return std::nullopt;
    if (!r.Has(std::size_t{rangeCount} * 4)) return std::nullopt;
    std::size_t total = 0, end = 0;
    for (std::uint16_t k = 0; k < rangeCount; ++k) {
      ByteRange range{r.U16(), r.U16()};
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
    steps.push_back(std::move(s));
  }
  return steps;
}

}  // namespace

std::vector<std::uint8_t> LinkStateBytes(const LinkState& state) {
  Writer w;
  w.Link(state);
  return std::move(w.out);
}

std::optional<LinkState> LinkStateFromBytes(std::span<const std::uint8_t> bytes) {
  Reader r(bytes);
  return r.Link();
}

std::vector<std::uint8_t> History::Bytes() const {
  Writer w;
  w.U8(kHistoryFormat);
  w.U32(static_cast<std::uint32_t>(steps_.size()));
  w.U32(static_cast<std::uint32_t>(cursor_));
  for (const Step& s : steps_) {
    w.U8(static_cast<std::uint8_t>(s.label.what));
    w.U8(Shifted(s.label.channel));
    w.U8(Shifted(s.label.band));
    w.U8(static_cast<std::uint8_t>(s.send));
    w.U64(static_cast<std::uint64_t>(s.timeMs));
    w.U16(static_cast<std::uint16_t>(s.changes.size()));
    for (const FieldChange& c : s.changes) {
      w.U16(c.field.offset);
      if (c.field.kind == FieldKind::Text) {
        w.Bytes(s.texts[static_cast<std::size_t>(c.before)]);
        w.Bytes(s.texts[static_cast<std::size_t>(c.after)]);
      } else {
        w.U32(static_cast<std::uint32_t>(c.before));
        w.U32(static_cast<std::uint32_t>(c.after));
      }
    }
    w.U8(s.link ? 1 : 0);
    if (s.link) {
      w.Link(s.link->first);
      w.Link(s.link->second);
    }
    const std::string title = s.fileTitle.substr(0, kMaxTitle);
    w.U8(static_cast<std::uint8_t>(title.size()));
    w.Bytes(title);
  }
  return std::move(w.out);
}

std::optional<History> History::FromBytes(std::span<const std::uint8_t> bytes, const PresetImage& atCursor) {
  Reader r(bytes);
  if (!r.Has(kHeaderBytes)) return std::nullopt;
  const std::uint8_t format = r.U8();
  const std::uint32_t count = r.U32();
  const std::uint32_t cursor = r.U32();
  if (count > kMaxSteps || cursor > count) return std::nullopt;
  History h;

  if (format == kFirstHistoryFormat) {
    auto first = ReadFirstForm(r, count);
    if (!first || !r.AtEnd()) return std::nullopt;
    // The whole values of each step come from the tunings between the steps, rebuilt from the
    // one the history left; an A/B switch ends what can be taken back on this side.
    const auto usable = [](const FirstFormStep& s) { return s.target == FirstFormStep::Target::Live; };
    std::deque<PresetImage> images{atCursor};
    std::size_t oldest = cursor;
    while (oldest > 0 && usable((*first)[oldest - 1])) {
      PresetImage earlier = images.front();
      (*first)[oldest - 1].Apply(earlier, true);
      images.push_front(earlier);
      --oldest;
    }
    std::size_t newest = cursor;
    while (newest < count && usable((*first)[newest])) {
      PresetImage later = images.back();
      (*first)[newest].Apply(later, false);
      images.push_back(later);
      ++newest;
    }
    std::size_t applied = 0;
    for (std::size_t i = oldest; i < newest; ++i) {
      const FirstFormStep& s = (*first)[i];
      const bool recorded = h.Record(s.label, s.wholeBlocks ? SendAs::Blocks : SendAs::Items, images[i - oldest],
                                     images[i - oldest + 1], 0);
      if (recorded && i < cursor) ++applied;
    }
    h.cursor_ = applied;
    return h;
  }

  if (format != kHistoryFormat) return std::nullopt;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!r.Has(kStepHeaderBytes)) return std::nullopt;
    Step s;
    const std::uint8_t what = r.U8();
    const std::uint8_t channel = r.U8();
    const std::uint8_t band = r.U8();
    const std::uint8_t send = r.U8();
    s.timeMs = static_cast<std::int64_t>(r.U64());
    const std::uint16_t changeCount = r.U16();
    if (!ValidLabel(what, channel, band) || send > static_cast<std::uint8_t>(SendAs::MutedBlocks)) return std::nullopt;
    s.label = {static_cast<StepLabel::What>(what), int{channel} - 1, int{band} - 1};
    s.send = static_cast<SendAs>(send);
    std::size_t end = 0;
    for (std::uint16_t k = 0; k < changeCount; ++k) {
      if (!r.Has(2)) return std::nullopt;
      const std::uint16_t offset = r.U16();
      // Only whole fields, in order, each once.
      if (offset >= preset::kSize || offset < end) return std::nullopt;
      const Field field = PresetFieldAt(offset);
      if (field.offset != offset) return std::nullopt;
      end = std::size_t{offset} + field.size;
      FieldChange c{field};
      if (field.kind == FieldKind::Text) {
        if (!r.Has(2 * std::size_t{field.size})) return std::nullopt;
        for (std::int32_t* value : {&c.before, &c.after}) {
          const auto text = r.Take(field.size);
          s.texts.emplace_back(text.begin(), text.end());
          *value = static_cast<std::int32_t>(s.texts.size() - 1);
        }
      } else {
        if (!r.Has(8)) return std::nullopt;
        c.before = static_cast<std::int32_t>(r.U32());
        c.after = static_cast<std::int32_t>(r.U32());
      }
      s.changes.push_back(c);
    }
    if (!r.Has(1)) return std::nullopt;
    const std::uint8_t hasLink = r.U8();
    if (hasLink > 1) return std::nullopt;
    if (hasLink) {
      auto before = r.Link();
      auto after = before ? r.Link() : std::nullopt;
      if (!after) return std::nullopt;
      s.link = std::make_pair(*before, *after);
    }
    if (s.changes.empty() && !s.link) return std::nullopt;
    if (!r.Has(1)) return std::nullopt;
    const std::uint8_t titleLength = r.U8();
    if (!r.Has(titleLength)) return std::nullopt;
    const auto title = r.Take(titleLength);
    s.fileTitle.assign(title.begin(), title.end());
    h.steps_.push_back(std::move(s));
  }
  if (!r.AtEnd()) return std::nullopt;
  h.cursor_ = cursor;
  return h;
}

}  // namespace zelto
