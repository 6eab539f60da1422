// The window's side of the tuning history: the keys, the settings menu's entries, the steps a
// drag on the form opens and the history panel.

#include <QGuiApplication>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcut>
#include <QTimer>

#include "app/history_panel.h"
#include "app/sections/top_bar_section.h"
#include "app/view_ids.h"
#include "app/zelto_view.h"
#include "controls/skin.h"
#include "curves/ui/response_graph.h"
#include "edit/history.h"

namespace zelto {

namespace {

// How often an open panel looks whether the history changed.
constexpr int kPanelFollowMs = 250;

// Whether a press on `w` starts a gesture that makes many edits (a drag, a held spin arrow): the
// control, or one of its parents, says so.
bool StartsGesture(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (w->property(skin::kStepGesture).toBool()) return true;
  return false;
}

}  // namespace

void CZeltoView::BuildHistoryKeys() {
  const auto add = [this](const QKeySequence& keys, void (CZeltoView::*action)()) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, action);
  };
  add(QKeySequence(Qt::CTRL | Qt::Key_Z), &CZeltoView::UndoStep);
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &CZeltoView::RedoStep);
  add(QKeySequence(Qt::CTRL | Qt::Key_Y), &CZeltoView::RedoStep);
  add(QKeySequence(Qt::CTRL | Qt::Key_H), &CZeltoView::OpenHistoryPanel);
  graph_->setProperty(skin::kStepGesture, true);
}

void CZeltoView::TrackPressStep(QObject* watched, QEvent* event) {
  const auto type = event->type();
  // Whatever takes the mouse away from the form (a pop-up, a dialog, another window) ends the
  // gesture: its release will never come here.
  if (type == QEvent::WindowDeactivate || type == QEvent::Hide) {
    if (watched == graph_ || type == QEvent::WindowDeactivate) ClosePressStep();
    return;
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) return;
  if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || w->window() != window()) return;
  if (type == QEvent::MouseButtonRelease) {
    ClosePressStep();
    return;
  }
  // A press that no child takes reaches its parents too, with the same time stamp: only the first
  // counts. A new press while a step is open means its release was lost: that step ends here.
  const auto stamp = static_cast<QMouseEvent*>(event)->timestamp();
  if (pressStep_ && stamp == pressStamp_) return;
  ClosePressStep();
  // Clicks, typed values and list choices are steps of their own (each is one edit call); only a
  // gesture holds a step open from its press to its release.
  if (!StartsGesture(w)) return;
  pressStep_ = true;
  pressStamp_ = stamp;
  editor().BeginStep();
}

void CZeltoView::ClosePressStep() {
  if (!pressStep_) return;
  // The graph reports a drag's last move on its next tick; it belongs to this step. After a
  // release anywhere else nothing is pending and this does nothing.
  graph_->FlushChange();
  pressStep_ = false;
  editor().EndStep();
  RefreshHistoryPanel();
}

void CZeltoView::UndoStep() {
  // A press whose release was lost (no button is down any more) ends here, not in the next drag.
  if (pressStep_ && QGuiApplication::mouseButtons() == Qt::NoButton) ClosePressStep();
  if (pressStep_) return;  // not in the middle of a drag
  const History::Step* step = editor().Steps().UndoStep();
  const bool load = step && step->label.what == StepLabel::What::FileLoad;
  if (!editor().Undo()) return;
  ShowHistoryMove(load);
}

void CZeltoView::RedoStep() {
  if (pressStep_ && QGuiApplication::mouseButtons() == Qt::NoButton) ClosePressStep();
  if (pressStep_) return;
  const History::Step* step = editor().Steps().RedoStep();
  const bool load = step && step->label.what == StepLabel::What::FileLoad;
  if (!editor().Redo()) return;
  ShowHistoryMove(load);
}

void CZeltoView::GoToStep(int applied) {
  if (pressStep_ || applied < 0) return;
  if (!editor().GoToStep(static_cast<std::size_t>(applied))) return;
  ShowHistoryMove(true);
}

void CZeltoView::ShowHistoryMove(bool titleMayChange) {
  // The title area names the file whose load is applied now, none once it is undone.
  if (titleMayChange)
    topBar_->SetFileTitle(QString::fromStdString(editor().Steps().AppliedFileTitle()).left(kFileTitleChars));
  RefreshAll();
  RefreshAbDisplay();
}

QString CZeltoView::UndoText() const {
  const bool zh = ui_.language == Language::Chinese;
  QString text = QString::fromUtf8(zh ? "撤销" : "Undo");
  if (const History::Step* step = editor().Steps().UndoStep())
    text += QLatin1Char(' ') + QString::fromStdString(StepText(step->label, ui_.language));
  return text;
}

QString CZeltoView::RedoText() const {
  const bool zh = ui_.language == Language::Chinese;
  QString text = QString::fromUtf8(zh ? "重做" : "Redo");
  if (const History::Step* step = editor().Steps().RedoStep())
    text += QLatin1Char(' ') + QString::fromStdString(StepText(step->label, ui_.language));
  return text;
}

bool CZeltoView::MenuCommandEnabled(int command) const {
  if (command == menu_cmd::kUndo) return editor().Steps().CanUndo();
  if (command == menu_cmd::kRedo) return editor().Steps().CanRedo();
  return true;
}

void CZeltoView::ClearHistory() {
  editor().ClearHistory();
  const bool zh = ui_.language == Language::Chinese;
  SetStatus(QString::fromUtf8(zh ? "撤销记录已清除" : "Undo history cleared"));
  RefreshHistoryPanel();
}

// ---- the history panel ----------------------------------------------------------------------------------

void CZeltoView::OpenHistoryPanel() { ShowHistoryPanel(HistoryPanel::Page::Steps); }

void CZeltoView::ShowHistoryPanel(HistoryPanel::Page page) {
  if (!historyPanel_) {
    historyPanel_ = new HistoryPanel(ui_.language, window());
    historyPanel_->setAttribute(Qt::WA_DeleteOnClose);
    connect(historyPanel_, &HistoryPanel::stepChosen, this, &CZeltoView::GoToStep);
    connect(historyPanel_, &HistoryPanel::differencesWanted, this, [this] { RefreshHistoryPanel(true); });
    auto* follow = new QTimer(historyPanel_);
    connect(follow, &QTimer::timeout, this, [this] { RefreshHistoryPanel(); });
    follow->start(kPanelFollowMs);
  }
  historyPanel_->ShowPage(page);
  RefreshHistoryPanel(true);
  historyPanel_->show();
  historyPanel_->raise();
}

void CZeltoView::RefreshHistoryPanel(bool always) {
  if (!historyPanel_) return;
  const AbSide side = runtime_->ab().Active();
  const std::uint64_t revision = editor().StepsOf(AbSide::A).Revision() + editor().StepsOf(AbSide::B).Revision();
  if (!always && side == panelSide_ && revision == panelRevision_) return;
  panelSide_ = side;
  panelRevision_ = revision;
  historyPanel_->ShowSteps(editor().Steps(), side);
  if (historyPanel_->CurrentPage() != HistoryPanel::Page::Differences) return;
  // Both sides from the objects and the kept side: the model lock only, never the link's.
  std::vector<ValueDifference> differences;
  if (runtime_->ab().Started()) {
    const PresetImage heard = editor().HeardTuning();
    const PresetImage other = runtime_->ab().OtherTuning();
    const bool heardIsA = side == AbSide::A;
    differences = DiffTuningValues(heardIsA ? heard : other, heardIsA ? other : heard, ui_.language);
  }
  historyPanel_->ShowDifferences(differences, runtime_->ab().Started());
}

}  // namespace zelto
