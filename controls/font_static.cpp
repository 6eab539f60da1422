#include "controls/font_static.h"

#include <QFontMetrics>
#include <QPainter>

namespace zelto {
namespace {
constexpr int kErrorTextPixels = 11;
const QColor kErrorColour{255, 120, 100};

QFont LabelFont(int pixels, bool bold) {
  QFont f;
  f.setFamilies(skin::UiFamilies());
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}
}  // namespace

FontStatic::FontStatic(int id, QWidget* parent) : QWidget(parent), id_(id) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

BiText FontStatic::FontErrorText() {
  return {QStringLiteral("字体不能创建!"), QStringLiteral("Font could not be created!")};
}

void FontStatic::SetText(const BiText& text) {
  if (text_ == text) return;
  text_ = text;
  update();
}

void FontStatic::SetTextHeight(int pixels) {
  height_ = pixels;
  hasFont_ = pixels > 0 && pixels <= kMaxHeight;
  if (!hasFont_) setToolTip(FontErrorText().In(lang_));
  update();
}

void FontStatic::SetColor(const QColor& colour) {
  colour_ = colour;
  update();
}

void FontStatic::SetBold(bool bold) {
  bold_ = bold;
  update();
}

void FontStatic::SetAlignment(Qt::Alignment horizontal) {
  align_ = horizontal & Qt::AlignHorizontal_Mask;
  update();
}

void FontStatic::SetLanguage(Language lang) {
  lang_ = lang;
  if (!hasFont_) setToolTip(FontErrorText().In(lang_));
  update();
}

QString FontStatic::ShownText() const { return hasFont_ ? text_.In(lang_) : FontErrorText().In(lang_); }

QSize FontStatic::sizeHint() const {
  const QFontMetrics fm(LabelFont(hasFont_ ? height_ : kErrorTextPixels, bold_));
  return {fm.horizontalAdvance(ShownText()) + 2, fm.height()};
}

void FontStatic::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  if (!hasFont_) {
    // No font for the text: the label says so in its place instead of drawing the text.
    p.setFont(LabelFont(kErrorTextPixels, false));
    p.setPen(kErrorColour);
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, ShownText());
    return;
  }
  const QFont font = LabelFont(height_, bold_);
  p.setFont(font);
  p.setPen(colour_);
  const QString shown = QFontMetrics(font).elidedText(ShownText(), Qt::ElideRight, width());
  p.drawText(rect(), align_ | Qt::AlignVCenter, shown);
}

}  // namespace zelto
