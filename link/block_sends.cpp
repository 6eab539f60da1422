#include "link/block_sends.h"

#include <array>
#include <mutex>

#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto::block_sends {

bool QueueSystemWrite(Engine& engine, SystemItem item) {
  if (!engine.Connected()) return false;
  std::lock_guard lock(engine.Transfer());
  engine.Queue().Push(engine.Builder().BuildSystemWrite(item, 0));
  return true;
}

std::vector<BlockSend> BracketedBlockSends(std::span<const int> muted, std::span<const int> sent, bool flagLast) {
  std::vector<BlockSend> plan;
  for (int ch : muted) plan.push_back({BlockSend::Kind::Mute, ch});
  for (int ch : sent) plan.push_back({BlockSend::Kind::Block, ch});
  // The flag goes on the last block, whichever channel that is: a reply to an earlier one would
  // close the progress window while blocks are still on their way.
  if (flagLast && !sent.empty()) plan[muted.size() + sent.size() - 1].finishesTransfer = true;
  for (int ch : muted) plan.push_back({BlockSend::Kind::Restore, ch});
  return plan;
}

std::vector<BlockSend> CopyBlockSends(std::span<const int> targets, bool flagLast) {
  std::vector<BlockSend> plan;
  for (int target : targets) plan.push_back({BlockSend::Kind::Block, target});
  if (flagLast && !plan.empty()) plan.back().finishesTransfer = true;
  return plan;
}

bool RunBlockSends(Engine& engine, std::span<const BlockSend> plan, const std::function<void(CKTV_Data&)>& edit) {
  // The TransferLock first, then the model lock: the worker takes them in this order too.
  std::lock_guard transfer(engine.Transfer());
  CKTV_Data& data = engine.Data();
  auto lock = data.Lock();
  if (!engine.Connected()) {
    edit(data);
    return false;
  }
  CKTVCommand& queue = engine.Queue();
  FrameBuilder& builder = engine.Builder();
  std::array<bool, kOutputChannels> soundOn{};
  bool edited = false;
  bool flagged = false;
  for (const BlockSend& step : plan) {
    if (step.channel < 0 || step.channel >= kOutputChannels) continue;
    CKTV_OutData& channel = data.Output(step.channel);
    const auto index = static_cast<std::size_t>(step.channel);
    if (step.kind != BlockSend::Kind::Mute && !edited) {
      edit(data);
      edited = true;
    }
    switch (step.kind) {
      case BlockSend::Kind::Mute:
        soundOn[index] = channel.OutputSwitch();
        channel.SetOutputSwitch(false);
        queue.Push(channel.PackItem31(builder));
        break;
      case BlockSend::Kind::Block: {
        SendDataPtr block = channel.PackAllAndSend(builder, 0);
        if (!block) break;
        if (step.finishesTransfer) {
          block->standalone = 1;
          flagged = true;
        }
        queue.Push(std::move(block));
        break;
      }
      case BlockSend::Kind::Restore:
        channel.SetOutputSwitch(soundOn[index]);
        queue.Push(channel.PackItem31(builder));
        // The item just queued carries the whole switch group as it stands now.
        channel.DirtyFlags().item31 = false;
        break;
    }
  }
  if (!edited) edit(data);
  return flagged;
}

}  // namespace zelto::block_sends
