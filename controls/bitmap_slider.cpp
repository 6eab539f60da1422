#include "controls/bitmap_slider.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

#include "controls/num_edit.h"
#include "controls/skin.h"

namespace zelto {
namespace {
constexpr int kTickGap = 3;  // between the groove and the tick marks
constexpr int kTickLength = 4;
constexpr int kMajorTickLength = 7;
constexpr double kThumbRadius = 2.5;
const QColor kThumbBorder{16, 18, 22};
const QColor kThumbLine{34, 36, 40};
}  // namespace

SliderSkin SliderSkin::Vertical(int length) {
  SliderSkin s;
  s.size = QSize(28, length);
  s.thumb = QSize(26, 14);
  s.fill = skin::kHighlight;
  s.activeThumb = skin::kHighlight;
  return s;
}

SliderSkin SliderSkin::Horizontal(int length) {
  SliderSkin s;
  s.size = QSize(length, 24);
  s.thumb = QSize(12, 22);
  s.fill = skin::kHighlight;
  s.activeThumb = skin::kHighlight;
  return s;
}

BitmapSlider::BitmapSlider(int id, QWidget* parent) : QWidget(parent), id_(id), skin_(SliderSkin::Vertical()) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  resize(skin_.size);
  setProperty(skin::kStepGesture, true);
  tick_.setInterval(kDragTickMs);
  connect(&tick_, &QTimer::timeout, this, &BitmapSlider::OnTick);
}

void BitmapSlider::SetRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = std::max(minimum, maximum);
  pos_ = std::clamp(pos_, min_, max_);
  update();
}

void BitmapSlider::SetValue(int value) { SetPosition(followsTravel_ ? value : max_ - value + min_); }

int BitmapSlider::Value() const { return followsTravel_ ? pos_ : max_ - pos_ + min_; }

void BitmapSlider::SetPosition(int position) {
  const int p = std::clamp(position, min_, max_);
  if (p == pos_) return;
  pos_ = p;
  update();
}

void BitmapSlider::SetVertical(bool vertical) {
  vertical_ = vertical;
  update();
}

void BitmapSlider::SetBuddy(NumEdit* box) { buddy_ = box; }

void BitmapSlider::SetValueFollowsTravel(bool follows) { followsTravel_ = follows; }
void BitmapSlider::SetArrowsReversed(bool reversed) { arrowsReversed_ = reversed; }

void BitmapSlider::SetMargins(const QMargins& margins) {
  margins_ = margins;
  update();
}

void BitmapSlider::SetInputEnabled(bool enabled) {
  inputEnabled_ = enabled;
  if (!enabled) EndDrag();
}

void BitmapSlider::SetSkin(const SliderSkin& skin) {
  skin_ = skin;
  resize(skin_.size);
  updateGeometry();
  update();
}

int BitmapSlider::ThumbLength() const { return vertical_ ? skin_.thumb.height() : skin_.thumb.width(); }
int BitmapSlider::LeadMargin() const { return vertical_ ? margins_.top() : margins_.left(); }

int BitmapSlider::Travel() const {
  const int length = vertical_ ? height() : width();
  const int trail = vertical_ ? margins_.bottom() : margins_.right();
  return length - LeadMargin() - trail - ThumbLength();
}

int BitmapSlider::AlongTravel(const QPointF& point) const {
  return static_cast<int>(vertical_ ? point.y() : point.x());
}

int BitmapSlider::PixelOfPosition(int position) const {
  const long long span = max_ - min_;
  const long long travel = Travel();
  const int start = LeadMargin() + ThumbLength() / 2;
  if (span <= 0 || travel <= 0) return start;
  return start + static_cast<int>((position - min_) * travel / span);
}

int BitmapSlider::PositionOfPixel(int pixel) const {
  const long long span = max_ - min_;
  const long long travel = Travel();
  if (span <= 0 || travel <= 0) return min_;
  // Integer division truncates toward zero, as the travel rule wants.
  const long long offset = (pixel - LeadMargin() - ThumbLength() / 2) * span / travel;
  return static_cast<int>(std::clamp<long long>(min_ + offset, min_, max_));
}

void BitmapSlider::MoveTo(int position) { SetPosition(position); }

void BitmapSlider::EndDrag() {
  tick_.stop();
  const bool wasActive = pressed_ || grabbed_;
  pressed_ = grabbed_ = false;
  if (wasActive) update();
}

void BitmapSlider::OnTick() {
  if (pos_ == lastTickPos_) return;
  lastTickPos_ = pos_;
  emit moving(id_, pos_);
}

void BitmapSlider::TakeFocus() {
  setFocus(Qt::OtherFocusReason);
  if (!focusMark_) {
    // The window may not be active yet (no focus event until it is); show the mark anyway.
    focusMark_ = true;
    if (buddy_) buddy_->SetFocusMark(true);
    update();
  }
}

void BitmapSlider::mousePressEvent(QMouseEvent* event) {
  if (!inputEnabled_ || event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  event->accept();
  setFocus(Qt::MouseFocusReason);
  pressed_ = true;
  lastTickPos_ = pos_;
  tick_.start();
  const int at = AlongTravel(event->position());
  const int centre = PixelOfPosition(pos_);
  if (std::abs(at - centre) <= ThumbLength() / 2) {
    grabbed_ = true;
    grabOffset_ = at - centre;
    update();
    return;
  }
  // A press away from the thumb steps once toward the pointer; no drag follows from it.
  const int target = PositionOfPixel(at);
  if (target < pos_) {
    MoveTo(pos_ - 1);
  } else if (target > pos_) {
    MoveTo(pos_ + 1);
  }
}

void BitmapSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!grabbed_ || !inputEnabled_) return;
  const int start = LeadMargin() + ThumbLength() / 2;
  const int centre = std::clamp(AlongTravel(event->position()) - grabOffset_, start, start + std::max(0, Travel()));
  MoveTo(PositionOfPixel(centre));
}

void BitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) {
    event->ignore();
    return;
  }
  event->accept();
  EndDrag();
  update();
  emit released(id_, pos_);
}

void BitmapSlider::keyPressEvent(QKeyEvent* event) {
  if (!inputEnabled_) {
    event->ignore();
    return;
  }
  const int back = arrowsReversed_ ? 1 : -1;
  int target = pos_;
  switch (event->key()) {
    case Qt::Key_PageUp: target = pos_ - page_; break;
    case Qt::Key_PageDown: target = pos_ + page_; break;
    case Qt::Key_Home: target = min_; break;
    case Qt::Key_End: target = max_; break;
    case Qt::Key_Left:
    case Qt::Key_Up: target = pos_ + back; break;
    case Qt::Key_Right:
    case Qt::Key_Down: target = pos_ - back; break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
  MoveTo(target);
  update();
  emit released(id_, pos_);
}

void BitmapSlider::wheelEvent(QWheelEvent* event) {
  if (!inputEnabled_) {
    event->ignore();
    return;
  }
  event->accept();
  // Only whole notches move the slider; finer deltas (touchpads) are reported but do not move it.
  const int delta = event->angleDelta().y();
  if (delta == kWheelNotch) {
    MoveTo(pos_ - 1);
  } else if (delta == -kWheelNotch) {
    MoveTo(pos_ + 1);
  }
  emit released(id_, pos_);
}

void BitmapSlider::focusInEvent(QFocusEvent* event) {
  focusMark_ = true;
  if (buddy_) buddy_->SetFocusMark(true);
  update();
  QWidget::focusInEvent(event);
  emit moving(id_, pos_);
}

void BitmapSlider::focusOutEvent(QFocusEvent* event) {
  focusMark_ = false;
  if (buddy_) buddy_->SetFocusMark(false);
  update();
  QWidget::focusOutEvent(event);
}

void BitmapSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  // Paint in "travel" coordinates (along, across) and map for the orientation.
  const int along0 = LeadMargin() + ThumbLength() / 2;
  const int along1 = along0 + std::max(0, Travel());
  const double across = (vertical_ ? width() : height()) / 2.0;
  auto point = [&](double a, double c) { return vertical_ ? QPointF(c, a) : QPointF(a, c); };
  auto box = [&](double a0, double a1, double c0, double c1) {
    return QRectF(point(std::min(a0, a1), std::min(c0, c1)), point(std::max(a0, a1), std::max(c0, c1)));
  };

  const double half = skin_.groove / 2.0;
  if (skin_.ticks > 0 && along1 > along0) {
    for (int i = 0; i <= skin_.ticks; ++i) {
      const double a = along0 + (along1 - along0) * static_cast<double>(i) / skin_.ticks + 0.5;
      const bool major = i == 0 || i == skin_.ticks || 2 * i == skin_.ticks;
      const double len = major ? kMajorTickLength : kTickLength;
      p.setPen(QPen(major ? skin::kTick.lighter(140) : skin::kTick, 1));
      p.drawLine(point(a, across - half - kTickGap), point(a, across - half - kTickGap - len));
      p.drawLine(point(a, across + half + kTickGap), point(a, across + half + kTickGap + len));
    }
  }

  const QRectF groove = box(along0 - 2, along1 + 2, across - half, across + half);
  p.setPen(QPen(QColor(62, 68, 80), 1));
  p.setBrush(skin::kGroove);
  p.drawRoundedRect(groove, half, half);

  const int thumbAt = PixelOfPosition(pos_);
  if (skin_.fill.isValid()) {
    // The lit part runs from the thumb to value 0: the bottom of a vertical, the left of a
    // horizontal slider.
    const QRectF lit = vertical_ ? box(thumbAt, along1 + 2, across - half + 0.5, across + half - 0.5)
                                 : box(along0 - 2, thumbAt, across - half + 0.5, across + half - 0.5);
    QLinearGradient g(lit.topLeft(), vertical_ ? lit.bottomLeft() : lit.topRight());
    g.setColorAt(0, skin_.fill.lighter(135));
    g.setColorAt(1, skin_.fill.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(lit, half - 0.5, half - 0.5);
  }

  const bool active = (grabbed_ || focusMark_) && skin_.activeThumb.isValid();
  const double tl = ThumbLength();
  const double tw = vertical_ ? skin_.thumb.width() : skin_.thumb.height();
  const QRectF thumb =
      box(thumbAt - tl / 2, thumbAt + tl / 2, across - tw / 2, across + tw / 2).adjusted(0.5, 0.5, -0.5, -0.5);
  if (active) {
    QColor glow = skin_.activeThumb;
    glow.setAlpha(90);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRoundedRect(thumb.adjusted(-2, -2, 2, 2), kThumbRadius + 2, kThumbRadius + 2);
  }
  QLinearGradient cap(thumb.topLeft(), thumb.bottomLeft());
  cap.setColorAt(0, skin::kThumbTop);
  cap.setColorAt(0.5, skin::kThumbTop.darker(118));
  cap.setColorAt(1, skin::kThumbBottom);
  p.setPen(QPen(active ? skin_.activeThumb.lighter(150) : kThumbBorder, 1));
  p.setBrush(cap);
  p.drawRoundedRect(thumb, kThumbRadius, kThumbRadius);
  p.setPen(QPen(active ? skin_.activeThumb : kThumbLine, 2));
  p.drawLine(point(thumbAt, across - tw / 2 + 3), point(thumbAt, across + tw / 2 - 3));
}

}  // namespace zelto
