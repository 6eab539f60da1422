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
/// Gives the channel's bands these settings (one per slot, from the first) through the band
/// setters, and only what differs, so only that is marked to be sent. A band set flat is off.
void SetBandsOf(CKTVEQ& eq, std::span<const BandSetting> bands);
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
  double maxBoostDb = kBandMaxDb;
  double maxCutDb = kBandMinDb;
  /// The bands together may not boost beyond maxBoostDb at any grid frequency either.
  bool limitSummedBoost = false;
  /// A band is only added when it lowers the mean square deviation (dB^2) by at least this much.
  double minImprovement = 0.0;
};

/// Peaking bands (at most limits.bands, none of them flat) whose summed response comes as close
/// to the goal as the processor's bands allow, least squares over the weighted grid. `start`
/// bands are kept and refined; more are added where the remaining difference is largest.
std::vector<BandSetting> FitBands(const FitGoal& goal, const FitLimits& limits, std::vector<BandSetting> start = {});

/// The fitted bands placed in a channel's slots (`centres`, rising): in order of frequency, each
/// in a slot near its frequency; the other slots flat at their own centres.
std::vector<BandSetting> AssignToSlots(std::vector<BandSetting> fitted, std::span<const int> centres);

// ---- REW filter import --------------------------------------------------------------------------

struct ImportResult {
  std::vector<BandSetting> bands;  // one per slot
  /// The bands' response against the file's cookbook response, 20 Hz .. 20 kHz.
  Deviation deviation;
};
/// `current` (the channel's bands now, if given) keeps the frequency and width of every slot the
/// import leaves flat, so nothing but its gain changes there.
ImportResult ImportRewFilters(std::span<const RewFilter> filters, std::span<const int> centres,
                              std::span<const BandSetting> current = {});

/// The channel's bands that are not flat, for RewFilterText.
std::vector<BandForExport> BandsForExport(std::span<const BandSetting> bands);

// ---- automatic EQ -------------------------------------------------------------------------------

inline constexpr double kDefaultMaxBoostDb = 6.0;
inline constexpr int kReportSmoothing = 6;  // 1/6 octave

struct AutoEqRequest {
  ChannelMeasurement measured;
  /// The channel's response now of the filters the EQ leaves alone (the crossovers).
  std::array<double, kGridPoints> fixedResponse{};
  /// The channel's bands now; they stay when nothing better is found.
  std::vector<BandSetting> currentBands;
  /// The channel's default band centres (its slots).
  std::vector<int> centres;
  Target target{};
  double loHz = 20;
  double hiHz = 20000;
  double maxBoostDb = kDefaultMaxBoostDb;
};

struct HzRange {
  double loHz = 0;
  double hiHz = 0;
};

struct AutoEqResult {
  enum class Status { Fitted, Unchanged, NoOverlap };
  Status status = Status::Fitted;
  std::vector<BandSetting> bands;  // one per slot
  /// Level-matched deviation from the target over the range at 1/6 octave, before and after.
  Deviation before;
  Deviation after;
  /// Where the result stays below the target because the bands may boost no further.
  std::vector<HzRange> boostLimited;
  /// The predicted result (1/6 octave).
  GridCurve predicted;
};
AutoEqResult AutoEq(const AutoEqRequest& request);

}  // namespace zelto::measure
