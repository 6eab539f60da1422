// The form's side of A/B comparison and of the recovery file.
#include <QPainter>
#include <QTimer>

#include "app/ui_state.h"
#include "app/zelto_view.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "curves/ui/response_graph.h"
#include "measure/ui/measurement_tools.h"

namespace zelto {

namespace {

// The window's timer looks often; the recovery file decides whether it is time to write.
constexpr int kRecoveryTickMs = 500;

QString Text(Language lang, const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); }

}  // namespace

void CZeltoView::SwitchAb() {
  if (closing_ || UpdateRunning()) return;
  editor_->SwitchAb();
  RefreshAbDisplay();
  RefreshAll();
}

void CZeltoView::CopyAb(AbSide from, AbSide to) {
  if (closing_ || UpdateRunning()) return;
  const bool intoActive = to == ab_->Active();
  editor_->CopyAb(from, to);
  RefreshAbDisplay();
  if (intoActive) RefreshAll();
}

void CZeltoView::ToggleAbCurve() {
  abCurve_ = !abCurve_;
  RefreshAbDisplay();
}

void CZeltoView::RefreshAbDisplay() {
  abButton_->SetOn(ab_->Active() == AbSide::B);
  // Before B exists both sides are the same: there is nothing to compare against.
  if (abCurve_ && ab_->Started())
    graph_->SetComparison(&ab_->OtherModel(graph_->plotGraphRect()));
  else
    graph_->SetComparison(nullptr);
  update(QRect(0, 0, 260, 50));
}

void CZeltoView::PaintAbBadge(QPainter& p) {
  const bool b = ab_->Active() == AbSide::B;
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

void CZeltoView::EnableRecovery(const std::string& path, std::optional<bool> answer) {
  recovery_ = std::make_unique<RecoveryFile>(*engine_, *ab_, path);
  recovery_->SetHistory(editor_.get());
  recovery_->SetMeasurements(Measurements());
  recoveryAnswer_ = answer;
  recoveryOffered_ = false;
}

void CZeltoView::OfferRecovery() {
  if (!recovery_ || recoveryOffered_) return;
  recoveryOffered_ = true;
  const Language lang = ui_.language;
  const RecoveryRead read = ReadRecoveryFile(recovery_->Path());
  if (read.data) {
    const bool restore = recoveryAnswer_
                             ? *recoveryAnswer_
                             : Ask(Text(lang, "上次程序没有正常关闭。要恢复当时的调音吗？",
                                        "Zelto did not close properly last time. Restore the tuning from then?"));
    if (restore) {
      recovery_->Restore(*read.data);
      // Without a processor the restored tuning waits for the next connect, which asks before
      // anything replaces it.
      if (!engine_->Connected()) editor_->KeepForConnect();
      RefreshAbDisplay();
    } else {
      recovery_->Remove();
      recovery_->MarkWritten();
    }
  } else {
    if (read.error != RecoveryReadError::Missing)
      ShowUserText(Text(lang, "恢复文件已损坏，未使用。", "The recovery file is damaged and was not used."));
    recovery_->MarkWritten();
  }
  if (!recoveryTimer_) {
    recoveryTimer_ = new QTimer(this);
    connect(recoveryTimer_, &QTimer::timeout, this, [this] { OnRecoveryTimer(); });
  }
  recoveryTimer_->start(kRecoveryTickMs);
}

void CZeltoView::OnRecoveryTimer() {
  if (closing_ || !recovery_) return;
  recovery_->Tick(RecoveryFile::Clock::now());
}

}  // namespace zelto
