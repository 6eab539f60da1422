// The window's side of the tuning history: the keys, the settings menu's entries and the steps a
// press on the form opens.

#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcut>

#include "app/view_ids.h"
#include "app/zelto_view.h"
#include "curves/ui/response_graph.h"
#include "edit/history.h"

namespace zelto {

void CZeltoView::BuildHistoryKeys() {
  const auto add = [this](const QKeySequence& keys, void (CZeltoView::*action)()) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, action);
  };
  add(QKeySequence(Qt::CTRL | Qt::Key_Z), &CZeltoView::UndoStep);
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &CZeltoView::RedoStep);
  add(QKeySequence(Qt::CTRL | Qt::Key_Y), &CZeltoView::RedoStep);
}

void CZeltoView::TrackPressStep(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) return;
  if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || w->window() != window()) return;
  // A press that no child takes reaches its parents too: only the first opens the step.
  if (type == QEvent::MouseButtonPress && !pressStep_) {
    pressStep_ = true;
    editor_->BeginStep();
  } else if (type == QEvent::MouseButtonRelease && pressStep_) {
    // The graph reports a drag's last move on its next tick; it belongs to this step. After a
    // release anywhere else nothing is pending and this does nothing.
    graph_->FlushChange();
    pressStep_ = false;
    editor_->EndStep();
  }
}

void CZeltoView::UndoStep() {
  if (pressStep_) return;  // not in the middle of a drag
  if (!editor_->Undo()) return;
  RefreshAll();
  RefreshAbDisplay();  // the step may have been an A/B switch or copy
}

void CZeltoView::RedoStep() {
  if (pressStep_) return;
  if (!editor_->Redo()) return;
  RefreshAll();
  RefreshAbDisplay();
}

QString CZeltoView::UndoText() const {
  const bool zh = ui_.language == Language::Chinese;
  QString text = QString::fromUtf8(zh ? "撤销" : "Undo");
  if (const History::Step* step = editor_->Steps().UndoStep())
    text += QLatin1Char(' ') + QString::fromStdString(StepText(step->label, ui_.language));
  return text;
}

QString CZeltoView::RedoText() const {
  const bool zh = ui_.language == Language::Chinese;
  QString text = QString::fromUtf8(zh ? "重做" : "Redo");
  if (const History::Step* step = editor_->Steps().RedoStep())
    text += QLatin1Char(' ') + QString::fromStdString(StepText(step->label, ui_.language));
  return text;
}

bool CZeltoView::MenuCommandEnabled(int command) const {
  if (command == menu_cmd::kUndo) return editor_->Steps().CanUndo();
  if (command == menu_cmd::kRedo) return editor_->Steps().CanRedo();
  return true;
}

void CZeltoView::ClearHistory() {
  editor_->ClearHistory();
  const bool zh = ui_.language == Language::Chinese;
  SetStatus(QString::fromUtf8(zh ? "撤销记录已清除" : "Undo history cleared"));
}

}  // namespace zelto
