#pragma once
// The measurement procedure that the window and zeltoctl both drive: for each microphone position
// and each chosen output channel it routes the test signal to that channel alone (through the
// edit layer, outside the history), checks the level, plays the sweep with its timing reference,
// analyses the recording, and at the end — also after an error, a cancel or a lost link — puts
// back every setting it changed. Safety comes first: a channel that could be hurt by low
// frequencies is never played, levels start low and rise only while the microphone hears too
// little, and a recording that clips or is too quiet is refused with the reason.
//
// Threads: Run runs on the front end's thread (it calls the Editor); the host's calls come back
// on it. Only the cancel flag is touched from elsewhere.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "acoustics/analysis.h"
#include "acoustics/calibration.h"
#include "acoustics/response.h"
#include "acoustics/measurement_routing.h"
#include "core/device_image.h"
#include "core/encodings.h"
#include "measure/measurement.h"

namespace zelto {
class Editor;
}
namespace zelto::measure {
class ChannelMeasurements;
}

namespace zelto::acoustics {

// ---- safety -------------------------------------------------------------------------------------

/// A channel is swept only when its high-pass keeps everything below this away from the speaker,
/// or when it drives a speaker made for low frequencies.
inline constexpr int kSafeHighPassHz = 200;

enum class Safety {
  HighPass,      // high-pass at kSafeHighPassHz or above
  BassType,      // its channel type is a woofer, mid-low, full-range or subwoofer
  MarkedByUser,  // the user marked it full-range or bass
  Unsafe,
};
/// Whether a channel type (the processor's channel type table) names a speaker made for bass.
bool BassOrFullRangeType(int channelType);
Safety SafetyOf(int highPassHz, int channelType, bool markedFullRange);
inline bool MayPlay(Safety s) { return s != Safety::Unsafe; }
std::string SafetyText(Safety s, Language lang);

// ---- levels -------------------------------------------------------------------------------------

inline constexpr double kStartLevelDbfs = -30;
inline constexpr double kLevelStepDb = 6;
/// The level check rises until the microphone hears the probe this far above the noise.
inline constexpr double kWantedSnrDb = 40;
inline constexpr double kLevelProbeSeconds = 0.5;
/// Recorded after a sweep ends until the chain's latency is known: sound cards, an audio server
/// and a processor between them can take this long to give the sound back.
inline constexpr double kUnknownChainTailSeconds = 1.5;
/// Recorded after a sweep beyond the chain's latency: the car's decay.
inline constexpr double kDecayTailSeconds = 0.3;
/// How often a sweep is played when the audio system's latency changes while it plays.
inline constexpr int kSweepAttempts = 3;

/// Two seconds put the second harmonic's product 90 ms before the response, room enough for the
/// window's left side to keep 20 Hz exact (see IrWindow); the end is capped at the rate's limit.
struct SweepOptions {
  double startHz = kDefaultStartHz;
  double endHz = kDefaultEndHz;
  double seconds = 2.0;
  double startLevelDbfs = kStartLevelDbfs;
  double maxLevelDbfs = -6;
};

// ---- the procedure ------------------------------------------------------------------------------

struct MeasurementPlan {
  /// Output channels, 0-based, in the order measured.
  std::vector<int> channels;
  int positions = 1;
  /// The processor input (mix source 0..11) that the sound card's output feeds.
  int inputSource = 0;
  int outputDevice = 0;
  int outputChannel = 0;
  int inputDevice = 0;
  int inputChannel = 0;
  /// Timing from a loopback: the sound card's output `loopbackOut` is wired to its input
  /// `loopbackIn`; the sweep plays on both, and arrivals count from the loopback's.
  std::optional<int> loopbackOut;
  std::optional<int> loopbackIn;
  /// Acoustic timing: a short high sweep from this output channel, fed through processor input
  /// `referenceSource` from sound card output `referenceOutput`, before every measurement sweep;
  /// arrivals count from the reference speaker's.
  std::optional<int> referenceChannel;
  int referenceSource = 1;
  int referenceOutput = 1;
  int sampleRate = audio::kDefaultSampleRate;
  SweepOptions sweep;
  std::array<bool, kOutputChannels> markedFullRange{};
  /// Applied to every response.
  std::optional<MicCalibration> calibration;
  /// Empty: nothing is written.
  std::string outDir;
};

enum class Stage { Routing, LevelCheck, Sweep, Analysis, Restoring };

struct Progress {
  int channel = 0;
  int position = 0;  // 0-based
  Stage stage = Stage::Routing;
  /// Of the whole run, 0..1.
  double done = 0;
  float inputPeak = 0;
  double levelDbfs = 0;
};

/// What the front end does for the procedure.
class MeasurementHost {
 public:
  virtual ~MeasurementHost() = default;
  /// Waits until the processor has every change made so far; false when the link is gone.
  virtual bool Settle() = 0;
  /// Asks the user to move the microphone to position `position` (0-based) of `count`; false
  /// cancels.
  virtual bool MoveMicrophone(int position, int count) = 0;
  virtual void Report(const Progress& progress) = 0;
  /// A recording of `channel` was refused (too quiet, clipped, unusable); the run goes on.
  virtual void Rejected(int channel, int position, const std::string& reason) = 0;
};

struct ChannelResult {
  int channel = 0;
  Safety safety = Safety::Unsafe;
  /// Why it was not measured (not safe, every recording refused); empty when it was.
  std::string refused;
  std::vector<Response> positions;
  /// Which microphone position (0-based) each of `positions` was measured at: a refused
  /// recording leaves its position out.
  std::vector<int> positionIndex;
  /// The power average over the positions, as the measurement EQ takes it.
  measure::Measurement response;
  /// The first position's impulse response.
  std::vector<float> impulse;
  int sampleRate = 0;
  /// From the timing reference (loopback or reference speaker) when there is one, else from the
  /// start of the sweep in the recording (which includes the sound card's latency).
  double arrivalMs = 0;
  bool inverted = false;
  double levelDbfs = 0;
  double peakDbfs = 0;
  /// The channel's own response while it was measured, so the prediction stays exact.
  std::array<double, kGridPoints> keptResponse{};
  double passLoHz = 20;
  double passHiHz = 20000;
  std::vector<std::string> files;
  bool Measured() const { return refused.empty() && !positions.empty(); }
};

struct RunResult {
  std::vector<ChannelResult> channels;
  bool cancelled = false;
  bool linkLost = false;
  /// The settings were put back and the processor has them (else the guard keeps its record).
  bool restored = false;
  std::string error;
};

class MeasurementRun {
 public:
  MeasurementRun(Editor& editor, audio::AudioSystem& audio, MeasurementGuard& guard, Language lang = Language::English)
      : editor_(editor), audio_(audio), guard_(guard), lang_(lang) {}

  /// Checks the plan and each channel's safety without sound.
  std::vector<ChannelResult> Check(const MeasurementPlan& plan, std::string* error);
  RunResult Run(const MeasurementPlan& plan, MeasurementHost& host, const audio::CancelFlag& cancel);

 private:
  std::optional<double> LevelCheck(const MeasurementPlan& plan, int channel, MeasurementHost& host,
                                   const audio::CancelFlag& cancel, std::string* refused);
  /// False when the sweep should be played again (the audio system changed its latency on the
  /// way, which `lastTry` refuses instead).
  bool Measure(const MeasurementPlan& plan, ChannelResult& result, int position, double level, MeasurementHost& host,
               const audio::CancelFlag& cancel, RunResult& run, bool lastTry);
  void Save(const MeasurementPlan& plan, ChannelResult& result, int position, const Analysis& analysis,
            std::span<const float> recording, RunResult& run);
  void SaveRefused(const MeasurementPlan& plan, ChannelResult& result, int position, std::span<const float> recording,
                   RunResult& run);
  std::vector<Route> RoutesFor(const MeasurementPlan& plan, int channel) const;

  Editor& editor_;
  audio::AudioSystem& audio_;
  MeasurementGuard& guard_;
  Language lang_;
  /// How long after a sweep the recording goes on: the longest latency heard so far (from the
  /// level probes, whose arrivals hold it) and the decay; long while none has been heard.
  double TailSeconds(double atLeast) const;

  int totalSteps_ = 1;
  int stepsDone_ = 0;
  // Every channel and position plays the same sweep: its inverse filter is made once.
  AnalysisWorkspace workspace_;
  std::optional<double> chainSeconds_;
};

/// Checks a plan and each channel's safety without sound (the panel shows it before a run).
std::vector<ChannelResult> CheckPlan(Editor& editor, const MeasurementPlan& plan, Language lang, std::string* error);

/// Hands each measured channel to the measurement EQ as that channel's measurement.
void HandOver(const RunResult& result, measure::ChannelMeasurements& held);

}  // namespace zelto::acoustics
