#include "controls/skin_dialog.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>

#include "controls/com_box_btn.h"
#include "controls/font_static.h"
#include "controls/skin_button.h"
#include "controls/xp_button.h"

namespace zelto {

namespace {
constexpr int kCloseSize = 28;
constexpr int kCaptionFontPixels = 15;
constexpr int kLabelFontPixels = 12;
constexpr int kAccentWidth = 4;
}  // namespace

QString QtFileFilter(std::string_view frameworkFilter) {
  // "desc|pattern|desc|pattern||": pairs until the empty entry that ends the list.
  const QStringList parts = Utf8(frameworkFilter).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
  }
  return entries.join(QStringLiteral(";;"));
}

QString SkinEditStyle() {
  return QStringLiteral(
      "QLineEdit{background:#0c0e12;color:#e2e7ee;border:1px solid #4a525f;border-radius:4px;padding:0 8px;"
      "selection-background-color:#0078d7;selection-color:white;}"
      "QLineEdit:focus{border:1px solid #3a73ff;}"
      "QLineEdit:disabled{color:#70767f;}");
}

QString SkinMenuStyle() {
  return QStringLiteral(
      "QMenu{background:#24282f;color:#e2e7ee;border:1px solid #4a525f;padding:4px;}"
      "QMenu::item{padding:6px 26px 6px 18px;}"
      "QMenu::item:selected{background:#0078d7;color:white;}"
      "QMenu::item:disabled{color:#70767f;}");
}

QPalette SkinPalette() {
  QPalette p;
  p.setColor(QPalette::Window, skin::kPanel);
  p.setColor(QPalette::WindowText, skin::kText);
  p.setColor(QPalette::Base, skin::kGroove);
  p.setColor(QPalette::AlternateBase, skin::kGroupFill);
  p.setColor(QPalette::Text, skin::kText);
  p.setColor(QPalette::PlaceholderText, skin::kTextDim);
  p.setColor(QPalette::Button, skin::kFaceBottom);
  p.setColor(QPalette::ButtonText, skin::kText);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Light, skin::kFaceTop);
  p.setColor(QPalette::Midlight, skin::kFaceTop);
  p.setColor(QPalette::Mid, skin::kFaceBorder);
  p.setColor(QPalette::Dark, skin::kGroove);
  p.setColor(QPalette::Shadow, skin::kWindow);
  p.setColor(QPalette::Highlight, skin::kListSelection);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, skin::kPanel);
  p.setColor(QPalette::ToolTipText, skin::kText);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, skin::kTextDim);
  return p;
}

SkinDialog::SkinDialog(int dialogId, QSize size, Language lang, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), lang_(lang) {
  setObjectName(QString::number(dialogId));
  // Qt's own widgets placed in a dialog (drop lists, number boxes, check boxes) draw themselves
  // from the palette: the skin's colours make them dark as the skinned controls are.
  setPalette(SkinPalette());
  setFixedSize(size);
  setModal(true);
  closeButton_ = new XPButton(kCloseButtonId, this);
  closeButton_->setObjectName(QString::number(kCloseButtonId));
  closeButton_->SetFaces(Icon(Glyph::Close, Tone::Plain), Icon(Glyph::Close, Tone::Plain));
  closeButton_->setGeometry(size.width() - kCloseSize - 6, (kCaptionHeight - kCloseSize) / 2, kCloseSize, kCloseSize);
  closeButton_->setToolTip(QString::fromUtf8(lang == Language::Chinese ? "关闭" : "Close"));
  // Closing goes through reject(), so a dialog that may not close now refuses it in one place.
  connect(closeButton_, &SkinButton::clicked, this, [this] { reject(); });
}

void SkinDialog::SetCaption(const BiText& caption) {
  caption_ = caption;
  setWindowTitle(caption_.In(lang_));
  update();
}

void SkinDialog::ApplyLanguage(Language lang) {
  lang_ = lang;
  for (SkinButton* b : findChildren<SkinButton*>()) b->SetLanguage(lang);
  for (FontStatic* f : findChildren<FontStatic*>()) f->SetLanguage(lang);
  for (ComBoxBtn* c : findChildren<ComBoxBtn*>()) c->SetLanguage(lang);
  closeButton_->setToolTip(QString::fromUtf8(lang == Language::Chinese ? "关闭" : "Close"));
  setWindowTitle(caption_.In(lang_));
  update();
}

void SkinDialog::PaintLabel(QPainter& p, const QRectF& area, const BiText& text, Qt::Alignment align) const {
  p.save();
  p.setFont(skin::FaceFont(kLabelFontPixels, true));
  p.setPen(skin::kTextDim.lighter(135));
  p.drawText(area, align | Qt::AlignVCenter, text.In(lang_));
  p.restore();
}

void SkinDialog::PaintSeparator(QPainter& p, int y) const {
  p.save();
  p.setPen(QPen(skin::kFaceBorder.darker(125), 1));
  p.drawLine(QPointF(kMargin, y + 0.5), QPointF(width() - kMargin, y + 0.5));
  p.restore();
}

void SkinDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 0, height());
  bg.setColorAt(0, skin::kPanel);
  bg.setColorAt(1, skin::kWindow);
  p.fillRect(rect(), bg);

  // Caption strip: the accent bar and the caption, as the main form's section titles have them.
  const QRectF strip(0, 0, width(), kCaptionHeight);
  QLinearGradient g(strip.topLeft(), strip.bottomLeft());
  g.setColorAt(0, QColor(40, 45, 54));
  g.setColorAt(1, QColor(28, 32, 39));
  p.fillRect(strip, g);
  p.setPen(QPen(skin::kAccent.darker(140), 1));
  p.drawLine(QPointF(0, kCaptionHeight - 0.5), QPointF(width(), kCaptionHeight - 0.5));
  p.fillRect(QRectF(14, 10, kAccentWidth, kCaptionHeight - 20), skin::kAccent);
  p.setFont(skin::FaceFont(kCaptionFontPixels, true));
  p.setPen(skin::kText);
  p.drawText(QRectF(26, 0, width() - 80, kCaptionHeight), Qt::AlignLeft | Qt::AlignVCenter, caption_.In(lang_));

  PaintBody(p);

  p.setPen(QPen(QColor(60, 66, 78), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void SkinDialog::resizeEvent(QResizeEvent* event) {
  // A dialog whose layout decides its size gets it after construction: the close box follows.
  closeButton_->move(width() - kCloseSize - 6, (kCaptionHeight - kCloseSize) / 2);
  QDialog::resizeEvent(event);
}

void SkinDialog::mousePressEvent(QMouseEvent* event) {
  // The strip moves the frameless window, as a title bar would.
  if (event->button() == Qt::LeftButton && event->position().y() < kCaptionHeight) {
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
    return;
  }
  setFocus();  // commits a box being edited, as a press on the main form does
  QDialog::mousePressEvent(event);
}

void SkinDialog::mouseMoveEvent(QMouseEvent* event) {
  if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - *dragOffset_);
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void SkinDialog::mouseReleaseEvent(QMouseEvent* event) {
  dragOffset_.reset();
  QDialog::mouseReleaseEvent(event);
}

}  // namespace zelto
