#pragma once
// One recorded sweep analysed: the level check that refuses what cannot be trusted, the impulse
// response, arrival time, polarity and the windowed, calibrated frequency response; with a timing
// reference (a loopback channel or an acoustic reference sweep) the arrival is measured against
// it, so a stream's changing latency drops out.

#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "acoustics/calibration.h"
#include "acoustics/deconvolution.h"
#include "acoustics/response.h"
#include "acoustics/sweep.h"
#include "acoustics/workspace.h"
#include "core/encodings.h"

namespace zelto::acoustics {

inline constexpr double kClipLevel = 0.999;        // |sample| at or above: the recording clipped
inline constexpr double kMinSnrDb = 20.0;          // signal above the noise floor, or refused
inline constexpr double kMinPeakToNoiseDb = 30.0;  // an impulse response this clear or the sweep was not heard
// Recording and sweep together, in frames: the transforms of a longer one would take gigabytes.
inline constexpr std::size_t kMaxAnalysedFrames = std::size_t{1} << 24;
inline constexpr double kMaxBandDelaySpreadSeconds = 0.05;  // octaves further apart: another sweep

struct AnalysisOptions {
  double lowHz = 20.0;  // the band the excitation covers (OptionsFor gives a sweep's own)
  double highHz = 20000.0;
  IrWindow window;
  /// Caps the left window below the second harmonic's product when known (HarmonicLeadSeconds).
  std::optional<double> harmonicLeadSeconds;
  const MicCalibration* calibration = nullptr;
  double minSnrDb = kMinSnrDb;
};
/// The options that fit a sweep made with `p`.
AnalysisOptions OptionsFor(const SweepParams& p);

/// Why a recording was refused.
struct Rejection {
  enum class Reason {
    Empty,
    RateMismatch,
    TooShort,
    TooLong,
    Clipped,
    NotFound,
    LoopbackNotFound,
    TooQuiet,
    TimingChanged,  // the closing reference came at another time than the opening one
  };
  Reason reason = Reason::Empty;
  double peakDbfs = 0;
  double snrDb = 0;
  std::size_t clippedSamples = 0;
  int rate = 0, expectedRate = 0;
  std::string Text(Language lang) const;
};

/// Levels of a recording: the peak, and the signal and the noise floor as RMS over the sweep and
/// over the parts of the recording before the sound arrives and after it has decayed (nothing
/// when those parts are too short to tell).
struct Levels {
  double peakDbfs = -300;
  std::size_t clippedSamples = 0;
  std::optional<double> signalDbfs;
  std::optional<double> noiseDbfs;
  std::optional<double> snrDb;
};

struct Analysis {
  Arrival arrival;       // in the recording (or against the reference)
  double arrivalMs = 0;  // arrival.samples in ms; relative to the reference when one was used
  double irPeakDb = 0;   // the impulse response's peak, dB re the excitation
  Levels levels;
  Response response;  // windowed, calibrated
  /// The impulse response around the arrival (some ms before it, up to a second after), with the
  /// time of its first sample: time 0 is the start of the excitation, or the reference's arrival.
  std::vector<float> ir;
  double irStartSamples = 0;
  std::optional<double> referenceArrivalSamples;  // where the reference was found in the recording
  double DistanceCm() const;                      // arrivalMs as a distance at the processor's speed of sound
};

using AnalysisOrRejection = std::variant<Analysis, Rejection>;

/// Analyses `recording` (mono) of `excitation` played at `sampleRate`; the recording's time 0 is
/// the start of the excitation's playback.
AnalysisOrRejection Analyse(std::span<const float> recording, std::span<const float> excitation, int sampleRate,
                            const AnalysisOptions& options);
/// The same in `workspace`, whose filters and buffers the next analysis reuses (each function
/// below has this form too).
AnalysisOrRejection Analyse(std::span<const float> recording, std::span<const float> excitation, int sampleRate,
                            const AnalysisOptions& options, AnalysisWorkspace& workspace);

/// As Analyse, with a loopback channel (the output wired back to an input of the same device and
/// recorded in the same stream): the arrival is the microphone's minus the loopback's.
AnalysisOrRejection AnalyseWithLoopback(std::span<const float> recording, std::span<const float> loopback,
                                        std::span<const float> excitation, int sampleRate,
                                        const AnalysisOptions& options);
AnalysisOrRejection AnalyseWithLoopback(std::span<const float> recording, std::span<const float> loopback,
                                        std::span<const float> excitation, int sampleRate,
                                        const AnalysisOptions& options, AnalysisWorkspace& workspace);

/// As Analyse, for a stream made by MakeReferencedStream: the reference speaker's short sweep
/// first, the measurement sweep after it. The arrival is measured from the reference's arrival,
/// so speakers measured against the same reference compare to the sample whatever the latency.
AnalysisOrRejection AnalyseWithAcousticReference(std::span<const float> recording, const ReferencedStream& stream,
                                                 const SweepParams& sweep, const AnalysisOptions& options);
AnalysisOrRejection AnalyseWithAcousticReference(std::span<const float> recording, const ReferencedStream& stream,
                                                 const SweepParams& sweep, const AnalysisOptions& options,
                                                 AnalysisWorkspace& workspace);

/// The levels of a recording whose excitation (active between activeStart and activeEnd of it)
/// arrived at `arrivalSample`; what lies before `quietBefore` (a sample of the recording) and
/// after the decay counts as noise, except for [loudFrom, loudTo): other sound the stream played.
Levels MeasureLevels(std::span<const float> recording, long long arrivalSample, std::size_t activeStart,
                     std::size_t activeEnd, int sampleRate, long long quietBefore, long long loudFrom = 0,
                     long long loudTo = 0);

}  // namespace zelto::acoustics
