// The form's side of the recovery file: this editor's own file from the start, the offer of what
// an editor that did not exit cleanly left, and the exit.
#include <QTimer>
#include <filesystem>

#include "app/recovery_question.h"
#include "app/zelto_view.h"
#include "controls/skin.h"
#include "edit/unsent_edits.h"
#include "measure/ui/measurement_tools.h"
#include "core/file_io.h"

namespace zelto {

namespace {

// The window's timer looks often; the recovery file decides whether it is time to write.
constexpr int kRecoveryTickMs = 500;

QString Text(Language lang, const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); }

}  // namespace

void CZeltoView::EnableRecovery(const std::string& folder, std::optional<bool> answer) {
  recoveryAnswer_ = answer;
  recoveryOffered_ = false;
  newerRecoveryFiles_.clear();
  recoveryProblem_.clear();
  // What a crashed editor left is locked first, so that this editor's own slot is another one and
  // a second editor starting now does not offer it as well.
  if (auto left = recovery::ClaimLeftFile(folder, &newerRecoveryFiles_))
    leftRecovery_ = std::make_unique<recovery::LeftFile>(std::move(*left));
  std::string error;
  auto own = recovery::ClaimOwnSlot(folder, &error);
  if (!own) {
    recoveryProblem_ = error;
    return;
  }
  recovery_ = std::make_unique<RecoveryFile>(engine(), runtime_->ab(), own->path, std::move(own->lock));
  recovery_->SetHistory(&editor());
  recovery_->SetMeasurements(Measurements());
  recovery_->MarkWritten();
  // Armed from the start, whatever the link does: the offer waits for the processor's settings,
  // the protection of this run does not.
  if (!recoveryTimer_) {
    recoveryTimer_ = new QTimer(this);
    connect(recoveryTimer_, &QTimer::timeout, this, [this] { OnRecoveryTimer(); });
  }
  recoveryTimer_->start(kRecoveryTickMs);
}

void CZeltoView::OfferRecoveryLater() {
  if (recoveryOffered_ || !autoConnectDone_) return;
  QMetaObject::invokeMethod(
      this, [this] { OfferRecovery(); }, Qt::QueuedConnection);
}

void CZeltoView::OfferRecovery() {
  if (recoveryOffered_ || closing_) return;
  recoveryOffered_ = true;
  const Language lang = ui_.language;
  if (!recoveryProblem_.empty()) ShowUserText(CrashProtectionOff(lang, recoveryProblem_));
  for (const std::string& path : newerRecoveryFiles_)
    ShowUserText(Text(lang, "一个由较新版本 Zelto 写入的恢复文件未被改动，保留在：\n",
                      "A recovery file written by a newer version of Zelto was left untouched:\n") +
                 QString::fromStdString(path));
  // Without a file of its own this editor could not keep what it took over: the left file stays
  // for the next start.
  if (!leftRecovery_ || !recovery_) return;
  const std::unique_ptr<recovery::LeftFile> left = std::move(leftRecovery_);
  if (!left->read.data) {
    // Kept beside its slot, so nothing is lost and it is not offered again.
    const std::string kept = recovery::SetAsideDamaged(left->slot.path);
    QString text = Text(lang, "恢复文件已损坏，未使用。", "The recovery file is damaged and was not used.");
    if (!kept.empty())
      text += QLatin1Char('\n') + Text(lang, "它保留在：", "It is kept as: ") + QString::fromStdString(kept);
    ShowUserText(text);
    return;
  }
  const RecoveryData& data = *left->read.data;
  // What the restore would change in what is heard now; the A/B sides are taken as they stand.
  const AbSnapshot now = runtime_->ab().Snapshot();
  const std::vector<int> differing = DifferingChannels(now.Side(now.active), data.Live());
  const QString question = RecoveryQuestion(data, left->slot.path, differing, lang);
  const bool restore = recoveryAnswer_ ? *recoveryAnswer_ : Ask(question, true);
  if (closing_) return;
  if (!restore) {
    std::error_code ec;
    std::filesystem::remove(PathFromUtf8(left->slot.path), ec);
    return;
  }
  recovery_->RestoreParts(data);
  editor().RestoreRecovered(data.ab);
  // Without a processor the restored tuning waits for the next connect, which asks before
  // anything replaces it.
  if (!engine().Connected()) editor().KeepForConnect();
  // The left file goes once this editor's own file holds its work.
  recovery_->TakeOverLeft(std::move(left->slot));
  recovery_->WriteNow();
  RefreshAbDisplay();
  RefreshAll();
}

void CZeltoView::OnRecoveryTimer() {
  if (closing_ || !recovery_) return;
  recovery_->Tick(RecoveryFile::Clock::now());
  if (auto why = recovery_->TakeFailureToTell()) ShowUserText(CrashProtectionOff(ui_.language, *why));
}

void CZeltoView::AskAboutUnsentWork() {
  if (!recovery_ || closing_ || engine().Connected() || !editor().HasUnsentEdits()) return;
  keepRecoveryOnExit_ =
      Ask(Text(ui_.language, "有些修改是在没有连接处理器时做的，还没有发送到处理器。\n要保留它们，在下次启动时恢复吗？",
               "Some changes were made while no processor was connected and were never sent to one.\n"
               "Keep them, to be restored at the next start?"),
          true);
}

void CZeltoView::EndRecovery() {
  if (!recovery_) return;
  if (recoveryTimer_) recoveryTimer_->stop();
  // A clean exit leaves nothing to recover, unless the user kept unsent work for the next start
  // (should that last write fail, the file written before stays for the next start).
  if (keepRecoveryOnExit_)
    recovery_->KeepForNextStart();
  else
    recovery_->Remove();
}

}  // namespace zelto
