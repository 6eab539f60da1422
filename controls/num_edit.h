#pragma once
// The numeric entry box and its spin. The box holds a raw integer within a range, shows it in
// one of the display modes of num_format.h and turns typed text back into a raw value when it
// loses the focus. The spin steps the value (along the frequency grid in the frequency modes).
// Both report with `edited(id, value)`, so a page handles the box and its spin in one slot.

#include <QColor>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "controls/num_format.h"

namespace zelto {

class BitmapSlider;
class NumSpin;

class NumEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit NumEdit(int id, QWidget* parent = nullptr);

  int Id() const { return id_; }

  /// Sets the range; the value becomes the minimum.
  void SetRange(int min, int max);
  void SetMode(int mode, const QString& suffix = {});
  void SetStep(double step);
  void SetOffset(double offset);
  /// Shows `value`; values outside the range are ignored (returns false).
  bool SetValue(int value);
  int GetValue() const { return value_; }
  int Minimum() const { return format_.min; }
  int Maximum() const { return format_.max; }
  int Mode() const { return format_.mode; }
  const NumFormat& Format() const { return format_; }

  void SetLanguage(Language lang);
  Language CurrentLanguage() const { return lang_; }
  /// The "last edited" look: the page's highlight colours behind and in the text.
  void SetHighlighted(bool highlighted);
  bool IsHighlighted() const { return highlighted_; }
  void SetHighlightColors(const QColor& text, const QColor& background);
  /// The mark a buddy slider asks for while it has the focus.
  void SetFocusMark(bool shown);
  bool HasFocusMark() const { return focusMark_; }
  /// With `on`, a text wider than the box is drawn in a smaller size of the box's font instead of
  /// being cut at the left (narrow columns holding numbers of varying length).
  void SetFitText(bool on);
  /// The slider redrawn when the box gains the focus.
  void SetSlider(BitmapSlider* slider);
  NumSpin* Spin() const;

  /// True when the user typed since the last commit.
  bool IsChanged() const { return changed_; }
  /// Commits typed text now, as losing the focus does; nothing happens without typing.
  void Commit();

 signals:
  /// A typed value was committed, or the box was clicked (value unchanged then).
  void edited(int id, int value);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class NumSpin;
  void Redraw();
  void FitText();
  void ApplyPalette();

  int id_;
  NumFormat format_;
  int value_ = 0;
  Language lang_ = Language::English;
  bool changed_ = false;
  bool highlighted_ = false;
  bool focusMark_ = false;
  bool selectOnPress_ = false;
  bool fitText_ = false;
  QFont fitBase_;
  QColor highlightText_;
  QColor highlightBack_;
  QPointer<BitmapSlider> slider_;
  QPointer<NumSpin> spin_;
};

class NumSpin : public QWidget {
  Q_OBJECT

 public:
  // A held button repeats after a pause, then faster the longer it is held.
  static constexpr int kRepeatDelayMs = 400;
  static constexpr int kRepeatIntervalMs = 90;
  static constexpr int kFastIntervalMs = 30;
  static constexpr int kStepsBeforeFast = 10;

  explicit NumSpin(int id, QWidget* parent = nullptr);

  int Id() const { return id_; }

  /// Pairs the spin with its box; the box then holds the range and the value.
  void SetBuddy(NumEdit* box);
  NumEdit* Buddy() const { return buddy_; }
  /// Sets the range, copied into the box (whose value becomes the minimum).
  void SetRange(int min, int max);
  int Minimum() const;
  int Maximum() const;
  /// Takes a value from code; one outside the range is refused with "%d:数据错误" / "%d:Data err"
  /// (the box's id) and changes nothing.
  bool SetPosition(int value);
  int Position() const;
  /// Steps along the frequency grid (the box is in mode 4, 8 or 9).
  bool IsFrequencyStepping() const;

  /// One step up or down, as a click on an arrow; the box takes the value, `edited` follows.
  void StepUp();
  void StepDown();

  void SetLanguage(Language lang) { lang_ = lang; }
  /// Replaces the message box that shows a refusal (tests, or a page with its own reporting).
  void SetRefusalHandler(std::function<void(const QString&)> handler);

  QSize sizeHint() const override;

 signals:
  void edited(int id, int value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  enum class Part { None, Up, Down };
  Part PartAt(const QPoint& point) const;
  void Step(int direction);
  void OnRepeat();

  int id_;
  QPointer<NumEdit> buddy_;
  int min_ = 0;
  int max_ = 100;
  int pos_ = 0;
  Language lang_ = Language::English;
  std::function<void(const QString&)> refuse_;
  Part held_ = Part::None;
  Part hover_ = Part::None;
  int repeats_ = 0;
  QTimer repeat_;
};

}  // namespace zelto
