// Measurements in the window against the in-process simulated processor: the graph's measurement
// curves (checked in the curve data the graph draws, not in pixels), the EQ from measurement
// dialog and the REW filter import and export of the file menu, checked by what the processor
// holds afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/output_page.h"
#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/num_edit.h"
#include "curves/ui/response_graph.h"
#include "measure/rew_filters.h"
#include "measure/ui/eq_dialog.h"
#include "measure/ui/measurement_tools.h"
#include "sim_frames.h"
#include "support/temp_dir.h"

#ifdef ZELTO_HAVE_ACOUSTICS
#include "acoustics/measurement_routing.h"
#endif

namespace zelto {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using measure::BandSetting;
using measure::ShownCurve;
using testing::ConnectedEditor;
using testing::WaitUntil;
using Curve = std::array<double, kGridPoints>;

constexpr int kBand1kHz = 17;

void Type(NumEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClicks(box, text);
  box->Commit();
}

/// REW's text export of a level `level` + `shape` at the grid frequencies from 20 Hz.
std::string RewText(double level, const Curve& shape) {
  std::string text = "* Measurement data measured by REW V5.20\n* Freq(Hz) SPL(dB) Phase(degrees)\n";
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    if (grid[i] < 20) continue;
    char line[64];
    std::snprintf(line, sizeof line, "%.3f %.3f 0.0\n", grid[i], level + shape[i]);
    text += line;
  }
  return text;
}

const GraphOverlayCurve* Find(const std::vector<GraphOverlayCurve>& curves, ShownCurve which) {
  for (const auto& c : curves)
    if (c.key == static_cast<int>(which)) return &c;
  return nullptr;
}

class MeasureTest : public ConnectedEditor {
 protected:
  void SetUp() override {
    ConnectedEditor::SetUp();
    tools = view->Measurements();
    ASSERT_NE(tools, nullptr);
  }

  QString Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return QString::fromStdString((dir / name).string());
  }
  CFStatic* graph() { return view->Graph(); }
  std::vector<BandSetting> BandsOf(int ch) {
    auto lock = view->engine().Data().Lock();
    return measure::BandsOf(view->engine().Data().Output(ch).Eq());
  }
  /// The processor's bands of output `ch` equal `bands` (flat bands at 0 dB).
  bool ProcessorHas(int ch, const std::vector<BandSetting>& bands) {
    return WaitUntil(
        [&] {
          const DeviceImage memory = processor().Memory();
          const auto block = memory.Block(0, BlockType::Output, ch);
          for (std::size_t k = 0; k < bands.size(); ++k) {
            const auto rec = block.subspan(out::kBands0 + k * band::kSize, band::kSize);
            if (GetU16(rec, band::kFrequency) != bands[k].hz) return false;
            if (GetS16(rec, band::kBandwidth) != bands[k].bandwidthIndex) return false;
            if (GetU16(rec, band::kGainCode) != band::kFlatGainCode + bands[k].gainCode - kGainCodeFlat) return false;
          }
          return true;
        },
        10s);
  }
  /// A mouse event delivered to the graph at once, without turning the event loop.
  void SendNow(QEvent::Type type, QPoint pos) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(pos), graph()->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(graph(), &e);
  }

  ::zelto::testing::TestTempDir temp;
  fs::path dir = temp.Path();
  MeasurementTools* tools = nullptr;
};

TEST_F(MeasureTest, AMeasurementIsDrawnWithTargetAndAPredictionThatFollowsTheBands) {
  Curve dip{};
  const Curve cut = measure::BandResponse({1000, kGainCodeFlat - 50, 40});
  for (int i = 0; i < kGridPoints; ++i) dip[i] = cut[i];
  const QString file = Write("left door.txt", RewText(84.0, dip));
  ASSERT_TRUE(tools->LoadMeasurement(0, file));

  auto curves = graph()->OverlayCurves();
  ASSERT_EQ(curves.size(), 3u);
  const auto* measured = Find(curves, ShownCurve::Measured);
  const auto* predicted = Find(curves, ShownCurve::Predicted);
  ASSERT_TRUE(measured && predicted && Find(curves, ShownCurve::Target));
  const int at1k = NearestGridIndex(1000);
  // The dip reads about 5 dB (the 1/6 octave smoothing takes a little of it).
  EXPECT_NEAR(measured->db[at1k] - measured->db[NearestGridIndex(200)], -5.0, 0.6);
  EXPECT_EQ(predicted->db, measured->db);  // nothing changed since it was loaded
  EXPECT_EQ(graph()->LegendEntries().size(), 3u);
  // The graph maps the points it was given: the 1 kHz point lies where the plot puts -5 dB.
  const auto lines = graph()->OverlayLines(*measured);
  ASSERT_EQ(lines.size(), 1u);
  const QRect plot = graph()->plotRect();
  const double y1k = lines[0][at1k - (kGridPoints - static_cast<int>(lines[0].size()))].y();
  EXPECT_NEAR(y1k, GraphYExact(measured->db[at1k], plot.height()) + CFStatic::kMarginTop, 1e-9);

  // A band typed in moves the prediction by that band's response, and the measurement stays.
  Type(view->Page()->GainBox(kBand1kHz), QStringLiteral("5"));
  curves = graph()->OverlayCurves();
  EXPECT_NEAR(Find(curves, ShownCurve::Predicted)->db[at1k] - Find(curves, ShownCurve::Measured)->db[at1k], 5.0, 0.05);
  EXPECT_EQ(Find(curves, ShownCurve::Measured)->db, measured->db);

  // While a handle is dragged, before any change notification, the prediction follows it.
  CKTVEQ& eq = view->engine().Data().Output(0).Eq();
  const double before = Find(graph()->OverlayCurves(), ShownCurve::Predicted)->db[at1k];
  const QPoint handle(eq.Filter(kBand1kHz).pointHandle().Centre().x, eq.Filter(kBand1kHz).pointHandle().Centre().y);
  SendNow(QEvent::MouseMove, handle);
  ASSERT_EQ(graph()->selectedIndex(), kBand1kHz);
  SendNow(QEvent::MouseButtonPress, handle);
  SendNow(QEvent::MouseMove, handle + QPoint(0, -20));
  const double gainNow = eq.Filter(kBand1kHz).gain();
  EXPECT_GT(gainNow, 5.0);
  EXPECT_NEAR(Find(graph()->OverlayCurves(), ShownCurve::Predicted)->db[at1k] - before, gainNow - 5.0, 0.05);
  SendNow(QEvent::MouseButtonRelease, handle + QPoint(0, -20));

  // The legend hides a curve and shows it again; the menu's check items do the same.
  const auto entries = graph()->LegendEntries();
  const QRect target = entries[1].second;
  ASSERT_EQ(entries[1].first, static_cast<int>(ShownCurve::Predicted));
  QTest::mouseClick(graph(), Qt::LeftButton, {}, target.center());
  EXPECT_FALSE(Find(graph()->OverlayCurves(), ShownCurve::Predicted)->shown);
  QTest::mouseClick(graph(), Qt::LeftButton, {}, target.center());
  EXPECT_TRUE(Find(graph()->OverlayCurves(), ShownCurve::Predicted)->shown);
  QMenu menu;
  tools->FillMenu(menu);
  for (QAction* a : menu.actions())
    if (a->isCheckable() && a->data().toInt() == static_cast<int>(ShownCurve::Target)) a->trigger();
  EXPECT_FALSE(Find(graph()->OverlayCurves(), ShownCurve::Target)->shown);

  // A file that is no measurement is refused by line, and the one held stays.
  const auto messages = editor->messages.size();
  EXPECT_FALSE(tools->LoadMeasurement(0, Write("notes.txt", "* REW\n20 80\n25 eighty\n")));
  ASSERT_EQ(editor->messages.size(), messages + 1);
  EXPECT_TRUE(editor->messages.back().contains(QStringLiteral("line 3"))) << editor->messages.back().toStdString();
  EXPECT_EQ(tools->Held().PathOf(0), file.toStdString());

  // Another channel has none of it.
  view->SelectChannel(3);
  EXPECT_TRUE(graph()->OverlayCurves().empty());
  EXPECT_TRUE(graph()->LegendEntries().empty());
}

TEST_F(MeasureTest, EqFromMeasurementPreviewsAndItsApplyReachesTheProcessor) {
  // The channel measured as the exact inverse of three bands, at 78 dB.
  const std::vector<BandSetting> truth = {
      {80, kGainCodeFlat + 60, 40}, {700, kGainCodeFlat - 45, 25}, {4000, kGainCodeFlat + 30, 60}};
  const Curve response = measure::BandsResponse(truth);
  Curve inverse{};
  for (int i = 0; i < kGridPoints; ++i) inverse[i] = -response[i];
  view->SelectChannel(1);
  ASSERT_TRUE(tools->LoadMeasurement(1, Write("right door.frd", RewText(78.0, inverse))));

  EqFromMeasurementDlg* dialog = tools->OpenEqDialog(1);
  ASSERT_NE(dialog, nullptr);
  dialog->ChooseTarget(EqFromMeasurementDlg::kTargetItemFlat);
  dialog->SetRange(20, 20000);
  ASSERT_TRUE(dialog->Result());
  const measure::AutoEqResult result = *dialog->Result();
  ASSERT_EQ(result.status, measure::AutoEqResult::Status::Fitted);
  EXPECT_LT(result.after.rms, 0.5);
  EXPECT_GT(result.before.rms, 1.0);
  // The dialog names the range it chose before the figures.
  EXPECT_EQ(dialog->ResultLines().front(), QStringLiteral("Range equalised: 20 Hz–20 kHz (pass band)"));
  EXPECT_TRUE(dialog->ResultLines()[1].startsWith(QStringLiteral("RMS deviation")));

  // The proposal is on the graph before anything is applied, and nothing was sent for it.
  const auto proposed = Find(graph()->OverlayCurves(), ShownCurve::Proposed);
  ASSERT_NE(proposed, nullptr);
  EXPECT_NEAR(proposed->db[NearestGridIndex(700)], 0.0, 0.5);
  EXPECT_EQ(BandsOf(1), measure::BandsOf(view->engine().Data().Output(2).Eq()));  // both still reset
  EXPECT_TRUE(testing::Writes(processor()).empty());

  QTest::mouseClick(dialog->ApplyButton(), Qt::LeftButton);
  EXPECT_TRUE(WaitUntil([&] { return tools->EqDialog() == nullptr; }, 2s));
  EXPECT_EQ(BandsOf(1), result.bands);
  EXPECT_TRUE(ProcessorHas(1, result.bands));
  // Applied, the prediction is what was proposed, and the proposal has left the graph.
  const auto curves = graph()->OverlayCurves();
  EXPECT_EQ(Find(curves, ShownCurve::Proposed), nullptr);
  EXPECT_NEAR(Find(curves, ShownCurve::Predicted)->db[NearestGridIndex(700)], 0.0, 0.5);
}

TEST_F(MeasureTest, TheDialogSaysWhereTheBoostLimitHoldsTheResultBack) {
  // A 14 dB hole at 120 Hz: a 3 dB boost limit cannot fill it.
  const Curve hole = measure::BandResponse({120, kGainCodeFlat - 140, 30});
  ASSERT_TRUE(tools->LoadMeasurement(0, Write("sub.txt", RewText(90.0, hole))));
  EqFromMeasurementDlg* dialog = tools->OpenEqDialog(0);
  ASSERT_NE(dialog, nullptr);
  dialog->ChooseTarget(EqFromMeasurementDlg::kTargetItemFlat);
  Type(dialog->BoostBox(), QStringLiteral("3"));
  EXPECT_DOUBLE_EQ(tools->Held().SettingsOf(0).maxBoostDb, 3.0);
  ASSERT_TRUE(dialog->Result());
  const auto& r = *dialog->Result();
  ASSERT_FALSE(r.boostLimited.empty());
  EXPECT_LE(r.boostLimited.front().loHz, 120);
  EXPECT_GE(r.boostLimited.front().hiHz, 120);
  const Curve boost = measure::BandsResponse(r.bands);
  EXPECT_LE(*std::max_element(boost.begin(), boost.end()), 3.05);
  EXPECT_TRUE(dialog->ResultLines().back().contains(QStringLiteral("boost limit of +3.0 dB")));

  // A range that is none is not taken; closing the dialog takes the proposal off the graph.
  const auto settings = tools->Held().SettingsOf(0);
  dialog->SetRange(500, 400);
  EXPECT_EQ(tools->Held().SettingsOf(0).loHz, settings.loHz);
  EXPECT_EQ(tools->Held().SettingsOf(0).hiHz, settings.hiHz);
  ASSERT_NE(Find(graph()->OverlayCurves(), ShownCurve::Proposed), nullptr);
  dialog->reject();
  EXPECT_EQ(Find(graph()->OverlayCurves(), ShownCurve::Proposed), nullptr);
}

TEST_F(MeasureTest, RewFiltersImportFromTheFileMenuReachesTheProcessorAndABadFileChangesNothing) {
  const std::string filters =
      "Filter Settings file\n\nEqualiser: Generic\n"
      "Filter  1: ON  PK       Fc   63.0 Hz  Gain  -5.0 dB  Q  4.000\n"
      "Filter  2: ON  PK       Fc  250.0 Hz  Gain   3.0 dB  Q  1.500\n"
      "Filter  3: ON  HS       Fc 8000.0 Hz  Gain  -2.0 dB\n";
  const QString good = Write("tune.txt", filters);
  const QString bad =
      Write("odd.txt", "Filter  1: ON  PK  Fc 100 Hz Gain 2 dB Q 1\nFilter  2: ON  PK  Fc 20,000 Hz Gain 2 dB Q 1\n");
  QString chosen;
  tools->Hooks().chooseFile = [&](MeasureFile, const QString&) { return std::optional<QString>(chosen); };

  const auto before = BandsOf(0);
  chosen = bad;
  view->RunMenuCommand(menu_cmd::kImportRewFilters);
  ASSERT_FALSE(editor->messages.isEmpty());
  EXPECT_TRUE(editor->messages.back().contains(QStringLiteral("line 2"))) << editor->messages.back().toStdString();
  EXPECT_TRUE(editor->messages.back().contains(QStringLiteral("\"20,000\"")));
  EXPECT_EQ(BandsOf(0), before);
  ASSERT_TRUE(testing::WaitForQuiet(view, processor()));
  EXPECT_TRUE(testing::Writes(processor()).empty());

  // With an input on the graph there is no channel to import into, and the user is told so.
  graph()->SetMode(CFStatic::Mode::MusicInput);
  const auto told = editor->messages.size();
  view->RunMenuCommand(menu_cmd::kImportRewFilters);
  ASSERT_EQ(editor->messages.size(), told + 1);
  EXPECT_TRUE(editor->messages.back().contains(QStringLiteral("graph shows an input")));
  graph()->SetMode(CFStatic::Mode::Output);

  chosen = good;
  view->RunMenuCommand(menu_cmd::kImportRewFilters);
  const auto parsed = measure::ParseRewFilters(filters, nullptr);
  const auto want = measure::ImportRewFilters(parsed->filters, OutputBandCentres(), before);
  EXPECT_EQ(BandsOf(0), want.bands);
  EXPECT_TRUE(editor->messages.back().startsWith(QStringLiteral("CH1: 3 REW filter(s)")));
  EXPECT_TRUE(editor->messages.back().contains(QStringLiteral("RMS %1 dB").arg(want.deviation.rms, 0, 'f', 2)));
  EXPECT_TRUE(ProcessorHas(0, want.bands));

  // The export writes the bands back as REW filters: one PK line per band in use.
  chosen = QString::fromStdString((dir / "out").string());
  view->RunMenuCommand(menu_cmd::kExportRewFilters);
  std::ifstream in(dir / "out.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto back = measure::ParseRewFilters(text, nullptr);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->filters.size(), static_cast<std::size_t>(std::count_if(want.bands.begin(), want.bands.end(),
                                                                         [](auto& b) { return !b.IsFlat(); })));

  // A channel in graphic EQ mode cannot take frequencies and widths: the import says so and
  // leaves it alone, as the EQ from measurement does.
  view->engine().Data().Edit([](CKTV_Data& d) { d.Output(2).SetEqMode(1); });
  view->SelectChannel(2);
  const auto graphic = BandsOf(2);
  chosen = good;
  view->RunMenuCommand(menu_cmd::kImportRewFilters);
  EXPECT_TRUE(editor->messages.back().contains(QStringLiteral("graphic EQ mode")));
  EXPECT_EQ(BandsOf(2), graphic);
  ASSERT_TRUE(tools->LoadMeasurement(2, Write("rear.txt", RewText(80.0, Curve{}))));
  EXPECT_EQ(tools->OpenEqDialog(2), nullptr);
}

#ifdef ZELTO_HAVE_ACOUSTICS
// An editor killed while it measured left the outputs muted and their mixes changed, with the
// record of how they were. The next start puts them back as soon as it has read the processor,
// without the panel being opened, and drops the record once the processor has them.
TEST(MeasureLeftover, ARunCutOffByAKillIsPutBackAtTheNextStart) {
  testing::StartedEditor editor(Language::English, true);
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  acoustics::RoutingSnapshot before;
  before.soundOn.fill(true);
  before.soundOn[2] = false;
  for (int ch = 0; ch < kOutputChannels; ++ch)
    before.mix[static_cast<std::size_t>(ch)][static_cast<std::size_t>(ch % 4)] = 60;
  // Written before the read-back is handled, as the killed editor's file is there at the start.
  acoustics::MeasurementGuard guard(view->MeasurementGuardPath());
  std::string error;
  ASSERT_TRUE(guard.Begin(before, &error)) << error;
  ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
  ASSERT_TRUE(WaitUntil([&] { return !guard.Pending(); }, 10s)) << "the record goes once the processor has it";
  EXPECT_EQ(acoustics::TakeRouting(view->engine()), before);
  ASSERT_FALSE(editor.messages.isEmpty());
  EXPECT_TRUE(editor.messages.back().contains(QStringLiteral("interrupted measurement")))
      << editor.messages.back().toStdString();
}
#endif

}  // namespace
}  // namespace zelto
