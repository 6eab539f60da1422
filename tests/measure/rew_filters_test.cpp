#include "measure/rew_filters.h"

#include <gtest/gtest.h>

#include <cmath>

#include "curves/filter_design.h"
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
  EXPECT_TRUE(file->notes.empty());
  const auto& f = file->filters;
  EXPECT_EQ(f[0].kind, RewFilter::Kind::Peaking);
  EXPECT_EQ(f[0].hz, 63.0);
  EXPECT_EQ(f[0].gainDb, -5.0);
  EXPECT_EQ(f[0].q, 4.0);
  EXPECT_EQ(f[0].line, 8);
  EXPECT_EQ(f[1].gainDb, 3.5);
  EXPECT_EQ(f[2].kind, RewFilter::Kind::LowShelf);
  EXPECT_EQ(f[3].kind, RewFilter::Kind::HighShelf);
  EXPECT_NEAR(f[3].q, std::sqrt(0.5), 1e-12);
  EXPECT_EQ(f[4].kind, RewFilter::Kind::LowShelf);
  EXPECT_EQ(f[4].hz, 80.0);  // LSC gives the gain midpoint
  EXPECT_EQ(f[4].q, 0.9);
  EXPECT_EQ(f[5].kind, RewFilter::Kind::HighShelf);
}

// REW writes its numbers in the user's locale: a decimal comma, thousands grouped with a comma, a
// point, an apostrophe or a non-breaking space.
TEST(RewFilterReader, ReadsNumbersAsEachLocaleWritesThem) {
  struct Case {
    const char* fc;
    const char* gain;
    double hz;
    double db;
  };
  const std::vector<Case> cases = {
      {"1,451", "-3.5", 1451, -3.5},
      {"1.451", "-3,5", 1451, -3.5},
      {"12,500", "2", 12500, 2},
      {"1\xC2\xA0"
       "451",
       "1", 1451, 1},
      {"1 451", "1", 1451, 1},
      {"1'451", "1", 1451, 1},
      {"1,451.5", "1", 1451.5, 1},
      {"1.451,5", "-1,25", 1451.5, -1.25},
      {"63,5", "-6,0", 63.5, -6},
      {"100,000", "1", 100, 1},
      {"250", "-0,5", 250, -0.5},
  };
  for (const auto& c : cases) {
    const std::string line = std::string("Filter 1: ON PK Fc ") + c.fc + " Hz Gain " + c.gain + " dB Q 2,000\n";
    SCOPED_TRACE(line);
    RewFilterError e;
    const auto file = ParseRewFilters(line, &e);
    ASSERT_TRUE(file.has_value()) << RewFilterErrorText(e, "f.txt", Language::English);
    ASSERT_EQ(file->filters.size(), 1u);
    EXPECT_DOUBLE_EQ(file->filters[0].hz, c.hz);
    EXPECT_DOUBLE_EQ(file->filters[0].gainDb, c.db);
    EXPECT_DOUBLE_EQ(file->filters[0].q, 2.0);
  }
  // 20,000 is 20 Hz or 20 kHz: refused with its line, never guessed.
  RewFilterError e;
  EXPECT_FALSE(ParseRewFilters("\nFilter 1: ON PK Fc 20,000 Hz Gain -3 dB Q 2\n", &e).has_value());
  EXPECT_EQ(e.kind, RewFilterError::Kind::AmbiguousNumber);
  EXPECT_EQ(e.line, 2);
  EXPECT_NE(RewFilterErrorText(e, "f.txt", Language::English).find("\"20,000\""), std::string::npos);
}

TEST(RewFilterReader, ReadsEveryLineFormREWWrites) {
  struct Case {
    const char* name;
    const char* text;
    RewFilter::Kind kind;
    double hz;
    double q;
  };
  // BW Oct 1 is Q sqrt(2) / (2 - 1); BW/60 20 sets the bandwidth to centre * 20/60 * sqrt(2).
  const std::vector<Case> cases = {
      {"Modal", "Filter 3: ON Modal Fc 45.0 Hz Gain -8.0 dB Q 12.0 T60 target 300 ms\n", RewFilter::Kind::Peaking, 45,
       12},
      {"BW Oct", "Filter 1: ON PK Fc 500 Hz Gain -4 dB BW Oct 1.000\n", RewFilter::Kind::Peaking, 500, std::sqrt(2.0)},
      {"BW/60", "Filter 1: ON PK Fc 500 Hz Gain -4 dB BW/60 20\n", RewFilter::Kind::Peaking, 500,
       60 / (20 * std::sqrt(2.0))},
      {"no filter number", "Filter: ON PK Fc 500 Hz Gain -4 dB Q 3\n", RewFilter::Kind::Peaking, 500, 3},
      {"CR line ends", "Filter Settings file\rFilter 1: ON PK Fc 500 Hz Gain -4 dB Q 3\r", RewFilter::Kind::Peaking,
       500, 3},
      {"LSC with a slope", "Filter 1: ON LSC 12dB Fc 80 Hz Gain 5 dB\n", RewFilter::Kind::LowShelf, 80, std::sqrt(0.5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RewFilterError e;
    const auto file = ParseRewFilters(c.text, &e);
    ASSERT_TRUE(file.has_value()) << RewFilterErrorText(e, "f.txt", Language::English);
    ASSERT_EQ(file->filters.size(), 1u);
    EXPECT_EQ(file->filters[0].kind, c.kind);
    EXPECT_NEAR(file->filters[0].hz, c.hz, 1e-9);
    EXPECT_NEAR(file->filters[0].q, c.q, 1e-9);
  }
}

TEST(RewFilterReader, SkipsWhatTheBandsCannotShapeWithANoteEach) {
  const char* text =
      "Filter 1: ON HP Fc 80 Hz\n"
      "Filter 2: ON PK Fc 1000 Hz Gain -3 dB Q 2\n"
      "Filter 3: ON LP Fc 12000 Hz\n"
      "Filter 4: ON NO Fc 300 Hz\n"
      "Filter 5: ON AP Fc 300 Hz Q 0.7\n"
      "Filter 6: ON BP Fc 300 Hz\n"
      "Filter 7: ON PK Fc 25000 Hz Gain -3 dB Q 2\n";
  RewFilterError e;
  const auto file = ParseRewFilters(text, &e);
  ASSERT_TRUE(file.has_value()) << RewFilterErrorText(e, "f.txt", Language::English);
  ASSERT_EQ(file->filters.size(), 2u);
  const std::vector<RewNote> want = {
      {RewNote::Kind::SkippedType, 1, 0, "HP"}, {RewNote::Kind::SkippedType, 3, 0, "LP"},
      {RewNote::Kind::SkippedType, 4, 0, "NO"}, {RewNote::Kind::SkippedType, 5, 0, "AP"},
      {RewNote::Kind::SkippedType, 6, 0, "BP"}, {RewNote::Kind::OutsideRange, 7, 25000, ""}};
  EXPECT_EQ(file->notes, want);
  EXPECT_NE(RewNoteText(file->notes[0], Language::English).find("line 1: the \"HP\" filter is left out"),
            std::string::npos);
  EXPECT_FALSE(RewNoteText(file->notes[5], Language::Chinese).empty());
  // A file of nothing but such filters would set nothing: it is refused instead.
  EXPECT_FALSE(ParseRewFilters("Filter 1: ON HP Fc 80 Hz\n", &e).has_value());
  EXPECT_EQ(e.kind, RewFilterError::Kind::NothingToImport);
}

TEST(RewFilterReader, RefusesWhatItCannotReadByNameAndLine) {
  struct Bad {
    const char* text;
    RewFilterError::Kind kind;
    int line;
    const char* inMessage;
  };
  const std::vector<Bad> cases = {
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB\n", RewFilterError::Kind::MissingValue, 1, "Q"},
      {"Filter 1: ON PK Gain -3 dB Q 2\n", RewFilterError::Kind::MissingValue, 1, "Fc"},
      {"Filter 1: ON PK Fc abc Hz Gain -3 dB Q 2\n", RewFilterError::Kind::BadValue, 1, "\"abc\""},
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 0\n", RewFilterError::Kind::BadValue, 1, "line 1"},
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 1e-300\n", RewFilterError::Kind::BadValue, 1, "\"Q\""},
      {"Filter 1: ON PK Fc 100 Hz Gain 1e300 dB Q 1\n", RewFilterError::Kind::BadValue, 1, "\"Gain\""},
      {"Filter 1: ON PK Fc 100 Hz Gain -3 dB BW Oct 0\n", RewFilterError::Kind::BadValue, 1, "BW Oct"},
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

// Each shelf type against the reading REW documents: where the shelf reaches half its gain and how
// steep it is there. LS/HS 6dB and 12dB give a corner 10^(|g|/40) or 10^(|g|/80) from the
// midpoint (S = 0.5 and 1); LS, HS and LSC/HSC give the midpoint.
TEST(RewFilterResponse, EachShelfTypeHasItsDocumentedMidpoint) {
  struct Case {
    const char* line;
    double midpointHz;
    double slopeS;  // 0: a Q is given
    double q;
  };
  const std::vector<Case> cases = {
      {"LS Fc 200 Hz Gain 6 dB", 200, 1, 0},
      {"HS Fc 4000 Hz Gain -6 dB", 4000, 1, 0},
      {"LS 6dB Fc 200 Hz Gain 6 dB", 200 * std::pow(10.0, 6.0 / 40), 0.5, 0},
      {"HS 6dB Fc 4000 Hz Gain -6 dB", 4000 / std::pow(10.0, 6.0 / 40), 0.5, 0},
      {"LS 12dB Fc 200 Hz Gain 6 dB", 200 * std::pow(10.0, 6.0 / 80), 1, 0},
      {"HS 12dB Fc 4000 Hz Gain -6 dB", 4000 / std::pow(10.0, 6.0 / 80), 1, 0},
      {"LSC Fc 200 Hz Gain 6 dB Q 1.2", 200, 0, 1.2},
      {"HSC Fc 4000 Hz Gain -6 dB Q 0.5", 4000, 0, 0.5},
      {"LSC 6dB Fc 200 Hz Gain 6 dB", 200, 0.5, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto file = ParseRewFilters(std::string("Filter 1: ON ") + c.line + "\n", nullptr);
    ASSERT_TRUE(file.has_value());
    const RewFilter& f = file->filters[0];
    EXPECT_NEAR(f.hz, c.midpointHz, 1e-6);
    const double q = c.slopeS > 0 ? ShelfQForSlope(f.gainDb, c.slopeS) : c.q;
    EXPECT_NEAR(f.q, q, 1e-9);
    // Half the gain at the midpoint, the whole far from it.
    const double mid = CookbookResponseAt(file->filters, std::vector<double>{f.hz}).front();
    EXPECT_NEAR(mid, f.gainDb / 2, 0.05);
  }
  // The other reading of LSC/HSC, by name.
  RewReadOptions corner;
  corner.lscFrequency = ShelfConvention::Corner;
  const auto file = ParseRewFilters("Filter 1: ON LSC Fc 80 Hz Gain 6 dB Q 0.9\n", nullptr, corner);
  EXPECT_NEAR(file->filters[0].hz, 80 * std::pow(10.0, 6.0 / 80), 1e-9);
}

TEST(RewFilterResponse, CookbookPeakAndShelvesReachTheirGains) {
  RewFilter pk{RewFilter::Kind::Peaking, 1000, 6, 2, 0};
  EXPECT_NEAR(CookbookResponse(pk)[NearestGridIndex(1000)], 6.0, 1e-6);
  const auto low = CookbookResponse(RewFilter{RewFilter::Kind::LowShelf, 300, 6, std::sqrt(0.5), 0});
  EXPECT_NEAR(low[0], 6.0, 0.05);
  EXPECT_NEAR(low[kGridPoints - 1], 0.0, 0.05);
  const auto high = CookbookResponse(RewFilter{RewFilter::Kind::HighShelf, 1000, -4, std::sqrt(0.5), 0});
  EXPECT_NEAR(high[0], 0.0, 0.05);
  EXPECT_LT(high[kGridPoints - 1], -3.5);
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
