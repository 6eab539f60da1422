#include "app/sections/master_section.h"

#include <QPainter>
#include <algorithm>

#include "app/view_ids.h"
#include "controls/bitmap_slider.h"
#include "controls/num_edit.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "edit/editor.h"
#include "edit/system_settings.h"
#include "link/engine.h"

namespace zelto {

using namespace view_id;

MasterSection::MasterSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent)
    : Section(kRegion, ui, engine, editor, parent) {
  box_ = Named(new NumEdit(kMasterVolumeBox, this), kMasterVolumeBox);
  spin_ = Named(new NumSpin(kMasterVolumeSpin, this), kMasterVolumeSpin);
  spin_->SetBuddy(box_);
  spin_->SetRange(0, rules::kMasterVolumeMax);
  box_->SetMode(nummode::kGainDb);
  box_->SetStep(1.0);
  box_->SetOffset(rules::kMasterVolumeOffsetDb);
  box_->setGeometry(14, 46, 58, 24);
  spin_->setGeometry(72, 45, 14, 26);
  connect(box_, &NumEdit::edited, this, [this](int, int v) { OnVolumeEdited(v); });
  connect(spin_, &NumSpin::edited, this, [this](int, int v) { OnVolumeEdited(v); });

  slider_ = Named(new BitmapSlider(kMasterVolumeSlider, this), kMasterVolumeSlider);
  slider_->SetSkin(SliderSkin::Horizontal(172));
  slider_->SetVertical(false);
  slider_->SetValueFollowsTravel(true);
  slider_->SetRange(0, rules::kMasterVolumeMax);
  slider_->SetBuddy(box_);
  slider_->move(96, 46);
  connect(slider_, &BitmapSlider::moving, this, [this](int, int) { OnSlider(false); });
  connect(slider_, &BitmapSlider::released, this, [this](int, int) { OnSlider(true); });

  mute_ = Named(new XPButton(kMasterMute, this), kMasterMute);
  mute_->SetFaces(Icon(Glyph::Speaker), Icon(Glyph::SpeakerMuted, Tone::Alert));
  mute_->setGeometry(280, 44, 38, 28);
  connect(mute_, &SkinButton::clicked, this, [this] { OnMute(); });
}

void MasterSection::Refresh() {
  const DeviceImage& image = engine_.Image();
  mute_->SetOn(image.SystemSettings()[sys::kMasterSwitch] != 0);
  const int volume = std::clamp(image.MasterVolume(), 0, rules::kMasterVolumeMax);
  spin_->SetPosition(volume);
  slider_->SetValue(volume);
}

void MasterSection::ShowDeviceVolume() {
  const int v = engine_.Image().MasterVolume();
  spin_->SetPosition(v);
  slider_->SetValue(v);
}

void MasterSection::ShowDeviceMute() { mute_->SetOn(engine_.Image().systemArea[sys::kMasterSwitch] != 0); }

void MasterSection::ApplyVolume(int value) {
  if (!editor_.SetMasterVolume(value)) return;
  // A volume change shows the sound as on; the stored switch stays as it is.
  mute_->SetOn(true);
}

void MasterSection::OnVolumeEdited(int value) {
  slider_->SetValue(value);
  ApplyVolume(value);
}

void MasterSection::OnSlider(bool released) {
  const int value = slider_->Value();
  spin_->SetPosition(value);
  ApplyVolume(value);
  if (released) box_->setFocus();
}

void MasterSection::OnMute() {
  const bool soundOn = !mute_->IsOn();
  mute_->SetOn(soundOn);
  editor_.SetMasterSoundOn(soundOn);
}

void MasterSection::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  PaintPanel(p, rect(), Word("主音量", "MASTER"));
  PaintLabel(p, QRect(14, 26, 90, 16), Word("音量", "Volume"), Qt::AlignLeft | Qt::AlignVCenter, 11);
  PaintLabel(p, QRect(96, 26, 172, 16), QStringLiteral("-60dB"), Qt::AlignLeft | Qt::AlignVCenter, 10);
  PaintLabel(p, QRect(96, 26, 172, 16), QStringLiteral("0dB"), Qt::AlignRight | Qt::AlignVCenter, 10);
  PaintLabel(p, QRect(272, 26, 54, 16), Word("静音", "Mute"), Qt::AlignHCenter | Qt::AlignVCenter, 11);
}

}  // namespace zelto
