#include "app/source_volume_dialog.h"
#include "edit/system_settings.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/ui_state.h"
#include "controls/bitmap_slider.h"
#include "controls/font_static.h"
#include "controls/num_edit.h"
#include "controls/skin.h"

namespace zelto {

namespace {

constexpr int kColumnPitch = 86;
constexpr int kFirstColumnX = 24;
constexpr int kColumnWidth = 80;
constexpr int kLabelTop = 60;
constexpr int kSliderTop = 88;
constexpr int kSliderLength = 180;
constexpr int kBoxTop = 278;
constexpr int kBoxWidth = 56;
constexpr int kBoxHeight = 24;

constexpr std::array<const char*, SvolumeDLG::kColumns> kLabelsZh = {"高电平", "低电平", "蓝牙", "数字", "播放器"};
constexpr std::array<const char*, SvolumeDLG::kColumns> kLabelsEn = {"High level", "RCA", "Bluetooth", "Digit",
                                                                     "Player"};

template <class T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

}  // namespace

SvolumeDLG::SvolumeDLG(Language lang, const DeviceImage& image, std::function<bool(int, int)> store, QWidget* parent)
    : SkinDialog(kDialogId, QSize(kWidth, kHeight), lang, parent), image_(image), store_(std::move(store)) {
  SetCaption({Title(Language::Chinese), Title(Language::English)});

  for (int c = 0; c < kColumns; ++c) {
    Column& col = columns_[static_cast<std::size_t>(c)];
    const int x = kFirstColumnX + c * kColumnPitch;
    col.label = new FontStatic(kLabels[static_cast<std::size_t>(c)], this);
    col.label->SetText({QString::fromUtf8(kLabelsZh[static_cast<std::size_t>(c)]),
                        QString::fromUtf8(kLabelsEn[static_cast<std::size_t>(c)])});
    col.label->SetTextHeight(13);
    col.label->SetBold(true);
    col.label->SetAlignment(Qt::AlignHCenter);
    col.label->SetLanguage(lang);
    col.label->setGeometry(x, kLabelTop, kColumnWidth, 20);

    col.slider =
        Named(new BitmapSlider(kSliders[static_cast<std::size_t>(c)], this), kSliders[static_cast<std::size_t>(c)]);
    col.slider->SetSkin(SliderSkin::Vertical(kSliderLength));
    col.slider->SetRange(0, rules::kSourceVolumeMax);
    col.slider->move(x + (kColumnWidth - col.slider->width()) / 2, kSliderTop);

    col.box = Named(new NumEdit(kBoxes[static_cast<std::size_t>(c)], this), kBoxes[static_cast<std::size_t>(c)]);
    col.spin = Named(new NumSpin(kSpins[static_cast<std::size_t>(c)], this), kSpins[static_cast<std::size_t>(c)]);
    col.spin->SetBuddy(col.box);
    col.spin->SetRange(0, rules::kSourceVolumeMax);
    // The spin only holds the range; the slider is the column's pointer control.
    col.spin->hide();
    col.box->SetMode(nummode::kScaled);
    col.box->SetStep(1.0);
    col.box->SetLanguage(lang);
    col.box->setGeometry(x + (kColumnWidth - kBoxWidth) / 2, kBoxTop, kBoxWidth, kBoxHeight);
    col.box->installEventFilter(this);
    col.slider->SetBuddy(col.box);
    col.box->SetSlider(col.slider);

    // What the image holds is shown as it is, even a master volume copied there (0..60).
    const int value = std::clamp<int>(image_.sourceVolumes[static_cast<std::size_t>(c)], 0, rules::kSourceVolumeMax);
    col.spin->SetPosition(value);
    col.slider->SetValue(value);

    connect(col.box, &NumEdit::edited, this, [this, c](int, int) { OnBox(c); });
    connect(col.spin, &NumSpin::edited, this, [this, c](int, int) { OnBox(c); });
    connect(col.slider, &BitmapSlider::moving, this, [this, c](int, int) { OnSlider(c); });
    connect(col.slider, &BitmapSlider::released, this, [this, c](int, int) { OnSlider(c); });
  }
}

QString SvolumeDLG::Title(Language lang) { return QString::fromUtf8(Pick(lang, "音源音量", "Source Volume")); }

QString SvolumeDLG::ColumnLabel(int column, Language lang) {
  if (column < 0 || column >= kColumns) return {};
  const auto i = static_cast<std::size_t>(column);
  return QString::fromUtf8(lang == Language::Chinese ? kLabelsZh[i] : kLabelsEn[i]);
}

NumEdit* SvolumeDLG::Box(int column) const {
  return column >= 0 && column < kColumns ? columns_[static_cast<std::size_t>(column)].box : nullptr;
}

BitmapSlider* SvolumeDLG::Slider(int column) const {
  return column >= 0 && column < kColumns ? columns_[static_cast<std::size_t>(column)].slider : nullptr;
}

void SvolumeDLG::OnBox(int column) {
  Column& col = columns_[static_cast<std::size_t>(column)];
  const int value = col.spin->Position();
  col.slider->SetValue(value);
  Store(column, value);
}

void SvolumeDLG::OnSlider(int column) {
  Column& col = columns_[static_cast<std::size_t>(column)];
  const int value = col.slider->Value();
  col.spin->SetPosition(value);
  Store(column, value);
}

void SvolumeDLG::Store(int column, int value) {
  if (store_) store_(column, value);
}

bool SvolumeDLG::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      for (int c = 0; c < kColumns; ++c) {
        if (watched != columns_[static_cast<std::size_t>(c)].box) continue;
        // Leaving the box commits what was typed; one press moves one column.
        Box(rules::NextSourceVolumeColumn(c))->setFocus(Qt::TabFocusReason);
        return true;
      }
    }
  }
  return SkinDialog::eventFilter(watched, event);
}

void SvolumeDLG::PaintBody(QPainter& p) {
  for (int c = 0; c < kColumns; ++c) {
    const QRectF r(kFirstColumnX + c * kColumnPitch, kLabelTop - 6, kColumnWidth,
                   kBoxTop + kBoxHeight + 10 - (kLabelTop - 6));
    QPainterPath path;
    path.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    p.fillPath(path, skin::kPanel);
    p.setPen(QPen(skin::kPanelEdge, 1));
    p.drawPath(path);
  }
}

}  // namespace zelto
