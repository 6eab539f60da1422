#pragma once
// The picture slider: strip gains, master volume, band gains, source volumes, the mix matrix.
// It keeps an internal position (minimum at the top or left end of the travel) and reports it
// with `moving` while dragged (at most once per drag tick) and `released` when the user lets go,
// after every key and after every wheel notch. Owners read the value through Value(), which
// applies the value-follows-travel rule, not through the position the signals carry.

#include <QColor>
#include <QMargins>
#include <QPointer>
#include <QSize>
#include <QTimer>
#include <QWidget>

namespace zelto {

class NumEdit;

/// How a slider is painted; the slider takes the size of its channel.
struct SliderSkin {
  QSize size{28, 170};  // the channel
  QSize thumb{26, 14};  // the thumb
  QColor fill;          // active part of the channel (thumb to value 0); invalid: none
  QColor activeThumb;   // thumb while grabbed or focused; invalid: the plain thumb
  int groove = 4;       // width of the channel's groove
  int ticks = 10;       // tick intervals along the travel; 0 for none

  static SliderSkin Vertical(int length = 170);
  static SliderSkin Horizontal(int length = 160);
};

class BitmapSlider : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDragTickMs = 50;  // at most one `moving` per tick while dragging
  static constexpr int kWheelNotch = 120;
  static constexpr int kDefaultPage = 20;

  explicit BitmapSlider(int id, QWidget* parent = nullptr);

  int Id() const { return id_; }

  /// Sets the range of the position; the position is clamped into it.
  void SetRange(int minimum, int maximum);
  int Minimum() const { return min_; }
  int Maximum() const { return max_; }
  /// Sets the position from a value (see Value()); out-of-range values are clamped.
  void SetValue(int value);
  /// maximum − position, or the position itself when the value follows the travel.
  int Value() const;
  void SetPosition(int position);
  int Position() const { return pos_; }
  int Page() const { return page_; }

  void SetVertical(bool vertical);
  bool IsVertical() const { return vertical_; }
  void SetValueFollowsTravel(bool follows);
  void SetArrowsReversed(bool reversed);
  /// Margins of the thumb travel in pixels.
  void SetMargins(const QMargins& margins);
  /// Off: mouse, keys and wheel are ignored and a drag in progress ends without a notification.
  void SetInputEnabled(bool enabled);
  bool IsInputEnabled() const { return inputEnabled_; }
  /// Sets the look and resizes the slider to the skin's channel size.
  void SetSkin(const SliderSkin& skin);
  const SliderSkin& Skin() const { return skin_; }
  /// The numeric box that shows its focus mark while the slider has the focus.
  void SetBuddy(NumEdit* box);

  /// Centre pixel of the thumb (along the travel) for a position.
  int PixelOfPosition(int position) const;
  /// Position for a pixel along the travel, truncated toward zero and clamped to the range.
  int PositionOfPixel(int pixel) const;
  bool IsGrabbed() const { return grabbed_; }
  bool HasFocusMark() const { return focusMark_; }

  QSize sizeHint() const override { return skin_.size; }

 public slots:
  /// Takes the focus and shows the focus mark (what a page asks of a slider it wants focused).
  void TakeFocus();

 signals:
  /// The slider gained the focus, or the position changed during a drag since the last tick.
  void moving(int id, int position);
  /// The left button was released after a press, a key was handled, or a wheel message came.
  void released(int id, int position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int ThumbLength() const;
  int LeadMargin() const;
  int Travel() const;
  int AlongTravel(const QPointF& point) const;
  void MoveTo(int position);
  void EndDrag();
  void OnTick();

  int id_;
  int min_ = 0;
  int max_ = 100;
  int pos_ = 0;
  int page_ = kDefaultPage;
  bool vertical_ = true;
  bool followsTravel_ = false;
  bool arrowsReversed_ = false;
  QMargins margins_;
  bool inputEnabled_ = true;
  SliderSkin skin_;
  QPointer<NumEdit> buddy_;

  bool pressed_ = false;
  bool grabbed_ = false;
  int grabOffset_ = 0;
  int lastTickPos_ = 0;
  bool focusMark_ = false;
  QTimer tick_;
};

}  // namespace zelto
