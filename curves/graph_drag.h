#pragma once
// What a drag on the response graph does to a filter, as plain functions of hertz, octaves and
// decibels: the rules are checked without a window, and the widget only maps points to values.

#include <optional>

#include "curves/filter.h"

namespace zelto::graph {

// A low shelf stays at or below, a high shelf at or above this frequency while dragged.
inline constexpr int kShelfSplitHz = 2000;
// Bandwidth a drag of a width handle may give, in octaves.
inline constexpr double kMinDragBandwidth = 0.05;
inline constexpr double kMaxDragBandwidth = 3.0;
// The frequencies at which the crossovers switch themselves off.
inline constexpr int kHighPassOffHz = kFilterMinHz;
inline constexpr int kLowPassOffHz = kFilterMaxHz;

// Drag ranges of crossover handles (a filter's crossoverRange).
inline constexpr int kRangeFixed = 5;       // not draggable
inline constexpr int kRangeEffect = 6;      // the effect block's crossovers
inline constexpr int kRangeTopOpen = 7;     // high-pass below the low-pass, left edge switches off
inline constexpr int kRangeOrdered = 8;     // each stays on its side of the other
inline constexpr int kRangeHighPassUp = 9;  // the high-pass may be pushed to the top of the range
// The effect block keeps its high-pass at or below 1 kHz and its low-pass at or above 5 kHz.
inline constexpr int kEffectHighPassMaxHz = 1000;
inline constexpr int kEffectHighPassSnapAboveHz = 999;
inline constexpr int kEffectLowPassMinHz = 5000;

/// Frequency a crossover takes when its handle is dragged to the column of `pointerHz` (already
/// limited to 20..20000 Hz), given its range rule and the two crossover frequencies of the channel.
/// Empty when the filter cannot be dragged.
std::optional<int> CrossoverDragFrequency(bool highPass, int range, int pointerHz, int highPassHz, int lowPassHz);

/// Frequency a dragged shelf keeps: `type` 1 (low shelf) at most, 2 (high shelf) at least 2000 Hz;
/// any other type is returned unchanged.
int ShelfDragFrequency(int type, int hz);

/// Bandwidth in octaves from a width handle dragged to `pointerHz` around a band at `centreHz`,
/// limited to 0.05..3.0 octaves.
double WidthDragBandwidth(bool lowHandle, int centreHz, int pointerHz);

}  // namespace zelto::graph
