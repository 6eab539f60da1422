#include "curves/graph_drag.h"

#include <algorithm>
#include <cmath>

namespace zelto::graph {
namespace {}  // namespace

std::optional<int> CrossoverDragFrequency(bool highPass, int range, int pointerHz, int highPassHz, int lowPassHz) {
  const int p = std::clamp(pointerHz, kHighPassOffHz, kLowPassOffHz);
  switch (range) {
    case kRangeFixed: return std::nullopt;
    case kRangeEffect:
      if (highPass) {
        int f = p;
        if (f > lowPassHz) f = p > kEffectHighPassSnapAboveHz ? kEffectHighPassMaxHz : lowPassHz;
        return std::min(f, kEffectHighPassMaxHz);
      } else {
        int f = p;
        if (f < highPassHz) f = p <= kEffectLowPassMinHz ? kEffectLowPassMinHz : highPassHz;
        return std::max(f, kEffectLowPassMinHz);
      }
    case kRangeHighPassUp:
      if (highPass) {
        if (p > lowPassHz) return p >= kLowPassOffHz ? kLowPassOffHz : lowPassHz;
        return p;
      }
      return std::max(p, highPassHz);
    default:
      // Ranges 7 and 8 and the inputs' rule: neither crossover passes the other. The pointer at
      // the left edge of the plot reads 20 Hz, which is the high-pass switched off.
      return highPass ? std::min(p, lowPassHz) : std::max(p, highPassHz);
  }
}

int ShelfDragFrequency(int type, int hz) {
  constexpr int kLowShelf = 1;
  constexpr int kHighShelf = 2;
  if (type == kLowShelf) return std::min(hz, kShelfSplitHz);
  if (type == kHighShelf) return std::max(hz, kShelfSplitHz);
  return hz;
}

double WidthDragBandwidth(bool lowHandle, int centreHz, int pointerHz) {
  if (centreHz <= 0 || pointerHz <= 0) return kMinDragBandwidth;
  const double octaves = lowHandle ? std::log2(static_cast<double>(centreHz) / pointerHz)
                                   : std::log2(static_cast<double>(pointerHz) / centreHz);
  return std::clamp(octaves, kMinDragBandwidth, kMaxDragBandwidth);
}

}  // namespace zelto::graph
