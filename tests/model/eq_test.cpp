#include "model/eq.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/change_tracking.h"
#include "core/encodings.h"

namespace zelto {
namespace {

constexpr int kOutputBand1000Hz = 17;
constexpr int kGrid1000Hz = 136;

class EqTest : public ::testing::Test {
 protected:
  ChangeTracking tracking{true};
  CKTVEQ out{tracking};
  void SetUp() override { out.Create31(30, 32, 9, 20, 20000); }
};

TEST_F(EqTest, BandRecordRoundsHalfUpAndSendsBandsThatAreOffAsFlat) {
  struct Case {
    const char* what;
    std::function<void(CFilter&)> set;
    EqBandRecord want;
  };
  // Peaking bands keep a filter's default slope code (24 dB/Oct); the processor ignores it for them.
  const std::vector<Case> cases = {
      {"+6 dB, 1.43 Oct",
       [](CFilter& f) {
         f.SetGainCode(260);
         f.SetBandwidthIndex(138);
       },
       {1000, 660, 138, 2, 0}},
      {"-20 dB", [](CFilter& f) { f.SetGainCode(0); }, {1000, 400, 15, 2, 0}},
      {"+20 dB", [](CFilter& f) { f.SetGainCode(400); }, {1000, 800, 15, 2, 0}},
      {"+0.1 dB", [](CFilter& f) { f.SetGainCode(201); }, {1000, 601, 15, 2, 0}},
      {"switched off",
       [](CFilter& f) {
         f.SetGainCode(260);
         f.SetFlat(true);
       },
       {1000, 600, 15, 2, 0}},
      {"bypassed",
       [](CFilter& f) {
         f.SetGainCode(140);
         f.SetBypass(true);
       },
       {1000, 600, 15, 2, 0}},
  };
  for (const auto& c : cases) {
    CKTVEQ eq{tracking};
    eq.Create31(30, 32, 9, 20, 20000);
    c.set(eq.Filter(kOutputBand1000Hz));
    EXPECT_EQ(eq.BandRecord(kOutputBand1000Hz), c.want) << c.what;
    EXPECT_EQ(eq.BandScratch(), c.want) << c.what;
  }
}

TEST_F(EqTest, SetBandTakesARecordAndLeavesNothingToSend) {
  const std::vector<EqBandRecord> records = {
      {1000, 660, 138, 0, 0}, {20000, 400, 295, 1, 2}, {25, 800, 4, 0, 1}, {5000, 601, 15, 0, 0}, {63, 600, 15, 0, 0}};
  for (const auto& r : records) {
    out.SetBand(r, 3);
    EXPECT_EQ(out.BandRecord(3), r);
    EXPECT_FALSE(out.Filter(3).pending());
    EXPECT_EQ(out.Filter(3).sentFrequency(), r.frequency);
  }

  out.SetBand({1000, 600, 2, 0, 0}, 4);
  EXPECT_TRUE(out.Filter(4).flat());
  EXPECT_DOUBLE_EQ(out.Filter(4).bandwidth(), 0.09);
  EXPECT_EQ(out.BandRecord(4).bandwidthIndex, 4);

  // Crossover types never land on a band: the last two filters stay the crossovers.
  out.SetBand({1000, 600, 15, 0, filter_type::kLowPass}, 5);
  EXPECT_EQ(out.Filter(5).type(), filter_type::kPeaking);
}

TEST(EqShape, ConstructionVariants) {
  ChangeTracking tracking{true};
  CKTVEQ output{tracking}, mic{tracking}, music{tracking}, effect{tracking};
  output.Create31(30, 32, 8, 20, 20000);
  mic.Create9A(8, 10, 20000);
  music.Create9B(8, 10, 20000);
  effect.Create3(2, 8, 20000);

  ASSERT_EQ(output.FilterCount(), 33);
  EXPECT_EQ(output.Filter(0).frequency(), 20);
  EXPECT_EQ(output.Filter(30).frequency(), 20000);
  EXPECT_EQ(output.Filter(kOutputBand1000Hz).frequency(), 1000);
  for (int k = 0; k < 31; ++k) {
    EXPECT_EQ(output.Filter(k).deviceIndex(), k);
    EXPECT_EQ(output.Filter(k).type(), filter_type::kPeaking);
    EXPECT_EQ(output.BandRecord(k).bandwidthIndex, 15);
  }
  EXPECT_EQ(output.HighPass().crossoverRange(), 8);
  EXPECT_EQ(output.LowPass().deviceIndex(), 32);

  for (CKTVEQ* in : {&mic, &music}) {
    ASSERT_EQ(in->FilterCount(), 11);
    EXPECT_EQ(&in->HighPass(), &in->Filter(9));
    EXPECT_EQ(&in->LowPass(), &in->Filter(10));
    EXPECT_EQ(in->Filter(0).type(), filter_type::kLowShelf);
    EXPECT_EQ(in->Filter(8).type(), filter_type::kHighShelf);
    EXPECT_EQ(in->Filter(8).slope(), slope_code::kShelf6);
    EXPECT_EQ(in->Filter(3).frequency(), 317);
    for (const CFilter* x : {&in->HighPass(), &in->LowPass()}) {
      EXPECT_EQ(x->slope(), slope_code::k12);
      EXPECT_EQ(x->crossoverType(), crossover_family::kButterworth);
      EXPECT_EQ(x->deviceIndex(), 10);
      EXPECT_FALSE(x->isEqBand());
    }
    EXPECT_EQ(in->HighPass().frequency(), 20);
    EXPECT_EQ(in->LowPass().frequency(), 20000);
  }

  ASSERT_EQ(effect.FilterCount(), 5);
  EXPECT_EQ(effect.Filter(1).frequency(), 1000);
  EXPECT_EQ(effect.HighPass().crossoverRange(), 6);
  EXPECT_EQ(effect.LowPass().deviceIndex(), 8);

  // Building is not editing, even with the switch on.
  for (CKTVEQ* eq : {&output, &mic, &music, &effect})
    for (int i = 0; i < eq->FilterCount(); ++i) EXPECT_FALSE(eq->Filter(i).pending());
}

TEST_F(EqTest, ChannelCurveSumsEveryFilter) {
  constexpr int kWidth = 600, kHeight = 400;
  out.FitToGraph({0, 0, kWidth, kHeight});
  EXPECT_EQ(out.GraphWidth(), kWidth);
  EXPECT_EQ(out.Curve().points()[0].y, kHeight / 2);
  EXPECT_EQ(out.Curve().points()[kGrid1000Hz].x, GraphX(1000, kWidth) + 35);

  // A peaking band reaches exactly its gain at its centre; the open crossovers add nothing.
  out.Filter(kOutputBand1000Hz).SetGainCode(260);
  out.SumCurve();
  EXPECT_NEAR(out.Curve().sum()[kGrid1000Hz], 6.0, 1e-6);
  EXPECT_NEAR(out.Curve().sum()[0], 0.0, 1e-3);
  EXPECT_EQ(out.Curve().points()[kGrid1000Hz].y, GraphY(6.0, kHeight) + 10);
  EXPECT_NEAR(out.Curve().smoothPoints()[kGrid1000Hz].y, kHeight / 40.0 * (20 - 6.0) + 10, 1e-4);

  // A low-pass at 2 kHz pulls the top of the channel curve down; the band's own curve stays flat
  // there.
  out.LowPass().SetFrequency(2000, false);
  out.SumCurve();
  EXPECT_LT(out.Curve().sum()[240], -20.0);
  out.FilterCurve(kOutputBand1000Hz);
  EXPECT_EQ(out.Curve().points()[240].y, GraphY(0.0, kHeight) + 10);
  EXPECT_EQ(out.Curve().points()[kGrid1000Hz].y, GraphY(6.0, kHeight) + 10);
}

TEST_F(EqTest, CopyFromTakesEveryFilter) {
  CKTVEQ other{tracking};
  other.Create31(30, 32, 7, 20, 20000);
  other.Filter(2).SetGainCode(150);
  other.Filter(2).SetFrequency(37, false);
  other.HighPass().SetFrequency(80, false);
  other.LowPass().SetSlope(slope_code::k48, false);
  out.CopyFrom(other);
  for (int i = 0; i < out.FilterCount(); ++i) EXPECT_EQ(out.BandRecord(i), other.BandRecord(i)) << i;
  EXPECT_EQ(out.HighPass().frequency(), 80);
  EXPECT_EQ(out.LowPass().slope(), slope_code::k48);
  // Each keeps its own drag range.
  EXPECT_EQ(out.HighPass().crossoverRange(), 9);
}

TEST(OctaveStep, AtMostOneOctavePerStep) {
  struct Case {
    int from, to, want;
  };
  for (const auto& c : std::vector<Case>{{100, 1600, 200},
                                         {800, 1600, 1600},
                                         {100, 199, 199},
                                         {1600, 1000, 1000},
                                         {1600, 700, 800},
                                         {800, 700, 700},
                                         {1601, 800, 800},
                                         {20000, 20, 10000},
                                         {3, 1, 1},
                                         {0, 500, 500},
                                         {440, 440, 440}})
    EXPECT_EQ(OctaveStep(c.from, c.to), c.want) << c.from << " -> " << c.to;
}

}  // namespace
}  // namespace zelto
