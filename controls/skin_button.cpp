#include "controls/skin_button.h"

#include <QEnterEvent>
#include <QMouseEvent>

namespace zelto {

SkinButton::SkinButton(int id, bool startsOn, QWidget* parent) : QWidget(parent), id_(id), on_(startsOn) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
}

void SkinButton::SetOn(bool on) {
  if (on_ == on) return;
  on_ = on;
  update();
}

void SkinButton::SetDisabled(bool disabled) { setEnabled(!disabled); }

void SkinButton::SetLanguage(Language lang) {
  if (lang_ == lang) return;
  lang_ = lang;
  update();
}

void SkinButton::SetHover(bool hover) {
  if (hover_ == hover) return;
  hover_ = hover;
  update();
}

void SkinButton::enterEvent(QEnterEvent* event) {
  SetHover(true);
  QWidget::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
  SetHover(false);
  QWidget::leaveEvent(event);
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  held_ = true;
  hover_ = rect().contains(event->position().toPoint());
  update();
  event->accept();
}

void SkinButton::mouseMoveEvent(QMouseEvent* event) {
  // While held the pointer is grabbed, so leaving the face only shows here.
  SetHover(rect().contains(event->position().toPoint()));
  event->accept();
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !held_) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  held_ = false;
  const bool over = rect().contains(event->position().toPoint());
  hover_ = over;
  update();
  event->accept();
  if (over) emit clicked(id_);
}

void SkinButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (!isEnabled()) held_ = hover_ = false;
    update();
  }
  QWidget::changeEvent(event);
}

}  // namespace zelto
