#pragma once
// The channel strips: for each of the first seven outputs a select button, the gain as a slider
// and a box with its spin, mute and phase, the channel's colour and the type of its position.

#include <array>

#include "app/sections/section.h"
#include "edit/positions.h"

namespace zelto {

class BitmapSlider;
class NumEdit;
class NumSpin;
class XPButton;

class StripsSection : public Section {
  Q_OBJECT

 public:
  static constexpr QRect kRegion{346, 524, 926, 168};

  StripsSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent);

  /// Mute, phase and gain of every strip; the caller holds the model lock.
  void Refresh();
  /// Mute, phase and gain of one channel's strip (none for a channel without one).
  void RefreshChannel(int channel);
  void ShowGain(int channel);
  /// Every strip of `channel`'s link group shows its gain.
  void ShowGroupGain(int channel);
  void SetSelected(int channel, bool selected);
  NumEdit* GainBox(int channel) const { return strips_.at(static_cast<std::size_t>(channel)).box; }

 signals:
  void selectPressed(int channel);
  /// The gain of `channel` and its link group changed on a strip.
  void gainEdited(int channel);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Strip {
    XPButton* select = nullptr;
    BitmapSlider* slider = nullptr;
    NumEdit* box = nullptr;
    NumSpin* spin = nullptr;
    XPButton* mute = nullptr;
    XPButton* phase = nullptr;
  };

  void OnGain(int channel, int value, bool fromSlider, bool released);
  void OnMute(int channel);
  void OnPhase(int channel);
  void ShowSwitches(int channel);

  std::array<Strip, rules::kStripCount> strips_{};
};

}  // namespace zelto
