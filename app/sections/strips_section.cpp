#include "app/sections/strips_section.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "core/channel_label.h"
#include "app/view_ids.h"
#include "controls/bitmap_slider.h"
#include "controls/num_edit.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "edit/editor.h"
#include "edit/linking.h"
#include "edit/system_settings.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {
constexpr int kStripWidth = 128;
constexpr int kStripPitch = 133;
constexpr int kStripSliderLength = 104;
}  // namespace

using namespace view_id;

StripsSection::StripsSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent)
    : Section(kRegion, ui, engine, editor, parent) {
  for (int i = 0; i < rules::kStripCount; ++i) {
    const int x = i * kStripPitch;
    Strip& s = strips_[static_cast<std::size_t>(i)];
    s.select = Named(new XPButton(kFirstStripSelect + i, this), kFirstStripSelect + i);
    const BiText name = Same(QString::fromStdString(ChannelLabel(i)));
    s.select->SetFaces(Caption(name, Tone::Lit), Caption(name));
    s.select->SetOn(false);
    s.select->setGeometry(x + 8, 6, kStripWidth - 16, 26);
    connect(s.select, &SkinButton::clicked, this, [this, i] { emit selectPressed(i); });

    s.slider = Named(new BitmapSlider(kFirstStripGainSlider + i, this), kFirstStripGainSlider + i);
    s.slider->SetSkin(SliderSkin::Vertical(kStripSliderLength));
    s.slider->SetRange(0, rules::kMasterVolumeMax);
    s.slider->move(x + 12, 42);
    connect(s.slider, &BitmapSlider::moving, this, [this, i](int, int) { OnGain(i, 0, true, false); });
    connect(s.slider, &BitmapSlider::released, this, [this, i](int, int) { OnGain(i, 0, true, true); });

    s.box = Named(new NumEdit(kFirstStripGainBox + i, this), kFirstStripGainBox + i);
    s.spin = Named(new NumSpin(kFirstStripGainSpin + i, this), kFirstStripGainSpin + i);
    s.spin->SetBuddy(s.box);
    s.spin->SetRange(0, rules::kMasterVolumeMax);
    s.box->SetMode(nummode::kGainDb);
    s.box->SetStep(1.0);
    s.box->SetOffset(rules::kMasterVolumeOffsetDb);
    s.slider->SetBuddy(s.box);
    s.box->setGeometry(x + 48, 58, 60, 24);
    s.spin->setGeometry(x + 108, 57, 14, 26);
    connect(s.box, &NumEdit::edited, this, [this, i](int, int v) { OnGain(i, v, false, true); });
    connect(s.spin, &NumSpin::edited, this, [this, i](int, int v) { OnGain(i, v, false, true); });

    s.mute = Named(new XPButton(kFirstStripMute + i, this), kFirstStripMute + i);
    s.mute->SetFaces(Icon(Glyph::Speaker), Icon(Glyph::SpeakerMuted, Tone::Alert));
    s.mute->setGeometry(x + 48, 88, 74, 26);
    connect(s.mute, &SkinButton::clicked, this, [this, i] { OnMute(i); });

    s.phase = Named(new XPButton(kFirstStripPhase + i, this), kFirstStripPhase + i);
    s.phase->SetFaces(Caption(Bi("正相", "0°")), Caption(Bi("反相", "180°"), Tone::Alert));
    s.phase->setGeometry(x + 48, 118, 74, 26);
    connect(s.phase, &SkinButton::clicked, this, [this, i] { OnPhase(i); });
  }
}

void StripsSection::ShowSwitches(int channel) {
  Strip& s = strips_[static_cast<std::size_t>(channel)];
  s.mute->SetOn(Channel(channel).OutputSwitch());
  s.phase->SetOn(Channel(channel).Phase() == 0);
}

void StripsSection::Refresh() {
  for (int ch = 0; ch < rules::kStripCount; ++ch) {
    ShowSwitches(ch);
    ShowGain(ch);
  }
}

void StripsSection::RefreshChannel(int channel) {
  if (channel < rules::kStripCount) ShowSwitches(channel);
  ShowGain(channel);
}

void StripsSection::ShowGain(int channel) {
  if (channel < 0 || channel >= rules::kStripCount) return;
  Strip& s = strips_[static_cast<std::size_t>(channel)];
  const CKTV_OutData& c = Channel(channel);
  // A channel whose gain is switched off reads -60 dB.
  const int g = c.GainOff() ? 0 : std::clamp(c.GainCode(), 0, rules::kMasterVolumeMax);
  s.spin->SetPosition(g);
  s.slider->SetValue(g);
}

void StripsSection::ShowGroupGain(int channel) {
  for (int ch : rules::LinkGroup(engine_.Image(), channel)) ShowGain(ch);
}

void StripsSection::SetSelected(int channel, bool selected) {
  if (channel >= 0 && channel < rules::kStripCount) strips_[static_cast<std::size_t>(channel)].select->SetOn(selected);
}

void StripsSection::OnGain(int channel, int value, bool fromSlider, bool released) {
  Strip& s = strips_[static_cast<std::size_t>(channel)];
  const int g = fromSlider ? s.slider->Value() : value;
  editor_.SetGain(channel, g);
  if (fromSlider)
    s.spin->SetPosition(g);
  else
    s.slider->SetValue(g);
  // The object copied the gain to its link group; their strips follow.
  const DeviceImage& image = engine_.Image();
  for (int other = 0; other < kOutputChannels; ++other)
    if (other != channel && image.SameLinkGroup(channel, other)) ShowGain(other);
  emit gainEdited(channel);
  if (fromSlider && released) s.box->setFocus();
}

void StripsSection::OnMute(int channel) {
  // Mute stays the channel's own: linked channels keep theirs.
  const bool soundOn = editor_.ToggleSoundOn(channel);
  strips_[static_cast<std::size_t>(channel)].mute->SetOn(soundOn);
}

void StripsSection::OnPhase(int channel) {
  const int phase = editor_.TogglePhase(channel);
  strips_[static_cast<std::size_t>(channel)].phase->SetOn(phase == 0);
}

void StripsSection::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const DeviceImage& image = engine_.Image();
  for (int i = 0; i < rules::kStripCount; ++i) {
    const QRect r(i * kStripPitch, 0, kStripWidth, height());
    PaintPanel(p, r, {});
    const QColor colour = ChannelColour(Channel(i));
    p.fillRect(QRect(r.left() + 8, r.top() + 35, r.width() - 16, 2), i == Current() ? colour : colour.darker(220));
    PaintLabel(p, QRect(r.left() + 48, r.top() + 40, 74, 16), Word("增益", "Gain"), Qt::AlignLeft | Qt::AlignVCenter,
               11);
    const int type = image.ChannelTypes()[static_cast<std::size_t>(i)];
    const QString typeName = type ? Utf8(rules::PositionName(type, Lang())) : Word("未分配", "Unassigned");
    p.setFont(skin::FaceFont(10, false));
    p.setPen(skin::kCaptionText);
    const QFontMetrics fm(p.font());
    p.drawText(QRect(r.left() + 8, r.bottom() - 20, r.width() - 16, 16), Qt::AlignHCenter | Qt::AlignVCenter,
               fm.elidedText(typeName, Qt::ElideRight, r.width() - 16));
  }
}

}  // namespace zelto
