// The editor's side of a connection: the steps the processor has not received are kept across its
// read-back, and a read-back that differs from them is a choice for the user, not a replacement.

#include <algorithm>
#include <mutex>

#include "edit/editor.h"
#include "link/block_sends.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {

bool SameOutputs(const PresetImage& a, const PresetImage& b) { return DifferingChannels(a, b).empty(); }

// Whether a queued message changes an output block (an item or a whole block).
bool WritesOutput(const CSendData& message) {
  const auto frame = message.Buffer();
  return frame.size() > frame::kBlockType && frame[frame::kCommand] == static_cast<std::uint8_t>(Command::Write) &&
         frame[frame::kBlockType] == static_cast<std::uint8_t>(BlockType::Output);
}

// Whether the change scan still has an output item to send.
bool OutputChangesPending(CKTV_Data& d) {
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const CKTV_OutData& o = d.Output(ch);
    const auto& f = o.DirtyFlags();
    if (f.name || f.item31 || f.mixA || f.mixB || f.limiter) return true;
    const CKTVEQ& eq = o.Eq();
    if (eq.HighPass().pending() || eq.LowPass().pending()) return true;
    for (int k = 0; k < eq.BandCount(); ++k)
      if (eq.Filter(k).pending()) return true;
  }
  return false;
}

}  // namespace

void Editor::ForgetUnsentIfHeld(bool whileConnected) {
  if (unsent_.Empty() || connectChoice_) return;
  if (whileConnected && !engine_.Connected()) return;
  // Off during a read-back or a recall: the live image is on its way in, not out.
  if (!engine_.Tracking().IsOn()) return;
  // The worker holds the lock for a whole exchange; one under way means a reply is outstanding.
  std::unique_lock transfer(engine_.Transfer(), std::try_to_lock);
  if (!transfer.owns_lock()) return;
  CKTVCommand& queue = engine_.Queue();
  if (queue.Count() > 1 || (queue.Count() == 1 && WritesOutput(*queue.Front()))) return;
  if (engine_.Data().Edit([](CKTV_Data& d) { return OutputChangesPending(d); })) return;
  unsent_.Forget();
}

void Editor::ConnectionClosing() {
  // The worker has stopped: what the queue still holds never got its reply.
  ForgetUnsentIfHeld(false);
}

void Editor::BeforeReadBackApplied() {
  // What a press did before the read-back stays its own; the read-back is none of it.
  CutOpenStep();
  readBackBefore_ = PackedPreset();
  heldMine_.reset();
  if (unsent_.Empty()) return;
  // A choice left open by the last connection still holds the user's values; the objects show the
  // processor's.
  heldMine_ = std::make_unique<PresetImage>(connectChoice_ ? connectChoice_->mine : PackedPreset());
}

void Editor::AfterReadBackApplied() {
  connectChoice_.reset();
  readBackStep_ = false;
  const PresetImage readBack = PackedPreset();
  RecordProcessorSettings(readBackBefore_, readBack);
  if (StepOpen()) {
    stepBefore_ = readBack;
    stepLinkBefore_ = CurrentLink();
  }
  if (!heldMine_) return;
  const std::unique_ptr<PresetImage> mine = std::move(heldMine_);
  auto choice = std::make_unique<ConnectChoice>();
  choice->processor = PackedPreset();
  choice->mine = unsent_.Merge(choice->processor, *mine);
  if (SameOutputs(choice->processor, choice->mine)) {
    // The processor already holds every unsent value.
    unsent_.Forget();
    return;
  }
  connectChoice_ = std::move(choice);
  engine_.Sink().Post(Notice::ConnectChoice, 0, 0);
}

std::vector<int> Editor::ConnectChoiceChannels() const {
  return connectChoice_ ? DifferingChannels(connectChoice_->processor, connectChoice_->mine) : std::vector<int>{};
}

Editor::BlockResult Editor::ResolveConnectChoice(bool sendMine) {
  if (!connectChoice_ || StepOpen()) return {false, false};
  const std::unique_ptr<ConnectChoice> choice = std::move(connectChoice_);
  BlockResult result;
  if (sendMine) {
    // As a loaded file goes: whole blocks for the channels that differ, nothing for the rest.
    const std::vector<int> channels = DifferingChannels(choice->processor, choice->mine);
    const auto plan = block_sends::CopyBlockSends(channels, true);
    result.flagged = block_sends::RunBlockSends(engine_, plan, [&](CKTV_Data& d) {
      for (int ch : channels)
        d.Output(ch).Unpack(std::span(choice->mine).subspan(preset::kOutput + ch * out::kSize, out::kSize));
    });
    ActiveHistory().Record({StepLabel::What::SendMine}, History::SendAs::Blocks, choice->processor, choice->mine,
                           Now());
    // The values stay unsent until the processor has answered the blocks.
  } else {
    // The read-back is already the step that undoes to the user's values (every unsent value is
    // one the history holds); keeping the processor's changes nothing more but its name.
    if (readBackStep_) ActiveHistory().SetLastLabel({StepLabel::What::KeepProcessor});
    unsent_.Forget();
  }
  engine_.Data().Refresh();
  return result;
}

}  // namespace zelto
