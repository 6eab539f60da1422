#include "app/sections/crossover_section.h"

#include <QPainter>
#include <algorithm>

#include "app/crossover_lists.h"
#include "app/view_ids.h"
#include "controls/com_box_btn.h"
#include "controls/num_edit.h"
#include "edit/editor.h"
#include "model/ktv_data.h"

namespace zelto {

using namespace view_id;

CrossoverSection::CrossoverSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent)
    : Section(kRegion, ui, engine, editor, parent) {
  high_ = BuildRow(true, 48);
  low_ = BuildRow(false, 82);
}

CrossoverSection::Row CrossoverSection::BuildRow(bool high, int y) {
  Row row;
  row.box = Named(new NumEdit(high ? kHighPassBox : kLowPassBox, this), high ? kHighPassBox : kLowPassBox);
  row.spin = Named(new NumSpin(high ? kHighPassSpin : kLowPassSpin, this), high ? kHighPassSpin : kLowPassSpin);
  row.spin->SetBuddy(row.box);
  row.spin->SetRange(CKTV_OutData::kHighPassHz, CKTV_OutData::kLowPassHz);
  row.box->SetMode(nummode::kFrequencyHz);
  row.box->setGeometry(48, y, 66, 24);
  row.spin->setGeometry(114, y - 1, 14, 26);
  connect(row.box, &NumEdit::edited, this, [this, high](int, int) { OnFrequency(high); });
  connect(row.spin, &NumSpin::edited, this, [this, high](int, int) { OnFrequency(high); });

  const int familyId = high ? kHighPassFamily : kLowPassFamily;
  const int slopeId = high ? kHighPassSlope : kLowPassSlope;
  row.family = Named(new ComBoxBtn(familyId, high ? kHighPassFamilyList : kLowPassFamilyList, this), familyId);
  row.family->SetItems(CrossoverFamilyItems());
  row.family->setGeometry(134, y, 96, 24);
  row.slope = Named(new ComBoxBtn(slopeId, high ? kHighPassSlopeList : kLowPassSlopeList, this), slopeId);
  row.slope->SetItems(CrossoverSlopeItems());
  row.slope->setGeometry(234, y, 88, 24);
  connect(row.family, &ComBoxBtn::chosen, this, &CrossoverSection::OnListChosen);
  connect(row.slope, &ComBoxBtn::chosen, this, &CrossoverSection::OnListChosen);
  return row;
}

void CrossoverSection::Show(const CFilter& highPass, const CFilter& lowPass) {
  ShowRow(high_, highPass);
  ShowRow(low_, lowPass);
}

void CrossoverSection::ShowRow(Row& row, const CFilter& filter) {
  row.family->SelectItem(filter.crossoverType());
  row.spin->SetPosition(std::clamp(filter.frequency(), CKTV_OutData::kHighPassHz, CKTV_OutData::kLowPassHz));
  row.slope->SelectItem(filter.slope() < row.slope->Count() ? filter.slope() : -1);
}

void CrossoverSection::OnFrequency(bool highPass) {
  const NumSpin* spin = highPass ? high_.spin : low_.spin;
  editor_.SetCrossoverFrequency(Current(), highPass, spin->Position(), Editor::CrossoverBox::Main);
  emit edited(highPass);
}

void CrossoverSection::OnListChosen(int listId, int index) {
  const bool highPass = listId == kHighPassFamilyList || listId == kHighPassSlopeList;
  if (listId == kHighPassFamilyList || listId == kLowPassFamilyList)
    editor_.SetCrossoverFamily(Current(), highPass, index);
  else if (listId == kHighPassSlopeList || listId == kLowPassSlopeList)
    editor_.SetCrossoverSlope(Current(), highPass, index);
  else
    return;
  emit edited(highPass);
}

void CrossoverSection::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  PaintPanel(p, rect(), Word("分频器", "CROSSOVER"));
  PaintLabel(p, QRect(48, 28, 84, 16), Word("频率", "Frequency"), Qt::AlignLeft | Qt::AlignVCenter, 11);
  PaintLabel(p, QRect(134, 28, 96, 16), Word("类型", "Type"), Qt::AlignLeft | Qt::AlignVCenter, 11);
  PaintLabel(p, QRect(234, 28, 88, 16), Word("斜率", "Slope"), Qt::AlignLeft | Qt::AlignVCenter, 11);
  PaintLabel(p, QRect(12, 48, 44, 24), Word("高通", "HPF"), Qt::AlignLeft | Qt::AlignVCenter, 13);
  PaintLabel(p, QRect(12, 82, 44, 24), Word("低通", "LPF"), Qt::AlignLeft | Qt::AlignVCenter, 13);
}

}  // namespace zelto
