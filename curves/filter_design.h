#pragma once
// Filter designs as plain functions of hertz, decibels and octaves: each returns the digital
// biquad sections (96 kHz) of one filter kind, and the response of any sections in dB at a
// frequency or on the 241-point grid. Nothing here knows a pixel, a handle or a filter object;
// CFilter picks the design for its parameters, and the graph only maps the results.

#include <array>

#include "core/encodings.h"

namespace zelto {

inline constexpr double kFilterSampleRate = 96000.0;

// Filter types (EqBandRecord byte 7).
namespace filter_type {
inline constexpr int kPeaking = 0;
inline constexpr int kLowShelf = 1;
inline constexpr int kHighShelf = 2;
inline constexpr int kHighPass = 3;
inline constexpr int kLowPass = 4;
}  // namespace filter_type

// Crossover families.
namespace crossover_family {
inline constexpr int kLinkwitzRiley = 0;
inline constexpr int kBessel = 1;
inline constexpr int kButterworth = 2;
}  // namespace crossover_family

// Crossover slope codes; 48 dB/Oct comes after "off".
namespace slope_code {
inline constexpr int k12 = 0;
inline constexpr int k18 = 1;
inline constexpr int k24 = 2;
inline constexpr int k30 = 3;
inline constexpr int k36 = 4;
inline constexpr int k42 = 5;
inline constexpr int kOff = 6;
inline constexpr int k48 = 7;
inline constexpr int kShelf6 = 0;
inline constexpr int kShelf12 = 1;
}  // namespace slope_code

/// One second-order (or first-order, b2 = a2 = 0) section, already divided by a0.
struct BiquadSection {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

/// The sections of one design; unity sections are left out, so none means 0 dB everywhere.
struct FilterSections {
  std::array<BiquadSection, 4> section{};
  int count = 0;
};

/// Peaking band at `centreHz` with `gainDb` and a width of `bandwidthOct` octaves.
FilterSections PeakingDesign(double centreHz, double gainDb, double bandwidthOct);

/// Low (`high` false) or high shelf at `cornerHz`; `slopeCode` 0 is "6dB/Oct", 1 "12dB/Oct".
FilterSections ShelfDesign(bool high, double cornerHz, int slopeCode, double gainDb);

/// The cookbook peaking filter with quality `q` (bandwidth between the half-gain points = centre / q),
/// the form REW and most equalisers name their bands in.
FilterSections CookbookPeakingDesign(double centreHz, double gainDb, double q);

/// The cookbook low (`high` false) or high shelf with its gain midpoint at `centreHz` and quality
/// `q` (1/sqrt(2) is the cookbook's steepest shelf without overshoot, slope S = 1).
FilterSections CookbookShelfDesign(bool high, double centreHz, double gainDb, double q);

/// The cookbook Q whose peaking response equals that of the processor's band of `bandwidthOct`
/// octaves at `centreHz` (the processor's bandwidth carries twice the cookbook's octave factor),
/// and the other way round.
double CookbookQOfBand(double centreHz, double bandwidthOct);
double BandOctavesOfCookbookQ(double centreHz, double q);

/// The quality of a cookbook shelf of `gainDb` with shelf slope `s` (S = 1 is 12 dB/Oct, S = 0.5
/// 6 dB/Oct).
double ShelfQForSlope(double gainDb, double s);

/// Crossover high-pass (`highPass`) or low-pass of one family at `cornerHz`, by slope code
/// (0 = 12 dB/Oct .. 5 = 42, 6 = off, 7 = 48 dB/Oct).
FilterSections LinkwitzRileyDesign(bool highPass, double cornerHz, int slopeCode);
FilterSections ButterworthDesign(bool highPass, double cornerHz, int slopeCode);
FilterSections BesselDesign(bool highPass, double cornerHz, int slopeCode);
/// The design of family `family` (0 Linkwitz-Riley, 1 Bessel, 2 Butterworth); none for others.
FilterSections CrossoverDesign(bool highPass, double cornerHz, int family, int slopeCode);

/// Response of `sections` in dB at `hz`.
double ResponseDb(const FilterSections& sections, double hz);

/// |H|^2 of `sections` at every grid frequency (all ones for no sections).
std::array<double, kGridPoints> GridPower(const FilterSections& sections);

/// Response of `sections` in dB at every grid frequency.
std::array<double, kGridPoints> GridResponseDb(const FilterSections& sections);

/// cos and sin of the angle of every grid frequency at 96 kHz (6.2831852 * f / 96000).
struct GridTrig {
  std::array<double, kGridPoints> cos{};
  std::array<double, kGridPoints> sin{};
};
const GridTrig& GridTrigTable();

}  // namespace zelto
