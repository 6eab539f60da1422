#pragma once
// The transfer progress window: modeless, shown while a batch goes to or comes from the
// processor. While it is up, the window that started the transfer takes no input.

#include <QPointer>
#include <QWidget>

#include "core/encodings.h"

namespace zelto {

class TransferWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kProgressBarId = 1414;
  static constexpr int kStatusTextId = 1433;
  static constexpr int kInitialRange = 100;

  explicit TransferWindow(QWidget* owner);

  void SetLanguage(Language lang);
  /// Caption by language: "数据传输中" / "Data transmissionning".
  QString Caption() const;

  /// The bar's range becomes 0..count and its position 0.
  void SetRange(int count);
  void SetPosition(int step);
  int Range() const { return range_; }
  int Position() const { return position_; }

  /// Disables `starter` (the window that started the transfer) and shows the window over it.
  void ShowFor(QWidget* starter);
  /// Re-enables the starter and hides the window. Harmless when not shown.
  void HideAndRelease();
  bool IsShown() const { return isVisible(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Language lang_ = Language::English;
  int range_ = kInitialRange;
  int position_ = 0;
  QPointer<QWidget> starter_;
};

}  // namespace zelto
