// The automatic EQ on what an installer meets: crossed-over subwoofers and tweeters, nulls and
// notches, bands outside the range, broad dips, big peaks, speakers that roll off by themselves.

#include "measure/auto_eq.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "core/change_tracking.h"
#include "curves/filter_design.h"
#include "model/eq.h"

namespace zelto::measure {
namespace {

constexpr double kLevel = 85;  // dB SPL the car plays at

/// A bump of `db` at `hz`, `octaves` wide (the Gaussian's sigma in octaves).
double Bump(double f, double hz, double db, double octaves) {
  const double d = std::log2(f / hz) / octaves;
  return db * std::exp(-d * d / 2);
}

/// One output channel with its crossovers, measured through them.
class Channel {
 public:
  Channel() { eq_.Create31(30, 32, 9, kFilterMinHz, kFilterMaxHz); }

  Channel& HighPass(int hz) { return Crossover(eq_.HighPass(), hz); }
  Channel& LowPass(int hz) { return Crossover(eq_.LowPass(), hz); }
  Channel& Band(int k, int hz, double gainDb, int width = 40) {
    CFilter& f = eq_.Filter(k);
    f.SetFrequency(hz, false);
    f.SetBandwidthIndex(width);
    f.SetGainCode(static_cast<int>(std::lround(gainDb * 10)) + kGainCodeFlat);
    return *this;
  }

  /// The channel measured at 1/96 octave: the speaker (`driver`, dB against frequency) behind the
  /// channel's filters as they are now.
  ChannelMeasurement Measure(const std::function<double(double)>& driver) const {
    ChannelMeasurement m;
    const bool hp = eq_.HighPass().frequency() > kFilterMinHz, lp = eq_.LowPass().frequency() < kFilterMaxHz;
    const FilterSections hps =
        CrossoverDesign(true, eq_.HighPass().frequency(), crossover_family::kLinkwitzRiley, slope_code::k24);
    const FilterSections lps =
        CrossoverDesign(false, eq_.LowPass().frequency(), crossover_family::kLinkwitzRiley, slope_code::k24);
    const auto bands = BandsOf(eq_);
    for (double f = 15; f <= 22000; f *= std::exp2(1.0 / 96)) {
      double db = kLevel + driver(f);
      if (hp) db += ResponseDb(hps, f);
      if (lp) db += ResponseDb(lps, f);
      db += BandsResponseAt(bands, std::vector<double>{f}).front();
      m.measurement.hz.push_back(f);
      m.measurement.db.push_back(db);
    }
    m.keptResponse = ChannelResponseOf(eq_);
    return m;
  }

  AutoEqResult Eq(const std::function<double(double)>& driver, AutoEqOptions options = {}) const {
    return AutoEq(RequestForChannel(eq_, Measure(driver), options));
  }

  const CKTVEQ& eq() const { return eq_; }

 private:
  Channel& Crossover(CFilter& f, int hz) {
    f.SetCrossoverType(crossover_family::kLinkwitzRiley, false);
    f.SetSlope(slope_code::k24, false);
    f.SetFrequency(hz, false);
    return *this;
  }

  ChangeTracking tracking_{false};
  CKTVEQ eq_{tracking_};
};

double At(const std::array<double, kGridPoints>& curve, double hz) { return curve[NearestGridIndex(hz)]; }

/// The most the result's bands boost (or, with `lowest`, cut) between lo and hi Hz.
double Extreme(const AutoEqResult& r, double lo, double hi, bool lowest = false) {
  const auto sum = BandsResponse(r.bands);
  double v = lowest ? 1e9 : -1e9;
  for (int i = 0; i < kGridPoints; ++i)
    if (FrequencyGrid()[i] >= lo && FrequencyGrid()[i] <= hi) v = lowest ? std::min(v, sum[i]) : std::max(v, sum[i]);
  return v;
}

/// Whether a stretch of `list` lies within a sixth of an octave of `hz`.
bool Covers(const std::vector<HzRange>& list, double hz) {
  const double near = std::exp2(1.0 / 6);
  return std::any_of(list.begin(), list.end(),
                     [&](const HzRange& h) { return h.loHz <= hz * near && h.hiHz >= hz / near; });
}

TEST(AutoEq, CrossedOverChannelsAreEqualisedInTheirPassBandOnly) {
  // A subwoofer behind an 80 Hz low-pass with a cabin-gain hump, and a tweeter behind a 2 kHz
  // high-pass with a peak: both with the default range.
  struct Case {
    const char* name;
    int highPass;
    int lowPass;
    std::function<double(double)> driver;
    HzRange passBand;
  };
  const std::vector<Case> cases = {
      {"subwoofer", kFilterMinHz, 80, [](double f) { return Bump(f, 45, 6, 0.3) + Bump(f, 70, -3, 0.2); }, {20, 80}},
      {"tweeter",
       2000,
       kFilterMaxHz,
       [](double f) { return Bump(f, 5000, 4, 0.25) - 2 * std::log2(f / 2000); },
       {2000, 20000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Channel ch;
    if (c.highPass > kFilterMinHz) ch.HighPass(c.highPass);
    if (c.lowPass < kFilterMaxHz) ch.LowPass(c.lowPass);
    const AutoEqResult r = ch.Eq(c.driver);
    EXPECT_EQ(r.range, c.passBand);
    EXPECT_FALSE(r.rangeNarrowed);
    ASSERT_EQ(r.status, AutoEqResult::Status::Fitted);
    EXPECT_LT(r.after.rms, r.before.rms);
    // The pass band is never cut more than 1 dB below what the target (with the crossover's
    // slope) asks.
    const GridRange range = RangeOf(r.range.loHz, r.range.hiHz);
    const auto sum = BandsResponse(r.bands);
    for (int i = range.first; i <= range.last; ++i) {
      // Where the bands cut, the result stays within 1 dB of the target.
      if (sum[i] < -0.5) {
        EXPECT_GE(r.predicted.db[i] - r.reference[i] - r.after.offset, -1.0) << FrequencyGrid()[i];
      }
    }
    // Nothing is boosted in a stop band, nothing is cut deeper than the limit anywhere.
    EXPECT_LE(Extreme(r, 20, c.passBand.loHz * 0.99), 0.5 + 1e-9);
    EXPECT_LE(Extreme(r, c.passBand.hiHz * 1.01, 20000), 0.5 + 1e-9);
    EXPECT_GE(Extreme(r, 20, 20000, true), -kDefaultCutLimitDb - 1e-9);
  }
  // A range reaching into the stop band is narrowed, and says so.
  Channel sub;
  sub.LowPass(80);
  AutoEqOptions wide;
  wide.range = HzRange{20, 20000};
  const AutoEqResult r = sub.Eq([](double f) { return Bump(f, 45, 6, 0.3); }, wide);
  EXPECT_TRUE(r.rangeNarrowed);
  EXPECT_EQ(r.range, (HzRange{20, 80}));
}

TEST(AutoEq, KeepsTheCrossoversDesignedSlope) {
  // A flat tweeter behind an LR24 high-pass: the slope is designed, not a fault to flatten.
  Channel ch;
  ch.HighPass(2000);
  const AutoEqResult r = ch.Eq([](double) { return 0.0; });
  EXPECT_LE(Extreme(r, 2000 / std::sqrt(2.0), 2000 * std::sqrt(2.0)), 0.5);
  EXPECT_LT(r.before.rms, 0.1);
  EXPECT_LE(r.bandsUsed, 0);
}

TEST(AutoEq, LeavesNullsAndNarrowNotchesAlone) {
  struct Case {
    const char* name;
    double hz;
    double depthDb;
    double octaves;
  };
  // A -25 dB null 1/20 octave wide and a -15 dB notch 1/12 octave wide (widths at half depth).
  const std::vector<Case> cases = {{"null", 300, -25, 1.0 / 20 / 2.355}, {"notch", 1200, -15, 1.0 / 12 / 2.355}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Channel ch;
    const AutoEqResult r = ch.Eq([&](double f) { return Bump(f, c.hz, c.depthDb, c.octaves) + Bump(f, 3000, 3, 0.3); });
    EXPECT_LE(Extreme(r, c.hz / std::exp2(1.0 / 6), c.hz * std::exp2(1.0 / 6)), 1.0);
    ASSERT_EQ(r.dipsLeft.size(), 1u);
    EXPECT_NEAR(std::log2(r.dipsLeft[0].hz / c.hz), 0, 1.0 / 24);
    EXPECT_GT(r.dipsLeft[0].depthDb, -c.depthDb * 0.6);
    EXPECT_LT(r.dipsLeft[0].widthOctaves, 1.0 / 3);
  }
}

TEST(AutoEq, FillsABroadDipUpToTheSummedLimitAndCutsNoDeeperThanTheCutLimit) {
  Channel ch;
  AutoEqOptions o;
  o.maxBoostDb = 6;
  o.cutLimitDb = 12;
  const AutoEqResult r = ch.Eq([](double f) { return Bump(f, 1000, -10, 0.5) + Bump(f, 150, 20, 0.4); }, o);
  ASSERT_EQ(r.status, AutoEqResult::Status::Fitted);
  EXPECT_GE(Extreme(r, 900, 1100), 5.0);
  EXPECT_LE(Extreme(r, 20, 20000), 6.0 + 1e-9);
  EXPECT_TRUE(Covers(r.boostLimited, 1000));
  EXPECT_LE(Extreme(r, 120, 180, true), -10.0);
  EXPECT_GE(Extreme(r, 20, 20000, true), -12.0 - 1e-9);
  EXPECT_TRUE(Covers(r.cutLimited, 150));
  EXPECT_TRUE(r.dipsLeft.empty());
}

TEST(AutoEq, LeavesBandsOutsideTheRangeExactlyAsTheyWere) {
  Channel ch;
  ch.Band(2, 33, 6).Band(4, 40, -6, 30).Band(29, 16000, 3).Band(15, 600, -2);
  AutoEqOptions o;
  o.range = HzRange{200, 5000};
  const AutoEqResult r = ch.Eq([](double f) { return Bump(f, 1000, 5, 0.3); }, o);
  ASSERT_EQ(r.status, AutoEqResult::Status::Fitted);
  const auto before = BandsOf(ch.eq());
  for (int k : {2, 4, 29}) EXPECT_EQ(r.bands[k], before[k]) << "band " << k + 1;
  // In the range the old band is free to go: the fit cuts the 1 kHz peak.
  EXPECT_LE(Extreme(r, 900, 1100, true), -3.0);
}

TEST(AutoEq, StopsAtTheFlatnessGoalWithFewDistinctBands) {
  Channel ch;
  const AutoEqResult r = ch.Eq([](double f) {
    return Bump(f, 80, 5, 0.3) + Bump(f, 400, -4, 0.6) + Bump(f, 2500, 3, 0.4) + 0.3 * std::sin(std::log2(f) * 11);
  });
  ASSERT_EQ(r.status, AutoEqResult::Status::Fitted);
  EXPECT_LE(r.bandsUsed, 10);
  std::vector<int> places;
  for (const auto& b : r.bands) {
    if (b.IsFlat()) continue;
    EXPECT_GE(std::abs(b.GainDb()), kDefaultFlatnessDb / 2) << b.hz;
    places.push_back(NearestGridIndex(b.hz));
  }
  std::sort(places.begin(), places.end());
  for (std::size_t k = 1; k < places.size(); ++k) EXPECT_GE(places[k] - places[k - 1], 2);
  // Ripple within the goal alone asks for nothing.
  const AutoEqResult calm = Channel().Eq([](double f) { return 0.3 * std::sin(std::log2(f) * 11); });
  EXPECT_EQ(calm.bandsUsed, 0);
}

TEST(AutoEq, BoostsNothingBelowTheSpeakersOwnRollOff) {
  // A door woofer rolling off below 70 Hz by itself, with a dip at 200 Hz worth filling.
  const auto woofer = [](double f) {
    const double x = f / 70;
    return -10 * std::log10(1 + 1 / (x * x * x * x)) + Bump(f, 200, -6, 0.4);
  };
  Channel ch;
  const AutoEqResult r = ch.Eq(woofer);
  EXPECT_TRUE(r.lowCutMeasured);
  EXPECT_NEAR(std::log2(r.lowCutHz / 50), 0, 0.5);
  EXPECT_LE(Extreme(r, 20, r.lowCutHz * 0.95), 0.1 + 1e-9);  // a skirt, no boost
  EXPECT_GE(Extreme(r, 180, 220), 2.0);
  AutoEqOptions o;
  o.lowCutHz = 250;
  const AutoEqResult given = ch.Eq(woofer, o);
  EXPECT_FALSE(given.lowCutMeasured);
  EXPECT_LE(Extreme(given, 20, 240), 0.1 + 1e-9);
}

TEST(AutoEq, FindsTheInverseOfThreeBands) {
  const std::vector<BandSetting> truth = {{100, 160, 60}, {1000, 260, 80}, {5000, 230, 100}};
  const auto inverse = [&](double f) { return -BandsResponseAt(truth, std::vector<double>{f}).front(); };
  AutoEqOptions o;
  o.flatnessDb = 0.25;
  const AutoEqResult r = Channel().Eq(inverse, o);
  ASSERT_EQ(r.status, AutoEqResult::Status::Fitted);
  EXPECT_GT(r.before.rms, 2.0);
  EXPECT_LE(r.after.rms, 0.3);
  const auto found = BandsResponse(r.bands);
  const auto want = BandsResponse(truth);
  // The same shape, whatever the level the fit settled at.
  const GridRange all = RangeOf(20, 20000);
  double mean = 0;
  for (int i = all.first; i <= all.last; ++i) mean += found[i] - want[i];
  mean /= all.last - all.first + 1;
  for (double hz : {100.0, 1000.0, 5000.0}) EXPECT_NEAR(At(found, hz) - mean, At(want, hz), 0.6) << hz;
}

TEST(AutoEq, PredictsFromTheSettingsKeptWithTheMeasurement) {
  // Measured with a 6 dB cut at 500 Hz in place: with the cut gone the prediction rises there.
  ChangeTracking tracking{false};
  CKTVEQ eq(tracking);
  eq.Create31(30, 32, 9, 20, 20000);
  ChannelMeasurement cm;
  for (double f = 20; f <= 20000; f *= 2) {
    cm.measurement.hz.push_back(f);
    cm.measurement.db.push_back(0);
  }
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
  Channel ch;
  AutoEqRequest q = RequestForChannel(ch.eq(), {Measurement{{1000, 2000, 4000}, {0, 1, 0}}, {}}, {});
  q.range = HzRange{20, 200};
  const AutoEqResult r = AutoEq(q);
  EXPECT_EQ(r.status, AutoEqResult::Status::NoOverlap);
  EXPECT_EQ(r.bands, q.currentBands);
}

}  // namespace
}  // namespace zelto::measure
