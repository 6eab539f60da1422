#include "measure/auto_eq.h"

#include <algorithm>
#include <cmath>

#include "model/eq.h"

namespace zelto::measure {

namespace {

using Curve = std::array<double, kGridPoints>;

// The automatic EQ spends no band on less than (0.05 dB)^2 of mean square deviation: smaller
// details are the measurement's, not the car's.
constexpr double kMinImprovement = 0.0025;
// Dips are found on a lightly smoothed curve, so a cancellation keeps its depth and width.
constexpr int kDipSmoothing = 48;
// A dip is a local minimum this far below the lower of its surroundings within half an octave on
// either side; it is boosted only when wider than a third of an octave at half its depth.
constexpr double kMinDipDepthDb = 3.0;
constexpr double kDipSurroundOctaves = 0.5;
constexpr double kBroadDipOctaves = 1.0 / 3.0;
// Around a narrow dip the 1/6-octave curve the fit follows is still pulled down by it.
constexpr double kDipMarginOctaves = 1.0 / 12.0;
// A speaker's own roll-off: below the point where it has fallen this far, nothing is boosted.
constexpr double kRollOffDb = 6.0;
// Where nothing is to be boosted, the skirts of bands beside it may still reach this far: every
// peaking band lifts every frequency a little.
constexpr double kNoBoostDb = 0.1;
// Outside the range the fitted bands may change the response only this much: skirts of bands at
// the range's edges, never a boost into a stop band.
constexpr double kOutsideBoostDb = 0.5;
constexpr double kOutsideCutDb = 1.0;
// No two bands closer than this many grid points (1/12 octave).
constexpr int kMinBandSpacing = 2;
// A limit counts as binding within this of it while the result misses the target by this much.
constexpr double kAtLimitDb = 0.5;
constexpr double kShortOfTargetDb = 0.5;

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

/// The grid point nearest `octaves` away from point `i` (in log frequency).
int OctavesAway(int i, double octaves) {
  const auto& grid = FrequencyGrid();
  return std::clamp(NearestGridIndex(grid[i] * std::exp2(octaves)), 0, kGridPoints - 1);
}

/// Where `e` crosses `level` between grid points a and b (log frequency, straight lines).
double CrossingOctave(const Curve& e, int a, int b, double level) {
  const auto& grid = FrequencyGrid();
  const double xa = std::log2(grid[a]), xb = std::log2(grid[b]);
  if (e[a] == e[b]) return (xa + xb) / 2;
  const double t = std::clamp((level - e[a]) / (e[b] - e[a]), 0.0, 1.0);
  return xa + t * (xb - xa);
}

struct DipSearch {
  std::vector<Dip> narrow;
  std::vector<bool> leaveAlone = std::vector<bool>(kGridPoints, false);
};

/// The narrow dips of `e` (measured minus target, dB) within `range` whose bottom lies more than
/// `belowDb` under the target.
DipSearch NarrowDips(const Curve& e, const std::array<bool, kGridPoints>& has, GridRange range, double belowDb) {
  DipSearch out;
  const auto& grid = FrequencyGrid();
  const auto ok = [&](int i) { return range.Contains(i) && has[i]; };
  for (int j = range.first; j <= range.last; ++j) {
    if (!ok(j) || e[j] > -belowDb) continue;
    if ((ok(j - 1) && e[j - 1] < e[j]) || (ok(j + 1) && e[j + 1] < e[j])) continue;
    const int from = OctavesAway(j, -kDipSurroundOctaves), to = OctavesAway(j, kDipSurroundOctaves);
    double left = -1e300, right = -1e300;
    for (int i = from; i < j; ++i)
      if (ok(i)) left = std::max(left, e[i]);
    for (int i = j + 1; i <= to; ++i)
      if (ok(i)) right = std::max(right, e[i]);
    // A fall that does not come back up within the range is a roll-off, not a dip.
    if (left < -1e299 || right < -1e299) continue;
    const double depth = std::min(left, right) - e[j];
    if (depth < kMinDipDepthDb) continue;
    const double half = e[j] + depth / 2;
    int p = j, q = j;
    while (ok(p - 1) && e[p - 1] < half) --p;
    while (ok(q + 1) && e[q + 1] < half) ++q;
    const double lo = ok(p - 1) ? CrossingOctave(e, p - 1, p, half) : std::log2(grid[p]);
    const double hi = ok(q + 1) ? CrossingOctave(e, q, q + 1, half) : std::log2(grid[q]);
    const double width = hi - lo;
    if (width < kBroadDipOctaves) {
      out.narrow.push_back({grid[j], depth, width});
      const int a = std::max(range.first, NearestGridIndex(std::exp2(lo - kDipMarginOctaves)));
      const int b = std::min(range.last, NearestGridIndex(std::exp2(hi + kDipMarginOctaves)));
      for (int i = a; i <= b; ++i) out.leaveAlone[static_cast<std::size_t>(i)] = true;
    }
    j = q;
  }
  return out;
}

/// The stretches of grid points where `bound(i)` holds.
template <class Bound>
std::vector<HzRange> Stretches(GridRange range, Bound bound) {
  std::vector<HzRange> out;
  const auto& grid = FrequencyGrid();
  bool open = false;
  for (int i = range.first; i <= range.last + 1; ++i) {
    const bool b = i <= range.last && bound(i);
    if (b && !open) out.push_back({grid[i], grid[i]});
    if (b) out.back().hiHz = grid[i];
    open = b;
  }
  return out;
}

}  // namespace

HzRange PassBandOf(const CKTVEQ& eq) {
  const CFilter& hp = eq.HighPass();
  const CFilter& lp = eq.LowPass();
  HzRange r{double(kFilterMinHz), double(kFilterMaxHz)};
  if (hp.slope() != slope_code::kOff && hp.frequency() > kFilterMinHz) r.loHz = hp.frequency();
  if (lp.slope() != slope_code::kOff && lp.frequency() < kFilterMaxHz) r.hiHz = lp.frequency();
  r.hiHz = std::max(r.hiHz, r.loHz);
  return r;
}

AutoEqRequest RequestForChannel(const CKTVEQ& eq, ChannelMeasurement measured, const AutoEqOptions& o) {
  AutoEqRequest q;
  q.measured = std::move(measured);
  q.crossoverResponse = CrossoverResponseOf(eq);
  q.currentBands = BandsOf(eq);
  const auto centres = OutputBandCentres();
  q.centres.assign(centres.begin(), centres.end());
  q.target = o.target;
  q.passBand = PassBandOf(eq);
  q.range = o.range;
  q.maxBoostDb = o.maxBoostDb;
  q.cutLimitDb = o.cutLimitDb;
  q.flatnessDb = o.flatnessDb;
  q.lowCutHz = o.lowCutHz;
  return q;
}

AutoEqResult AutoEq(const AutoEqRequest& q) {
  AutoEqResult r;
  r.bands = q.currentBands;
  const auto& grid = FrequencyGrid();

  // The range: the pass band unless narrower was asked for; a stop band is never equalised.
  const HzRange pass{std::clamp<double>(q.passBand.loHz, kFilterMinHz, kFilterMaxHz),
                     std::clamp<double>(q.passBand.hiHz, kFilterMinHz, kFilterMaxHz)};
  const HzRange asked = q.range.value_or(pass);
  r.range = {std::max(asked.loHz, pass.loHz), std::min(asked.hiHz, pass.hiHz)};
  r.rangeNarrowed = q.range && (asked.loHz < pass.loHz - 0.5 || asked.hiHz > pass.hiHz + 0.5);
  r.passBand = pass;
  const GridRange range = r.range.loHz < r.range.hiHz ? RangeOf(r.range.loHz, r.range.hiHz) : GridRange{1, 0};

  // The target keeps the crossovers' designed slopes: the fit aims at target + crossover.
  for (int i = 0; i < kGridPoints; ++i) r.reference[i] = q.target[i] + q.crossoverResponse[i];
  const GridCurve measured = q.measured.Measured(kReportSmoothing);
  const auto predict = [&](std::span<const BandSetting> bands) {
    const Curve b = BandsResponse(bands);
    Curve now;
    for (int i = 0; i < kGridPoints; ++i) now[i] = q.crossoverResponse[i] + b[i];
    return q.measured.Predicted(now, kReportSmoothing);
  };
  r.predicted = predict(r.bands);
  r.before = Compare(r.predicted, r.reference, range, true);
  r.after = r.before;
  r.lowCutHz = r.range.loHz;
  r.bandsUsed =
      static_cast<int>(std::count_if(r.bands.begin(), r.bands.end(), [](const BandSetting& b) { return !b.IsFlat(); }));
  if (r.before.points == 0) {
    r.status = AutoEqResult::Status::NoOverlap;
    return r;
  }

  // The target is placed at the measurement's typical level (the median difference), and the
  // bands are fitted to it at that level. Were the level free during the fit, a dip the boost
  // limit cannot fill would be "matched" by cutting everything around it.
  std::vector<double> diffs;
  for (int i = range.first; i <= range.last; ++i)
    if (measured.has[i]) diffs.push_back(measured.db[i] - r.reference[i]);
  const double level = Median(std::move(diffs));
  const GridCurve fine = q.measured.Measured(kDipSmoothing);
  Curve e6{}, e48{};
  for (int i = 0; i < kGridPoints; ++i) {
    e6[i] = measured.db[i] - r.reference[i] - level;
    e48[i] = fine.db[i] - r.reference[i] - level;
  }

  const double maxBoost = std::clamp(q.maxBoostDb, 0.0, kMaxLimitDb);
  const double cutLimit = std::clamp(q.cutLimitDb, 0.0, kMaxLimitDb);
  const double flatness = std::max(0.0, q.flatnessDb);
  const DipSearch dips = NarrowDips(e48, fine.has, range, flatness);
  r.dipsLeft = dips.narrow;

  // A speaker rolling off by itself is not boosted below its -6 dB point.
  if (q.lowCutHz) {
    r.lowCutHz = std::max(*q.lowCutHz, r.range.loHz);
  } else {
    int i = range.first;
    while (i <= range.last && (!measured.has[i] || e6[i] < -kRollOffDb)) ++i;
    r.lowCutMeasured = i > range.first && i <= range.last;
    if (r.lowCutMeasured) r.lowCutHz = grid[i];
  }

  // Bands outside the range stay as they are; the fit has the other slots.
  std::vector<std::size_t> freeSlots;
  std::vector<int> freeCentres;
  std::vector<BandSetting> fixed, freeNow;
  for (std::size_t k = 0; k < q.currentBands.size() && k < q.centres.size(); ++k) {
    const BandSetting& b = q.currentBands[k];
    if (!b.IsFlat() && (b.hz < r.range.loHz || b.hz > r.range.hiHz)) {
      fixed.push_back(b);
    } else {
      freeSlots.push_back(k);
      freeCentres.push_back(q.centres[k]);
      freeNow.push_back(b);
    }
  }
  const Curve fixedResponse = BandsResponse(fixed);

  FitGoal goal;
  Curve upper{}, lower{};
  for (int i = 0; i < kGridPoints; ++i) {
    if (!range.Contains(i)) {
      const bool stopBand = grid[i] < pass.loHz || grid[i] > pass.hiHz;
      upper[i] = kOutsideBoostDb;
      lower[i] = stopBand ? -cutLimit : -kOutsideCutDb;
      continue;
    }
    // The limits hold for every band together, the fixed ones included.
    upper[i] = std::max(0.0, maxBoost - fixedResponse[i]);
    lower[i] = std::min(0.0, -cutLimit - fixedResponse[i]);
    if (grid[i] < r.lowCutHz || dips.leaveAlone[static_cast<std::size_t>(i)]) upper[i] = kNoBoostDb;
    // Below the roll-off and in a cancellation the fit has nothing to follow.
    if (!measured.has[i] || dips.leaveAlone[static_cast<std::size_t>(i)] || grid[i] < r.lowCutHz) continue;
    goal.weight[i] = 1.0;
    goal.wanted[i] = r.reference[i] + level - measured.db[i] + q.measured.keptResponse[i] - q.crossoverResponse[i] -
                     fixedResponse[i];
  }
  FitLimits limits;
  limits.bands = static_cast<int>(freeSlots.size());
  limits.maxBoostDb = maxBoost;
  limits.maxCutDb = -cutLimit;
  limits.upper = upper;
  limits.lower = lower;
  limits.minImprovement = kMinImprovement;
  limits.maxPerPlace = 1;
  limits.minSpacing = kMinBandSpacing;
  limits.places = range;
  limits.flatnessDb = flatness;
  limits.cutsFirst = true;
  const std::vector<BandSetting> fitted = FitBands(goal, limits);

  std::vector<BandSetting> placed = AssignToSlots(fitted, freeCentres);
  KeepUnusedSlots(placed, freeNow);
  std::vector<BandSetting> bands = q.currentBands;
  for (std::size_t n = 0; n < freeSlots.size(); ++n) bands[freeSlots[n]] = placed[n];
  const GridCurve predicted = predict(bands);
  const Deviation after = Compare(predicted, r.reference, range, true);
  // Whether the bands help is judged where they may work: a roll-off below the low cut, which no
  // band touches, would otherwise count every boost above it as a loss.
  const GridRange working = RangeOf(std::max(r.lowCutHz, r.range.loHz), r.range.hiHz);
  if (!(Compare(predicted, r.reference, working, true).rms < Compare(r.predicted, r.reference, working, true).rms)) {
    r.status = AutoEqResult::Status::Unchanged;
    return r;
  }
  r.bands = std::move(bands);
  r.predicted = predicted;
  r.after = after;
  r.bandsUsed =
      static_cast<int>(std::count_if(r.bands.begin(), r.bands.end(), [](const BandSetting& b) { return !b.IsFlat(); }));
  r.bandsFitted = static_cast<int>(fitted.size());

  const Curve sum = BandsResponse(placed);
  const auto miss = [&](int i) { return r.predicted.db[i] - r.reference[i] - r.after.offset; };
  r.boostLimited = Stretches(range, [&](int i) {
    // Where no boost is allowed at all (a cancellation, the roll-off), it is not the limit that holds.
    return r.predicted.has[i] && upper[i] > kNoBoostDb && sum[i] >= upper[i] - kAtLimitDb &&
           miss(i) < -kShortOfTargetDb;
  });
  r.cutLimited = Stretches(range, [&](int i) {
    return r.predicted.has[i] && sum[i] <= lower[i] + kAtLimitDb && miss(i) > kShortOfTargetDb;
  });
  return r;
}

}  // namespace zelto::measure
