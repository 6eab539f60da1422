#include "measure/band_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/change_tracking.h"
#include "model/eq.h"

namespace zelto::measure {
namespace {

std::vector<int> OutputCentres() {
  const auto c = OutputBandCentres();
  return {c.begin(), c.end()};
}

/// A measurement sampled at the grid frequencies from 20 Hz to 20 kHz.
Measurement OnGridFrequencies(const std::array<double, kGridPoints>& db) {
  Measurement m;
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    if (grid[i] < 20) continue;
    m.hz.push_back(grid[i]);
    m.db.push_back(db[i]);
  }
  return m;
}

struct ImportCase {
  const char* name;
  const char* filters;
};

// Filter files as installers bring them: the goal is RMS <= 0.2 dB and largest <= 0.75 dB.
const std::vector<ImportCase> kImportCases = {
    {"one peak", "Filter 1: ON PK Fc 1000 Hz Gain 6.0 dB Q 2.000\n"},
    {"cuts of a car's bass",
     "Filter 1: ON PK Fc 63.0 Hz Gain -8.0 dB Q 4.000\n"
     "Filter 2: ON PK Fc 118 Hz Gain -5.5 dB Q 2.500\n"
     "Filter 3: ON PK Fc 250 Hz Gain -4.0 dB Q 1.500\n"
     "Filter 4: ON PK Fc 3150 Hz Gain -3.0 dB Q 0.700\n"},
    {"narrow and small",
     "Filter 1: ON PK Fc 1220 Hz Gain 1.3 dB Q 7.000\n"
     "Filter 2: ON PK Fc 4295 Hz Gain -1.2 dB Q 8.000\n"
     "Filter 3: ON PK Fc 9100 Hz Gain 1.2 dB Q 2.500\n"},
    {"wide",
     "Filter 1: ON PK Fc 200 Hz Gain 3.0 dB Q 0.500\n"
     "Filter 2: ON PK Fc 6000 Hz Gain -4.0 dB Q 0.300\n"},
    {"shelves",
     "Filter 1: ON LS Fc 100 Hz Gain 6.0 dB\n"
     "Filter 2: ON HS Fc 8000 Hz Gain -3.0 dB\n"},
    {"first-order shelves and corners",
     "Filter 1: ON LS 6dB Fc 150 Hz Gain 4.0 dB\n"
     "Filter 2: ON HSC Fc 5000 Hz Gain -2.0 dB Q 0.700\n"},
    {"a whole tuning",
     "Filter  1: ON  PK       Fc   45.0 Hz  Gain  -6.5 dB  Q  5.000\n"
     "Filter  2: ON  PK       Fc   87.0 Hz  Gain  -4.0 dB  Q  3.000\n"
     "Filter  3: ON  PK       Fc  160.0 Hz  Gain   2.5 dB  Q  2.000\n"
     "Filter  4: ON  PK       Fc  330.0 Hz  Gain  -3.5 dB  Q  4.000\n"
     "Filter  5: ON  PK       Fc  720.0 Hz  Gain   1.5 dB  Q  3.000\n"
     "Filter  6: ON  PK       Fc 1500.0 Hz  Gain  -2.0 dB  Q  2.500\n"
     "Filter  7: ON  PK       Fc 2900.0 Hz  Gain  -4.5 dB  Q  4.500\n"
     "Filter  8: ON  PK       Fc 5100.0 Hz  Gain   2.0 dB  Q  1.500\n"
     "Filter  9: ON  PK       Fc 8700.0 Hz  Gain  -2.5 dB  Q  3.000\n"
     "Filter 10: ON  HS       Fc 12000  Hz  Gain  -2.0 dB\n"
     "Filter 11: ON  LSC      Fc  70.0 Hz  Gain   4.0 dB  Q  0.700\n"},
};

TEST(RewImport, ReproducesTheCookbookResponseWithTheProcessorsBands) {
  for (const auto& c : kImportCases) {
    SCOPED_TRACE(c.name);
    const auto file = ParseRewFilters(c.filters, nullptr);
    ASSERT_TRUE(file.has_value());
    const ImportResult r = ImportRewFilters(file->filters, OutputCentres());
    ASSERT_EQ(r.bands.size(), 31u);
    EXPECT_LE(r.deviation.rms, 0.2);
    EXPECT_LE(r.deviation.max, 0.75);
    // The deviation reported is the one the processor's bands really have.
    const auto real = BandsResponse(r.bands);
    const auto cookbook = CookbookResponse(file->filters);
    double worst = 0;
    for (int i = 1; i < kGridPoints; ++i) worst = std::max(worst, std::abs(real[i] - cookbook[i]));
    EXPECT_NEAR(worst, r.deviation.max, 1e-9);
    for (const auto& b : r.bands) {
      EXPECT_GE(b.gainCode, 0);
      EXPECT_LE(b.gainCode, kGainCodeMax);
      EXPECT_GE(b.bandwidthIndex, kMinBandwidthIndex);
      EXPECT_LE(b.bandwidthIndex, kMaxBandwidthIndex);
    }
  }
}

TEST(RewImport, SlotsLeftFlatKeepTheirFrequencyAndWidth) {
  std::vector<BandSetting> current;
  for (int c : OutputCentres()) current.push_back({c + 1, 230, 40});
  const auto file = ParseRewFilters("Filter 1: ON PK Fc 1000 Hz Gain -6.0 dB Q 2.000\n", nullptr);
  const ImportResult r = ImportRewFilters(file->filters, OutputCentres(), current);
  int used = 0;
  for (std::size_t k = 0; k < r.bands.size(); ++k) {
    if (!r.bands[k].IsFlat()) {
      ++used;
      continue;
    }
    EXPECT_EQ(r.bands[k].hz, current[k].hz);
    EXPECT_EQ(r.bands[k].bandwidthIndex, 40);
  }
  EXPECT_GE(used, 1);
}

TEST(RewImport, ExportedBandsComeBackAlmostExactly) {
  const std::vector<BandSetting> bands = {{50, 120, 30}, {400, 250, 60}, {2500, 170, 20}, {10000, 230, 150}};
  const auto file = ParseRewFilters(RewFilterText(BandsForExport(bands), "x"), nullptr);
  ASSERT_TRUE(file.has_value());
  const ImportResult r = ImportRewFilters(file->filters, OutputCentres());
  EXPECT_LE(r.deviation.max, 0.06);
}

TEST(AssignToSlots, KeepsFrequencyOrderNearTheCentres) {
  const auto slots = AssignToSlots({{5000, 230, 20}, {63, 150, 10}}, OutputCentres());
  ASSERT_EQ(slots.size(), 31u);
  EXPECT_EQ(slots[5].hz, 63);     // the 63 Hz slot
  EXPECT_EQ(slots[24].hz, 5000);  // the 5 kHz slot
  EXPECT_TRUE(slots[0].IsFlat());
  EXPECT_EQ(slots[0].hz, 20);
}

AutoEqRequest RequestFor(const Measurement& m) {
  AutoEqRequest q;
  q.measured.measurement = m;
  q.currentBands.clear();
  for (int c : OutputCentres()) q.currentBands.push_back(FlatBand(c));
  q.centres = OutputCentres();
  q.target = FlatTarget();
  return q;
}

TEST(AutoEq, FindsTheInverseOfThreeBands) {
  const std::vector<BandSetting> truth = {{100, 160, 60}, {1000, 260, 80}, {5000, 230, 100}};
  auto inverse = BandsResponse(truth);
  for (double& v : inverse) v = 75 - v;  // measured at some level; the level is matched
  const AutoEqResult r = AutoEq(RequestFor(OnGridFrequencies(inverse)));
  ASSERT_EQ(r.status, AutoEqResult::Status::Fitted);
  EXPECT_GT(r.before.rms, 2.0);
  EXPECT_LE(r.after.rms, 0.3);
  // The bands found do what the three bands do, to within 0.3 dB.
  const auto found = BandsResponse(r.bands);
  const auto want = BandsResponse(truth);
  const GridRange range = RangeOf(20, 20000);
  double mean = 0;
  for (int i = range.first; i <= range.last; ++i) mean += found[i] - want[i];
  mean /= range.last - range.first + 1;
  for (int i = range.first; i <= range.last; ++i) EXPECT_NEAR(found[i] - want[i], mean, 0.3) << FrequencyGrid()[i];
  EXPECT_TRUE(r.boostLimited.empty());
}

TEST(AutoEq, NeverBoostsBeyondTheLimitAndSaysWhereItBinds) {
  // A 15 dB dip at 2 kHz; the limit is 6 dB.
  auto dip = BandResponse({2000, 50, 40});
  for (double& v : dip) v += 80;
  AutoEqRequest q = RequestFor(OnGridFrequencies(dip));
  q.maxBoostDb = 6.0;
  const AutoEqResult r = AutoEq(q);
  EXPECT_LE(r.after.rms, r.before.rms);
  for (const auto& b : r.bands) EXPECT_LE(b.GainDb(), 6.0 + 1e-9);
  const auto sum = BandsResponse(r.bands);
  EXPECT_LE(*std::max_element(sum.begin(), sum.end()), 6.0 + 1e-9);
  ASSERT_FALSE(r.boostLimited.empty());
  bool covers = false;
  for (const auto& h : r.boostLimited) covers |= h.loHz <= 2000 && h.hiHz >= 2000;
  EXPECT_TRUE(covers);
}

TEST(AutoEq, PredictsFromTheSettingsKeptWithTheMeasurement) {
  // Measured with a 6 dB cut at 500 Hz in place: with the cut gone the prediction rises there.
  ChangeTracking tracking{false};
  CKTVEQ eq(tracking);
  eq.Create31(30, 32, 9, 20, 20000);
  ChannelMeasurement cm;
  cm.measurement = OnGridFrequencies({});
  eq.Filter(14).SetBandwidthIndex(60);
  eq.Filter(14).SetGainCode(140);
  cm.keptResponse = ChannelResponseOf(eq);
  EXPECT_NEAR(cm.keptResponse[NearestGridIndex(500)], -6.0, 1e-6);
  eq.Filter(14).SetGainCode(kGainCodeFlat);
  const GridCurve p = cm.Predicted(ChannelResponseOf(eq));
  EXPECT_NEAR(p.db[NearestGridIndex(500)], 6.0, 1e-6);
  EXPECT_FALSE(p.has[0]);  // 19.7 Hz was not measured
  EXPECT_EQ(BandsOf(eq)[14], (BandSetting{500, kGainCodeFlat, 60}));
}

TEST(AutoEq, RangeOutsideTheMeasurementChangesNothing) {
  AutoEqRequest q = RequestFor(Measurement{{1000, 2000, 4000}, {0, 1, 0}});
  q.loHz = 20;
  q.hiHz = 200;
  const AutoEqResult r = AutoEq(q);
  EXPECT_EQ(r.status, AutoEqResult::Status::NoOverlap);
  EXPECT_EQ(r.bands, q.currentBands);
}

}  // namespace
}  // namespace zelto::measure
