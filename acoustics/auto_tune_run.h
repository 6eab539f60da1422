#pragma once
// The automatic tuning as a user runs it, for the window and zeltoctl alike: measure every chosen
// channel at every microphone position, work out the tuning, send it as one step of the history,
// measure again, and report before and after in the figures an installer judges it by.
//
// Threads: as MeasurementRun — on the front end's thread, the host's calls come back on it.

#include <string>
#include <utility>
#include <vector>

#include "acoustics/auto_tune.h"
#include "acoustics/measurement_run.h"
#include "measure/auto_eq.h"

namespace zelto::acoustics {

/// What the listener hears, from channels measured one at a time: each position's channels added
/// in power (their arrivals are known at the centre position only, so a coherent sum would be a
/// guess elsewhere), then the positions averaged.
struct SummedFigures {
  measure::Deviation averaged;
  /// Not a number for a position where a channel's recording was refused.
  std::vector<double> perPositionRms;
  /// The positions' average as it was compared: 1/6 octave, on the grid, in the measurement's
  /// own level (`averaged.offset` above the target); empty when there was nothing to compare.
  measure::Measurement curve;
};

struct TuneFigures {
  std::vector<std::pair<int, double>> arrivalsMs;  // channel, arrival at the centre position
  double arrivalSpreadMs = 0;
  double levelSpreadDb = 0;
  SummedFigures summed;
};

TuneFigures FiguresOf(const RunResult& run, const measure::Target& target);

struct AutoTuneReport {
  RunResult before;
  RunResult after;
  Tuning tuning;
  bool tuned = false;     // the tuning was sent and the processor has it
  bool verified = false;  // and was measured again
  TuneFigures figuresBefore;
  TuneFigures figuresAfter;
  /// What could not be fixed and why, one line per finding, in the run's language.
  std::vector<std::string> notFixed;
  /// Why the run stopped early; empty when it did not.
  std::string error;
  bool cancelled = false;
  bool linkLost = false;
};

class AutoTuneRun {
 public:
  AutoTuneRun(Editor& editor, audio::AudioSystem& audio, MeasurementGuard& guard, Language lang = Language::English)
      : editor_(editor), measurement_(editor, audio, guard, lang), lang_(lang) {}

  AutoTuneReport Run(const MeasurementPlan& plan, const TuneOptions& options, MeasurementHost& host,
                     const audio::CancelFlag& cancel);

 private:
  Editor& editor_;
  MeasurementRun measurement_;
  Language lang_;
};

}  // namespace zelto::acoustics
