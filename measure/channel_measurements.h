#pragma once
// The measurements an editor holds while it runs: per output channel a measurement with the
// channel's response when it was loaded, the target it is compared with and the settings of the
// automatic EQ last used for it, and the curves the response graph draws from them. The curves
// are placed at the target's level (the measurement's median difference from the target over
// the EQ range), the way the automatic EQ places the target, so a proposal that meets the target
// is drawn on it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/device_image.h"
#include "core/encodings.h"
#include "measure/auto_eq.h"
#include "measure/band_fit.h"
#include "measure/measurement.h"

namespace zelto::measure {

/// The target a channel is compared with.
struct TargetChoice {
  enum class Kind { Flat, Car, File };
  Kind kind = Kind::Car;
  std::string path;  // Kind::File: the file it was read from
  Target curve = CarTarget();

  static TargetChoice Flat() { return {Kind::Flat, {}, FlatTarget()}; }
  static TargetChoice Car() { return {Kind::Car, {}, CarTarget()}; }
  static TargetChoice FromFile(std::string path, const Measurement& m) {
    return {Kind::File, std::move(path), TargetFromMeasurement(m)};
  }
};

/// What the automatic EQ of a channel is asked for.
struct AutoEqSettings {
  TargetChoice target;
  double loHz = kFilterMinHz;
  double hiHz = kFilterMaxHz;
  double maxBoostDb = kDefaultMaxBoostDb;
  double cutLimitDb = kDefaultCutLimitDb;
  double flatnessDb = kDefaultFlatnessDb;
  /// The options of the automatic EQ for these settings.
  AutoEqOptions Options() const;
};

/// The curves of the graph, as they are drawn.
enum class ShownCurve { Measured, Target, Predicted, Proposed };
inline constexpr int kShownCurveCount = 4;

/// Smoothing of the drawn measurement: 1/N octave, 0 for none.
inline constexpr std::array<int, 7> kDisplaySmoothings = {0, 48, 24, 12, 6, 3, 1};
inline constexpr int kDefaultDisplaySmoothing = kReportSmoothing;

/// One channel's curves for the graph, in graph dB.
struct ChannelCurves {
  GridCurve measured;
  GridCurve target;
  GridCurve predicted;
  std::optional<GridCurve> proposed;
};

class ChannelMeasurements {
 public:
  ChannelMeasurements();

  /// Holds `m` for `channel`, measured with the channel's response `kept` (its response now).
  /// The EQ range starts as the channel's pass band `passLoHz`..`passHiHz` the first time.
  void Set(int channel, Measurement m, const std::array<double, kGridPoints>& kept, std::string path,
           double passLoHz = kFilterMinHz, double passHiHz = kFilterMaxHz);
  void Clear(int channel);
  bool Has(int channel) const;
  const ChannelMeasurement* Of(int channel) const;
  /// The file the channel's measurement was read from (empty without one).
  const std::string& PathOf(int channel) const;

  const AutoEqSettings& SettingsOf(int channel) const;
  /// Changes the target, range and boost limit of a channel; the drawn level follows.
  void SetSettings(int channel, const AutoEqSettings& settings);

  /// Drawn smoothing of every measurement (one of kDisplaySmoothings).
  void SetSmoothing(int fraction);
  int Smoothing() const { return smoothing_; }

  void SetShown(ShownCurve curve, bool shown);
  bool Shown(ShownCurve curve) const { return shown_[static_cast<std::size_t>(curve)]; }

  /// Bands proposed for a channel (the automatic EQ's result, not yet applied), drawn as the
  /// prediction they would give with the channel's crossovers `crossovers` now.
  void SetProposal(int channel, std::span<const BandSetting> bands, const std::array<double, kGridPoints>& crossovers);
  void ClearProposal();
  std::optional<int> ProposalChannel() const { return proposalChannel_; }

  /// The curves of `channel` when its response is `now` and that of its crossovers `crossovers`;
  /// nothing without a measurement. The target is drawn with the crossovers' slopes, as the
  /// automatic EQ aims at it, and the curves are placed at its level.
  std::optional<ChannelCurves> CurvesOf(int channel, const std::array<double, kGridPoints>& now,
                                        const std::array<double, kGridPoints>& crossovers = {}) const;
  /// The level the channel's curves are moved down by to meet the target (dB).
  double LevelOf(int channel) const;

  /// Counts the changes of what the recovery file keeps (not of a proposal), so that its bytes
  /// are made again only when something changed.
  std::uint64_t Revision() const { return revision_; }

 private:
  friend std::vector<std::uint8_t> MeasurementsBytes(const ChannelMeasurements& held);
  friend std::optional<ChannelMeasurements> MeasurementsFromBytes(std::span<const std::uint8_t> bytes);

  struct Held {
    ChannelMeasurement m;
    std::string path;
    GridCurve shown;   // at the drawn smoothing
    GridCurve report;  // at the automatic EQ's smoothing, which places the level
    double level = 0;  // measurement level above the target
  };
  void Recompute(int channel);
  bool Valid(int channel) const { return channel >= 0 && channel < kOutputChannels; }

  std::array<std::optional<Held>, kOutputChannels> held_;
  std::array<AutoEqSettings, kOutputChannels> settings_{};
  std::array<bool, kOutputChannels> rangeSet_{};
  std::array<bool, kShownCurveCount> shown_{true, true, true, true};
  int smoothing_ = kDefaultDisplaySmoothing;
  std::optional<int> proposalChannel_;
  std::array<double, kGridPoints> proposal_{};  // the channel's response with the proposed bands
  std::uint64_t revision_ = 0;
};

/// The level of `measured` above `target`: the median difference over the grid points of `range`
/// where the measurement is defined (0 where there are none).
double LevelAbove(const GridCurve& measured, const Target& target, GridRange range);

}  // namespace zelto::measure
