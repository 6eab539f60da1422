#pragma once
// The car section: the car picture with its speaker positions and delay boxes, the delay unit
// buttons, and the current channel's EQ reset and bypass buttons under it.

#include <array>

#include "app/sections/section.h"

namespace zelto {

class BitButton;
class CarPicture;

class CarSection : public Section {
  Q_OBJECT

 public:
  static constexpr QRect kRegion{8, 276, 330, 416};
  /// Delay units of the car picture.
  enum DelayUnit { kMilliseconds = 0, kCentimetres = 1, kInches = 2 };

  CarSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent);

  /// The positions some channel stands for and their delays.
  void Refresh();
  /// Each box shows the delay of the channel it edits.
  void RefreshDelays();
  /// Lights the position of `channel`'s type, if it has one.
  void ShowChannel(int channel);
  void SetDelayUnit(int unit);
  int DelayUnitShown() const { return unit_; }
  void ApplyLanguage();
  void ShowEqBypass(bool on);
  bool EqBypassShown() const;
  CarPicture* Car() const { return car_; }

 signals:
  /// A position was clicked, or the delay of another channel than the current one was edited.
  void channelChosen(int channel);
  void eqResetPressed();
  void eqBypassPressed();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnPositionClicked(int code);
  void OnDelayEdited(int code, int delay);

  CarPicture* car_ = nullptr;
  std::array<BitButton*, 3> unitButtons_{};
  BitButton* eqReset_ = nullptr;
  BitButton* eqBypass_ = nullptr;
  int unit_ = kMilliseconds;
};

}  // namespace zelto
