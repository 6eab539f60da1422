#include "curves/filter.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "core/encodings.h"

namespace zelto {

namespace {

// 10 log10(x) as a multiple of ln(x): the natural logarithm is the faster one.
constexpr double kDbPerNeper = 4.3429448190325182765;
constexpr double kDefaultBandwidth = 0.2;

// Archive layout.
namespace archive {
constexpr std::size_t kType = 0;
constexpr std::size_t kFrequency = 4;
constexpr std::size_t kSentFrequency = 8;
constexpr std::size_t kGain = 12;
constexpr std::size_t kBypass = 20;
constexpr std::size_t kFlat = 24;
constexpr std::size_t kBandwidth = 28;
constexpr std::size_t kCrossoverType = 36;
constexpr std::size_t kSlope = 40;
constexpr std::size_t kDeviceIndex = 44;
constexpr int kMaxDeviceIndex = 255;
constexpr double kTolerance = 1e-9;
constexpr double kMinBandwidth = 0.05;
constexpr double kMaxBandwidth = 3.0;
constexpr double kMaxGain = 20.0;
}  // namespace archive

}  // namespace

CFilter::CFilter(const ChangeTracking* tracking) : tracking_(tracking) {}

bool CFilter::Tracking() const { return tracking_ != nullptr && tracking_->IsOn(); }

void CFilter::Touch() { pending_ = Tracking(); }

void CFilter::SetGraphSize(const GraphRect& plot) {
  graphWidth_ = plot.Width();
  graphHeight_ = plot.Height();
  LayOutOutline(points_, graphWidth_, graphHeight_);
  Update();
}

void CFilter::Update() {
  ComputePower();
  curveStale_ = true;
  LayOutHandles();
}

void CFilter::DeriveCurve() const {
  if (unity_) {
    response_.fill(0.0);
  } else {
    for (int i = 0; i < kGridPoints; ++i) response_[i] = kDbPerNeper * std::log(power_[i]);
  }
  SetOutlineHeights(points_, response_, graphHeight_);
  curveStale_ = false;
}

FilterSections CFilter::Sections() const {
  switch (type_) {
    case filter_type::kPeaking:
      // The centre snaps to the grid; the shelves and crossovers use the frequency as it is.
      if (!bypass_ && !flat_) return PeakingDesign(FrequencyGrid()[NearestGridIndex(frequency_)], gain_, bandwidth_);
      break;
    case filter_type::kLowShelf:
    case filter_type::kHighShelf:
      if (!bypass_ && !flat_) return ShelfDesign(type_ == filter_type::kHighShelf, frequency_, slope_, gain_);
      break;
    case filter_type::kHighPass:
      if (frequency_ != kFilterMinHz && slope_ != slope_code::kOff)
        return CrossoverDesign(true, frequency_, crossoverType_, EffectiveSlope());
      break;
    case filter_type::kLowPass:
      if (frequency_ != kFilterMaxHz && slope_ != slope_code::kOff)
        return CrossoverDesign(false, frequency_, crossoverType_, EffectiveSlope());
      break;
    default: break;
  }
  return {};
}

void CFilter::ComputePower() {
  const FilterSections fs = Sections();
  unity_ = fs.count == 0;
  power_ = GridPower(fs);
}

// --- Edits -----------------------------------------------------------------------------------

void CFilter::SetFrequency(int hz, bool userEdit) {
  // An edit stays on the grid the processor takes; what came from the processor is kept as it is.
  if (userEdit) hz = std::clamp(hz, kFilterMinHz, kFilterMaxHz);
  // Anything but a user edit comes from (or goes to) the processor as a whole: it holds `hz` now.
  if (!userEdit) wireFrequency_ = hz;
  if (isEqBand_) {
    frequency_ = hz;
    if (!userEdit || !Tracking()) sentFrequency_ = hz;
  } else {
    frequency_ = hz;
    if (!userEdit) sentFrequency_ = hz;
  }
  if (userEdit) {
    if (sentFrequency_ == 0) sentFrequency_ = kFilterMinHz;
    // A fall, or a rise of less than an octave, is sent at once; larger rises go an octave a step.
    if (frequency_ / sentFrequency_ < 2) sentFrequency_ = frequency_;
  }
  Update();
  if (userEdit) Touch();
}

void CFilter::StepSentFrequency(bool v) {
  if (frequency_ == sentFrequency_) {
    pending_ = v;
    return;
  }
  pending_ = true;
  // A frequency at or below zero never comes from an edit; settle on it rather than halving toward
  // a zero divisor.
  if (frequency_ <= 0) {
    sentFrequency_ = frequency_;
    return;
  }
  if (sentFrequency_ <= 0) sentFrequency_ = kFilterMinHz;
  if (frequency_ / sentFrequency_ >= 2) {
    sentFrequency_ *= 2;
  } else if (static_cast<double>(frequency_) / sentFrequency_ <= 0.5) {
    sentFrequency_ /= 2;
  } else {
    sentFrequency_ = frequency_;
  }
}

void CFilter::SetGainCode(int gainCode) {
  gainCode = std::clamp(gainCode, 0, kGainCodeMax);
  gain_ = BandGainDbFromEditCode(gainCode);
  if (gain_ != 0.0) {
    flat_ = false;
    bypass_ = false;
  } else {
    flat_ = true;
  }
  Update();
  Touch();
}

void CFilter::SetBandwidthIndex(int index) {
  bandwidth_ = BandwidthOctavesForSetting(index);
  Update();
  Touch();
}

void CFilter::SetSlope(int code, bool userEdit) {
  slope_ = code;
  Update();
  if (userEdit) Touch();
}

void CFilter::SetCrossoverType(int family, bool userEdit) {
  crossoverType_ = family;
  Update();
  if (userEdit) Touch();
}

void CFilter::SetType(int type) {
  type_ = type;
  if (type == filter_type::kLowPass) sentFrequency_ = kFilterMaxHz;
  Update();
  Touch();
}

void CFilter::SetFlat(bool on) {
  if (!bypass_) {
    if (on == flat_ || gain_ == 0.0) return;
  } else {
    bypass_ = false;
    if (gain_ == 0.0) {
      Update();  // the band was drawn bypassed; it is flat now, which looks the same
      return;
    }
  }
  flat_ = on;
  if (!on) bypass_ = false;
  Update();
  Touch();
}

void CFilter::SetBypass(bool on) {
  if (on) {
    savedBypass_ = bypass_;
    bypass_ = true;
  } else {
    bypass_ = savedBypass_;
  }
  Update();
}

void CFilter::ResetBand(int hz) {
  frequency_ = hz;
  sentFrequency_ = hz;
  wireFrequency_ = hz;
  bandwidth_ = kDefaultBandwidth;
  gain_ = 0.0;
  flat_ = true;
  Update();
}

void CFilter::CopyValues(const CFilter& other) {
  type_ = other.type_;
  gain_ = other.gain_;
  flat_ = other.flat_;
  bypass_ = other.bypass_;
  bandwidth_ = other.bandwidth_;
  crossoverType_ = other.crossoverType_;
  slope_ = other.slope_;
  if (crossoverRange_ != kCrossoverRangeFixed) {
    frequency_ = other.frequency_;
    sentFrequency_ = other.frequency_;
    wireFrequency_ = other.frequency_;
  }
  Update();
}

// --- State -----------------------------------------------------------------------------------

int CFilter::gainCode() const {
  if (flat_ || bypass_) return kGainCodeFlat;
  const int code = static_cast<int>(10.0 * (gain_ + 20.0) + 0.5);
  return std::clamp(code, 0, kGainCodeMax);
}

int CFilter::bandwidthIndex() const { return std::clamp(BandwidthIndexFromOctaves(bandwidth_), 0, kQTableSize - 1); }

int CFilter::EffectiveSlope() const {
  if (restrictedSlopes_ && slope_ == slope_code::k18) return slope_code::k24;
  return slope_;
}

// --- Handles ---------------------------------------------------------------------------------

void CFilter::LayOutHandles() {
  handles_ = LayOutFilterHandles(
      {type_, frequency_, IsFlat() ? 0.0 : gain_, bandwidth_, isEqBand_, graphWidth_, graphHeight_});
}

// --- Texts -----------------------------------------------------------------------------------

std::string CFilter::FrequencyText() const { return Printf("%dHz", frequency_); }

std::string CFilter::GainText() const {
  if (flat_ || bypass_) return "0.0dB";
  return Printf("%0.1fdB", gain_);
}

std::string CFilter::BandwidthText() const { return Printf("%0.2fOct", bandwidth_); }

std::string CFilter::QText() const { return FormatQ(Q()); }

std::string_view CFilter::CrossoverTypeText(Language lang) const { return CrossoverFamilyName(crossoverType_, lang); }

std::string_view CFilter::ShelfSlopeText() const { return ShelfSlopeName(slope_); }

std::string_view CFilter::CrossoverSlopeText() const { return SlopeName(slope_, restrictedSlopes_); }

std::string_view CFilter::EqKindText(Language lang) const { return FilterTypeName(type_, graphicEq_, lang); }

std::string CFilter::GetLabel() const {
  const std::string gain = (flat_ || bypass_) ? std::string("0.0") : Printf("%.1f", gain_);
  switch (type_) {
    case filter_type::kPeaking: return "G:" + gain + "-F:" + std::to_string(frequency_) + "-Q:" + QText();
    case filter_type::kLowShelf:
      return "Lo " + std::to_string(frequency_) + "-" + std::string(ShelfSlopeText()) + " G" + gain;
    case filter_type::kHighShelf:
      return "Hi F:" + std::to_string(frequency_) + "-" + std::string(ShelfSlopeText()) + " G:" + gain;
    default: return "F:" + std::to_string(frequency_);
  }
}

// --- Archive ---------------------------------------------------------------------------------

void CFilter::Save(std::span<std::uint8_t> out) const {
  assert(out.size() >= kArchiveSize);
  PutS32(out, archive::kType, type_);
  PutS32(out, archive::kFrequency, frequency_);
  PutS32(out, archive::kSentFrequency, sentFrequency_);
  PutF64(out, archive::kGain, gain_);
  PutS32(out, archive::kBypass, bypass_ ? 1 : 0);
  PutS32(out, archive::kFlat, flat_ ? 1 : 0);
  PutF64(out, archive::kBandwidth, bandwidth_);
  PutS32(out, archive::kCrossoverType, crossoverType_);
  PutS32(out, archive::kSlope, slope_);
  PutS32(out, archive::kDeviceIndex, deviceIndex_);
}

std::array<std::uint8_t, CFilter::kArchiveSize> CFilter::Save() const {
  std::array<std::uint8_t, kArchiveSize> out{};
  Save(out);
  return out;
}

bool CFilter::IsValidArchive(std::span<const std::uint8_t> in) {
  using namespace archive;
  if (in.size() < kArchiveSize) return false;
  const auto inRange = [](std::int32_t v, std::int32_t lo, std::int32_t hi) { return v >= lo && v <= hi; };
  const double gain = GetF64(in, kGain);
  const double bandwidth = GetF64(in, kBandwidth);
  return inRange(GetS32(in, kType), filter_type::kPeaking, filter_type::kLowPass) &&
         inRange(GetS32(in, kFrequency), kFilterMinHz, kFilterMaxHz) &&
         inRange(GetS32(in, kSentFrequency), 0, kFilterMaxHz) &&  //
         std::isfinite(gain) && std::fabs(gain) <= kMaxGain + kTolerance && inRange(GetS32(in, kBypass), 0, 1) &&
         inRange(GetS32(in, kFlat), 0, 1) &&  //
         std::isfinite(bandwidth) && bandwidth >= kMinBandwidth - kTolerance &&
         bandwidth <= kMaxBandwidth + kTolerance &&
         inRange(GetS32(in, kCrossoverType), crossover_family::kLinkwitzRiley, crossover_family::kButterworth) &&
         inRange(GetS32(in, kSlope), 0, slope_code::k48) && inRange(GetS32(in, kDeviceIndex), 0, kMaxDeviceIndex);
}

bool CFilter::Load(std::span<const std::uint8_t> in) {
  using namespace archive;
  if (!IsValidArchive(in)) return false;
  type_ = GetS32(in, kType);
  frequency_ = GetS32(in, kFrequency);
  sentFrequency_ = GetS32(in, kSentFrequency);
  gain_ = GetF64(in, kGain);
  bypass_ = GetS32(in, kBypass) != 0;
  flat_ = GetS32(in, kFlat) != 0;
  bandwidth_ = GetF64(in, kBandwidth);
  crossoverType_ = GetS32(in, kCrossoverType);
  slope_ = GetS32(in, kSlope);
  deviceIndex_ = GetS32(in, kDeviceIndex);
  Update();
  return true;
}

// --- Channel curve ---------------------------------------------------------------------------

void ChannelCurve::Layout(int width, int height) {
  width_ = width;
  height_ = height;
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    points_[i] = {GraphX(grid[i], width) + kGraphMarginX, height / 2};
    smoothPoints_[i] = {GraphXExact(grid[i], width) + kGraphMarginX, static_cast<double>(height / 2)};
  }
}

namespace detail {
void MultiplyInto(std::array<double, kGridPoints>& product, const std::array<const double*, 4>& group) {
  const double* a = group[0];
  const double* b = group[1];
  const double* c = group[2];
  const double* d = group[3];
  if (d != nullptr) {
    for (int i = 0; i < kGridPoints; ++i) product[i] *= (a[i] * b[i]) * (c[i] * d[i]);
  } else {
    for (const double* p : group) {
      if (p == nullptr) break;
      for (int i = 0; i < kGridPoints; ++i) product[i] *= p[i];
    }
  }
}

void PowerToDb(std::array<double, kGridPoints>& product, std::array<double, kGridPoints>& db,
               const std::function<double(int)>& fallback) {
  for (int i = 0; i < kGridPoints; ++i) {
    const double p = product[i];
    // A channel's bands (at most +-20 dB each) and its two crossovers keep the product between
    // about 1e-150 and 1e+70. A product that still leaves the normal range of a double (a list of
    // many steep crossovers) would lose precision, so it is summed the long way.
    db[i] = (std::isnormal(p) && p > 0.0) ? kDbPerNeper * std::log(p) : fallback(i);
  }
}
}  // namespace detail

void ChannelCurve::Accumulate(std::array<double, kGridPoints>& sum, const std::array<double, kGridPoints>& add) {
  for (int i = 0; i < kGridPoints; ++i) sum[i] += add[i];
}

void ChannelCurve::SetSum(const std::array<double, kGridPoints>& sum) {
  sum_ = sum;
  for (int i = 0; i < kGridPoints; ++i) {
    points_[i].y = GraphY(sum[i], height_) + kGraphMarginY;
    smoothPoints_[i].y = GraphYExact(sum[i], height_) + kGraphMarginY;
  }
}

void ChannelCurve::FromFilter(const CFilter& filter) {
  const auto& r = filter.response();
  for (int i = 0; i < kGridPoints; ++i) points_[i].y = GraphY(r[i], height_) + kGraphMarginY;
}

}  // namespace zelto
