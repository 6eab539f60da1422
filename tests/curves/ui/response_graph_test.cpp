#include "curves/ui/response_graph.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "core/device_image.h"
#include "core/frame.h"
#include "core/protocol.h"
#include "curves/filter.h"
#include "curves/graph_drag.h"
#include "model/ktv_data.h"

namespace zelto {
namespace {

// The widgets need an application; the tests run on the offscreen platform unless told otherwise.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "graph_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Widget 645 x 330: a plot of 600 x 300 pixels, 200 pixels per decade, 7.5 pixels per dB.
constexpr int kWidth = 645;
constexpr int kHeight = 330;
constexpr int kPlotW = kWidth - CFStatic::kMarginLeft - CFStatic::kMarginRight;
constexpr int kPlotH = kHeight - CFStatic::kMarginTop - CFStatic::kMarginBottom;

constexpr int kBand1kHz = 17;  // the 1000 Hz band of an output

class GraphTest : public ::testing::Test {
 protected:
  GraphTest() {
    InitDeviceImage(image_);
    data_ = std::make_unique<CKTV_Data>(image_, tracking_);
    graph_.resize(kWidth, kHeight);
    graph_.Attach(data_.get());
    graph_.ShowOutput(1);  // FR: crossover range 8
    graph_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&graph_));
    // QTest moves the cursor for hovering; start every test from a corner without handles.
    QCursor::setPos(graph_.mapToGlobal(QPoint(1, kHeight - 1)));
    QApplication::processEvents();
  }

  CKTVEQ& Eq() { return *graph_.currentEq(); }
  CFilter& Filter(int i) { return Eq().Filter(i); }

  static QPoint Centre(const GraphRect& r) { return {r.Centre().x, r.Centre().y}; }
  static QPoint Handle(const CFilter& f) { return Centre(f.pointHandle()); }
  /// The client x of a frequency.
  static int XOf(int hz) { return GraphX(hz, kPlotW) + CFStatic::kMarginLeft; }

  /// Hovers `from`, presses there, moves to `to` and lets go: a drag as a hand makes it.
  void Drag(QPoint from, QPoint to) {
    QTest::mouseMove(&graph_, from);
    QTest::mousePress(&graph_, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&graph_, to);
    QTest::mouseRelease(&graph_, Qt::LeftButton, Qt::NoModifier, to);
  }

  /// A mouse event delivered at once, without running the event loop (so no timer can fire).
  void SendNow(QEvent::Type type, QPoint pos) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(pos), graph_.mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&graph_, &e);
  }

  QImage Render() {
    QImage img(graph_.size(), QImage::Format_ARGB32);
    QPainter p(&img);
    graph_.PaintGraph(p);
    return img;
  }

  DeviceImage image_;
  ChangeTracking tracking_{true};
  std::unique_ptr<CKTV_Data> data_;
  CFStatic graph_;
};

TEST_F(GraphTest, BandDragSetsFrequencyAndGainAndReachesTheChangeScan) {
  const QPoint from = Handle(Filter(kBand1kHz));
  const QPoint to = from + QPoint(20, -45);  // a tenth of a decade up, six dB up
  Drag(from, to);

  const int wantHz = GraphFrequencyAt(to.x() - CFStatic::kMarginLeft, kPlotW);
  const int wantCode = BandGainEditCodeFromDb(GraphGainAt(to.y() - CFStatic::kMarginTop, kPlotH));
  EXPECT_EQ(Filter(kBand1kHz).frequency(), wantHz);
  EXPECT_EQ(Filter(kBand1kHz).gainCode(), wantCode);
  EXPECT_NEAR(Filter(kBand1kHz).gain(), 6.0, 0.05);
  EXPECT_FALSE(Filter(kBand1kHz).IsFlat());
  EXPECT_EQ(graph_.selectedIndex(), kBand1kHz);

  // The edit is the next item the change scan sends: band 18 of channel 1 at the new values.
  FrameBuilder builder(image_);
  SendDataPtr msg = data_->NextChangeMessage(builder);
  ASSERT_TRUE(msg);
  const auto f = msg->Buffer();
  ASSERT_GE(f.size(), frame::kHeaderSize + frame::kItemSize);
  EXPECT_EQ(f[frame::kBlockType], static_cast<std::uint8_t>(BlockType::Output));
  EXPECT_EQ(f[frame::kChannel], 1);
  EXPECT_EQ(f[frame::kItemIndex], kBand1kHz);
  const auto payload = f.subspan(frame::kHeaderSize, frame::kItemSize);
  EXPECT_EQ(GetU16(payload, band::kFrequency), wantHz);
  EXPECT_EQ(GetU16(payload, band::kGainCode), band::kFlatGainCode - kGainCodeFlat + wantCode);
}

TEST_F(GraphTest, BandDragStopsAtTheTopAndBottomOfTheScale) {
  struct Case {
    int dy;
    int wantCode;
  } cases[] = {{-400, kGainCodeMax}, {+400, 0}, {-400, kGainCodeMax}};
  for (const auto& c : cases) {
    const QPoint from = Handle(Filter(kBand1kHz));
    Drag(from, from + QPoint(0, c.dy));
    EXPECT_EQ(Filter(kBand1kHz).gainCode(), c.wantCode) << c.dy;
    EXPECT_EQ(Filter(kBand1kHz).frequency(), 1000) << "a vertical drag keeps the frequency";
  }
  EXPECT_DOUBLE_EQ(Filter(kBand1kHz).gain(), 20.0);
}

TEST_F(GraphTest, GraphicEqBandsKeepTheirFrequency) {
  data_->Edit([](CKTV_Data& d) { d.Output(1).SetEqMode(1); });
  const QPoint from = Handle(Filter(kBand1kHz));
  Drag(from, from + QPoint(60, -30));
  EXPECT_EQ(Filter(kBand1kHz).frequency(), 1000);
  EXPECT_EQ(Filter(kBand1kHz).gainCode(), kGainCodeFlat + 40);
}

TEST_F(GraphTest, ShelvesStayOnTheirSideOf2kHz) {
  graph_.ShowMicInput(0);
  const int last = Eq().BandCount() - 1;
  ASSERT_EQ(Filter(0).type(), filter_type::kLowShelf);
  ASSERT_EQ(Filter(last).type(), filter_type::kHighShelf);

  Drag(Handle(Filter(0)), QPoint(XOf(5000), Handle(Filter(0)).y()));
  EXPECT_EQ(Filter(0).frequency(), graph::kShelfSplitHz);
  // Inside its side a shelf follows the pointer.
  Drag(Handle(Filter(0)), QPoint(XOf(300), Handle(Filter(0)).y()));
  EXPECT_NEAR(Filter(0).frequency(), 300, 6);
  Drag(Handle(Filter(last)), QPoint(XOf(500), Handle(Filter(last)).y()));
  EXPECT_EQ(Filter(last).frequency(), graph::kShelfSplitHz);
}

TEST_F(GraphTest, WidthHandlesSetTheBandwidthWithinLimits) {
  CFilter& band = Filter(kBand1kHz);
  // Hover the band to select it; its width handles then take the drag.
  QTest::mouseMove(&graph_, Handle(band));
  ASSERT_EQ(graph_.selectedIndex(), kBand1kHz);

  // A press and a drag back to where it started change nothing.
  QPoint low = Centre(band.lowWidthHandle());
  Drag(low, low);
  EXPECT_DOUBLE_EQ(band.bandwidth(), 0.2);

  // The handle follows the pointer: a drag by a decade's quarter widens the band by that much.
  Drag(low, low - QPoint(kPlotW / 12, 0));
  EXPECT_NEAR(band.bandwidth(), 0.2 + std::log2(std::pow(10.0, 0.25)), 0.03);
  EXPECT_NEAR(Centre(band.lowWidthHandle()).x(), low.x() - kPlotW / 12, 2);

  QPoint high = Centre(band.highWidthHandle());
  Drag(high, QPoint(XOf(16000), high.y()));  // the edge past a factor of 8
  EXPECT_DOUBLE_EQ(band.bandwidth(), graph::kMaxDragBandwidth);

  high = Centre(band.highWidthHandle());
  Drag(high, QPoint(XOf(900), high.y()));  // across the centre: the narrowest band
  EXPECT_DOUBLE_EQ(band.bandwidth(), BandwidthOctavesForSetting(0));
  EXPECT_EQ(band.frequency(), 1000);
  EXPECT_EQ(band.gainCode(), kGainCodeFlat);
}

TEST_F(GraphTest, CrossoverDragsFollowTheirRange) {
  CFilter& hp = Eq().HighPass();
  CFilter& lp = Eq().LowPass();
  ASSERT_EQ(hp.crossoverRange(), graph::kRangeOrdered);
  data_->Edit([&](CKTV_Data&) { lp.SetFrequency(2000, true); });

  // Range 8: the high-pass cannot be dragged past the low-pass.
  Drag(Handle(hp), QPoint(XOf(5000), Handle(hp).y()));
  EXPECT_EQ(hp.frequency(), 2000);
  Drag(Handle(hp), QPoint(XOf(150), Handle(hp).y()));
  EXPECT_NEAR(hp.frequency(), 150, 3);
  Drag(Handle(lp), QPoint(XOf(60), Handle(lp).y()));
  EXPECT_EQ(lp.frequency(), hp.frequency());
  // Dragged to the left edge of the plot the high-pass switches itself off.
  Drag(Handle(hp), QPoint(0, Handle(hp).y()));
  EXPECT_EQ(hp.frequency(), graph::kHighPassOffHz);

  // Range 5 cannot be dragged at all.
  hp.SetCrossoverRange(graph::kRangeFixed);
  Drag(Handle(hp), QPoint(XOf(400), Handle(hp).y()));
  EXPECT_EQ(hp.frequency(), graph::kHighPassOffHz);

  // The effect block's low-pass cannot go below 5 kHz.
  graph_.ShowEffect();
  CFilter& fxLp = Eq().LowPass();
  ASSERT_EQ(fxLp.crossoverRange(), graph::kRangeEffect);
  Drag(Handle(fxLp), QPoint(XOf(1000), Handle(fxLp).y()));
  EXPECT_EQ(fxLp.frequency(), graph::kEffectLowPassMinHz);
}

TEST_F(GraphTest, NotificationsAreThrottledAndCarryTheLastChangedFilter) {
  QSignalSpy spy(&graph_, &CFStatic::filterChanged);
  QTest::qWait(3 * CFStatic::kNotifyPeriodMs);
  ASSERT_TRUE(spy.isEmpty()) << "nothing changed yet";

  // Two bands and the low-pass change within one period: the event loop does not run between.
  const int bands[] = {kBand1kHz, 5};
  for (int b : bands) {
    const QPoint from = Handle(Filter(b));
    SendNow(QEvent::MouseMove, from);
    SendNow(QEvent::MouseButtonPress, from);
    for (int step = 1; step <= 4; ++step) SendNow(QEvent::MouseMove, from + QPoint(0, -8 * step));
    SendNow(QEvent::MouseButtonRelease, from + QPoint(0, -32));
  }
  const int lpIndex = Eq().FilterCount() - 1;
  const QPoint lpFrom = Handle(Eq().LowPass());
  SendNow(QEvent::MouseMove, lpFrom);
  SendNow(QEvent::MouseButtonPress, lpFrom);
  SendNow(QEvent::MouseMove, QPoint(XOf(8000), lpFrom.y()));
  SendNow(QEvent::MouseButtonRelease, QPoint(XOf(8000), lpFrom.y()));
  ASSERT_TRUE(spy.isEmpty()) << "notifications wait for the timer";

  QTest::qWait(4 * CFStatic::kNotifyPeriodMs);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0][0].toInt(), lpIndex);
  EXPECT_EQ(spy[0][1].toInt(), CFStatic::kOutputCodeBase + 1);

  // A move without a drag changes nothing and tells nothing.
  QTest::mouseMove(&graph_, Handle(Filter(3)) + QPoint(30, 40));
  QTest::qWait(3 * CFStatic::kNotifyPeriodMs);
  EXPECT_EQ(spy.count(), 1);
  // Stopped, the graph keeps quiet.
  graph_.Stop();
  Drag(Handle(Filter(2)), Handle(Filter(2)) + QPoint(0, -30));
  QTest::qWait(3 * CFStatic::kNotifyPeriodMs);
  EXPECT_EQ(spy.count(), 1);
}

TEST_F(GraphTest, PointerDoesNothingWhileDisabled) {
  graph_.SetPointerEnabled(false);
  const QPoint from = Handle(Filter(kBand1kHz));
  Drag(from, from + QPoint(40, -60));
  EXPECT_EQ(Filter(kBand1kHz).frequency(), 1000);
  EXPECT_TRUE(Filter(kBand1kHz).IsFlat());
  EXPECT_EQ(graph_.selectedIndex(), -1);
}

TEST_F(GraphTest, HoverSelectsAHandleAndAChannelSwitchClearsIt) {
  QTest::mouseMove(&graph_, Handle(Filter(kBand1kHz)));
  EXPECT_EQ(graph_.selectedIndex(), kBand1kHz);
  EXPECT_EQ(graph_.hoverIndex(), kBand1kHz);
  EXPECT_EQ(graph_.cursor().shape(), Qt::PointingHandCursor);
  // Leaving the handles keeps the selection (its width handles stay usable) but not the hand.
  QTest::mouseMove(&graph_, Handle(Filter(kBand1kHz)) + QPoint(0, 60));
  EXPECT_EQ(graph_.selectedIndex(), kBand1kHz);
  EXPECT_EQ(graph_.cursor().shape(), Qt::ArrowCursor);

  graph_.ShowOutput(2);
  EXPECT_EQ(graph_.selectedIndex(), -1);
  EXPECT_EQ(graph_.hoverIndex(), -1);
  EXPECT_EQ(graph_.channelCode(), CFStatic::kOutputCodeBase + 2);
}

// The main view and the output page each hold a graph of their own size over the same objects.
TEST_F(GraphTest, TwoGraphsOfDifferentSizesShareTheObjects) {
  const QPoint from = Handle(Filter(kBand1kHz));
  CFStatic small;
  small.resize(kWidth - 200, kHeight - 100);
  small.Attach(data_.get());
  small.ShowOutput(1);
  ASSERT_NE(Handle(Filter(kBand1kHz)), from) << "the objects now fit the small graph";

  Drag(from, from + QPoint(0, -30));
  EXPECT_EQ(Filter(kBand1kHz).gainCode(), kGainCodeFlat + 40);
  EXPECT_EQ(Handle(Filter(kBand1kHz)), from + QPoint(0, -30));
}

TEST_F(GraphTest, VerticalGridLinesFromThirtyHertzToTenKilohertz) {
  const QRect plot = graph_.plotRect();
  const QImage img = Render();
  // Between two gain lines, clear of the curve and the handles.
  const int y = plot.top() + kPlotH * 3 / 16;
  for (int hz : {30, 90, 100, 900, 1000, 2000, 9000, 10000})
    EXPECT_EQ(img.pixelColor(XOf(hz), y), QColor(21, 100, 21)) << hz << " Hz";
  EXPECT_EQ(img.pixelColor(XOf(15000), y), QColor(Qt::black)) << "no line between 10 and 20 kHz";
}

TEST_F(GraphTest, DrawsCurveOutlineAndFrame) {
  const QRect plot = graph_.plotRect();
  const QColor colour = graph_.channelColour();
  QImage img = Render();
  EXPECT_EQ(img.pixelColor(plot.left(), plot.center().y()), QColor(0, 180, 0)) << "plot border";
  EXPECT_EQ(img.pixelColor(2, 2), QColor(28, 28, 30)) << "background outside the plot";
  // A flat channel: the curve runs along the 0 dB line.
  const int zeroY = plot.top() + kPlotH / 2;
  EXPECT_EQ(img.pixelColor(XOf(2800), zeroY), colour);  // between two handle numbers

  // Hovering a boosted band fills the area between its curve and the 0 dB line.
  data_->Edit([&](CKTV_Data&) { Filter(kBand1kHz).SetGainCode(kGainCodeFlat + 100); });
  QTest::mouseMove(&graph_, Handle(Filter(kBand1kHz)));
  img = Render();
  const int peakY = GraphY(10.0, kPlotH) + CFStatic::kMarginTop;
  EXPECT_EQ(img.pixelColor(XOf(1000) + 3, (peakY + zeroY) / 2 + 20), QColor(68, 86, 98));
  // A reference channel is drawn in grey (630 Hz lies clear of the grid lines).
  constexpr int kBand630Hz = 15;
  graph_.SetReferenceShown(4, true);
  data_->Edit([](CKTV_Data& d) { d.Output(4).Eq().Filter(kBand630Hz).SetGainCode(kGainCodeFlat - 80); });
  img = Render();
  const int troughY = GraphY(-8.0, kPlotH) + CFStatic::kMarginTop;
  int greyest = 0;
  for (int y = troughY - 4; y <= troughY + 4; ++y) {
    const QColor c = img.pixelColor(XOf(630), y);
    if (c.red() == c.green() && c.green() == c.blue()) greyest = std::max(greyest, c.red());
  }
  EXPECT_GE(greyest, 40) << "reference curve through the trough";
}

TEST_F(GraphTest, OverlayCurvesBreakWhereUndefinedAndTheLegendAndMenuReport) {
  GraphOverlayCurve c;
  c.key = 7;
  c.name = QStringLiteral("Measurement");
  c.colour = Qt::gray;
  c.db.fill(-6.0);
  for (int i = 20; i < kGridPoints; ++i) c.has[static_cast<std::size_t>(i)] = i < 100 || i >= 110;
  graph_.SetOverlaySource([c] { return std::vector<GraphOverlayCurve>{c}; });

  // Two runs around the gap, each point where the plot puts its frequency and level.
  const auto lines = graph_.OverlayLines(c);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 80);
  EXPECT_EQ(lines[1].size(), kGridPoints - 110);
  EXPECT_DOUBLE_EQ(lines[1][0].x(), GraphXExact(FrequencyGrid()[110], kPlotW) + CFStatic::kMarginLeft);
  EXPECT_DOUBLE_EQ(lines[1][0].y(), GraphYExact(-6.0, kPlotH) + CFStatic::kMarginTop);

  // The legend sits inside the plot; a click on its entry reports the curve's key and drags nothing.
  const auto entries = graph_.LegendEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(graph_.plotRect().contains(entries[0].second));
  QSignalSpy toggled(&graph_, &CFStatic::overlayToggled);
  QTest::mouseClick(&graph_, Qt::LeftButton, {}, entries[0].second.center());
  ASSERT_EQ(toggled.count(), 1);
  EXPECT_EQ(toggled.at(0).at(0).toInt(), 7);

  QSignalSpy menu(&graph_, &CFStatic::contextMenuRequested);
  QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(100, 100), graph_.mapToGlobal(QPoint(100, 100)));
  QApplication::sendEvent(&graph_, &e);
  EXPECT_EQ(menu.count(), 1);

  graph_.SetOverlaySource({});
  EXPECT_TRUE(graph_.LegendEntries().empty());
}

}  // namespace
}  // namespace zelto
