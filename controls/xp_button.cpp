#include "controls/xp_button.h"

#include <QPainter>

namespace zelto {
namespace {
constexpr QSize kDefaultSize{72, 26};
constexpr QSize kMarkerSize{24, 24};
}  // namespace

XPButton::XPButton(int id, QWidget* parent) : SkinButton(id, true, parent) {}

void XPButton::SetFaces(const Face& on, const Face& off) {
  on_ = on;
  off_ = off;
  update();
}

void XPButton::SetFixed(bool fixed) {
  if (fixed_ == fixed) return;
  fixed_ = fixed;
  update();
}

FaceState XPButton::ShownState() const {
  if (IsDisabled()) return FaceState::Disabled;
  if (fixed_) return FaceState::Fixed;
  if (IsPressed()) return FaceState::Pressed;
  if (IsHover()) return FaceState::Hover;
  return FaceState::Normal;
}

const Face* XPButton::ShownFace() const {
  const auto& face = IsOn() ? on_ : off_;
  return face ? &*face : nullptr;
}

QSize XPButton::sizeHint() const { return kDefaultSize; }

void XPButton::resizeEvent(QResizeEvent* event) {
  last_ = QPixmap();
  SkinButton::resizeEvent(event);
}

void XPButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const Face* face = ShownFace();
  if (!face) {
    if (!last_.isNull()) p.drawPixmap(0, 0, last_);
    return;
  }
  const qreal dpr = devicePixelRatioF();
  QPixmap frame(size() * dpr);
  frame.setDevicePixelRatio(dpr);
  frame.fill(Qt::transparent);
  {
    QPainter fp(&frame);
    skin::PaintFace(fp, QRectF(rect()), *face, ShownState(), CurrentLanguage());
  }
  p.drawPixmap(0, 0, frame);
  last_ = frame;
}

BtnPng::BtnPng(int id, QWidget* parent) : XPButton(id, parent) {
  SetFaces(Icon(Glyph::Marker, Tone::GhostLit), Icon(Glyph::Marker, Tone::Ghost));
  resize(kMarkerSize);
}

}  // namespace zelto
