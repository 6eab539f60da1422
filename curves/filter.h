#pragma once
// One filter of a channel: an EQ band, a shelf, the high-pass or the low-pass. It holds the
// parameters in engineering units and its magnitude response at the 241 grid frequencies, picks
// the design for its kind (filter_design.h) and keeps the outline and handles the response graph
// draws (filter_geometry.h). The response is for display only; the processor receives the
// parameters.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/encodings.h"
#include "curves/filter_design.h"
#include "curves/filter_geometry.h"
#include "curves/geometry.h"

namespace zelto {

class ChangeTracking;

inline constexpr int kFilterMinHz = 20;
inline constexpr int kFilterMaxHz = 20000;
inline constexpr int kGainCodeMax = 400;
inline constexpr int kGainCodeFlat = kBandGainEditFlat;  // 0 dB

// A crossover whose handle cannot be dragged also keeps its frequency when values are copied.
inline constexpr int kCrossoverRangeFixed = 5;

class CFilter {
  static constexpr std::array<double, kGridPoints> UnityPower() {
    std::array<double, kGridPoints> a{};
    for (double& v : a) v = 1.0;
    return a;
  }

 public:
  static constexpr std::size_t kArchiveSize = 48;

  /// `tracking` (may be null: never tracked) is the switch copied into `pending` after an edit.
  explicit CFilter(const ChangeTracking* tracking = nullptr);
  explicit CFilter(const ChangeTracking& tracking) : CFilter(&tracking) {}

  void SetChangeTracking(const ChangeTracking* tracking) { tracking_ = tracking; }

  // --- Graph -------------------------------------------------------------------------------
  /// Takes the plot size (the rectangle's position is not used), places the curve's x positions,
  /// lays out the handles and recomputes.
  void SetGraphSize(const GraphRect& plot);
  /// Recomputes `response`, the curve's y positions and the handles from the parameters.
  void Update();

  // --- Edits ---------------------------------------------------------------------------------
  /// Sets the frequency; with `userEdit` the sent frequency follows by at most an octave at a time
  /// while changes are tracked, and `pending` takes the switch.
  void SetFrequency(int hz, bool userEdit);
  /// Moves `sentFrequency` one octave step toward `frequency`; once they are equal, `pending` := v.
  void StepSentFrequency(bool v);
  /// Gain from a code 0..400 (200 = 0 dB, limited to that range); a zero gain makes the band flat.
  void SetGainCode(int gainCode);
  /// Bandwidth from an index (0.05 + 0.01 * index octaves; indices below 4 give 0.09 octaves).
  void SetBandwidthIndex(int index);
  void SetSlope(int code, bool userEdit);
  void SetCrossoverType(int family, bool userEdit);
  /// Type 0..4; a low-pass also sends 20000 Hz until its frequency settles.
  void SetType(int type);
  /// Switches a band off (true) or back on (false); clears a channel-wide bypass first.
  void SetFlat(bool on);
  /// Applies (true) or lifts (false) the channel-wide bypass, keeping the band's own state below.
  void SetBypass(bool on);
  /// Back to a flat 0.2-octave band at `hz`.
  void ResetBand(int hz);
  /// Copies the sound of `other` (not its place in the list, its graph or its pending state).
  void CopyValues(const CFilter& other);

  // --- State ---------------------------------------------------------------------------------
  bool IsFlat() const { return bypass_ ? bypass_ : flat_; }
  int type() const { return type_; }
  int frequency() const { return frequency_; }
  int sentFrequency() const { return sentFrequency_; }
  /// The frequency the processor holds for this filter: the last one sent to it or read back
  /// from it (0 while unknown). Octave steps start here, whatever the live image was packed with
  /// in between (a file saved mid-settle).
  int wireFrequency() const { return wireFrequency_; }
  void SetWireFrequency(int hz) { wireFrequency_ = hz; }
  double gain() const { return gain_; }
  /// trunc(10 * (gain + 20) + 0.5), 0..400; 200 while flat or bypassed.
  int gainCode() const;
  double bandwidth() const { return bandwidth_; }
  /// trunc((bandwidth - 0.05) / 0.01 + 0.05), limited to the Q table.
  int bandwidthIndex() const;
  double Q() const { return QFromIndex(bandwidthIndex()); }
  int slope() const { return slope_; }
  /// The slope the response is computed with: code 1 means 24 dB/Oct when slopes are restricted.
  int EffectiveSlope() const;
  int crossoverType() const { return crossoverType_; }
  int deviceIndex() const { return deviceIndex_; }
  int crossoverRange() const { return crossoverRange_; }
  bool pending() const { return pending_; }
  bool graphicEq() const { return graphicEq_; }
  bool flat() const { return flat_; }
  bool bypass() const { return bypass_; }
  bool savedBypass() const { return savedBypass_; }
  bool isEqBand() const { return isEqBand_; }
  bool restrictedSlopes() const { return restrictedSlopes_; }
  int graphWidth() const { return graphWidth_; }
  int graphHeight() const { return graphHeight_; }

  // Setters without side effects.
  void SetIsEqBand(bool on) { isEqBand_ = on; }
  void SetRestrictedSlopes(bool on) { restrictedSlopes_ = on; }
  void SetDeviceIndex(int index) { deviceIndex_ = index; }
  void SetCrossoverRange(int range) { crossoverRange_ = range; }
  void SetGraphicEq(bool on) { graphicEq_ = on; }
  /// The channel clears or sets every filter's flag at once after a whole-block transfer.
  void SetPending(bool on) { pending_ = on; }

  // --- Response and geometry -----------------------------------------------------------------
  /// Response in dB at each grid frequency.
  const std::array<double, kGridPoints>& response() const {
    if (curveStale_) DeriveCurve();
    return response_;
  }
  /// Outline of the filter's own curve for a filled polygon: the 0 dB line at both ends.
  const std::array<GraphPoint, kFilterPoints>& points() const {
    if (curveStale_) DeriveCurve();
    return points_;
  }
  /// The response as a power ratio |H|^2 at each grid frequency; the channel sum multiplies these,
  /// so summing a channel takes one logarithm per grid point instead of one per filter and point.
  const std::array<double, kGridPoints>& power() const { return power_; }
  /// True while the filter contributes exactly 0 dB everywhere (power() is all ones).
  bool IsUnity() const { return unity_; }
  /// Handles and label area in graph client coordinates (margins included).
  const GraphRect& pointHandle() const { return handles_.point; }
  const GraphRect& lowWidthHandle() const { return handles_.lowWidth; }
  const GraphRect& highWidthHandle() const { return handles_.highWidth; }
  const GraphRect& labelRect() const { return handles_.label; }
  /// The biquad sections of the current design (empty while the filter contributes 0 dB).
  FilterSections Sections() const;

  // --- Texts ---------------------------------------------------------------------------------
  std::string FrequencyText() const;                        // "1000Hz"
  std::string GainText() const;                             // "0.0dB" while flat or bypassed
  std::string BandwidthText() const;                        // "0.20Oct"
  std::string QText() const;                                // "7.208"
  std::string_view CrossoverTypeText(Language lang) const;  // "Link_Ril" / "宁克", ...
  std::string_view ShelfSlopeText() const;                  // "6dB/Oct", "12dB/Oct"
  std::string_view CrossoverSlopeText() const;              // the short list when restricted
  std::string_view EqKindText(Language lang) const;         // "PEQ", "GEQ", "Lo_Shf", "Hi_Shf"
  /// The text shown beside the selected handle, e.g. "G:3.5-F:1000-Q:1.414" (the same in both
  /// languages).
  std::string GetLabel() const;

  // --- Archive -------------------------------------------------------------------------------
  /// Writes the 48-byte archive form (little-endian; `bypass` before `flat`) to out[0..47].
  void Save(std::span<std::uint8_t> out) const;
  std::array<std::uint8_t, kArchiveSize> Save() const;
  /// True when `in` holds 48 bytes whose values a filter can take.
  static bool IsValidArchive(std::span<const std::uint8_t> in);
  /// Reads the archive form, lays out the handles and recomputes. A short or invalid form changes
  /// nothing and gives false.
  bool Load(std::span<const std::uint8_t> in);

 private:
  void Touch();  // pending := the change-tracking switch
  bool Tracking() const;
  void LayOutHandles();
  void ComputePower();
  void DeriveCurve() const;

  const ChangeTracking* tracking_ = nullptr;

  // The power ratios are computed on every change; the dB values and the outline, which only the
  // hovered or selected filter draws, follow from them when first read after a change. The graph
  // reads them on the user-interface thread only.
  std::array<double, kGridPoints> power_ = UnityPower();
  bool unity_ = true;
  mutable bool curveStale_ = false;
  mutable std::array<double, kGridPoints> response_{};
  mutable std::array<GraphPoint, kFilterPoints> points_{};
  FilterHandles handles_;

  int type_ = filter_type::kPeaking;
  int frequency_ = 1000;
  int sentFrequency_ = kFilterMinHz;
  int wireFrequency_ = 0;
  int crossoverRange_ = 0;
  double gain_ = 0.0;
  bool flat_ = true;
  bool bypass_ = false;
  bool savedBypass_ = false;
  double bandwidth_ = 0.2;
  int crossoverType_ = crossover_family::kButterworth;
  int slope_ = slope_code::k24;
  int deviceIndex_ = 0;
  int graphWidth_ = 0;
  int graphHeight_ = 0;
  bool isEqBand_ = true;
  bool pending_ = false;
  bool restrictedSlopes_ = false;
  bool graphicEq_ = false;
};

/// The sum of a channel's filter responses and its pixel curve: integer points for hit-testing and
/// fractional ones for smooth drawing. Only stored responses are summed; nothing is recomputed.
class ChannelCurve {
 public:
  /// Places the x positions for a plot of `width` x `height` and sets every y to the middle.
  void Layout(int width, int height);
  /// Sums the responses of `filters` (CFilter objects or pointers to them) at every grid point.
  template <class Range>
  void Sum(const Range& filters) {
    SetSum(ChannelResponse(filters));
  }
  /// The integer points from one filter's response alone (while that band is dragged).
  void FromFilter(const CFilter& filter);

  const std::array<double, kGridPoints>& sum() const { return sum_; }
  const std::array<GraphPoint, kGridPoints>& points() const { return points_; }
  const std::array<GraphPointF, kGridPoints>& smoothPoints() const { return smoothPoints_; }
  int width() const { return width_; }
  int height() const { return height_; }

  static void Accumulate(std::array<double, kGridPoints>& sum, const std::array<double, kGridPoints>& add);
  void SetSum(const std::array<double, kGridPoints>& sum);

 private:
  int width_ = 0;
  int height_ = 0;
  std::array<double, kGridPoints> sum_{};
  std::array<GraphPoint, kGridPoints> points_{};
  std::array<GraphPointF, kGridPoints> smoothPoints_{};
};

namespace detail {
inline const CFilter& Deref(const CFilter& f) { return f; }
template <class P>
const CFilter& Deref(const P& p) {
  return *p;
}
/// product[i] *= p0[i] * p1[i] * ... for the non-null arrays of `group` (filled from the front).
void MultiplyInto(std::array<double, kGridPoints>& product, const std::array<const double*, 4>& group);
/// dB from a product of power ratios; `fallback` sums the filters' own dB values at point i where
/// the product left the range of a double.
void PowerToDb(std::array<double, kGridPoints>& product, std::array<double, kGridPoints>& db,
               const std::function<double(int)>& fallback);
}  // namespace detail

/// The channel response in dB: at each grid point the sum of the responses of `filters`
/// (CFilter objects or pointers to them), as stored by each filter.
template <class Range>
std::array<double, kGridPoints> ChannelResponse(const Range& filters) {
  std::array<double, kGridPoints> product;
  product.fill(1.0);
  // Four filters per pass over the product: the multiplications are cheap, loading and storing
  // the product is what costs.
  std::array<const double*, 4> group{};
  std::size_t n = 0;
  for (const auto& f : filters) {
    const CFilter& filter = detail::Deref(f);
    if (filter.IsUnity()) continue;
    group[n++] = filter.power().data();
    if (n == group.size()) {
      detail::MultiplyInto(product, group);
      n = 0;
    }
  }
  if (n > 0) {
    for (std::size_t k = n; k < group.size(); ++k) group[k] = nullptr;
    detail::MultiplyInto(product, group);
  }
  std::array<double, kGridPoints> db;
  detail::PowerToDb(product, db, [&filters](int i) {
    double sum = 0.0;
    for (const auto& f : filters) sum += detail::Deref(f).response()[i];
    return sum;
  });
  return db;
}

}  // namespace zelto
