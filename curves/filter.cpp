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

// The processor tool's own constants. They differ from 2*pi, 2*pi/96000 and ln 2 in the last
// digits, and the curves are drawn with exactly these so that they match what users know.
constexpr double kTwoPi = 6.2831852;
constexpr double kAnglePerHz = 6.544985e-05;  // centre and corner angles
constexpr double kLn2 = 0.69314718;
// 10 log10(x) as a multiple of ln(x): the natural logarithm is the faster one.
constexpr double kDbPerNeper = 4.3429448190325182765;
// Replaces a zero leading denominator coefficient of a crossover section.
constexpr double kZeroGuard = 1e-10;
// Keeps the corner below Nyquist and above 0 Hz, where the tangent and the divisions stay finite.
constexpr double kMinDesignHz = 1.0;
constexpr double kMaxDesignHz = kFilterSampleRate / 2.0 - 1.0;

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

constexpr double kDefaultBandwidth = 0.2;

// Shelf designs: factor on the corner angle and shelf slope S, by slope code.
struct ShelfRow {
  double factor;
  double s;
};
constexpr std::array<ShelfRow, 2> kHighShelf = {{{0.4545454546, 0.5}, {0.76923076923, 1.3}}};
constexpr std::array<ShelfRow, 2> kLowShelf = {{{2.0, 0.5}, {1.2727272727, 1.3}}};

// Crossover section values d1..d4 by slope code; 0 is a unity section. For odd codes d1 builds a
// first-order section. Code 6 is "off".
using SectionValues = std::array<double, 4>;
constexpr std::array<SectionValues, 8> kLinkwitzRiley = {{
    {1.0, 0, 0, 0},
    {1.0, 0.70422535211, 0, 0},
    {0.70422535211, 0.70422535211, 0, 0},
    {1.0, 0.62, 0.62, 0},
    {1.0, 0.5, 0.5, 0},
    {1.0, 0.453134315, 0.92592592593, 0.453134315},
    {0, 0, 0, 0},
    {0.92592592593, 0.373134315, 0.92592592593, 0.373134315},
}};
constexpr std::array<SectionValues, 8> kButterworth = {{
    {0.70422535, 0, 0, 0},
    {1.0, 0.5, 0, 0},
    {0.92592593, 0.38167939, 0, 0},
    {1.0, 0.8064616129, 0.3086417953, 0},
    {0.96153846, 0.70422535211, 0.2590673575, 0},
    {1.0, 0.90909090909, 0.625, 0.2222222222},
    {0, 0, 0, 0},
    {0.98039216, 0.83333333, 0.55555556, 0.1953125},
}};
constexpr std::array<SectionValues, 8> kBesselHighPass = {{
    {0.70422535, 0, 0, 0},
    {0.756, 0.72463768, 0, 0},
    {0.96153846, 0.61728395, 0, 0},
    {0.6656, 0.8928571428, 0.54347826, 0},
    {0.980392156, 0.819672131, 0.490196, 0},
    {0.5937, 0.943396226415, 0.757575757576, 0.4424778761},
    {0, 0, 0, 0},
    {0.98039216, 0.89285714, 0.70422535, 0.40650406},
}};
constexpr std::array<double, 8> kBesselHighPassDivisor = {
    1.2683112435, 1.2854981442, 1.5006420029, 1.3854981442, 1.5554981442, 1.5554981442, 1.0, 1.679120141};

// Bessel low-pass: analogue sections 1 / (q s^2 + p s + 1); p = 0 is a unity section.
struct AnalogueSection {
  double p;
  double q;
};
using AnalogueValues = std::array<AnalogueSection, 4>;
constexpr std::array<AnalogueValues, 8> kBesselLowPass = {{
    {{{1.0, 0.3333333333}, {0, 0}, {0, 0}, {0, 0}}},
    {{{0.5693712514, 0.154812441}, {0.430628846, 0}, {0, 0}, {0, 0}}},
    {{{0.369, 0.087858766}, {0.6278294896, 0.109408}, {0, 0}, {0, 0}}},
    {{{0.6656, 0}, {1.1402, 0.4128}, {0.6216, 0.3245}, {0, 0}}},
    {{{1.2217, 0.3887}, {0.9686, 0.3505}, {0.5131, 0.2756}, {0, 0}}},
    {{{0.5937, 0}, {1.0944, 0.3395}, {0.8304, 0.3011}, {0.4332, 0.2381}}},
    {{{0, 0}, {0, 0}, {0, 0}, {0, 0}}},
    {{{0.117235677, 0.02064747}, {0.226516664, 0.0259273886}, {0.3067559, 0.0294683265}, {0.3494916166, 0.031272257}}},
}};
constexpr std::array<double, 8> kBesselLowPassDivisor = {
    1.3616541287, 1.75567236868, 2.1139176749, 1.0, 1.0, 1.0, 1.0, 3.17961723751};

double Guard(double a0) { return a0 == 0.0 ? kZeroGuard : a0; }

void Add(FilterSections& fs, double a0, double a1, double a2, double b0, double b1, double b2) {
  assert(fs.count < static_cast<int>(fs.section.size()));
  fs.section[fs.count++] = {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

void PeakingSections(FilterSections& fs, int frequency, double gain, double bandwidth) {
  const double f0 = FrequencyGrid()[NearestGridIndex(frequency)];
  const double w0 = kAnglePerHz * f0;
  const double a = std::pow(10.0, gain / 40.0);
  const double sn = std::sin(w0);
  const double cs = std::cos(w0);
  const double alpha = sn * std::sinh(kLn2 * bandwidth * w0 / sn);
  Add(fs, 1 + alpha / a, -2 * cs, 1 - alpha / a, 1 + alpha * a, -2 * cs, 1 - alpha * a);
}

void ShelfSections(FilterSections& fs, bool high, int frequency, int slope, double gain) {
  if (gain == 0.0) return;  // the unity section
  if (slope < 0 || slope > 1) return;
  const ShelfRow row = high ? kHighShelf[slope] : kLowShelf[slope];
  const double w0 = kAnglePerHz * std::clamp<double>(frequency, kMinDesignHz, kMaxDesignHz) * row.factor;
  const double a = std::pow(10.0, gain / 40.0);
  const double cs = std::cos(w0);
  const double alpha = std::sin(w0) / 2 * std::sqrt((a + 1 / a) * (1 / row.s - 1) + 2);
  const double beta = 2 * std::sqrt(a) * alpha;
  if (high) {
    Add(fs, (a + 1) - (a - 1) * cs + beta, 2 * ((a - 1) - (a + 1) * cs), (a + 1) - (a - 1) * cs - beta,
        a * ((a + 1) + (a - 1) * cs + beta), -2 * a * ((a - 1) + (a + 1) * cs), a * ((a + 1) + (a - 1) * cs - beta));
  } else {
    Add(fs, (a + 1) + (a - 1) * cs + beta, -2 * ((a - 1) + (a + 1) * cs), (a + 1) + (a - 1) * cs - beta,
        a * ((a + 1) - (a - 1) * cs + beta), 2 * a * ((a - 1) - (a + 1) * cs), a * ((a + 1) - (a - 1) * cs - beta));
  }
}

void BesselLowPassSections(FilterSections& fs, int frequency, int slope) {
  const double fc = std::clamp<double>(frequency / kBesselLowPassDivisor[slope], kMinDesignHz, kMaxDesignHz);
  const double t = std::tan(kAnglePerHz * fc / 2);
  const double t2 = t * t;
  for (const AnalogueSection& sec : kBesselLowPass[slope]) {
    if (sec.p == 0.0) continue;
    Add(fs, sec.p * t + t2 + sec.q, 2 * t2 - 2 * sec.q, t2 - sec.p * t + sec.q, t2, 2 * t2, t2);
  }
}

void CrossoverSections(FilterSections& fs, bool highPass, int frequency, int family, int slope) {
  if (slope < 0 || slope > slope_code::k48 || slope == slope_code::kOff) return;
  if (family == crossover_family::kBessel && !highPass) {
    BesselLowPassSections(fs, frequency, slope);
    return;
  }
  const SectionValues* values = nullptr;
  double divisor = 1.0;
  switch (family) {
    case crossover_family::kLinkwitzRiley:
      values = &kLinkwitzRiley[slope];
      break;
    case crossover_family::kBessel:
      values = &kBesselHighPass[slope];
      divisor = kBesselHighPassDivisor[slope];
      break;
    case crossover_family::kButterworth:
      values = &kButterworth[slope];
      break;
    default:
      return;
  }
  const double fc = std::clamp<double>(frequency / divisor, kMinDesignHz, kMaxDesignHz);
  const double w0 = kAnglePerHz * fc;
  const double c = std::cos(w0);
  const double s = std::sin(w0);
  const double t = std::tan(w0 / 2);
  const bool oddOrder = slope == slope_code::k18 || slope == slope_code::k30 || slope == slope_code::k42;
  for (std::size_t k = 0; k < values->size(); ++k) {
    const double d = (*values)[k];
    if (d == 0.0) continue;
    if (k == 0 && oddOrder) {
      if (highPass) {
        Add(fs, Guard(d * t + 1), d * t - 1, 0, 1, -1, 0);
      } else {
        Add(fs, Guard(t + d), t - d, 0, t, t, 0);
      }
      continue;
    }
    const double x = s * d;
    if (highPass) {
      const double b0 = (1 + c) / 2;
      Add(fs, Guard(1 + x), -2 * c, 1 - x, b0, -(1 + c), b0);
    } else {
      const double b0 = (1 - c) / 2;
      Add(fs, Guard(1 + x), -2 * c, 1 - x, b0, 1 - c, b0);
    }
  }
}

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

const GridTrig& GridTrigTable() {
  static const GridTrig table = [] {
    GridTrig t;
    const auto& grid = FrequencyGrid();
    for (int i = 0; i < kGridPoints; ++i) {
      const double w = kTwoPi * grid[i] / kFilterSampleRate;
      t.cos[i] = std::cos(w);
      t.sin[i] = std::sin(w);
    }
    return t;
  }();
  return table;
}

CFilter::CFilter(const ChangeTracking* tracking) : tracking_(tracking) {}

bool CFilter::Tracking() const { return tracking_ != nullptr && tracking_->IsOn(); }

void CFilter::Touch() { pending_ = Tracking(); }

void CFilter::SetGraphSize(const GraphRect& plot) {
  graphWidth_ = plot.Width();
  graphHeight_ = plot.Height();
  const int zeroY = GraphY(0.0, graphHeight_) + kGraphMarginY;
  points_[0] = {kGraphMarginX, zeroY};
  points_[kFilterPoints - 1] = {graphWidth_ + kGraphMarginX, zeroY};
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) points_[i + 1].x = GraphX(grid[i], graphWidth_) + kGraphMarginX;
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
  for (int i = 0; i < kGridPoints; ++i) points_[i + 1].y = GraphY(response_[i], graphHeight_) + kGraphMarginY;
  curveStale_ = false;
}

FilterSections CFilter::Sections() const {
  FilterSections fs;
  switch (type_) {
    case filter_type::kPeaking:
      if (!bypass_ && !flat_) PeakingSections(fs, frequency_, gain_, bandwidth_);
      break;
    case filter_type::kLowShelf:
    case filter_type::kHighShelf:
      if (!bypass_ && !flat_) ShelfSections(fs, type_ == filter_type::kHighShelf, frequency_, slope_, gain_);
      break;
    case filter_type::kHighPass:
      if (frequency_ != kFilterMinHz && slope_ != slope_code::kOff)
        CrossoverSections(fs, true, frequency_, crossoverType_, EffectiveSlope());
      break;
    case filter_type::kLowPass:
      if (frequency_ != kFilterMaxHz && slope_ != slope_code::kOff)
        CrossoverSections(fs, false, frequency_, crossoverType_, EffectiveSlope());
      break;
    default:
      break;
  }
  return fs;
}

void CFilter::ComputePower() {
  const FilterSections fs = Sections();
  unity_ = fs.count == 0;
  if (unity_) {
    power_.fill(1.0);
    return;
  }
  // Per section the evaluation is |b0 z + b1 + b2/z|^2 / |z + a1 + a2/z|^2 at z = e^jw, whose real
  // parts are (b0 + b2) cos w + b1 and (1 + a2) cos w + a1 and whose imaginary parts are
  // (b0 - b2) sin w and (1 - a2) sin w. The sections' dB values add, so their power ratios multiply.
  struct Folded {
    double numC, numB1, numS, denC, denA1, denS;
  };
  std::array<Folded, 4> f{};
  for (int k = 0; k < fs.count; ++k) {
    const BiquadSection& s = fs.section[k];
    f[k] = {s.b0 + s.b2, s.b1, s.b0 - s.b2, 1 + s.a2, s.a1, 1 - s.a2};
  }
  const GridTrig& trig = GridTrigTable();
  for (int i = 0; i < kGridPoints; ++i) {
    const double c = trig.cos[i];
    const double s = trig.sin[i];
    double num = 1.0;
    double den = 1.0;
    for (int k = 0; k < fs.count; ++k) {
      const double nr = f[k].numC * c + f[k].numB1;
      const double ni = f[k].numS * s;
      const double dr = f[k].denC * c + f[k].denA1;
      const double di = f[k].denS * s;
      num *= nr * nr + ni * ni;
      den *= dr * dr + di * di;
    }
    power_[i] = num / den;
  }
}

// --- Edits -----------------------------------------------------------------------------------

void CFilter::SetFrequency(int hz, bool userEdit) {
  if (isEqBand_) {
    frequency_ = hz;
    if (!userEdit || !Tracking()) sentFrequency_ = hz;
  } else {
    frequency_ = hz;
    if (!userEdit) {
      sentFrequency_ = hz;
    } else if (linkedControl_ != nullptr) {
      linkedControl_->ShowFrequency(hz);
    }
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
  gain_ = (gainCode - kGainCodeFlat) / 10.0;
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
  }
  Update();
}

// --- State -----------------------------------------------------------------------------------

int CFilter::gainCode() const {
  if (flat_ || bypass_) return kGainCodeFlat;
  const int code = static_cast<int>(10.0 * (gain_ + 20.0) + 0.5);
  return std::clamp(code, 0, kGainCodeMax);
}

int CFilter::bandwidthIndex() const {
  return std::clamp(BandwidthIndexFromOctaves(bandwidth_), 0, kQTableSize - 1);
}

int CFilter::EffectiveSlope() const {
  if (restrictedSlopes_ && slope_ == slope_code::k18) return slope_code::k24;
  return slope_;
}

// --- Handles ---------------------------------------------------------------------------------

void CFilter::LayOutHandles() {
  if (isEqBand_) {
    LayOutBandHandles();
  } else {
    LayOutCrossoverHandle();
  }
  LayOutLabel();
}

void CFilter::LayOutBandHandles() {
  const int w = graphWidth_;
  const int h = graphHeight_;
  const double shownDb = IsFlat() ? 0.0 : gain_;
  int left = GraphX(frequency_, w) - kHalfHandle;
  int top = GraphY(shownDb, h) - kHalfHandle;
  if (left < 1 && w > kHalfHandle) left = 0;
  if (top < 1) top = 0;
  if (left + kHandleSize > w) left = w - kHandleSize;
  if (top + kHandleSize > h) top = h - kHandleSize;
  pointHandle_ = GraphRect{left, top, left + kHandleSize, top + kHandleSize}.Offset(kGraphMarginX, kGraphMarginY);

  if (type_ != filter_type::kPeaking) {
    lowWidthHandle_ = {};
    highWidthHandle_ = {};
    return;
  }
  const int cy = pointHandle_.Centre().y + (shownDb >= 0.0 ? kWidthHandleDy : -kWidthHandleDy);
  const double edge = std::pow(2.0, bandwidth_);
  const int hx = GraphX(frequency_ * edge, w) + kHighWidthHandleX;
  const int lx = GraphX(frequency_ / edge, w) + kLowWidthHandleX;
  highWidthHandle_ = {hx - 6, cy - kWidthHandleHalfHeight, hx + 7, cy + kWidthHandleHalfHeight};
  lowWidthHandle_ = {lx - 7, cy - kWidthHandleHalfHeight, lx + 6, cy + kWidthHandleHalfHeight};
}

void CFilter::LayOutCrossoverHandle() {
  const int w = graphWidth_;
  const int h = graphHeight_;
  const double handleDb = type_ == filter_type::kHighPass ? kHighPassHandleDb : kLowPassHandleDb;
  int left = GraphX(frequency_, w) - kHalfHandle;
  const int top = GraphY(handleDb, h) - kHalfHandle;
  left = std::max(left, -kHalfHandle);
  left = std::min(left, w + kHalfHandle - kHandleSize);
  pointHandle_ = GraphRect{left, top, left + kHandleSize, top + kHandleSize}.Offset(kGraphMarginX, kGraphMarginY);
  lowWidthHandle_ = {};
  highWidthHandle_ = {};
}

void CFilter::LayOutLabel() {
  const GraphRect& hd = pointHandle_;
  const int plotLeft = kGraphMarginX;
  const int plotRight = graphWidth_ + kGraphMarginX;
  const int plotBottom = graphHeight_ + kGraphMarginY;
  switch (type_) {
    case filter_type::kPeaking:
    case filter_type::kLowShelf:
    case filter_type::kHighShelf: {
      const int dy = plotBottom - hd.bottom <= kLabelFlipDistance ? -kLabelDy : kLabelDy;
      GraphRect r = hd.Offset(0, dy);
      if (type_ == filter_type::kPeaking) {
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
      labelRect_ = r;
      break;
    }
    default: {
      const int dy = type_ == filter_type::kHighPass ? kCrossoverLabelDy : -kCrossoverLabelDy;
      GraphRect r = hd.Offset(0, dy);
      r.left -= kCrossoverLabelSide;
      r.right += kCrossoverLabelSide;
      // Keep the text inside the plot when the handle sits at either end.
      if (r.left < plotLeft) r = r.Offset(plotLeft - r.left, 0);
      if (r.right > plotRight) r = r.Offset(plotRight - r.right, 0);
      labelRect_ = r;
      break;
    }
  }
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
    case filter_type::kPeaking:
      return "G:" + gain + "-F:" + std::to_string(frequency_) + "-Q:" + QText();
    case filter_type::kLowShelf:
      return "Lo " + std::to_string(frequency_) + "-" + std::string(ShelfSlopeText()) + " G" + gain;
    case filter_type::kHighShelf:
      return "Hi F:" + std::to_string(frequency_) + "-" + std::string(ShelfSlopeText()) + " G:" + gain;
    default:
      return "F:" + std::to_string(frequency_);
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
         std::isfinite(gain) && std::fabs(gain) <= kMaxGain + kTolerance &&
         inRange(GetS32(in, kBypass), 0, 1) && inRange(GetS32(in, kFlat), 0, 1) &&  //
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
