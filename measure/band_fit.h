#pragma once
// Fitting a channel's peaking bands to a wanted response, and the two uses of it: importing REW
// filters and the automatic EQ from a measurement. Every response here is the one curves/ computes
// for the processor's own bands (its frequency grid, 0.1 dB gain steps, bandwidth table), so what
// a fit promises is what the graph shows and the processor does.

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "core/encodings.h"
#include "curves/filter.h"
#include "measure/measurement.h"
#include "measure/rew_filters.h"

namespace zelto {
class CKTVEQ;
}

namespace zelto::measure {

inline constexpr int kDefaultBandwidthIndex = 15;  // 0.2 octave, the reset width
inline constexpr int kMinBandwidthIndex = 4;       // 0.09 octave: narrower indices give the same
inline constexpr int kMaxBandwidthIndex = kQTableSize - 1;
inline constexpr double kBandGainStepDb = 0.1;
inline constexpr double kBandMinDb = -20.0;
inline constexpr double kBandMaxDb = 20.0;

/// One peaking band as the processor holds it.
struct BandSetting {
  int hz = 1000;  // as set; the response is computed at the nearest grid frequency
  int gainCode = kGainCodeFlat;
  int bandwidthIndex = kDefaultBandwidthIndex;
  double GainDb() const { return gainCode * kBandGainStepDb + kBandMinDb; }
  bool IsFlat() const { return gainCode == kGainCodeFlat; }
  bool operator==(const BandSetting&) const = default;
};

/// A flat band at `hz` with the reset width.
BandSetting FlatBand(int hz);
/// The response in dB of one band or of several, as curves/ computes them.
std::array<double, kGridPoints> BandResponse(const BandSetting& band);
std::array<double, kGridPoints> BandsResponse(std::span<const BandSetting> bands);

// ---- the channel --------------------------------------------------------------------------------

/// The channel's bands (a band that is off reads as flat).
std::vector<BandSetting> BandsOf(const CKTVEQ& eq);
/// The response of every filter of the channel (bands and crossovers), as the graph sums it.
std::array<double, kGridPoints> ChannelResponseOf(const CKTVEQ& eq);
/// The response of the channel's high-pass and low-pass, which fits leave alone.
std::array<double, kGridPoints> CrossoverResponseOf(const CKTVEQ& eq);

/// A measurement of a channel with the channel's response at the moment it was loaded (taken to
/// be the settings in place while measuring). Any other setting is predicted by adding the
/// difference between the channel's response then and now.
struct ChannelMeasurement {
  Measurement measurement;
  std::array<double, kGridPoints> keptResponse{};
  /// The measurement, smoothed to 1/`smoothing` octave (0: as read), on the grid.
  GridCurve Measured(int smoothing = 0) const;
  /// What the channel would measure with the response `now`.
  GridCurve Predicted(const std::array<double, kGridPoints>& now, int smoothing = 0) const;
};

// ---- fitting ------------------------------------------------------------------------------------

struct FitGoal {
  std::array<double, kGridPoints> wanted{};
  /// 1 where the deviation counts, 0 where it does not.
  std::array<double, kGridPoints> weight{};
  /// The wanted response may shift by a constant (the level is matched).
  bool levelMatch = false;
};

struct FitLimits {
  int bands = 31;
  /// What one band may boost or cut.
  double maxBoostDb = kBandMaxDb;
  double maxCutDb = kBandMinDb;
  /// Bounds on the summed response of the fitted bands at each grid point (none: only the bands'
  /// own limits). Both must allow 0 dB, where a fit starts.
  std::optional<std::array<double, kGridPoints>> upper;
  std::optional<std::array<double, kGridPoints>> lower;
  /// A band is only added when it lowers the mean square deviation (dB^2) by at least this much.
  double minImprovement = 0.0;
  /// How many bands may share one grid frequency, and how many grid points apart (1 or more) two
  /// bands must at least lie.
  int maxPerPlace = 2;
  int minSpacing = 0;
  /// Grid points where a band may be centred.
  GridRange places{};
  /// Stop adding bands once every weighted point is within this of the goal (0: never), and drop
  /// the bands whose gain is below half of it.
  double flatnessDb = 0.0;
  /// Spend bands on cuts first and only then on boosts.
  bool cutsFirst = false;
};

/// Peaking bands (at most limits.bands, none of them flat) whose summed response comes as close
/// to the goal as the processor's bands allow, least squares over the weighted grid. `start`
/// bands are kept and refined; more are added where the remaining difference is largest.
std::vector<BandSetting> FitBands(const FitGoal& goal, const FitLimits& limits, std::vector<BandSetting> start = {});

/// The fitted bands placed in a channel's slots (`centres`, rising): in order of frequency, each
/// in a slot near its frequency; the other slots flat at their own centres.
std::vector<BandSetting> AssignToSlots(std::vector<BandSetting> fitted, std::span<const int> centres);

/// A slot left flat keeps the frequency and width it has in `current`: only its gain changes.
void KeepUnusedSlots(std::vector<BandSetting>& bands, std::span<const BandSetting> current);

// ---- REW filter import --------------------------------------------------------------------------

/// The frequencies of the fine grid the import's figures are computed on: 1/96 octave from 20 Hz
/// to 20 kHz, fine enough that no ripple between the processor's 241 grid points goes unseen.
inline constexpr int kFinePointsPerOctave = 96;
const std::vector<double>& FineGrid();
/// The response of bands at the fine grid's frequencies, as curves/ designs them.
std::vector<double> BandsResponseAt(std::span<const BandSetting> bands, std::span<const double> hz);

struct ImportResult {
  std::vector<BandSetting> bands;  // one per slot
  /// The bands' response against the file's cookbook response on the fine grid, 20 Hz .. 20 kHz.
  Deviation deviation;
  /// What the bands cannot reproduce: filters narrower than a band, outside 20 Hz-20 kHz, more
  /// filters than bands.
  std::vector<RewNote> notes;
};
/// `current` (the channel's bands now, if given) keeps the frequency and width of every slot the
/// import leaves flat, so nothing but its gain changes there.
ImportResult ImportRewFilters(std::span<const RewFilter> filters, std::span<const int> centres,
                              std::span<const BandSetting> current = {});

/// The channel's bands that are not flat, for RewFilterText.
std::vector<BandForExport> BandsForExport(std::span<const BandSetting> bands);

}  // namespace zelto::measure
