#include "measure/channel_measurements.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelto::measure {
namespace {

using Curve = std::array<double, kGridPoints>;

/// A measurement at the grid frequencies from 20 Hz to 20 kHz: `level` plus `shape`.
Measurement Measured(double level, const Curve& shape = {}) {
  Measurement m;
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    if (grid[i] < 20) continue;
    m.hz.push_back(grid[i]);
    m.db.push_back(level + shape[i]);
  }
  return m;
}

Curve Peak(int hz, double db) { return BandResponse({hz, static_cast<int>(std::lround(db * 10)) + kGainCodeFlat, 30}); }

TEST(ChannelMeasurements, CurvesSitAtTheTargetsLevelAndThePredictionFollowsTheResponse) {
  ChannelMeasurements held;
  const Curve kept = Peak(1000, -6);  // the channel was measured with a 6 dB cut at 1 kHz
  held.Set(2, Measured(85.0), kept, "car.txt");
  ASSERT_TRUE(held.Has(2));
  EXPECT_FALSE(held.Has(1));
  EXPECT_EQ(held.PathOf(2), "car.txt");

  // Flat at 85 dB against the car target: the median difference over the range lifts the target.
  const GridRange all = RangeOf(20, 20000);
  const auto curves = held.CurvesOf(2, kept);
  ASSERT_TRUE(curves);
  const int at1k = NearestGridIndex(1000);
  const int at30 = NearestGridIndex(30);
  const int at12 = NearestGridIndex(12);
  EXPECT_NEAR(held.LevelOf(2), 85.0, 0.01);  // the car target is 0 dB over most of the range
  EXPECT_NEAR(curves->measured.db[at1k], 0.0, 0.01);
  EXPECT_NEAR(curves->target.db[at30], 7.0, 0.01);
  EXPECT_FALSE(curves->measured.has[at12]);  // below what was measured
  EXPECT_FALSE(curves->proposed);

  // With the kept response the prediction is the measurement; without the cut it rises by 6 dB.
  for (int i = all.first; i <= all.last; ++i) EXPECT_NEAR(curves->predicted.db[i], curves->measured.db[i], 1e-9);
  const auto flat = held.CurvesOf(2, Curve{});
  EXPECT_NEAR(flat->predicted.db[at1k] - flat->measured.db[at1k], 6.0, 0.05);

  // A proposal is drawn as the prediction of its bands with the crossovers given.
  const std::vector<BandSetting> proposal = {{1000, kGainCodeFlat + 30, 30}};
  held.SetProposal(2, proposal, Curve{});
  const auto proposed = held.CurvesOf(2, kept)->proposed;
  ASSERT_TRUE(proposed);
  EXPECT_NEAR(proposed->db[at1k] - curves->measured.db[at1k], 9.0, 0.05);
  EXPECT_FALSE(held.CurvesOf(1, kept));
  held.Clear(2);
  EXPECT_FALSE(held.ProposalChannel());
  EXPECT_FALSE(held.CurvesOf(2, kept));
}

TEST(ChannelMeasurements, TheRangeStartsAtThePassBandAndTheLevelFollowsTheSettings) {
  ChannelMeasurements held;
  Curve rising{};
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) rising[i] = 10 * std::log10(grid[i] / 1000.0);  // +10 dB a decade
  held.Set(0, Measured(80.0, rising), Curve{}, "tweeter.txt", 3000, 20000);
  EXPECT_EQ(held.SettingsOf(0).loHz, 3000);
  EXPECT_EQ(held.SettingsOf(0).hiHz, 20000);
  // The level is the median difference from the target over 3..20 kHz, not over the whole band:
  // the difference rises with frequency, so it is the one at the range's middle grid point.
  const auto middle = [](double lo, double hi) {
    const GridRange r = RangeOf(lo, hi);
    return r.first + (r.last - r.first + 1) / 2;
  };
  const Curve car = CarTarget();
  int m = middle(3000, 20000);
  EXPECT_NEAR(held.LevelOf(0), 80.0 + rising[m] - car[m], 0.05);

  AutoEqSettings s = held.SettingsOf(0);
  s.loHz = 100;
  s.hiHz = 1000;
  s.target = TargetChoice::Flat();
  held.SetSettings(0, s);
  m = middle(100, 1000);
  EXPECT_NEAR(held.LevelOf(0), 80.0 + rising[m], 0.05);
  // A measurement loaded again keeps the range the user chose.
  held.Set(0, Measured(80.0, rising), Curve{}, "tweeter.txt", 3000, 20000);
  EXPECT_EQ(held.SettingsOf(0).loHz, 100);

  // Only the offered smoothings are taken.
  held.SetSmoothing(5);
  EXPECT_EQ(held.Smoothing(), kDefaultDisplaySmoothing);
  held.SetSmoothing(0);
  EXPECT_EQ(held.Smoothing(), 0);
}

}  // namespace
}  // namespace zelto::measure
