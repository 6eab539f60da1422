#include "model/ktv_data.h"

#include <algorithm>
#include <cassert>

#include "core/bytes.h"
#include "core/change_tracking.h"

namespace zelto {

CKTV_Data::CKTV_Data(DeviceImage& image, const ChangeTracking& tracking)
    : image_(image),
      tracking_(tracking),
      effect_(image, tracking),
      mic_(image, tracking),
      music_(image, tracking),
      outputs_(image, tracking) {
  for (int ch = 0; ch < kOutputChannels; ++ch) image_.linkGroups[static_cast<std::size_t>(ch)] = ch;
}

void CKTV_Data::UnpackAll(std::span<std::uint8_t> presetImage, int part) {
  assert(presetImage.size() >= preset::kSize);
  if (presetImage.size() < preset::kSize) return;
  ModelLock lock(mutex_);
  if (part == kEffectPartLive || part == kEffectPartSix)
    effect_.Unpack(presetImage.subspan(preset::kEffect, fx::kSize));
  Mic().Unpack(presetImage.subspan(preset::kMicIn, in::kSize));
  Music().Unpack(presetImage.subspan(preset::kMusicIn, in::kSize));
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    auto block = presetImage.subspan(preset::kOutput + static_cast<std::size_t>(ch) * out::kSize, out::kSize);
    if (ch < kClampedCrossoverChannels) {
      auto x = block.subspan(out::kCrossover, xover::kSize);
      PutU16(x, xover::kHpFrequency,
             std::min<std::uint16_t>(GetU16(x, xover::kHpFrequency), static_cast<std::uint16_t>(kFilterMaxHz)));
      PutU16(x, xover::kLpFrequency,
             std::max<std::uint16_t>(GetU16(x, xover::kLpFrequency), static_cast<std::uint16_t>(kFilterMinHz)));
    }
    Output(ch).Unpack(block);
  }
}

void CKTV_Data::PackAll() {
  ModelLock lock(mutex_);
  effect_.PackAll();
  Mic().PackAll();
  Music().PackAll();
  for (int ch = 0; ch < kOutputChannels; ++ch) Output(ch).PackAll();
}

void CKTV_Data::FitToGraph(const GraphRect& plot) {
  ModelLock lock(mutex_);
  effect_.Eq().FitToGraph(plot);
  Mic().Eq().FitToGraph(plot);
  Music().Eq().FitToGraph(plot);
  for (int ch = 0; ch < kOutputChannels; ++ch) Output(ch).Eq().FitToGraph(plot);
}

void CKTV_Data::Refresh() {
  ModelLock lock(mutex_);
  effect_.Eq().SumCurve();
  Mic().Eq().SumCurve();
  Music().Eq().SumCurve();
  for (int ch = 0; ch < kOutputChannels; ++ch) Output(ch).Eq().SumCurve();
}

void CKTV_Data::ClearAllDirty() {
  ModelLock lock(mutex_);
  settingsChanged_ = false;
  Music().DirtyFlags() = {};
  effect_.Eq().SettleAll();
  Mic().Eq().SettleAll();
  Music().Eq().SettleAll();
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    Output(ch).DirtyFlags() = {};
    Output(ch).Eq().SettleAll();
  }
}

void CKTV_Data::MarkSettingsChanged() {
  ModelLock lock(mutex_);
  settingsChanged_ = tracking_.IsOn();
}

SendDataPtr CKTV_Data::NextChangeMessage(FrameBuilder& builder) {
  ModelLock lock(mutex_);
  if (settingsChanged_) {
    settingsChanged_ = false;
    return builder.BuildSystemWrite(SystemItem::Settings, 0);
  }
  CMusic_InData& music = Music();
  if (music.DirtyFlags().item9) {
    music.DirtyFlags().item9 = false;
    return music.PackItem9(builder);
  }
  if (music.DirtyFlags().item11) {
    music.DirtyFlags().item11 = false;
    return music.PackLevel(builder);
  }
  for (int ch = 0; ch < kOutputChannels; ++ch)
    if (auto message = NextOutputChange(Output(ch), builder)) return message;
  return builder.BuildStatusPoll();
}

bool CKTV_Data::NothingToSend() {
  // The same items in the same terms as the scan above and below: what it would send is exactly
  // what is still to be sent.
  ModelLock lock(mutex_);
  if (settingsChanged_ || Music().DirtyFlags().item9 || Music().DirtyFlags().item11) return false;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const CKTV_OutData& o = Output(ch);
    const auto& dirty = o.DirtyFlags();
    if (dirty.name || dirty.item31 || dirty.mixA || dirty.mixB || dirty.limiter) return false;
    for (int i = 0; i < o.Eq().FilterCount(); ++i)
      if (o.Eq().Filter(i).pending()) return false;
  }
  return true;
}

SendDataPtr CKTV_Data::NextOutputChange(CKTV_OutData& o, FrameBuilder& builder) {
  auto& dirty = o.DirtyFlags();
  if (dirty.name) {
    dirty.name = false;
    // A refused name leaves the processor's name as it is; the scan goes on to the next item.
    if (auto message = o.PackName(builder)) return message;
  }
  if (dirty.item31) {
    dirty.item31 = false;
    return o.PackItem31(builder);
  }
  // Crossover and band flags stay set until the filter has reached its target frequency.
  if (o.Eq().HighPass().pending() || o.Eq().LowPass().pending()) return o.SettleAndPackCrossover(builder);
  if (dirty.mixA) {
    dirty.mixA = false;
    return o.PackMixA(builder);
  }
  if (dirty.mixB) {
    dirty.mixB = false;
    return o.PackMixB(builder);
  }
  if (dirty.limiter) {
    dirty.limiter = false;
    return o.PackLimiter(builder);
  }
  for (int k = 0; k < o.Eq().BandCount(); ++k)
    if (o.Eq().Filter(k).pending()) return o.SettleAndPackBand(k, builder);
  return nullptr;
}

}  // namespace zelto
