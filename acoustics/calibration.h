#pragma once
// Measurement microphone calibration files in their common text form: an optional first line
// such as `"Sens Factor =-1.23dB, AGain =18dB, SERNO: 1234567"`, comment or header lines, then
// one "frequency dB [phase]" line per point (fields separated by spaces, tabs, commas or
// semicolons). A 0° and a 90° file have the same form; which applies depends on how the
// microphone pointed, so the user picks the file.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/encodings.h"

namespace zelto::acoustics {

struct MicCalibration {
  std::vector<double> hz;  // rising, positive
  std::vector<double> db;  // what the microphone reads above the true level at hz
  std::optional<double> sensFactorDb;
  std::string serial;

  /// The correction at `hz`: straight lines in log frequency between the points, the end values
  /// held beyond them.
  double DbAt(double hz) const;
};

struct CalibrationError {
  enum class Kind {
    CannotOpen,
    TooLarge,
    NotNumber,
    TooFewValues,
    FrequencyNotRising,
    BadFrequency,
    BadLevel,
    TooFewPoints
  };
  Kind kind = Kind::CannotOpen;
  int line = 0;  // 1-based; 0 when no line is to blame
  std::string text;
};

inline constexpr std::size_t kMaxCalibrationBytes = 4u << 20;
// A correction beyond this is no calibration of a measurement microphone but a wrong file.
inline constexpr double kMaxCalibrationDb = 60.0;

std::variant<MicCalibration, CalibrationError> ParseCalibration(std::string_view text);
std::variant<MicCalibration, CalibrationError> ReadCalibrationFile(const std::string& path);
/// The message for an error, naming the file and the line.
std::string CalibrationErrorText(const CalibrationError& e, const std::string& path, Language lang);

}  // namespace zelto::acoustics
