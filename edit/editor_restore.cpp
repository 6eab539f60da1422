// Bringing back the work of an editor that did not exit cleanly.
#include "edit/editor.h"
#include "link/engine.h"

namespace zelto {

AbCompare::Outcome Editor::RestoreRecovered(const AbSnapshot& sides) {
  if (!ab_ || StepOpen()) return {};
  // One step over the live tuning, undone as whole blocks: an undo gives the processor back the
  // settings it had before the restore.
  StepScope step(*this, {StepLabel::What::SendMine}, true);
  return ab_->Restore(sides);
}

}  // namespace zelto
