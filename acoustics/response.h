#pragma once
// Frequency responses from impulse responses, and what is done with them afterwards: the
// microphone's calibration, averaging over microphone positions, the measurement EQ's form and
// REW's text export.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acoustics/calibration.h"
#include "acoustics/deconvolution.h"
#include "core/encodings.h"
#include "measure/measurement.h"

namespace zelto::acoustics {

/// Levels in dB at rising frequencies; phase in degrees (−180..180], empty where it has no
/// meaning (a position average, an RTA).
struct Response {
  std::vector<double> hz;
  std::vector<double> db;
  std::vector<double> phaseDeg;
};

/// The time window cut around the arrival before the transform (REW's convention): a half-Hann
/// rise over `leftMs` before the peak, flat after it, and a half-Hann fall over the last `taper`
/// fraction of `rightMs`. A long right side (hundreds of ms) includes the car's reflections, as an
/// ear and an RTA hear them; a short one shows the direct sound.
/// The left side is long by default (REW's 125 ms): a window that cuts in front of the arrival
/// loses the slow rise of the lowest octave (at 20 Hz a 10 ms side costs half a decibel); the
/// second harmonic's product still limits it (AnalysisOptions).
struct IrWindow {
  double leftMs = 125.0;
  double rightMs = 500.0;
  double taper = 0.25;
};

/// The windowed frequency response at the bins of a power-of-two transform covering the window
/// (DC left out), phase relative to the sub-sample arrival. The window is shortened where the
/// response would otherwise wrap into the harmonic products or past the buffer.
Response FrequencyResponse(const ImpulseResponse& ir, const Arrival& arrival, const IrWindow& window);

/// Subtracts the microphone's correction (interpolated in log frequency) and its sensitivity
/// factor from every level: a microphone that reads 1 dB high at a frequency is corrected 1 dB
/// down there.
void ApplyCalibration(Response& r, const MicCalibration& cal);

/// The power average 10 log10(mean 10^(dB/10)) of responses (positions), on the first one's
/// frequencies (the others interpolated in log frequency; each held at its ends). Phase is
/// dropped: it has no meaning across positions.
Response PowerAverage(std::span<const Response> responses);

/// The response as the measurement EQ takes it.
measure::Measurement ToMeasurement(const Response& r);

/// REW's text export: `*` comment lines (with `note`), then "frequency SPL phase" per line.
std::string RewText(const Response& r, const std::string& note);
/// Writes RewText to `path` (replacing it only when complete). Nothing, or the reason.
std::optional<std::string> WriteRewText(const std::string& path, const Response& r, const std::string& note,
                                        Language lang = Language::English);

}  // namespace zelto::acoustics
