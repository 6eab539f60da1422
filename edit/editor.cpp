#include "edit/editor.h"
#include "edit/channel_rules.h"
#include "edit/linking.h"
#include "edit/system_settings.h"
#include "link/block_sends.h"
#include "presets/preset_files.h"
#include "presets/preset_slots.h"

#include <algorithm>

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

void Editor::BeginStep(StepLabel label, bool wholeBlocks) {
  if (stepDepth_++ > 0) {
    if (stepLabel_.what == What::None) stepLabel_ = label;
    stepWholeBlocks_ = stepWholeBlocks_ || wholeBlocks;
    return;
  }
  stepLabel_ = label;
  stepWholeBlocks_ = wholeBlocks;
  stepBefore_ = PackedPreset();
  ForgetUnsentIfHeld(true);
}

void Editor::EndStep() {
  if (stepDepth_ == 0 || --stepDepth_ > 0) return;
  const PresetImage after = PackedPreset();
  if (history_.Record(stepLabel_, stepWholeBlocks_, stepBefore_, after))
    unsent_.Mark(history_.UndoStep()->ranges, stepWholeBlocks_);
}

bool Editor::Undo() {
  const History::Step* step = history_.UndoStep();
  if (!step || StepOpen()) return false;
  ForgetUnsentIfHeld(true);
  if (!ApplyStepMarkingUnsent(*step, true)) return false;
  history_.MarkUndone();
  return true;
}

bool Editor::Redo() {
  const History::Step* step = history_.RedoStep();
  if (!step || StepOpen()) return false;
  ForgetUnsentIfHeld(true);
  if (!ApplyStepMarkingUnsent(*step, false)) return false;
  history_.MarkRedone();
  return true;
}

bool Editor::RestoreRecoveryPart(std::span<const std::uint8_t> blob) {
  std::optional<History> restored = History::FromBytes(blob);
  history_ = restored ? std::move(*restored) : History{};
  return restored || blob.empty();
}

bool Editor::ApplyStepMarkingUnsent(const History::Step& step, bool undo) {
  if (step.target == History::Target::Live) {
    if (!ApplyStep(step, undo)) return false;
    unsent_.Mark(step.ranges, step.wholeBlocks);
    return true;
  }
  // A switch, or a copy into the side heard, changes the tuning by whole blocks that the step
  // does not list.
  const PresetImage before = PackedPreset();
  if (!ApplyStep(step, undo)) return false;
  unsent_.Mark(DiffRanges(before, PackedPreset()), true);
  return true;
}

void Editor::CutOpenStep() {
  if (!StepOpen()) return;
  const PresetImage now = PackedPreset();
  if (history_.Record(stepLabel_, stepWholeBlocks_, stepBefore_, now))
    unsent_.Mark(history_.UndoStep()->ranges, stepWholeBlocks_);
  stepBefore_ = now;
}

PresetFileResult Editor::LoadPresetFile(PresetFiles& files, const std::string& path) {
  StepScope step(*this, {What::FileLoad}, true);
  return files.LoadFile(path);
}

void Editor::BeforeRecallApplied() {
  // A recall is a step of its own, whatever step a press or a dialog holds open around it.
  CutOpenStep();
  recallBefore_ = PackedPreset();
}

void Editor::AfterRecallApplied() {
  const PresetImage now = PackedPreset();
  history_.Record({What::FileLoad}, true, recallBefore_, now);
  if (StepOpen()) stepBefore_ = now;
}

AbCompare::Outcome Editor::SwitchAb() {
  if (!ab_) return {};
  // A switch while a press is held is a step of its own between what the press did before and
  // after it.
  CutOpenStep();
  const PresetImage before = PackedPreset();
  const AbCompare::Outcome outcome = ab_->Switch();
  history_.RecordSwitch();
  unsent_.Mark(DiffRanges(before, PackedPreset()), true);
  if (StepOpen()) stepBefore_ = PackedPreset();
  return outcome;
}

AbCompare::Outcome Editor::CopyAb(AbSide from, AbSide to) {
  if (!ab_) return {};
  if (to == ab_->Active()) {
    StepScope step(*this, {What::AbCopy}, true);
    return ab_->Copy(from, to);
  }
  const PresetImage before = ab_->OtherTuning();
  const AbCompare::Outcome outcome = ab_->Copy(from, to);
  history_.Record({What::AbCopy}, false, before, ab_->OtherTuning(), History::Target::OtherSide);
  return outcome;
}

bool Editor::ApplyStep(const History::Step& step, bool undo) {
  switch (step.target) {
    case History::Target::Switch:
      if (!ab_) return false;
      ab_->Switch();
      return true;
    case History::Target::OtherSide: {
      if (!ab_) return false;
      PresetImage other = ab_->OtherTuning();
      step.Apply(other, undo);
      ab_->SetOtherTuning(other);
      return true;
    }
    case History::Target::Live: break;
  }
  PresetImage target = PackedPreset();
  step.Apply(target, undo);
  std::vector<int> channels;
  bool otherBlocks = false;
  for (const ByteRange& r : step.ranges) {
    if (r.offset < preset::kOutput || r.offset + r.length > kOutputsEnd) {
      otherBlocks = true;
      continue;
    }
    const int first = static_cast<int>((r.offset - preset::kOutput) / out::kSize);
    const int last = static_cast<int>((r.offset + r.length - 1 - preset::kOutput) / out::kSize);
    for (int ch = first; ch <= last; ++ch)
      if (std::ranges::find(channels, ch) == channels.end()) channels.push_back(ch);
  }
  std::ranges::sort(channels);

  if (step.wholeBlocks || otherBlocks) {
    // A file load comes back as whole blocks: the changed output channels' blocks, or the whole
    // live preset when the inputs or the effect changed too.
    if (otherBlocks) {
      {
        std::lock_guard transfer(engine_.Transfer());
        engine_.Data().Edit([&](CKTV_Data& d) {
          PresetImage& live = d.Image().live;
          const PresetImage held = live;
          d.UnpackAll(target, CKTV_Data::kEffectPartLive);
          live = held;
        });
      }
      StoreToSlot(engine_, 0, true);
    } else {
      const auto plan = block_sends::CopyBlockSends(channels, true);
      block_sends::RunBlockSends(engine_, plan, [&](CKTV_Data& d) {
        for (int ch : channels)
          d.Output(ch).Unpack(std::span(target).subspan(preset::kOutput + ch * out::kSize, out::kSize));
      });
    }
    engine_.Data().Refresh();
    return true;
  }

  // An edit comes back item by item: each channel reads its block back and marks the items that
  // changed, so the change scan sends those and nothing else.
  engine_.Data().Edit([&](CKTV_Data& d) {
    const bool track = engine_.Tracking().IsOn();
    for (int ch : channels) {
      const std::size_t base = preset::kOutput + static_cast<std::size_t>(ch) * out::kSize;
      CKTV_OutData& o = d.Output(ch);
      o.Unpack(std::span(target).subspan(base, out::kSize));
      for (const ByteRange& r : step.ranges) {
        const std::size_t begin = std::max<std::size_t>(r.offset, base);
        const std::size_t end = std::min<std::size_t>(r.offset + r.length, base + out::kSize);
        if (begin >= end) continue;
        for (std::size_t item = (begin - base) / kItemSize; item <= (end - 1 - base) / kItemSize; ++item)
          MarkOutputItem(o, static_cast<int>(item), track);
      }
    }
    d.Refresh();
  });
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
  StepScope step(*this, {What::EqBypass, channel});
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
  StepScope step(*this, {What::EqMode, channel});
  // The channel object hands the mode to its link group.
  engine_.Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetEqMode(mode); });
  const std::vector<int> group = Group(channel);
  return ResetEqOf(group, group);
}

Editor::BlockResult Editor::ResetGroupEq(int channel) {
  if (!ValidChannel(channel)) return {false, false};
  StepScope step(*this, {What::EqReset, channel});
  const std::vector<int> group = Group(channel);
  return ResetEqOf(group, group);
}

Editor::BlockResult Editor::ResetChannelEq(int channel) {
  if (!ValidChannel(channel)) return {false, false};
  StepScope step(*this, {What::EqReset, channel});
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
  StepScope step(*this, {What::Link});
  LinkResult result;
  DeviceImage& image = engine_.Image();
  if (rules::BuildLinkPairs(image) == 0) {
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
  history_.Clear();
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
