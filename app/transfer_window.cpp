#include "app/transfer_window.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "app/ui_state.h"
#include "controls/skin.h"

namespace zelto {

namespace {
constexpr int kWidth = 380;
constexpr int kHeight = 118;
constexpr int kCaptionHeight = 30;
constexpr int kBarHeight = 18;
constexpr int kSideMargin = 22;
}  // namespace

TransferWindow::TransferWindow(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("DisplayDlg"));
  setFixedSize(kWidth, kHeight);
  setAttribute(Qt::WA_ShowWithoutActivating);
  SetLanguage(lang_);
}

void TransferWindow::SetLanguage(Language lang) {
  lang_ = lang;
  setWindowTitle(Caption());
  update();
}

QString TransferWindow::Caption() const {
  return QString::fromUtf8(Pick(lang_, "数据传输中", "Data transmissionning"));
}

void TransferWindow::SetRange(int count) {
  range_ = std::max(0, count);
  position_ = 0;
  update();
}

void TransferWindow::SetPosition(int step) {
  position_ = std::clamp(step, 0, range_);
  update();
}

void TransferWindow::ShowFor(QWidget* starter) {
  if (starter_ && starter_ != starter) starter_->setEnabled(true);
  starter_ = starter;
  if (starter_) starter_->setEnabled(false);
  if (QWidget* over = starter ? starter->window() : parentWidget()) {
    const QRect area = over->geometry();
    move(area.center() - QPoint(kWidth / 2, kHeight / 2));
  }
  show();
  raise();
}

void TransferWindow::HideAndRelease() {
  if (starter_) starter_->setEnabled(true);
  starter_.clear();
  hide();
}

void TransferWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.fillRect(rect(), skin::kPanel);
  p.setPen(QPen(skin::kFaceBorder, 1));
  p.drawRect(frame);

  // Caption strip.
  QRectF caption(1, 1, width() - 2, kCaptionHeight);
  QLinearGradient g(caption.topLeft(), caption.bottomLeft());
  g.setColorAt(0, skin::kFaceTop);
  g.setColorAt(1, skin::kFaceBottom);
  p.fillRect(caption, g);
  QFont font = skin::FaceFont(14, true);
  p.setFont(font);
  p.setPen(skin::kText);
  p.drawText(caption.adjusted(12, 0, -12, 0), Qt::AlignVCenter | Qt::AlignLeft, Caption());

  // Bar.
  const QRectF bar(kSideMargin, kCaptionHeight + 24, width() - 2 * kSideMargin, kBarHeight);
  QPainterPath groove;
  groove.addRoundedRect(bar, 4, 4);
  p.fillPath(groove, skin::kGroove);
  const double part = range_ > 0 ? static_cast<double>(position_) / range_ : 0.0;
  if (part > 0) {
    QPainterPath fill;
    fill.addRoundedRect(QRectF(bar.left(), bar.top(), bar.width() * part, bar.height()), 4, 4);
    QLinearGradient fg(bar.topLeft(), bar.bottomLeft());
    fg.setColorAt(0, skin::kAccent.lighter(130));
    fg.setColorAt(1, skin::kAccent.darker(120));
    p.fillPath(fill, fg);
  }
  p.setPen(QPen(skin::kFaceBorder, 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(groove);

  // Status text: how far the batch has come.
  p.setFont(skin::FaceFont(12, false));
  p.setPen(skin::kTextDim.lighter(140));
  const QString status = QStringLiteral("%1 / %2").arg(position_).arg(range_);
  p.drawText(QRectF(kSideMargin, bar.bottom() + 6, bar.width(), 18), Qt::AlignRight | Qt::AlignVCenter, status);
}

}  // namespace zelto
