#pragma once
// The main window: frameless, 1280 x 700, centred on the screen, holding the main form. It is
// moved by dragging the form's background and closed by the form's close button.

#include <QWidget>

namespace zelto {

class CZeltoView;

class CMainFrame : public QWidget {
  Q_OBJECT

 public:
  explicit CMainFrame(CZeltoView* view);

  CZeltoView* View() const { return view_; }
  /// Places the window at the centre of the screen it is on.
  void CentreOnScreen();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnScreenGeometryChanged();

  CZeltoView* view_;
};

}  // namespace zelto
