// Cost of keeping a channel's response curve current while a handle is dragged: one filter
// recomputed plus the channel sum on every mouse move, and a whole 33-filter channel (a preset
// load or a channel switch). The "straightforward" cases evaluate the same sections the way the
// formulas read, with the cosine and sine of every grid angle and one logarithm per section
// computed anew, as the yardstick for the fixed trigonometry table.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <vector>

#include "core/encodings.h"
#include "curves/filter.h"

namespace zelto {
namespace {

constexpr int kBands = 31;
constexpr GraphRect kPlot{35, 10, 935, 410};

// 31 active peaking bands and two 48 dB/Oct crossovers: every filter has sections to evaluate.
std::vector<CFilter> MakeChannel() {
  std::vector<CFilter> filters(kBands + 2);
  const auto centres = OutputBandCentres();
  for (int i = 0; i < kBands; ++i) {
    CFilter& f = filters[i];
    f.SetFrequency(centres[i], false);
    f.SetBandwidthIndex(15 + i * 3);
    f.SetGainCode(kGainCodeFlat + ((i % 2) ? 35 : -60));
  }
  CFilter& hp = filters[kBands];
  hp.SetIsEqBand(false);
  hp.SetType(filter_type::kHighPass);
  hp.SetCrossoverType(crossover_family::kLinkwitzRiley, false);
  hp.SetSlope(slope_code::k48, false);
  hp.SetFrequency(45, false);
  CFilter& lp = filters[kBands + 1];
  lp.SetIsEqBand(false);
  lp.SetType(filter_type::kLowPass);
  lp.SetCrossoverType(crossover_family::kBessel, false);
  lp.SetSlope(slope_code::k48, false);
  lp.SetFrequency(12000, false);
  for (CFilter& f : filters) f.SetGraphSize(kPlot);
  return filters;
}

// The formulas as they read: per grid point and per section, the angle, its cosine and sine, and
// the section's level in dB.
void StraightforwardResponse(const CFilter& f, std::array<double, kGridPoints>& out) {
  const FilterSections fs = f.Sections();
  const auto& grid = FrequencyGrid();
  for (int i = 0; i < kGridPoints; ++i) {
    double db = 0.0;
    for (int k = 0; k < fs.count; ++k) {
      const BiquadSection& s = fs.section[k];
      const double w = 6.2831852 * grid[i] / kFilterSampleRate;
      const double cw = std::cos(w);
      const double sw = std::sin(w);
      const double denRe = cw + s.a1 + s.a2 * cw;
      const double denIm = sw - s.a2 * sw;
      const double numRe = s.b0 * cw + s.b1 + s.b2 * cw;
      const double numIm = s.b0 * sw - s.b2 * sw;
      db += 20.0 * std::log10(std::sqrt((numRe * numRe + numIm * numIm) / (denRe * denRe + denIm * denIm)));
    }
    out[i] = db;
  }
}

void BM_OneBandChangedAndChannelSum(benchmark::State& state) {
  std::vector<CFilter> filters = MakeChannel();
  ChannelCurve curve;
  curve.Layout(kPlot.Width(), kPlot.Height());
  int code = 250;
  for (auto _ : state) {
    code = code == 250 ? 251 : 250;
    filters[17].SetGainCode(code);
    curve.Sum(filters);
    benchmark::DoNotOptimize(curve.points().data());
  }
}
BENCHMARK(BM_OneBandChangedAndChannelSum);

void BM_OneCrossoverChangedAndChannelSum(benchmark::State& state) {
  std::vector<CFilter> filters = MakeChannel();
  ChannelCurve curve;
  curve.Layout(kPlot.Width(), kPlot.Height());
  int hz = 12000;
  for (auto _ : state) {
    hz = hz == 12000 ? 12001 : 12000;
    filters[kBands + 1].SetFrequency(hz, true);
    curve.Sum(filters);
    benchmark::DoNotOptimize(curve.points().data());
  }
}
BENCHMARK(BM_OneCrossoverChangedAndChannelSum);

void BM_WholeChannelRecomputed(benchmark::State& state) {
  std::vector<CFilter> filters = MakeChannel();
  ChannelCurve curve;
  curve.Layout(kPlot.Width(), kPlot.Height());
  for (auto _ : state) {
    for (CFilter& f : filters) f.Update();
    curve.Sum(filters);
    benchmark::DoNotOptimize(curve.points().data());
  }
}
BENCHMARK(BM_WholeChannelRecomputed);

// As above, and every filter's own dB curve and outline read back as well (the graph reads only
// the hovered or selected filter's).
void BM_WholeChannelRecomputedWithFilterCurves(benchmark::State& state) {
  std::vector<CFilter> filters = MakeChannel();
  ChannelCurve curve;
  curve.Layout(kPlot.Width(), kPlot.Height());
  for (auto _ : state) {
    for (CFilter& f : filters) f.Update();
    curve.Sum(filters);
    for (const CFilter& f : filters) benchmark::DoNotOptimize(f.points().data());
    benchmark::DoNotOptimize(curve.points().data());
  }
}
BENCHMARK(BM_WholeChannelRecomputedWithFilterCurves);

void BM_Straightforward_OneBandChangedAndChannelSum(benchmark::State& state) {
  const std::vector<CFilter> filters = MakeChannel();
  std::vector<std::array<double, kGridPoints>> responses(filters.size());
  for (std::size_t i = 0; i < filters.size(); ++i) StraightforwardResponse(filters[i], responses[i]);
  ChannelCurve curve;
  curve.Layout(kPlot.Width(), kPlot.Height());
  for (auto _ : state) {
    StraightforwardResponse(filters[17], responses[17]);
    std::array<double, kGridPoints> sum{};
    for (const auto& r : responses) ChannelCurve::Accumulate(sum, r);
    curve.SetSum(sum);
    benchmark::DoNotOptimize(curve.points().data());
  }
}
BENCHMARK(BM_Straightforward_OneBandChangedAndChannelSum);

void BM_Straightforward_OneCrossoverChangedAndChannelSum(benchmark::State& state) {
  const std::vector<CFilter> filters = MakeChannel();
  std::vector<std::array<double, kGridPoints>> responses(filters.size());
  for (std::size_t i = 0; i < filters.size(); ++i) StraightforwardResponse(filters[i], responses[i]);
  ChannelCurve curve;
  curve.Layout(kPlot.Width(), kPlot.Height());
  for (auto _ : state) {
    StraightforwardResponse(filters[kBands + 1], responses[kBands + 1]);
    std::array<double, kGridPoints> sum{};
    for (const auto& r : responses) ChannelCurve::Accumulate(sum, r);
    curve.SetSum(sum);
    benchmark::DoNotOptimize(curve.points().data());
  }
}
BENCHMARK(BM_Straightforward_OneCrossoverChangedAndChannelSum);

void BM_Straightforward_WholeChannelRecomputed(benchmark::State& state) {
  const std::vector<CFilter> filters = MakeChannel();
  std::vector<std::array<double, kGridPoints>> responses(filters.size());
  ChannelCurve curve;
  curve.Layout(kPlot.Width(), kPlot.Height());
  for (auto _ : state) {
    for (std::size_t i = 0; i < filters.size(); ++i) StraightforwardResponse(filters[i], responses[i]);
    std::array<double, kGridPoints> sum{};
    for (const auto& r : responses) ChannelCurve::Accumulate(sum, r);
    curve.SetSum(sum);
    benchmark::DoNotOptimize(curve.points().data());
  }
}
BENCHMARK(BM_Straightforward_WholeChannelRecomputed);

}  // namespace
}  // namespace zelto
