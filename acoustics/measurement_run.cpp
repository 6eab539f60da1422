#include "acoustics/measurement_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "edit/editor.h"
#include "link/engine.h"
#include "measure/band_fit.h"
#include "measure/channel_measurements.h"
#include "model/ktv_data.h"

namespace zelto::acoustics {

namespace {

double Db(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-10)); }
double Amplitude(double db) { return std::pow(10.0, db / 20.0); }

std::string Fixed(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string ChannelName(int channel) { return "ch" + std::to_string(channel + 1); }

/// The loudest stretch of this length decides the signal's level: a sweep sounds loudest where
/// the room answers best, and the level check wants that.
constexpr double kLevelWindowSeconds = 0.05;
/// Silence between the reference sweep and the measurement sweep, so the reference's decay does
/// not reach into the measurement.
constexpr double kReferenceGapSeconds = 0.3;

}  // namespace

// ---- safety -------------------------------------------------------------------------------------

bool BassOrFullRangeType(int type) {
  switch (type) {
    case 3:
    case 9:  // woofers
    case 5:
    case 11:
    case 14:
    case 17:  // mid-lows
    case 20:  // centre mid-low
    case 6:
    case 12:
    case 15:
    case 18:  // full range
    case 21:  // centre full range
    case 22:
    case 23:
    case 24:  // subwoofers
      return true;
    default: return false;
  }
}

Safety SafetyOf(int highPassHz, int channelType, bool markedFullRange) {
  if (highPassHz >= kSafeHighPassHz) return Safety::HighPass;
  if (markedFullRange) return Safety::MarkedByUser;
  if (BassOrFullRangeType(channelType)) return Safety::BassType;
  return Safety::Unsafe;
}

std::string SafetyText(Safety s, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (s) {
    case Safety::HighPass: return zh ? "有高通保护" : "protected by its high-pass";
    case Safety::BassType: return zh ? "低音或全频声道" : "a bass or full-range channel";
    case Safety::MarkedByUser: return zh ? "已标记为全频或低音" : "marked full-range or bass";
    case Safety::Unsafe:
      return zh ? "没有 200 Hz 以上的高通，也未标记为全频或低音：不播放"
                : "no high-pass at 200 Hz or above and not marked full-range or bass: not played";
  }
  return {};
}

// ---- levels -------------------------------------------------------------------------------------

LevelReading ReadLevel(std::span<const float> noise, std::span<const float> signal) {
  LevelReading r;
  double noiseSum = 0;
  for (float v : noise) noiseSum += static_cast<double>(v) * v;
  const double noiseRms = noise.empty() ? 0 : std::sqrt(noiseSum / static_cast<double>(noise.size()));
  float peak = 0;
  for (float v : signal) peak = std::max(peak, std::abs(v));
  // Loudest window by a running sum of squares.
  const std::size_t window = std::max<std::size_t>(1, std::min(signal.size(), std::size_t{2400}));
  double sum = 0;
  double best = 0;
  for (std::size_t i = 0; i < signal.size(); ++i) {
    sum += static_cast<double>(signal[i]) * signal[i];
    if (i >= window) sum -= static_cast<double>(signal[i - window]) * signal[i - window];
    best = std::max(best, sum);
  }
  const double signalRms = std::sqrt(std::max(best, 0.0) / static_cast<double>(window));
  r.peakDbfs = Db(peak);
  r.noiseDbfs = Db(noiseRms);
  r.snrDb = Db(signalRms) - r.noiseDbfs;
  r.clipped = peak >= kClipSample;
  return r;
}

std::string RejectionText(const LevelReading& level, Language lang) {
  const bool zh = lang == Language::Chinese;
  if (level.clipped) {
    return zh ? "录音削波（峰值 " + Fixed(level.peakDbfs, 1) + " dBFS）：请调低功放或麦克风增益"
              : "the recording clips (peak " + Fixed(level.peakDbfs, 1) +
                    " dBFS): turn the amplifier or the microphone gain down";
  }
  if (level.snrDb < kMinSnrDb) {
    return zh ? "信号仅高出噪声 " + Fixed(level.snrDb, 1) + " dB（至少需要 " + Fixed(kMinSnrDb, 0) +
                    " dB）：请检查接线、静音和音量"
              : "the signal is only " + Fixed(level.snrDb, 1) + " dB above the noise (" + Fixed(kMinSnrDb, 0) +
                    " dB needed): check the wiring, mutes and volume";
  }
  return {};
}

// ---- the procedure ------------------------------------------------------------------------------

std::vector<Route> MeasurementRun::RoutesFor(const MeasurementPlan& plan, int channel) const {
  std::vector<Route> routes{{channel, plan.inputSource}};
  if (plan.referenceChannel) routes.push_back({*plan.referenceChannel, plan.referenceSource});
  return routes;
}

std::vector<ChannelResult> MeasurementRun::Check(const MeasurementPlan& plan, std::string* error) {
  const bool zh = lang_ == Language::Chinese;
  std::vector<ChannelResult> results;
  auto fail = [&](std::string text) {
    if (error) *error = std::move(text);
    return std::vector<ChannelResult>{};
  };
  if (plan.channels.empty()) return fail(zh ? "未选择要测量的声道" : "no channel chosen to measure");
  if (plan.positions < 1 || plan.positions > 16) {
    return fail(zh ? "测量位置数须为 1 到 16" : "the number of positions must be 1 to 16");
  }
  if (std::find(audio::kSampleRates.begin(), audio::kSampleRates.end(), plan.sampleRate) == audio::kSampleRates.end()) {
    return fail(zh ? "采样率须为 44100、48000 或 96000 Hz" : "the sample rate must be 44100, 48000 or 96000 Hz");
  }
  if (!(plan.sweep.startHz > 0 && plan.sweep.startHz < plan.sweep.endHz && plan.sweep.endHz <= plan.sampleRate / 2.0 &&
        plan.sweep.seconds >= 0.1 && plan.sweep.seconds <= 30)) {
    return fail(zh ? "扫频设置无效" : "the sweep's range or length is not possible");
  }
  if (plan.sweep.maxLevelDbfs > 0 || plan.sweep.startLevelDbfs > plan.sweep.maxLevelDbfs) {
    return fail(zh ? "扫频电平无效"
                   : "the sweep's levels are not possible (start at most the highest, at most 0 dBFS)");
  }
  if ((plan.loopbackOut.has_value()) != (plan.loopbackIn.has_value())) {
    return fail(zh ? "回环需要输出和输入两个声道" : "a loopback needs both its output and its input channel");
  }
  std::vector<int> all = plan.channels;
  if (plan.referenceChannel) all.push_back(*plan.referenceChannel);
  for (int ch : all) {
    if (ch < 0 || ch >= kOutputChannels) return fail((zh ? "没有声道 " : "there is no channel ") + ChannelName(ch));
  }
  editor_.engine().Data().Edit([&](CKTV_Data& d) {
    const auto types = d.Image().ChannelTypes();
    for (int ch : plan.channels) {
      ChannelResult r;
      r.channel = ch;
      const CKTVEQ& eq = d.Output(ch).Eq();
      r.passLoHz = eq.HighPass().frequency();
      r.passHiHz = eq.LowPass().frequency();
      r.safety = SafetyOf(static_cast<int>(r.passLoHz), types[static_cast<std::size_t>(ch)],
                          plan.markedFullRange[static_cast<std::size_t>(ch)]);
      if (!MayPlay(r.safety)) r.refused = SafetyText(r.safety, lang_);
      r.keptResponse = measure::ChannelResponseOf(eq);
      r.sampleRate = plan.sampleRate;
      results.push_back(std::move(r));
    }
    if (plan.referenceChannel) {
      const int ref = *plan.referenceChannel;
      const Safety s = SafetyOf(d.Output(ref).Eq().HighPass().frequency(), types[static_cast<std::size_t>(ref)],
                                plan.markedFullRange[static_cast<std::size_t>(ref)]);
      if (!MayPlay(s) && error) {
        *error = (zh ? "参考声道 " : "the reference channel ") + ChannelName(ref) + ": " + SafetyText(s, lang_);
      }
    }
  });
  if (error && !error->empty()) return {};
  return results;
}

std::optional<double> MeasurementRun::LevelCheck(const MeasurementPlan& plan, int channel, MeasurementHost& host,
                                                 const audio::CancelFlag& cancel, std::string* refused) {
  SweepOptions probe = plan.sweep;
  probe.seconds = kLevelProbeSeconds;
  double level = plan.sweep.startLevelDbfs;
  while (true) {
    const Signal s = analyser_.Sweep(probe, plan.sampleRate, Amplitude(level));
    audio::PlayRecordSpec spec;
    spec.outputDevice = plan.outputDevice;
    spec.outputs = {{plan.outputChannel, s.samples}};
    spec.inputDevice = plan.inputDevice;
    spec.inputChannels = {plan.inputChannel};
    spec.sampleRate = plan.sampleRate;
    spec.tailSeconds = 0.3;
    Progress p{channel, 0, Stage::LevelCheck, 0, 0, level};
    const auto rec = audio::PlayAndRecord(audio_, spec, cancel, [&](double, float peak) {
      p.inputPeak = peak;
      host.Report(p);
    });
    if (!rec.Ok()) {
      if (!rec.cancelled) *refused = rec.error;
      return std::nullopt;
    }
    const auto& mic = rec.channels[0];
    // Before the lead ends nothing played can have arrived: that is the noise.
    const std::size_t noiseEnd = rec.leadFrames;
    const auto reading = ReadLevel(std::span(mic).first(noiseEnd), std::span(mic).subspan(noiseEnd));
    if (reading.clipped) {
      *refused = RejectionText(reading, lang_);
      return std::nullopt;
    }
    if (reading.snrDb >= kWantedSnrDb || level + kLevelStepDb > plan.sweep.maxLevelDbfs) {
      if (reading.snrDb < kMinSnrDb) {
        *refused = RejectionText(reading, lang_);
        return std::nullopt;
      }
      return level;
    }
    level += kLevelStepDb;
  }
}

void MeasurementRun::Measure(const MeasurementPlan& plan, ChannelResult& result, int position, double level,
                             MeasurementHost& host, const audio::CancelFlag& cancel, RunResult& run) {
  const Signal sweep = analyser_.Sweep(plan.sweep, plan.sampleRate, Amplitude(level));
  audio::PlayRecordSpec spec;
  spec.outputDevice = plan.outputDevice;
  spec.inputDevice = plan.inputDevice;
  spec.sampleRate = plan.sampleRate;
  spec.inputChannels = {plan.inputChannel};
  std::size_t sweepAt = 0;  // where the measurement sweep starts after the lead
  std::optional<Signal> reference;
  std::vector<float> main;
  if (plan.referenceChannel) {
    reference = analyser_.TimingSweep(plan.sampleRate, Amplitude(level));
    sweepAt = reference->samples.size() + static_cast<std::size_t>(kReferenceGapSeconds * plan.sampleRate);
    spec.outputs.push_back({plan.referenceOutput, reference->samples});
  }
  main.assign(sweepAt, 0.0f);
  main.insert(main.end(), sweep.samples.begin(), sweep.samples.end());
  spec.outputs.push_back({plan.outputChannel, main});
  if (plan.loopbackOut) {
    spec.outputs.push_back({*plan.loopbackOut, main});
    spec.inputChannels.push_back(*plan.loopbackIn);
  }
  Progress p{result.channel, position, Stage::Sweep, 0, 0, level};
  const double stepShare = 1.0 / totalSteps_;
  const auto rec = audio::PlayAndRecord(audio_, spec, cancel, [&](double done, float peak) {
    p.inputPeak = peak;
    p.done = (stepsDone_ + done) * stepShare;
    host.Report(p);
  });
  if (rec.cancelled) {
    run.cancelled = true;
    return;
  }
  if (!rec.Ok()) {
    host.Rejected(result.channel, position, rec.error);
    return;
  }
  p.stage = Stage::Analysis;
  host.Report(p);
  const auto& mic = rec.channels[0];
  const auto reading = ReadLevel(std::span(mic).first(rec.leadFrames), std::span(mic).subspan(rec.leadFrames));
  if (const std::string why = RejectionText(reading, lang_); !why.empty()) {
    host.Rejected(result.channel, position, why);
    return;
  }
  std::string error;
  auto analysis = analyser_.Analyse(mic, rec.leadFrames + sweepAt, sweep, &error);
  if (!analysis) {
    host.Rejected(result.channel, position, error);
    return;
  }
  double zero = 0;  // where the arrivals are counted from, in samples after the sweep started
  if (plan.loopbackOut) {
    const auto loop = analyser_.Analyse(rec.channels[1], rec.leadFrames + sweepAt, sweep, &error);
    if (!loop) {
      host.Rejected(result.channel, position, "loopback: " + error);
      return;
    }
    zero = loop->arrivalSamples;
  } else if (reference) {
    const auto ref = analyser_.Analyse(mic, rec.leadFrames, *reference, &error);
    if (!ref) {
      host.Rejected(result.channel, position, "timing reference: " + error);
      return;
    }
    zero = ref->arrivalSamples;
  }
  if (result.positions.empty()) {
    result.arrivalMs = (analysis->arrivalSamples - zero) * 1000.0 / plan.sampleRate;
    result.inverted = analysis->inverted;
    result.impulse = analysis->impulse;
    result.levelDbfs = level;
    result.peakDbfs = reading.peakDbfs;
  }
  if (!plan.outDir.empty()) {
    const std::string stem = ChannelName(result.channel) + "-p" + std::to_string(position + 1);
    const auto files = analyser_.Save(plan.outDir, stem, *analysis, mic, plan.sampleRate, &error);
    if (!error.empty()) run.error = error;
    result.files.insert(result.files.end(), files.begin(), files.end());
  }
  result.positions.push_back(std::move(analysis->response));
}

RunResult MeasurementRun::Run(const MeasurementPlan& plan, MeasurementHost& host, const audio::CancelFlag& cancel) {
  RunResult run;
  run.channels = Check(plan, &run.error);
  if (!run.error.empty()) return run;
  const auto before = TakeRouting(editor_.engine());
  // The record is on disk before anything changes, or nothing changes.
  if (!guard_.Begin(before, &run.error)) return run;

  totalSteps_ = static_cast<int>(plan.channels.size()) * plan.positions;
  stepsDone_ = 0;
  std::vector<std::optional<double>> levels(run.channels.size());
  for (int pos = 0; pos < plan.positions && !run.cancelled && !run.linkLost; ++pos) {
    if (pos > 0 && !host.MoveMicrophone(pos, plan.positions)) {
      run.cancelled = true;
      break;
    }
    for (std::size_t i = 0; i < run.channels.size(); ++i) {
      auto& r = run.channels[i];
      if (cancel.Cancelled()) run.cancelled = true;
      if (run.cancelled || run.linkLost) break;
      if (!MayPlay(r.safety) || (pos > 0 && !levels[i])) {
        ++stepsDone_;
        continue;
      }
      host.Report({r.channel, pos, Stage::Routing, static_cast<double>(stepsDone_) / totalSteps_, 0, 0});
      const auto routes = RoutesFor(plan, r.channel);
      RouteTo(editor_, routes);
      if (!host.Settle()) {
        run.linkLost = true;
        break;
      }
      if (pos == 0) {
        // The level found at the first position holds for the others: the microphone only
        // moves a little around the head.
        std::string refused;
        levels[i] = LevelCheck(plan, r.channel, host, cancel, &refused);
        if (cancel.Cancelled()) {
          run.cancelled = true;
          break;
        }
        if (!levels[i]) {
          r.refused = refused;
          host.Rejected(r.channel, pos, refused);
          ++stepsDone_;
          continue;
        }
      }
      Measure(plan, r, pos, *levels[i], host, cancel, run);
      ++stepsDone_;
    }
  }

  host.Report({0, 0, Stage::Restoring, 1, 0, 0});
  RestoreRouting(editor_, before);
  run.restored = !run.linkLost && host.Settle();
  if (run.restored) {
    guard_.End();
  } else {
    run.linkLost = true;
  }

  for (auto& r : run.channels) {
    if (!r.refused.empty()) continue;
    if (r.positions.empty()) {
      if (!run.cancelled && !run.linkLost) {
        r.refused = lang_ == Language::Chinese ? "所有录音均被拒绝" : "every recording was refused";
      }
      continue;
    }
    r.response = r.positions.size() == 1 ? r.positions.front() : analyser_.Average(r.positions);
  }
  return run;
}

void HandOver(const RunResult& result, measure::ChannelMeasurements& held) {
  for (const auto& r : result.channels) {
    if (!r.Measured()) continue;
    const std::string path = r.files.empty() ? std::string() : r.files.front();
    held.Set(r.channel, r.response, r.keptResponse, path, r.passLoHz, r.passHiHz);
  }
}

}  // namespace zelto::acoustics
