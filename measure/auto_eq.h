#pragma once
// The automatic EQ of one channel from a measurement, as an experienced installer would set it:
// within the channel's pass band, keeping its crossover slopes, cuts before boosts, no boost into
// a cancellation or below the speaker's own roll-off, limits on the summed response, bands outside
// the range left as they are, and no more bands than it takes to meet a flatness goal.

#include <array>
#include <optional>
#include <vector>

#include "measure/band_fit.h"

namespace zelto::measure {

inline constexpr double kDefaultMaxBoostDb = 6.0;
inline constexpr double kDefaultCutLimitDb = 12.0;
inline constexpr double kDefaultFlatnessDb = 1.0;
inline constexpr double kMaxLimitDb = 20.0;
inline constexpr int kReportSmoothing = 6;  // 1/6 octave

struct HzRange {
  double loHz = 0;
  double hiHz = 0;
  bool operator==(const HzRange&) const = default;
};

/// Where the channel plays: its high-pass and low-pass corners, 20 Hz / 20 kHz where one is off.
HzRange PassBandOf(const CKTVEQ& eq);

struct AutoEqRequest {
  ChannelMeasurement measured;
  /// The channel's high-pass and low-pass response now; the result keeps its slopes.
  std::array<double, kGridPoints> crossoverResponse{};
  /// The channel's bands now. Those outside the range stay as they are; the others are free.
  std::vector<BandSetting> currentBands;
  /// The channel's default band centres (its slots).
  std::vector<int> centres;
  Target target{};
  /// The channel's pass band, and the range asked for (none: the pass band).
  HzRange passBand{kFilterMinHz, kFilterMaxHz};
  std::optional<HzRange> range;
  double maxBoostDb = kDefaultMaxBoostDb;
  /// The deepest the bands together may cut, as a positive number of dB.
  double cutLimitDb = kDefaultCutLimitDb;
  double flatnessDb = kDefaultFlatnessDb;
  /// Nothing is boosted below this; none: the measured -6 dB point of the channel's low end.
  std::optional<double> lowCutHz;
};

/// A narrow dip (a cancellation) left alone: where, how deep below its surroundings, how wide at
/// half its depth.
struct Dip {
  double hz = 0;
  double depthDb = 0;
  double widthOctaves = 0;
};

struct AutoEqResult {
  enum class Status { Fitted, Unchanged, NoOverlap };
  Status status = Status::Fitted;
  std::vector<BandSetting> bands;  // one per slot
  /// The range used, and whether the one asked for reached into a stop band and was narrowed.
  HzRange range;
  bool rangeNarrowed = false;
  HzRange passBand;
  /// Level-matched deviation from the target with the crossovers' slopes over the range at 1/6
  /// octave, before and after.
  Deviation before;
  Deviation after;
  /// Bands set (not flat), of which those the fit placed; the rest were outside the range.
  int bandsUsed = 0;
  int bandsFitted = 0;
  /// Where the result stays below (boost) or above (cut) the target because the summed limit holds.
  std::vector<HzRange> boostLimited;
  std::vector<HzRange> cutLimited;
  /// Narrow dips not boosted.
  std::vector<Dip> dipsLeft;
  /// Below this nothing was boosted, and whether it is the measured -6 dB point (or the user's).
  double lowCutHz = 0;
  bool lowCutMeasured = false;
  /// The predicted result and the target it is compared with (target + crossovers, at the
  /// measurement's level), 1/6 octave.
  GridCurve predicted;
  Target reference{};
};

AutoEqResult AutoEq(const AutoEqRequest& request);

/// What the automatic EQ of a channel is asked for besides the measurement.
struct AutoEqOptions {
  Target target{};
  /// None: the channel's pass band.
  std::optional<HzRange> range;
  double maxBoostDb = kDefaultMaxBoostDb;
  double cutLimitDb = kDefaultCutLimitDb;
  double flatnessDb = kDefaultFlatnessDb;
  std::optional<double> lowCutHz;
};
/// The request for a channel whose filters are `eq` now, measured as `measured`.
AutoEqRequest RequestForChannel(const CKTVEQ& eq, ChannelMeasurement measured, const AutoEqOptions& options);

}  // namespace zelto::measure
