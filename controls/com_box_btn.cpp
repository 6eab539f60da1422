#include "controls/com_box_btn.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>

namespace zelto {
namespace {
constexpr QSize kDefaultSize{112, 24};
// Chinese glyphs need more line height than Latin ones; 12 px keeps them apart in 16 px rows.
constexpr int kListTextPixels = 12;
constexpr int kListTextPadding = 4;
constexpr int kFacePadding = 8;
constexpr int kChevronWidth = 14;
constexpr int kWheelNotch = 120;
const QColor kListBorder{86, 86, 86};
const QColor kListText{235, 235, 235};

QFont ButtonFont(int pixels) {
  QFont f;
  f.setFamilies(skin::UiFamilies());
  f.setPixelSize(pixels);
  return f;
}
}  // namespace

// ---- DropList --------------------------------------------------------------------------------

DropList::DropList(ComBoxBtn* owner) : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint), owner_(owner) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  hide();
}

int DropList::VisibleRows() const { return std::max(1, height() / kItemHeight); }

int DropList::ItemAt(const QPoint& point) const {
  if (!rect().contains(point)) return -1;
  const int index = top_ + point.y() / kItemHeight;
  return index < owner_->Count() ? index : -1;
}

void DropList::ScrollTo(int index) {
  if (index < 0) return;
  const int rows = VisibleRows();
  if (index < top_) top_ = index;
  if (index >= top_ + rows) top_ = index - rows + 1;
  top_ = std::clamp(top_, 0, std::max(0, owner_->Count() - rows));
}

void DropList::Open(const QRect& geometry, int committed) {
  committed_ = committed;
  highlighted_ = committed;
  top_ = 0;
  openingPress_ = true;
  entered_ = false;
  finished_ = false;
  setGeometry(geometry);
  ScrollTo(highlighted_);
  show();
  setFocus(Qt::PopupFocusReason);
}

void DropList::Finish(bool commit, int index) {
  if (finished_) return;
  finished_ = true;
  const bool valid = commit && index >= 0 && index < owner_->Count();
  if (!valid) highlighted_ = committed_;
  hide();
  if (valid) owner_->Commit(index);
  owner_->ListClosed();
}

void DropList::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  openingPress_ = false;
  if (!rect().contains(at)) {
    // A press on the button closes the list; replaying it there would open the list again.
    if (owner_->rect().contains(owner_->mapFromGlobal(event->globalPosition().toPoint()))) {
      setAttribute(Qt::WA_NoMouseReplay);
    }
    Finish(false, -1);
    return;
  }
  entered_ = true;
  highlighted_ = ItemAt(at);
  update();
}

void DropList::mouseMoveEvent(QMouseEvent* event) {
  const int index = ItemAt(event->position().toPoint());
  if (index < 0) return;
  entered_ = true;
  if (index != highlighted_) {
    highlighted_ = index;
    update();
  }
}

void DropList::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  if (rect().contains(at)) {
    Finish(true, ItemAt(at));
    return;
  }
  // The release that ends the opening click lands on the button: the list stays open for a
  // choice. Any other release outside the list drops the choice.
  if (openingPress_ && !entered_) {
    openingPress_ = false;
    return;
  }
  Finish(false, -1);
}

void DropList::wheelEvent(QWheelEvent* event) {
  event->accept();
  const int rows = VisibleRows();
  const int delta = event->angleDelta().y();
  if (delta == 0 || owner_->Count() <= rows) return;
  top_ = std::clamp(top_ + (delta > 0 ? -1 : 1), 0, owner_->Count() - rows);
  update();
}

void DropList::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape: Finish(false, -1); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: Finish(true, highlighted_); break;
    case Qt::Key_Up:
    case Qt::Key_Down: {
      const int step = event->key() == Qt::Key_Up ? -1 : 1;
      highlighted_ = std::clamp(highlighted_ + step, 0, std::max(0, owner_->Count() - 1));
      ScrollTo(highlighted_);
      update();
      break;
    }
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

void DropList::hideEvent(QHideEvent* event) {
  // Closed by losing the focus (or by the system): the last committed choice stays.
  if (!finished_) {
    finished_ = true;
    highlighted_ = committed_;
    owner_->ListClosed();
  }
  QWidget::hideEvent(event);
}

void DropList::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), skin::kListBackground);
  p.setFont(ButtonFont(kListTextPixels));
  const QFontMetrics fm(p.font());
  const int rows = VisibleRows();
  for (int row = 0; row < rows; ++row) {
    const int index = top_ + row;
    if (index >= owner_->Count()) break;
    const QRect item(0, row * kItemHeight, width(), kItemHeight);
    if (index == highlighted_) p.fillRect(item, skin::kListSelection);
    p.setPen(kListText);
    const QRect textArea = item.adjusted(kListTextPadding, 0, -kListTextPadding, 0);
    p.drawText(textArea, Qt::AlignCenter, fm.elidedText(owner_->ItemText(index), Qt::ElideRight, textArea.width()));
  }
  p.setPen(kListBorder);
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---- ComBoxBtn -------------------------------------------------------------------------------

ComBoxBtn::ComBoxBtn(int id, int listId, QWidget* parent)
    : QWidget(parent), id_(id), listId_(listId), list_(new DropList(this)) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  resize(kDefaultSize);
}

QSize ComBoxBtn::sizeHint() const { return kDefaultSize; }

void ComBoxBtn::SetItems(const QList<BiText>& items) {
  items_ = items;
  if (selection_ >= Count()) selection_ = -1;
  list_->committed_ = list_->highlighted_ = selection_;
  update();
}

void ComBoxBtn::AddItem(const BiText& item) {
  items_.append(item);
  update();
}

QString ComBoxBtn::ItemText(int index) const {
  if (index < 0 || index >= Count()) return {};
  return items_[index].In(lang_);
}

void ComBoxBtn::SelectItem(int index) {
  selection_ = (index >= 0 && index < Count()) ? index : -1;
  list_->committed_ = list_->highlighted_ = selection_;
  update();
}

void ComBoxBtn::SetLanguage(Language lang) {
  if (lang_ == lang) return;
  lang_ = lang;
  update();
  list_->update();
}

bool ComBoxBtn::IsListOpen() const { return list_->isVisible(); }

QRect ComBoxBtn::ListGeometry(const QRect& button, int itemCount, int maxHeight, const QRect& workArea) {
  const int height = std::max(0, std::min(itemCount * DropList::kItemHeight, maxHeight));
  // QRect::bottom() is the button's last row: the list overlaps it by one pixel.
  QRect list(button.left(), button.bottom(), button.width(), height);
  if (list.top() + height > workArea.top() + workArea.height()) {
    list.moveTop(std::max(workArea.top(), button.top() - height));
  }
  return list;
}

void ComBoxBtn::OpenList() {
  if (Count() == 0) return;
  const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
  const QScreen* where = screen();
  const QRect work = where ? where->availableGeometry() : QRect(onScreen.topLeft(), QSize(1 << 16, 1 << 16));
  list_->Open(ListGeometry(onScreen, Count(), maxListHeight_, work), selection_);
  update();
}

void ComBoxBtn::Commit(int index) {
  selection_ = index;
  list_->committed_ = list_->highlighted_ = index;
  update();
  emit chosen(listId_, index);
}

void ComBoxBtn::ListClosed() { update(); }

void ComBoxBtn::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  if (!IsListOpen()) OpenList();
}

void ComBoxBtn::wheelEvent(QWheelEvent* event) {
  event->accept();
  if (Count() == 0) return;
  wheelSum_ = std::clamp(wheelSum_ + event->angleDelta().y(), -kWheelNotch, kWheelNotch);
  int next = selection_;
  if (wheelSum_ == -kWheelNotch) {
    next = std::min(selection_ + 1, Count() - 1);
  } else if (wheelSum_ == kWheelNotch) {
    next = std::max(selection_ - 1, 0);
  } else {
    return;
  }
  wheelSum_ = 0;
  Commit(next);
}

void ComBoxBtn::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QWidget::enterEvent(event);
}

void ComBoxBtn::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QWidget::leaveEvent(event);
}

void ComBoxBtn::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool open = IsListOpen();
  const QRectF face = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient g(face.topLeft(), face.bottomLeft());
  const QColor top = hover_ ? skin::kFaceTop.lighter(118) : skin::kFaceTop;
  const QColor bottom = hover_ ? skin::kFaceBottom.lighter(118) : skin::kFaceBottom;
  g.setColorAt(0, open ? bottom : top);
  g.setColorAt(1, open ? top.darker(110) : bottom);
  QColor border = skin::kFaceBorder;
  if (open) {
    border = skin::kHighlight;
  } else if (hover_) {
    border = skin::kHoverBorder;
  }
  if (!isEnabled()) border = skin::kFaceBorder.darker(140);
  p.setPen(QPen(border, 1));
  p.setBrush(g);
  p.drawRoundedRect(face, 3, 3);

  // Chevron in its own well at the right.
  const QRectF well(face.right() - kChevronWidth - 2, face.top() + 3, kChevronWidth, face.height() - 6);
  p.setPen(QPen(skin::kFaceBorder, 1));
  p.drawLine(QPointF(well.left(), well.top()), QPointF(well.left(), well.bottom()));
  const QPointF c = well.center() + QPointF(1, 0);
  QPainterPath chevron;
  chevron.moveTo(c + QPointF(-3.5, -1.5));
  chevron.lineTo(c + QPointF(0, 2));
  chevron.lineTo(c + QPointF(3.5, -1.5));
  p.setPen(QPen(isEnabled() ? skin::kText : skin::kTextDim, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(chevron);

  const QString text = CurrentText();
  if (text.isEmpty()) return;
  p.setFont(ButtonFont(kTextPixels));
  p.setPen(isEnabled() ? skin::kText : skin::kTextDim);
  const QRectF textArea(face.left() + kFacePadding / 2, face.top(), well.left() - face.left() - kFacePadding / 2,
                        face.height());
  const QFontMetrics fm(p.font());
  p.drawText(textArea, Qt::AlignCenter, fm.elidedText(text, Qt::ElideRight, static_cast<int>(textArea.width())));
}

}  // namespace zelto
