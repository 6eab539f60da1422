#include "app/sections/page_section.h"

#include <QPainter>

#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/en_tab_ctrl.h"
#include "controls/num_edit.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {
constexpr int kTabStripHeight = 32;
}  // namespace

PageSection::PageSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent)
    : Section(kRegion, ui, engine, editor, parent) {
  tabs_ = Named(new EnTabCtrl(view_id::kPageArea, this), view_id::kPageArea);
  tabs_->setGeometry(rect().adjusted(4, 4, -4, -4));
  page_ = new OutputPage(tabs_);
  page_->SetModel(&engine_.Data());
  tabs_->AddPage(page_, Bi("输出通道均衡", "Output EQ"));
  tabs_->AddPage(page_->SettingsSheet(), Bi("分频 · 限幅 · 增益", "Crossover · Limiter · Gain"));
  // The whole-EQ commands sit on the tab strip, right-aligned.
  QWidget* commands = page_->CommandBar();
  commands->setParent(this);
  const QRect area = tabs_->geometry();
  commands->move(area.right() - commands->width() - 6, area.top() + (kTabStripHeight - commands->height()) / 2);
  connect(page_, &OutputPage::bandEdited, this, &PageSection::OnBandEdited);
  connect(page_, &OutputPage::bandSlider, this, [this](int k, bool) { OnBandSlider(k); });
  connect(page_, &OutputPage::bandSwitchPressed, this, &PageSection::ToggleBandBypass);
  connect(page_, &OutputPage::limiterEdited, this, &PageSection::OnLimiterEdited);
  connect(page_, &OutputPage::outputGainEdited, this, &PageSection::OnOutputGain);
}

void PageSection::ApplyLanguage() {
  tabs_->SetLanguage(Lang());
  page_->SetLanguage(Lang());
}

void PageSection::RefreshEq() {
  page_->Bind(&Channel(Current()));
  page_->Refresh();
  ShowEqBypassState();
}

void PageSection::ShowEqBypassState() {
  const bool on = editor_.EqBypassOn(Current());
  emit eqBypassShown(on);
  page_->ShowEqBypass(on);
}

void PageSection::MarkBandEdited(int k, NumEdit* box) {
  page_->SetHighlightedBand(k);
  page_->SetLastEdited(box);
  emit graphChanged(k);
}

void PageSection::OnBandEdited(OutputPage::BandValue value, int k) {
  if (k < 0 || k >= OutputPage::kBands) return;
  if (value == OutputPage::BandValue::Gain) {
    EditBandGain(k, page_->GainSpin(k)->Position());
    return;
  }
  const bool frequency = value == OutputPage::BandValue::Frequency;
  const int v = frequency ? page_->FrequencySpin(k)->Position() : page_->QSpin(k)->Position();
  // A click on a box reports its value unchanged: the edit layer stores and sends nothing then.
  editor_.EditBand(Current(), k, frequency ? Editor::BandChange::Frequency(v) : Editor::BandChange::Width(v));
  MarkBandEdited(k, frequency ? page_->FrequencyBox(k) : page_->QBox(k));
}

void PageSection::OnBandSlider(int k) {
  if (k < 0 || k >= OutputPage::kBands) return;
  const int g = page_->GainSlider(k)->Value();
  page_->GainSpin(k)->SetPosition(g);
  EditBandGain(k, g);
}

void PageSection::EditBandGain(int k, int gainCode) {
  page_->GainSlider(k)->SetValue(gainCode);
  // What the row shows already (a click, a slider taking the focus) is no edit.
  editor_.EditBand(Current(), k, Editor::BandChange::Gain(gainCode));
  {
    auto lock = engine_.Data().Lock();
    page_->ShowBypassDisplay(k, Channel(Current()).Eq().Filter(k));
  }
  ShowEqBypassState();
  MarkBandEdited(k, page_->GainBox(k));
}

void PageSection::ToggleBandBypass(int k) {
  if (k < 0 || k >= OutputPage::kBands) return;
  const bool off = !page_->BandSwitch(k)->IsOn();
  editor_.EditBand(Current(), k, Editor::BandChange::Off(off));
  {
    // A band at 0 dB cannot be switched on: it reads what it is.
    auto lock = engine_.Data().Lock();
    page_->ShowBypassDisplay(k, Channel(Current()).Eq().Filter(k));
  }
  ShowEqBypassState();
  page_->SetHighlightedBand(k);
  emit graphChanged(k);
}

void PageSection::RefreshBandFromGraph(int k) {
  if (k < 0 || k >= OutputPage::kBands) return;
  {
    auto lock = engine_.Data().Lock();
    page_->ShowBand(k, Channel(Current()).Eq().Filter(k));
  }
  editor_.FollowBand(Current(), k);
  ShowEqBypassState();
  page_->SetHighlightedBand(k);
  page_->SetLastEdited(page_->GainBox(k));
}

void PageSection::OnLimiterEdited(int id, int value) {
  switch (id) {
    case OutputPage::kThresholdBox: editor_.SetLimiterThreshold(Current(), value); break;
    case OutputPage::kAttackBox: editor_.SetLimiterAttack(Current(), value); break;
    case OutputPage::kReleaseList: editor_.SetLimiterRelease(Current(), value); break;
    default: break;
  }
}

void PageSection::OnOutputGain(int gainCode) {
  // Code 0 switches the gain off; the strips of the group show the new gain.
  editor_.SetGain(Current(), gainCode);
  emit outputGainChanged();
}

void PageSection::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  PaintPanel(p, rect(), {});
}

}  // namespace zelto
