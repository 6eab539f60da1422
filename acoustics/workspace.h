#pragma once
// What analysing one recording after another keeps between calls: the inverse filters of the
// excitations used last and the large buffers of the deconvolution. A run measures channel after
// channel with the same sweep, so its filter is derived once; and on a long recording, touching
// freshly allocated buffers (page faults) costs about as much as the transforms themselves.
//
// Threads: one workspace per thread; its results are valid until its next call.

#include <cstddef>
#include <list>
#include <memory>
#include <span>
#include <vector>

#include "acoustics/deconvolution.h"
#include "acoustics/fft.h"

namespace zelto::acoustics {

class AnalysisWorkspace {
 public:
  /// Inverse filters kept: a run alternates between the level check's probe and the sweep.
  static constexpr std::size_t kKeptFilters = 3;

  /// The inverse filter of `excitation` (as InverseFilter's constructor makes it), made on first
  /// use and kept for the last kKeptFilters excitations, told apart by their samples.
  const InverseFilter& Inverse(std::span<const float> excitation, int sampleRate, double lowHz, double highHz,
                               std::size_t maxRecordingFrames);
  /// Deconvolve(recording, inverse) in this workspace's buffers: valid until the next call.
  const ImpulseResponse& Deconvolve(std::span<const float> recording, const InverseFilter& inverse);

 private:
  struct Kept {
    std::vector<float> excitation;
    int sampleRate = 0;
    double lowHz = 0, highHz = 0;
    std::unique_ptr<InverseFilter> filter;
  };
  std::list<Kept> filters_;  // most recently used first
  ImpulseResponse ir_;
  ComplexVector spectrum_;
};

}  // namespace zelto::acoustics
