// Bringing back the work of an editor that did not exit cleanly.
#include "edit/editor.h"
#include "link/engine.h"

namespace zelto {

AbCompare::Outcome Editor::RestoreRecovered(const AbSnapshot& sides) {
  if (!ab_ || StepOpen()) return {};
  // The recovered link states were taken in with the sides as they stand here; they follow the
  // side that is heard once the restore is done.
  if (sides.active != ActiveSide()) {
    const LinkState heard = CurrentLink();
    SetLink(otherLink_);
    otherLink_ = heard;
  }
  // One step over the live tuning of the side heard, undone as whole blocks: an undo gives the
  // processor back the settings it had before the restore.
  StepScope step(*this, {StepLabel::What::SendMine}, History::SendAs::Blocks);
  return ab_->Restore(sides);
}

}  // namespace zelto
