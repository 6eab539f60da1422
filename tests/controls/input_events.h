#pragma once
// Input delivered straight to a widget, so a test decides exactly which events arrive between
// two timer ticks (QTest's helpers go through the event loop and may let a tick slip in).

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

namespace zelto::testing {

// How long a test waits for a signal that must come (a drag tick, an auto-repeat step).
inline constexpr int kSignalTimeoutMs = 2000;

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
inline void Press(QWidget* w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonPress, at, b);
}
inline void Move(QWidget* w, QPoint at) { SendMouse(w, QEvent::MouseMove, at); }
inline void Release(QWidget* w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonRelease, at, b);
}
inline void Click(QWidget* w, QPoint at) {
  Press(w, at);
  Release(w, at);
}

inline void Key(QWidget* w, int key) {
  QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

inline void Wheel(QWidget* w, int delta) {
  const QPointF at = QRectF(w->rect()).center();
  QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                false);
  QApplication::sendEvent(w, &e);
}

/// Shows a top-level host and waits until it is the active window, so focus changes happen.
inline bool ShowActive(QWidget* host) {
  host->show();
  host->activateWindow();
  return QTest::qWaitForWindowActive(host);
}

}  // namespace zelto::testing
