// The form's side of the link's messages: every "unable to connect" says why and what to do, and
// a link that is lost while the device watcher brings the processor back is no message at all.
#include <QMessageBox>
#include <QTimer>

#include <utility>

#include "app/zelto_view.h"
#include "controls/skin.h"
#include "link/refused_open_text.h"

namespace zelto {

namespace {

// The watcher looks once a second and a connect takes an exchange or two: a processor that left
// for a moment (a restart, a loose plug, a bridge that closed its connection) is back well inside
// this, and the user is not interrupted for it.
constexpr int kLinkLossGraceMs = 3000;

}  // namespace

void CZeltoView::ShowUnableToConnect() {
  const Language lang = ui_.language;
  const auto why = engine().TakeConnectFailure();
  const auto refused = engine().Link().TakeRefusedOpen();
  QString text = Utf8(UserMessageText(UserMessage::UnableToConnect, lang));
  const ConnectFailure cause = why.value_or(refused ? ConnectFailure::Refused : ConnectFailure::NotFound);
  // The transport's words are about the last search; after a lost link they would be stale.
  const std::string detail = cause == ConnectFailure::NotFound ? engine().TransportDetail() : std::string();
  text += QStringLiteral("\n\n") + Utf8(ConnectFailureText(cause, refused, detail, lang));
  if (cause == ConnectFailure::NoReply || cause == ConnectFailure::Removed)
    ShowLinkLoss(text);
  else
    ShowUserText(text);
}

void CZeltoView::ShowLinkLoss(const QString& text) {
  linkLossText_ = text;
  if (!linkLossTimer_) {
    linkLossTimer_ = new QTimer(this);
    linkLossTimer_->setSingleShot(true);
    connect(linkLossTimer_, &QTimer::timeout, this, [this] {
      if (closing_ || engine().Connected() || linkLossText_.isEmpty()) return;
      const QString shown = std::exchange(linkLossText_, QString());
      if (linkLossHandler_) {
        linkLossHandler_(shown);
        return;
      }
      if (linkLossBox_) linkLossBox_->close();
      auto* box = new QMessageBox(QMessageBox::Information, QString::fromUtf8(kModelIdentity), shown, QMessageBox::Ok,
                                  window());
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->setAttribute(Qt::WA_ShowWithoutActivating);
      box->setWindowModality(Qt::NonModal);
      box->setObjectName(QStringLiteral("LinkLossMessage"));
      linkLossBox_ = box;
      box->show();
    });
  }
  linkLossTimer_->start(kLinkLossGraceMs);
}

void CZeltoView::LinkBack() {
  linkLossText_.clear();
  if (linkLossTimer_) linkLossTimer_->stop();
  if (linkLossBox_) linkLossBox_->close();
}

QWidget* CZeltoView::LinkLossMessage() const { return linkLossBox_.data(); }

}  // namespace zelto
