#include "acoustics/auto_tune.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "core/typed_values.h"
#include "edit/editor.h"
#include "support/engine_harness.h"

namespace zelto::acoustics {
namespace {

// Fourth-order Linkwitz-Riley sections: a low and a high pass at the same frequency add to an
// all-pass in phase, so a reversed driver shows as a hole at the crossover.
std::complex<double> Butter2(double hz, double fc, bool high) {
  const std::complex<double> s(0, hz / fc);
  const auto den = 1.0 + std::sqrt(2.0) * s + s * s;
  return high ? s * s / den : 1.0 / den;
}

Response Driver(double lowCut, double highCut, bool reversed) {
  Response r;
  for (double hz = 10; hz < 24000; hz *= std::pow(2.0, 1.0 / 48)) {
    std::complex<double> h = reversed ? -1.0 : 1.0;
    if (lowCut > 0) h *= std::pow(Butter2(hz, lowCut, true), 2);
    if (highCut > 0) h *= std::pow(Butter2(hz, highCut, false), 2);
    r.hz.push_back(hz);
    r.db.push_back(20 * std::log10(std::abs(h)));
    r.phaseDeg.push_back(std::arg(h) * 180 / std::numbers::pi);
  }
  return r;
}

TuneChannel Channel(int ch, Side side, double lo, double hi, bool reversed, bool firstPeakSaysReversed) {
  TuneChannel c;
  c.channel = ch;
  c.side = side;
  c.passLoHz = lo > 0 ? lo : 20;
  c.passHiHz = hi > 0 ? hi : 20000;
  c.centre = Driver(lo, hi, reversed);
  c.firstPeakInverted = firstPeakSaysReversed;
  return c;
}

TEST(AutoTuneAlign, LatestArrivalGetsNoDelayAndTheOthersMeetIt) {
  // A subwoofer 2 ms behind the front drivers; one driver that would need more than the processor has.
  const std::vector<double> acoustic{3.10, 3.52, 5.10, 4.00};
  std::vector<bool> limited;
  const auto codes = AlignDelays(acoustic, &limited);
  ASSERT_EQ(codes.size(), 4u);
  EXPECT_EQ(codes[2], 0);
  for (std::size_t i = 0; i < acoustic.size(); ++i) {
    EXPECT_LE(std::abs(acoustic[i] + codes[i] / kDelaySampleRate - 5.10), 0.5 / kDelaySampleRate) << i;
    EXPECT_FALSE(limited[i]);
  }
  const auto far = AlignDelays(std::vector<double>{0.0, 25.0}, &limited);
  EXPECT_EQ(far[0], typed::kMaxDelayCode);
  EXPECT_TRUE(limited[0]);
  EXPECT_FALSE(limited[1]);
}

TEST(AutoTunePolarity, ExactlyTheReversedDriverIsTurnedEvenWhenItsFirstPeakMisleads) {
  struct Case {
    const char* what;
    int reversed;       // index of the reversed driver
    bool peakMisleads;  // its first peak reads as not reversed
    bool threeWay;      // woofer, mid and tweeter a side, else woofer and tweeter
    bool sub;
  };
  const Case cases[] = {
      {"left tweeter", 2, false, true, true},
      {"left tweeter, first peak up", 2, true, true, true},
      {"right mid between woofer and tweeter", 4, true, true, true},
      {"subwoofer against both woofers", 6, false, true, true},
      {"right woofer", 3, false, true, true},
      {"right woofer, first peak up", 3, true, true, true},
      {"right woofer of a two-way front with sub", 3, true, false, true},
      {"right woofer of a two-way front, no sub", 3, true, false, false},
      {"left tweeter of a two-way front, no sub", 2, false, false, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const auto rev = [&](int i) { return i == k.reversed; };
    const auto peak = [&](int i) { return rev(i) && !k.peakMisleads; };
    const double woofTop = k.threeWay ? 400 : 3000;
    std::vector<TuneChannel> ch{
        Channel(0, Side::Left, 80, woofTop, rev(0), peak(0)), Channel(1, Side::Left, 400, 3000, rev(1), peak(1)),
        Channel(2, Side::Left, 3000, 0, rev(2), peak(2)),     Channel(3, Side::Right, 80, woofTop, rev(3), peak(3)),
        Channel(4, Side::Right, 400, 3000, rev(4), peak(4)),  Channel(5, Side::Right, 3000, 0, rev(5), peak(5)),
        Channel(6, Side::Both, 0, 80, rev(6), peak(6)),
    };
    // A rear pair, neighbours of neither the front nor the subwoofer.
    ch.push_back(Channel(7, Side::Left, 80, 0, false, false));
    ch.back().rear = true;
    std::vector<std::size_t> keep;
    for (std::size_t i = 0; i < ch.size(); ++i)
      if ((k.threeWay || (i != 1 && i != 4)) && (k.sub || i != 6)) keep.push_back(i);
    std::vector<TuneChannel> used;
    for (std::size_t i : keep) used.push_back(ch[i]);
    const std::vector<double> aligned(used.size(), 0.0);
    const auto flips = DecidePolarity(used, aligned);
    for (std::size_t i = 0; i < used.size(); ++i)
      EXPECT_EQ(flips[i], rev(used[i].channel)) << "ch" << used[i].channel + 1;
  }
}

TEST(AutoTunePolarity, PlacesComeFromTheChannelTypes) {
  EXPECT_EQ(PlacementOfType(1)->side, Side::Left);    // front left tweeter
  EXPECT_EQ(PlacementOfType(11)->side, Side::Right);  // front right mid-low
  EXPECT_TRUE(PlacementOfType(15)->rear);             // rear left full range
  EXPECT_EQ(PlacementOfType(24)->side, Side::Both);   // subwoofer
  EXPECT_FALSE(PlacementOfType(24)->rear);
  EXPECT_FALSE(PlacementOfType(0));   // empty
  EXPECT_FALSE(PlacementOfType(25));  // front custom: the input mix says
}

TEST(AutoTunePolarity, ATimeOffsetThatIsNotAlignedAwayDecidesWithTheSum) {
  // Half a period late at the crossover reverses the sum as a reversed wire would.
  std::vector<TuneChannel> ch{Channel(0, Side::Left, 400, 3000, false, false),
                              Channel(1, Side::Left, 3000, 0, false, false),
                              Channel(2, Side::Left, 80, 400, false, false)};
  const std::vector<double> late{0.0, 1000.0 / 3000 / 2, 0.0};
  const auto flips = DecidePolarity(ch, late);
  EXPECT_TRUE(flips[1]);
  EXPECT_FALSE(flips[0]);
  EXPECT_FALSE(flips[2]);
}

TEST(AutoTuneLevels, CutsToTheQuietestAndNeverRaisesAboveZero) {
  struct Case {
    std::vector<double> level;
    std::vector<int> gain;
  };
  const Case cases[] = {
      {{-3.0, 0.0, 2.4, 1.7}, {0, 0, 0, 0}},
      {{-3.0, -1.2, 4.0}, {-6, 0, -2}},  // the first may come up to 0 dB, no further
      {{0.3, 0.3}, {0, 0}},
  };
  for (const Case& k : cases) {
    const auto gains = MatchLevels(k.level, k.gain);
    double lo = 1e9;
    double hi = -1e9;
    double reach = 1e9;
    for (std::size_t i = 0; i < gains.size(); ++i) {
      EXPECT_LE(gains[i], 0);
      const double after = k.level[i] + gains[i] - k.gain[i];
      lo = std::min(lo, after);
      hi = std::max(hi, after);
      reach = std::min(reach, k.level[i] - k.gain[i]);
    }
    // Whole-dB gains: at most one step apart, and nobody louder than the quietest can get.
    EXPECT_LE(hi - lo, 1.0 + 1e-9);
    EXPECT_LE(hi, reach + 0.5 + 1e-9);
    EXPECT_GE(lo, reach - 1.5 - 1e-9);
  }
}

TEST(AutoTuneApply, TheWholeTuningIsOneStepWhoseUndoPutsTheProcessorBack) {
  testing::SimEngine sim(testing::SimKind::InProcess);
  ASSERT_TRUE(sim.Connect());
  Editor editor(sim.engine());
  // What the processor holds of the two channels touched.
  const auto held = [&] {
    const DeviceImage m = sim.processor()->Memory();
    std::vector<std::uint8_t> bytes;
    for (int ch : {0, 6}) {
      const auto block = m.Block(0, BlockType::Output, ch);
      bytes.insert(bytes.end(), block.begin(), block.end());
    }
    return bytes;
  };
  const auto before = held();

  Tuning t;
  ChannelTuning a;
  a.channel = 0;
  a.delayCode = 53;
  a.phase = 1;
  a.gainCode = OutputGainCodeFromDb(-3);
  a.bands = {measure::BandSetting{2500, kGainCodeFlat - 40, 20}};
  ChannelTuning b;
  b.channel = 6;
  b.delayCode = 0;
  b.gainCode = OutputGainCodeFromDb(-1);
  t.channels = {a, b};
  ApplyTuning(editor, t);
  ASSERT_EQ(editor.Steps().Size(), 1u);

  const auto at = [&](int ch) {
    auto lock = sim.engine().Data().Lock();
    const auto& o = sim.engine().Data().Output(ch);
    return std::tuple(o.Delay(), o.Phase(), o.GainCode(), o.Eq().Filter(0).frequency());
  };
  EXPECT_EQ(at(0), std::tuple(53, 1, OutputGainCodeFromDb(-3), 2500));
  EXPECT_EQ(std::get<2>(at(6)), OutputGainCodeFromDb(-1));
  ASSERT_TRUE(sim.PumpUntil([&] { return held() != before; }));

  ASSERT_TRUE(editor.Undo());
  EXPECT_TRUE(sim.PumpUntil([&] { return held() == before; }));
  EXPECT_EQ(std::get<0>(at(0)), 0);
}

}  // namespace
}  // namespace zelto::acoustics
