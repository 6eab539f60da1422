#include "measure/rew_filters.h"

#include <gtest/gtest.h>

#include <cmath>

#include "measure/band_fit.h"

namespace zelto::measure {
namespace {

constexpr const char* kFile =
    "Filter Settings file\n"
    "\n"
    "Room EQ V5.20\n"
    "Notes: front left\n"
    "\n"
    "Equaliser: Generic\n"
    "Preamp: -2,5 dB\n"
    "Filter  1: ON  PK       Fc   63.0 Hz  Gain  -5.0 dB  Q  4.000\n"
    "Filter  2: ON  PEQ      Fc   1000 Hz  Gain  +3,5 dB  Q  1.410\n"
    "Filter  3: ON  LS 6dB   Fc   100 Hz  Gain  4.0 dB\n"
    "Filter  4: ON  HS 12dB  Fc   8000 Hz  Gain  -2.0 dB\n"
    "Filter  5: ON  LSC      Fc   80 Hz  Gain  6.0 dB  Q  0.900\n"
    "Filter  6: ON  HS       Fc   10000 Hz  Gain  -3.0 dB\n"
    "Filter  7: OFF PK       Fc   500 Hz  Gain  -9.0 dB  Q  2.000\n"
    "Filter  8: ON  None\n"
    "Filter 10: OFF None\n";

TEST(RewFilterReader, ReadsTypesAndSkipsOffAndNone) {
  RewFilterError e;
  const auto file = ParseRewFilters(kFile, &e);
  ASSERT_TRUE(file.has_value()) << RewFilterErrorText(e, "f.txt", Language::English);
  ASSERT_EQ(file->filters.size(), 6u);
  EXPECT_EQ(file->preampDb, -2.5);
  const auto& f = file->filters;
  EXPECT_EQ(f[0].kind, RewFilter::Kind::Peaking);
  EXPECT_EQ(f[0].hz, 63.0);
  EXPECT_EQ(f[0].gainDb, -5.0);
  EXPECT_EQ(f[0].q, 4.0);
  EXPECT_EQ(f[0].line, 8);
  EXPECT_EQ(f[1].gainDb, 3.5);
  EXPECT_EQ(f[2].kind, RewFilter::Kind::LowShelf1);
  EXPECT_EQ(f[3].kind, RewFilter::Kind::HighShelf);
  EXPECT_NEAR(f[3].q, std::sqrt(0.5), 1e-12);
  EXPECT_EQ(f[4].kind, RewFilter::Kind::LowShelf);
  // A corner frequency moves to the cookbook midpoint: 10^(6/80) above it for a low shelf.
  EXPECT_NEAR(f[4].hz, 80 * std::pow(10.0, 6.0 / 80), 1e-9);
  EXPECT_EQ(f[4].q, 0.9);
  EXPECT_EQ(f[5].kind, RewFilter::Kind::HighShelf);
}

TEST(RewFilterReader, RefusesWhatItCannotImportByNameAndLine) {
  struct Bad {
    const char* text;
    RewFilterError::Kind kind;
    int line;
    const char* inMessage;
  };
  const std::vector<Bad> cases = {
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 2\nFilter 2: ON LP Fc 20000 Hz\n", RewFilterError::Kind::UnknownType, 2,
       "\"LP\""},
      {"Filter 1: ON NO Fc 100 Hz\n", RewFilterError::Kind::UnknownType, 1, "line 1"},
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB\n", RewFilterError::Kind::MissingValue, 1, "Q"},
      {"Filter 1: ON PK Gain -3 dB Q 2\n", RewFilterError::Kind::MissingValue, 1, "Fc"},
      {"Filter 1: ON PK Fc abc Hz Gain -3 dB Q 2\n", RewFilterError::Kind::BadValue, 1, "\"abc\""},
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 0\n", RewFilterError::Kind::BadValue, 1, "line 1"},
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 1e-300\n", RewFilterError::Kind::BadValue, 1, "\"Q\""},
      {"Filter 1: ON PK Fc 100 Hz Gain 1e300 dB Q 1\n", RewFilterError::Kind::BadValue, 1, "\"Gain\""},
      {"Filter 1: ON HS Fc 60000 Hz Gain 3 dB\n", RewFilterError::Kind::BadValue, 1, "\"Fc\""},
      {"20 70\n30 71\n40 72\n", RewFilterError::Kind::NoFilters, 0, "not a REW filter file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RewFilterError e;
    EXPECT_FALSE(ParseRewFilters(c.text, &e).has_value());
    EXPECT_EQ(e.kind, c.kind);
    EXPECT_EQ(e.line, c.line);
    const std::string msg = RewFilterErrorText(e, "f.txt", Language::English);
    EXPECT_NE(msg.find(c.inMessage), std::string::npos) << msg;
    EXPECT_FALSE(RewFilterErrorText(e, "f.txt", Language::Chinese).empty());
  }
}

TEST(RewFilterResponse, CookbookPeakAndShelvesReachTheirGains) {
  const auto& grid = FrequencyGrid();
  RewFilter pk{RewFilter::Kind::Peaking, 1000, 6, 2, 0};
  EXPECT_NEAR(CookbookResponse(pk)[NearestGridIndex(1000)], 6.0, 1e-6);
  for (auto kind : {RewFilter::Kind::LowShelf, RewFilter::Kind::LowShelf1}) {
    const auto r = CookbookResponse(RewFilter{kind, 300, 6, std::sqrt(0.5), 0});
    EXPECT_NEAR(r[0], 6.0, 0.05);
    EXPECT_NEAR(r[kGridPoints - 1], 0.0, 0.05);
    EXPECT_NEAR(r[NearestGridIndex(300)], 3.0, 0.15);  // the midpoint
  }
  for (auto kind : {RewFilter::Kind::HighShelf, RewFilter::Kind::HighShelf1}) {
    const auto r = CookbookResponse(RewFilter{kind, 1000, -4, std::sqrt(0.5), 0});
    EXPECT_NEAR(r[0], 0.0, 0.05);
    EXPECT_NEAR(r[NearestGridIndex(1000)], -2.0, 0.15);
    EXPECT_LT(r[kGridPoints - 1], -3.5);
  }
  (void)grid;
}

TEST(RewFilterExport, WrittenQReproducesTheBandsRealResponse) {
  // Narrow, middling and the widest band; the Q the editor shows would miss all of them.
  const std::vector<BandSetting> bands = {{63, 150, 4}, {1000, 260, 95}, {5000, 130, 295}, {12000, 230, 20}};
  const std::string text = RewFilterText(BandsForExport(bands), "CH1");
  EXPECT_NE(text.find("Equaliser: Generic"), std::string::npos);
  RewFilterError e;
  const auto file = ParseRewFilters(text, &e);
  ASSERT_TRUE(file.has_value()) << text;
  ASSERT_EQ(file->filters.size(), 4u);
  const auto cookbook = CookbookResponse(file->filters);
  const auto real = BandsResponse(bands);
  for (int i = 0; i < kGridPoints; ++i) EXPECT_NEAR(cookbook[i], real[i], 0.01) << FrequencyGrid()[i];
  // The Q shown for a 1.0-octave band is 1.414; the one written is that of a 2-octave cookbook band.
  EXPECT_NEAR(CookbookEquivalent(1000, 3, 95).q, 0.667, 0.005);
}

}  // namespace
}  // namespace zelto::measure
