#pragma once
// The response graph: the frequency response of one channel (the effect block, an input or an
// output) with a handle per filter that the user drags to shape it. The filters compute their own
// responses, outlines and handle rectangles; this widget only maps points, draws and turns pointer
// moves into parameter changes through the filters' setters.

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <QPolygonF>
#include <QString>

#include <array>
#include <bitset>
#include <functional>
#include <utility>
#include <vector>

#include "core/device_image.h"
#include "core/encodings.h"
#include "curves/geometry.h"

class QPainter;

namespace zelto {

class CFilter;
class CKTVEQ;
class CKTV_Data;

/// A curve drawn over the plot beside the channel's own: a measurement, a target, a prediction.
/// Points where `has` is false are left out, and the line breaks there.
struct GraphOverlayCurve {
  int key = 0;   // what the legend reports when its entry is clicked
  QString name;  // the legend's words
  QColor colour;
  Qt::PenStyle style = Qt::SolidLine;
  qreal width = 1.0;
  bool shown = true;  // a hidden curve keeps its legend entry, dimmed
  std::array<double, kGridPoints> db{};
  std::array<bool, kGridPoints> has{};
};
/// Gives the overlay curves of the channel shown, computed when the graph draws.
using GraphOverlaySource = std::function<std::vector<GraphOverlayCurve>()>;

class CFStatic : public QWidget {
  Q_OBJECT

 public:
  /// What the graph shows.
  enum class Mode { None = 0, Effect = 1, MicInput = 2, MusicInput = 3, Output = 4 };

  // Channel codes carried by the change notification.
  static constexpr int kEffectCode = 0;
  static constexpr int kMicCodeBase = 256;
  static constexpr int kMusicCodeBase = 512;
  static constexpr int kOutputCodeBase = 768;

  // At most one change notification per period, however many moves a drag makes.
  static constexpr int kNotifyPeriodMs = 50;

  // The plot sits inside the widget with room for the gain labels on the left and the frequency
  // labels below; the filters lay out their handles with the same left and top margins.
  static constexpr int kMarginLeft = kGraphMarginX;
  static constexpr int kMarginTop = kGraphMarginY;
  static constexpr int kMarginRight = 10;
  static constexpr int kMarginBottom = 20;

  explicit CFStatic(QWidget* parent = nullptr);
  ~CFStatic() override;

  /// Shows the channels of `data` (null detaches), lays every channel out for this widget's size
  /// and starts the notification timer. `data` must outlive the graph or be detached first.
  void Attach(CKTV_Data* data);
  CKTV_Data* data() const { return data_; }

  void ShowEffect();
  void ShowMicInput(int index);
  void ShowMusicInput(int index);
  void ShowOutput(int index);
  /// Sets the mode only, keeping the channel index.
  void SetMode(Mode mode);
  /// Fills the curve of filter `hoverIndex` of the current channel (-1: the selected one, if any).
  void Redraw(int hoverIndex = -1);
  /// Stops the notification timer; a change not yet notified stays pending.
  void Stop();
  /// Notifies a change not yet notified now rather than at the next tick: a drag's last move
  /// belongs to the drag, and what follows it (the link group, the processor) must happen before
  /// the drag counts as finished.
  void FlushChange();

  /// Whether output `channel`'s curve is drawn in grey behind the current one.
  void SetReferenceShown(int channel, bool shown);
  bool referenceShown(int channel) const;
  /// Another tuning of the same channels (the other A/B side), drawn dimmed behind the current
  /// output channel, fitted to the plot here; null draws none. `other` must outlive the graph or
  /// be taken away first.
  void SetComparison(CKTV_Data* other);
  CKTV_Data* comparison() const { return comparison_; }
  /// The plot area as the filters are fitted to it.
  GraphRect plotGraphRect() const;
  /// Hover and drag are on only while the page that edits these filters is in front.
  void SetPointerEnabled(bool on);
  bool pointerEnabled() const { return pointerEnabled_; }

  Mode mode() const { return mode_; }
  int channelIndex() const { return channelIndex_; }
  int channelCode() const;
  int selectedIndex() const { return selectedIndex_; }
  int hoverIndex() const { return hoverIndex_; }
  /// The plot area inside the widget.
  QRect plotRect() const;
  /// The colour the current channel is drawn in.
  QColor channelColour() const;
  /// The filters of the current channel, or null while nothing is shown.
  CKTVEQ* currentEq() const;

  /// Draws the whole graph at the widget's current size (what a repaint draws).
  void PaintGraph(QPainter& painter);

  /// Where the overlay curves come from (empty: none). They are asked for at every repaint, so a
  /// curve that depends on the filters follows a drag as the channel's own curve does.
  void SetOverlaySource(GraphOverlaySource source);
  /// The overlay curves as the graph draws them now.
  std::vector<GraphOverlayCurve> OverlayCurves() const;
  /// The lines of one overlay curve in widget coordinates, one per run of defined points.
  std::vector<QPolygonF> OverlayLines(const GraphOverlayCurve& curve) const;
  /// The legend's entries (curve key, area in the widget) for the overlay curves now.
  std::vector<std::pair<int, QRect>> LegendEntries() const;

 signals:
  /// A drag changed filter `filterIndex` of the channel with `channelCode`; sent at most once per
  /// notification period and carrying the last filter changed in it.
  void filterChanged(int filterIndex, int channelCode);
  /// The legend entry of overlay curve `key` was clicked.
  void overlayToggled(int key);
  /// The context menu was asked for at `globalPos` (right button or the menu key).
  void contextMenuRequested(const QPoint& globalPos);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  enum class Drag { None, Point, LowWidth, HighWidth };

  void Layout();
  void EnsureLayout();
  void ShowChannel(Mode mode, int index);
  CKTVEQ* EqOf(Mode mode, int index) const;
  QColor ColourOf(Mode mode, int index) const;
  CFilter* FilterAt(int index) const;
  bool HasWidthHandles(const CFilter& filter) const;
  /// Where the filter's frequency and gain (crossovers: its handle height) lie in the widget.
  QPoint FilterPoint(const CFilter& filter) const;
  /// Plot column of the lower or upper bandwidth edge of a peaking band.
  int WidthEdgeColumn(const CFilter& filter, bool low) const;
  void MarkChanged(int index);

  void Hover(QPoint pos);
  void DragPoint(QPoint pos);
  void DragBand(CFilter& filter, QPoint pos);
  void DragCrossover(CFilter& filter, QPoint pos);
  void DragWidth(QPoint pos);
  void EndDrag();

  void DrawGrid(QPainter& p, const QRect& plot) const;
  void DrawLabels(QPainter& p, const QRect& plot) const;
  void DrawCurve(QPainter& p, const CKTVEQ& eq, const QPen& pen) const;
  void DrawFilterOutline(QPainter& p, const CFilter& filter) const;
  void DrawHandles(QPainter& p, const CKTVEQ& eq, const QRect& plot, const QRect& keepClear, int shownFilter) const;
  void DrawWidthHandles(QPainter& p, const CFilter& filter) const;
  void DrawOverlay(QPainter& p, const std::vector<GraphOverlayCurve>& curves) const;
  void DrawLegend(QPainter& p, const std::vector<GraphOverlayCurve>& curves) const;
  std::vector<std::pair<int, QRect>> LegendLayout(const std::vector<GraphOverlayCurve>& curves) const;

  CKTV_Data* data_ = nullptr;
  CKTV_Data* comparison_ = nullptr;
  Mode mode_ = Mode::None;
  int channelIndex_ = 0;
  int selectedIndex_ = -1;
  int hoverIndex_ = -1;
  bool changed_ = false;
  int changedIndex_ = 0;
  int changedCode_ = 0;
  bool overHandle_ = false;
  bool pointerEnabled_ = true;
  Drag drag_ = Drag::None;
  QPoint dragOffset_;
  std::bitset<kOutputChannels> referenceShown_;
  QBasicTimer notifyTimer_;
  QFont handleFont_;
  QFont labelFont_;
  QFont axisFont_;
  QFont legendFont_;
  GraphOverlaySource overlaySource_;
};

}  // namespace zelto
