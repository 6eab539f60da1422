#pragma once
// Messages of the commands that go out as whole output blocks (EQ resets, mode switches, the EQ
// bypass, channel copies) and the system-settings writes, queued under the TransferLock.

#include <functional>
#include <span>
#include <vector>

#include "core/protocol.h"

namespace zelto {

class CKTV_Data;
class Engine;

namespace block_sends {

/// Queues BuildSystemWrite(item, slot 0) under the transfer lock when a processor is connected;
/// returns whether it was queued (nothing is sent later by itself when not connected).
bool QueueSystemWrite(Engine& engine, SystemItem item);

/// One message of a command that sends whole output blocks.
struct BlockSend {
  enum class Kind { Mute, Block, Restore };
  Kind kind;
  int channel;
  /// The message carries the transfer-finished flag: its reply closes the progress window.
  bool finishesTransfer = false;
  bool operator==(const BlockSend&) const = default;
};
/// EQ resets, mode switches and the EQ bypass: a muting item for every channel of `muted`, the
/// block of every channel of `sent`, then the item restoring every muted channel's switch. With
/// `flagLast` (the link button is on) the last block carries the transfer-finished flag.
std::vector<BlockSend> BracketedBlockSends(std::span<const int> muted, std::span<const int> sent, bool flagLast);
/// Channel copies: the block of every target channel in order, the last one flagged with `flagLast`.
std::vector<BlockSend> CopyBlockSends(std::span<const int> targets, bool flagLast);

/// Runs `edit` on the parameter objects and, when a processor is connected, queues `plan`: muting
/// items as the plan reaches them, then `edit`, then the blocks and the restoring items, each
/// packed from the objects when it is queued. Takes the TransferLock, then the model lock, so the
/// link worker sends nothing of its own in between. Without a connection only `edit` runs (a
/// connection reads the processor back over it later). Returns whether a queued message carries
/// the transfer-finished flag, so the caller shows the progress window.
bool RunBlockSends(Engine& engine, std::span<const BlockSend> plan, const std::function<void(CKTV_Data&)>& edit);

}  // namespace block_sends
}  // namespace zelto
