#include "app/sections/top_bar_section.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/com_box_btn.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "core/bytes.h"
#include "core/wire.h"
#include "edit/editor.h"
#include "edit/system_settings.h"
#include "link/engine.h"

namespace zelto {

using namespace view_id;

TopBarSection::TopBarSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent)
    : Section(QRect(0, 0, parent->width(), kHeight), ui, engine, editor, parent) {
  connect_ = Named(new XPButton(kConnect, this), kConnect);
  connect_->setGeometry(262, 10, 100, 30);
  connect(connect_, &SkinButton::clicked, this, &TopBarSection::connectPressed);

  ab_ = Named(new XPButton(kAbButton, this), kAbButton);
  ab_->SetFaces(Caption(Same(QStringLiteral("A/B")), Tone::Lit), Caption(Same(QStringLiteral("A/B"))));
  ab_->SetOn(false);
  ab_->setGeometry(366, 10, 40, 30);
  connect(ab_, &SkinButton::clicked, this, &TopBarSection::abPressed);

  dsp_ = Named(new BitButton(kDspSwitch, this), kDspSwitch);
  dsp_->SetFaces(Caption(Same(QStringLiteral("OFF"))), Caption(Same(QStringLiteral("ON")), Tone::Lit));
  dsp_->setGeometry(440, 12, 54, 26);
  connect(dsp_, &SkinButton::clicked, this, [this] { OnDspSwitch(); });

  source_ = Named(new ComBoxBtn(kSourceList, kSourceListId, this), kSourceList);
  QList<BiText> sources;
  for (int i = 0; i < rules::kSourceCount; ++i)
    sources.append({Utf8(rules::SourceName(i, Language::Chinese)), Utf8(rules::SourceName(i, Language::English))});
  source_->SetItems(sources);
  source_->setGeometry(562, 12, 118, 26);
  connect(source_, &ComBoxBtn::chosen, this, &TopBarSection::OnListChosen);

  gate_ = Named(new ComBoxBtn(kNoiseGateList, kNoiseGateListId, this), kNoiseGateList);
  QList<BiText> gates;
  for (int i = 0; i < rules::kNoiseGateCount; ++i)
    gates.append({Utf8(rules::NoiseGateName(i, Language::Chinese)), Utf8(rules::NoiseGateName(i, Language::English))});
  gate_->SetItems(gates);
  gate_->setGeometry(768, 12, 92, 26);
  connect(gate_, &ComBoxBtn::chosen, this, &TopBarSection::OnListChosen);

  settingsMenu_ = Named(new BitButton(kSettingsMenu, this), kSettingsMenu);
  settingsMenu_->SetFaces(Caption(Bi("设置", "SetUp")));
  settingsMenu_->setGeometry(888, 10, 70, 30);
  connect(settingsMenu_, &SkinButton::clicked, this, &TopBarSection::settingsMenuPressed);

  fileMenu_ = Named(new BitButton(kFileMenu, this), kFileMenu);
  fileMenu_->SetFaces(Caption(Bi("文件", "File")));
  fileMenu_->setGeometry(962, 10, 70, 30);
  connect(fileMenu_, &SkinButton::clicked, this, &TopBarSection::fileMenuPressed);

  link_ = Named(new XPButton(kLink, this), kLink);
  link_->SetFaces(Caption(Bi("联调", "Link"), Tone::Lit), Caption(Bi("联调", "Link")));
  link_->SetOn(false);
  link_->setGeometry(1036, 10, 70, 30);
  connect(link_, &SkinButton::clicked, this, &TopBarSection::linkPressed);

  mixer_ = Named(new BitButton(kMixer, this), kMixer);
  mixer_->SetFaces(Caption(Bi("混音", "Mixer")), Caption(Bi("混音", "Mixer"), Tone::Lit));
  mixer_->setGeometry(1110, 10, 70, 30);
  connect(mixer_, &SkinButton::clicked, this, &TopBarSection::mixerPressed);

  minimise_ = Named(new XPButton(kMinimise, this), kMinimise);
  minimise_->SetFaces(Icon(Glyph::Minimise), Icon(Glyph::Minimise));
  minimise_->setGeometry(1198, 10, 32, 30);
  connect(minimise_, &SkinButton::clicked, this, &TopBarSection::minimisePressed);

  close_ = Named(new XPButton(kClose, this), kClose);
  close_->SetFaces(Icon(Glyph::Close, Tone::Alert), Icon(Glyph::Close, Tone::Alert));
  close_->setGeometry(1236, 10, 32, 30);
  connect(close_, &SkinButton::clicked, this, &TopBarSection::closePressed);
}

void TopBarSection::Refresh() {
  const auto settings = engine_.Image().SystemSettings();
  dsp_->SetOn(settings[sys::kDspSwitch] != 0);
  gate_->SelectItem(std::clamp<int>(settings[sys::kNoiseGate], 0, rules::kNoiseGateCount - 1));
}

void TopBarSection::ShowSource(int index) { source_->SelectItem(index); }

void TopBarSection::ApplyLanguage() {
  // The lists keep their choice: the source list shows byte 0, the gate list byte 4.
  const DeviceImage& image = engine_.Image();
  source_->SelectItem(rules::ShownSource(image));
  gate_->SelectItem(std::clamp<int>(image.SystemSettings()[sys::kNoiseGate], 0, rules::kNoiseGateCount - 1));
}

void TopBarSection::ShowConnected(bool connected) {
  connect_->SetFaces(Face{Bi("已连接", "Connected"), Glyph::Power, Tone::Lit, skin::kConnected},
                     Face{Bi("连接设备", "Connect"), Glyph::Power, Tone::Plain, {}});
  connect_->SetOn(connected);
}

void TopBarSection::RefreshTitle() {
  const DeviceImage& image = engine_.Image();
  presetName_.clear();
  const int preset = image.currentPreset[0];
  if (engine_.Connected() && preset >= 1 && preset <= 6) {
    const auto slot = image.Preset(preset);
    if (!slot.empty()) {
      const std::string name = ReadField(slot.subspan(preset::kName, preset::kNameSize));
      presetName_ = QString::fromUtf8(name.c_str());
    }
  }
  update(kTitleArea);
}

void TopBarSection::SetFileTitle(const QString& title) {
  fileTitle_ = title;
  update(kTitleArea);
}

void TopBarSection::ClearNames() {
  presetName_.clear();
  fileTitle_.clear();
  update(kTitleArea);
}

void TopBarSection::SetStatus(const QString& text) {
  status_ = text;
  update(kTitleArea);
}

void TopBarSection::ShowLink(bool on) { link_->SetOn(on); }

void TopBarSection::ShowMixerOpen(bool open) { mixer_->SetOn(open); }

QPoint TopBarSection::SettingsMenuPlace(int dx) const {
  const QRect r = settingsMenu_->geometry();
  return mapToGlobal(QPoint(r.left() + dx, r.bottom() + 5));
}

void TopBarSection::OnDspSwitch() {
  const bool on = !dsp_->IsOn();
  dsp_->SetOn(on);
  editor_.SetDspSwitch(on);
}

void TopBarSection::OnListChosen(int listId, int index) {
  if (listId == kSourceListId)
    editor_.SetSource(index);
  else if (listId == kNoiseGateListId)
    editor_.SetNoiseGate(index);
}

void TopBarSection::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);

  // Title area: brand, model name, connection state.
  p.setFont(skin::FaceFont(20, true));
  p.setPen(skin::kText);
  p.drawText(QRect(16, 4, 120, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ZELTO"));
  p.setPen(skin::kAccent);
  p.drawText(QRect(98, 4, 40, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("DSP"));
  if (!fileTitle_.isEmpty()) {
    // The PC file last saved or loaded.
    p.setFont(skin::FaceFont(11, true));
    p.setPen(skin::kText);
    p.drawText(QRect(146, 8, 110, 20), Qt::AlignRight | Qt::AlignVCenter, fileTitle_);
  }
  p.setFont(skin::FaceFont(11, false));
  p.setPen(skin::kCaptionText);
  QString line = QString::fromUtf8(kModelIdentity);
  if (!presetName_.isEmpty()) line += QStringLiteral("  ·  ") + presetName_;
  if (!status_.isEmpty()) line += QStringLiteral("  ·  ") + status_;
  p.drawText(QRect(30, 29, 200, 16), Qt::AlignLeft | Qt::AlignVCenter,
             QFontMetrics(p.font()).elidedText(line, Qt::ElideRight, 200));
  p.setPen(Qt::NoPen);
  p.setBrush(engine_.Connected() ? QColor(0, 210, 130) : QColor(110, 116, 126));
  p.drawEllipse(QPointF(21, 37.5), 4, 4);

  // Words of the bar.
  PaintLabel(p, QRect(408, 12, 30, 26), QStringLiteral("DSP"), Qt::AlignRight | Qt::AlignVCenter);
  PaintLabel(p, QRect(500, 12, 58, 26), Word("音源", "Source"), Qt::AlignRight | Qt::AlignVCenter);
  PaintLabel(p, QRect(684, 12, 80, 26), Word("噪声门", "Noise gate"), Qt::AlignRight | Qt::AlignVCenter);
  p.setPen(QPen(QColor(60, 66, 78), 1));
  p.drawLine(QPointF(876.5, 12), QPointF(876.5, 38));
  p.drawLine(QPointF(1188.5, 12), QPointF(1188.5, 38));
}

}  // namespace zelto
