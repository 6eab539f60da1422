#pragma once
// Where a filter shows on the response graph, in the graph's pixels: the outline of its own curve
// for a filled polygon, its point handle, the bandwidth handles of a peaking band and the area of
// its label. Plain functions of a filter's parameters and the plot size; the filter math knows
// nothing of them.

#include <array>

#include "core/encodings.h"
#include "curves/geometry.h"

namespace zelto {

inline constexpr int kFilterPoints = kGridPoints + 2;  // the curve plus its two ends on the 0 dB line
inline constexpr int kHandleSize = 16;

/// What a filter's handles depend on.
struct FilterPlacement {
  int type = 0;  // filter_type
  int frequencyHz = 1000;
  double shownDb = 0.0;  // the gain drawn (0 dB while the band is off)
  double bandwidthOct = 0.2;
  bool isEqBand = true;  // bands and shelves; false for the two crossovers
  int width = 0;         // plot size in pixels
  int height = 0;
};

/// Handles and label area in graph client coordinates (margins included); the width handles are
/// empty except for peaking bands.
struct FilterHandles {
  GraphRect point;
  GraphRect lowWidth;
  GraphRect highWidth;
  GraphRect label;
};

FilterHandles LayOutFilterHandles(const FilterPlacement& placement);

/// The x positions of an outline for a plot of `width` x `height`, with both ends on the 0 dB line.
void LayOutOutline(std::array<GraphPoint, kFilterPoints>& outline, int width, int height);
/// The y positions of an outline's grid points from a response in dB.
void SetOutlineHeights(std::array<GraphPoint, kFilterPoints>& outline,
                       const std::array<double, kGridPoints>& responseDb, int height);

}  // namespace zelto
