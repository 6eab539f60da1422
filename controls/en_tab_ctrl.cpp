#include "controls/en_tab_ctrl.h"

#include <QPainter>
#include <QStyleOptionTab>

namespace zelto {
namespace {
constexpr int kTabPadding = 22;
constexpr int kTabHeight = 32;
constexpr int kAccentHeight = 3;
const QColor kTabText{78, 82, 100};
const QColor kTabSelectedText{18, 22, 32};
const QColor kTabSelectedBack{250, 250, 253};
const QColor kTabHover{238, 238, 246};
const QColor kTabDivider{200, 200, 214};
}  // namespace

BaseTabBar::BaseTabBar(QWidget* parent)
    : QTabBar(parent),
      text_(kTabText),
      selectedText_(kTabSelectedText),
      selectedBack_(kTabSelectedBack),
      accent_(skin::kHighlight) {
  setDrawBase(false);
  setExpanding(false);
  setCursor(Qt::PointingHandCursor);
  setMouseTracking(true);
}

void BaseTabBar::SetCaptionFont(const QFont& font) {
  setFont(font);
  updateGeometry();
  update();
}

void BaseTabBar::SetColors(const QColor& text, const QColor& selectedText, const QColor& selectedBack,
                           const QColor& accent) {
  text_ = text;
  selectedText_ = selectedText;
  selectedBack_ = selectedBack;
  accent_ = accent;
  update();
}

QSize BaseTabBar::tabSizeHint(int index) const {
  const QFontMetrics fm(font());
  return {fm.horizontalAdvance(tabText(index)) + 2 * kTabPadding, std::max(kTabHeight, fm.height() + 8)};
}

void BaseTabBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setFont(font());
  const QPoint pointer = mapFromGlobal(QCursor::pos());
  for (int i = 0; i < count(); ++i) {
    const QRect r = tabRect(i);
    const bool selected = i == currentIndex();
    if (selected) {
      p.fillRect(r, selectedBack_);
      p.fillRect(QRect(r.left(), r.bottom() - kAccentHeight + 1, r.width(), kAccentHeight), accent_);
    } else if (underMouse() && r.contains(pointer)) {
      p.fillRect(r, kTabHover);
    }
    p.setPen(kTabDivider);
    p.drawLine(r.topRight() + QPoint(0, 6), r.bottomRight() - QPoint(0, 6));
    p.setPen(isTabEnabled(i) ? (selected ? selectedText_ : text_) : kTabDivider);
    p.drawText(r.adjusted(0, 0, 0, selected ? -kAccentHeight + 1 : 0), Qt::AlignCenter, tabText(i));
  }
}

BaseTabCtrl::BaseTabCtrl(int id, QWidget* parent)
    : QTabWidget(parent), id_(id), bar_(new BaseTabBar(this)), strip_(skin::kTabStrip), page_(skin::kPanel) {
  setTabBar(bar_);
  setDocumentMode(true);
}

void BaseTabCtrl::SetStripColor(const QColor& strip) {
  strip_ = strip;
  update();
}

void BaseTabCtrl::SetPageColor(const QColor& page) {
  page_ = page;
  update();
}

void BaseTabCtrl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int stripBottom = tabBar()->isVisible() ? tabBar()->geometry().bottom() + 1 : 0;
  p.fillRect(QRect(0, stripBottom, width(), height() - stripBottom), page_);
  if (stripBottom > 0) p.fillRect(QRect(0, 0, width(), stripBottom), strip_);
}

EnTabCtrl::EnTabCtrl(int id, QWidget* parent) : BaseTabCtrl(id, parent) {
  QFont f;
  f.setFamilies({QStringLiteral("Microsoft Verdana"), QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("Noto Sans CJK SC")});
  f.setPixelSize(kCaptionPixels);
  Bar()->SetCaptionFont(f);
  SetStripColor(skin::kTabStrip);
}

int EnTabCtrl::AddPage(QWidget* page, const BiText& caption) {
  const int index = addTab(page, caption.In(lang_));
  captions_.insert(index, caption);
  return index;
}

void EnTabCtrl::SetLanguage(Language lang) {
  lang_ = lang;
  for (int i = 0; i < count() && i < captions_.size(); ++i) setTabText(i, captions_[i].In(lang_));
}

}  // namespace zelto
