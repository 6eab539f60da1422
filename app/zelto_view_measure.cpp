// The measurement panel of the file menu: measuring the car through the sound card.
#include <QPointer>

#include "app/zelto_view.h"
#include "core/platform.h"
#include "measure/ui/measurement_tools.h"

#ifdef ZELTO_HAVE_ACOUSTICS
#include "acoustics/ui/measure_panel.h"
#endif

namespace zelto {

void CZeltoView::OpenMeasurePanel() {
#ifdef ZELTO_HAVE_ACOUSTICS
  // The record of a running measurement sits beside the recovery file, so both are found at the
  // next start; without one (a screenshot run) in the per-user state folder.
  std::filesystem::path guard = StateFolder() / acoustics::kGuardFileName;
  if (Recovery()) guard = std::filesystem::path(Recovery()->Path()).parent_path() / acoustics::kGuardFileName;
  MeasurementTools* tools = Measurements();
  auto* panel = new MeasurePanel(
      editor(), tools->Held(), [this] { RedrawGraph(); }, guard.string(), ui_.language, window());
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->show();
#endif
}

}  // namespace zelto
