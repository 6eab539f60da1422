#include "curves/filter_geometry.h"

#include <algorithm>
#include <cmath>

#include "curves/filter_design.h"

namespace zelto {

namespace {

constexpr int kHalfHandle = kHandleSize / 2;
constexpr double kHighPassHandleDb = -12.0;
constexpr double kLowPassHandleDb = -15.0;
// Bandwidth handles sit 10 px outside the band edges and 10 px off the point's centre.
constexpr int kHighWidthHandleX = kGraphMarginX + 10;
constexpr int kLowWidthHandleX = kGraphMarginX - 10;
constexpr int kWidthHandleDy = 10;
constexpr int kWidthHandleHalfHeight = 6;
// Label rectangles.
constexpr int kLabelDy = 25;
constexpr int kLabelFlipDistance = 15;
constexpr int kPeakLabelExtra = 210;
constexpr int kPeakLabelWidthAtEdge = 200;
constexpr int kShelfLabelExtra = 90;
constexpr int kShelfLabelReach = 110;
constexpr int kShelfLabelWidthAtEdge = 116;
constexpr int kCrossoverLabelDy = 15;
constexpr int kCrossoverLabelSide = 32;

void LayOutBandHandles(const FilterPlacement& f, FilterHandles& out) {
  const int w = f.width;
  const int h = f.height;
  int left = GraphX(f.frequencyHz, w) - kHalfHandle;
  int top = GraphY(f.shownDb, h) - kHalfHandle;
  if (left < 1 && w > kHalfHandle) left = 0;
  if (top < 1) top = 0;
  if (left + kHandleSize > w) left = w - kHandleSize;
  if (top + kHandleSize > h) top = h - kHandleSize;
  out.point = GraphRect{left, top, left + kHandleSize, top + kHandleSize}.Offset(kGraphMarginX, kGraphMarginY);

  if (f.type != filter_type::kPeaking) {
    out.lowWidth = {};
    out.highWidth = {};
    return;
  }
  const int cy = out.point.Centre().y + (f.shownDb >= 0.0 ? kWidthHandleDy : -kWidthHandleDy);
  const double edge = std::pow(2.0, f.bandwidthOct);
  const int hx = GraphX(f.frequencyHz * edge, w) + kHighWidthHandleX;
  const int lx = GraphX(f.frequencyHz / edge, w) + kLowWidthHandleX;
  out.highWidth = {hx - 6, cy - kWidthHandleHalfHeight, hx + 7, cy + kWidthHandleHalfHeight};
  out.lowWidth = {lx - 7, cy - kWidthHandleHalfHeight, lx + 6, cy + kWidthHandleHalfHeight};
}

void LayOutCrossoverHandle(const FilterPlacement& f, FilterHandles& out) {
  const int w = f.width;
  const int h = f.height;
  const double handleDb = f.type == filter_type::kHighPass ? kHighPassHandleDb : kLowPassHandleDb;
  int left = GraphX(f.frequencyHz, w) - kHalfHandle;
  const int top = GraphY(handleDb, h) - kHalfHandle;
  left = std::max(left, -kHalfHandle);
  left = std::min(left, w + kHalfHandle - kHandleSize);
  out.point = GraphRect{left, top, left + kHandleSize, top + kHandleSize}.Offset(kGraphMarginX, kGraphMarginY);
  out.lowWidth = {};
  out.highWidth = {};
}

GraphRect LabelRect(const FilterPlacement& f, const GraphRect& hd) {
  const int plotLeft = kGraphMarginX;
  const int plotRight = f.width + kGraphMarginX;
  const int plotBottom = f.height + kGraphMarginY;
  switch (f.type) {
    case filter_type::kPeaking:
    case filter_type::kLowShelf:
    case filter_type::kHighShelf: {
      const int dy = plotBottom - hd.bottom <= kLabelFlipDistance ? -kLabelDy : kLabelDy;
      GraphRect r = hd.Offset(0, dy);
      if (f.type == filter_type::kPeaking) {
        r.right = hd.right + kPeakLabelExtra;
        if (r.right > plotRight) {
          r.left = plotRight - kPeakLabelWidthAtEdge;
          r.right = plotRight;
        }
      } else {
        r.right = hd.right + kShelfLabelExtra;
        if (hd.right + kShelfLabelReach > plotRight) {
          r.left = plotRight - kShelfLabelWidthAtEdge;
          r.right = plotRight;
        }
      }
      return r;
    }
    default: {
      const int dy = f.type == filter_type::kHighPass ? kCrossoverLabelDy : -kCrossoverLabelDy;
      GraphRect r = hd.Offset(0, dy);
      r.left -= kCrossoverLabelSide;
      r.right += kCrossoverLabelSide;
      // Keep the text inside the plot when the handle sits at either end.
      if (r.left < plotLeft) r = r.Offset(plotLeft - r.left, 0);
      if (r.right > plotRight) r = r.Offset(plotRight - r.right, 0);
      return r;
    }
  }
}

}  // namespace

FilterHandles LayOutFilterHandles(const FilterPlacement& placement) {
  FilterHandles out;
  if (placement.isEqBand) {
    LayOutBandHandles(placement, out);
  } else {
    LayOutCrossoverHandle(placement, out);
  }
  out.label = LabelRect(placement, out.point);
  return out;
}

void LayOutOutline(std::array<GraphPoint, kFilterPoints>& outline, int width, int height) {
  const int zeroY = GraphY(0.0, height) + kGraphMarginY;
  outline[0] = {kGraphMarginX, zeroY};
  outline[kFilterPoints - 1] = {width + kGraphMarginX, zeroY};
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) outline[i + 1].x = GraphX(grid[i], width) + kGraphMarginX;
}

void SetOutlineHeights(std::array<GraphPoint, kFilterPoints>& outline,
                       const std::array<double, kGridPoints>& responseDb, int height) {
  for (int i = 0; i < kGridPoints; ++i) outline[i + 1].y = GraphY(responseDb[i], height) + kGraphMarginY;
}

}  // namespace zelto
