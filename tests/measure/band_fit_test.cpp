#include "measure/band_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <map>

#include "core/change_tracking.h"
#include "model/eq.h"

namespace zelto::measure {
namespace {

std::vector<int> OutputCentres() {
  const auto c = OutputBandCentres();
  return {c.begin(), c.end()};
}

/// The largest difference between the bands and the file's filters, on a 1/384-octave grid.
double TrueLargestDeviation(const RewFilterFile& file, const std::vector<BandSetting>& bands) {
  std::vector<double> hz;
  for (double f = kFilterMinHz; f <= kFilterMaxHz; f *= std::exp2(1.0 / 384)) hz.push_back(f);
  const auto want = CookbookResponseAt(file.filters, hz);
  const auto got = BandsResponseAt(bands, hz);
  double worst = 0;
  for (std::size_t i = 0; i < hz.size(); ++i) worst = std::max(worst, std::abs(want[i] - got[i]));
  return worst;
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
    {"fixed shelves and shelves with a Q",
     "Filter 1: ON LS 6dB Fc 150 Hz Gain 4.0 dB\n"
     "Filter 2: ON HSC Fc 5000 Hz Gain -2.0 dB Q 0.700\n"
     "Filter 3: ON HS 12dB Fc 9000 Hz Gain -3.0 dB\n"},
    {"REW in a German locale",
     "Filter  1: ON  PK       Fc 1.451 Hz  Gain  -4,5 dB  Q  3,000\n"
     "Filter  2: ON  PK       Fc   86,5 Hz  Gain  -6,0 dB  Q  5,000\n"
     "Filter  3: ON  LS       Fc   60,0 Hz  Gain   3,0 dB\n"},
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
    // The figures are the truth: nowhere between 20 Hz and 20 kHz, looked at four times finer
    // than the report does, are the bands further off than reported.
    EXPECT_GE(r.deviation.max + 0.05, TrueLargestDeviation(*file, r.bands));
    for (const auto& b : r.bands) {
      EXPECT_GE(b.gainCode, 0);
      EXPECT_LE(b.gainCode, kGainCodeMax);
      EXPECT_GE(b.bandwidthIndex, kMinBandwidthIndex);
      EXPECT_LE(b.bandwidthIndex, kMaxBandwidthIndex);
    }
  }
}

// A bass tuning with REW's narrow filters: the bands cannot follow Q 10-20, and the import says so
// with figures that are the truth between the grid points too.
TEST(RewImport, FiltersNarrowerThanABandAreNamedAndMeasuredHonestly) {
  const auto file = ParseRewFilters(
      "Filter 1: ON PK Fc 42.5 Hz Gain -9.0 dB Q 12.000\n"
      "Filter 2: ON PK Fc 57.0 Hz Gain -6.5 dB Q 18.000\n"
      "Filter 3: ON PK Fc 71.0 Hz Gain -7.0 dB Q 10.000\n"
      "Filter 4: ON PK Fc 96.0 Hz Gain -5.0 dB Q 20.000\n"
      "Filter 5: ON PK Fc 125 Hz Gain -3.0 dB Q 4.000\n",
      nullptr);
  ASSERT_TRUE(file.has_value());
  const ImportResult r = ImportRewFilters(file->filters, OutputCentres());
  std::vector<int> narrowLines;
  for (const auto& n : r.notes)
    if (n.kind == RewNote::Kind::QBeyondBand) narrowLines.push_back(n.line);
  EXPECT_EQ(narrowLines, (std::vector<int>{1, 2, 3, 4}));
  const double truth = TrueLargestDeviation(*file, r.bands);
  EXPECT_GE(r.deviation.max + 0.05, truth);
  EXPECT_LE(r.deviation.max, truth + 1e-9);
  EXPECT_GT(r.deviation.max, 0.75);  // not reproducible, and not said to be
  // Never more than two bands on one frequency.
  std::map<int, int> perFrequency;
  for (const auto& b : r.bands)
    if (!b.IsFlat()) ++perFrequency[NearestGridIndex(b.hz)];
  for (const auto& [grid, count] : perFrequency) EXPECT_LE(count, 2) << FrequencyGrid()[grid];
}

TEST(RewImport, MoreFiltersThanBandsAreNamed) {
  std::string text;
  for (int k = 0; k < 33; ++k)
    text += "Filter " + std::to_string(k + 1) + ": ON PK Fc " + std::to_string(25 + k * 600) + " Hz Gain -1 dB Q 2\n";
  const auto file = ParseRewFilters(text, nullptr);
  ASSERT_TRUE(file.has_value());
  const ImportResult r = ImportRewFilters(file->filters, OutputCentres());
  ASSERT_FALSE(r.notes.empty());
  EXPECT_EQ(r.notes.back(), (RewNote{RewNote::Kind::TooManyFilters, 0, 33, {}}));
  EXPECT_NE(RewNoteText(r.notes.back(), Language::English).find("33 filters"), std::string::npos);
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

}  // namespace
}  // namespace zelto::measure
