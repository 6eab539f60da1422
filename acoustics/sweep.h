#pragma once
// The excitation signals of a measurement: the exponential (logarithmic) sine sweep of Farina
// ("Simultaneous measurement of impulse response and distortion with a swept-sine technique",
// AES 108th convention, 2000) with raised-cosine fades, and the short high-frequency sweep that a
// reference speaker plays before it as an acoustic timing reference.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/encodings.h"

namespace zelto::acoustics {

/// A sweep starts an octave below the band that matters and ends beyond 20 kHz where the rate
/// allows: the inverse filter's band edges and its fades then lie outside 20 Hz..20 kHz, which
/// comes out flat. It stops at 24 kHz even at 96 kHz, which a tweeter need not hear.
inline constexpr double kDefaultStartHz = 10.0;
inline constexpr double kDefaultEndHz = 24000.0;
/// kDefaultEndHz, or the highest end the rate allows when that is lower.
double DefaultEndHz(int sampleRate);

struct SweepParams {
  int sampleRate = 48000;
  double startHz = kDefaultStartHz;
  double endHz = 21600.0;    // DefaultEndHz(48000)
  double seconds = 2.0;      // the sweep itself, fades included
  double levelDbfs = -6.0;   // peak level
  double tailSeconds = 0.0;  // silence after the sweep, so a recorder hears the decay
};

inline constexpr double kMinSweepSeconds = 0.05;
inline constexpr double kMaxSweepSeconds = 60.0;
inline constexpr double kMaxTailSeconds = 10.0;
inline constexpr double kMinSweepLevelDbfs = -80.0;

/// Nothing when the sweep can be made, else the reason: rates outside 8..768 kHz, a start below
/// 1 Hz or not below the end, an end above 0.45 × the rate (where the band-limited sweep would
/// alias), a length or level out of range.
std::optional<std::string> CheckSweep(const SweepParams& p, Language lang = Language::English);

/// x(t) = A sin(2π f1 L (e^(t/L) − 1)), L = T / ln(f2/f1): each octave takes the same time, so
/// the k-th harmonic of the response appears L ln k before the linear impulse response after
/// deconvolution. Half-Hann fades over the first third of an octave and the last twelfth keep
/// the ends from clicking; the deconvolution divides by the faded sweep, so they cost no accuracy
/// inside the band. Followed by `tailSeconds` of silence. Empty when CheckSweep refuses `p`.
std::vector<float> ExponentialSweep(const SweepParams& p);

/// How far before the linear impulse response the k-th harmonic distortion product lands.
double HarmonicLeadSeconds(const SweepParams& p, int harmonic);

// ---- acoustic timing reference -----------------------------------------------------------------

/// The sweep a reference speaker plays first: short and high (2 kHz up), so it locates the
/// stream's start sharply in time whatever the latency of the devices.
SweepParams TimingReferenceSweep(int sampleRate);
/// Silence between the reference and the measurement sweep, long enough for the reference's decay
/// at its high frequencies (the latency of the streams does not matter: the analysis finds the
/// reference wherever it lies).
inline constexpr double kReferenceGapSeconds = 0.2;
/// The reference's level at least: a short high sweep on a speaker with a high-pass.
inline constexpr double kReferenceMinLevelDbfs = -20.0;

/// Silence after the measurement sweep before the closing reference: the car's decay at the
/// reference's high frequencies is over by then.
inline constexpr double kClosingGapSeconds = 0.2;

/// The two tracks of a measurement with an acoustic timing reference, equally long: the reference
/// speaker's (the short sweep at the start, and the same sweep played backwards from
/// `closingOffset` on, after the measurement sweep) and the measured speaker's (the measurement
/// sweep from `measurementOffset` on). The closing reference tells whether the chain kept its
/// latency while the measurement sweep played: an audio server that runs dry or drops sound
/// shifts everything after it, which no analysis of the sweep alone could see.
struct ReferencedStream {
  std::vector<float> reference;
  std::vector<float> measurement;
  std::size_t measurementOffset = 0;
  std::size_t closingOffset = 0;  // 0: no closing reference
};
ReferencedStream MakeReferencedStream(const SweepParams& sweep);

}  // namespace zelto::acoustics
