// Cost of the two fits an installer waits for: importing a REW filter file into a channel's 31
// bands, and the automatic EQ of one channel from a measurement. The counters carry the fit's
// quality next to its time: deviation from the file's response, and the level-matched 1/6-octave
// deviation from the target before and after the automatic EQ.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <vector>

#include "curves/filter_design.h"
#include "measure/auto_eq.h"
#include "measure/band_fit.h"

namespace zelto::measure {
namespace {

constexpr const char* kTuning =
    "Filter  1: ON  PK       Fc   45.0 Hz  Gain  -6.5 dB  Q  5.000\n"
    "Filter  2: ON  PK       Fc   87.0 Hz  Gain  -4.0 dB  Q  3.000\n"
    "Filter  3: ON  PK       Fc  160.0 Hz  Gain   2.5 dB  Q  2.000\n"
    "Filter  4: ON  PK       Fc  330.0 Hz  Gain  -3.5 dB  Q  4.000\n"
    "Filter  5: ON  PK       Fc  720.0 Hz  Gain   1.5 dB  Q  3.000\n"
    "Filter  6: ON  PK       Fc 1500.0 Hz  Gain  -2.0 dB  Q  2.500\n"
    "Filter  7: ON  PK       Fc 2900.0 Hz  Gain  -4.5 dB  Q  4.500\n"
    "Filter  8: ON  PK       Fc 5100.0 Hz  Gain   2.0 dB  Q  1.500\n"
    "Filter  9: ON  PK       Fc 8700.0 Hz  Gain  -2.5 dB  Q  3.000\n"
    "Filter 10: ON  HS       Fc 12000  Hz  Gain  -2.0 dB\n"
    "Filter 11: ON  LSC      Fc  70.0 Hz  Gain   4.0 dB  Q  0.700\n"
    "Filter 12: ON  PK       Fc 1220.0 Hz  Gain   1.3 dB  Q  7.000\n"
    "Filter 13: ON  PK       Fc 4295.0 Hz  Gain  -1.2 dB  Q  8.000\n"
    "Filter 14: ON  PK       Fc 11500  Hz  Gain  -3.0 dB  Q  2.000\n";

std::vector<int> Centres() {
  const auto c = OutputBandCentres();
  return {c.begin(), c.end()};
}

// Filter files as REW writes them for car tunings: the deviation counters are those of the fine
// (1/96 octave) grid, the figures the import reports.
constexpr const char* kGermanTuning =
    "Filter  1: ON  PK       Fc   63,0 Hz  Gain  -8,0 dB  Q  4,000\n"
    "Filter  2: ON  PK       Fc  118,0 Hz  Gain  -5,5 dB  Q  2,500\n"
    "Filter  3: ON  PK       Fc 1.451 Hz  Gain  -3,0 dB  Q  1,800\n"
    "Filter  4: ON  LS 12dB  Fc   80,0 Hz  Gain   3,0 dB\n"
    "Filter  5: ON  HS 6dB   Fc 6.300 Hz  Gain  -2,5 dB\n"
    "Filter  6: ON  PK       Fc 3.150 Hz  Gain   2,0 dB  BW Oct 0,500\n";
constexpr const char* kNarrowBass =
    "Filter 1: ON PK Fc 42.5 Hz Gain -9.0 dB Q 12.000\n"
    "Filter 2: ON PK Fc 57.0 Hz Gain -6.5 dB Q 18.000\n"
    "Filter 3: ON PK Fc 71.0 Hz Gain -7.0 dB Q 10.000\n"
    "Filter 4: ON PK Fc 96.0 Hz Gain -5.0 dB Q 20.000\n";
constexpr std::array<const char*, 3> kFiles = {kTuning, kGermanTuning, kNarrowBass};

void BM_ImportRewFilters(benchmark::State& state) {
  const auto file = ParseRewFilters(kFiles[static_cast<std::size_t>(state.range(0))], nullptr);
  ImportResult r;
  for (auto _ : state) {
    r = ImportRewFilters(file->filters, Centres());
    benchmark::DoNotOptimize(r);
  }
  state.counters["rms_dB"] = r.deviation.rms;
  state.counters["max_dB"] = r.deviation.max;
}
BENCHMARK(BM_ImportRewFilters)->ArgName("file")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

/// A full-range car speaker as measured at the seat, 1/48-octave points: a bass hump and room
/// modes, a cancellation dip, a peak in the upper mids, roll-off at the top and a ripple.
Measurement CarMeasurement() {
  Measurement m;
  for (double f = 15; f <= 22000; f *= std::pow(2.0, 1.0 / 48)) {
    const double o = std::log2(f);
    auto bump = [&](double hz, double db, double octaves) {
      const double d = (o - std::log2(hz)) / octaves;
      return db * std::exp(-d * d);
    };
    double db = 84 + bump(45, 7, 0.6) + bump(85, -6, 0.15) + bump(125, 5, 0.12) + bump(300, -9, 0.1) +
                bump(2400, 5, 0.35) + bump(6500, -4, 0.3) + 1.2 * std::sin(o * 9.1) + 0.7 * std::sin(o * 23.7);
    if (f > 10000) db -= 8 * std::log2(f / 10000);
    m.hz.push_back(f);
    m.db.push_back(db);
  }
  return m;
}

// Arg: 0 flat target, 1 car target, 2 car target on a subwoofer behind an 80 Hz LR24 low-pass.
void BM_AutoEq(benchmark::State& state) {
  AutoEqRequest q;
  q.measured.measurement = CarMeasurement();
  if (state.range(0) == 2) {
    q.crossoverResponse = GridResponseDb(LinkwitzRileyDesign(false, 80, slope_code::k24));
    q.passBand = {kFilterMinHz, 80};
    for (std::size_t k = 0; k < q.measured.measurement.size(); ++k)
      q.measured.measurement.db[k] +=
          ResponseDb(LinkwitzRileyDesign(false, 80, slope_code::k24), q.measured.measurement.hz[k]);
    q.measured.keptResponse = q.crossoverResponse;
  }
  q.centres = Centres();
  for (int c : q.centres) q.currentBands.push_back(FlatBand(c));
  q.target = state.range(0) > 0 ? CarTarget() : FlatTarget();
  AutoEqResult r;
  for (auto _ : state) {
    r = AutoEq(q);
    benchmark::DoNotOptimize(r);
  }
  state.counters["before_rms_dB"] = r.before.rms;
  state.counters["after_rms_dB"] = r.after.rms;
  state.counters["bound_ranges"] = static_cast<double>(r.boostLimited.size() + r.cutLimited.size());
  state.counters["dips_left"] = static_cast<double>(r.dipsLeft.size());
  state.counters["bands"] = r.bandsUsed;
}
BENCHMARK(BM_AutoEq)->ArgName("case")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto::measure
