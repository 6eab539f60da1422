#include "acoustics/auto_tune_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "acoustics/response.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto::acoustics {

namespace {

std::string Fixed(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

SummedFigures Summed(const RunResult& run, const measure::Target& target) {
  SummedFigures f;
  // Per position, on the grid. A position where a measured channel's recording was refused has no
  // sum: it would lack that channel's sound.
  int count = 0;
  for (const auto& ch : run.channels)
    for (int p : ch.positionIndex) count = std::max(count, p + 1);
  std::vector<std::array<double, kGridPoints>> power(static_cast<std::size_t>(count));
  std::vector<std::array<bool, kGridPoints>> has(static_cast<std::size_t>(count));
  for (auto& h : has) h.fill(true);
  std::vector<bool> whole(static_cast<std::size_t>(count), true);
  for (const auto& ch : run.channels) {
    if (!ch.Measured()) continue;
    for (int p = 0; p < count; ++p)
      if (std::find(ch.positionIndex.begin(), ch.positionIndex.end(), p) == ch.positionIndex.end())
        whole[static_cast<std::size_t>(p)] = false;
    for (std::size_t k = 0; k < ch.positions.size() && k < ch.positionIndex.size(); ++k) {
      const auto p = static_cast<std::size_t>(ch.positionIndex[k]);
      const auto curve = measure::OnGrid(ToMeasurement(ch.positions[k]));
      for (int i = 0; i < kGridPoints; ++i) {
        if (!curve.has[i]) {
          has[p][i] = false;
          continue;
        }
        power[p][i] += std::pow(10.0, curve.db[i] / 10);
      }
    }
  }
  const auto wholeCount = std::count(whole.begin(), whole.end(), true);
  if (wholeCount == 0) return f;
  const auto range = measure::RangeOf(kLevelLoHz, kLevelHiHz);
  const auto figure = [&](const std::array<double, kGridPoints>& sum, const std::array<bool, kGridPoints>& defined,
                          measure::Measurement* compared = nullptr) {
    measure::Measurement m;
    const auto& grid = FrequencyGrid();
    for (int i = 0; i < kGridPoints; ++i) {
      if (!defined[i] || sum[i] <= 0) continue;
      m.hz.push_back(grid[i]);
      m.db.push_back(10 * std::log10(sum[i]));
    }
    if (m.size() < measure::kMinPoints) return measure::Deviation{};
    const auto smoothed = measure::Smooth(m, measure::kReportSmoothing);
    if (compared) *compared = smoothed;
    return measure::Compare(measure::OnGrid(smoothed), target, range, true);
  };
  std::array<double, kGridPoints> mean{};
  std::array<bool, kGridPoints> all{};
  all.fill(true);
  for (std::size_t p = 0; p < power.size(); ++p) {
    if (!whole[p]) {
      f.perPositionRms.push_back(std::numeric_limits<double>::quiet_NaN());
      continue;
    }
    f.perPositionRms.push_back(figure(power[p], has[p]).rms);
    for (int i = 0; i < kGridPoints; ++i) {
      mean[i] += power[p][i] / static_cast<double>(wholeCount);
      all[i] = all[i] && has[p][i];
    }
  }
  f.averaged = figure(mean, all, &f.curve);
  return f;
}

std::vector<std::string> NotFixed(const Tuning& tuning, double maxBoostDb, Language lang) {
  const bool zh = lang == Language::Chinese;
  std::vector<std::string> lines;
  for (const auto& t : tuning.channels) {
    const std::string name = "ch" + std::to_string(t.channel + 1);
    for (const auto& h : t.boostLimited) {
      const std::string where = Fixed(h.loHz, 0) + (h.hiHz > h.loHz ? "-" + Fixed(h.hiHz, 0) : "") + " Hz";
      lines.push_back(zh ? name + " " + where + "：低于目标（声学零点或提升上限 " + Fixed(maxBoostDb, 1) +
                               " dB），未提升"
                         : name + " " + where + ": below the target (a null or the " + Fixed(maxBoostDb, 1) +
                               " dB boost limit), not boosted");
    }
    if (t.delayLimited)
      lines.push_back(name + (zh ? "：所需延时超过处理器的最大值" : ": needs more delay than the processor has"));
  }
  return lines;
}

bool Stopped(const RunResult& r, AutoTuneReport& report) {
  report.cancelled = report.cancelled || r.cancelled;
  report.linkLost = report.linkLost || r.linkLost;
  if (report.error.empty()) report.error = r.error;
  return r.cancelled || r.linkLost || (!r.error.empty() && r.channels.empty());
}

}  // namespace

TuneFigures FiguresOf(const RunResult& run, const measure::Target& target) {
  TuneFigures f;
  double aLo = 1e9, aHi = -1e9, lLo = 1e9, lHi = -1e9;
  for (const auto& ch : run.channels) {
    if (!ch.Measured()) continue;
    f.arrivalsMs.emplace_back(ch.channel, ch.arrivalMs);
    aLo = std::min(aLo, ch.arrivalMs);
    aHi = std::max(aHi, ch.arrivalMs);
    const double level = PassBandLevel(ch.response, target, ch.passLoHz, ch.passHiHz);
    lLo = std::min(lLo, level);
    lHi = std::max(lHi, level);
  }
  if (aHi >= aLo) f.arrivalSpreadMs = aHi - aLo;
  if (lHi >= lLo) f.levelSpreadDb = lHi - lLo;
  f.summed = Summed(run, target);
  return f;
}

AutoTuneReport AutoTuneRun::Run(const MeasurementPlan& plan, const TuneOptions& options, MeasurementHost& host,
                                const audio::CancelFlag& cancel) {
  const bool zh = lang_ == Language::Chinese;
  AutoTuneReport report;
  // Each pass keeps its files apart, so the tuning's effect can be seen file by file.
  MeasurementPlan pass = plan;
  if (!plan.outDir.empty()) pass.outDir = (std::filesystem::path(plan.outDir) / "before").string();
  report.before = measurement_.Run(pass, host, cancel);
  if (Stopped(report.before, report)) return report;
  report.figuresBefore = FiguresOf(report.before, options.target);

  std::vector<TuneChannel> measured;
  editor_.engine().Data().Edit([&](CKTV_Data& d) { measured = TuneChannelsOf(report.before, d); });
  if (measured.empty()) {
    report.error = zh ? "没有测量到任何声道" : "no channel could be measured";
    return report;
  }
  report.tuning = ComputeTuning(measured, options);
  report.notFixed = NotFixed(report.tuning, options.maxBoostDb, lang_);
  ApplyTuning(editor_, report.tuning);
  if (!host.Settle()) {
    report.linkLost = !editor_.engine().Connected();
    report.error = zh ? "处理器未接收新的设置" : "the processor did not take the new settings";
    return report;
  }
  report.tuned = true;

  // The verifying pass starts where the first did.
  if (plan.positions > 1 && !host.MoveMicrophone(0, plan.positions)) {
    report.cancelled = true;
    return report;
  }
  if (!plan.outDir.empty()) pass.outDir = (std::filesystem::path(plan.outDir) / "after").string();
  report.after = measurement_.Run(pass, host, cancel);
  if (Stopped(report.after, report)) return report;
  if (std::none_of(report.after.channels.begin(), report.after.channels.end(),
                   [](const auto& r) { return r.Measured(); })) {
    report.error = zh ? "调音已发送，但再次测量时没有任何声道被测到，无法验证"
                      : "the tuning was sent, but no channel could be measured again to verify it";
    return report;
  }
  report.figuresAfter = FiguresOf(report.after, options.target);
  report.verified = true;
  return report;
}

}  // namespace zelto::acoustics
