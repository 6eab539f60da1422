#include "app/mix_page.h"
#include "core/channel_label.h"
#include "edit/channel_rules.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/ui_state.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/num_edit.h"
#include "controls/skin.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {

constexpr int kTopRowY = 48;
constexpr int kHeaderY = 88;
constexpr int kMatrixTop = 110;
constexpr int kRowPitch = 58;
constexpr int kRowHeaderWidth = 92;
constexpr int kMatrixLeft = 12 + kRowHeaderWidth;
constexpr int kColumnPitch = 83;
constexpr int kSliderLength = 74;
constexpr int kFieldWidth = 46;
constexpr int kFieldHeight = 20;
constexpr int kSpinWidth = 12;

const std::array<const char*, 5> kListItems = {"ATK*2", "ATK*6", "ATK*8", "ATK*16", "ATK*32"};

template <class T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

}  // namespace

MixPage::MixPage(Language lang, Editor& editor, MixPageMemo& memo, QWidget* parent)
    : SkinDialog(kDialogId, QSize(kWidth, kHeight), lang, parent),
      editor_(editor),
      data_(editor.engine().Data()),
      image_(editor.engine().Image()),
      memo_(memo) {
  // Modeless: the main form stays in use while the matrix is open.
  setModal(false);
  SetCaption({Title(Language::Chinese), Title(Language::English)});
  connect(this, &QDialog::finished, this, [this] { emit closed(); });

  SliderSkin skin = SliderSkin::Horizontal(kSliderLength);
  skin.size = QSize(kSliderLength, 20);
  skin.thumb = QSize(10, 18);
  skin.ticks = 4;

  for (int r = 0; r < kRows; ++r) {
    for (int k = 0; k < kColumns; ++k) {
      Cell& cell = At(r, k);
      const int offset = r * kColumns + k;
      const int x = kMatrixLeft + k * kColumnPitch;
      const int y = kMatrixTop + r * kRowPitch;
      cell.slider = Named(new BitmapSlider(kFirstSlider + offset, this), kFirstSlider + offset);
      cell.slider->SetSkin(skin);
      cell.slider->SetVertical(false);
      cell.slider->SetValueFollowsTravel(true);
      // Up raises a share as it raises every vertical slider of the window.
      cell.slider->SetArrowsReversed(true);
      cell.slider->SetRange(0, rules::kMixMax);
      cell.slider->move(x + (kColumnPitch - kSliderLength) / 2, y + 6);

      cell.field = Named(new NumEdit(kFirstField + offset, this), kFirstField + offset);
      cell.spin = Named(new NumSpin(kFirstSpin + offset, this), kFirstSpin + offset);
      cell.spin->SetBuddy(cell.field);
      cell.spin->SetRange(0, rules::kMixMax);
      cell.field->SetMode(nummode::kInteger);
      cell.field->setMaxLength(kFieldChars);
      cell.field->SetLanguage(lang);
      const int fieldX = x + (kColumnPitch - kFieldWidth - kSpinWidth) / 2;
      cell.field->setGeometry(fieldX, y + 30, kFieldWidth, kFieldHeight);
      cell.spin->setGeometry(fieldX + kFieldWidth, y + 29, kSpinWidth, kFieldHeight + 2);
      cell.slider->SetBuddy(cell.field);
      cell.field->SetSlider(cell.slider);
      cell.field->installEventFilter(this);

      connect(cell.slider, &BitmapSlider::moving, this, [this, r, k](int, int) { OnSlider(r, k); });
      connect(cell.slider, &BitmapSlider::released, this, [this, r, k](int, int) { OnSlider(r, k); });
      connect(cell.field, &NumEdit::edited, this, [this, r, k](int, int) { OnField(r, k); });
      connect(cell.spin, &NumSpin::edited, this, [this, r, k](int, int) { OnField(r, k); });

      // A row beyond the eight output channels has no channel to mix into.
      if (r >= kShownRows) {
        cell.slider->hide();
        cell.field->hide();
        cell.spin->hide();
      }
    }
  }

  for (std::size_t i = 0; i < kTopFields.size(); ++i) {
    NumEdit* field = Named(new NumEdit(kTopFields[i], this), kTopFields[i]);
    NumSpin* spin = Named(new NumSpin(kTopSpins[i], this), kTopSpins[i]);
    spin->SetBuddy(field);
    spin->SetRange(0, kTopFieldMax);
    field->SetMode(nummode::kInteger);
    field->setMaxLength(kTopFieldChars);
    field->SetLanguage(lang);
    const int x = 112 + static_cast<int>(i) * 220;
    field->setGeometry(x, kTopRowY + 1, 64, 24);
    field->installEventFilter(this);
    spin->setGeometry(x + 64, kTopRowY, 14, 26);
    const int index = static_cast<int>(i);
    connect(field, &NumEdit::edited, this, [this, index](int, int) { OnTopField(index); });
    connect(spin, &NumSpin::edited, this, [this, index](int, int) { OnTopField(index); });
    topFields_[i] = field;
    topSpins_[i] = spin;
  }
  list_ = Named(new ComBoxBtn(kList, kList, this), kList);
  QList<BiText> items;
  for (const char* item : kListItems) items.append(Same(QString::fromLatin1(item)));
  list_->SetItems(items);
  list_->SetLanguage(lang);
  list_->setGeometry(772, kTopRowY, 110, 26);
  connect(list_, &ComBoxBtn::chosen, this, [this](int, int index) { memo_.list = index; });

  Refresh();
}

QString MixPage::Title(Language lang) {
  return QString::fromUtf8(Pick(lang, "混音器 — 输入混合", "Mixer — input mix"));
}

BitmapSlider* MixPage::Slider(int row, int column) const {
  if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return nullptr;
  return At(row, column).slider;
}

NumEdit* MixPage::Field(int row, int column) const {
  if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return nullptr;
  return At(row, column).field;
}

NumSpin* MixPage::Spin(int row, int column) const {
  if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return nullptr;
  return At(row, column).spin;
}

NumEdit* MixPage::TopField(int index) const {
  return index >= 0 && index < static_cast<int>(topFields_.size()) ? topFields_[static_cast<std::size_t>(index)]
                                                                   : nullptr;
}

void MixPage::Refresh() {
  {
    auto lock = data_.Lock();
    for (int r = 0; r < kShownRows; ++r) {
      const auto& mix = data_.Output(r).InputMix();
      for (int k = 0; k < kColumns; ++k) {
        const int value = std::clamp<int>(mix[static_cast<std::size_t>(k)], 0, rules::kMixMax);
        At(r, k).spin->SetPosition(value);
        At(r, k).slider->SetValue(value);
      }
    }
  }
  topSpins_[0]->SetPosition(std::clamp(memo_.setting, 0, kTopFieldMax));
  for (int i = 0; i < rules::kMixPageFieldCount; ++i)
    topSpins_[static_cast<std::size_t>(i) + 1]->SetPosition(
        std::clamp<int>(image_.mixPageFlags[static_cast<std::size_t>(i) + 1], 0, kTopFieldMax));
  list_->SelectItem(std::clamp(memo_.list, 0, list_->Count() - 1));
}

void MixPage::SetLanguage(Language lang) {
  ApplyLanguage(lang);
  for (NumEdit* e : findChildren<NumEdit*>()) e->SetLanguage(lang);
  for (NumSpin* s : findChildren<NumSpin*>()) s->SetLanguage(lang);
}

void MixPage::OnSlider(int row, int column) {
  Cell& cell = At(row, column);
  const int value = cell.slider->Value();
  cell.spin->SetPosition(value);
  Store(row, column, value);
}

void MixPage::OnField(int row, int column) {
  Cell& cell = At(row, column);
  const int value = cell.spin->Position();
  cell.slider->SetValue(value);
  Store(row, column, value);
}

void MixPage::Store(int row, int column, int value) {
  const bool changed = editor_.SetMixShare(row, column, value);
  if (changed) emit channelChanged(row);
}

void MixPage::OnTopField(int index) {
  const int value = topSpins_[static_cast<std::size_t>(index)]->Position();
  if (index == 0) {
    memo_.setting = value;
    return;
  }
  // Kept with the device image (it travels in the PC files); the processor has no item for it.
  editor_.SetMixPageField(index - 1, value);
}

bool MixPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Enter commits the field, as it does on the main form; the window stays open.
      if (auto* field = qobject_cast<NumEdit*>(watched)) {
        field->Commit();
        return true;
      }
    }
  }
  return SkinDialog::eventFilter(watched, event);
}

void MixPage::PaintBody(QPainter& p) {
  const Language lang = CurrentLanguage();
  const auto T = [lang](const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); };
  p.setFont(skin::FaceFont(11, false));
  p.setPen(skin::kCaptionText);
  p.drawText(QRect(900, kTopRowY, width() - 916, 26), Qt::AlignRight | Qt::AlignVCenter,
             T("各输入所占比例 (%)", "Input shares (%)"));

  // Top row captions.
  p.setFont(skin::FaceFont(12, false));
  for (int i = 0; i < 3; ++i)
    p.drawText(QRect(20 + i * 220, kTopRowY, 88, 26), Qt::AlignRight | Qt::AlignVCenter,
               T("设定 ", "Setting ") + QString::number(i + 1));
  p.drawText(QRect(680, kTopRowY, 86, 26), Qt::AlignRight | Qt::AlignVCenter, T("释放", "Release"));

  // Column heads: the input sources.
  p.setFont(skin::FaceFont(12, true));
  p.setPen(skin::kText);
  for (int k = 0; k < kColumns; ++k)
    p.drawText(QRect(kMatrixLeft + k * kColumnPitch, kHeaderY, kColumnPitch, 20), Qt::AlignCenter,
               T("输入", "IN ") + QString::number(k + 1));

  // Row bands with the channel names.
  auto lock = data_.Lock();
  for (int r = 0; r < kShownRows; ++r) {
    const QRectF row(10, kMatrixTop + r * kRowPitch + 1, width() - 20, kRowPitch - 4);
    QPainterPath path;
    path.addRoundedRect(row.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    p.fillPath(path, skin::kPanel);
    p.setPen(QPen(skin::kPanelEdge, 1));
    p.drawPath(path);
    const CKTV_OutData& channel = data_.Output(r);
    p.setFont(skin::FaceFont(15, true));
    p.setPen(QColor::fromRgb(channel.Colour()));
    p.drawText(QRectF(20, row.top() + 6, kRowHeaderWidth - 12, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(ChannelLabel(r)));
    p.setFont(skin::FaceFont(11, false));
    p.setPen(skin::kCaptionText);
    p.drawText(QRectF(20, row.top() + 28, kRowHeaderWidth - 12, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8(channel.Name().c_str()));
  }
}

}  // namespace zelto
