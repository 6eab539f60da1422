#include "controls/bit_button.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace zelto {
namespace {
constexpr QSize kDefaultSize{80, 28};
constexpr int kTextPixels = 13;
constexpr int kTextPadding = 4;

std::size_t Slot(FaceState state) { return static_cast<std::size_t>(state); }
}  // namespace

BitButton::BitButton(int id, QWidget* parent) : SkinButton(id, false, parent), textFont_(skin::FaceFont(kTextPixels)) {
  textColours_.fill(skin::kText);
  textColours_[Slot(FaceState::Disabled)] = skin::kTextDim;
  textColours_[Slot(FaceState::Highlighted)] = Qt::white;
}

void BitButton::SetFaces(const Face& off, const std::optional<Face>& on) {
  off_ = off;
  on_ = on;
  update();
}

void BitButton::SetHighlighted(bool highlighted) {
  if (highlighted_ == highlighted) return;
  highlighted_ = highlighted;
  update();
}

void BitButton::SetText(const QString& text) {
  if (text_ == text) return;
  text_ = text;
  update();
}

void BitButton::SetTextFont(const QFont& font) {
  textFont_ = font;
  update();
}

void BitButton::SetTextColor(FaceState state, const QColor& colour) {
  textColours_[Slot(state)] = colour;
  update();
}

FaceState BitButton::ShownState() const {
  if (IsDisabled()) return FaceState::Disabled;
  if (IsPressed()) return FaceState::Pressed;
  if (IsHover()) return FaceState::Hover;
  if (highlighted_) return FaceState::Highlighted;
  return FaceState::Normal;
}

const Face* BitButton::ShownFace() const {
  if (IsOn() && on_) return &*on_;
  return off_ ? &*off_ : nullptr;
}

QSize BitButton::sizeHint() const { return kDefaultSize; }

void BitButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    emit rightPressed(Id());
    return;
  }
  SkinButton::mousePressEvent(event);
}

void BitButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const FaceState state = ShownState();
  if (const Face* face = ShownFace()) {
    skin::PaintFace(p, QRectF(rect()), *face, state, CurrentLanguage());
  } else {
    p.fillRect(rect(), skin::kMissingFace);
  }
  if (text_.isEmpty()) return;
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setFont(textFont_);
  p.setPen(textColours_[Slot(state)]);
  const QRect area = rect().adjusted(kTextPadding, 0, -kTextPadding, 0).translated(0, state == FaceState::Pressed);
  p.drawText(area, Qt::AlignCenter, QFontMetrics(textFont_).elidedText(text_, Qt::ElideRight, area.width()));
}

}  // namespace zelto
