#pragma once
// From a recorded sweep to the impulse response, and what the impulse response tells at once:
// where it arrives, which way round, how strong.

#include <cstddef>
#include <span>
#include <vector>

#include "acoustics/fft.h"

namespace zelto::acoustics {

/// The regularised inverse of an excitation (Kirkeby and Nelson, "Digital filter design for
/// inversion problems in sound reproduction", JAES 47(7/8), 1999): conj(S) / (|S|² + ε(f)) with a
/// tiny ε inside the excitation's band and a large one outside it, so the band is inverted exactly
/// and nothing is amplified where the sweep has no energy. For an exponential sweep this is
/// Farina's inverse filter made exact (his time-reversed, 6 dB/octave-weighted sweep only
/// approximates it near the band edges).
class InverseFilter {
 public:
  /// For recordings of up to `maxRecordingFrames` frames. The FFT is large enough that the
  /// deconvolution is linear, not circular: every time from −excitation length to the end of the
  /// recording has its own sample.
  InverseFilter(std::span<const float> excitation, int sampleRate, double lowHz, double highHz,
                std::size_t maxRecordingFrames);
  /// The transform size a filter for these lengths has.
  static std::size_t FftSizeFor(std::size_t excitationFrames, std::size_t maxRecordingFrames);
  std::size_t FftSize() const { return fft_.Size(); }
  std::size_t ExcitationFrames() const { return excitationFrames_; }
  int SampleRate() const { return sampleRate_; }
  double LowHz() const { return lowHz_; }
  double HighHz() const { return highHz_; }
  const ComplexVector& Spectrum() const { return inverse_; }

 private:
  Fft fft_;
  std::size_t excitationFrames_;
  int sampleRate_;
  double lowHz_, highHz_;
  ComplexVector inverse_;
};

/// An impulse response as the deconvolution leaves it: `samples` (FftSize of them) hold time 0 at
/// index 0; times before 0 (harmonic distortion products, a recording started late) wrap around
/// to the end.
struct ImpulseResponse {
  int sampleRate = 0;
  std::size_t excitationFrames = 0;
  RealVector samples;
  /// How far apart in time the octave bands of the response arrive (samples; bands more than
  /// 30 dB below the strongest left out). A path delays its octaves by a few ms against each
  /// other at most; a recording of another sweep deconvolves into a chirp whose octaves lie as far
  /// apart as the two sweeps' lengths differ.
  double bandDelaySpread = 0;

  /// The time in samples of index i: negative for the last excitationFrames indices.
  double TimeOf(std::size_t i) const;
  /// The sample at time t (in whole samples), wrapping around.
  double At(long long t) const;
};

/// The impulse response of the path that turned the excitation into `recording` (deconvolution
/// by FFT: H = Y · S⁻¹). A recording longer than the filter was made for is cut.
ImpulseResponse Deconvolve(std::span<const float> recording, const InverseFilter& inverse);
/// Deconvolve into `out`, with `spectrum` as scratch: buffers that already have the size are
/// reused, not reallocated.
void DeconvolveInto(std::span<const float> recording, const InverseFilter& inverse, ImpulseResponse& out,
                    ComplexVector& spectrum);

/// Where the response arrives: the largest magnitude of the (band-limited) impulse response,
/// refined to a fraction of a sample by a parabola through it and its neighbours.
struct Arrival {
  double samples = 0;  // time of the peak; negative when it came before time 0
  int polarity = 1;    // sign of the peak: -1 for a speaker wired the other way round
  double peak = 0;     // |h| at the peak sample
  std::size_t index = 0;
  /// Peak power over the median power of the whole response, dB: a found sweep stands far above
  /// the deconvolved noise; an unrelated or silent recording does not.
  double peakToNoiseDb = 0;
};
/// The arrival among times [fromSample, toSample) (all times when the range is empty).
Arrival FindArrival(const ImpulseResponse& ir, long long fromSample = 0, long long toSample = 0);

}  // namespace zelto::acoustics
