#include "measure/band_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>

#include "curves/filter_design.h"
#include "model/eq.h"

namespace zelto::measure {

namespace {

constexpr double kDbPerNeper = 4.3429448190325182765;  // 10 / ln 10: dB of a power ratio
constexpr double kInf = std::numeric_limits<double>::infinity();
// A band is only added where it takes away at least this much of the remaining difference.
constexpr double kSmallestUsefulDb = 0.05;
constexpr int kMaxRefinePasses = 12;
// Band responses a fit remembers (about 2 kB each).
constexpr std::size_t kRememberedResponses = 4096;
// Another pass over every band is only made while the last one took off more than this share.
constexpr double kWorthAnotherPass = 0.002;
constexpr int kMaxBlockedPeaks = 24;
// Widths tried for a new band, from the narrowest the processor has to its widest.
constexpr std::array<int, 13> kTrialWidths = {4, 6, 9, 13, 19, 27, 38, 54, 76, 108, 150, 210, 295};
constexpr std::array<int, 3> kGainSteps = {16, 4, 1};
constexpr std::array<int, 4> kWidthSteps = {30, 10, 3, 1};
constexpr std::array<int, 3> kPlaceSteps = {4, 2, 1};
// A file's filter counts as narrower than a band once its Q is this much beyond the narrowest band.
constexpr double kQMargin = 1.05;
// An import spends no band on less than (0.02 dB)^2: far below what the file's own 0.1 dB steps
// can mean, and it keeps the band list readable.
constexpr double kImportMinImprovement = 0.0004;

using Curve = std::array<double, kGridPoints>;

/// Grid points a band can be centred on, each with a whole frequency in Hz that snaps to it (the
/// closest to the grid value). Below 30 Hz the grid is finer than 1 Hz, so a few points have none.
struct Place {
  int grid;
  int hz;
};
const std::vector<Place>& Places() {
  static const std::vector<Place> places = [] {
    const auto& grid = FrequencyGrid();
    std::vector<Place> out;
    std::vector<int> best(kGridPoints, 0);
    for (int hz = kFilterMinHz; hz <= kFilterMaxHz; ++hz) {
      const int i = NearestGridIndex(hz);
      if (best[i] == 0 || std::abs(hz - grid[i]) < std::abs(best[i] - grid[i])) best[i] = hz;
    }
    for (int i = 0; i < kGridPoints; ++i)
      if (best[i] != 0) out.push_back({i, best[i]});
    return out;
  }();
  return places;
}

/// Index into Places() of the place nearest to `hz` (in log frequency).
int PlaceNear(double hz) {
  const auto& places = Places();
  const auto& grid = FrequencyGrid();
  int best = 0;
  double bestD = kInf;
  for (int k = 0; k < static_cast<int>(places.size()); ++k) {
    const double d = std::abs(std::log(grid[places[k].grid] / hz));
    if (d < bestD) {
      bestD = d;
      best = k;
    }
  }
  return best;
}

int GainCodeOf(double db) { return BandGainEditCodeFromDb(db); }

/// The bandwidth index whose processor band has the cookbook Q `q` at `hz`, limited to the table.
int WidthForQ(double q, double hz) {
  const int index = static_cast<int>(std::lround((BandOctavesOfCookbookQ(hz, q) - 0.05) / 0.01));
  return std::clamp(index, kMinBandwidthIndex, kMaxBandwidthIndex);
}

class Fitter {
  struct Slot {
    BandSetting band;
    int place = 0;
    Curve response{};
  };

 public:
  Fitter(const FitGoal& goal, const FitLimits& limits) : goal_(goal), limits_(limits) {
    minCode_ = std::max(0, GainCodeOf(limits.maxCutDb));
    maxCode_ = std::min(kGainCodeMax, GainCodeOf(limits.maxBoostDb));
    upper_.fill(kInf);
    lower_.fill(-kInf);
    if (limits.upper) upper_ = *limits.upper;
    if (limits.lower) lower_ = *limits.lower;
    for (int i = 0; i < kGridPoints; ++i) weightSum_ += goal.weight[i];
    sum_.fill(0.0);
    cost_ = Cost(sum_);
  }

  void Add(const BandSetting& b) {
    if (static_cast<int>(slots_.size()) >= limits_.bands || !Free(PlaceNear(b.hz), nullptr)) return;
    Slot s{b, PlaceNear(b.hz), Response(b)};
    s.band.hz = Places()[s.place].hz;
    for (int i = 0; i < kGridPoints; ++i) sum_[i] += s.response[i];
    slots_.push_back(std::move(s));
    cost_ = Cost(sum_);
  }

  /// Adds bands where the difference left is largest until the bands run out, none helps or the
  /// result is flat enough. `cutsOnly` spends them on cuts alone.
  void Grow(bool cutsOnly) {
    const int savedMax = maxCode_;
    if (cutsOnly) maxCode_ = std::min(maxCode_, kGainCodeFlat);
    std::vector<bool> blocked(kGridPoints, false);
    int blockedCount = 0;
    while (static_cast<int>(slots_.size()) < limits_.bands && blockedCount < kMaxBlockedPeaks) {
      const double mu = Offset(sum_);
      int peak = -1;
      double peakDiff = 0, worst = 0;
      for (int i = 0; i < kGridPoints; ++i) {
        if (goal_.weight[i] <= 0) continue;
        const double r = goal_.wanted[i] + mu - sum_[i];
        worst = std::max(worst, std::abs(r));
        if (blocked[i] || (cutsOnly && r >= 0)) continue;
        // Where the bounds allow no band to go that way, no band is tried.
        if ((r > 0 && upper_[i] <= 1e-9) || (r < 0 && lower_[i] >= -1e-9)) continue;
        if (std::abs(r) > std::abs(peakDiff)) {
          peakDiff = r;
          peak = i;
        }
      }
      if (limits_.flatnessDb > 0 && worst <= limits_.flatnessDb) break;
      if (peak < 0 || std::abs(peakDiff) < kSmallestUsefulDb) break;
      const int place = PlaceNear(FrequencyGrid()[peak]);
      Slot best;
      double bestCost = cost_;
      if (Free(place, nullptr)) {
        for (int width : kTrialWidths) {
          const int code = std::clamp(GainCodeOf(std::clamp(peakDiff, lower_[peak], upper_[peak])), minCode_, maxCode_);
          Slot trial{{Places()[place].hz, code, width}, place, {}};
          trial.response = Response(trial.band);
          double c = CostWith(nullptr, trial.response);
          for (int step : kGainSteps) ClimbGain(nullptr, trial, c, step);
          if (c < bestCost) {
            bestCost = c;
            best = trial;
          }
        }
      }
      if (bestCost < cost_ - std::max(1e-9, limits_.minImprovement * weightSum_) && !best.band.IsFlat()) {
        for (int i = 0; i < kGridPoints; ++i) sum_[i] += best.response[i];
        slots_.push_back(std::move(best));
        cost_ = bestCost;
        RefineSlot(slots_.back());
      } else {
        for (int d = -2; d <= 2; ++d)
          if (peak + d >= 0 && peak + d < kGridPoints) blocked[peak + d] = true;
        ++blockedCount;
      }
    }
    maxCode_ = savedMax;
  }

  /// Moves each band's gain, width and place while that lowers the cost.
  void Refine(int passes) {
    for (int pass = 0; pass < passes; ++pass) {
      const double before = cost_;
      for (auto& slot : slots_) RefineSlot(slot);
      if (!(cost_ < before * (1.0 - kWorthAnotherPass))) break;
    }
  }

  /// Takes out the bands whose gain is below `db` (and flat ones); true when any went.
  bool DropBelow(double db) {
    bool any = false;
    for (std::size_t k = 0; k < slots_.size();) {
      if (std::abs(slots_[k].band.GainDb()) < db || slots_[k].band.IsFlat()) {
        Curve s = sum_;
        for (int i = 0; i < kGridPoints; ++i) s[i] -= slots_[k].response[i];
        // A band that holds the sum inside its bounds stays.
        if (Cost(s) == kInf) {
          ++k;
          continue;
        }
        sum_ = s;
        slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(k));
        any = true;
      } else {
        ++k;
      }
    }
    cost_ = Cost(sum_);
    return any;
  }

  /// One round of moves of one band; true when any of them lowered the cost.
  bool RefineSlot(Slot& slot) {
    bool improved = false;
    for (int step : kGainSteps) improved |= ClimbGain(&slot, slot, cost_, step, true);
    for (int step : kWidthSteps)
      improved |= Climb(slot, step, [](Slot& s, int d) {
        const int w = std::clamp(s.band.bandwidthIndex + d, kMinBandwidthIndex, kMaxBandwidthIndex);
        if (w == s.band.bandwidthIndex) return false;
        s.band.bandwidthIndex = w;
        return true;
      });
    for (int step : kPlaceSteps)
      improved |= Climb(slot, step, [this, &slot](Slot& s, int d) {
        const int p = std::clamp(s.place + d, 0, static_cast<int>(Places().size()) - 1);
        if (p == s.place || !Free(p, &slot)) return false;
        s.place = p;
        s.band.hz = Places()[p].hz;
        return true;
      });
    for (int step : kGainSteps) improved |= ClimbGain(&slot, slot, cost_, step, true);
    return improved;
  }

  std::vector<BandSetting> Bands() const {
    std::vector<BandSetting> out;
    for (const auto& s : slots_)
      if (!s.band.IsFlat()) out.push_back(s.band);
    return out;
  }

 private:
  /// Whether a band (other than `self`) may sit at `place`: inside the allowed places, not more
  /// bands at one frequency than allowed and none too close.
  bool Free(int place, const Slot* self) const {
    const int grid = Places()[place].grid;
    if (!limits_.places.Contains(grid)) return false;
    int same = 0;
    for (const auto& s : slots_) {
      if (&s == self) continue;
      const int other = Places()[s.place].grid;
      if (other == grid) ++same;
      if (other != grid && limits_.minSpacing > 0 && std::abs(other - grid) < limits_.minSpacing) return false;
    }
    return same < std::max(1, limits_.maxPerPlace) && (limits_.minSpacing == 0 || same == 0);
  }

  double Offset(const Curve& sum) const {
    if (!goal_.levelMatch || weightSum_ <= 0) return 0.0;
    double s = 0;
    for (int i = 0; i < kGridPoints; ++i) s += goal_.weight[i] * (sum[i] - goal_.wanted[i]);
    return s / weightSum_;
  }

  double Cost(const Curve& sum) const {
    double s = 0, s2 = 0;
    for (int i = 0; i < kGridPoints; ++i) {
      if (sum[i] > upper_[i] + 1e-9 || sum[i] < lower_[i] - 1e-9) return kInf;
      const double d = sum[i] - goal_.wanted[i];
      s += goal_.weight[i] * d;
      s2 += goal_.weight[i] * d * d;
    }
    if (goal_.levelMatch && weightSum_ > 0) s2 -= s * s / weightSum_;
    return s2;
  }

  /// The cost with `slot`'s response (null: no band) replaced by `response`.
  double CostWith(const Slot* slot, const Curve& response) const {
    Curve s = sum_;
    for (int i = 0; i < kGridPoints; ++i) s[i] += response[i] - (slot ? slot->response[i] : 0.0);
    return Cost(s);
  }

  void Commit(Slot& slot, Slot trial) {
    for (int i = 0; i < kGridPoints; ++i) sum_[i] += trial.response[i] - slot.response[i];
    slot = std::move(trial);
  }

  /// Steps the gain of `trial` by `step` codes while that lowers `cost`. With `commit`, `slot` is
  /// a band of the fit and takes each better gain.
  bool ClimbGain(Slot* slot, Slot& trial, double& cost, int step, bool commit = false) {
    bool any = false;
    for (int dir : {1, -1}) {
      while (true) {
        Slot next = trial;
        next.band.gainCode = std::clamp(trial.band.gainCode + dir * step, minCode_, maxCode_);
        if (next.band.gainCode == trial.band.gainCode) break;
        next.response = Response(next.band);
        const double c = CostWith(slot, next.response);
        // A trial band that breaks a bound is walked back towards 0 dB until it holds.
        if (c == kInf && cost == kInf && !commit && (next.band.gainCode - kGainCodeFlat) * dir < 0) {
          trial = std::move(next);
          continue;
        }
        if (!(c < cost - 1e-12)) break;
        cost = c;
        any = true;
        if (commit)
          Commit(*slot, std::move(next));
        else
          trial = std::move(next);
      }
    }
    return any;
  }

  template <class Move>
  bool Climb(Slot& slot, int step, Move move) {
    bool any = false;
    for (int dir : {1, -1}) {
      while (true) {
        Slot next = slot;
        if (!move(next, dir * step)) break;
        next.response = Response(next.band);
        const double c = CostWith(&slot, next.response);
        if (!(c < cost_ - 1e-12)) break;
        cost_ = c;
        Commit(slot, std::move(next));
        any = true;
      }
    }
    return any;
  }

  /// The band's response, remembered: the climbs come back to the same settings again and again.
  const Curve& Response(const BandSetting& b) {
    const std::uint32_t key = (static_cast<std::uint32_t>(NearestGridIndex(b.hz)) * kQTableSize +
                               static_cast<std::uint32_t>(b.bandwidthIndex)) *
                                  (kGainCodeMax + 1) +
                              static_cast<std::uint32_t>(b.gainCode);
    if (auto it = responses_.find(key); it != responses_.end()) return it->second;
    if (responses_.size() >= kRememberedResponses) responses_.clear();
    return responses_.emplace(key, BandResponse(b)).first->second;
  }

  std::unordered_map<std::uint32_t, Curve> responses_;
  const FitGoal& goal_;
  const FitLimits& limits_;
  int minCode_ = 0;
  int maxCode_ = kGainCodeMax;
  Curve upper_{};
  Curve lower_{};
  double weightSum_ = 0;
  std::vector<Slot> slots_;
  Curve sum_{};
  double cost_ = 0;
};

}  // namespace

BandSetting FlatBand(int hz) { return BandSetting{hz, kGainCodeFlat, kDefaultBandwidthIndex}; }

std::array<double, kGridPoints> BandResponse(const BandSetting& band) {
  if (band.IsFlat()) return Curve{};
  CFilter f;
  f.SetFrequency(band.hz, false);
  f.SetBandwidthIndex(band.bandwidthIndex);
  f.SetGainCode(band.gainCode);
  // The filter's own dB values come with its pixel outline; a fit needs only the dB, taken from
  // the same power ratios the filter computed.
  Curve db;
  const auto& power = f.power();
  for (int i = 0; i < kGridPoints; ++i) db[i] = kDbPerNeper * std::log(power[i]);
  return db;
}

std::array<double, kGridPoints> BandsResponse(std::span<const BandSetting> bands) {
  Curve sum{};
  for (const auto& b : bands) {
    if (b.IsFlat()) continue;
    const Curve r = BandResponse(b);
    for (int i = 0; i < kGridPoints; ++i) sum[i] += r[i];
  }
  return sum;
}

std::vector<BandSetting> BandsOf(const CKTVEQ& eq) {
  std::vector<BandSetting> out;
  for (int k = 0; k < eq.BandCount(); ++k) {
    const CFilter& f = eq.Filter(k);
    out.push_back({f.frequency(), f.IsFlat() ? kGainCodeFlat : f.gainCode(), f.bandwidthIndex()});
  }
  return out;
}

std::array<double, kGridPoints> ChannelResponseOf(const CKTVEQ& eq) {
  std::vector<const CFilter*> filters;
  for (int k = 0; k < eq.FilterCount(); ++k) filters.push_back(&eq.Filter(k));
  return ChannelResponse(filters);
}

std::array<double, kGridPoints> CrossoverResponseOf(const CKTVEQ& eq) {
  const std::array<const CFilter*, 2> filters = {&eq.HighPass(), &eq.LowPass()};
  return ChannelResponse(filters);
}

GridCurve ChannelMeasurement::Measured(int smoothing) const {
  return OnGrid(smoothing > 0 ? Smooth(measurement, smoothing) : measurement);
}

GridCurve ChannelMeasurement::Predicted(const std::array<double, kGridPoints>& now, int smoothing) const {
  GridCurve c = Measured(smoothing);
  for (int i = 0; i < kGridPoints; ++i) c.db[i] += now[i] - keptResponse[i];
  return c;
}

std::vector<BandSetting> FitBands(const FitGoal& goal, const FitLimits& limits, std::vector<BandSetting> start) {
  Fitter fitter(goal, limits);
  if (static_cast<int>(start.size()) > limits.bands) start.resize(static_cast<std::size_t>(limits.bands));
  for (const auto& b : start)
    if (!b.IsFlat()) fitter.Add(b);
  fitter.Refine(kMaxRefinePasses);
  if (limits.cutsFirst) fitter.Grow(true);
  fitter.Grow(false);
  fitter.Refine(kMaxRefinePasses);
  if (limits.flatnessDb > 0 && fitter.DropBelow(limits.flatnessDb / 2)) fitter.Refine(kMaxRefinePasses);
  return fitter.Bands();
}

std::vector<BandSetting> AssignToSlots(std::vector<BandSetting> fitted, std::span<const int> centres) {
  const int m = static_cast<int>(centres.size());
  std::vector<BandSetting> out;
  for (int c : centres) out.push_back(FlatBand(c));
  std::sort(fitted.begin(), fitted.end(), [](const BandSetting& a, const BandSetting& b) { return a.hz < b.hz; });
  const int n = std::min(static_cast<int>(fitted.size()), m);
  if (n == 0) return out;
  // Keeps the order of frequency and minimises the distance, in octaves, between each band and
  // the centre of the slot it takes.
  std::vector<std::vector<double>> cost(n + 1, std::vector<double>(m + 1, kInf));
  for (int j = 0; j <= m; ++j) cost[0][j] = 0;
  for (int i = 1; i <= n; ++i)
    for (int j = i; j <= m; ++j) {
      const double here = cost[i - 1][j - 1] + std::abs(std::log2(double(fitted[i - 1].hz) / centres[j - 1]));
      cost[i][j] = std::min(cost[i][j - 1], here);
    }
  for (int i = n, j = m; i > 0; --j) {
    if (cost[i][j] == cost[i][j - 1] && j > i) continue;
    out[static_cast<std::size_t>(j - 1)] = fitted[static_cast<std::size_t>(i - 1)];
    --i;
  }
  return out;
}

void KeepUnusedSlots(std::vector<BandSetting>& bands, std::span<const BandSetting> current) {
  for (std::size_t k = 0; k < bands.size() && k < current.size(); ++k)
    if (bands[k].IsFlat()) bands[k] = {current[k].hz, kGainCodeFlat, current[k].bandwidthIndex};
}

const std::vector<double>& FineGrid() {
  static const std::vector<double> grid = [] {
    std::vector<double> hz;
    const double octaves = std::log2(double(kFilterMaxHz) / kFilterMinHz);
    const int n = static_cast<int>(std::ceil(octaves * kFinePointsPerOctave));
    for (int k = 0; k <= n; ++k) hz.push_back(kFilterMinHz * std::exp2(octaves * k / n));
    return hz;
  }();
  return grid;
}

std::vector<double> BandsResponseAt(std::span<const BandSetting> bands, std::span<const double> hz) {
  std::vector<double> db(hz.size(), 0.0);
  for (const auto& b : bands) {
    if (b.IsFlat()) continue;
    // The band as CFilter designs it: centred on its grid frequency.
    const FilterSections s = PeakingDesign(FrequencyGrid()[NearestGridIndex(b.hz)], b.GainDb(),
                                           BandwidthOctavesForSetting(b.bandwidthIndex));
    for (std::size_t i = 0; i < hz.size(); ++i) db[i] += ResponseDb(s, hz[i]);
  }
  return db;
}

ImportResult ImportRewFilters(std::span<const RewFilter> filters, std::span<const int> centres,
                              std::span<const BandSetting> current) {
  ImportResult r;
  const Curve wanted = CookbookResponse(filters);
  FitGoal goal;
  goal.wanted = wanted;
  const GridRange range = RangeOf(kFilterMinHz, kFilterMaxHz);
  for (int i = range.first; i <= range.last; ++i) goal.weight[i] = 1.0;
  FitLimits limits;
  limits.bands = static_cast<int>(centres.size());
  limits.minImprovement = kImportMinImprovement;
  // Two bands at one frequency double what one band can cut or boost; more only stack up error.
  limits.maxPerPlace = 2;

  // Each peaking filter starts as the band closest to it; shelves and what the processor's bands
  // cannot reproduce one to one are left to the fit.
  std::vector<RewFilter> peaks;
  for (const auto& f : filters) {
    if (f.kind != RewFilter::Kind::Peaking) continue;
    if (std::abs(f.gainDb) >= kBandGainStepDb / 2) peaks.push_back(f);
    const double grid = FrequencyGrid()[NearestGridIndex(std::clamp<double>(f.hz, kFilterMinHz, kFilterMaxHz))];
    const double narrowest = CookbookQOfBand(grid, BandwidthOctavesForSetting(kMinBandwidthIndex));
    if (f.q > narrowest * kQMargin && f.hz >= kFilterMinHz && f.hz <= kFilterMaxHz)
      r.notes.push_back({RewNote::Kind::QBeyondBand, f.line, f.q, {}});
  }
  if (filters.size() > centres.size())
    r.notes.push_back({RewNote::Kind::TooManyFilters, 0, static_cast<double>(filters.size()), {}});
  std::stable_sort(peaks.begin(), peaks.end(),
                   [](const RewFilter& a, const RewFilter& b) { return std::abs(a.gainDb) > std::abs(b.gainDb); });
  std::vector<BandSetting> start;
  for (const auto& p : peaks) {
    if (static_cast<int>(start.size()) >= limits.bands) break;
    const int hz = Places()[PlaceNear(p.hz)].hz;
    start.push_back(
        {hz, std::clamp(GainCodeOf(p.gainDb), 0, kGainCodeMax), WidthForQ(p.q, FrequencyGrid()[NearestGridIndex(hz)])});
  }
  r.bands = AssignToSlots(FitBands(goal, limits, std::move(start)), centres);
  KeepUnusedSlots(r.bands, current);
  // The figures are those of the fine grid: what lies between the 241 points counts as well.
  const auto& fine = FineGrid();
  const auto want = CookbookResponseAt(filters, fine);
  const auto got = BandsResponseAt(r.bands, fine);
  double sq = 0;
  for (std::size_t i = 0; i < fine.size(); ++i) {
    const double e = std::abs(got[i] - want[i]);
    sq += e * e;
    if (e > r.deviation.max) {
      r.deviation.max = e;
      r.deviation.maxHz = fine[i];
    }
  }
  r.deviation.points = static_cast<int>(fine.size());
  r.deviation.rms = std::sqrt(sq / static_cast<double>(fine.size()));
  return r;
}

std::vector<BandForExport> BandsForExport(std::span<const BandSetting> bands) {
  std::vector<BandForExport> out;
  for (const auto& b : bands)
    if (!b.IsFlat()) out.push_back({b.hz, b.GainDb(), b.bandwidthIndex});
  return out;
}

}  // namespace zelto::measure
