#include "acoustics/workspace.h"

#include <algorithm>

namespace zelto::acoustics {

const InverseFilter& AnalysisWorkspace::Inverse(std::span<const float> excitation, int sampleRate, double lowHz,
                                                double highHz, std::size_t maxRecordingFrames) {
  const std::size_t fftSize = InverseFilter::FftSizeFor(excitation.size(), maxRecordingFrames);
  const auto it = std::find_if(filters_.begin(), filters_.end(), [&](const Kept& k) {
    return k.sampleRate == sampleRate && k.lowHz == lowHz && k.highHz == highHz && k.filter->FftSize() == fftSize &&
           std::equal(k.excitation.begin(), k.excitation.end(), excitation.begin(), excitation.end());
  });
  if (it != filters_.end()) {
    filters_.splice(filters_.begin(), filters_, it);
    return *filters_.front().filter;
  }
  // Made before anything is dropped, so a refused excitation leaves the kept ones alone.
  auto filter = std::make_unique<InverseFilter>(excitation, sampleRate, lowHz, highHz, maxRecordingFrames);
  if (filters_.size() >= kKeptFilters) filters_.pop_back();
  filters_.push_front({{excitation.begin(), excitation.end()}, sampleRate, lowHz, highHz, std::move(filter)});
  return *filters_.front().filter;
}

const ImpulseResponse& AnalysisWorkspace::Deconvolve(std::span<const float> recording, const InverseFilter& inverse) {
  DeconvolveInto(recording, inverse, ir_, spectrum_);
  return ir_;
}

}  // namespace zelto::acoustics
