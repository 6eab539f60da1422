// The measurement panel of the file menu: measuring the car through the sound card.
#include <QPointer>
#include <QTimer>

#include <memory>

#include "app/zelto_view.h"
#include "core/platform.h"
#include "measure/ui/measurement_tools.h"

#ifdef ZELTO_HAVE_ACOUSTICS
#include "acoustics/measurement_routing.h"
#include "acoustics/ui/auto_tune_dialog.h"
#include "acoustics/ui/measure_panel.h"
#include "link/engine.h"
#endif

namespace zelto {

std::string CZeltoView::MeasurementGuardPath() const {
#ifdef ZELTO_HAVE_ACOUSTICS
  // Beside the recovery file, so both are found at the next start; without one (a screenshot
  // run) in the per-user state folder.
  std::filesystem::path guard = StateFolder() / acoustics::kGuardFileName;
  if (Recovery()) guard = std::filesystem::path(Recovery()->Path()).parent_path() / acoustics::kGuardFileName;
  return guard.string();
#else
  return {};
#endif
}

QWidget* CZeltoView::OpenMeasurePanel() {
#ifdef ZELTO_HAVE_ACOUSTICS
  MeasurementTools* tools = Measurements();
  auto* panel = new MeasurePanel(
      editor(), tools->Held(), [this] { RedrawGraph(); }, MeasurementGuardPath(), ui_.language, window());
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->show();
  return panel;
#else
  return nullptr;
#endif
}

AutoTuneDialog* CZeltoView::OpenAutoTuneDialog() {
#ifdef ZELTO_HAVE_ACOUSTICS
  auto* dialog = new AutoTuneDialog(
      editor(), Measurements()->Held(), [this] { RedrawGraph(); }, MeasurementGuardPath(), ui_.language,
      AutoTuneChoices::FromEnvironment(), window());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
  return dialog;
#else
  return nullptr;
#endif
}

void CZeltoView::RestoreLeftoverMeasurement() {
#ifdef ZELTO_HAVE_ACOUSTICS
  auto guard = std::make_shared<acoustics::MeasurementGuard>(MeasurementGuardPath());
  if (!acoustics::RestoreLeftover(editor(), *guard)) return;
  ShowUserText(ui_.language == Language::Chinese
                   ? QStringLiteral("已恢复上次中断的测量所更改的设置（静音和输入混音）。")
                   : QStringLiteral("Put back the mutes and input mixes that an "
                                    "interrupted measurement had changed."));
  // The record stays until the processor has every setting back; a link lost before that keeps
  // it for the next read-back.
  auto* wait = new QTimer(this);
  wait->setInterval(50);
  connect(wait, &QTimer::timeout, this, [this, guard, wait] {
    if (engine().Connected() && !engine().EverythingSent()) return;
    if (engine().Connected()) guard->End();
    wait->deleteLater();
  });
  wait->start();
#endif
}

}  // namespace zelto
