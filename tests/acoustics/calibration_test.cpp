#include "acoustics/calibration.h"

#include <gtest/gtest.h>

#include <cmath>

#include "acoustics/response.h"

namespace zelto::acoustics {
namespace {

TEST(Calibration, CommonFormsAreRead) {
  const struct {
    const char* what;
    const char* text;
    std::optional<double> sens;
    const char* serial;
  } cases[] = {
      {"quoted sensitivity line, tabs, phase column",
       "\"Sens Factor =-.7423dB, AGain =18dB, SERNO: 7023245\"\r\n10.054\t-0.31\t12\r\n1000\t0\t0\r\n", -0.7423,
       "7023245"},
      {"unquoted sensitivity, header row, comments",
       "Sens Factor =1.2dB, SERNO: A99\nFreq(Hz) dB\n* note\n10.054 -0.31\n1000 0\n", 1.2, "A99"},
      {"plain points, commas, byte order mark", "\xEF\xBB\xBF; a comment\n10.054,-0.31\n\n1000,0\n", std::nullopt, ""},
      {"a sensitivity at 1 kHz in dBV is no sensitivity factor", "*1000Hz -40.3\n10.054 -0.31\n1000 0\n", std::nullopt,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = ParseCalibration(c.text);
    ASSERT_TRUE(std::holds_alternative<MicCalibration>(r));
    const MicCalibration& cal = std::get<MicCalibration>(r);
    EXPECT_EQ(cal.hz, (std::vector<double>{10.054, 1000}));
    EXPECT_EQ(cal.db, (std::vector<double>{-0.31, 0}));
    EXPECT_EQ(cal.sensFactorDb, c.sens);
    EXPECT_EQ(cal.serial, c.serial);
  }
}

TEST(Calibration, BadFilesNameTheLine) {
  using K = CalibrationError::Kind;
  const struct {
    const char* text;
    K kind;
    int line;
  } cases[] = {
      {"20 0\n30 x\n", K::NotNumber, 2},
      {"20 0\n40 1\nend\n", K::NotNumber, 3},
      {"20 0\n20 1\n", K::FrequencyNotRising, 2},
      {"0 0\n20 1\n", K::BadFrequency, 1},
      {"20 0\n30 75\n", K::BadLevel, 2},
      {"20 0\n30\n", K::TooFewValues, 2},
      {"\"Sens Factor =-1dB\"\n20 0\n", K::TooFewPoints, 0},
      {"", K::TooFewPoints, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto r = ParseCalibration(c.text);
    ASSERT_TRUE(std::holds_alternative<CalibrationError>(r));
    EXPECT_EQ(std::get<CalibrationError>(r).kind, c.kind);
    EXPECT_EQ(std::get<CalibrationError>(r).line, c.line);
  }
  const auto missing = ReadCalibrationFile("/nonexistent/cal.txt");
  ASSERT_TRUE(std::holds_alternative<CalibrationError>(missing));
  EXPECT_NE(CalibrationErrorText(std::get<CalibrationError>(missing), "cal.txt", Language::English).find("cannot read"),
            std::string::npos);
}

TEST(Calibration, AppliedAtAndBetweenItsPointsHeldBeyondThem) {
  MicCalibration cal = std::get<MicCalibration>(ParseCalibration("Sens Factor =-2dB\n100 1\n1000 3\n"));
  Response r{{50, 100, std::sqrt(100.0 * 1000.0), 1000, 5000}, {0, 0, 0, 0, 0}, {}};
  ApplyCalibration(r, cal);
  // Less the correction, and a microphone 2 dB less sensitive than nominal reads 2 dB up.
  EXPECT_EQ(r.db, (std::vector<double>{1, 1, 0, -1, -1}));
}

TEST(Response, PositionsArePowerAveraged) {
  const Response a{{100, 1000}, {0, 6}, {10, 20}};
  const Response b{{100, 1000}, {-300, 0}, {0, 0}};
  const Response c{{50, 200, 2000}, {0, 0, 0}, {}};  // other frequencies: interpolated
  const Response avg = PowerAverage(std::vector<Response>{a, b, c});
  ASSERT_EQ(avg.hz, a.hz);
  EXPECT_NEAR(avg.db[0], 10 * std::log10(2.0 / 3), 1e-9);
  EXPECT_NEAR(avg.db[1], 10 * std::log10((std::pow(10, 0.6) + 2) / 3), 1e-9);
  EXPECT_TRUE(avg.phaseDeg.empty());
}

TEST(Response, RewTextIsReadBackByTheMeasurementReader) {
  const Response r{{20, 1000.5, 20000}, {-3.25, 0, 1.5}, {-10, 0, 179.5}};
  measure::ReadError error;
  const auto m = measure::ParseMeasurement(RewText(r, "Source: test\nsecond line"), &error);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->hz, r.hz);
  EXPECT_EQ(m->db, r.db);
  EXPECT_EQ(ToMeasurement(r).db, r.db);
}

}  // namespace
}  // namespace zelto::acoustics
