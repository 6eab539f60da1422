#include "curves/ui/response_graph.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QTimerEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

#include "controls/skin.h"
#include "curves/filter.h"
#include "curves/graph_drag.h"
#include "model/ktv_data.h"

namespace zelto {
namespace {

// Colours of the display.
const QColor kBackground(28, 28, 30);
const QColor kPlotBackground(0, 0, 0);
const QColor kPlotBorder(0, 180, 0);
const QColor kGridLine(21, 100, 21);
const QColor kFilterFill(68, 86, 98);
const QColor kAxisText(100, 100, 100);
const QColor kHandleText(255, 255, 255);
const QColor kReferenceCurve(83, 83, 83, 255);
const QColor kTextRim(0, 0, 0, 200);

// Channels whose objects carry no colour of their own are drawn in these.
constexpr std::array<QRgb, kOutputChannels> kFallbackOutputColours = {0xff5050, 0x50a0ff, 0xffc040, 0x60e060,
                                                                      0xe070ff, 0x40e0e0, 0xff9060, 0xc0c0ff};
constexpr QRgb kFallbackInputColour = 0xffd040;

constexpr int kCurvePenWidth = 2;
constexpr qreal kReferencePenWidth = 1.0;
constexpr int kComparisonAlpha = 110;

// Grid: vertical lines at 30 Hz .. 10 kHz, the 1-2-3..-9 steps of every decade.
constexpr std::array<int, 27> kGridHz = {20,  30,  40,  50,   60,   70,   80,   90,   100,  200,  300,  400,  500,  600,
                                         700, 800, 900, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000};
// Gain lines and labels every 5 dB: eighths of the 40 dB span.
constexpr int kGainDivisions = 8;
constexpr std::array<const char*, kGainDivisions + 1> kGainLabels = {"+20", "+15", "+10", "+5", "0dB",
                                                                     "-5",  "-10", "-15", "-20"};
constexpr int kGainLabelX = 6;

// Frequency labels under the plot: (frequency, pixels left of its position).
struct FrequencyLabel {
  int hz;
  int shift;
  const char* text;
};
constexpr std::array<FrequencyLabel, 5> kFrequencyLabels = {
    {{20, 5, "20"}, {100, 10, "100"}, {1000, 8, "1K"}, {10000, 10, "10K"}, {20000, 15, "20K"}}};

constexpr int kAxisFontPx = 10;
constexpr int kHandleFontPx = 11;
constexpr int kLabelFontPx = 12;

// The legend of the overlay curves: one row in the plot's top right corner.
constexpr int kLegendFontPx = 10;
constexpr int kLegendInset = 4;
constexpr int kLegendRowHeight = 14;
constexpr int kLegendSwatch = 14;
constexpr int kLegendSwatchGap = 4;
constexpr int kLegendPadding = 5;
const QColor kLegendBackground(0, 0, 0, 190);
const QColor kLegendText(220, 220, 220);
const QColor kLegendHiddenText(95, 95, 95);

QColor FromRgb(std::uint32_t rgb, QRgb fallback) {
  return rgb == 0 ? QColor::fromRgb(fallback) : QColor::fromRgb(static_cast<QRgb>(rgb & 0xffffffu));
}

QRect ToQRect(const GraphRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }
GraphPoint ToGraphPoint(QPoint p) { return {p.x(), p.y()}; }

/// A smooth path through the points: cardinal-spline (Catmull-Rom) segments as cubic Béziers, the
/// same curve a "draw curve through these points" call of a 2-D library gives.
template <class Points>
QPainterPath SmoothPath(const Points& pts) {
  QPainterPath path;
  const int n = static_cast<int>(pts.size());
  if (n == 0) return path;
  auto at = [&](int i) {
    i = std::clamp(i, 0, n - 1);
    return QPointF(pts[static_cast<std::size_t>(i)].x, pts[static_cast<std::size_t>(i)].y);
  };
  path.moveTo(at(0));
  constexpr qreal kTension = 1.0 / 6.0;
  for (int i = 0; i + 1 < n; ++i) {
    const QPointF p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
    path.cubicTo(p1 + (p2 - p0) * kTension, p2 - (p3 - p1) * kTension, p2);
  }
  return path;
}

/// White text with a thin dark rim, so it stays legible where it crosses curves and grid lines
/// while the plot shows through around it.
void DrawRimmedText(QPainter& p, const QRect& r, int flags, const QString& text) {
  static constexpr std::array<QPoint, 4> kRim = {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)};
  p.setPen(kTextRim);
  for (const QPoint& d : kRim) p.drawText(r.translated(d), flags, text);
  p.setPen(kHandleText);
  p.drawText(r, flags, text);
}

}  // namespace

CFStatic::CFStatic(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  handleFont_ = skin::FaceFont(kHandleFontPx, true);
  labelFont_ = skin::FaceFont(kLabelFontPx, false);
  axisFont_ = skin::FaceFont(kAxisFontPx, false);
  legendFont_ = skin::FaceFont(kLegendFontPx, false);
}

CFStatic::~CFStatic() = default;

// --- Channels ------------------------------------------------------------------------------

void CFStatic::Attach(CKTV_Data* data) {
  EndDrag();
  data_ = data;
  selectedIndex_ = hoverIndex_ = -1;
  changed_ = false;
  Layout();
}

CKTVEQ* CFStatic::EqOf(Mode mode, int index) const {
  if (data_ == nullptr) return nullptr;
  switch (mode) {
    case Mode::Effect: return &data_->Effect().Eq();
    case Mode::MicInput: return index == 0 ? &data_->MicInputs()[0].Eq() : nullptr;
    case Mode::MusicInput: return index == 0 ? &data_->MusicInputs()[0].Eq() : nullptr;
    case Mode::Output: return index >= 0 && index < kOutputChannels ? &data_->Outputs()[index].Eq() : nullptr;
    case Mode::None: break;
  }
  return nullptr;
}

QColor CFStatic::ColourOf(Mode mode, int index) const {
  if (data_ != nullptr) {
    switch (mode) {
      case Mode::Effect: return FromRgb(data_->Effect().Colour(), kFallbackInputColour);
      case Mode::MicInput: return FromRgb(data_->MicInputs()[0].Colour(), kFallbackInputColour);
      case Mode::MusicInput: return FromRgb(data_->MusicInputs()[0].Colour(), kFallbackInputColour);
      case Mode::Output:
        if (index >= 0 && index < kOutputChannels)
          return FromRgb(data_->Outputs()[index].Colour(), kFallbackOutputColours[static_cast<std::size_t>(index)]);
        break;
      case Mode::None: break;
    }
  }
  return QColor::fromRgb(kFallbackOutputColours[0]);
}

CKTVEQ* CFStatic::currentEq() const { return EqOf(mode_, channelIndex_); }
QColor CFStatic::channelColour() const { return ColourOf(mode_, channelIndex_); }

CFilter* CFStatic::FilterAt(int index) const {
  CKTVEQ* eq = currentEq();
  if (eq == nullptr || index < 0 || index >= eq->FilterCount()) return nullptr;
  return &eq->Filter(index);
}

int CFStatic::channelCode() const {
  switch (mode_) {
    case Mode::Effect: return kEffectCode;
    case Mode::MicInput: return kMicCodeBase + channelIndex_;
    case Mode::MusicInput: return kMusicCodeBase + channelIndex_;
    case Mode::Output: return kOutputCodeBase + channelIndex_;
    case Mode::None: break;
  }
  return kEffectCode;
}

void CFStatic::ShowChannel(Mode mode, int index) {
  if (mode != mode_ || index != channelIndex_) {
    // Selection and drags belong to the filters of the channel that was shown.
    EndDrag();
    selectedIndex_ = -1;
  }
  mode_ = mode;
  channelIndex_ = index;
  hoverIndex_ = -1;
  update();
}

void CFStatic::ShowEffect() { ShowChannel(Mode::Effect, 0); }
void CFStatic::ShowMicInput(int index) { ShowChannel(Mode::MicInput, index); }
void CFStatic::ShowMusicInput(int index) { ShowChannel(Mode::MusicInput, index); }
void CFStatic::ShowOutput(int index) { ShowChannel(Mode::Output, index); }

void CFStatic::SetMode(Mode mode) {
  if (mode != mode_) {
    EndDrag();
    selectedIndex_ = hoverIndex_ = -1;
  }
  mode_ = mode;
  update();
}

void CFStatic::Redraw(int hoverIndex) {
  hoverIndex_ = hoverIndex;
  update();
}

void CFStatic::Stop() { notifyTimer_.stop(); }

void CFStatic::SetReferenceShown(int channel, bool shown) {
  if (channel < 0 || channel >= kOutputChannels) return;
  if (referenceShown_.test(static_cast<std::size_t>(channel)) == shown) return;
  referenceShown_.set(static_cast<std::size_t>(channel), shown);
  update();
}

bool CFStatic::referenceShown(int channel) const {
  return channel >= 0 && channel < kOutputChannels && referenceShown_.test(static_cast<std::size_t>(channel));
}

void CFStatic::SetPointerEnabled(bool on) {
  if (pointerEnabled_ == on) return;
  pointerEnabled_ = on;
  if (!on) {
    EndDrag();
    overHandle_ = false;
    unsetCursor();
  }
}

// --- Layout --------------------------------------------------------------------------------

QRect CFStatic::plotRect() const { return rect().adjusted(kMarginLeft, kMarginTop, -kMarginRight, -kMarginBottom); }

GraphRect CFStatic::plotGraphRect() const {
  const QRect plot = plotRect();
  return GraphRect{plot.left(), plot.top(), plot.left() + std::max(0, plot.width()),
                   plot.top() + std::max(0, plot.height())};
}

void CFStatic::SetComparison(CKTV_Data* other) {
  comparison_ = other;
  if (comparison_) {
    // The other tuning's objects know nothing of pixels until the graph fits them to its plot.
    comparison_->FitToGraph(plotGraphRect());
    comparison_->Refresh();
  }
  update();
}

void CFStatic::Layout() {
  if (data_ == nullptr) {
    notifyTimer_.stop();
    return;
  }
  const GraphRect r = plotGraphRect();
  {
    // Laying out recomputes every filter; the change scan reads the same objects.
    auto lock = data_->Lock();
    data_->FitToGraph(r);
  }
  if (!notifyTimer_.isActive()) notifyTimer_.start(kNotifyPeriodMs, this);
  update();
}

void CFStatic::EnsureLayout() {
  // The objects keep one layout; another graph of another size may have fitted them since.
  CKTVEQ* eq = currentEq();
  if (eq == nullptr) return;
  const QRect plot = plotRect();
  if (eq->GraphWidth() != std::max(0, plot.width()) || eq->GraphHeight() != std::max(0, plot.height())) Layout();
}

void CFStatic::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Layout();
}

void CFStatic::timerEvent(QTimerEvent* event) {
  if (event->timerId() != notifyTimer_.timerId()) {
    QWidget::timerEvent(event);
    return;
  }
  FlushChange();
}

void CFStatic::FlushChange() {
  if (!changed_) return;
  changed_ = false;
  emit filterChanged(changedIndex_, changedCode_);
}

void CFStatic::MarkChanged(int index) {
  changed_ = true;
  changedIndex_ = index;
  changedCode_ = channelCode();
}

// --- Pointer -------------------------------------------------------------------------------

bool CFStatic::HasWidthHandles(const CFilter& filter) const {
  return filter.type() == filter_type::kPeaking && !filter.graphicEq();
}

QPoint CFStatic::FilterPoint(const CFilter& filter) const {
  const QRect plot = plotRect();
  const int w = std::max(0, plot.width());
  const int h = std::max(0, plot.height());
  const int x = GraphX(filter.frequency(), w) + kMarginLeft;
  if (filter.type() == filter_type::kHighPass || filter.type() == filter_type::kLowPass)
    return {x, filter.pointHandle().Centre().y};
  return {x, GraphY(filter.IsFlat() ? 0.0 : filter.gain(), h) + kMarginTop};
}

int CFStatic::WidthEdgeColumn(const CFilter& filter, bool low) const {
  const double edge = std::exp2(filter.bandwidth());
  const double hz = low ? filter.frequency() / edge : filter.frequency() * edge;
  return GraphX(hz, std::max(0, plotRect().width()));
}

void CFStatic::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  const QPoint pos = event->position().toPoint();
  if (overlaySource_ && (!pointerEnabled_ || currentEq() == nullptr)) {
    for (const auto& [key, area] : LegendEntries())
      if (area.contains(pos)) emit overlayToggled(key);
  }
  if (!pointerEnabled_ || currentEq() == nullptr) return;
  EnsureLayout();
  // A press without a preceding move (after a channel switch, on a touch screen) still finds the
  // handle under the pointer.
  Hover(pos);
  CFilter* f = FilterAt(selectedIndex_);
  const GraphPoint gp = ToGraphPoint(pos);
  // A handle under the legend stays reachable: the legend only takes presses beside handles.
  if (f == nullptr || !f->pointHandle().Contains(gp)) {
    for (const auto& [key, area] : LegendEntries()) {
      if (!area.contains(pos)) continue;
      emit overlayToggled(key);
      return;
    }
  }
  if (f == nullptr) return;
  // The grab offsets are taken from the point the handle stands for (its frequency and gain, or
  // the width edge), so the handle stays where it was grabbed and a press without a move changes
  // nothing; handles pushed inside the plot at its edges would otherwise jump on the first move.
  if (f->pointHandle().Contains(gp)) {
    drag_ = Drag::Point;
    dragOffset_ = pos - FilterPoint(*f);
  } else if (HasWidthHandles(*f)) {
    const bool low = f->lowWidthHandle().Contains(gp);
    if (!low && !f->highWidthHandle().Contains(gp)) return;
    drag_ = low ? Drag::LowWidth : Drag::HighWidth;
    dragOffset_ = QPoint(pos.x() - kMarginLeft - WidthEdgeColumn(*f, low), 0);
  }
}

void CFStatic::mouseMoveEvent(QMouseEvent* event) {
  if (!pointerEnabled_ || currentEq() == nullptr) return;
  EnsureLayout();
  const QPoint pos = event->position().toPoint();
  switch (drag_) {
    case Drag::None: Hover(pos); break;
    case Drag::Point: DragPoint(pos); break;
    case Drag::LowWidth:
    case Drag::HighWidth: DragWidth(pos); break;
  }
}

void CFStatic::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) EndDrag();
  QWidget::mouseReleaseEvent(event);
}

void CFStatic::EndDrag() { drag_ = Drag::None; }

void CFStatic::contextMenuEvent(QContextMenuEvent* event) {
  EndDrag();
  emit contextMenuRequested(event->globalPos());
  event->accept();
}

void CFStatic::Hover(QPoint pos) {
  CKTVEQ* eq = currentEq();
  if (eq == nullptr) return;
  const GraphPoint gp = ToGraphPoint(pos);
  bool over = false;
  if (const CFilter* sel = FilterAt(selectedIndex_)) {
    over = sel->pointHandle().Contains(gp) ||
           (HasWidthHandles(*sel) && (sel->lowWidthHandle().Contains(gp) || sel->highWidthHandle().Contains(gp)));
  }
  if (!over) {
    for (int i = 0; i < eq->FilterCount(); ++i) {
      if (!eq->Filter(i).pointHandle().Contains(gp)) continue;
      over = true;
      if (i != selectedIndex_ || i != hoverIndex_) {
        selectedIndex_ = hoverIndex_ = i;
        update();
      }
      break;
    }
  }
  if (over != overHandle_) {
    overHandle_ = over;
    if (over)
      setCursor(Qt::PointingHandCursor);
    else
      unsetCursor();
  }
}

void CFStatic::DragPoint(QPoint pos) {
  CFilter* f = FilterAt(selectedIndex_);
  if (f == nullptr) return;
  if (f->type() == filter_type::kHighPass || f->type() == filter_type::kLowPass)
    DragCrossover(*f, pos);
  else
    DragBand(*f, pos);
}

void CFStatic::DragBand(CFilter& filter, QPoint pos) {
  const QRect plot = plotRect();
  const int w = std::max(0, plot.width());
  const int h = std::max(0, plot.height());
  const QPoint point = pos - dragOffset_;
  const int x = std::clamp(point.x() - kMarginLeft, 0, w);
  const int y = std::clamp(point.y() - kMarginTop, 0, h);
  // Pixels and values do not map one to one: the column or row the value already stands on keeps
  // it, so a purely vertical drag leaves the frequency alone and a horizontal one the gain.
  // A graphic EQ's bands sit on fixed frequencies: only their gain follows the pointer.
  int hz = filter.frequency();
  if (!filter.graphicEq() && x != GraphX(hz, w)) hz = GraphFrequencyAt(x, w);
  hz = graph::ShelfDragFrequency(filter.type(), hz);
  int code = filter.gainCode();
  if (y != GraphY(filter.IsFlat() ? 0.0 : filter.gain(), h)) code = BandGainEditCodeFromDb(GraphGainAt(y, h));
  const bool hzChanged = hz != filter.frequency();
  const bool gainChanged = code != filter.gainCode();
  if (!hzChanged && !gainChanged) return;
  {
    auto lock = data_->Lock();
    if (hzChanged) filter.SetFrequency(hz, true);
    if (gainChanged) filter.SetGainCode(code);
  }
  MarkChanged(selectedIndex_);
  update();
}

void CFStatic::DragCrossover(CFilter& filter, QPoint pos) {
  CKTVEQ* eq = currentEq();
  const int w = std::max(0, plotRect().width());
  const int x = pos.x() - dragOffset_.x() - kMarginLeft;
  if (x == GraphX(filter.frequency(), w)) return;
  const bool highPass = filter.type() == filter_type::kHighPass;
  const auto hz = graph::CrossoverDragFrequency(highPass, filter.crossoverRange(), GraphFrequencyAt(x, w),
                                                eq->HighPass().frequency(), eq->LowPass().frequency());
  if (!hz || *hz == filter.frequency()) return;
  {
    auto lock = data_->Lock();
    filter.SetFrequency(*hz, true);
  }
  MarkChanged(selectedIndex_);
  update();
}

void CFStatic::DragWidth(QPoint pos) {
  CFilter* f = FilterAt(selectedIndex_);
  if (f == nullptr || !HasWidthHandles(*f)) return;
  const bool low = drag_ == Drag::LowWidth;
  const int w = std::max(0, plotRect().width());
  const int x = pos.x() - dragOffset_.x() - kMarginLeft;
  if (x == WidthEdgeColumn(*f, low)) return;
  const double octaves = graph::WidthDragBandwidth(low, f->frequency(), GraphFrequencyAt(x, w));
  const int index = BandwidthIndexFromOctaves(octaves);
  if (BandwidthOctavesForSetting(index) == f->bandwidth()) return;
  {
    auto lock = data_->Lock();
    f->SetBandwidthIndex(index);
  }
  // The page shows the bandwidth too and copies it to linked channels when told.
  MarkChanged(selectedIndex_);
  update();
}

// --- Drawing -------------------------------------------------------------------------------

void CFStatic::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintGraph(p);
}

void CFStatic::PaintGraph(QPainter& p) {
  EnsureLayout();
  const QRect plot = plotRect();
  p.fillRect(rect(), kBackground);
  p.fillRect(plot, kPlotBackground);

  CKTVEQ* eq = currentEq();
  const int shownFilter = hoverIndex_ >= 0 ? hoverIndex_ : selectedIndex_;
  if (eq != nullptr && shownFilter >= 0 && shownFilter < eq->FilterCount())
    DrawFilterOutline(p, eq->Filter(shownFilter));

  DrawGrid(p, plot);
  p.setPen(QPen(kPlotBorder, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(plot.adjusted(0, 0, -1, -1));
  DrawLabels(p, plot);
  if (data_ == nullptr) return;

  // A cosmetic one-pixel pen takes the rasteriser's fast path: eight of these curves cost less
  // than the one wide curve of the current channel.
  QPen referencePen(kReferenceCurve, kReferencePenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  referencePen.setCosmetic(true);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    if (!referenceShown_.test(static_cast<std::size_t>(ch))) continue;
    if (mode_ == Mode::Output && ch == channelIndex_) continue;
    CKTVEQ& ref = data_->Outputs()[ch].Eq();
    ref.SumCurve();
    DrawCurve(p, ref, referencePen);
  }
  if (comparison_ != nullptr && mode_ == Mode::Output && channelIndex_ >= 0 && channelIndex_ < kOutputChannels) {
    // The other side in the channel's own colour, faint and dashed, so the two are told apart.
    QColor dim = channelColour();
    dim.setAlpha(kComparisonAlpha);
    QPen comparisonPen(dim, kCurvePenWidth, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin);
    CKTVEQ& other = comparison_->Outputs()[channelIndex_].Eq();
    other.SumCurve();
    DrawCurve(p, other, comparisonPen);
  }
  const std::vector<GraphOverlayCurve> overlay = OverlayCurves();
  DrawOverlay(p, overlay);
  if (eq == nullptr) {
    DrawLegend(p, overlay);
    return;
  }

  eq->SumCurve();
  DrawCurve(p, *eq, QPen(channelColour(), kCurvePenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  DrawLegend(p, overlay);
  // The readout of the hovered filter wins over the handle numbers it would be written across.
  QRect labelArea;
  QString label;
  if (shownFilter >= 0 && shownFilter < eq->FilterCount()) {
    const CFilter& f = eq->Filter(shownFilter);
    if (!f.labelRect().IsEmpty()) {
      label = QString::fromStdString(f.GetLabel());
      labelArea =
          QFontMetrics(labelFont_).boundingRect(ToQRect(f.labelRect()), Qt::AlignCenter, label).adjusted(-2, -1, 2, 1);
    }
  }
  DrawHandles(p, *eq, plot, labelArea, shownFilter);
  if (const CFilter* sel = FilterAt(selectedIndex_); sel != nullptr && HasWidthHandles(*sel)) DrawWidthHandles(p, *sel);
  if (!label.isEmpty()) {
    p.setFont(labelFont_);
    DrawRimmedText(p, labelArea, Qt::AlignCenter | Qt::TextDontClip, label);
  }
}

void CFStatic::DrawGrid(QPainter& p, const QRect& plot) const {
  const int w = std::max(0, plot.width());
  const int h = std::max(0, plot.height());
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(kGridLine, 1));
  // From 30 Hz to 10 kHz: the plot's border stands for 20 Hz, and 20 kHz has no line.
  for (std::size_t i = 1; i < kGridHz.size(); ++i) {
    const int x = GraphX(kGridHz[i], w) + kMarginLeft;
    p.drawLine(x, plot.top(), x, plot.bottom());
  }
  for (int k = 1; k < kGainDivisions; ++k) {
    const int y = plot.top() + h * k / kGainDivisions;
    p.drawLine(plot.left(), y, plot.right(), y);
  }
}

void CFStatic::DrawLabels(QPainter& p, const QRect& plot) const {
  const int w = std::max(0, plot.width());
  const int h = std::max(0, plot.height());
  p.setFont(axisFont_);
  p.setPen(kAxisText);
  const int lineH = p.fontMetrics().height();
  for (int k = 0; k <= kGainDivisions; ++k) {
    const int y = plot.top() + h * k / kGainDivisions;
    p.drawText(QRect(kGainLabelX, y - lineH / 2, kMarginLeft - kGainLabelX, lineH), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromLatin1(kGainLabels[static_cast<std::size_t>(k)]));
  }
  const int textTop = plot.bottom() + 3;
  for (const auto& label : kFrequencyLabels) {
    const int x = GraphX(label.hz, w) + kMarginLeft - label.shift;
    p.drawText(QRect(x, textTop, kMarginLeft, lineH), Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(label.text));
  }
}

void CFStatic::DrawCurve(QPainter& p, const CKTVEQ& eq, const QPen& pen) const {
  p.save();
  p.setClipRect(plotRect().adjusted(1, 1, -1, -1));
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawPath(SmoothPath(eq.Curve().smoothPoints()));
  p.restore();
}

void CFStatic::DrawFilterOutline(QPainter& p, const CFilter& filter) const {
  const auto& pts = filter.points();
  QPolygon poly(static_cast<int>(pts.size()));
  for (std::size_t i = 0; i < pts.size(); ++i) poly.setPoint(static_cast<int>(i), pts[i].x, pts[i].y);
  p.save();
  p.setClipRect(plotRect().adjusted(1, 1, -1, -1));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(kFilterFill, 1));
  p.setBrush(kFilterFill);
  p.drawPolygon(poly);
  p.restore();
}

void CFStatic::DrawHandles(QPainter& p, const CKTVEQ& eq, const QRect& plot, const QRect& keepClear,
                           int shownFilter) const {
  p.setFont(handleFont_);
  const int count = eq.FilterCount();
  for (int i = count - 1; i >= 0; --i) {
    const CFilter& f = eq.Filter(i);
    QString text;
    if (f.type() == filter_type::kHighPass)
      text = QStringLiteral("H");
    else if (f.type() == filter_type::kLowPass)
      text = QStringLiteral("L");
    else
      text = QString::number(i + 1);
    const QRect r = ToQRect(f.pointHandle());
    if (i != shownFilter && r.intersects(keepClear)) continue;
    Qt::Alignment align = Qt::AlignHCenter;
    if (r.right() >= plot.right() || f.frequency() >= kFilterMaxHz)
      align = Qt::AlignLeft;
    else if (f.frequency() <= kFilterMinHz)
      align = Qt::AlignRight;
    DrawRimmedText(p, r, static_cast<int>(align | Qt::AlignVCenter) | Qt::TextDontClip, text);
  }
}

// --- Overlay curves ------------------------------------------------------------------------

void CFStatic::SetOverlaySource(GraphOverlaySource source) {
  overlaySource_ = std::move(source);
  update();
}

std::vector<GraphOverlayCurve> CFStatic::OverlayCurves() const {
  if (!overlaySource_ || data_ == nullptr) return {};
  return overlaySource_();
}

std::vector<QPolygonF> CFStatic::OverlayLines(const GraphOverlayCurve& curve) const {
  const QRect plot = plotRect();
  const int w = std::max(0, plot.width());
  const int h = std::max(0, plot.height());
  const auto& grid = FrequencyGrid();
  std::vector<QPolygonF> lines;
  QPolygonF run;
  for (int i = 0; i < kGridPoints; ++i) {
    if (!curve.has[static_cast<std::size_t>(i)]) {
      if (!run.isEmpty()) lines.push_back(std::exchange(run, {}));
      continue;
    }
    run << QPointF(GraphXExact(grid[static_cast<std::size_t>(i)], w) + kMarginLeft,
                   GraphYExact(curve.db[static_cast<std::size_t>(i)], h) + kMarginTop);
  }
  if (!run.isEmpty()) lines.push_back(std::move(run));
  return lines;
}

std::vector<std::pair<int, QRect>> CFStatic::LegendEntries() const { return LegendLayout(OverlayCurves()); }

std::vector<std::pair<int, QRect>> CFStatic::LegendLayout(const std::vector<GraphOverlayCurve>& curves) const {
  std::vector<std::pair<int, QRect>> entries;
  const QFontMetrics fm(legendFont_);
  const QRect plot = plotRect();
  // Laid out from the right edge leftwards, then listed in the curves' order.
  int right = plot.right() - kLegendInset - kLegendPadding;
  const int top = plot.top() + kLegendInset;
  for (auto it = curves.rbegin(); it != curves.rend(); ++it) {
    const int width = kLegendSwatch + kLegendSwatchGap + fm.horizontalAdvance(it->name);
    entries.insert(entries.begin(), {it->key, QRect(right - width + 1, top, width, kLegendRowHeight)});
    right -= width + 2 * kLegendPadding;
  }
  return entries;
}

void CFStatic::DrawOverlay(QPainter& p, const std::vector<GraphOverlayCurve>& curves) const {
  p.save();
  p.setClipRect(plotRect().adjusted(1, 1, -1, -1));
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setBrush(Qt::NoBrush);
  for (const auto& c : curves) {
    if (!c.shown) continue;
    QPen pen(c.colour, c.width, c.style, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    for (const QPolygonF& line : OverlayLines(c)) p.drawPolyline(line);
  }
  p.restore();
}

void CFStatic::DrawLegend(QPainter& p, const std::vector<GraphOverlayCurve>& curves) const {
  const auto entries = LegendLayout(curves);
  if (entries.empty()) return;
  QRect box = entries.front().second;
  for (const auto& e : entries) box = box.united(e.second);
  box.adjust(-kLegendPadding, -1, kLegendPadding, 1);
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(kGridLine, 1));
  p.setBrush(kLegendBackground);
  p.drawRect(box.adjusted(0, 0, -1, -1));
  p.setFont(legendFont_);
  p.setRenderHint(QPainter::Antialiasing, true);
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const GraphOverlayCurve& c = curves[k];
    const QRect r = entries[k].second;
    const int y = r.center().y();
    QColor swatch = c.colour;
    if (!c.shown) swatch.setAlpha(70);
    p.setPen(QPen(swatch, std::max<qreal>(c.width, 1.5), c.style, Qt::FlatCap));
    p.drawLine(QPointF(r.left(), y + 0.5), QPointF(r.left() + kLegendSwatch, y + 0.5));
    p.setPen(c.shown ? kLegendText : kLegendHiddenText);
    p.drawText(r.adjusted(kLegendSwatch + kLegendSwatchGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, c.name);
  }
  p.restore();
}

void CFStatic::DrawWidthHandles(QPainter& p, const CFilter& filter) const {
  const QColor c = channelColour();
  p.fillRect(ToQRect(filter.lowWidthHandle()), c);
  p.fillRect(ToQRect(filter.highWidthHandle()), c);
}

}  // namespace zelto
