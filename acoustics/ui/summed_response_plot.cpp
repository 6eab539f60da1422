#include "acoustics/ui/summed_response_plot.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

#include "controls/skin.h"

namespace zelto {

namespace {

// The summed response's plot: 20 Hz..20 kHz, this many dB either side of the target.
constexpr double kPlotLowHz = 20;
constexpr double kPlotHighHz = 20000;
constexpr double kPlotHalfRangeDb = 15;
const QColor kBeforeColour{245, 130, 49};
const QColor kTargetColour{200, 200, 200};

}  // namespace

SummedResponsePlot::SummedResponsePlot(Language lang, QWidget* parent) : QWidget(parent), lang_(lang) {
  setMinimumHeight(180);
}

void SummedResponsePlot::SetCurves(const acoustics::SummedFigures& before, const acoustics::SummedFigures* after,
                                   const measure::Target& target) {
  // Each curve level-matched to the target, as its deviation was taken.
  const auto matched = [](const acoustics::SummedFigures& f) {
    measure::Measurement m = f.curve;
    for (double& db : m.db) db -= f.averaged.offset;
    return m;
  };
  before_ = matched(before);
  after_ = after ? matched(*after) : measure::Measurement{};
  target_ = target;
  hasTarget_ = true;
  update();
}

void SummedResponsePlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), skin::kPictureFill);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF area = QRectF(rect()).adjusted(34, 8, -8, -18);
  const auto x = [&](double hz) {
    return area.left() + std::log(hz / kPlotLowHz) / std::log(kPlotHighHz / kPlotLowHz) * area.width();
  };
  const auto y = [&](double db) { return area.center().y() - db / kPlotHalfRangeDb * area.height() / 2; };
  QFont small = font();
  small.setPixelSize(11);
  p.setFont(small);
  // The band outside the one the figures are taken on is dimmed.
  const QColor dim(255, 255, 255, 10);
  p.fillRect(QRectF(area.left(), area.top(), x(acoustics::kLevelLoHz) - area.left(), area.height()), dim);
  p.fillRect(QRectF(x(acoustics::kLevelHiHz), area.top(), area.right() - x(acoustics::kLevelHiHz), area.height()), dim);
  p.setPen(skin::kTick);
  for (double db = -kPlotHalfRangeDb; db <= kPlotHalfRangeDb; db += 5) {
    p.drawLine(QPointF(area.left(), y(db)), QPointF(area.right(), y(db)));
    p.setPen(skin::kCaptionText);
    p.drawText(QRectF(0, y(db) - 7, area.left() - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("%1%2").arg(db > 0 ? QStringLiteral("+") : QString()).arg(db, 0, 'f', 0));
    p.setPen(skin::kTick);
  }
  for (double hz : {50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0}) {
    p.drawLine(QPointF(x(hz), area.top()), QPointF(x(hz), area.bottom()));
    p.setPen(skin::kCaptionText);
    const QString label = hz >= 1000 ? QStringLiteral("%1k").arg(hz / 1000) : QString::number(hz);
    p.drawText(QRectF(x(hz) - 20, area.bottom() + 2, 40, 14), Qt::AlignCenter, label);
    p.setPen(skin::kTick);
  }
  p.setClipRect(area);
  const auto& grid = FrequencyGrid();
  if (hasTarget_) {
    QPainterPath path;
    bool started = false;
    for (int i = 0; i < kGridPoints; ++i) {
      if (grid[i] < kPlotLowHz || grid[i] > kPlotHighHz) continue;
      const QPointF pt(x(grid[i]), y(target_[i]));
      started ? path.lineTo(pt) : path.moveTo(pt);
      started = true;
    }
    p.setPen(QPen(kTargetColour, 1.2, Qt::DashLine));
    p.drawPath(path);
  }
  const auto draw = [&](const measure::Measurement& m, const QColor& colour) {
    QPainterPath path;
    bool started = false;
    for (std::size_t i = 0; i < m.size(); ++i) {
      if (m.hz[i] < kPlotLowHz || m.hz[i] > kPlotHighHz) continue;
      const QPointF pt(x(m.hz[i]), y(m.db[i]));
      started ? path.lineTo(pt) : path.moveTo(pt);
      started = true;
    }
    p.setPen(QPen(colour, 1.8));
    p.drawPath(path);
  };
  draw(before_, kBeforeColour);
  draw(after_, skin::kAccent.lighter(130));
  p.setClipping(false);
  // The legend.
  const bool zh = lang_ == Language::Chinese;
  const std::array<std::pair<QColor, QString>, 3> legend = {
      std::pair{kBeforeColour, QString::fromUtf8(zh ? "调音前" : "before")},
      std::pair{skin::kAccent.lighter(130), QString::fromUtf8(zh ? "调音后" : "after")},
      std::pair{kTargetColour, QString::fromUtf8(zh ? "目标" : "target")}};
  double lx = area.left() + 8;
  for (const auto& [colour, text] : legend) {
    p.setPen(QPen(colour, 2, &colour == &legend[2].first ? Qt::DashLine : Qt::SolidLine));
    p.drawLine(QPointF(lx, area.top() + 10), QPointF(lx + 18, area.top() + 10));
    p.setPen(skin::kText);
    p.drawText(QPointF(lx + 22, area.top() + 14), text);
    lx += 30 + p.fontMetrics().horizontalAdvance(text) + 8;
  }
}

}  // namespace zelto
