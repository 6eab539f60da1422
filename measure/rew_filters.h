#pragma once
// REW's filter text ("Filter Settings file"): reading its filters as REW writes them in any locale,
// the response they describe (the audio-EQ-cookbook designs of curves/filter_design, at the
// processor's own sample rate), and writing a channel's bands back in that form.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/encodings.h"

namespace zelto::measure {

/// One filter as the cookbook describes it: every shelf type of the file is turned into its gain
/// midpoint and quality when it is read.
struct RewFilter {
  enum class Kind { Peaking, LowShelf, HighShelf };
  Kind kind = Kind::Peaking;
  double hz = 1000;  // peaking centre, shelf gain midpoint
  double gainDb = 0;
  double q = 0.7071067811865476;
  int line = 0;
};

/// How the frequency of an LSC / HSC line is taken. REW's own equaliser and Equalizer APO read it
/// as the shelf's gain midpoint; some older readers took it as the corner where the shelf's own
/// gain begins, 10^(|gain| / 80) away from the midpoint.
enum class ShelfConvention { Midpoint, Corner };

struct RewReadOptions {
  ShelfConvention lscFrequency = ShelfConvention::Midpoint;
};

struct RewFilterError {
  enum class Kind {
    CannotOpen,
    NoFilters,        // no "Filter N:" line at all: not a filter file
    NothingToImport,  // filter lines, but none of a type the bands can shape
    MissingValue,     // `text` names the value (Fc, Gain, Q)
    BadValue,         // `text` is the value as written
    AmbiguousNumber,  // `text` could be a decimal or a grouped thousand ("20,000")
  };
  Kind kind = Kind::CannotOpen;
  int line = 0;
  std::string text;
};

/// Something of the file the import leaves out or cannot reproduce, named with its line.
struct RewNote {
  enum class Kind {
    SkippedType,     // `text`: the type; the channel's own crossovers do that work
    QBeyondBand,     // `value`: the Q; narrower than the processor's narrowest band
    OutsideRange,    // `value`: the frequency, outside 20 Hz-20 kHz
    TooManyFilters,  // `value`: how many filters, more than the channel's bands
    Preamp,          // `value`: the preamp in dB, which the bands do not carry
  };
  Kind kind = Kind::SkippedType;
  int line = 0;
  double value = 0;
  std::string text;
  bool operator==(const RewNote&) const = default;
};

struct RewFilterFile {
  std::vector<RewFilter> filters;
  /// The "Preamp:" level, when the file gives one. A channel's bands cannot carry it.
  std::optional<double> preampDb;
  /// Lines read but left out (types the bands cannot shape).
  std::vector<RewNote> notes;
};

/// Reads the filters of a REW filter text. Lines "Filter N: ON <type> Fc … Hz Gain … dB Q …" (also
/// "Filter:" without a number) give the filters; OFF lines and the type None are skipped; pass,
/// notch and all-pass types are skipped with a note; any other line is not a filter. Numbers may
/// carry a decimal comma or thousands grouping; a frequency that could be read either way is
/// refused with its line.
std::optional<RewFilterFile> ParseRewFilters(std::string_view text, RewFilterError* error,
                                             const RewReadOptions& options = {});
std::optional<RewFilterFile> ReadRewFilterFile(const std::string& path, RewFilterError* error,
                                               const RewReadOptions& options = {});
std::string RewFilterErrorText(const RewFilterError& error, const std::string& path, Language lang);
std::string RewNoteText(const RewNote& note, Language lang);

/// The response in dB at the grid frequencies of the filters (cookbook designs at the processor's
/// sample rate and angles).
std::array<double, kGridPoints> CookbookResponse(std::span<const RewFilter> filters);
std::array<double, kGridPoints> CookbookResponse(const RewFilter& filter);
/// The same at any frequencies.
std::vector<double> CookbookResponseAt(std::span<const RewFilter> filters, std::span<const double> hz);

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
