#include "app/sections/car_section.h"

#include <QPainter>
#include <algorithm>

#include "app/car_picture.h"
#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/skin.h"
#include "edit/editor.h"
#include "edit/positions.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

using namespace view_id;

CarSection::CarSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent)
    : Section(kRegion, ui, engine, editor, parent) {
  car_ = new CarPicture(this);
  car_->move((kRegion.width() - CarPicture::kWidth) / 2, 28);
  connect(car_, &CarPicture::positionClicked, this, &CarSection::OnPositionClicked);
  connect(car_, &CarPicture::delayEdited, this, &CarSection::OnDelayEdited);

  const std::array<std::pair<int, BiText>, 3> units = {{{kDelayUnitMs, Same(QStringLiteral("ms"))},
                                                        {kDelayUnitCm, Same(QStringLiteral("cm"))},
                                                        {kDelayUnitInch, Same(QStringLiteral("inch"))}}};
  for (std::size_t i = 0; i < units.size(); ++i) {
    BitButton* b = Named(new BitButton(units[i].first, this), units[i].first);
    b->SetFaces(Caption(units[i].second), Caption(units[i].second, Tone::Lit));
    b->setGeometry(10 + static_cast<int>(i) * 46, 376, 42, 28);
    const int unit = i == 0 ? kMilliseconds : (i == 1 ? kCentimetres : kInches);
    connect(b, &SkinButton::clicked, this, [this, unit] { SetDelayUnit(unit); });
    unitButtons_[i] = b;
  }
  eqReset_ = Named(new BitButton(kEqReset, this), kEqReset);
  eqReset_->SetFaces(Caption(Bi("重置均衡", "Reset")));
  eqReset_->setGeometry(152, 376, 82, 28);
  connect(eqReset_, &SkinButton::clicked, this, &CarSection::eqResetPressed);
  eqBypass_ = Named(new BitButton(kEqBypass, this), kEqBypass);
  eqBypass_->SetFaces(Caption(Bi("直通均衡", "Bypass")), Caption(Bi("直通均衡", "Bypass"), Tone::Lit));
  eqBypass_->setGeometry(238, 376, 82, 28);
  connect(eqBypass_, &SkinButton::clicked, this, &CarSection::eqBypassPressed);
}

void CarSection::Refresh() { car_->ShowPositionsFor(engine_.Image().ChannelTypes()); }

void CarSection::RefreshDelays() {
  // Each box shows the channel it edits (the position rule), so what is shown is what changes.
  const auto types = engine_.Image().ChannelTypes();
  for (const auto& spot : rules::PositionSpots()) {
    if (auto ch = rules::ChannelForPosition(types, spot.code)) car_->SetDelay(spot.code, Channel(*ch).Delay());
  }
}

void CarSection::ShowChannel(int channel) {
  car_->Highlight(0);
  const int type = engine_.Image().ChannelTypes()[static_cast<std::size_t>(channel)];
  if (const auto* spot = rules::SpotOfType(type)) car_->Highlight(spot->code);
}

void CarSection::SetDelayUnit(int unit) {
  unit_ = std::clamp(unit, 0, 2);
  for (std::size_t i = 0; i < unitButtons_.size(); ++i) unitButtons_[i]->SetOn(static_cast<int>(i) == unit_);
  car_->SetUnit(unit_);
}

void CarSection::ApplyLanguage() {
  car_->SetLanguage(Lang());
  SetDelayUnit(unit_);
}

void CarSection::ShowEqBypass(bool on) { eqBypass_->SetOn(on); }

bool CarSection::EqBypassShown() const { return eqBypass_->IsOn(); }

void CarSection::OnPositionClicked(int code) {
  if (auto ch = rules::ChannelForPosition(engine_.Image().ChannelTypes(), code)) emit channelChosen(*ch);
}

void CarSection::OnDelayEdited(int code, int delay) {
  const auto ch = rules::ChannelForPosition(engine_.Image().ChannelTypes(), code);
  if (!ch) return;
  if (editor_.SetDelay(*ch, delay)) car_->SetDelay(code, delay);
  if (*ch != Current()) emit channelChosen(*ch);
}

void CarSection::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  PaintPanel(p, rect(), Word("扬声器位置与延时", "SPEAKER POSITIONS & DELAY"));
}

}  // namespace zelto
