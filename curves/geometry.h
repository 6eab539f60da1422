#pragma once
// Pixel points and rectangles of the response graph, in the graph's own client coordinates.
// Plain values: the filter lays out its handles with them, the window only draws them.

#include <cstdint>

namespace zelto {

struct GraphPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const GraphPoint&, const GraphPoint&) = default;
};

/// A point with a fractional y (and x) for smooth curves.
struct GraphPointF {
  double x = 0;
  double y = 0;
  friend bool operator==(const GraphPointF&, const GraphPointF&) = default;
};

/// Left and top inside, right and bottom outside, like a window rectangle.
struct GraphRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(GraphPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  GraphPoint Centre() const { return {(left + right) / 2, (top + bottom) / 2}; }
  GraphRect Offset(std::int32_t dx, std::int32_t dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  friend bool operator==(const GraphRect&, const GraphRect&) = default;
};

}  // namespace zelto
