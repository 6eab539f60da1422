// Cost of the two fits an installer waits for: importing a REW filter file into a channel's 31
// bands, and the automatic EQ of one channel from a measurement. The counters carry the fit's
// quality next to its time: deviation from the file's response, and the level-matched 1/6-octave
// deviation from the target before and after the automatic EQ.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

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

void BM_ImportRewFilters(benchmark::State& state) {
  const auto file = ParseRewFilters(kTuning, nullptr);
  ImportResult r;
  for (auto _ : state) {
    r = ImportRewFilters(file->filters, Centres());
    benchmark::DoNotOptimize(r);
  }
  state.counters["rms_dB"] = r.deviation.rms;
  state.counters["max_dB"] = r.deviation.max;
}
BENCHMARK(BM_ImportRewFilters)->Unit(benchmark::kMillisecond);

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

void BM_AutoEq(benchmark::State& state) {
  AutoEqRequest q;
  q.measured.measurement = CarMeasurement();
  q.centres = Centres();
  for (int c : q.centres) q.currentBands.push_back(FlatBand(c));
  q.target = state.range(0) ? CarTarget() : FlatTarget();
  AutoEqResult r;
  for (auto _ : state) {
    r = AutoEq(q);
    benchmark::DoNotOptimize(r);
  }
  state.counters["before_rms_dB"] = r.before.rms;
  state.counters["after_rms_dB"] = r.after.rms;
  state.counters["bound_ranges"] = static_cast<double>(r.boostLimited.size());
  int used = 0;
  for (const auto& b : r.bands) used += b.IsFlat() ? 0 : 1;
  state.counters["bands"] = used;
}
BENCHMARK(BM_AutoEq)->ArgName("car_target")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelto::measure
