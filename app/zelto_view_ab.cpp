// The form's side of A/B comparison.
#include <QPainter>

#include "app/ui_state.h"
#include "app/zelto_view.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "curves/ui/response_graph.h"
#include "measure/ui/measurement_tools.h"

namespace zelto {

void CZeltoView::SwitchAb() {
  if (closing_ || UpdateRunning()) return;
  editor().SwitchAb();
  RefreshAbDisplay();
  RefreshAll();
}

void CZeltoView::CopyAb(AbSide from, AbSide to) {
  if (closing_ || UpdateRunning()) return;
  const bool intoActive = to == runtime_->ab().Active();
  editor().CopyAb(from, to);
  RefreshAbDisplay();
  if (intoActive) RefreshAll();
}

void CZeltoView::ToggleAbCurve() {
  abCurve_ = !abCurve_;
  RefreshAbDisplay();
}

void CZeltoView::RefreshAbDisplay() {
  abButton_->SetOn(runtime_->ab().Active() == AbSide::B);
  // Before B exists both sides are the same: there is nothing to compare against.
  if (abCurve_ && runtime_->ab().Started())
    graph_->SetComparison(&runtime_->ab().OtherModel());
  else
    graph_->SetComparison(nullptr);
  update(QRect(0, 0, 260, 50));
}

void CZeltoView::PaintAbBadge(QPainter& p) {
  const bool b = runtime_->ab().Active() == AbSide::B;
  const QRect badge(232, 29, 24, 16);
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(b ? QColor(0, 120, 215) : QColor(60, 66, 78));
  p.drawRoundedRect(badge, 4, 4);
  p.setFont(skin::FaceFont(10, true));
  p.setPen(skin::kText);
  p.drawText(badge, Qt::AlignCenter, b ? QStringLiteral("B") : QStringLiteral("A"));
  p.restore();
}

}  // namespace zelto
