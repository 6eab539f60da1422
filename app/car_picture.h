#pragma once
// The car seen from above with its sixteen speaker positions: a position button and a delay box
// (with its spin) for each. Which positions are shown, which one is lit and the delay values are
// set by the main view; the picture reports clicks and delay edits by position code.

#include <QWidget>
#include <array>
#include <span>

#include "core/encodings.h"
#include "edit/positions.h"

namespace zelto {

class BtnPng;
class NumEdit;
class NumSpin;

class CarPicture : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 304;
  static constexpr int kHeight = 338;

  explicit CarPicture(QWidget* parent = nullptr);

  /// Shows the positions (buttons and delay boxes) that some channel type stands for.
  void ShowPositionsFor(std::span<const std::uint8_t> types);
  /// Draws every position button in its normal state, then lights the one of `code` (0: none).
  void Highlight(int code);
  int Highlighted() const { return highlighted_; }
  /// Sets the delay box of a position (raw value in samples, 0..960).
  void SetDelay(int code, int delay);
  /// 0 milliseconds, 1 centimetres, 2 inches; the values stay.
  void SetUnit(int unit);
  void SetLanguage(Language lang);

  BtnPng* Button(int code) const;
  NumEdit* DelayBox(int code) const;

 signals:
  void positionClicked(int code);
  void delayEdited(int code, int delay);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Spot {
    BtnPng* button = nullptr;
    NumEdit* box = nullptr;
    NumSpin* spin = nullptr;
  };
  int IndexOf(int code) const;

  std::array<Spot, rules::kPositionCount> spots_{};
  int highlighted_ = 0;
  Language lang_ = Language::English;
};

}  // namespace zelto
