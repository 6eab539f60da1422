#pragma once
// The equaliser of one channel: its bands, then the high-pass and the low-pass, plus the
// channel's composite response curve for the graph.

#include <memory>
#include <span>
#include <vector>

#include "curves/filter.h"
#include "curves/geometry.h"
#include "model/band_record.h"

namespace zelto {

class ChangeTracking;

class CKTVEQ {
 public:
  static constexpr int kCrossoverFilters = 2;

  explicit CKTVEQ(const ChangeTracking& tracking);
  CKTVEQ(const CKTVEQ&) = delete;
  CKTVEQ& operator=(const CKTVEQ&) = delete;

  // Construction variants; each runs once, right after the owner is created. `n` is the number of
  // bands minus one. Band k is item k of its block.
  /// Output channels: peaking bands at the 31 output centres, then the crossovers, which take
  /// `filterTag` as their drag range rule.
  void Create31(int n, int crossoverItem, int filterTag, int highPassHz, int lowPassHz);
  /// Microphone input: bands at the 9 input centres, the first a low shelf and the last a high
  /// shelf, then 12 dB/Oct Butterworth crossovers.
  void Create9A(int n, int crossoverItem, int lowPassHz);
  /// Music input: the same EQ as Create9A.
  void Create9B(int n, int crossoverItem, int lowPassHz);
  /// Effect: peaking bands at 100, 1000 and 10000 Hz; its crossovers use the effect drag range.
  void Create3(int n, int crossoverItem, int lowPassHz);

  /// The record of band `index` at the frequency the user set (600 for a band that is off or at
  /// 0 dB); also kept as the band scratch.
  EqBandRecord BandRecord(int index);
  /// Sets band `index` from a record (gain code, bandwidth, slope, type, frequency) and settles it,
  /// so no send is pending afterwards. Types other than peaking and shelves are not taken: the
  /// crossovers are always the last two filters.
  void SetBand(const EqBandRecord& record, int index);

  CFilter& HighPass();
  CFilter& LowPass();
  const CFilter& HighPass() const;
  const CFilter& LowPass() const;
  int FilterCount() const { return static_cast<int>(filters_.size()); }
  int BandCount() const { return FilterCount() - kCrossoverFilters; }
  CFilter& Filter(int index) { return *filters_.at(static_cast<std::size_t>(index)); }
  const CFilter& Filter(int index) const { return *filters_.at(static_cast<std::size_t>(index)); }

  /// Stores the plot size, lays out the curve (x on the frequency grid, y in the middle) and refits
  /// every filter to the plot.
  void FitToGraph(const GraphRect& plot);
  /// The channel curve: the sum of every filter's stored response at each grid point.
  void SumCurve();
  /// Fills the integer curve with one filter's response alone (while that band is dragged).
  void FilterCurve(int index);
  const ChannelCurve& Curve() const { return curve_; }
  int GraphHeight() const { return curve_.height(); }
  int GraphWidth() const { return curve_.width(); }
  const EqBandRecord& BandScratch() const { return bandScratch_; }

  /// Copies every filter's values from the EQ of the same shape in `other` (channel copy).
  void CopyFrom(const CKTVEQ& other);
  /// Sets the graphic-EQ marker of every band (the EQ mode; not of the crossovers).
  void SetGraphicEq(bool on);
  /// Writes an 8-byte crossover record from the high-pass and low-pass, at the given frequencies.
  void WriteCrossoverRecord(std::span<std::uint8_t> record, int highPassHz, int lowPassHz) const;
  /// The same at the frequencies the user set.
  void WriteCrossoverRecord(std::span<std::uint8_t> record) const;
  /// Sets both crossovers from a record (frequency, family, slope) and settles them.
  void ReadCrossoverRecord(std::span<const std::uint8_t> record);
  /// After a whole-block transfer: every filter counts as sent at the frequency the user set.
  void SettleAll();

 private:
  CFilter& Add();
  void CreateBands(int n, std::span<const int> centres);
  void CreateCrossovers(int crossoverItem, int range, int highPassHz, int lowPassHz);

  const ChangeTracking& tracking_;
  std::vector<std::unique_ptr<CFilter>> filters_;
  ChannelCurve curve_;
  EqBandRecord bandScratch_{};
};

/// The settling rule: from the frequency the processor holds, at most one octave toward the
/// target. A target at least twice the current one (integer division) doubles it, one at or below
/// half of it halves it (integer halving), anything closer is taken at once.
int OctaveStep(int currentHz, int targetHz);

/// One change-scan step of a pending filter from the frequency the processor holds (its wire
/// frequency): returns the frequency to send now, which becomes the wire frequency; the filter
/// stays pending until that is its target.
int SettleFilter(CFilter& filter);

}  // namespace zelto
