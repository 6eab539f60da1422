#include "app/main_frame.h"

#include <QCloseEvent>
#include <QScreen>

#include "app/zelto_view.h"

namespace zelto {

CMainFrame::CMainFrame(CZeltoView* view) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), view_(view) {
  setObjectName(QStringLiteral("CMainFrame"));
  view_->setParent(this);
  view_->move(0, 0);
  setFixedSize(CZeltoView::kWidth, CZeltoView::kHeight);
  connect(view_, &CZeltoView::minimiseRequested, this, &QWidget::showMinimized);
  connect(view_, &CZeltoView::closeRequested, this, &QWidget::close);
  if (QScreen* s = screen()) connect(s, &QScreen::geometryChanged, this, &CMainFrame::OnScreenGeometryChanged);
}

void CMainFrame::CentreOnScreen() {
  QScreen* s = screen();
  if (!s) return;
  QRect area = frameGeometry();
  area.moveCenter(s->availableGeometry().center());
  move(area.topLeft());
}

void CMainFrame::OnScreenGeometryChanged() {
  // After a change of display mode the window goes to the top-left corner, keeping its size.
  if (QScreen* s = screen()) move(s->geometry().topLeft());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  view_->AskAboutUnsentWork();
  view_->Shutdown();
  event->accept();
}

}  // namespace zelto
