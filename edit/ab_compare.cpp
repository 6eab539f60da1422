#include "edit/ab_compare.h"

#include <algorithm>
#include <mutex>

#include "core/change_tracking.h"
#include "link/engine.h"
#include "model/ktv_data.h"
#include "presets/preset_slots.h"

namespace zelto {

namespace {

constexpr bool kFromLive = true;
constexpr bool kNotSourceSlot = false;
constexpr int kLiveSlot = 0;

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, std::size_t offset, std::size_t size) {
  return std::equal(a.begin() + static_cast<std::ptrdiff_t>(offset),
                    a.begin() + static_cast<std::ptrdiff_t>(offset + size),
                    b.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

int TuningDifference::OutputCount() const { return static_cast<int>(std::ranges::count(outputs, true)); }

int TuningDifference::BlockCount() const { return OutputCount() + int{mic} + int{music} + int{effect}; }

TuningDifference DiffTunings(std::span<const std::uint8_t, preset::kSize> from,
                             std::span<const std::uint8_t, preset::kSize> to) {
  TuningDifference d;
  for (int c = 0; c < kOutputChannels; ++c)
    d.outputs[static_cast<std::size_t>(c)] =
        !SameBytes(from, to, preset::kOutput + static_cast<std::size_t>(c) * out::kSize, out::kSendSize);
  d.mic = !SameBytes(from, to, preset::kMicIn, in::kSize);
  d.music = !SameBytes(from, to, preset::kMusicIn, in::kSize);
  d.effect = !SameBytes(from, to, preset::kEffect, fx::kSendSize);
  return d;
}

AbCompare::AbCompare(Engine& engine) : engine_(engine) {}

AbCompare::~AbCompare() = default;

PresetImage AbCompare::PackLive() {
  engine_.Data().PackAll();
  return engine_.Image().live;
}

PresetImage AbCompare::PackedCopy() {
  // The live image is also what the change scan believes the processor holds (it steps a pending
  // frequency from there): pack, copy, and put it back as it was.
  auto model = engine_.Data().Lock();
  const PresetImage held = engine_.Image().live;
  PresetImage packed = PackLive();
  engine_.Image().live = held;
  return packed;
}

AbCompare::Outcome AbCompare::LoadIntoLive(const PresetImage& tuning) {
  Outcome outcome;
  DeviceImage& image = engine_.Image();
  outcome.changed = DiffTunings(image.live, tuning);
  image.live = tuning;
  // Unpacking limits a few crossover bytes in the image; what goes out is what the objects hold.
  engine_.Data().UnpackAll(image.live, CKTV_Data::kEffectPartLive);
  engine_.Data().PackAll();
  if (!PresetLinkOpen(engine_)) return outcome;

  auto& builder = engine_.Builder();
  auto& queue = engine_.Queue();
  const auto push = [&](BlockType type, int channel) {
    SendDataPtr message = builder.BuildBlockWrite(kLiveSlot, type, channel, kFromLive, kNotSourceSlot);
    if (!message) return;
    queue.Push(std::move(message));
    ++outcome.queued;
  };
  if (outcome.changed.mic) push(BlockType::MicIn, CMIC_InData::kChannel);
  if (outcome.changed.music) push(BlockType::MusicIn, CMusic_InData::kChannel);
  if (outcome.changed.effect) push(BlockType::Effect, 0);
  for (int c = 0; c < kOutputChannels; ++c)
    if (outcome.changed.outputs[static_cast<std::size_t>(c)]) push(BlockType::Output, c);
  return outcome;
}

AbCompare::Outcome AbCompare::Switch() {
  std::lock_guard lock(engine_.Transfer());
  const AbSide next = OtherSide(active_);
  sides_.Side(active_) = PackLive();
  if (!started_) {
    sides_.Side(next) = sides_.Side(active_);
    started_ = true;
  }
  active_ = next;
  // Edits not yet sent stay marked: the change scan sends them at the values now in the objects.
  return LoadIntoLive(sides_.Side(next));
}

AbCompare::Outcome AbCompare::Copy(AbSide from, AbSide to) {
  std::lock_guard lock(engine_.Transfer());
  sides_.Side(active_) = PackLive();
  if (!started_) {
    sides_.Side(OtherSide(active_)) = sides_.Side(active_);
    started_ = true;
  }
  if (from == to) return {};
  sides_.Side(to) = sides_.Side(from);
  if (to != active_) return {};
  return LoadIntoLive(sides_.Side(to));
}

PresetImage AbCompare::OtherTuning() {
  if (started_) return sides_.Side(OtherSide(active_));
  std::lock_guard lock(engine_.Transfer());
  return PackedCopy();
}

void AbCompare::SetOtherTuning(const PresetImage& tuning) {
  sides_.Side(OtherSide(active_)) = tuning;
  started_ = true;
}

AbSnapshot AbCompare::Snapshot() {
  std::lock_guard lock(engine_.Transfer());
  AbSnapshot s = sides_;
  s.active = active_;
  s.started = started_;
  s.Side(active_) = PackedCopy();
  if (!started_) s.Side(OtherSide(active_)) = s.Side(active_);
  return s;
}

AbSnapshot AbCompare::SnapshotAround(const PresetImage& active) const {
  AbSnapshot s = sides_;
  s.active = active_;
  s.started = started_;
  s.Side(active_) = active;
  if (!started_) s.Side(OtherSide(active_)) = active;
  return s;
}

AbCompare::Outcome AbCompare::Restore(const AbSnapshot& snapshot) {
  std::lock_guard lock(engine_.Transfer());
  // As a switch does: what differs is judged against the objects as packed now.
  PackLive();
  Adopt(snapshot);
  return LoadIntoLive(snapshot.Side(snapshot.active));
}

void AbCompare::Adopt(const AbSnapshot& snapshot) {
  sides_ = snapshot;
  active_ = snapshot.active;
  started_ = snapshot.started;
}

CKTV_Data& AbCompare::OtherModel(const GraphRect& plot) {
  if (!otherModel_) {
    otherImage_ = std::make_unique<DeviceImage>();
    InitDeviceImage(*otherImage_);
    otherTracking_ = std::make_unique<ChangeTracking>(false);
    otherModel_ = std::make_unique<CKTV_Data>(*otherImage_, *otherTracking_);
  }
  otherImage_->live = OtherTuning();
  otherModel_->UnpackAll(otherImage_->live, CKTV_Data::kEffectPartLive);
  otherModel_->FitToGraph(plot);
  otherModel_->Refresh();
  return *otherModel_;
}

}  // namespace zelto
