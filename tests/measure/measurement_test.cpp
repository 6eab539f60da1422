#include "measure/measurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

namespace zelto::measure {
namespace {

struct GoodFile {
  const char* name;
  const char* text;
  std::vector<double> hz;
  std::vector<double> db;
};

TEST(MeasurementReader, ReadsEachFormat) {
  const std::vector<GoodFile> files = {
      {"REW text export",
       "* Measurement data measured by REW V5.20\n* Format: frequency SPL phase\n"
       "20.000 75.5 -10.0\n25.0\t76.25\t-12\n31.5 77 0\n",
       {20, 25, 31.5},
       {75.5, 76.25, 77}},
      {"FRD with comments", "# speaker\n; more\n20 1.5 0\n40 2.5 0\n80 -3 0\n", {20, 40, 80}, {1.5, 2.5, -3}},
      {"CSV with header",
       "Frequency (Hz),SPL (dB),Phase\r\n20,70.5,1\r\n40,71,2\r\n80,72,3\r\n",
       {20, 40, 80},
       {70.5, 71, 72}},
      {"decimal comma and semicolons",
       "Freq;SPL\n20,5;70,25\n40,5;71\n80;+72,5\n",
       {20.5, 40.5, 80},
       {70.25, 71, 72.5}},
      {"decimal comma between spaces", "20,5 70,25 0,1\n40 71\n80,25 72\n", {20.5, 40, 80.25}, {70.25, 71, 72}},
      {"comma and space separators", "20, 70.5, 0\n40, 71, 0\n80, 72, 0\n,,\n ; \n", {20, 40, 80}, {70.5, 71, 72}},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    ReadError e;
    const auto m = ParseMeasurement(f.text, &e);
    ASSERT_TRUE(m.has_value()) << ReadErrorText(e, "m.txt", Language::English);
    EXPECT_EQ(m->hz, f.hz);
    EXPECT_EQ(m->db, f.db);
  }
}

TEST(MeasurementReader, BadFilesNameTheLine) {
  struct Bad {
    const char* text;
    ReadError::Kind kind;
    int line;
    const char* inMessage;
  };
  const std::vector<Bad> cases = {
      {"20 70\n10 71\n30 72\n", ReadError::Kind::FrequencyNotRising, 2, "line 2"},
      {"20 70\n20 71\n30 72\n", ReadError::Kind::FrequencyNotRising, 2, "rise"},
      {"10 70\n0 71\n30 72\n", ReadError::Kind::FrequencyNotRising, 2, "line 2"},
      {"20 70\n30\n40 70\n", ReadError::Kind::TooFewValues, 2, "line 2"},
      {"20 70\n30 x\n40 70\n", ReadError::Kind::NotNumber, 2, "\"x\""},
      {"20 70\n30 nan\n40 70\n", ReadError::Kind::BadLevel, 2, "\"nan\" is not a valid level"},
      {"20 70\n30 1e300\n40 70\n", ReadError::Kind::BadLevel, 2, "line 2"},
      {"20 70\n30 999\n40 70\n", ReadError::Kind::BadLevel, 2, "-50 to 200 dB SPL"},
      {"20 70\n30 -51\n40 70\n", ReadError::Kind::BadLevel, 2, "\"-51\""},
      {"* c\n20 70\n30 71\nFreq SPL\n40 72\n", ReadError::Kind::HeaderNotFirst, 4, "line 4"},
      {"20 70\n30 71\n", ReadError::Kind::TooFewPoints, 0, "at least 3"},
      {"", ReadError::Kind::TooFewPoints, 0, "has 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ReadError e;
    EXPECT_FALSE(ParseMeasurement(c.text, &e).has_value());
    EXPECT_EQ(e.kind, c.kind);
    EXPECT_EQ(e.line, c.line);
    EXPECT_NE(ReadErrorText(e, "m.txt", Language::English).find(c.inMessage), std::string::npos)
        << ReadErrorText(e, "m.txt", Language::English);
    EXPECT_FALSE(ReadErrorText(e, "m.txt", Language::Chinese).empty());
  }
}

// Files as users have them, written by measurement programs, spreadsheets and FFT tools.
TEST(MeasurementReader, ReadsFilesAsUsersHaveThem) {
  const std::vector<GoodFile> files = {
      {"FRD with quoted comments",
       "\"Driver XYZ\"\n\"measured 1 m on axis\"\n20 80 0\n40 81 0\n80 82 0\n",
       {20, 40, 80},
       {80, 81, 82}},
      {"title and column header",
       "Front left, seat 1\nFrequency\tSPL\tPhase\n20\t80\t0\n40\t81\t0\n80\t82\t0\n",
       {20, 40, 80},
       {80, 81, 82}},
      {"quoted CSV", "\"Freq\",\"SPL\"\n\"20\",\"80.5\"\n\"40\",\"81\"\n\"80\",\"82\"\n", {20, 40, 80}, {80.5, 81, 82}},
      {"a footer", "20 80\n40 81\n80 82\nEnd of data\nExported by a tool\n", {20, 40, 80}, {80, 81, 82}},
      {"CR line ends", "* REW\r20 80\r40 81\r80 82\r", {20, 40, 80}, {80, 81, 82}},
      {"the DC bin first", "0 60\n20 80\n40 81\n80 82\n", {20, 40, 80}, {80, 81, 82}},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    ReadError e;
    ReadNotes notes;
    const auto m = ParseMeasurement(f.text, &e, &notes);
    ASSERT_TRUE(m.has_value()) << ReadErrorText(e, "m.txt", Language::English);
    EXPECT_EQ(m->hz, f.hz);
    EXPECT_EQ(m->db, f.db);
    EXPECT_EQ(notes.droppedAtOrBelowZero, std::string_view(f.name) == "the DC bin first" ? 1 : 0);
  }
  ReadNotes notes{1, 1};
  EXPECT_NE(ReadNotesText(notes, "m.txt", Language::English).find("m.txt, line 1: 1 point(s) at or below 0 Hz"),
            std::string::npos);

  // UTF-16 with its byte-order mark, as some Windows tools save text.
  const std::string path = ::testing::TempDir() + "utf16.txt";
  {
    const std::string text = "* x\r\n20 80\r\n40 81\r\n80 82\r\n";
    std::ofstream out(path, std::ios::binary);
    out << "\xFF\xFE";
    for (char ch : text) out << ch << '\0';
  }
  ReadError e;
  const auto m = ReadMeasurementFile(path, &e);
  ASSERT_TRUE(m.has_value()) << ReadErrorText(e, "utf16.txt", Language::English);
  EXPECT_DOUBLE_EQ(m->hz.front(), 20);
  EXPECT_DOUBLE_EQ(m->hz.back(), 80);
  std::remove(path.c_str());
}

// Kept at 1/96 octave whatever the file holds: a dense FFT export becomes small, and each point
// is the mean of its own 1/96 octave.
TEST(MeasurementReader, KeepsMeasurementsAtAFixedResolution) {
  Measurement dense;
  for (double f = 20; f <= 20000; f += 0.5) {
    dense.hz.push_back(f);
    dense.db.push_back(80 + ((static_cast<int>(f * 2) % 2) ? 1.0 : -1.0));  // alternate +-1 dB
  }
  const Measurement kept = Resampled(dense);
  EXPECT_LE(kept.size(), 10u * 96 + 2);
  EXPECT_DOUBLE_EQ(kept.hz.front(), 20);
  EXPECT_DOUBLE_EQ(kept.hz.back(), dense.hz.back());
  for (std::size_t k = 1; k + 1 < kept.size(); ++k) {
    if (kept.hz[k] >= 500) {
      EXPECT_NEAR(kept.db[k], 80, 0.2) << kept.hz[k];
    }
  }
}

TEST(MeasurementReader, MissingFileAndBinaryFile) {
  ReadError e;
  EXPECT_FALSE(ReadMeasurementFile("/nonexistent/dir/m.txt", &e).has_value());
  EXPECT_EQ(e.kind, ReadError::Kind::CannotOpen);
  EXPECT_NE(ReadErrorText(e, "m.txt", Language::English).find("m.txt"), std::string::npos);

  const std::string path = ::testing::TempDir() + "binary.mdat";
  {
    std::ofstream out(path, std::ios::binary);
    out << "20 70\n30 71\n" << std::string("\x01\x00\x02", 3);
  }
  EXPECT_FALSE(ReadMeasurementFile(path, &e).has_value());
  EXPECT_EQ(e.kind, ReadError::Kind::NotNumber);
  EXPECT_EQ(e.line, 3);
  std::remove(path.c_str());
}

TEST(Smoothing, MatchesHandComputedMeans) {
  // A triangle in log frequency: 0 dB at 100 Hz, 6 dB at 200 Hz, 0 dB at 400 Hz.
  const Measurement m{{100, 200, 400}, {0, 6, 0}};
  const Measurement octave = Smooth(m, 1);
  // At 200 Hz the window is 141..283 Hz: a line from 3 up to 6 and back to 3 averages 4.5.
  EXPECT_NEAR(octave.db[1], 4.5, 1e-12);
  // At 100 Hz the window is cut at the measurement's start: 0 up to 3 averages 1.5.
  EXPECT_NEAR(octave.db[0], 1.5, 1e-12);
  EXPECT_NEAR(octave.db[2], 1.5, 1e-12);
  // Half an octave: 4.5 up to 6 and back, 5.25.
  EXPECT_NEAR(Smooth(m, 2).db[1], 5.25, 1e-12);
  // The fraction is limited to 1..48 octave.
  EXPECT_EQ(Smooth(m, 0).db, octave.db);
}

TEST(Grid, InterpolatesInLogFrequencyInsideTheMeasurementOnly) {
  const Measurement m{{100, 1000, 10000}, {0, 10, 10}};
  const GridCurve c = OnGrid(m);
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    SCOPED_TRACE(grid[i]);
    EXPECT_EQ(c.has[i], grid[i] >= 100 && grid[i] <= 10000);
    if (c.has[i] && grid[i] <= 1000) {
      EXPECT_NEAR(c.db[i], 10 * std::log10(grid[i] / 100), 1e-9);
    }
  }
}

TEST(Targets, CarCurveAndTargetFiles) {
  const Target car = CarTarget();
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = grid[i];
    if (f <= 60) {
      EXPECT_DOUBLE_EQ(car[i], 7.0);
    }
    if (f >= 250 && f <= 1000) {
      EXPECT_DOUBLE_EQ(car[i], 0.0);
    }
  }
  EXPECT_DOUBLE_EQ(car[kGridPoints - 1], -4.0);
  // 125 Hz lies log(125/60)/log(250/60) of the way down the bass slope.
  EXPECT_NEAR(car[NearestGridIndex(125)], 7.0 * (1 - std::log(125.0 / 60) / std::log(250.0 / 60)), 1e-9);
  // 4.47 kHz is half way (in log frequency) from 1 kHz to 20 kHz.
  EXPECT_NEAR(car[NearestGridIndex(4490)], -4.0 * std::log(4490.0 / 1000) / std::log(20.0), 1e-9);

  const Target fromFile = TargetFromMeasurement(Measurement{{100, 1000, 10000}, {3, 0, -3}});
  EXPECT_DOUBLE_EQ(fromFile[0], 3.0);  // below the file: its first level
  EXPECT_DOUBLE_EQ(fromFile[kGridPoints - 1], -3.0);

  std::string error;
  EXPECT_FALSE(TargetByName("/nonexistent/t.txt", Language::English, &error).has_value());
  EXPECT_FALSE(error.empty());
}

TEST(Compare, LevelMatchRemovesAConstantShift) {
  GridCurve c = GridCurve::Full(CarTarget());
  for (double& v : c.db) v += 5;
  const GridRange all = RangeOf(20, 20000);
  const Deviation matched = Compare(c, CarTarget(), all, true);
  EXPECT_NEAR(matched.rms, 0, 1e-9);
  EXPECT_NEAR(matched.offset, 5, 1e-9);
  EXPECT_NEAR(Compare(c, CarTarget(), all, false).rms, 5, 1e-9);
}

}  // namespace
}  // namespace zelto::measure
