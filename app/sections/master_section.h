#pragma once
// The master section: the master volume as a box with its spin and a slider, and the master mute.

#include "app/sections/section.h"

namespace zelto {

class BitmapSlider;
class NumEdit;
class NumSpin;
class XPButton;

class MasterSection : public Section {
  Q_OBJECT

 public:
  static constexpr QRect kRegion{8, 58, 330, 88};

  MasterSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent);

  /// Volume and mute as the system settings hold them; the caller holds the model lock.
  void Refresh();
  /// The processor changed the volume or the mute itself: show it, send nothing back.
  void ShowDeviceVolume();
  void ShowDeviceMute();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnVolumeEdited(int value);
  void OnSlider(bool released);
  void OnMute();
  void ApplyVolume(int value);

  NumEdit* box_ = nullptr;
  NumSpin* spin_ = nullptr;
  BitmapSlider* slider_ = nullptr;
  XPButton* mute_ = nullptr;
};

}  // namespace zelto
