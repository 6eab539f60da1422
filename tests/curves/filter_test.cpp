#include "curves/filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "core/change_tracking.h"
#include "core/encodings.h"

namespace zelto {
namespace {

// Expected responses are derived in the analogue domain: every section of these designs is the
// bilinear transform of an analogue prototype pre-warped at the design angle, so at a grid angle w
// the digital response equals the prototype's at W = tan(w / 2) / tan(w0 / 2). That is a different
// path from the filter's own evaluation of biquad coefficients on the unit circle.
constexpr double kGridAnglePerHz = 6.2831852 / 96000.0;
constexpr double kDesignAnglePerHz = 6.544985e-05;

double Warped(double hz, double designHz) {
  return std::tan(kGridAnglePerHz * hz / 2) / std::tan(kDesignAnglePerHz * designHz / 2);
}
double Db(double magnitude) { return 20 * std::log10(magnitude); }

CFilter Crossover(int type, int family, int slope, int hz) {
  CFilter f;
  f.SetIsEqBand(false);
  f.SetType(type);
  f.SetCrossoverType(family, false);
  f.SetSlope(slope, false);
  f.SetFrequency(hz, false);
  return f;
}

CFilter Band(int type, int hz, double gainDb, int bandwidthIndex = 95, int slope = 0) {
  CFilter f;
  f.SetType(type);
  f.SetSlope(slope, false);
  f.SetFrequency(hz, false);
  f.SetBandwidthIndex(bandwidthIndex);
  f.SetGainCode(static_cast<int>(std::lround(gainDb * 10)) + kGainCodeFlat);
  return f;
}

const int kGrid1000 = 136;

// Level at the corner (a grid point, 1000 Hz) for every family and slope, from the analogue
// prototypes with the tabled section values: second-order sections give 1 / (2 d) there,
// first-order sections 1 / sqrt(1 + d^2); Bessel moves its corner by the tabled divisor.
TEST(CrossoverResponse, LevelAtTheCornerForEveryFamilyAndSlope) {
  struct Case {
    int slope;
    double hp[3];  // Linkwitz-Riley, Bessel, Butterworth
    double lp[3];
  };
  const Case cases[] = {
      {0, {-6.020600, -1.386610, -2.974834}, {-6.020599, -3.011287, -2.974832}},
      {1, {-5.985134, -2.833099, -3.010301}, {-5.985132, -3.011886, -3.010299}},
      {2, {-5.949667, -2.840216, -3.006700}, {-5.949665, -2.961604, -3.006698}},
      {3, {-6.747169, -2.935018, -2.972270}, {-6.747166, -3.010684, -2.972267}},
      {4, {-6.020602, -3.190544, -2.943622}, {-6.020598, -3.010587, -2.943618}},
      {5, {-6.652705, -2.542391, -3.097598}, {-6.652701, -3.009781, -3.097594}},
      {7, {-5.620059, -3.026106, -3.035924}, {-5.620055, -3.012297, -3.035920}},
  };
  for (const auto& c : cases) {
    for (int family = 0; family < 3; ++family) {
      const CFilter hp = Crossover(filter_type::kHighPass, family, c.slope, 1000);
      const CFilter lp = Crossover(filter_type::kLowPass, family, c.slope, 1000);
      EXPECT_NEAR(hp.response()[kGrid1000], c.hp[family], 2e-5)
          << "high-pass family " << family << " slope " << c.slope;
      EXPECT_NEAR(lp.response()[kGrid1000], c.lp[family], 2e-5) << "low-pass family " << family << " slope " << c.slope;
    }
  }
}

struct Prototype {
  bool bessel;  // Bessel low-pass: (p, q) sections
  double divisor;
  std::vector<double> d;
  std::vector<std::pair<double, double>> pq;
};

// Analogue magnitude of a crossover: odd slopes start with a first-order section from d1.
double PrototypeDb(const Prototype& p, bool highPass, bool oddOrder, double w) {
  double m = 1;
  if (p.bessel) {
    for (auto [pp, q] : p.pq) m /= std::hypot(1 - q * w * w, pp * w);
    return Db(m);
  }
  for (std::size_t k = 0; k < p.d.size(); ++k) {
    const double d = p.d[k];
    if (k == 0 && oddOrder) {
      m *= highPass ? w / std::hypot(w, d) : 1 / std::hypot(1, d * w);
    } else {
      const double den = std::hypot(1 - w * w, 2 * d * w);
      m *= highPass ? w * w / den : 1 / den;
    }
  }
  return Db(m);
}

TEST(CrossoverResponse, WholeCurveFollowsTheAnaloguePrototype) {
  struct Case {
    int type;
    int family;
    int slope;
    Prototype proto;
  };
  const Case cases[] = {
      {filter_type::kHighPass, 0, 5, {false, 1.0, {1.0, 0.453134315, 0.92592592593, 0.453134315}, {}}},
      {filter_type::kLowPass, 0, 7, {false, 1.0, {0.92592592593, 0.373134315, 0.92592592593, 0.373134315}, {}}},
      {filter_type::kHighPass, 2, 3, {false, 1.0, {1.0, 0.8064616129, 0.3086417953}, {}}},
      {filter_type::kLowPass, 2, 1, {false, 1.0, {1.0, 0.5}, {}}},
      {filter_type::kHighPass, 1, 7, {false, 1.679120141, {0.98039216, 0.89285714, 0.70422535, 0.40650406}, {}}},
      {filter_type::kHighPass, 1, 1, {false, 1.2854981442, {0.756, 0.72463768}, {}}},
      {filter_type::kLowPass, 1, 3, {true, 1.0, {}, {{0.6656, 0}, {1.1402, 0.4128}, {0.6216, 0.3245}}}},
      {filter_type::kLowPass,
       1,
       7,
       {true,
        3.17961723751,
        {},
        {{0.117235677, 0.02064747},
         {0.226516664, 0.0259273886},
         {0.3067559, 0.0294683265},
         {0.3494916166, 0.031272257}}}},
  };
  const auto& grid = FrequencyGrid();
  for (const auto& c : cases) {
    for (int hz : {63, 2500, 15000}) {
      const CFilter f = Crossover(c.type, c.family, c.slope, hz);
      const bool odd = c.slope == 1 || c.slope == 3 || c.slope == 5;
      for (int i = 0; i < kGridPoints; i += 4) {
        const double w = Warped(grid[i], hz / c.proto.divisor);
        const double want = PrototypeDb(c.proto, c.type == filter_type::kHighPass, odd, w);
        // Deep in the stop band the digital sum loses relative accuracy only far below what the
        // graph shows.
        EXPECT_NEAR(f.response()[i], want, 1e-7 * std::max(1.0, std::fabs(want)))
            << "type " << c.type << " family " << c.family << " slope " << c.slope << " at " << hz << " Hz, " << grid[i]
            << " Hz";
      }
    }
  }
}

TEST(CrossoverResponse, SwitchedOffCrossoversAreFlat) {
  struct Case {
    int type;
    int hz;
    int slope;
  };
  const Case cases[] = {
      {filter_type::kHighPass, 20, 2}, {filter_type::kLowPass, 20000, 2}, {filter_type::kHighPass, 500, 6},
      {filter_type::kLowPass, 500, 6}, {filter_type::kHighPass, 20, 7},   {filter_type::kLowPass, 20000, 0},
  };
  for (const auto& c : cases) {
    for (int family = 0; family < 3; ++family) {
      const CFilter f = Crossover(c.type, family, c.slope, c.hz);
      for (double v : f.response()) ASSERT_EQ(v, 0.0) << "type " << c.type << " " << c.hz << " Hz slope " << c.slope;
    }
  }
  // 21 Hz is not off.
  EXPECT_LT(Crossover(filter_type::kHighPass, 2, 2, 21).response()[0], -1.0);
}

TEST(CrossoverResponse, RestrictedSlopesOfferOnlyTwelveAndTwentyFour) {
  CFilter restricted = Crossover(filter_type::kLowPass, 0, 1, 800);
  restricted.SetRestrictedSlopes(true);
  restricted.Update();
  const CFilter full24 = Crossover(filter_type::kLowPass, 0, 2, 800);
  const CFilter full18 = Crossover(filter_type::kLowPass, 0, 1, 800);
  EXPECT_EQ(restricted.response(), full24.response());
  EXPECT_NE(full18.response(), full24.response());
  EXPECT_EQ(restricted.CrossoverSlopeText(), "24dB/Oct");
  EXPECT_EQ(full18.CrossoverSlopeText(), "18dB/Oct");
  EXPECT_EQ(restricted.EffectiveSlope(), 2);
  restricted.SetSlope(0, false);
  EXPECT_EQ(restricted.CrossoverSlopeText(), "12dB/Oct");
}

// Cookbook peaking band: H(s) = (s^2 + s A/Q + 1) / (s^2 + s/(A Q) + 1) with the band's
// sin(w0) / (2 Q) = sin(w0) sinh(0.69314718 * bandwidth * w0 / sin(w0)).
double PeakingDb(double centreHz, double gainDb, double octaves, double hz) {
  const double w0 = kDesignAnglePerHz * centreHz;
  const double alpha = std::sin(w0) * std::sinh(0.69314718 * octaves * w0 / std::sin(w0));
  const double q = std::sin(w0) / (2 * alpha);
  const double a = std::pow(10.0, gainDb / 40);
  const double w = Warped(hz, centreHz);
  const double re = 1 - w * w;
  return 10 * std::log10((re * re + std::pow(w * a / q, 2)) / (re * re + std::pow(w / (a * q), 2)));
}

TEST(PeakingResponse, CentreSnapsToTheGridAndReachesTheGain) {
  const auto& grid = FrequencyGrid();
  for (double gain : {3.5, -12.0, 20.0}) {
    const CFilter f = Band(filter_type::kPeaking, 1010, gain);  // computed at 1000 Hz
    EXPECT_NEAR(f.response()[kGrid1000], gain, 1e-9);
    for (int i = 0; i < kGridPoints; ++i) {
      EXPECT_NEAR(f.response()[i], PeakingDb(1000, gain, 1.0, grid[i]), 1e-9) << grid[i];
      if (i != kGrid1000) {
        EXPECT_LT(std::fabs(f.response()[i]), std::fabs(gain));
      }
    }
  }
  // A cut is the exact mirror of the boost.
  const CFilter up = Band(filter_type::kPeaking, 3000, 7.5, 40);
  const CFilter down = Band(filter_type::kPeaking, 3000, -7.5, 40);
  for (int i = 0; i < kGridPoints; ++i) EXPECT_NEAR(up.response()[i], -down.response()[i], 1e-9);
}

TEST(PeakingResponse, FlatOrBypassedBandsAddNothing) {
  CFilter f = Band(filter_type::kPeaking, 1000, 6.0);
  f.SetFlat(true);
  for (double v : f.response()) ASSERT_EQ(v, 0.0);
  EXPECT_EQ(f.gainCode(), 200);
  EXPECT_EQ(f.GainText(), "0.0dB");
  f.SetFlat(false);
  EXPECT_NEAR(f.response()[kGrid1000], 6.0, 1e-9);
  EXPECT_EQ(f.gainCode(), 260);
  f.SetBypass(true);
  for (double v : f.response()) ASSERT_EQ(v, 0.0);
  f.SetBypass(false);
  EXPECT_NEAR(f.response()[kGrid1000], 6.0, 1e-9);
}

// Cookbook shelves with 1/Q = sqrt((A + 1/A)(1/S - 1) + 2), analogue form:
// low  H(s) = A (s^2 + s sqrt(A)/Q + A) / (A s^2 + s sqrt(A)/Q + 1),
// high H(s) = A (A s^2 + s sqrt(A)/Q + 1) / (s^2 + s sqrt(A)/Q + A).
double ShelfDb(bool high, double designHz, double s, double gainDb, double hz) {
  const double a = std::pow(10.0, gainDb / 40);
  const double invQ = std::sqrt((a + 1 / a) * (1 / s - 1) + 2);
  const double w = Warped(hz, designHz);
  const double mid = w * std::sqrt(a) * invQ;
  auto mag2 = [&](double cs2, double c0) { return std::pow(c0 - cs2 * w * w, 2) + mid * mid; };
  const double ratio = high ? mag2(a, 1) / mag2(1, a) : mag2(1, a) / mag2(a, 1);
  return 20 * std::log10(a) + 10 * std::log10(ratio);
}

TEST(ShelfResponse, FactorAndSlopeTable) {
  struct Case {
    int type;
    int slope;
    double factor;
    double s;
  };
  const Case cases[] = {
      {filter_type::kHighShelf, 0, 0.4545454546, 0.5},
      {filter_type::kHighShelf, 1, 0.76923076923, 1.3},
      {filter_type::kLowShelf, 0, 2.0, 0.5},
      {filter_type::kLowShelf, 1, 1.2727272727, 1.3},
  };
  const auto& grid = FrequencyGrid();
  for (const auto& c : cases) {
    for (int hz : {1010, 250}) {  // not snapped to the grid
      const CFilter f = Band(c.type, hz, 9.0, 15, c.slope);
      for (int i = 0; i < kGridPoints; ++i) {
        const double want = ShelfDb(c.type == filter_type::kHighShelf, hz * c.factor, c.s, 9.0, grid[i]);
        EXPECT_NEAR(f.response()[i], want, 1e-9) << c.type << "/" << c.slope << " at " << hz << " Hz, " << grid[i];
      }
    }
  }
  // At the design angle a shelf is halfway in dB: a low shelf "6dB/Oct" at 500 Hz has it at 1000 Hz.
  EXPECT_NEAR(Band(filter_type::kLowShelf, 500, -8.0, 15, 0).response()[kGrid1000], -4.0, 1e-5);
  EXPECT_NEAR(Band(filter_type::kLowShelf, 500, 8.0, 15, 0).response()[0], 8.0, 0.05);
  EXPECT_NEAR(Band(filter_type::kHighShelf, 2200, 8.0, 15, 0).response()[kGrid1000], 4.0, 1e-5);
  // A 0 dB shelf is the unity section even when not marked flat.
  CFilter zero = Band(filter_type::kLowShelf, 500, 0.0);
  for (double v : zero.response()) ASSERT_EQ(v, 0.0);
}

TEST(Bandwidth, IndexSettingAndQ) {
  CFilter f;
  f.SetBandwidthIndex(2);
  EXPECT_DOUBLE_EQ(f.bandwidth(), 0.09);
  EXPECT_EQ(f.BandwidthText(), "0.09Oct");
  f.SetBandwidthIndex(95);
  EXPECT_DOUBLE_EQ(f.bandwidth(), 1.0);
  EXPECT_EQ(f.bandwidthIndex(), 95);
  EXPECT_EQ(f.QText(), "1.414");
  f.SetBandwidthIndex(0);
  EXPECT_EQ(f.bandwidthIndex(), 4);
  f.SetBandwidthIndex(295);
  EXPECT_DOUBLE_EQ(f.bandwidth(), 3.0);
  EXPECT_EQ(f.bandwidthIndex(), 295);
  EXPECT_EQ(f.QText(), "0.404");
}

TEST(SentFrequency, RisesAnOctaveAtATimeWhileTracked) {
  ChangeTracking tracking(true);
  CFilter f(tracking);
  f.SetFrequency(100, false);
  EXPECT_EQ(f.sentFrequency(), 100);
  EXPECT_FALSE(f.pending());

  f.SetFrequency(1000, true);
  EXPECT_EQ(f.frequency(), 1000);
  EXPECT_EQ(f.sentFrequency(), 100);
  EXPECT_TRUE(f.pending());
  std::vector<int> steps;
  for (int i = 0; i < 10 && f.sentFrequency() != f.frequency(); ++i) {
    f.StepSentFrequency(false);
    steps.push_back(f.sentFrequency());
    EXPECT_TRUE(f.pending());
  }
  EXPECT_EQ(steps, (std::vector<int>{200, 400, 800, 1000}));
  f.StepSentFrequency(false);
  EXPECT_FALSE(f.pending());

  // Falls and rises of less than an octave go at once.
  f.SetFrequency(100, true);
  EXPECT_EQ(f.sentFrequency(), 100);
  f.SetFrequency(199, true);
  EXPECT_EQ(f.sentFrequency(), 199);

  f.SetFrequency(700, false);
  f.SetFrequency(1600, true);  // 1600 div 700 is 2: an octave step first
  EXPECT_EQ(f.sentFrequency(), 700);
  f.StepSentFrequency(false);
  EXPECT_EQ(f.sentFrequency(), 1400);
  f.StepSentFrequency(false);
  EXPECT_EQ(f.sentFrequency(), 1600);

  // A low-pass starts sending from 20 kHz and halves its way down to its frequency.
  CFilter lp(tracking);
  lp.SetIsEqBand(false);
  lp.SetFrequency(1000, false);
  lp.SetType(filter_type::kLowPass);
  EXPECT_EQ(lp.sentFrequency(), 20000);
  steps.clear();
  while (lp.sentFrequency() != lp.frequency() && steps.size() < 10) {
    lp.StepSentFrequency(false);
    steps.push_back(lp.sentFrequency());
  }
  EXPECT_EQ(steps, (std::vector<int>{10000, 5000, 2500, 1250, 1000}));
}

TEST(SentFrequency, UntrackedBandsAndCrossovers) {
  ChangeTracking tracking(false);
  CFilter band(tracking);
  band.SetFrequency(100, false);
  band.SetFrequency(5000, true);
  EXPECT_EQ(band.sentFrequency(), 5000);
  EXPECT_FALSE(band.pending());

  tracking.Set(true);
  CFilter hp(tracking);
  hp.SetIsEqBand(false);
  hp.SetType(filter_type::kHighPass);
  hp.SetFrequency(80, false);
  EXPECT_EQ(hp.sentFrequency(), 80);
  hp.SetFrequency(500, true);  // sent an octave at a time
  EXPECT_EQ(hp.sentFrequency(), 80);
  EXPECT_TRUE(hp.pending());

  // A sent frequency of zero (never set) is taken as 20 Hz rather than divided by.
  CFilter lp(tracking);
  lp.SetIsEqBand(false);
  lp.SetFrequency(0, false);
  lp.SetFrequency(30, true);
  EXPECT_EQ(lp.sentFrequency(), 30);
  lp.SetFrequency(0, false);
  lp.SetFrequency(300, true);
  EXPECT_EQ(lp.sentFrequency(), 20);
  lp.StepSentFrequency(false);
  EXPECT_EQ(lp.sentFrequency(), 40);

  lp.SetType(filter_type::kLowPass);
  EXPECT_EQ(lp.sentFrequency(), 20000);
}

TEST(Edits, PendingTakesTheSwitch) {
  ChangeTracking tracking(false);
  CFilter f(tracking);
  f.SetGainCode(230);
  EXPECT_FALSE(f.pending());
  tracking.Set(true);
  f.SetGainCode(240);
  EXPECT_TRUE(f.pending());
  f.SetPending(false);
  f.SetSlope(1, false);
  f.SetCrossoverType(0, false);
  EXPECT_FALSE(f.pending());
  f.SetSlope(1, true);
  EXPECT_TRUE(f.pending());
  f.SetPending(false);
  f.SetBandwidthIndex(30);
  EXPECT_TRUE(f.pending());
  CFilter untracked;  // no switch: never pending
  untracked.SetGainCode(260);
  EXPECT_FALSE(untracked.pending());
}

TEST(Edits, FlatAndBypassSwitches) {
  // A 0 dB band stays off: switching it on does nothing.
  CFilter zero = Band(filter_type::kPeaking, 1000, 0.0);
  EXPECT_TRUE(zero.flat());
  zero.SetFlat(false);
  EXPECT_TRUE(zero.flat());
  EXPECT_EQ(zero.GainText(), "0.0dB");

  CFilter f = Band(filter_type::kPeaking, 1000, -4.0);
  EXPECT_FALSE(f.flat());
  EXPECT_EQ(f.GainText(), "-4.0dB");
  // The channel-wide bypass keeps the band's own switch underneath.
  f.SetFlat(true);
  f.SetBypass(true);
  EXPECT_TRUE(f.IsFlat());
  f.SetBypass(false);
  EXPECT_FALSE(f.bypass());
  EXPECT_TRUE(f.flat());
  // Switching a bypassed band on clears the bypass and switches it on.
  f.SetBypass(true);
  f.SetFlat(false);
  EXPECT_FALSE(f.bypass());
  EXPECT_FALSE(f.flat());
  EXPECT_NEAR(f.response()[kGrid1000], -4.0, 1e-9);
  // A non-zero gain switches a band on and lifts its bypass; a zero gain switches it off.
  f.SetBypass(true);
  f.SetGainCode(250);
  EXPECT_FALSE(f.IsFlat());
  f.SetGainCode(200);
  EXPECT_TRUE(f.flat());
  EXPECT_EQ(f.gainCode(), 200);
  f.SetGainCode(900);  // limited to +20 dB
  EXPECT_DOUBLE_EQ(f.gain(), 20.0);
  EXPECT_EQ(f.gainCode(), 400);

  f.ResetBand(630);
  EXPECT_EQ(f.frequency(), 630);
  EXPECT_EQ(f.sentFrequency(), 630);
  EXPECT_DOUBLE_EQ(f.bandwidth(), 0.2);
  EXPECT_TRUE(f.flat());
  for (double v : f.response()) ASSERT_EQ(v, 0.0);
}

TEST(Edits, CopyValuesKeepsAFixedCrossoverFrequency) {
  const CFilter src = Crossover(filter_type::kLowPass, 1, 4, 3000);
  CFilter dst = Crossover(filter_type::kLowPass, 2, 0, 8000);
  dst.SetCrossoverRange(kCrossoverRangeFixed);
  dst.CopyValues(src);
  EXPECT_EQ(dst.frequency(), 8000);
  EXPECT_EQ(dst.slope(), 4);
  EXPECT_EQ(dst.crossoverType(), 1);
  CFilter free = Crossover(filter_type::kLowPass, 2, 0, 8000);
  free.SetCrossoverRange(8);
  free.CopyValues(src);
  EXPECT_EQ(free.frequency(), 3000);
  EXPECT_EQ(free.sentFrequency(), 3000);
  EXPECT_EQ(free.response(), src.response());
}

TEST(Texts, BothLanguagesAndLabels) {
  CFilter peq = Band(filter_type::kPeaking, 1000, 3.5);
  EXPECT_EQ(peq.GetLabel(), "G:3.5-F:1000-Q:1.414");
  EXPECT_EQ(peq.FrequencyText(), "1000Hz");
  EXPECT_EQ(peq.EqKindText(Language::English), "PEQ");
  EXPECT_EQ(peq.EqKindText(Language::Chinese), "参量均衡");
  peq.SetGraphicEq(true);
  EXPECT_EQ(peq.EqKindText(Language::English), "GEQ");
  EXPECT_EQ(peq.EqKindText(Language::Chinese), "图示均衡");
  peq.SetFlat(true);
  EXPECT_EQ(peq.GetLabel(), "G:0.0-F:1000-Q:1.414");
  peq.SetBandwidthIndex(0);
  EXPECT_EQ(peq.GetLabel(), "G:0.0-F:1000-Q:16.03");  // Q above 10 with two decimals

  const CFilter lo = Band(filter_type::kLowShelf, 100, -3.0, 15, 0);
  EXPECT_EQ(lo.GetLabel(), "Lo 100-6dB/Oct G-3.0");
  EXPECT_EQ(lo.EqKindText(Language::English), "Lo_Shf");
  EXPECT_EQ(lo.EqKindText(Language::Chinese), "低架");
  const CFilter hi = Band(filter_type::kHighShelf, 8000, 2.5, 15, 1);
  EXPECT_EQ(hi.GetLabel(), "Hi F:8000-12dB/Oct G:2.5");
  EXPECT_EQ(hi.EqKindText(Language::Chinese), "高架");

  const CFilter hp = Crossover(filter_type::kHighPass, 0, 6, 80);
  EXPECT_EQ(hp.GetLabel(), "F:80");
  EXPECT_EQ(hp.CrossoverSlopeText(), "OFF");
  EXPECT_EQ(hp.CrossoverTypeText(Language::English), "Link_Ril");
  EXPECT_EQ(hp.CrossoverTypeText(Language::Chinese), "宁克");
  EXPECT_EQ(Crossover(filter_type::kLowPass, 1, 7, 80).CrossoverTypeText(Language::Chinese), "贝塞尔");
  EXPECT_EQ(Crossover(filter_type::kLowPass, 2, 7, 80).CrossoverTypeText(Language::Chinese), "巴特沃斯");
  EXPECT_EQ(Crossover(filter_type::kLowPass, 2, 7, 80).CrossoverSlopeText(), "48dB/Oct");
  EXPECT_EQ(Crossover(filter_type::kLowPass, 3, 7, 80).CrossoverTypeText(Language::English), "");
}

TEST(Archive, FortyEightBytesWithBypassBeforeFlat) {
  CFilter f = Band(filter_type::kHighShelf, 0x1234, 2.5, 15, 1);
  f.SetDeviceIndex(30);
  f.SetBypass(true);
  const auto bytes = f.Save();
  ASSERT_EQ(bytes.size(), 48u);
  const std::array<std::uint8_t, 48> want = {
      0x02, 0x00, 0x00, 0x00,                          // type
      0x34, 0x12, 0x00, 0x00,                          // frequency
      0x34, 0x12, 0x00, 0x00,                          // sent frequency
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40,  // gain 2.5
      0x01, 0x00, 0x00, 0x00,                          // bypass
      0x00, 0x00, 0x00, 0x00,                          // flat
      0x9a, 0x99, 0x99, 0x99, 0x99, 0x99, 0xc9, 0x3f,  // bandwidth 0.2
      0x02, 0x00, 0x00, 0x00,                          // crossover type
      0x01, 0x00, 0x00, 0x00,                          // slope
      0x1e, 0x00, 0x00, 0x00,                          // device index
  };
  EXPECT_EQ(bytes, want);

  CFilter g;
  g.SetGraphSize({0, 0, 900, 400});
  ASSERT_TRUE(g.Load(bytes));
  EXPECT_EQ(g.Save(), bytes);
  EXPECT_EQ(g.type(), filter_type::kHighShelf);
  EXPECT_TRUE(g.bypass());
  EXPECT_FALSE(g.flat());
  for (double v : g.response()) ASSERT_EQ(v, 0.0);  // bypassed
  g.SetBypass(false);
  f.SetBypass(false);
  EXPECT_EQ(g.response(), f.response());
}

TEST(Archive, BrokenFormsChangeNothing) {
  const CFilter src = Band(filter_type::kPeaking, 2000, 4.0);
  const auto good = src.Save();
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const Case cases[] = {
      {"type 7", 0, 7},
      {"frequency above 20 kHz", 6, 1},
      {"bypass 2", 20, 2},
      {"gain not a number", 19, 0xff},
      {"crossover type 3", 36, 3},
      {"slope 8", 40, 8},
      {"bandwidth of 0", 35, 0},
  };
  CFilter dst = Band(filter_type::kLowShelf, 100, -2.0);
  const auto before = dst.Save();
  EXPECT_FALSE(dst.Load(std::span(good).first(47)));
  for (const auto& c : cases) {
    auto bad = good;
    bad[c.offset] = c.value;
    if (c.offset == 35) std::fill(bad.begin() + 28, bad.begin() + 36, 0);
    if (c.offset == 19) std::fill(bad.begin() + 12, bad.begin() + 20, 0xff);
    EXPECT_FALSE(CFilter::IsValidArchive(bad)) << c.what;
    EXPECT_FALSE(dst.Load(bad)) << c.what;
    EXPECT_EQ(dst.Save(), before) << c.what;
  }
  EXPECT_TRUE(dst.Load(good));
}

TEST(Geometry, CurvePointsAndHandles) {
  CFilter f = Band(filter_type::kPeaking, 1000, 10.0);
  f.SetGraphSize({35, 10, 935, 410});  // 900 x 400
  const auto& p = f.points();
  EXPECT_EQ(p[0], (GraphPoint{35, 210}));
  EXPECT_EQ(p[242], (GraphPoint{935, 210}));
  EXPECT_EQ(p[1].x, 35 + GraphX(19.7, 900));
  EXPECT_EQ(p[kGrid1000 + 1].x, 35 + 509);
  EXPECT_EQ(p[kGrid1000 + 1].y, 10 + 100);  // +10 dB
  EXPECT_EQ(f.pointHandle(), (GraphRect{35 + 501, 10 + 92, 35 + 517, 10 + 108}));
  // Width handles 10 px outside the band edges (one octave each way), 10 px below the centre.
  const int hx = GraphX(2000, 900) + 45;
  const int lx = GraphX(500, 900) + 25;
  EXPECT_EQ(f.highWidthHandle(), (GraphRect{hx - 6, 120 - 6, hx + 7, 120 + 6}));
  EXPECT_EQ(f.lowWidthHandle(), (GraphRect{lx - 7, 120 - 6, lx + 6, 120 + 6}));
  EXPECT_EQ(f.labelRect(), (GraphRect{536, 127, 517 + 35 + 210, 143}));

  // A cut puts the width handles above; at the bottom the label goes above the handle.
  f.SetGainCode(0);  // -20 dB
  EXPECT_EQ(f.pointHandle(), (GraphRect{536, 10 + 384, 552, 410}));
  EXPECT_EQ(f.highWidthHandle().top, 402 - 10 - 6);
  EXPECT_EQ(f.labelRect().top, 394 - 25);

  // Flat bands sit on the 0 dB line; the edges push handles back inside.
  f.SetFlat(true);
  EXPECT_EQ(f.pointHandle().top, 10 + 192);
  f.SetFrequency(20, false);
  EXPECT_EQ(f.pointHandle().left, 35);
  f.SetFrequency(20000, false);
  EXPECT_EQ(f.pointHandle().right, 935);
  EXPECT_EQ(f.labelRect(), (GraphRect{935 - 200, 10 + 192 + 25, 935, 10 + 208 + 25}));

  CFilter hp = Crossover(filter_type::kHighPass, 2, 2, 20);
  hp.SetGraphSize({35, 10, 935, 410});
  EXPECT_EQ(hp.pointHandle(), (GraphRect{35 - 8, 10 + 320 - 8, 35 + 8, 10 + 320 + 8}));  // -12 dB
  EXPECT_TRUE(hp.lowWidthHandle().IsEmpty());
  EXPECT_EQ(hp.labelRect().top, hp.pointHandle().top + 15);
  EXPECT_GE(hp.labelRect().left, 35);
  CFilter lp = Crossover(filter_type::kLowPass, 2, 2, 20000);
  lp.SetGraphSize({35, 10, 935, 410});
  EXPECT_EQ(lp.pointHandle(), (GraphRect{935 - 8, 10 + 350 - 8, 935 + 8, 10 + 350 + 8}));  // -15 dB
  EXPECT_EQ(lp.labelRect().top, lp.pointHandle().top - 15);
  EXPECT_LE(lp.labelRect().right, 935);
}

TEST(ChannelCurve, SumsStoredResponses) {
  std::vector<std::unique_ptr<CFilter>> filters;
  filters.push_back(std::make_unique<CFilter>(Band(filter_type::kPeaking, 100, 6.0)));
  filters.push_back(std::make_unique<CFilter>(Band(filter_type::kPeaking, 1000, -3.0)));
  filters.push_back(std::make_unique<CFilter>(Crossover(filter_type::kHighPass, 0, 2, 50)));
  filters.push_back(std::make_unique<CFilter>(Crossover(filter_type::kLowPass, 1, 4, 12000)));
  ChannelCurve curve;
  curve.Layout(900, 400);
  EXPECT_EQ(curve.points()[kGrid1000], (GraphPoint{35 + 509, 200}));
  curve.Sum(filters);
  for (int i = 0; i < kGridPoints; ++i) {
    double sum = 0;
    for (const auto& f : filters) sum += f->response()[i];
    EXPECT_NEAR(curve.sum()[i], sum, 1e-9);
    EXPECT_EQ(curve.points()[i].y, GraphY(curve.sum()[i], 400) + 10);
    EXPECT_NEAR(curve.smoothPoints()[i].y, 400.0 / 40 * (20 - sum) + 10, 1e-8);
  }
  EXPECT_NEAR(curve.smoothPoints()[kGrid1000].x, 35 + std::log10(50.0) * 300, 1e-9);

  std::vector<CFilter> byValue;
  for (const auto& f : filters) byValue.push_back(*f);
  ChannelCurve again;
  again.Layout(900, 400);
  again.Sum(byValue);
  EXPECT_EQ(again.sum(), curve.sum());

  again.FromFilter(*filters[1]);
  EXPECT_EQ(again.points()[kGrid1000].y, GraphY(-3.0, 400) + 10);
}

TEST(ChannelCurve, ProductsBeyondTheRangeOfADoubleStillSum) {
  // Eight 48 dB/Oct high-passes near 20 kHz attenuate the bottom of the grid by more than 300 dB
  // each: the power ratios multiply to less than the smallest double.
  std::vector<CFilter> filters;
  for (int k = 0; k < 8; ++k) filters.push_back(Crossover(filter_type::kHighPass, 0, 7, 19999));
  ASSERT_LT(filters[0].response()[0], -300.0);
  const auto db = ChannelResponse(filters);
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_TRUE(std::isfinite(db[i])) << i;
    EXPECT_NEAR(db[i], 8 * filters[0].response()[i], 1e-6 * std::max(1.0, std::fabs(db[i]))) << i;
  }
}

}  // namespace
}  // namespace zelto
