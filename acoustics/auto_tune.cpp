#include "acoustics/auto_tune.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <tuple>

#include "acoustics/measurement_run.h"
#include "core/typed_values.h"
#include "edit/editor.h"
#include "measure/channel_measurements.h"
#include "model/ktv_data.h"

namespace zelto::acoustics {

namespace {

constexpr int kMinGainDb = -59;  // code 0 switches the channel off

bool SameSide(Side a, Side b) { return a == Side::Both || b == Side::Both || a == b; }

/// The response at `hz` as a complex number, the bin nearest in log frequency.
std::optional<std::complex<double>> At(const Response& r, double hz) {
  if (r.hz.empty() || r.phaseDeg.size() != r.hz.size()) return std::nullopt;
  const auto it = std::lower_bound(r.hz.begin(), r.hz.end(), hz);
  std::size_t i = static_cast<std::size_t>(it - r.hz.begin());
  if (i == r.hz.size()) i = r.hz.size() - 1;
  if (i > 0 && std::abs(std::log(r.hz[i - 1] / hz)) < std::abs(std::log(r.hz[i] / hz))) --i;
  return std::polar(std::pow(10.0, r.db[i] / 20), r.phaseDeg[i] * std::numbers::pi / 180);
}

/// The crossover between a lower and a higher driver: where one's pass band ends and the other's
/// begins, when they meet within two octaves.
std::optional<double> CrossoverHz(const TuneChannel& low, const TuneChannel& high) {
  if (low.passHiHz <= 0 || high.passLoHz <= 0) return std::nullopt;
  const double ratio = low.passHiHz / high.passLoHz;
  if (ratio > 4 || ratio < 0.25) return std::nullopt;
  return std::sqrt(low.passHiHz * high.passLoHz);
}

/// How two drivers add over `fromHz`..`toHz`: the summed energy with them as they are against
/// one of them reversed, as a contrast from -1 (they add, keep them) to 1 (they cancel, turn one).
std::optional<double> PairSum(const TuneChannel& a, double aMs, const TuneChannel& b, double bMs, double fromHz,
                              double toHz) {
  double same = 0;
  double opposed = 0;
  for (double hz = fromHz; hz <= toHz; hz *= std::pow(2.0, 1.0 / 24)) {
    const auto ha = At(a.centre, hz);
    const auto hb = At(b.centre, hz);
    if (!ha || !hb) continue;
    const auto turn = [hz](double ms) { return std::polar(1.0, -2 * std::numbers::pi * hz * ms / 1000); };
    const auto x = *ha * turn(aMs);
    const auto y = *hb * turn(bMs);
    same += std::norm(x + y);
    opposed += std::norm(x - y);
  }
  if (same + opposed <= 0) return std::nullopt;
  return (opposed - same) / (opposed + same);
}

/// Drivers whose sound meets at a crossover: one side (a subwoofer meets both), front with front,
/// rear with rear; a subwoofer meets the front.
bool Neighbours(const TuneChannel& a, const TuneChannel& b) {
  if (!SameSide(a.side, b.side)) return false;
  const bool aSub = a.side == Side::Both && !a.rear;
  const bool bSub = b.side == Side::Both && !b.rear;
  return a.rear == b.rear || (aSub && !b.rear) || (bSub && !a.rear);
}

/// A driver of the same side between the two in frequency.
bool SomethingBetween(std::span<const TuneChannel> c, std::size_t i, std::size_t j) {
  for (std::size_t k = 0; k < c.size(); ++k) {
    if (k == i || k == j || !Neighbours(c[k], c[i]) || !Neighbours(c[k], c[j])) continue;
    if (c[k].passLoHz > c[i].passLoHz && c[k].passLoHz < c[j].passLoHz && c[k].passHiHz < c[j].passHiHz) return true;
  }
  return false;
}

/// The left and right driver of one kind: the same pass band within a third of an octave.
bool Counterparts(const TuneChannel& a, const TuneChannel& b) {
  const auto near = [](double x, double y) { return std::abs(std::log2(x / y)) <= 1.0 / 3; };
  return near(a.passLoHz, b.passLoHz) && near(a.passHiHz, b.passHiHz);
}

/// Sets of phase switches whose disagreement with the pairs lies this close to the best count as
/// equally good (each pair adds from -1 to 1).
constexpr double kPolarityMargin = 0.5;

struct PolarityEdge {
  std::size_t a, b;
  double contrast;  // > 0: they add better with one of them reversed
};

/// The phase switches that agree best with every pair, each pair counted by how clearly it spoke.
/// A set of switches and its opposite agree equally; of the two, each connected group takes the
/// one that turns fewer drivers (a reversed wire is the exception), then the one that leaves
/// fewer first peaks pointing down, then the one that keeps its lowest driver as it is.
std::vector<bool> ChooseFlips(std::span<const TuneChannel> channels, std::span<const PolarityEdge> edges) {
  const std::size_t n = channels.size();
  std::vector<bool> flip(n, false);
  if (n == 0 || n > 16) return flip;
  // Connected groups.
  std::vector<int> group(n, -1);
  int groups = 0;
  for (std::size_t s = 0; s < n; ++s) {
    if (group[s] >= 0) continue;
    std::vector<std::size_t> todo{s};
    group[s] = groups;
    while (!todo.empty()) {
      const std::size_t at = todo.back();
      todo.pop_back();
      for (const PolarityEdge& e : edges) {
        const std::size_t other = e.a == at ? e.b : e.b == at ? e.a : n;
        if (other == n || group[other] >= 0) continue;
        group[other] = groups;
        todo.push_back(other);
      }
    }
    ++groups;
  }
  for (int g = 0; g < groups; ++g) {
    std::vector<std::size_t> members;
    for (std::size_t i = 0; i < n; ++i)
      if (group[i] == g) members.push_back(i);
    // A channel alone has no neighbour to be reversed against.
    if (members.size() < 2) continue;
    const auto score = [&](unsigned mask) {
      std::vector<bool> f(n, false);
      for (std::size_t k = 0; k < members.size(); ++k) f[members[k]] = (mask >> k) & 1U;
      double disagreement = 0;
      for (const PolarityEdge& e : edges) {
        if (group[e.a] != g) continue;
        const bool opposed = f[e.a] != f[e.b];
        disagreement += (opposed ? -e.contrast : e.contrast);
      }
      int flips = 0;
      int peaksDown = 0;
      for (std::size_t k = 0; k < members.size(); ++k) {
        flips += f[members[k]] ? 1 : 0;
        peaksDown += channels[members[k]].firstPeakInverted != f[members[k]] ? 1 : 0;
      }
      std::size_t lowest = members.front();
      for (std::size_t m : members)
        if (channels[m].passLoHz < channels[lowest].passLoHz) lowest = m;
      return std::make_tuple(disagreement, flips, peaksDown, f[lowest] ? 1 : 0);
    };
    // The best agreement first; every set of switches nearly as good is a candidate, and the
    // orientation rules choose among them: a pair that spoke softly (drivers whose sum hardly
    // changes either way at their crossover) does not outvote the first peaks.
    const unsigned count = 1U << members.size();
    double bestAgreement = 1e300;
    for (unsigned mask = 0; mask < count; ++mask) bestAgreement = std::min(bestAgreement, std::get<0>(score(mask)));
    unsigned best = 0;
    std::optional<std::tuple<int, int, int>> bestRank;
    for (unsigned mask = 0; mask < count; ++mask) {
      const auto sc = score(mask);
      if (std::get<0>(sc) > bestAgreement + kPolarityMargin) continue;
      const auto rank = std::tuple(std::get<1>(sc), std::get<2>(sc), std::get<3>(sc));
      if (!bestRank || rank < *bestRank) {
        best = mask;
        bestRank = rank;
      }
    }
    for (std::size_t k = 0; k < members.size(); ++k) flip[members[k]] = (best >> k) & 1U;
  }
  return flip;
}

}  // namespace

std::vector<int> AlignDelays(std::span<const double> acousticMs, std::vector<bool>* limited) {
  std::vector<int> codes(acousticMs.size(), 0);
  if (limited) limited->assign(acousticMs.size(), false);
  if (acousticMs.empty()) return codes;
  const double latest = *std::max_element(acousticMs.begin(), acousticMs.end());
  for (std::size_t i = 0; i < acousticMs.size(); ++i) {
    const int code = static_cast<int>(std::lround((latest - acousticMs[i]) * kDelaySampleRate));
    codes[i] = std::clamp(code, 0, typed::kMaxDelayCode);
    if (limited && code > typed::kMaxDelayCode) (*limited)[i] = true;
  }
  return codes;
}

std::vector<bool> DecidePolarity(std::span<const TuneChannel> channels, std::span<const double> residualMs) {
  const std::size_t n = channels.size();
  std::vector<PolarityEdge> edges;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      if (i == j) continue;
      const TuneChannel& a = channels[i];
      const TuneChannel& b = channels[j];
      // Drivers that cross over: the nearest higher neighbour on the same side only, so a tweeter
      // does not pair with the woofer under the mid.
      if (Neighbours(a, b) && a.passLoHz < b.passLoHz) {
        const auto fc = CrossoverHz(a, b);
        if (fc && !SomethingBetween(channels, i, j)) {
          if (const auto e = PairSum(a, residualMs[i], b, residualMs[j], *fc / std::sqrt(2.0), *fc * std::sqrt(2.0)))
            edges.push_back({i, j, *e});
        }
      }
      // The left and right drivers of one kind: the same sound from the two sides, over their
      // common band. Counted once, from the left.
      if (a.side == Side::Left && b.side == Side::Right && a.rear == b.rear && Counterparts(a, b)) {
        const double lo = std::max({a.passLoHz, b.passLoHz, kLevelLoHz});
        const double hi = std::min({a.passHiHz, b.passHiHz, kLevelHiHz});
        if (hi > lo) {
          const double centre = std::sqrt(lo * hi);
          const double from = std::max(lo, centre / 2);
          const double to = std::min(hi, centre * 2);
          if (const auto e = PairSum(a, residualMs[i], b, residualMs[j], from, to)) edges.push_back({i, j, *e});
        }
      }
    }
  }
  return ChooseFlips(channels, edges);
}

std::vector<int> MatchLevels(std::span<const double> levelDb, std::span<const int> gainDb) {
  const std::size_t n = levelDb.size();
  std::vector<int> gains(gainDb.begin(), gainDb.end());
  if (n == 0) return gains;
  // The level every channel can reach at 0 dB gain; the quietest sets the common level.
  double common = 1e9;
  for (std::size_t i = 0; i < n; ++i) common = std::min(common, levelDb[i] - gainDb[i]);
  std::vector<double> wanted(n);
  for (std::size_t i = 0; i < n; ++i) wanted[i] = common - (levelDb[i] - gainDb[i]);
  // Gains come in whole dB: cutting everything a fraction more can line the rounding up.
  double best = 1e9;
  double bestShift = 0;
  for (double shift = 0; shift < 1; shift += 0.05) {
    double lo = 1e9;
    double hi = -1e9;
    for (double w : wanted) {
      const double err = std::round(w - shift) - (w - shift);
      lo = std::min(lo, err);
      hi = std::max(hi, err);
    }
    if (hi - lo < best - 1e-9) {
      best = hi - lo;
      bestShift = shift;
    }
  }
  for (std::size_t i = 0; i < n; ++i)
    gains[i] = std::clamp(static_cast<int>(std::lround(wanted[i] - bestShift)), kMinGainDb, 0);
  return gains;
}

double PassBandLevel(const measure::Measurement& average, const measure::Target& target, double passLoHz,
                     double passHiHz) {
  const double lo = std::max(passLoHz, kLevelLoHz);
  const double hi = std::min(passHiHz, kLevelHiHz);
  const auto smoothed = measure::OnGrid(measure::Smooth(average, measure::kReportSmoothing));
  return measure::LevelAbove(smoothed, target, measure::RangeOf(std::min(lo, hi), std::max(lo, hi)));
}

measure::AutoEqResult EqualiseChannel(const TuneChannel& c, const TuneOptions& options) {
  measure::AutoEqRequest q;
  q.measured.measurement = c.average;
  q.measured.keptResponse = c.keptResponse;
  q.crossoverResponse = c.crossoverResponse;
  q.currentBands = c.bands;
  const auto centres = OutputBandCentres();
  q.centres.assign(centres.begin(), centres.end());
  q.target = options.target;
  q.passBand = {c.passLoHz, c.passHiHz};
  q.range = measure::HzRange{kLevelLoHz, kLevelHiHz};
  q.maxBoostDb = options.maxBoostDb;
  return measure::AutoEq(q);
}

Tuning ComputeTuning(std::span<const TuneChannel> channels, const TuneOptions& options) {
  Tuning t;
  const std::size_t n = channels.size();
  if (n == 0) return t;
  std::vector<double> acoustic(n);
  std::vector<double> arrival(n);
  for (std::size_t i = 0; i < n; ++i) {
    arrival[i] = channels[i].arrivalMs;
    acoustic[i] = channels[i].arrivalMs - DelayMsFromCode(channels[i].delayCode);
  }
  std::vector<bool> limited;
  const auto delays = AlignDelays(acoustic, &limited);
  std::vector<double> residual(n);
  for (std::size_t i = 0; i < n; ++i) residual[i] = acoustic[i] + DelayMsFromCode(delays[i]);
  const auto spread = [](const std::vector<double>& v) {
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return *hi - *lo;
  };
  t.spreadBeforeMs = spread(arrival);
  t.spreadAfterMs = spread(residual);

  const auto flips = DecidePolarity(channels, residual);

  std::vector<double> levels(n);
  std::vector<int> gains(n);
  for (std::size_t i = 0; i < n; ++i) {
    levels[i] = PassBandLevel(channels[i].average, options.target, channels[i].passLoHz, channels[i].passHiHz);
    gains[i] = OutputGainDbFromCode(channels[i].gainCode);
  }
  const auto newGains = MatchLevels(levels, gains);

  std::vector<double> after(n);
  for (std::size_t i = 0; i < n; ++i) {
    const TuneChannel& c = channels[i];
    ChannelTuning r;
    r.channel = c.channel;
    r.delayCode = delays[i];
    r.delayLimited = limited[i];
    r.flipped = flips[i];
    r.phase = flips[i] ? (c.phase ? 0 : 1) : c.phase;
    r.gainCode = OutputGainCodeFromDb(newGains[i]);
    r.levelBeforeDb = levels[i];
    r.levelAfterDb = levels[i] + newGains[i] - gains[i];
    after[i] = r.levelAfterDb;
    r.bands = c.bands;
    if (options.equalise) {
      const auto eq = EqualiseChannel(c, options);
      r.eqBefore = eq.before;
      r.eqAfter = eq.after;
      r.boostLimited = eq.boostLimited;
      if (eq.status == measure::AutoEqResult::Status::Fitted) {
        r.bands = eq.bands;
        r.equalised = true;
      }
    }
    t.channels.push_back(std::move(r));
  }
  t.levelSpreadBeforeDb = spread(levels);
  t.levelSpreadAfterDb = spread(after);
  return t;
}

void ApplyTuning(Editor& editor, const Tuning& tuning) {
  Editor::StepScope step(editor);
  for (const ChannelTuning& c : tuning.channels) {
    editor.SetDelay(c.channel, c.delayCode);
    editor.SetPhase(c.channel, c.phase);
    editor.SetGain(c.channel, c.gainCode);
    std::vector<Editor::BandValues> bands;
    bands.reserve(c.bands.size());
    for (const measure::BandSetting& b : c.bands) bands.push_back({b.hz, b.bandwidthIndex, b.gainCode});
    editor.SetBands(c.channel, bands);
  }
}

std::optional<Placement> PlacementOfType(int code) {
  // The processor's type table: front left 1-6, front right 7-12, rear left 13-15, rear right
  // 16-18, centre 19-21, left, right and middle subwoofer 22-24; the rest name no place.
  if (code >= 1 && code <= 6) return Placement{Side::Left, false};
  if (code >= 7 && code <= 12) return Placement{Side::Right, false};
  if (code >= 13 && code <= 15) return Placement{Side::Left, true};
  if (code >= 16 && code <= 18) return Placement{Side::Right, true};
  if (code >= 19 && code <= 21) return Placement{Side::Both, false};
  if (code == 22) return Placement{Side::Left, false};
  if (code == 23) return Placement{Side::Right, false};
  if (code == 24) return Placement{Side::Both, false};
  return std::nullopt;
}

std::vector<TuneChannel> TuneChannelsOf(const RunResult& run, const CKTV_Data& data) {
  std::vector<TuneChannel> out;
  const auto types = data.Image().ChannelTypes();
  for (const ChannelResult& r : run.channels) {
    if (!r.Measured()) continue;
    const CKTV_OutData& o = data.Output(r.channel);
    TuneChannel c;
    c.channel = r.channel;
    // The type the installer gave the channel says where the speaker is; without one, the inputs
    // it plays do.
    if (const auto place = PlacementOfType(types[static_cast<std::size_t>(r.channel)])) {
      c.side = place->side;
      c.rear = place->rear;
    } else {
      const auto& mix = o.InputMix();
      const bool left = mix[0] > 0;
      const bool right = mix[1] > 0;
      c.side = left && !right ? Side::Left : right && !left ? Side::Right : Side::Both;
    }
    c.arrivalMs = r.arrivalMs;
    c.firstPeakInverted = r.inverted;
    c.centre = r.positions.front();
    c.average = r.response;
    c.keptResponse = r.keptResponse;
    c.crossoverResponse = measure::CrossoverResponseOf(o.Eq());
    c.passLoHz = r.passLoHz;
    c.passHiHz = r.passHiHz;
    c.delayCode = o.Delay();
    c.phase = o.Phase();
    c.gainCode = o.GainCode();
    c.bands = measure::BandsOf(o.Eq());
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace zelto::acoustics
