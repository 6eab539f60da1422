#pragma once
// The automatic tuning: from every channel measured at every microphone position it works out the
// delays that make all arrivals at the listening position coincide, the phase switches that make
// neighbouring drivers add at their crossover, the output gains that put every channel at one
// level over its pass band (by cutting only), and each channel's EQ against the target. Applying
// it is one step of the history, so a single undo puts the tuning from before back.
//
// Everything here but Apply is pure: the measurements and the settings they were made with in,
// the new settings out.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acoustics/response.h"
#include "core/encodings.h"
#include "measure/auto_eq.h"
#include "measure/band_fit.h"
#include "measure/measurement.h"

namespace zelto {
class Editor;
class CKTV_Data;
}  // namespace zelto

namespace zelto::acoustics {

struct RunResult;

/// Which side a channel plays: its neighbours for the polarity are on the same side; a channel fed
/// from both inputs (a subwoofer, a centre) neighbours both sides.
enum class Side { Left, Right, Both };

/// One channel as measured, with the settings it had while it was.
struct TuneChannel {
  int channel = 0;
  Side side = Side::Both;
  /// A rear speaker: its neighbours are rear speakers; a subwoofer neighbours the front.
  bool rear = false;
  /// At the centre (first) position, including the delay it had.
  double arrivalMs = 0;
  /// The sign of the impulse's first peak: a weak vote, used only to orient a group of drivers.
  bool firstPeakInverted = false;
  /// The centre position's response, its phase relative to the arrival.
  Response centre;
  /// The power average over the positions.
  measure::Measurement average;
  /// The channel's own response (EQ and crossovers) while it was measured.
  std::array<double, kGridPoints> keptResponse{};
  std::array<double, kGridPoints> crossoverResponse{};
  double passLoHz = 20;
  double passHiHz = 20000;
  int delayCode = 0;
  int phase = 0;
  int gainCode = 60;
  std::vector<measure::BandSetting> bands;
};

struct TuneOptions {
  measure::Target target = measure::FlatTarget();
  double maxBoostDb = measure::kDefaultMaxBoostDb;
  bool equalise = true;
};

/// Levels are compared over the pass band within these limits.
inline constexpr double kLevelLoHz = 40;
inline constexpr double kLevelHiHz = 16000;

struct ChannelTuning {
  int channel = 0;
  int delayCode = 0;
  int phase = 0;
  int gainCode = 60;
  std::vector<measure::BandSetting> bands;
  bool flipped = false;  // the phase switch changed
  /// Level above the target over the pass band, before and as predicted after (dB).
  double levelBeforeDb = 0;
  double levelAfterDb = 0;
  measure::Deviation eqBefore;
  measure::Deviation eqAfter;
  bool equalised = false;
  /// Where the EQ may not lift the response to the target (nulls, the boost limit).
  std::vector<measure::HzRange> boostLimited;
  /// The delay it needs exceeds the processor's.
  bool delayLimited = false;
};

struct Tuning {
  std::vector<ChannelTuning> channels;
  /// Largest minus smallest arrival at the centre position, before and as set (ms).
  double spreadBeforeMs = 0;
  double spreadAfterMs = 0;
  /// Largest minus smallest level over the pass bands, before and as predicted (dB).
  double levelSpreadBeforeDb = 0;
  double levelSpreadAfterDb = 0;
};

/// The delay codes that align `acousticMs` (arrivals without any delay) on the latest, which gets
/// none; a channel that would need more than the processor has gets its most (and `limited`).
std::vector<int> AlignDelays(std::span<const double> acousticMs, std::vector<bool>* limited = nullptr);

/// Whether each channel's phase switch should change. Every pair that can be compared speaks: the
/// drivers of one side across their crossover (a subwoofer with the front's lowest drivers), and the
/// left and right drivers of one kind over their common band, each by how their complex sum
/// compares with one of them reversed. The switches that agree best with all pairs win; between a
/// set and its opposite, the one that turns fewer drivers. `residualMs` is each channel's arrival
/// after the new delays.
std::vector<bool> DecidePolarity(std::span<const TuneChannel> channels, std::span<const double> residualMs);

/// New output gains (dB) that bring every channel's level (`levelDb`, measured with `gainDb`) to
/// the same value, never above 0 dB gain.
std::vector<int> MatchLevels(std::span<const double> levelDb, std::span<const int> gainDb);

/// The channel's EQ against the target on its position-averaged response. Kept in one place so the
/// fit it uses can change under it.
measure::AutoEqResult EqualiseChannel(const TuneChannel& c, const TuneOptions& options);

Tuning ComputeTuning(std::span<const TuneChannel> channels, const TuneOptions& options);

/// Sends the tuning through the editor as one step of the history.
void ApplyTuning(Editor& editor, const Tuning& tuning);

/// The measured channels of a run with the settings the processor has now (which are the ones
/// they were measured with: the procedure puts everything back before it returns).
std::vector<TuneChannel> TuneChannelsOf(const RunResult& run, const CKTV_Data& data);

/// Where a speaker of the processor's channel type plays: its side and whether it is a rear one;
/// none for a type that does not say (empty, custom).
struct Placement {
  Side side = Side::Both;
  bool rear = false;
};
std::optional<Placement> PlacementOfType(int typeCode);

/// The channel's level above the target over its pass band (dB), from its averaged response.
double PassBandLevel(const measure::Measurement& average, const measure::Target& target, double passLoHz,
                     double passHiHz);

}  // namespace zelto::acoustics
