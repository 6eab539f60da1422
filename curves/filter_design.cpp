#include "curves/filter_design.h"

#include <algorithm>
#include <cassert>
#include <cmath>

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
constexpr std::array<double, 8> kBesselHighPassDivisor = {1.2683112435, 1.2854981442, 1.5006420029, 1.3854981442,
                                                          1.5554981442, 1.5554981442, 1.0,          1.679120141};

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
constexpr std::array<double, 8> kBesselLowPassDivisor = {1.3616541287, 1.75567236868, 2.1139176749, 1.0,
                                                         1.0,          1.0,           1.0,          3.17961723751};

double Guard(double a0) { return a0 == 0.0 ? kZeroGuard : a0; }

void Add(FilterSections& fs, double a0, double a1, double a2, double b0, double b1, double b2) {
  assert(fs.count < static_cast<int>(fs.section.size()));
  fs.section[fs.count++] = {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

/// The cookbook's shelf section for amplitude `a`, cos w0 `cs` and beta = 2 sqrt(A) alpha.
void AddShelf(FilterSections& fs, bool high, double a, double cs, double beta) {
  if (high) {
    Add(fs, (a + 1) - (a - 1) * cs + beta, 2 * ((a - 1) - (a + 1) * cs), (a + 1) - (a - 1) * cs - beta,
        a * ((a + 1) + (a - 1) * cs + beta), -2 * a * ((a - 1) + (a + 1) * cs), a * ((a + 1) + (a - 1) * cs - beta));
  } else {
    Add(fs, (a + 1) + (a - 1) * cs + beta, -2 * ((a - 1) + (a + 1) * cs), (a + 1) + (a - 1) * cs - beta,
        a * ((a + 1) - (a - 1) * cs + beta), 2 * a * ((a - 1) - (a + 1) * cs), a * ((a + 1) - (a - 1) * cs - beta));
  }
}

bool IsPlayingSlope(int slopeCode) {
  return slopeCode >= 0 && slopeCode <= slope_code::k48 && slopeCode != slope_code::kOff;
}

// Cookbook high-/low-pass second-order sections (1 / (2Q) = d, alpha = d sin w0), cascaded with
// the processor's section constants. Odd orders start with a first-order section: the bilinear
// transform of d / (s + d) (low-pass) or d s / (d s + 1) (high-pass) with T = tan(w0 / 2).
FilterSections CascadeDesign(bool highPass, double cornerHz, int slopeCode, const SectionValues& values) {
  FilterSections fs;
  const double fc = std::clamp<double>(cornerHz, kMinDesignHz, kMaxDesignHz);
  const double w0 = kAnglePerHz * fc;
  const double c = std::cos(w0);
  const double s = std::sin(w0);
  const double t = std::tan(w0 / 2);
  const bool oddOrder = slopeCode == slope_code::k18 || slopeCode == slope_code::k30 || slopeCode == slope_code::k42;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const double d = values[k];
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
  return fs;
}

}  // namespace

// Audio EQ Cookbook (R. Bristow-Johnson), peakingEQ in its bandwidth form; the sinh argument uses
// ln 2 where the cookbook has ln 2 / 2, as the processor does.
FilterSections PeakingDesign(double centreHz, double gainDb, double bandwidthOct) {
  FilterSections fs;
  const double w0 = kAnglePerHz * centreHz;
  const double a = std::pow(10.0, gainDb / 40.0);
  const double sn = std::sin(w0);
  const double cs = std::cos(w0);
  const double alpha = sn * std::sinh(kLn2 * bandwidthOct * w0 / sn);
  Add(fs, 1 + alpha / a, -2 * cs, 1 - alpha / a, 1 + alpha * a, -2 * cs, 1 - alpha * a);
  return fs;
}

// Audio EQ Cookbook lowShelf / highShelf with shelf slope S; the corner angle is scaled per slope
// code so that the shelf sits where the processor puts it.
FilterSections ShelfDesign(bool high, double cornerHz, int slopeCode, double gainDb) {
  FilterSections fs;
  if (gainDb == 0.0) return fs;  // the unity section
  if (slopeCode < 0 || slopeCode > 1) return fs;
  const ShelfRow row = high ? kHighShelf[slopeCode] : kLowShelf[slopeCode];
  const double w0 = kAnglePerHz * std::clamp<double>(cornerHz, kMinDesignHz, kMaxDesignHz) * row.factor;
  const double a = std::pow(10.0, gainDb / 40.0);
  const double cs = std::cos(w0);
  const double alpha = std::sin(w0) / 2 * std::sqrt((a + 1 / a) * (1 / row.s - 1) + 2);
  AddShelf(fs, high, a, cs, 2 * std::sqrt(a) * alpha);
  return fs;
}

// Audio EQ Cookbook (R. Bristow-Johnson), peakingEQ in its Q form: alpha = sin w0 / (2Q). The angle
// is the processor's, so a file's filter and a band are compared at the same frequencies.
FilterSections CookbookPeakingDesign(double centreHz, double gainDb, double q) {
  FilterSections fs;
  const double w0 = kAnglePerHz * std::clamp<double>(centreHz, kMinDesignHz, kMaxDesignHz);
  const double a = std::pow(10.0, gainDb / 40.0);
  const double alpha = std::sin(w0) / (2 * q);
  const double cs = std::cos(w0);
  Add(fs, 1 + alpha / a, -2 * cs, 1 - alpha / a, 1 + alpha * a, -2 * cs, 1 - alpha * a);
  return fs;
}

// Audio EQ Cookbook lowShelf / highShelf in the Q form: beta = 2 sqrt(A) alpha, alpha = sin w0 / (2Q).
FilterSections CookbookShelfDesign(bool high, double centreHz, double gainDb, double q) {
  FilterSections fs;
  if (gainDb == 0.0) return fs;
  const double w0 = kAnglePerHz * std::clamp<double>(centreHz, kMinDesignHz, kMaxDesignHz);
  const double a = std::pow(10.0, gainDb / 40.0);
  const double cs = std::cos(w0);
  AddShelf(fs, high, a, cs, 2 * std::sqrt(a) * std::sin(w0) / (2 * q));
  return fs;
}

// The processor: alpha = sin w0 sinh(ln2 bw w0 / sin w0); the cookbook: alpha = sin w0 / (2Q).
double CookbookQOfBand(double centreHz, double bandwidthOct) {
  const double w0 = kAnglePerHz * centreHz;
  return 1.0 / (2.0 * std::sinh(kLn2 * bandwidthOct * w0 / std::sin(w0)));
}

double BandOctavesOfCookbookQ(double centreHz, double q) {
  const double w0 = kAnglePerHz * centreHz;
  return std::asinh(1.0 / (2.0 * q)) * std::sin(w0) / (kLn2 * w0);
}

// The cookbook's 1/Q = sqrt((A + 1/A)(1/S - 1) + 2).
double ShelfQForSlope(double gainDb, double s) {
  const double a = std::pow(10.0, gainDb / 40.0);
  return 1.0 / std::sqrt((a + 1 / a) * (1 / s - 1) + 2);
}

// Linkwitz-Riley: cascaded Butterworth-shaped sections with the processor's damping values.
FilterSections LinkwitzRileyDesign(bool highPass, double cornerHz, int slopeCode) {
  if (!IsPlayingSlope(slopeCode)) return {};
  return CascadeDesign(highPass, cornerHz, slopeCode, kLinkwitzRiley[static_cast<std::size_t>(slopeCode)]);
}

// Butterworth: the pole pairs of the Butterworth polynomial as cascaded cookbook sections.
FilterSections ButterworthDesign(bool highPass, double cornerHz, int slopeCode) {
  if (!IsPlayingSlope(slopeCode)) return {};
  return CascadeDesign(highPass, cornerHz, slopeCode, kButterworth[static_cast<std::size_t>(slopeCode)]);
}

// Bessel: the high-pass as cascaded cookbook sections on a scaled corner; the low-pass as the
// bilinear transform (T = tan(w0 / 2)) of the analogue Bessel sections 1 / (q s^2 + p s + 1).
FilterSections BesselDesign(bool highPass, double cornerHz, int slopeCode) {
  if (!IsPlayingSlope(slopeCode)) return {};
  const auto code = static_cast<std::size_t>(slopeCode);
  if (highPass) return CascadeDesign(true, cornerHz / kBesselHighPassDivisor[code], slopeCode, kBesselHighPass[code]);
  FilterSections fs;
  const double fc = std::clamp<double>(cornerHz / kBesselLowPassDivisor[code], kMinDesignHz, kMaxDesignHz);
  const double t = std::tan(kAnglePerHz * fc / 2);
  const double t2 = t * t;
  for (const AnalogueSection& sec : kBesselLowPass[code]) {
    if (sec.p == 0.0) continue;
    Add(fs, sec.p * t + t2 + sec.q, 2 * t2 - 2 * sec.q, t2 - sec.p * t + sec.q, t2, 2 * t2, t2);
  }
  return fs;
}

FilterSections CrossoverDesign(bool highPass, double cornerHz, int family, int slopeCode) {
  switch (family) {
    case crossover_family::kLinkwitzRiley: return LinkwitzRileyDesign(highPass, cornerHz, slopeCode);
    case crossover_family::kBessel: return BesselDesign(highPass, cornerHz, slopeCode);
    case crossover_family::kButterworth: return ButterworthDesign(highPass, cornerHz, slopeCode);
    default: return {};
  }
}

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

namespace {

// Per section the evaluation is |b0 z + b1 + b2/z|^2 / |z + a1 + a2/z|^2 at z = e^jw, whose real
// parts are (b0 + b2) cos w + b1 and (1 + a2) cos w + a1 and whose imaginary parts are
// (b0 - b2) sin w and (1 - a2) sin w. The sections' dB values add, so their power ratios multiply.
struct Folded {
  double numC, numB1, numS, denC, denA1, denS;
};

std::array<Folded, 4> Fold(const FilterSections& fs) {
  std::array<Folded, 4> f{};
  for (int k = 0; k < fs.count; ++k) {
    const BiquadSection& s = fs.section[static_cast<std::size_t>(k)];
    f[static_cast<std::size_t>(k)] = {s.b0 + s.b2, s.b1, s.b0 - s.b2, 1 + s.a2, s.a1, 1 - s.a2};
  }
  return f;
}

double PowerAt(const std::array<Folded, 4>& f, int count, double c, double s) {
  double num = 1.0;
  double den = 1.0;
  for (int k = 0; k < count; ++k) {
    const Folded& g = f[static_cast<std::size_t>(k)];
    const double nr = g.numC * c + g.numB1;
    const double ni = g.numS * s;
    const double dr = g.denC * c + g.denA1;
    const double di = g.denS * s;
    num *= nr * nr + ni * ni;
    den *= dr * dr + di * di;
  }
  return num / den;
}

}  // namespace

double ResponseDb(const FilterSections& sections, double hz) {
  if (sections.count == 0) return 0.0;
  const double w = kTwoPi * hz / kFilterSampleRate;
  return kDbPerNeper * std::log(PowerAt(Fold(sections), sections.count, std::cos(w), std::sin(w)));
}

std::array<double, kGridPoints> GridPower(const FilterSections& sections) {
  std::array<double, kGridPoints> power;
  power.fill(1.0);
  if (sections.count == 0) return power;
  const std::array<Folded, 4> f = Fold(sections);
  const GridTrig& trig = GridTrigTable();
  for (int i = 0; i < kGridPoints; ++i) power[i] = PowerAt(f, sections.count, trig.cos[i], trig.sin[i]);
  return power;
}

std::array<double, kGridPoints> GridResponseDb(const FilterSections& sections) {
  std::array<double, kGridPoints> db = GridPower(sections);
  for (double& v : db) v = sections.count == 0 ? 0.0 : kDbPerNeper * std::log(v);
  return db;
}

}  // namespace zelto
