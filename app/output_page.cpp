#include "app/output_page.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <tuple>

#include "core/channel_label.h"
#include "app/crossover_lists.h"
#include "app/ui_state.h"
#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/font_static.h"
#include "controls/num_edit.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "edit/channel_rules.h"
#include "edit/editor.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {

// The page fills the page area below its tabs.
constexpr int kPageWidth = 918;
constexpr int kPageHeight = 210;

// Band rows: a caption column, then 31 columns of equal width.
constexpr int kCaptionWidth = 64;
constexpr double kColumnPitch = (kPageWidth - kCaptionWidth - 4) / static_cast<double>(OutputPage::kBands);
constexpr int kLabelTop = 2;
constexpr int kLabelHeight = 14;
constexpr int kSliderTop = 17;
constexpr int kSliderLength = 100;
constexpr int kSliderWidth = 18;
constexpr int kGainTop = 120;
constexpr int kFrequencyTop = 138;
constexpr int kQTop = 156;
constexpr int kBoxHeight = 16;
constexpr int kSwitchTop = 175;
constexpr int kSwitchHeight = 17;
constexpr int kBandBoxPixels = 10;
constexpr int kBandSliderTicks = 4;  // -20, -10, 0, +10, +20 dB

// The command bar beside the tabs.
constexpr int kCommandWidth = 100;
constexpr int kCommandHeight = 26;
constexpr int kCommandGap = 6;

// The settings sheet: three groups side by side.
constexpr QRect kCrossoverGroup(8, 8, 452, 194);
constexpr QRect kLimiterGroup(468, 8, 262, 194);
constexpr QRect kGainGroup(738, 8, 172, 194);
constexpr int kSpinWidth = 14;

template <class T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

QFont BandBoxFont() {
  QFont f = skin::FaceFont(kBandBoxPixels, false);
  // Five digits have to fit a column; a narrower face where the system has one.
  f.setStretch(QFont::SemiCondensed);
  return f;
}

QList<BiText> ReleaseItems() {
  QList<BiText> items;
  for (int code = 0; code < OutputPage::kLimiterReleases; ++code) {
    const std::string_view name = LimiterReleaseName(code);
    items.append(Same(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))));
  }
  return items;
}

void PaintGroup(QPainter& p, const QRect& r, const QString& caption) {
  QPainterPath path;
  path.addRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  p.fillPath(path, skin::kGroupFill);
  p.setPen(QPen(skin::kPanelEdge, 1));
  p.drawPath(path);
  p.setPen(QPen(skin::kAccent, 2));
  p.drawLine(QPointF(r.left() + 10, r.top() + 9), QPointF(r.left() + 10, r.top() + 19));
  p.setFont(skin::FaceFont(12, true));
  p.setPen(skin::kCaptionText);
  p.drawText(QRect(r.left() + 18, r.top() + 4, r.width() - 24, 20), Qt::AlignLeft | Qt::AlignVCenter, caption);
}

void PaintCaption(QPainter& p, const QRect& r, const QString& text,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  p.setFont(skin::FaceFont(11, false));
  p.setPen(skin::kCaptionText);
  p.drawText(r, align, text);
}

// The second sheet paints its group frames and captions; its controls belong to the page.
class OutputSettingsSheet : public QWidget {
 public:
  explicit OutputSettingsSheet(const OutputPage& page) : page_(page) {
    setObjectName(QStringLiteral("OutputSettings"));
    setFixedSize(kPageWidth, kPageHeight);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Language lang = page_.CurrentLanguage();
    const auto T = [lang](const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); };
    PaintGroup(p, kCrossoverGroup, T("分频器", "CROSSOVER"));
    PaintGroup(p, kLimiterGroup, T("限幅器", "LIMITER"));
    PaintGroup(p, kGainGroup, T("输出增益", "OUTPUT GAIN"));

    const QPoint x = kCrossoverGroup.topLeft();
    PaintCaption(p, QRect(x.x() + 64, x.y() + 30, 120, 16), T("类型", "Type"));
    PaintCaption(p, QRect(x.x() + 188, x.y() + 30, 120, 16), T("斜率", "Slope"));
    PaintCaption(p, QRect(x.x() + 312, x.y() + 30, 120, 16), T("频率", "Frequency"));
    p.setFont(skin::FaceFont(13, true));
    p.setPen(skin::kText);
    p.drawText(QRect(x.x() + 14, x.y() + 52, 48, 26), Qt::AlignLeft | Qt::AlignVCenter, T("高通", "HPF"));
    p.drawText(QRect(x.x() + 14, x.y() + 96, 48, 26), Qt::AlignLeft | Qt::AlignVCenter, T("低通", "LPF"));
    p.setFont(skin::FaceFont(11, false));
    p.setPen(skin::kTextDim);
    p.drawText(QRect(x.x() + 14, x.y() + 140, kCrossoverGroup.width() - 28, 40), Qt::AlignLeft | Qt::TextWordWrap,
               T("高通不高于低通；CH6 的高通不高于 100Hz。",
                 "The high-pass stays at or below the low-pass; CH6's high-pass at "
                 "100Hz or below."));

    const QPoint l = kLimiterGroup.topLeft();
    PaintCaption(p, QRect(l.x() + 14, l.y() + 52, 90, 26), T("阈值", "Threshold"));
    PaintCaption(p, QRect(l.x() + 14, l.y() + 90, 90, 26), T("启动时间", "Attack"));
    PaintCaption(p, QRect(l.x() + 14, l.y() + 128, 90, 26), T("释放时间", "Release"));

    const QPoint g = kGainGroup.topLeft();
    PaintCaption(p, QRect(g.x() + 14, g.y() + 52, 140, 26), T("增益", "Gain"));
    if (const CKTV_OutData* channel = page_.Bound()) {
      p.setFont(skin::FaceFont(22, true));
      p.setPen(QColor::fromRgb(channel->Colour()));
      p.drawText(QRect(g.x() + 14, g.y() + 120, 140, 30), Qt::AlignLeft | Qt::AlignVCenter,
                 QString::fromStdString(ChannelLabel(channel->ChannelIndex())));
      p.setFont(skin::FaceFont(12, false));
      p.setPen(skin::kCaptionText);
      p.drawText(QRect(g.x() + 14, g.y() + 150, 140, 20), Qt::AlignLeft | Qt::AlignVCenter,
                 QString::fromUtf8(channel->Name().c_str()));
    }
  }

 private:
  const OutputPage& page_;
};

}  // namespace

OutputPage::OutputPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QString::number(kDialogId));
  setFocusPolicy(Qt::StrongFocus);
  setFixedSize(kPageWidth, kPageHeight);
  BuildBands();
  BuildCommands();
  BuildSettings();
}

// ---- building --------------------------------------------------------------------------------

void OutputPage::BuildBands() {
  SliderSkin skin;
  skin.size = QSize(kSliderWidth, kSliderLength);
  skin.thumb = QSize(kSliderWidth - 2, 9);
  skin.fill = skin::kHighlight;
  skin.activeThumb = skin::kHighlight;
  skin.groove = 3;
  skin.ticks = kBandSliderTicks;
  const QFont boxFont = BandBoxFont();

  for (int k = 0; k < kBands; ++k) {
    BandRow& row = rows_[static_cast<std::size_t>(k)];
    const int left = kCaptionWidth + static_cast<int>(k * kColumnPitch);
    const int width = static_cast<int>((k + 1) * kColumnPitch) - static_cast<int>(k * kColumnPitch) - 1;

    row.label = Named(new FontStatic(kFirstBandLabel + k, this), kFirstBandLabel + k);
    row.label->SetText(Same(QString::number(k + 1)));
    row.label->SetTextHeight(11);
    row.label->SetBold(true);
    row.label->SetAlignment(Qt::AlignHCenter);
    row.label->SetColor(skin::kLabelText);
    row.label->setGeometry(left, kLabelTop, width, kLabelHeight);

    row.slider = Named(new BitmapSlider(kFirstGainSlider + k, this), kFirstGainSlider + k);
    row.slider->SetSkin(skin);
    row.slider->SetRange(0, kBandGainMax);
    row.slider->move(left + (width - kSliderWidth) / 2, kSliderTop);
    connect(row.slider, &BitmapSlider::moving, this, [this, k](int, int) { emit bandSlider(k, false); });
    connect(row.slider, &BitmapSlider::released, this, [this, k](int, int) { emit bandSlider(k, true); });

    const auto box = [&](int boxId, int spinId, int top, int min, int max, BandValue value) {
      NumEdit* b = Named(new NumEdit(boxId, this), boxId);
      NumSpin* s = Named(new NumSpin(spinId, this), spinId);
      s->SetBuddy(b);
      s->SetRange(min, max);
      // The columns leave no room for arrows: the spin steps with the arrow keys and the wheel.
      s->hide();
      b->setFont(boxFont);
      b->setTextMargins(0, 0, 0, 0);
      b->setGeometry(left, top, width, kBoxHeight);
      b->SetFitText(true);
      b->installEventFilter(this);
      connect(b, &NumEdit::edited, this, [this, k, value](int, int) { emit bandEdited(value, k); });
      connect(s, &NumSpin::edited, this, [this, k, value](int, int) { emit bandEdited(value, k); });
      return b;
    };
    row.gain = box(kFirstGainBox + k, kFirstGainSpin + k, kGainTop, 0, kBandGainMax, BandValue::Gain);
    row.gain->SetMode(nummode::kLinear);
    row.gain->SetStep(kBandGainStep);
    row.gain->SetOffset(kBandGainOffset);
    row.frequency = box(kFirstFrequencyBox + k, kFirstFrequencySpin + k, kFrequencyTop, kFilterMinHz, kFilterMaxHz,
                        BandValue::Frequency);
    row.frequency->SetMode(nummode::kFrequency);
    row.q = box(kFirstQBox + k, kFirstQSpin + k, kQTop, 0, kQTableSize - 1, BandValue::Bandwidth);
    row.q->SetMode(nummode::kQ);
    row.slider->SetBuddy(row.gain);
    row.gain->SetSlider(row.slider);

    row.bandSwitch = Named(new XPButton(kFirstBandSwitch + k, this), kFirstBandSwitch + k);
    // Pressed (on) while the band is off.
    row.bandSwitch->SetFaces(Caption(Same(QStringLiteral("BY")), Tone::Lit), Caption(Same(QStringLiteral("BY"))));
    row.bandSwitch->setGeometry(left + 1, kSwitchTop, width - 1, kSwitchHeight);
    connect(row.bandSwitch, &SkinButton::clicked, this, [this, k] { emit bandSwitchPressed(k); });
  }

  allBypass_ = Named(new BitButton(kAllBypass, this), kAllBypass);
  allBypass_->SetFaces(Caption(Bi("全部直通", "All ByPass")), Caption(Bi("全部直通", "All ByPass"), Tone::Lit));
  allBypass_->setGeometry(2, kSwitchTop - 1, kCaptionWidth - 5, kSwitchHeight + 2);
  connect(allBypass_, &SkinButton::clicked, this, [this] { emit eqBypassPressed(); });
}

void OutputPage::BuildCommands() {
  commands_ = new QWidget;
  commands_->setObjectName(QStringLiteral("OutputCommands"));
  commands_->setFixedSize(3 * kCommandWidth + 3 * kCommandGap, kCommandHeight + 6);
  const auto place = [&](XPButton* b, int i) {
    b->setParent(commands_);
    b->setGeometry(i * (kCommandWidth + kCommandGap), 3, kCommandWidth, kCommandHeight);
  };
  modeSwitch_ = Named(new XPButton(kEqModeSwitch), kEqModeSwitch);
  modeSwitch_->SetFaces(Caption(Bi("图示均衡", "GEQ"), Tone::Lit), Caption(Bi("参量均衡", "PEQ")));
  modeSwitch_->SetOn(false);
  place(modeSwitch_, 0);
  reset_ = Named(new XPButton(kEqReset), kEqReset);
  reset_->SetFaces(Caption(Bi("重置均衡", "Reset EQ")), Caption(Bi("重置均衡", "Reset EQ")));
  place(reset_, 1);
  allBypassButton_ = Named(new XPButton(kAllBypassButton), kAllBypassButton);
  allBypassButton_->SetFaces(Caption(Bi("均衡直通", "ALLBYPASS"), Tone::Lit), Caption(Bi("均衡直通", "ALLBYPASS")));
  allBypassButton_->SetOn(false);
  place(allBypassButton_, 2);
  connect(modeSwitch_, &SkinButton::clicked, this, [this] { emit eqModePressed(); });
  connect(reset_, &SkinButton::clicked, this, [this] { emit eqResetPressed(); });
  connect(allBypassButton_, &SkinButton::clicked, this, [this] { emit eqBypassPressed(); });
}

void OutputPage::BuildSettings() {
  settings_ = new OutputSettingsSheet(*this);
  const QPoint x = kCrossoverGroup.topLeft();
  const auto crossoverRow = [&](bool high, int y) {
    ComBoxBtn* type =
        Named(new ComBoxBtn(high ? kHighPassType : kLowPassType, high ? kHighPassType : kLowPassType, settings_),
              high ? kHighPassType : kLowPassType);
    type->SetItems(CrossoverFamilyItems());
    type->setGeometry(x.x() + 64, y, 116, 26);
    ComBoxBtn* slope =
        Named(new ComBoxBtn(high ? kHighPassSlope : kLowPassSlope, high ? kHighPassSlope : kLowPassSlope, settings_),
              high ? kHighPassSlope : kLowPassSlope);
    slope->SetItems(CrossoverSlopeItems());
    slope->setGeometry(x.x() + 188, y, 116, 26);
    NumEdit* box = Named(new NumEdit(high ? kHighPassBox : kLowPassBox, settings_), high ? kHighPassBox : kLowPassBox);
    NumSpin* spin =
        Named(new NumSpin(high ? kHighPassSpin : kLowPassSpin, settings_), high ? kHighPassSpin : kLowPassSpin);
    spin->SetBuddy(box);
    spin->SetRange(kFilterMinHz, kFilterMaxHz);
    box->SetMode(nummode::kFrequencyHz);
    box->setGeometry(x.x() + 312, y + 1, 100, 24);
    spin->setGeometry(x.x() + 412, y, kSpinWidth, 26);
    connect(box, &NumEdit::edited, this, [this, high](int, int) { emit crossoverEdited(high); });
    connect(spin, &NumSpin::edited, this, [this, high](int, int) { emit crossoverEdited(high); });
    connect(type, &ComBoxBtn::chosen, this,
            [this, high](int, int index) { emit crossoverListChosen(high, true, index); });
    connect(slope, &ComBoxBtn::chosen, this,
            [this, high](int, int index) { emit crossoverListChosen(high, false, index); });
    (high ? hpType_ : lpType_) = type;
    (high ? hpSlope_ : lpSlope_) = slope;
    (high ? hpBox_ : lpBox_) = box;
    (high ? hpSpin_ : lpSpin_) = spin;
  };
  crossoverRow(true, x.y() + 52);
  crossoverRow(false, x.y() + 96);

  const QPoint l = kLimiterGroup.topLeft();
  const auto numberBox = [&](int boxId, int spinId, int left, int y, int width) {
    NumEdit* box = Named(new NumEdit(boxId, settings_), boxId);
    NumSpin* spin = Named(new NumSpin(spinId, settings_), spinId);
    spin->SetBuddy(box);
    box->setGeometry(left, y + 1, width, 24);
    spin->setGeometry(left + width, y, kSpinWidth, 26);
    return std::pair{box, spin};
  };
  std::tie(thresholdBox_, thresholdSpin_) = numberBox(kThresholdBox, kThresholdSpin, l.x() + 110, l.y() + 52, 118);
  thresholdSpin_->SetRange(0, kLimiterThresholdMax);
  thresholdBox_->SetMode(nummode::kThresholdDbu);
  thresholdBox_->SetStep(kLimiterThresholdStep);
  thresholdBox_->SetOffset(kLimiterThresholdOffset);
  std::tie(attackBox_, attackSpin_) = numberBox(kAttackBox, kAttackSpin, l.x() + 110, l.y() + 90, 118);
  attackSpin_->SetRange(0, kLimiterAttackMax);
  attackBox_->SetMode(nummode::kAttack);
  release_ = Named(new ComBoxBtn(kReleaseList, kReleaseList, settings_), kReleaseList);
  release_->SetItems(ReleaseItems());
  release_->setGeometry(l.x() + 110, l.y() + 128, 132, 26);
  for (NumEdit* box : {thresholdBox_, attackBox_})
    connect(box, &NumEdit::edited, this, [this](int id, int value) { emit limiterEdited(id, value); });
  connect(thresholdSpin_, &NumSpin::edited, this, [this](int, int value) { emit limiterEdited(kThresholdBox, value); });
  connect(attackSpin_, &NumSpin::edited, this, [this](int, int value) { emit limiterEdited(kAttackBox, value); });
  connect(release_, &ComBoxBtn::chosen, this, [this](int, int index) { emit limiterEdited(kReleaseList, index); });

  const QPoint g = kGainGroup.topLeft();
  std::tie(gainBox_, gainSpin_) = numberBox(kGainBox, kGainSpin, g.x() + 14, g.y() + 80, 118);
  gainSpin_->SetRange(0, kOutputGainMax);
  gainBox_->SetMode(nummode::kGainDb);
  gainBox_->SetStep(1.0);
  gainBox_->SetOffset(kOutputGainOffsetDb);
  connect(gainBox_, &NumEdit::edited, this, [this](int, int value) { emit outputGainEdited(value); });
  connect(gainSpin_, &NumSpin::edited, this, [this](int, int value) { emit outputGainEdited(value); });
}

// ---- showing ---------------------------------------------------------------------------------

NumSpin* OutputPage::FrequencySpin(int k) const { return Row(k).frequency->Spin(); }
NumSpin* OutputPage::QSpin(int k) const { return Row(k).q->Spin(); }
NumSpin* OutputPage::GainSpin(int k) const { return Row(k).gain->Spin(); }

void OutputPage::Bind(CKTV_OutData* channel) {
  if (channel != channel_) {
    // The marks of the last edit belong to the channel that was shown.
    SetHighlightedBand(-1);
    SetLastEdited(nullptr);
  }
  channel_ = channel;
  settings_->update();
}

void OutputPage::ShowBypassDisplay(int k, const CFilter& band) {
  const BandRow& row = Row(k);
  if (band.IsFlat()) {
    // The stored gain stays; an off band reads 0 dB until it is switched on again.
    row.gain->SetValue(kBandGainFlatCode);
    row.slider->SetValue(kBandGainFlatCode);
    row.bandSwitch->SetOn(true);
  } else {
    row.gain->SetValue(band.gainCode());
    row.slider->SetValue(band.gainCode());
    row.bandSwitch->SetOn(false);
  }
}

void OutputPage::ShowBand(int k, const CFilter& band) {
  const BandRow& row = Row(k);
  row.frequency->SetValue(std::clamp(band.frequency(), kFilterMinHz, kFilterMaxHz));
  row.q->SetValue(band.bandwidthIndex());
  ShowBypassDisplay(k, band);
}

void OutputPage::ShowEqMode(int mode) {
  const bool graphic = mode != 0;
  modeSwitch_->SetOn(graphic);
  for (const BandRow& row : rows_) {
    row.frequency->setEnabled(!graphic);
    row.q->setEnabled(!graphic);
  }
}

void OutputPage::ShowEqBypass(bool on) {
  allBypass_->SetOn(on);
  allBypassButton_->SetOn(on);
}

bool OutputPage::EqBypassShown() const { return allBypassButton_->IsOn(); }
int OutputPage::EqModeShown() const { return modeSwitch_->IsOn() ? 1 : 0; }

void OutputPage::SetHighlightedBand(int band) {
  if (highlighted_ >= 0 && highlighted_ < kBands) Row(highlighted_).label->SetColor(skin::kLabelText);
  highlighted_ = band >= 0 && band < kBands ? band : -1;
  if (highlighted_ >= 0) Row(highlighted_).label->SetColor(skin::kHighlight);
}

void OutputPage::SetLastEdited(NumEdit* box) {
  if (lastEdited_ && lastEdited_ != box) lastEdited_->SetHighlighted(false);
  lastEdited_ = box;
  if (box) box->SetHighlighted(true);
}

void OutputPage::ShowCrossover(const CFilter& highPass, const CFilter& lowPass) {
  hpType_->SelectItem(highPass.crossoverType());
  hpSlope_->SelectItem(highPass.slope() < hpSlope_->Count() ? highPass.slope() : -1);
  hpSpin_->SetPosition(std::clamp(highPass.frequency(), kFilterMinHz, kFilterMaxHz));
  lpType_->SelectItem(lowPass.crossoverType());
  lpSlope_->SelectItem(lowPass.slope() < lpSlope_->Count() ? lowPass.slope() : -1);
  lpSpin_->SetPosition(std::clamp(lowPass.frequency(), kFilterMinHz, kFilterMaxHz));
}

void OutputPage::ShowLimiter(int thresholdCode, int attackCode, int releaseCode) {
  thresholdSpin_->SetPosition(std::clamp(thresholdCode, 0, kLimiterThresholdMax));
  attackSpin_->SetPosition(std::clamp(attackCode, 0, kLimiterAttackMax));
  release_->SelectItem(releaseCode >= 0 && releaseCode < kLimiterReleases ? releaseCode : -1);
}

void OutputPage::ShowOutputGain(int gainCode) { gainSpin_->SetPosition(std::clamp(gainCode, 0, kOutputGainMax)); }

void OutputPage::Refresh() {
  if (!channel_ || !data_) return;
  auto lock = data_->Lock();
  const CKTVEQ& eq = channel_->Eq();
  const int bands = std::min(kBands, eq.BandCount());
  for (int k = 0; k < bands; ++k) ShowBand(k, eq.Filter(k));
  ShowEqMode(channel_->EqMode());
  ShowEqBypass(rules::EqBypassOn(*data_, channel_->ChannelIndex()));
  ShowCrossover(eq.HighPass(), eq.LowPass());
  ShowLimiter(channel_->LimiterThreshold(), channel_->LimiterAttack(), channel_->LimiterRelease());
  ShowOutputGain(channel_->GainOff() ? 0 : channel_->GainCode());
  settings_->update();
}

void OutputPage::SetLanguage(Language lang) {
  lang_ = lang;
  for (QWidget* root : {static_cast<QWidget*>(this), settings_, commands_}) {
    for (SkinButton* b : root->findChildren<SkinButton*>()) b->SetLanguage(lang);
    for (ComBoxBtn* c : root->findChildren<ComBoxBtn*>()) c->SetLanguage(lang);
    for (NumEdit* e : root->findChildren<NumEdit*>()) e->SetLanguage(lang);
    for (NumSpin* s : root->findChildren<NumSpin*>()) s->SetLanguage(lang);
    for (FontStatic* f : root->findChildren<FontStatic*>()) f->SetLanguage(lang);
  }
  update();
  settings_->update();
}

// ---- input -----------------------------------------------------------------------------------

bool OutputPage::eventFilter(QObject* watched, QEvent* event) {
  auto* box = qobject_cast<NumEdit*>(watched);
  if (box && box->isEnabled() && box->Spin()) {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Up || key == Qt::Key_Down) {
        key == Qt::Key_Up ? box->Spin()->StepUp() : box->Spin()->StepDown();
        return true;
      }
    } else if (event->type() == QEvent::Wheel) {
      const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
      if (delta != 0) {
        delta > 0 ? box->Spin()->StepUp() : box->Spin()->StepDown();
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---- painting --------------------------------------------------------------------------------

void OutputPage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const auto T = [this](const char* zh, const char* en) { return QString::fromUtf8(Pick(lang_, zh, en)); };

  // Column stripes behind every other band.
  for (int k = 0; k < kBands; k += 2) {
    const double left = kCaptionWidth + k * kColumnPitch - 0.5;
    p.fillRect(QRectF(left, 0, kColumnPitch, kSwitchTop + kSwitchHeight + 2), QColor(255, 255, 255, 9));
  }
  // The 0 dB line across the sliders.
  const double zeroY = kSliderTop + kSliderLength / 2.0;
  p.setPen(QPen(QColor(255, 255, 255, 34), 1, Qt::DashLine));
  p.drawLine(QPointF(kCaptionWidth, zeroY), QPointF(kCaptionWidth + kBands * kColumnPitch, zeroY));

  const auto caption = [&](int top, int height, const QString& text) {
    p.setFont(skin::FaceFont(11, true));
    p.setPen(skin::kCaptionText);
    p.drawText(QRect(6, top, kCaptionWidth - 10, height), Qt::AlignLeft | Qt::AlignVCenter, text);
  };
  caption(kLabelTop, kLabelHeight, T("频段", "Band"));
  caption(kGainTop, kBoxHeight, T("增益", "Gain"));
  caption(kFrequencyTop, kBoxHeight, T("频率", "Freq"));
  caption(kQTop, kBoxHeight, QStringLiteral("Q"));
  p.setFont(skin::FaceFont(10, false));
  p.setPen(skin::kTextDim);
  p.drawText(QRect(6, kSliderTop, kCaptionWidth - 10, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("+20dB"));
  p.drawText(QRect(6, static_cast<int>(zeroY) - 7, kCaptionWidth - 10, 14), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("0dB"));
  p.drawText(QRect(6, kSliderTop + kSliderLength - 14, kCaptionWidth - 10, 14), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("-20dB"));
}

}  // namespace zelto
