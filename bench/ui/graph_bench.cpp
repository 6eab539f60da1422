// The response graph while the user drags: one full repaint with every reference curve shown, and
// one drag step (the mouse move that changes a band, the channel sum and the repaint). A drag step
// has to stay well inside a display frame for the handle to follow the pointer smoothly.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>
#include <memory>
#include <string_view>

#include "core/change_tracking.h"
#include "core/device_image.h"
#include "curves/filter.h"
#include "curves/ui/response_graph.h"
#include "model/ktv_data.h"

namespace zelto {
namespace {

/// A tuned car: every output with a handful of active bands and its crossovers in use, so each
/// curve has real shape and every filter contributes to the sums.
struct TunedSystem {
  DeviceImage image;
  ChangeTracking tracking{true};
  std::unique_ptr<CKTV_Data> data;
  CFStatic graph;
  QImage canvas;

  TunedSystem(int width, int height) {
    InitDeviceImage(image);
    data = std::make_unique<CKTV_Data>(image, tracking);
    for (int ch = 0; ch < kOutputChannels; ++ch) {
      CKTVEQ& eq = data->Output(ch).Eq();
      for (int b = 0; b < eq.BandCount(); b += 3) {
        eq.Filter(b).SetGainCode(kGainCodeFlat + ((b + ch) % 7 - 3) * 20);
        eq.Filter(b).SetBandwidthIndex(40 + 10 * (b % 5));
      }
      eq.HighPass().SetFrequency(40 + 30 * ch, false);
      eq.HighPass().SetSlope(slope_code::k24, false);
      eq.LowPass().SetFrequency(3000 + 2000 * ch, false);
      eq.LowPass().SetCrossoverType(crossover_family::kLinkwitzRiley, false);
    }
    graph.resize(width, height);
    graph.Attach(data.get());
    graph.ShowOutput(0);
    for (int ch = 0; ch < kOutputChannels; ++ch) graph.SetReferenceShown(ch, true);
    canvas = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
  }

  void Repaint() {
    QPainter p(&canvas);
    graph.PaintGraph(p);
  }

  void Send(QEvent::Type type, QPoint pos) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(pos), graph.mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&graph, &e);
  }
};

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({1280, 700});  // the whole window
  b->Args({822, 240});   // the graph as the main view places it
}

void BM_GraphFullRepaint(benchmark::State& state) {
  TunedSystem sys(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    sys.Repaint();
    benchmark::DoNotOptimize(sys.canvas.constBits());
  }
}
BENCHMARK(BM_GraphFullRepaint)->Apply(Sizes)->Unit(benchmark::kMillisecond);

void BM_GraphDragStep(benchmark::State& state) {
  TunedSystem sys(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  // Grab band 13 (about 400 Hz) and move it up and down by a few pixels each step, as a hand does.
  const GraphRect& handle = sys.data->Output(0).Eq().Filter(12).pointHandle();
  const QPoint grab(handle.Centre().x, handle.Centre().y);
  sys.Send(QEvent::MouseMove, grab);
  sys.Send(QEvent::MouseButtonPress, grab);
  int step = 0;
  for (auto _ : state) {
    const QPoint to = grab + QPoint((step % 2) * 4, (step % 16) * 6 - 48);
    ++step;
    sys.Send(QEvent::MouseMove, to);
    sys.Repaint();
    benchmark::DoNotOptimize(sys.canvas.constBits());
  }
  sys.Send(QEvent::MouseButtonRelease, grab);
  if (sys.graph.selectedIndex() != 12) state.SkipWithError("the drag did not grab band 13");
}
BENCHMARK(BM_GraphDragStep)->Apply(Sizes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto

namespace {

/// `graph_bench --png FILE [WIDTH HEIGHT]` draws the benchmarked graph, with band 13 hovered, to FILE
/// instead of timing it: what the numbers measure can be looked at.
int RenderPng(const char* file, int width, int height) {
  zelto::TunedSystem sys(width, height);
  const zelto::GraphRect& handle = sys.data->Output(0).Eq().Filter(12).pointHandle();
  sys.Send(QEvent::MouseMove, QPoint(handle.Centre().x, handle.Centre().y));
  sys.Repaint();
  return sys.canvas.save(QString::fromLocal8Bit(file)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc >= 3 && std::string_view(argv[1]) == "--png") {
    const int w = argc >= 5 ? std::atoi(argv[3]) : 822;
    const int h = argc >= 5 ? std::atoi(argv[4]) : 240;
    return RenderPng(argv[2], w, h);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
