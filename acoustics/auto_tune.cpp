#include "acoustics/auto_tune.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>

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

/// True when the pair adds better with one of them reversed: the summed energy across the
/// crossover region (an octave around it) is compared both ways.
std::optional<bool> PairOpposed(const TuneChannel& a, double aMs, const TuneChannel& b, double bMs, double fc) {
  double same = 0;
  double opposed = 0;
  int n = 0;
  for (double hz = fc / std::sqrt(2.0); hz <= fc * std::sqrt(2.0); hz *= std::pow(2.0, 1.0 / 24)) {
    const auto ha = At(a.centre, hz);
    const auto hb = At(b.centre, hz);
    if (!ha || !hb) continue;
    const auto turn = [hz](double ms) { return std::polar(1.0, -2 * std::numbers::pi * hz * ms / 1000); };
    const auto x = *ha * turn(aMs);
    const auto y = *hb * turn(bMs);
    same += std::norm(x + y);
    opposed += std::norm(x - y);
    ++n;
  }
  if (n == 0) return std::nullopt;
  return opposed > same;
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
  // Edges between neighbours: drivers of one side whose pass bands meet, nothing between them.
  struct Edge {
    std::size_t a, b;
    bool opposed;
  };
  std::vector<Edge> edges;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      if (i == j || !SameSide(channels[i].side, channels[j].side)) continue;
      const auto fc = CrossoverHz(channels[i], channels[j]);
      if (!fc || channels[i].passLoHz >= channels[j].passLoHz) continue;
      // The nearest higher neighbour only: a tweeter does not pair with the woofer under the mid.
      bool between = false;
      for (std::size_t k = 0; k < n && !between; ++k) {
        if (k == i || k == j || !SameSide(channels[k].side, channels[i].side) ||
            !SameSide(channels[k].side, channels[j].side))
          continue;
        between = channels[k].passLoHz > channels[i].passLoHz && channels[k].passLoHz < channels[j].passLoHz &&
                  channels[k].passHiHz < channels[j].passHiHz;
      }
      if (between) continue;
      if (const auto opposed = PairOpposed(channels[i], residualMs[i], channels[j], residualMs[j], *fc))
        edges.push_back({i, j, *opposed});
    }
  }
  // Relative polarities through the neighbours (the first edge that reaches a channel decides),
  // then each connected group is turned so that most first peaks point up.
  std::vector<int> relative(n, -1);
  std::vector<int> group(n, -1);
  int groups = 0;
  for (std::size_t start = 0; start < n; ++start) {
    if (relative[start] >= 0) continue;
    relative[start] = 0;
    group[start] = groups;
    std::vector<std::size_t> todo{start};
    while (!todo.empty()) {
      const std::size_t at = todo.back();
      todo.pop_back();
      for (const Edge& e : edges) {
        const std::size_t other = e.a == at ? e.b : e.b == at ? e.a : n;
        if (other == n || relative[other] >= 0) continue;
        relative[other] = relative[at] ^ (e.opposed ? 1 : 0);
        group[other] = groups;
        todo.push_back(other);
      }
    }
    ++groups;
  }
  std::vector<bool> flip(n, false);
  for (int g = 0; g < groups; ++g) {
    int reversedIfKept = 0;
    int reversedIfTurned = 0;
    int members = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (group[i] != g) continue;
      ++members;
      const bool inverted = channels[i].firstPeakInverted;
      reversedIfKept += (inverted != (relative[i] == 1)) ? 1 : 0;
      reversedIfTurned += (inverted != (relative[i] == 0)) ? 1 : 0;
    }
    // A channel alone has no neighbour to be reversed against: its first peak decides nothing.
    if (members < 2) continue;
    const int turn = reversedIfTurned < reversedIfKept ? 1 : 0;
    for (std::size_t i = 0; i < n; ++i)
      if (group[i] == g) flip[i] = (relative[i] ^ turn) == 1;
  }
  return flip;
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

std::vector<TuneChannel> TuneChannelsOf(const RunResult& run, const CKTV_Data& data) {
  std::vector<TuneChannel> out;
  for (const ChannelResult& r : run.channels) {
    if (!r.Measured()) continue;
    const CKTV_OutData& o = data.Output(r.channel);
    TuneChannel c;
    c.channel = r.channel;
    const auto& mix = o.InputMix();
    const bool left = mix[0] > 0;
    const bool right = mix[1] > 0;
    c.side = left && !right ? Side::Left : right && !left ? Side::Right : Side::Both;
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
