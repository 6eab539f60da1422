#include "presets/preset_slots.h"

#include <array>
#include <mutex>

#include "core/batch.h"
#include "link/engine.h"
#include "presets/preset_name.h"

namespace zelto {

namespace {

constexpr bool kFromLive = true;
constexpr bool kIntoLive = true;
constexpr bool kIntoSlot = false;
constexpr bool kNotSourceSlot = false;
constexpr std::uint8_t kMuted = 0;
// Preset operations are started from the preset dialogs, which the progress window disables.
constexpr bool kFromPresetDialog = true;

bool IsDeviceSlot(int slot) { return slot >= kFirstPresetSlot && slot <= kDeviceSlots; }

SlotOutcome RefuseNotConnected(Engine& engine) {
  engine.View().ShowMessage(UserMessage::UnableToConnect);
  return SlotOutcome::NotConnected;
}

SlotOutcome ShowProgress(Engine& engine, int count) {
  engine.View().SetTransferRange(count);
  engine.View().ShowTransferWindow(kFromPresetDialog);
  return SlotOutcome::Queued;
}

void PushOutputWrites(Engine& engine, Batch& batch, int slot, bool fromLive) {
  for (int c = 0; c < kOutputChannels; ++c)
    batch.Push(engine.Builder().BuildBlockWrite(slot, BlockType::Output, c, fromLive, kNotSourceSlot));
}

void PushOutputReads(Engine& engine, Batch& batch, int slot, bool intoLive) {
  for (int c = 0; c < kOutputChannels; ++c)
    batch.Push(engine.Builder().BuildBlockRead(slot, BlockType::Output, c, intoLive));
}

}  // namespace

bool PresetLinkOpen(Engine& engine) {
  // During a firmware update the worker runs update exchanges only: a preset batch queued then
  // would be taken for update messages.
  return engine.Flags().connected && engine.Flags().linkActive && !engine.Flags().updateMode && engine.Link().IsOpen();
}

void QuietTransfer(Engine& engine, const std::function<void()>& body) {
  auto settings = engine.Image().SystemSettings();
  const std::uint8_t saved = settings[sys::kMasterSwitch];
  settings[sys::kMasterSwitch] = kMuted;
  engine.Queue().Push(engine.Builder().BuildSystemWrite(SystemItem::Settings, 0));
  body();
  settings[sys::kMasterSwitch] = saved;
  engine.Queue().Push(engine.Builder().BuildSystemWrite(SystemItem::Settings, 0));
}

SlotOutcome StoreToSlot(Engine& engine, int slot, bool packObjects) {
  if (slot != 0 && !IsDeviceSlot(slot)) return SlotOutcome::BadSlot;
  if (!PresetLinkOpen(engine)) return RefuseNotConnected(engine);
  int count = 0;
  {
    std::lock_guard lock(engine.Transfer());
    const auto queueStore = [&] {
      Batch batch(engine.Queue(), Batch::Kind::Write);
      batch.Push(engine.Builder().BuildSystemWrite(SystemItem::PresetName, slot));
      PushOutputWrites(engine, batch, slot, kFromLive);
      count = batch.Finish();
    };
    if (packObjects) {
      engine.Data().PackAll();
      queueStore();
    } else {
      QuietTransfer(engine, queueStore);
    }
    engine.batchCounter = count;
  }
  return ShowProgress(engine, count);
}

SlotOutcome SaveToSlotNamed(Engine& engine, int slot, std::string_view name) {
  if (!IsDeviceSlot(slot)) return SlotOutcome::BadSlot;
  if (IsBlankName(name)) return SlotOutcome::BlankName;
  if (!PresetLinkOpen(engine)) return RefuseNotConnected(engine);
  {
    std::lock_guard lock(engine.Transfer());
    const PresetNameField field = NameToField(name);
    std::ranges::copy(field, engine.Image().Preset(slot).begin() + preset::kName);
    std::ranges::copy(field, engine.Image().live.begin() + preset::kName);
  }
  return StoreToSlot(engine, slot, false);
}

SlotOutcome RecallSlot(Engine& engine, int slot, bool fromDialog) {
  if (!IsDeviceSlot(slot)) return SlotOutcome::BadSlot;
  if (!PresetLinkOpen(engine)) return RefuseNotConnected(engine);
  int count = 0;
  {
    std::lock_guard lock(engine.Transfer());
    // Edits made while the slot comes in would be overwritten by it: don't remember them.
    engine.Tracking().Set(false);
    const auto queueRecall = [&] {
      Batch batch(engine.Queue(), Batch::Kind::Read);
      PushOutputReads(engine, batch, slot, kIntoLive);
      count = batch.Finish();
    };
    if (fromDialog)
      queueRecall();
    else
      QuietTransfer(engine, queueRecall);
    engine.batchCounter = count;
  }
  return ShowProgress(engine, count);
}

SlotOutcome RecallFromLoadDialog(Engine& engine, int slot) {
  const SlotOutcome outcome = RecallSlot(engine, slot, false);
  if (outcome == SlotOutcome::Queued) {
    std::lock_guard lock(engine.Transfer());
    engine.Image().currentPreset[0] = static_cast<std::uint8_t>(slot);
  }
  return outcome;
}

SlotOutcome DeleteSlot(Engine& engine, int slot) {
  if (!IsDeviceSlot(slot)) return SlotOutcome::BadSlot;
  if (!PresetLinkOpen(engine)) return RefuseNotConnected(engine);
  int count = 0;
  {
    std::lock_guard lock(engine.Transfer());
    NameToField("", engine.Image().Preset(slot).subspan(preset::kName, preset::kNameSize));
    Batch batch(engine.Queue(), Batch::Kind::Write);
    batch.Push(engine.Builder().BuildSystemWrite(SystemItem::PresetName, slot));
    count = batch.Finish();
    engine.batchCounter = count;
  }
  return ShowProgress(engine, count);
}

SlotOutcome ReadAllSlots(Engine& engine) {
  if (!PresetLinkOpen(engine)) return RefuseNotConnected(engine);
  int count = 0;
  {
    std::lock_guard lock(engine.Transfer());
    QuietTransfer(engine, [&] {
      Batch batch(engine.Queue(), Batch::Kind::Read);
      for (int slot = kFirstPresetSlot; slot <= kDeviceSlots; ++slot) {
        batch.Push(engine.Builder().BuildBlockRead(slot, BlockType::MusicIn, kMusicChannelBase, kIntoSlot));
        PushOutputReads(engine, batch, slot, kIntoSlot);
      }
      count = batch.Finish();
    });
    engine.batchCounter = count;
  }
  return ShowProgress(engine, count);
}

SlotOutcome SendAll(Engine& engine) {
  if (!PresetLinkOpen(engine)) return RefuseNotConnected(engine);
  int count = 0;
  {
    std::lock_guard lock(engine.Transfer());
    auto& image = engine.Image();
    auto& builder = engine.Builder();
    auto& queue = engine.Queue();
    std::array<std::uint8_t, kOutputChannels> savedSwitch{};
    {
      Batch batch(queue, Batch::Kind::Write);
      // Every output stays silent while the blocks change under it.
      for (int c = 0; c < kOutputChannels; ++c) {
        auto block = image.Block(0, BlockType::Output, c);
        savedSwitch[static_cast<std::size_t>(c)] = block[out::kSwitch];
        block[out::kSwitch] = kMuted;
        batch.Push(builder.BuildItemWrite(BlockType::Output, c, out::kItemSwitch));
      }
      batch.Push(builder.BuildBlockWrite(0, BlockType::MusicIn, kMusicChannelBase, kFromLive, kNotSourceSlot));
      PushOutputWrites(engine, batch, 0, kFromLive);
      for (int slot = kFirstPresetSlot; slot <= kDeviceSlots; ++slot) {
        batch.Push(builder.BuildSystemWrite(SystemItem::PresetName, slot));
        batch.Push(builder.BuildBlockWrite(slot, BlockType::MusicIn, kMusicChannelBase, !kFromLive, kNotSourceSlot));
        PushOutputWrites(engine, batch, slot, !kFromLive);
      }
      count = batch.Finish();
    }
    for (int c = 0; c < kOutputChannels; ++c) {
      image.Block(0, BlockType::Output, c)[out::kSwitch] = savedSwitch[static_cast<std::size_t>(c)];
      queue.Push(builder.BuildItemWrite(BlockType::Output, c, out::kItemSwitch));
    }
    engine.batchCounter = count;
  }
  return ShowProgress(engine, count);
}

}  // namespace zelto
