#pragma once
// Measured responses: reading the files measurement programs write, fractional-octave smoothing,
// interpolation onto the processor's 241-point frequency grid, and target curves. Pure functions;
// nothing here knows a channel or a window.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/encodings.h"

namespace zelto::measure {

/// A magnitude response as measured: frequencies in Hz (positive, rising) and levels in dB.
struct Measurement {
  std::vector<double> hz;
  std::vector<double> db;
  std::size_t size() const { return hz.size(); }
};

/// A curve on the frequency grid. `has[i]` is false where the source did not reach grid point i.
struct GridCurve {
  std::array<double, kGridPoints> db{};
  std::array<bool, kGridPoints> has{};
  /// A curve defined at every grid point.
  static GridCurve Full(const std::array<double, kGridPoints>& db);
};

/// Why a measurement file could not be read; `line` is 1-based (0 when no line is to blame).
struct ReadError {
  enum class Kind {
    CannotOpen,    // the file cannot be opened or read
    TooLarge,      // larger than any measurement
    NotNumber,     // `text` is not a number
    TooFewValues,  // a data line without frequency and level
    FrequencyNotPositive,
    FrequencyNotRising,
    BadLevel,        // a level that is not finite or not between kMinLevelDb and kMaxLevelDb
    TooFewPoints,    // fewer than kMinPoints data lines
    HeaderNotFirst,  // data again after a line that ended it
  };
  Kind kind = Kind::CannotOpen;
  int line = 0;
  std::string text;
};

inline constexpr std::size_t kMinPoints = 3;
inline constexpr std::size_t kMaxFileBytes = 32u << 20;
/// Levels a measurement in dB SPL can hold; anything else is not one.
inline constexpr double kMinLevelDb = -50.0;
inline constexpr double kMaxLevelDb = 200.0;
/// The resolution a measurement is kept at once read: 1/96 octave.
inline constexpr int kKeptPointsPerOctave = 96;

/// What a reader passed over without failing.
struct ReadNotes {
  /// Points at or below 0 Hz (the DC bin of an FFT export) left out, and the first one's line.
  int droppedAtOrBelowZero = 0;
  int firstDroppedLine = 0;
};

/// A finite decimal number with an optional leading '+', the whole of `s`; nothing otherwise.
std::optional<double> Number(std::string_view s);

/// A file's text as UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 (either byte order, with
/// its mark) is converted.
std::string TextOfFile(std::span<const std::uint8_t> bytes);

/// Reads REW's text export, an FRD file or a CSV file. Lines before the data that are not data
/// (comments starting with `"`, `*`, `#` or `;`, titles, column headers) are passed over, and so
/// are those after it (a footer); fields are separated by spaces, tabs, commas or semicolons and
/// may be quoted, and a comma is a decimal comma on a line where it does not separate fields. Lines
/// end in LF, CRLF or CR. The third and later fields (phase) are ignored.
std::optional<Measurement> ParseMeasurement(std::string_view text, ReadError* error, ReadNotes* notes = nullptr);
/// Reads a measurement file (see ParseMeasurement) and keeps it at 1/96 octave (Resampled).
std::optional<Measurement> ReadMeasurementFile(const std::string& path, ReadError* error, ReadNotes* notes = nullptr);
/// The note for what a reader passed over (empty when nothing).
std::string ReadNotesText(const ReadNotes& notes, const std::string& path, Language lang);

/// The measurement at 1/`pointsPerOctave` octave from its first to its last frequency, each
/// point the mean level over its own 1/`pointsPerOctave` octave, so that a dense FFT export is
/// kept small and none of its detail finer than that is lost to aliasing.
Measurement Resampled(const Measurement& m, int pointsPerOctave = kKeptPointsPerOctave);
/// The message for a read error, naming the file and the line.
std::string ReadErrorText(const ReadError& error, const std::string& path, Language lang);

inline constexpr int kMinSmoothingFraction = 1;   // 1 octave
inline constexpr int kMaxSmoothingFraction = 48;  // 1/48 octave
/// 1/`fraction`-octave smoothing: at each point the mean level over a window one 1/`fraction`
/// octave wide centred on it (in log frequency, the measurement read as straight lines between
/// its points), the window cut where the measurement ends. `fraction` is limited to 1..48.
Measurement Smooth(const Measurement& m, int fraction);

/// The measurement at the grid frequencies, straight lines in log frequency between its points;
/// grid points outside the measured range are left out (`has` false).
GridCurve OnGrid(const Measurement& m);

// ---- targets ------------------------------------------------------------------------------------

/// A target response over the whole grid.
using Target = std::array<double, kGridPoints>;
Target FlatTarget();
/// +7 dB at and below 60 Hz, falling straight in log frequency to 0 dB at 250 Hz, 0 dB to 1 kHz,
/// then straight in log frequency to -4 dB at 20 kHz.
Target CarTarget();
/// A target from a measurement file's curve: grid points beyond its ends take the nearest end's
/// level.
Target TargetFromMeasurement(const Measurement& m);
/// "flat", "car" or a file name. Nothing (and `error` set) when the file cannot be read.
std::optional<Target> TargetByName(const std::string& nameOrPath, Language lang, std::string* error);

// ---- comparing curves ---------------------------------------------------------------------------

/// Grid points with frequencies in [loHz, hiHz].
struct GridRange {
  int first = 0;
  int last = kGridPoints - 1;
  bool Contains(int i) const { return i >= first && i <= last; }
};
GridRange RangeOf(double loHz, double hiHz);

struct Deviation {
  double rms = 0;
  double max = 0;     // largest |difference|
  double maxHz = 0;   // where it is
  double offset = 0;  // level shift applied to the reference (level match), dB
  int points = 0;
};
/// Deviation of `curve` from `reference` over the grid points of `range` where `curve` is defined;
/// with `levelMatch` the reference is first shifted by the mean difference.
Deviation Compare(const GridCurve& curve, const Target& reference, GridRange range, bool levelMatch);

}  // namespace zelto::measure
