#include "edit/editor.h"
#include "edit/channel_rules.h"
#include "edit/linking.h"
#include "edit/system_settings.h"
#include "link/block_sends.h"
#include "presets/preset_files.h"
#include "presets/preset_slots.h"

#include <algorithm>
#include <chrono>

#include "core/bytes.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {

// The filters of one output channel's EQ bands.
template <class F>
void ForEachBand(CKTV_Data& data, int channel, F&& f) {
  CKTVEQ& eq = data.Output(channel).Eq();
  for (int k = 0; k < eq.BandCount(); ++k) f(eq.Filter(k));
}

bool ValidChannel(int channel) { return channel >= 0 && channel < kOutputChannels; }

using What = StepLabel::What;

StepLabel BandLabel(int channel, int band, const Editor::BandChange& c) {
  const int parts =
      int(c.hz.has_value()) + int(c.bandwidthIndex.has_value()) + int(c.gainCode.has_value()) + int(c.off.has_value());
  What what = What::Band;
  if (parts == 1)
    what = c.gainCode         ? What::BandGain
           : c.hz             ? What::BandFrequency
           : c.bandwidthIndex ? What::BandWidth
                              : What::BandSwitch;
  return {what, channel, band};
}

// Marks item `item` of an output channel for the change scan, as its setter would.
void MarkOutputItem(CKTV_OutData& o, int item, bool track) {
  CKTVEQ& eq = o.Eq();
  auto& dirty = o.DirtyFlags();
  if (item >= 0 && item < eq.BandCount()) {
    eq.Filter(item).SetPending(track);
    return;
  }
  switch (item) {
    case out::kItemSwitch: dirty.item31 = track; break;
    case out::kItemCrossover:
      eq.HighPass().SetPending(track);
      eq.LowPass().SetPending(track);
      break;
    case out::kItemMixA: dirty.mixA = track; break;
    case out::kItemMixB: dirty.mixB = track; break;
    case out::kItemLimiter: dirty.limiter = track; break;
    case out::kItemName: dirty.name = track; break;
    default: break;
  }
}

constexpr std::size_t kItemSize = 8;

// Steps that stand for the user's whole tuning: all of it counts as unsent, even where it equals
// what was shown before.
bool WholeTuning(const StepLabel& label) {
  return label.what == StepLabel::What::FileLoad || label.what == StepLabel::What::AbCopy ||
         label.what == StepLabel::What::SendMine;
}
constexpr std::size_t kOutputsEnd = preset::kOutput + kOutputChannels * out::kSize;

}  // namespace

Editor::Editor(Engine& engine) : engine_(engine) { engine_.SetConnectionObserver(this); }

Editor::~Editor() {
  if (engine_.Observer() == this) engine_.SetConnectionObserver(nullptr);
}

// ---- history ---------------------------------------------------------------------------------------

PresetImage Editor::PackedPreset() {
  return engine_.Data().Edit([&](CKTV_Data& d) {
    PresetImage& live = d.Image().live;
    const PresetImage held = live;
    d.PackAll();
    PresetImage packed = live;
    live = held;
    return packed;
  });
}

std::int64_t Editor::Now() const {
  if (clock_) return clock_();
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

LinkState Editor::CurrentLink() const {
  LinkState s;
  s.on = linkOn_;
  s.pairs = engine_.Image().linkPairs;
  s.groups = engine_.Image().linkGroups;
  return s;
}

void Editor::SetLink(const LinkState& state) {
  linkOn_ = state.on;
  engine_.Image().linkPairs = state.pairs;
  engine_.Image().linkGroups = state.groups;
}

void Editor::BeginStep(StepLabel label, History::SendAs send) {
  if (stepDepth_++ > 0) {
    if (stepLabel_.what == What::None) stepLabel_ = label;
    stepSend_ = std::max(stepSend_, send);
    return;
  }
  stepLabel_ = label;
  stepSend_ = send;
  stepBefore_ = PackedPreset();
  stepLinkBefore_ = CurrentLink();
  ForgetUnsentIfHeld(true);
}

void Editor::EndStep() {
  if (stepDepth_ == 0 || --stepDepth_ > 0) return;
  const LinkState link = CurrentLink();
  RecordStep(stepLabel_, stepSend_, stepBefore_, PackedPreset(), &stepLinkBefore_, &link);
}

bool Editor::RecordStep(const StepLabel& label, History::SendAs send, const PresetImage& before,
                        const PresetImage& after, const LinkState* linkBefore, const LinkState* linkAfter) {
  History& history = ActiveHistory();
  if (!history.Record(label, send, before, after, Now(), linkBefore, linkAfter)) return false;
  unsent_.Mark(history.UndoStep()->Ranges(), WholeTuning(history.UndoStep()->label));
  return true;
}

bool Editor::Undo() {
  History& history = ActiveHistory();
  const History::Step* step = history.UndoStep();
  // While a read-back waits for the user's answer the objects show the processor's values, not
  // the state the steps lead to.
  if (!step || StepOpen() || connectChoice_) return false;
  ForgetUnsentIfHeld(true);
  ApplyStep(*step, true);
  history.MarkUndone();
  return true;
}

bool Editor::Redo() {
  History& history = ActiveHistory();
  const History::Step* step = history.RedoStep();
  if (!step || StepOpen() || connectChoice_) return false;
  ForgetUnsentIfHeld(true);
  ApplyStep(*step, false);
  history.MarkRedone();
  return true;
}

bool Editor::GoToStep(std::size_t applied) {
  const History& history = ActiveHistory();
  if (StepOpen() || connectChoice_ || applied > history.Size()) return false;
  while (history.Cursor() > applied)
    if (!Undo()) return false;
  while (history.Cursor() < applied)
    if (!Redo()) return false;
  return true;
}

void Editor::ClearHistory() {
  for (History& h : histories_) h.Clear();
}

void Editor::ApplyStep(const History::Step& step, bool undo) {
  if (step.link) SetLink(undo ? step.link->first : step.link->second);
  if (step.changes.empty()) return;
  PresetImage target = PackedPreset();
  step.Apply(target, undo);
  unsent_.Mark(step.Ranges(), WholeTuning(step.label));
  const std::vector<int> channels = step.OutputChannels();
  const bool outside =
      std::ranges::any_of(step.changes, [](const FieldChange& c) { return c.field.offset < preset::kOutput; });
  const auto unpackChannels = [&](CKTV_Data& d) {
    for (int ch : channels)
      d.Output(ch).Unpack(std::span(target).subspan(preset::kOutput + ch * out::kSize, out::kSize));
  };

  if (outside) {
    // The name, the inputs and the effect go into the objects as a file load leaves them; of
    // these only the name travels on its own, as a load sends it.
    std::lock_guard transfer(engine_.Transfer());
    engine_.Data().Edit([&](CKTV_Data& d) {
      PresetImage& live = d.Image().live;
      const PresetImage held = live;
      d.UnpackAll(target, CKTV_Data::kEffectPartLive);
      live = held;
      if (step.ChangesName()) {
        std::copy_n(target.begin() + preset::kName, preset::kNameSize, live.begin() + preset::kName);
        if (PresetLinkOpen(engine_))
          if (SendDataPtr name = engine_.Builder().BuildSystemWrite(SystemItem::PresetName, 0))
            engine_.Queue().Push(std::move(name));
      }
    });
  }

  switch (step.send) {
    case History::SendAs::MutedBlocks: {
      const auto plan = block_sends::BracketedBlockSends(channels, channels, linkOn_);
      block_sends::RunBlockSends(engine_, plan, unpackChannels);
      break;
    }
    case History::SendAs::Blocks: {
      const auto plan = block_sends::CopyBlockSends(channels, true);
      block_sends::RunBlockSends(engine_, plan, unpackChannels);
      break;
    }
    case History::SendAs::Items:
      // Each channel reads its block back and marks the items whose values changed, so the
      // change scan sends those and nothing else.
      engine_.Data().Edit([&](CKTV_Data& d) {
        const bool track = engine_.Tracking().IsOn();
        unpackChannels(d);
        for (const FieldChange& c : step.changes) {
          if (c.field.offset < preset::kOutput || c.field.offset >= kOutputsEnd) continue;
          const std::size_t inOutputs = c.field.offset - preset::kOutput;
          const int ch = static_cast<int>(inOutputs / out::kSize);
          MarkOutputItem(d.Output(ch), static_cast<int>((inOutputs % out::kSize) / kItemSize), track);
        }
      });
      break;
  }
  engine_.Data().Refresh();
}

void Editor::CutOpenStep() {
  if (!StepOpen()) return;
  const PresetImage now = PackedPreset();
  const LinkState link = CurrentLink();
  RecordStep(stepLabel_, stepSend_, stepBefore_, now, &stepLinkBefore_, &link);
  stepBefore_ = now;
  stepLinkBefore_ = link;
}

PresetFileResult Editor::LoadPresetFile(PresetFiles& files, const std::string& path) {
  const bool nested = StepOpen();
  const std::size_t steps = Steps().Size(), cursor = Steps().Cursor();
  PresetFileResult result;
  {
    StepScope step(*this, {What::FileLoad}, History::SendAs::Blocks);
    result = files.LoadFile(path);
  }
  // The title goes with the step, so an undo takes it off the title area again.
  const bool recorded = Steps().Size() != steps || Steps().Cursor() != cursor;
  if (!nested && recorded && result.status == PresetFileResult::Status::Loaded)
    ActiveHistory().SetLastTitle(result.title);
  return result;
}

void Editor::BeforeRecallApplied() {
  // A recall is a step of its own, whatever step a press or a dialog holds open around it.
  CutOpenStep();
  recallBefore_ = PackedPreset();
}

void Editor::AfterRecallApplied() {
  const PresetImage now = PackedPreset();
  // The processor holds what it sent: nothing of it is unsent.
  ActiveHistory().Record({What::FileLoad}, History::SendAs::Blocks, recallBefore_, now, Now());
  if (StepOpen()) stepBefore_ = now;
}

void Editor::RecordProcessorSettings(const PresetImage& before, const PresetImage& readBack) {
  History& history = ActiveHistory();
  if (history.Size() == 0 && unsent_.Empty()) return;
  // Only values a step (or an unsent edit) holds: an undo never reaches the others, so the
  // processor's own values there need no step.
  PresetImage held = readBack;
  std::size_t items = 0;
  bool onlyOutputs = true;
  ForEachDifferingField(before, readBack, [&](const Field& f) {
    if (!history.Holds(f.offset) && !unsent_.Marked(f.offset)) return;
    std::copy_n(before.begin() + f.offset, f.size, held.begin() + f.offset);
    ++items;
    onlyOutputs = onlyOutputs && f.offset >= preset::kOutput;
  });
  // A few values go back as item writes; many as the blocks of their channels.
  constexpr std::size_t kMostItems = 4;
  const auto send = onlyOutputs && items <= kMostItems ? History::SendAs::Items : History::SendAs::Blocks;
  readBackStep_ = history.Record({What::ProcessorSettings}, send, held, readBack, Now());
}

AbCompare::Outcome Editor::SwitchAb() {
  if (!ab_) return {};
  // A step held open by a press keeps what it did on the side it was made on.
  CutOpenStep();
  const bool first = !ab_->Started();
  const PresetImage before = PackedPreset();
  const LinkState heard = CurrentLink();
  const AbCompare::Outcome outcome = ab_->Switch();
  // The first switch makes B a copy of A, links included.
  SetLink(first ? heard : otherLink_);
  otherLink_ = heard;
  unsent_.Mark(DiffRanges(before, PackedPreset()), true);
  if (StepOpen()) {
    stepBefore_ = PackedPreset();
    stepLinkBefore_ = CurrentLink();
  }
  return outcome;
}

AbCompare::Outcome Editor::CopyAb(AbSide from, AbSide to) {
  if (!ab_ || from == to) return {};
  if (to == ab_->Active()) {
    // A copy takes the other side's links along, so the pairs are what they were there.
    StepScope step(*this, {What::AbCopy}, History::SendAs::Blocks);
    const AbCompare::Outcome outcome = ab_->Copy(from, to);
    if (ab_->Started()) SetLink(otherLink_);
    return outcome;
  }
  const PresetImage before = ab_->OtherTuning();
  const LinkState linkBefore = ab_->Started() ? otherLink_ : CurrentLink();
  const AbCompare::Outcome outcome = ab_->Copy(from, to);
  otherLink_ = CurrentLink();
  histories_[SideIndex(to)].Record({What::AbCopy}, History::SendAs::Blocks, before, ab_->OtherTuning(), Now(),
                                   &linkBefore, &otherLink_);
  return outcome;
}

// ---- the recovery file's part ------------------------------------------------------------------------
//
// format u8 (3), then per side (A, B): its link state, the length u32 of its history's bytes and
// those bytes. A part that starts with 1 is the first form: one history of the side heard.

namespace {
constexpr std::uint8_t kFirstPartFormat = 1;
constexpr std::uint8_t kPartFormat = 3;
}  // namespace

std::vector<std::uint8_t> Editor::SaveRecoveryPart() {
  std::vector<std::uint8_t> out{kPartFormat};
  for (AbSide side : {AbSide::A, AbSide::B}) {
    const std::vector<std::uint8_t> link = LinkStateBytes(side == ActiveSide() ? CurrentLink() : otherLink_);
    out.insert(out.end(), link.begin(), link.end());
    const std::vector<std::uint8_t> history = histories_[SideIndex(side)].Bytes();
    const auto length = static_cast<std::uint32_t>(history.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(length >> shift));
    out.insert(out.end(), history.begin(), history.end());
  }
  return out;
}

bool Editor::RestoreRecoveryPart(std::span<const std::uint8_t> blob) {
  ClearHistory();
  if (blob.empty()) return true;
  const PresetImage heard = PackedPreset();
  if (blob[0] == kFirstPartFormat) {
    std::optional<History> restored = History::FromBytes(blob, heard);
    if (!restored) return false;
    ActiveHistory() = std::move(*restored);
    return true;
  }
  if (blob[0] != kPartFormat) return false;
  std::array<History, 2> histories;
  std::array<LinkState, 2> links;
  std::size_t at = 1;
  for (std::size_t side = 0; side < 2; ++side) {
    if (blob.size() - at < kLinkStateBytes + 4) return false;
    const auto link = LinkStateFromBytes(blob.subspan(at, kLinkStateBytes));
    at += kLinkStateBytes;
    const std::size_t length = static_cast<std::uint32_t>(GetS32(blob, at));
    at += 4;
    if (!link || blob.size() - at < length) return false;
    auto history = History::FromBytes(blob.subspan(at, length), heard);
    if (!history) return false;
    at += length;
    histories[side] = std::move(*history);
    links[side] = *link;
  }
  if (at != blob.size()) return false;
  histories_ = std::move(histories);
  const std::size_t active = SideIndex(ActiveSide());
  SetLink(links[active]);
  otherLink_ = links[1 - active];
  return true;
}

std::vector<int> Editor::Group(int channel) const { return rules::LinkGroup(engine_.Image(), channel); }

// ---- EQ bands ------------------------------------------------------------------------------------

bool Editor::EditBand(int channel, int band, const BandChange& change) {
  if (!ValidChannel(channel)) return false;
  StepScope step(*this, BandLabel(channel, band, change));
  const std::vector<int> group = Group(channel);
  return engine_.Data().Edit([&](CKTV_Data& d) {
    CKTVEQ& eq = d.Output(channel).Eq();
    if (band < 0 || band >= eq.BandCount()) return false;
    const CFilter& f = eq.Filter(band);
    const bool newFrequency = change.hz && *change.hz != f.frequency();
    const bool newWidth = change.bandwidthIndex && *change.bandwidthIndex != f.bandwidthIndex();
    const int shownGain = f.IsFlat() ? kBandGainFlatCode : f.gainCode();
    const bool newGain = change.gainCode && *change.gainCode != shownGain;
    // The band's switch toggles: it acts only when the state is to change.
    const bool toggle = change.off && f.IsFlat() != *change.off;
    if (!newFrequency && !newWidth && !newGain && !toggle) return false;
    for (int target : group) {
      CFilter& t = d.Output(target).Eq().Filter(band);
      if (newFrequency) t.SetFrequency(*change.hz, true);
      if (newWidth) t.SetBandwidthIndex(*change.bandwidthIndex);
      if (newGain) t.SetGainCode(*change.gainCode);
      if (toggle) t.SetFlat(*change.off);
    }
    return true;
  });
}

void Editor::FollowBand(int channel, int band) {
  if (!ValidChannel(channel)) return;
  StepScope step(*this);
  const std::vector<int> group = Group(channel);
  engine_.Data().Edit([&](CKTV_Data& d) {
    CKTVEQ& eq = d.Output(channel).Eq();
    if (band < 0 || band >= eq.BandCount()) return;
    const CFilter& source = eq.Filter(band);
    for (int ch : group) {
      if (ch == channel) continue;
      CFilter& f = d.Output(ch).Eq().Filter(band);
      f.SetFrequency(source.frequency(), true);
      f.SetBandwidthIndex(source.bandwidthIndex());
      f.SetGainCode(source.gainCode());
    }
  });
}

bool Editor::EqBypassOn(int channel) {
  if (!ValidChannel(channel)) return false;
  return engine_.Data().Edit([&](CKTV_Data& d) { return rules::EqBypassOn(d, channel); });
}

// ---- whole-EQ commands ------------------------------------------------------------------------------

Editor::BlockResult Editor::SetEqBypass(int channel, bool on) {
  if (!ValidChannel(channel)) return {false, false};
  StepScope step(*this, {What::EqBypass, channel}, History::SendAs::MutedBlocks);
  const bool stuck = engine_.Data().Edit([&](CKTV_Data& d) {
    ForEachBand(d, channel, [on](CFilter& f) { f.SetBypass(on); });
    // Bands switched off one by one keep the channel bypassed: lifting the bypass changes nothing.
    if (!on && rules::EqBypassOn(d, channel)) {
      ForEachBand(d, channel, [](CFilter& f) { f.SetBypass(true); });
      return true;
    }
    return false;
  });
  if (stuck) return {false, false};
  const std::vector<int> group = Group(channel);
  const auto plan = block_sends::BracketedBlockSends(group, group, linkOn_);
  const bool flagged = block_sends::RunBlockSends(engine_, plan, [&](CKTV_Data& d) {
    for (int ch : group)
      if (ch != channel) ForEachBand(d, ch, [on](CFilter& f) { f.SetBypass(on); });
  });
  return {true, flagged};
}

Editor::BlockResult Editor::SetEqMode(int channel, int mode) {
  if (!ValidChannel(channel)) return {false, false};
  StepScope step(*this, {What::EqMode, channel}, History::SendAs::MutedBlocks);
  // The channel object hands the mode to its link group.
  engine_.Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetEqMode(mode); });
  const std::vector<int> group = Group(channel);
  return ResetEqOf(group, group);
}

Editor::BlockResult Editor::ResetGroupEq(int channel) {
  if (!ValidChannel(channel)) return {false, false};
  StepScope step(*this, {What::EqReset, channel}, History::SendAs::MutedBlocks);
  const std::vector<int> group = Group(channel);
  return ResetEqOf(group, group);
}

Editor::BlockResult Editor::ResetChannelEq(int channel) {
  if (!ValidChannel(channel)) return {false, false};
  StepScope step(*this, {What::EqReset, channel}, History::SendAs::MutedBlocks);
  const std::vector<int> group = Group(channel);
  std::vector<int> reset = {channel};
  if (linkOn_) {
    if (auto partner = rules::PairPartner(engine_.Image(), channel); partner && *partner != channel)
      reset.push_back(*partner);
  }
  return ResetEqOf(group, reset);
}

Editor::BlockResult Editor::ResetEqOf(const std::vector<int>& muted, const std::vector<int>& reset) {
  const auto plan = block_sends::BracketedBlockSends(muted, reset, linkOn_);
  const bool flagged = block_sends::RunBlockSends(engine_, plan, [&](CKTV_Data& d) {
    for (int ch : reset) rules::ResetBands(d, ch);
  });
  return {true, flagged};
}

// ---- crossovers --------------------------------------------------------------------------------------

int Editor::SetCrossoverFrequency(int channel, bool highPass, int hz, CrossoverBox box) {
  if (!ValidChannel(channel)) return hz;
  StepScope step(*this, {highPass ? What::HighPass : What::LowPass, channel});
  const std::vector<int> group = Group(channel);
  return engine_.Data().Edit([&](CKTV_Data& d) {
    const CKTVEQ& eq = d.Output(channel).Eq();
    const int hp = std::clamp(eq.HighPass().frequency(), CKTV_OutData::kHighPassHz, CKTV_OutData::kLowPassHz);
    const int lp = std::clamp(eq.LowPass().frequency(), CKTV_OutData::kHighPassHz, CKTV_OutData::kLowPassHz);
    // The high-pass never passes the low-pass: the moved one stops at the other.
    int stored = hz;
    switch (box) {
      case CrossoverBox::Main: stored = highPass ? rules::LimitHighPass(hz, lp) : rules::LimitLowPass(hp, hz); break;
      case CrossoverBox::Page:
        stored = highPass ? rules::LimitPageHighPass(channel, hz, lp) : rules::LimitLowPass(hp, hz);
        break;
      case CrossoverBox::Graph: break;
    }
    for (int ch : group) {
      CKTVEQ& target = d.Output(ch).Eq();
      (highPass ? target.HighPass() : target.LowPass()).SetFrequency(stored, true);
    }
    return stored;
  });
}

void Editor::SetCrossoverFamily(int channel, bool highPass, int family) {
  if (!ValidChannel(channel)) return;
  StepScope step(*this, {highPass ? What::HighPass : What::LowPass, channel});
  const std::vector<int> group = Group(channel);
  engine_.Data().Edit([&](CKTV_Data& d) {
    for (int ch : group) {
      CKTVEQ& eq = d.Output(ch).Eq();
      (highPass ? eq.HighPass() : eq.LowPass()).SetCrossoverType(family, true);
    }
  });
}

void Editor::SetCrossoverSlope(int channel, bool highPass, int slope) {
  if (!ValidChannel(channel)) return;
  StepScope step(*this, {highPass ? What::HighPass : What::LowPass, channel});
  const std::vector<int> group = Group(channel);
  engine_.Data().Edit([&](CKTV_Data& d) {
    for (int ch : group) {
      CKTVEQ& eq = d.Output(ch).Eq();
      (highPass ? eq.HighPass() : eq.LowPass()).SetSlope(slope, true);
    }
  });
}

// ---- channel values ------------------------------------------------------------------------------------

void Editor::SetGain(int channel, int gainCode) {
  if (!ValidChannel(channel)) return;
  StepScope step(*this, {What::Gain, channel});
  engine_.Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetGain(gainCode); });
}

bool Editor::SetSoundOn(int channel, bool soundOn) {
  if (!ValidChannel(channel)) return false;
  StepScope step(*this, {What::Mute, channel});
  return engine_.Data().Edit([&](CKTV_Data& d) {
    CKTV_OutData& o = d.Output(channel);
    if (o.OutputSwitch() == soundOn) return false;
    o.SetOutputSwitch(soundOn);
    return true;
  });
}

bool Editor::ToggleSoundOn(int channel) {
  if (!ValidChannel(channel)) return false;
  StepScope step(*this, {What::Mute, channel});
  return engine_.Data().Edit([&](CKTV_Data& d) {
    CKTV_OutData& o = d.Output(channel);
    o.SetOutputSwitch(!o.OutputSwitch());
    return o.OutputSwitch();
  });
}

bool Editor::SetPhase(int channel, int phase) {
  if (!ValidChannel(channel)) return false;
  StepScope step(*this, {What::Phase, channel});
  return engine_.Data().Edit([&](CKTV_Data& d) {
    CKTV_OutData& o = d.Output(channel);
    if (o.Phase() == phase) return false;
    o.SetPhase(phase);
    return true;
  });
}

int Editor::TogglePhase(int channel) {
  if (!ValidChannel(channel)) return 0;
  StepScope step(*this, {What::Phase, channel});
  return engine_.Data().Edit([&](CKTV_Data& d) {
    CKTV_OutData& o = d.Output(channel);
    o.SetPhase(o.Phase() ? 0 : 1);
    return o.Phase();
  });
}

bool Editor::SetDelay(int channel, int delayCode) {
  if (!ValidChannel(channel)) return false;
  StepScope step(*this, {What::Delay, channel});
  return engine_.Data().Edit([&](CKTV_Data& d) {
    CKTV_OutData& o = d.Output(channel);
    if (o.Delay() == delayCode) return false;
    o.SetDelay(delayCode);
    return true;
  });
}

void Editor::SetLimiterThreshold(int channel, int code) {
  if (!ValidChannel(channel)) return;
  StepScope step(*this, {What::Limiter, channel});
  engine_.Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetLimiterThreshold(code); });
}

void Editor::SetLimiterAttack(int channel, int code) {
  if (!ValidChannel(channel)) return;
  StepScope step(*this, {What::Limiter, channel});
  engine_.Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetLimiterAttack(code); });
}

void Editor::SetLimiterRelease(int channel, int code) {
  if (!ValidChannel(channel)) return;
  StepScope step(*this, {What::Limiter, channel});
  engine_.Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetLimiterRelease(code); });
}

bool Editor::SetChannelName(int channel, std::string_view name) {
  if (!ValidChannel(channel)) return false;
  StepScope step(*this, {What::Name, channel});
  return engine_.Data().Edit([&](CKTV_Data& d) { return d.Output(channel).SetName(name); });
}

bool Editor::SetMixShare(int channel, int source, int percent) {
  StepScope step(*this, {What::Mix, channel});
  return engine_.Data().Edit([&](CKTV_Data& d) { return rules::StoreMixShare(d, channel, source, percent); });
}

bool Editor::SetMixPageField(int field, int value) { return rules::StoreMixPageField(engine_.Image(), field, value); }

// ---- linking -------------------------------------------------------------------------------------------

Editor::LinkResult Editor::Link(rules::CopyDirection direction) {
  // The link state is part of the step: its undo takes the copies back and the link off.
  StepScope step(*this, {What::Link}, History::SendAs::Blocks);
  LinkResult result;
  DeviceImage& image = engine_.Image();
  const LinkState before = CurrentLink();
  if (rules::BuildLinkPairs(image) == 0) {
    SetLink(before);
    result.noPairs = true;
    return result;
  }
  linkOn_ = true;
  result.copies = rules::LinkActivePairs(image, direction);
  std::vector<int> targets;
  for (const auto& c : result.copies) targets.push_back(c.target);
  const auto plan = block_sends::CopyBlockSends(targets, true);
  result.flagged = block_sends::RunBlockSends(engine_, plan, [&](CKTV_Data& d) {
    for (const auto& c : result.copies) d.Output(c.target).CopyFrom(d.Output(c.source));
  });
  return result;
}

void Editor::Unlink() {
  StepScope step(*this, {What::Unlink});
  rules::ClearLinks(engine_.Image());
  linkOn_ = false;
}

// ---- top bar and system settings -------------------------------------------------------------------------

bool Editor::WriteSettings(bool changed) {
  if (changed) block_sends::QueueSystemWrite(engine_, SystemItem::Settings);
  return changed;
}

bool Editor::SetMasterVolume(int volume) {
  if (volume == engine_.Image().MasterVolume()) return false;
  rules::StoreMasterVolume(engine_.Image(), volume);
  return WriteSettings(true);
}

bool Editor::SetMasterSoundOn(bool soundOn) {
  return WriteSettings(rules::StoreMasterSwitch(engine_.Image(), soundOn));
}

void Editor::SetSource(int source) {
  rules::StoreInputSource(engine_.Image(), source);
  WriteSettings(true);
}

void Editor::SetNoiseGate(int index) {
  rules::StoreNoiseGate(engine_.Image(), index);
  WriteSettings(true);
}

bool Editor::SetDspSwitch(bool on) { return WriteSettings(rules::StoreDspSwitch(engine_.Image(), on)); }

bool Editor::SetSourceVolume(int slot, int volume) {
  if (!rules::StoreSourceVolume(engine_.Image(), slot, volume)) return false;
  block_sends::QueueSystemWrite(engine_, SystemItem::SourceVolumes);
  return true;
}

int Editor::SettleSource() {
  DeviceImage& image = engine_.Image();
  rules::StoreInputSource(image, rules::ShownSource(image));
  return rules::ShownSource(image);
}

bool Editor::FactoryReset() {
  if (!block_sends::QueueSystemWrite(engine_, SystemItem::FactoryReset)) return false;
  ClearHistory();
  return true;
}

// ---- what the processor reports of itself ------------------------------------------------------------------

bool Editor::StoreReportedStatus(Notice notice, std::intptr_t value) {
  DeviceImage& image = engine_.Image();
  switch (notice) {
    case Notice::DeviceSource: rules::StoreInputSource(image, static_cast<int>(value)); return true;
    case Notice::DeviceVolume: {
      // Only the master volume: the source's volume slot is the processor's own business here.
      const int v = std::clamp(static_cast<int>(value), 0, rules::kMasterVolumeMax);
      PutS16(image.systemArea, sys::kMasterVolume, static_cast<std::int16_t>(v));
      return true;
    }
    case Notice::DeviceMute: image.systemArea[sys::kMasterSwitch] = value ? 1 : 0; return true;
    default: return false;
  }
}

}  // namespace zelto
