#pragma once
// REW's filter text ("Filter Settings file"): reading its filters, the response they describe
// (the audio-EQ-cookbook designs, at the processor's own sample rate and grid), and writing a
// channel's bands back in that form.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/encodings.h"

namespace zelto::measure {

struct RewFilter {
  enum class Kind {
    Peaking,     // PK, PEQ
    LowShelf,    // LS, LSC (with a Q), LS 12dB
    HighShelf,   // HS, HSC (with a Q), HS 12dB
    LowShelf1,   // LS 6dB: first order
    HighShelf1,  // HS 6dB
  };
  Kind kind = Kind::Peaking;
  double hz = 1000;  // peaking centre, shelf midpoint
  double gainDb = 0;
  double q = 0.7071067811865476;
  int line = 0;
};

struct RewFilterError {
  enum class Kind {
    CannotOpen,
    NoFilters,     // no "Filter N:" line at all: not a filter file
    UnknownType,   // `text` is the type as written
    MissingValue,  // `text` names the value (Fc, Gain, Q)
    BadValue,      // `text` is the value as written
  };
  Kind kind = Kind::CannotOpen;
  int line = 0;
  std::string text;
};

struct RewFilterFile {
  std::vector<RewFilter> filters;
  /// The "Preamp:" level, when the file gives one. A channel's bands cannot carry it.
  std::optional<double> preampDb;
};

/// Reads the filters of a REW filter text. Lines "Filter N: ON <type> Fc … Hz Gain … dB Q …" give
/// the filters; OFF lines and the type None are skipped; any other line is not a filter. LSC and
/// HSC give the shelf's corner (where its own gain begins), the others the midpoint.
std::optional<RewFilterFile> ParseRewFilters(std::string_view text, RewFilterError* error);
std::optional<RewFilterFile> ReadRewFilterFile(const std::string& path, RewFilterError* error);
std::string RewFilterErrorText(const RewFilterError& error, const std::string& path, Language lang);

/// The response in dB at the grid frequencies of one cookbook filter, evaluated as the processor's
/// filters are (the same sample rate and angles).
std::array<double, kGridPoints> CookbookResponse(const RewFilter& filter);
/// The sum of the filters' responses.
std::array<double, kGridPoints> CookbookResponse(std::span<const RewFilter> filters);

/// A peaking band of the processor as the cookbook describes it: its grid centre, gain and the Q
/// whose cookbook response equals the band's (the processor's bandwidth carries twice the
/// cookbook's octave factor, so this is not the Q the editor shows).
RewFilter CookbookEquivalent(int hz, double gainDb, int bandwidthIndex);

/// One band to write: frequency as set, gain in dB, bandwidth index.
struct BandForExport {
  int hz = 1000;
  double gainDb = 0;
  int bandwidthIndex = 15;
};
/// A REW filter text (Generic equaliser, PK lines) for the bands; `note` goes on the Notes line.
std::string RewFilterText(std::span<const BandForExport> bands, std::string_view note);

}  // namespace zelto::measure
