// The design functions on their own: Hz, dB and octaves in, sections and dB out, no filter object.
#include "curves/filter_design.h"

#include <gtest/gtest.h>

#include "curves/filter.h"

namespace zelto {
namespace {

TEST(FilterDesign, PeakAndShelvesReachTheirGain) {
  EXPECT_NEAR(ResponseDb(PeakingDesign(1000, 6.0, 1.0), 1000), 6.0, 0.01);
  EXPECT_NEAR(ResponseDb(PeakingDesign(1000, -12.0, 0.5), 1000), -12.0, 0.01);
  EXPECT_NEAR(ResponseDb(PeakingDesign(1000, 6.0, 1.0), 20), 0.0, 0.05);
  // A shelf reaches its gain far on its own side and nothing on the other.
  EXPECT_NEAR(ResponseDb(ShelfDesign(false, 200, slope_code::kShelf12, 9.0), 20), 9.0, 0.2);
  EXPECT_NEAR(ResponseDb(ShelfDesign(false, 200, slope_code::kShelf12, 9.0), 15000), 0.0, 0.2);
  EXPECT_NEAR(ResponseDb(ShelfDesign(true, 2000, slope_code::kShelf6, -6.0), 19000), -6.0, 0.5);
  EXPECT_EQ(ShelfDesign(true, 2000, slope_code::kShelf6, 0.0).count, 0);
}

TEST(FilterDesign, CrossoversBySlopeCode) {
  struct Case {
    int code;
    int sections;
    double dbPerOctave;
  };
  // Sections per code and the slope two octaves away from a 1 kHz corner.
  const Case cases[] = {{slope_code::k12, 1, 12}, {slope_code::k18, 2, 18}, {slope_code::k24, 2, 24},
                        {slope_code::k30, 3, 30}, {slope_code::k36, 3, 36}, {slope_code::k42, 4, 42},
                        {slope_code::k48, 4, 48}};
  for (int family : {crossover_family::kLinkwitzRiley, crossover_family::kBessel, crossover_family::kButterworth}) {
    for (const Case& c : cases) {
      for (bool highPass : {true, false}) {
        const FilterSections fs = CrossoverDesign(highPass, 1000, family, c.code);
        EXPECT_EQ(fs.count, c.sections) << family << " " << c.code;
        const double far = highPass ? 62.5 : 16000;
        const double nearer = highPass ? 125 : 8000;
        EXPECT_NEAR(ResponseDb(fs, nearer) - ResponseDb(fs, far), c.dbPerOctave, 0.25 * c.dbPerOctave)
            << family << " " << c.code << (highPass ? " HP" : " LP");
        EXPECT_NEAR(ResponseDb(fs, highPass ? 16000 : 62.5), 0.0, 0.5);
      }
    }
    EXPECT_EQ(CrossoverDesign(true, 1000, family, slope_code::kOff).count, 0);
  }
  EXPECT_EQ(CrossoverDesign(true, 1000, 3, slope_code::k24).count, 0);
  // Linkwitz-Riley meets at -6 dB, Butterworth at -3 dB at the corner.
  EXPECT_NEAR(ResponseDb(LinkwitzRileyDesign(false, 1000, slope_code::k24), 1000), -6.0, 0.3);
  EXPECT_NEAR(ResponseDb(ButterworthDesign(false, 1000, slope_code::k12), 1000), -3.0, 0.3);
}

TEST(FilterDesign, TheFilterObjectDrawsExactlyItsDesign) {
  CFilter band;
  band.SetFrequency(1000, false);
  band.SetGainCode(kGainCodeFlat + 45);
  band.SetBandwidthIndex(95);
  CFilter hp;
  hp.SetType(filter_type::kHighPass);
  hp.SetFrequency(80, false);
  hp.SetCrossoverType(crossover_family::kBessel, false);
  hp.SetSlope(slope_code::k30, false);
  for (const CFilter* f : {&band, &hp}) {
    const auto db = GridResponseDb(f->Sections());
    for (int i = 0; i < kGridPoints; ++i) ASSERT_NEAR(f->response()[i], db[i], 1e-9) << i;
  }
  EXPECT_NEAR(band.response()[NearestGridIndex(1000)], 4.5, 0.01);
}

}  // namespace
}  // namespace zelto
