#pragma once
// The processor's six preset slots: storing the live settings into one, recalling one into the
// live settings, deleting a name, reading every slot back and sending everything after an
// all-slots file was loaded. Each operation queues its whole batch under the TransferLock and
// shows the progress window; without an open link it shows "unable to connect" through the view
// and queues nothing.
//
// All of these run on the window thread.

#include <functional>
#include <string_view>

namespace zelto {

class Engine;

/// Slots the processor stores (1..6); slot 0 always means the live settings.
inline constexpr int kDeviceSlots = 6;

enum class SlotOutcome {
  Queued,        // the batch is queued and the progress window shown
  NotConnected,  // "unable to connect" was shown; nothing queued, nothing changed
  BlankName,     // the name is all spaces; the slot is untouched (PresetMessage::BlankName)
  BadSlot,       // a slot number the operation does not take; nothing happened
};

/// Whether a preset operation may talk to the processor now.
bool PresetLinkOpen(Engine& engine);

/// Mutes the master output around `body`: byte 5 of the system settings saved and set to 0 and
/// SYS_SETTINGS written, then `body`, then the saved value put back and SYS_SETTINGS written
/// again. Neither write is counted. The caller holds the TransferLock.
void QuietTransfer(Engine& engine, const std::function<void()>& body);

/// Stores the live output blocks into `slot` (0..6) with the stored name of that slot: the name
/// write and the eight output blocks, 9 counted messages. With `packObjects` every object first
/// packs itself into the live image; without it the transfer is wrapped in QuietTransfer.
SlotOutcome StoreToSlot(Engine& engine, int slot, bool packObjects);

/// The save dialog's store: `name` becomes the stored name of `slot` (1..6) and the live name,
/// then StoreToSlot(slot, false). A blank name stores nothing.
SlotOutcome SaveToSlotNamed(Engine& engine, int slot, std::string_view name);

/// Reads the eight output blocks of `slot` (1..6) into the live image. The change-tracking switch
/// is off until the last block has arrived (Engine::OnLiveReadDone turns it on again). Without
/// `fromDialog` the reads are wrapped in QuietTransfer.
SlotOutcome RecallSlot(Engine& engine, int slot, bool fromDialog);

/// The load dialog's click on slot `slot`: RecallSlot(slot, false) and CurrentPreset = slot.
SlotOutcome RecallFromLoadDialog(Engine& engine, int slot);

/// Empties the stored name of `slot` (1..6) and writes it; the slot's parameters stay on the
/// processor. One counted message.
SlotOutcome DeleteSlot(Engine& engine, int slot);

/// Reads the music input block and the eight output blocks of slots 1..6 into the stored slots
/// (54 counted reads, wrapped in QuietTransfer). The last reply posts Notice::PresetsReadDone.
SlotOutcome ReadAllSlots(Engine& engine);

/// Sends the live settings and stored slots 1..6 after an all-slots file was loaded: every output
/// muted by an item-31 write, the live music and output blocks, then name, music and output
/// blocks of slots 1..6 (77 counted messages), then each output's switch put back.
SlotOutcome SendAll(Engine& engine);

}  // namespace zelto
