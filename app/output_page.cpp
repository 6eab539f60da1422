#include "app/output_page.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>

#include "app/ui_state.h"
#include "controls/skin.h"
#include "model/out_data.h"

namespace zelto {

namespace {

constexpr int kCaptionWidth = 58;
constexpr int kTopPad = 4;
constexpr int kNumberRow = 15;
constexpr int kBarRow = 30;
constexpr int kTextRow = 15;
constexpr double kMaxBandGainDb = 20.0;
const QColor kBandLabel{200, 200, 200};
const QColor kBandLabelEdited{58, 115, 255};
const QColor kBoost{0, 190, 130};
const QColor kCut{230, 120, 60};

// Four characters at most, so every column stays readable: 800, 1.0k, 12.5k, 20k.
QString CompactHz(int hz) {
  if (hz < 1000) return QString::number(hz);
  const double k = hz / 1000.0;
  if (hz >= 10000 && hz % 1000 < 50) return QStringLiteral("%1k").arg(static_cast<int>(k));
  return QString::number(k, 'f', 1) + QLatin1Char('k');
}

QString Fixed(const char* fmt, double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, v);
  return QString::fromLatin1(buf);
}

}  // namespace

OutputPage::OutputPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("OutputPage"));
  setFocusPolicy(Qt::StrongFocus);
}

void OutputPage::Bind(CKTV_OutData* channel) {
  if (channel != channel_) highlighted_ = -1;
  channel_ = channel;
  update();
}

void OutputPage::Refresh() { update(); }

void OutputPage::SetLanguage(Language lang) {
  lang_ = lang;
  update();
}

void OutputPage::SetHighlightedBand(int band) {
  highlighted_ = band;
  update();
}

void OutputPage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool zh = lang_ == Language::Chinese;

  const int columns = kBands;
  const double colWidth = static_cast<double>(width() - kCaptionWidth - 4) / columns;
  const int yNumber = kTopPad;
  const int yBar = yNumber + kNumberRow + 2;
  const int yGain = yBar + kBarRow + 3;
  const int yFreq = yGain + kTextRow;
  const int yQ = yFreq + kTextRow;

  // Row captions.
  p.setFont(skin::FaceFont(11, true));
  p.setPen(skin::kTextDim.lighter(140));
  const auto caption = [&](int y, int h, const char* zhText, const char* enText) {
    p.drawText(QRectF(6, y, kCaptionWidth - 10, h), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8(zh ? zhText : enText));
  };
  caption(yNumber, kNumberRow, "频段", "Band");
  caption(yBar, kBarRow, "电平", "Level");
  caption(yGain, kTextRow, "增益", "Gain");
  caption(yFreq, kTextRow, "频率", "Freq");
  caption(yQ, kTextRow, "Q值", "Q");

  // Column stripes and the 0 dB line of the bars.
  const double left = kCaptionWidth;
  for (int k = 0; k < columns; ++k) {
    if (k % 2 == 0) p.fillRect(QRectF(left + k * colWidth, yNumber - 2, colWidth, yQ + kTextRow - yNumber + 4), QColor(255, 255, 255, 10));
  }
  const double zeroY = yBar + kBarRow / 2.0;
  p.setPen(QPen(QColor(255, 255, 255, 40), 1));
  p.drawLine(QPointF(left, zeroY), QPointF(left + columns * colWidth, zeroY));

  if (!channel_) return;
  const CKTVEQ& eq = channel_->Eq();
  const int bands = std::min(columns, eq.BandCount());
  const QColor colour = QColor::fromRgb(channel_->Colour()).isValid() && channel_->Colour() != 0
                            ? QColor::fromRgb(channel_->Colour())
                            : kBoost;
  for (int k = 0; k < bands; ++k) {
    const CFilter& f = eq.Filter(k);
    const QRectF col(left + k * colWidth, 0, colWidth, height());
    const bool off = f.IsFlat();
    const double db = off ? 0.0 : f.gain();

    p.setFont(skin::FaceFont(11, true));
    p.setPen(k == highlighted_ ? kBandLabelEdited : kBandLabel);
    p.drawText(QRectF(col.left(), yNumber, colWidth, kNumberRow), Qt::AlignCenter, QString::number(k + 1));

    // Gain bar around 0 dB.
    const double h = std::clamp(db / kMaxBandGainDb, -1.0, 1.0) * (kBarRow / 2.0 - 1);
    const QRectF bar(col.center().x() - 3, h >= 0 ? zeroY - h : zeroY, 6, std::max(1.0, std::abs(h)));
    p.fillRect(bar, off ? skin::kTextDim : (db >= 0 ? colour : kCut));

    p.setFont(skin::FaceFont(10, false));
    p.setPen(off ? skin::kTextDim : skin::kText);
    p.drawText(QRectF(col.left(), yGain, colWidth, kTextRow), Qt::AlignCenter, Fixed("%0.1f", db));
    p.setPen(f.graphicEq() ? skin::kTextDim.lighter(130) : skin::kText);
    p.drawText(QRectF(col.left(), yFreq, colWidth, kTextRow), Qt::AlignCenter, CompactHz(f.frequency()));
    p.drawText(QRectF(col.left(), yQ, colWidth, kTextRow), Qt::AlignCenter, Fixed("%0.2f", f.Q() + 0.025));
  }
}

}  // namespace zelto
