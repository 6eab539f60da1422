#include "controls/num_edit.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

#include <algorithm>

#include "controls/bitmap_slider.h"
#include "controls/skin.h"

namespace zelto {
namespace {
constexpr int kBoxTextPixels = 13;
constexpr QSize kSpinSize{14, 22};
// QLineEdit keeps this much room on either side of its text, plus one pixel for the cursor.
constexpr int kLineEditSideRoom = 2;
constexpr int kSmallestFitPixels = 6;
// The box is see-through; a faint inset keeps its edge readable on any background.
const QColor kBoxInset{0, 0, 0, 70};
const QColor kBoxEdge{255, 255, 255, 40};
}  // namespace

// ---- NumEdit ---------------------------------------------------------------------------------

NumEdit::NumEdit(int id, QWidget* parent)
    : QLineEdit(parent), id_(id), highlightText_(Qt::white), highlightBack_(skin::kHighlight) {
  setFrame(false);
  setAlignment(Qt::AlignCenter);
  setFont(skin::FaceFont(kBoxTextPixels, false));
  setAttribute(Qt::WA_MacShowFocusRect, false);
  ApplyPalette();
  connect(this, &QLineEdit::textEdited, this, [this] { changed_ = true; });
  Redraw();
}

void NumEdit::SetSlider(BitmapSlider* slider) { slider_ = slider; }
NumSpin* NumEdit::Spin() const { return spin_; }

void NumEdit::ApplyPalette() {
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::transparent);
  pal.setColor(QPalette::Text, highlighted_ ? highlightText_ : QColor(Qt::white));
  pal.setColor(QPalette::Highlight, skin::kHighlight.darker(120));
  pal.setColor(QPalette::HighlightedText, Qt::white);
  pal.setColor(QPalette::Disabled, QPalette::Text, skin::kTextDim);
  setPalette(pal);
}

void NumEdit::Redraw() {
  setText(QString::fromStdString(FormatNumber(format_, value_, lang_)));
  FitText();
  if (hasFocus() && !isReadOnly()) selectAll();
}

void NumEdit::SetFitText(bool on) {
  if (on && !fitText_) fitBase_ = font();
  if (!on && fitText_) setFont(fitBase_);
  fitText_ = on;
  FitText();
}

void NumEdit::FitText() {
  if (!fitText_) return;
  const QMargins margins = textMargins();
  const int room = contentsRect().width() - margins.left() - margins.right() - 2 * kLineEditSideRoom - 1;
  QFont f = fitBase_;
  const int base = f.pixelSize() > 0 ? f.pixelSize() : QFontMetrics(f).height();
  // A line edit scrolls a text that does not fit so that its end shows: a Q of 16.052 would read
  // "6.052". A smaller size keeps every digit in view.
  for (int px = base; px > kSmallestFitPixels; --px) {
    f.setPixelSize(px);
    if (QFontMetrics(f).horizontalAdvance(text()) <= room) break;
  }
  if (f != font()) setFont(f);
}

void NumEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  FitText();
}

void NumEdit::SetRange(int min, int max) {
  format_.min = min;
  format_.max = std::max(min, max);
  value_ = format_.min;
  changed_ = false;
  Redraw();
}

void NumEdit::SetMode(int mode, const QString& suffix) {
  format_.mode = std::clamp(mode, 0, nummode::kLast);
  format_.suffix = suffix.toStdString();
  Redraw();
}

void NumEdit::SetStep(double step) {
  format_.step = step;
  Redraw();
}

void NumEdit::SetOffset(double offset) {
  format_.offset = offset;
  Redraw();
}

bool NumEdit::SetValue(int value) {
  if (value < format_.min || value > format_.max) return false;
  value_ = value;
  changed_ = false;
  Redraw();
  return true;
}

void NumEdit::SetLanguage(Language lang) {
  lang_ = lang;
  if (spin_) spin_->SetLanguage(lang);
  if (!changed_) Redraw();
}

void NumEdit::SetHighlighted(bool highlighted) {
  if (highlighted_ == highlighted) return;
  highlighted_ = highlighted;
  ApplyPalette();
  update();
}

void NumEdit::SetHighlightColors(const QColor& text, const QColor& background) {
  highlightText_ = text;
  highlightBack_ = background;
  ApplyPalette();
  update();
}

void NumEdit::SetFocusMark(bool shown) {
  if (focusMark_ == shown) return;
  focusMark_ = shown;
  update();
}

void NumEdit::Commit() {
  if (!changed_) return;
  changed_ = false;
  value_ = ParseNumber(format_, text().toStdString());
  Redraw();
  emit edited(id_, value_);
}

void NumEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (isReadOnly()) {
    deselect();
  } else {
    selectAll();
    // The press that brought the focus would otherwise drop the selection at the pointer.
    selectOnPress_ = event->reason() == Qt::MouseFocusReason;
  }
  if (slider_) slider_->update();
}

void NumEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  selectOnPress_ = false;
  Commit();
}

void NumEdit::mousePressEvent(QMouseEvent* event) {
  QLineEdit::mousePressEvent(event);
  if (selectOnPress_) {
    selectOnPress_ = false;
    selectAll();
  }
  if (event->button() == Qt::LeftButton) emit edited(id_, value_);
}

void NumEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  QLineEdit::mouseDoubleClickEvent(event);
}

void NumEdit::paintEvent(QPaintEvent* event) {
  {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(focusMark_ ? skin::kHighlight : kBoxEdge, 1));
    p.setBrush(highlighted_ ? highlightBack_ : kBoxInset);
    p.drawRoundedRect(box, 3, 3);
    if (focusMark_) {
      p.setPen(QPen(skin::kHighlight.lighter(130), 2));
      p.drawLine(QPointF(box.left() + 3, box.bottom() - 1), QPointF(box.right() - 3, box.bottom() - 1));
    }
  }
  QLineEdit::paintEvent(event);
}

// ---- NumSpin ---------------------------------------------------------------------------------

NumSpin::NumSpin(int id, QWidget* parent) : QWidget(parent), id_(id) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  resize(kSpinSize);
  setProperty(skin::kStepGesture, true);
  connect(&repeat_, &QTimer::timeout, this, &NumSpin::OnRepeat);
  refuse_ = [this](const QString& text) { QMessageBox::warning(window(), QCoreApplication::applicationName(), text); };
}

void NumSpin::SetBuddy(NumEdit* box) {
  if (buddy_) buddy_->spin_ = nullptr;
  buddy_ = box;
  if (box) {
    box->spin_ = this;
    lang_ = box->CurrentLanguage();
  }
}

void NumSpin::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  pos_ = min_;
  if (buddy_) buddy_->SetRange(min_, max_);
}

int NumSpin::Minimum() const { return buddy_ ? buddy_->Minimum() : min_; }
int NumSpin::Maximum() const { return buddy_ ? buddy_->Maximum() : max_; }
int NumSpin::Position() const { return buddy_ ? buddy_->GetValue() : pos_; }
bool NumSpin::IsFrequencyStepping() const { return buddy_ && IsFrequencyMode(buddy_->Mode()); }

void NumSpin::SetRefusalHandler(std::function<void(const QString&)> handler) { refuse_ = std::move(handler); }

bool NumSpin::SetPosition(int value) {
  if (value < Minimum() || value > Maximum()) {
    if (refuse_) refuse_(QString::fromStdString(RefusalText(buddy_ ? buddy_->Id() : id_, lang_)));
    return false;
  }
  if (buddy_) {
    buddy_->SetValue(value);
  } else {
    pos_ = value;
  }
  return true;
}

void NumSpin::StepUp() { Step(1); }
void NumSpin::StepDown() { Step(-1); }

void NumSpin::Step(int direction) {
  NumFormat format;
  if (buddy_) {
    // Text typed but not yet committed is what the user sees; step from it.
    buddy_->Commit();
    format = buddy_->Format();
  } else {
    format.min = min_;
    format.max = max_;
  }
  const int next = StepNumber(format, Position(), direction);
  if (buddy_) {
    buddy_->SetValue(next);
  } else {
    pos_ = next;
  }
  emit edited(id_, next);
}

void NumSpin::OnRepeat() {
  if (held_ == Part::None) {
    repeat_.stop();
    return;
  }
  ++repeats_;
  repeat_.setInterval(repeats_ >= kStepsBeforeFast ? kFastIntervalMs : kRepeatIntervalMs);
  Step(held_ == Part::Up ? 1 : -1);
}

NumSpin::Part NumSpin::PartAt(const QPoint& point) const {
  if (!rect().contains(point)) return Part::None;
  return point.y() < height() / 2 ? Part::Up : Part::Down;
}

QSize NumSpin::sizeHint() const { return kSpinSize; }

void NumSpin::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isEnabled()) return;
  held_ = PartAt(event->position().toPoint());
  if (held_ == Part::None) return;
  repeats_ = 0;
  repeat_.start(kRepeatDelayMs);
  update();
  Step(held_ == Part::Up ? 1 : -1);
}

void NumSpin::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  held_ = Part::None;
  repeat_.stop();
  update();
}

void NumSpin::mouseMoveEvent(QMouseEvent* event) {
  const Part part = PartAt(event->position().toPoint());
  if (part != hover_) {
    hover_ = part;
    update();
  }
}

void NumSpin::leaveEvent(QEvent* event) {
  hover_ = Part::None;
  update();
  QWidget::leaveEvent(event);
}

void NumSpin::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF all = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(QPen(skin::kFaceBorder, 1));
  p.setBrush(skin::kFaceBottom);
  p.drawRoundedRect(all, 3, 3);
  const double mid = all.center().y();
  for (Part part : {Part::Up, Part::Down}) {
    const bool up = part == Part::Up;
    const QRectF half = up ? QRectF(all.left(), all.top(), all.width(), mid - all.top())
                           : QRectF(all.left(), mid, all.width(), all.bottom() - mid);
    QColor fill = Qt::transparent;
    if (held_ == part) {
      fill = skin::kHighlight;
    } else if (hover_ == part && isEnabled()) {
      fill = skin::kFaceTop.lighter(120);
    }
    if (fill.alpha() > 0) {
      p.setPen(Qt::NoPen);
      p.setBrush(fill);
      p.drawRoundedRect(half.adjusted(1, 1, -1, -1), 2, 2);
    }
    const double w = std::min(half.width() * 0.5, 8.0);
    const double h = std::min(half.height() * 0.4, 4.5);
    const QPointF c = half.center();
    QPainterPath arrow;
    arrow.moveTo(c.x() - w / 2, up ? c.y() + h / 2 : c.y() - h / 2);
    arrow.lineTo(c.x() + w / 2, up ? c.y() + h / 2 : c.y() - h / 2);
    arrow.lineTo(c.x(), up ? c.y() - h / 2 : c.y() + h / 2);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? skin::kText : skin::kTextDim);
    p.drawPath(arrow);
  }
  p.setPen(QPen(skin::kFaceBorder, 1));
  p.drawLine(QPointF(all.left() + 2, mid), QPointF(all.right() - 2, mid));
}

}  // namespace zelto
