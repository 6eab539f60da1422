#include "acoustics/measurement_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <variant>

#include "acoustics/analysis.h"
#include "acoustics/sweep.h"
#include "acoustics/wav_file.h"

#include "edit/editor.h"
#include "link/engine.h"
#include "measure/band_fit.h"
#include "measure/channel_measurements.h"
#include "model/ktv_data.h"

namespace zelto::acoustics {

namespace {

std::string ChannelName(int channel) { return "ch" + std::to_string(channel + 1); }

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

// ---- the procedure ------------------------------------------------------------------------------

std::vector<Route> MeasurementRun::RoutesFor(const MeasurementPlan& plan, int channel) const {
  std::vector<Route> routes{{channel, plan.inputSource}};
  if (plan.referenceChannel) routes.push_back({*plan.referenceChannel, plan.referenceSource});
  return routes;
}

std::vector<ChannelResult> MeasurementRun::Check(const MeasurementPlan& plan, std::string* error) {
  return CheckPlan(editor_, plan, lang_, error);
}

std::vector<ChannelResult> CheckPlan(Editor& editor, const MeasurementPlan& plan, Language lang, std::string* error) {
  const bool zh = lang == Language::Chinese;
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
  editor.engine().Data().Edit([&](CKTV_Data& d) {
    const auto types = d.Image().ChannelTypes();
    for (int ch : plan.channels) {
      ChannelResult r;
      r.channel = ch;
      const CKTVEQ& eq = d.Output(ch).Eq();
      r.passLoHz = eq.HighPass().frequency();
      r.passHiHz = eq.LowPass().frequency();
      r.safety = SafetyOf(static_cast<int>(r.passLoHz), types[static_cast<std::size_t>(ch)],
                          plan.markedFullRange[static_cast<std::size_t>(ch)]);
      if (!MayPlay(r.safety)) r.refused = SafetyText(r.safety, lang);
      r.keptResponse = measure::ChannelResponseOf(eq);
      r.sampleRate = plan.sampleRate;
      results.push_back(std::move(r));
    }
    if (plan.referenceChannel) {
      const int ref = *plan.referenceChannel;
      const Safety s = SafetyOf(d.Output(ref).Eq().HighPass().frequency(), types[static_cast<std::size_t>(ref)],
                                plan.markedFullRange[static_cast<std::size_t>(ref)]);
      if (!MayPlay(s) && error) {
        *error = (zh ? "参考声道 " : "the reference channel ") + ChannelName(ref) + ": " + SafetyText(s, lang);
      }
    }
  });
  if (error && !error->empty()) return {};
  return results;
}

namespace {

SweepParams ParamsOf(const SweepOptions& o, int sampleRate, double levelDbfs) {
  SweepParams p;
  p.sampleRate = sampleRate;
  p.startHz = o.startHz;
  p.endHz = o.endHz;
  p.seconds = o.seconds;
  p.levelDbfs = levelDbfs;
  return p;
}

/// Where a channel's files of one position go (the folder made if need be), without an ending.
std::string FileStem(const MeasurementPlan& plan, int channel, int position) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(plan.outDir, ec);
  return (fs::path(plan.outDir) / (ChannelName(channel) + "-p" + std::to_string(position + 1))).string();
}

/// The recording from the moment the stream began to play (the analysis counts from there).
std::span<const float> FromPlayStart(const audio::Recording& rec, std::size_t channel) {
  return std::span<const float>(rec.channels[channel]).subspan(rec.leadFrames);
}

}  // namespace

std::optional<double> MeasurementRun::LevelCheck(const MeasurementPlan& plan, int channel, MeasurementHost& host,
                                                 const audio::CancelFlag& cancel, std::string* refused) {
  SweepOptions probe = plan.sweep;
  probe.seconds = kLevelProbeSeconds;
  double level = plan.sweep.startLevelDbfs;
  while (true) {
    const SweepParams params = ParamsOf(probe, plan.sampleRate, level);
    const std::vector<float> sweep = ExponentialSweep(params);
    audio::PlayRecordSpec request;
    request.outputDevice = plan.outputDevice;
    request.outputs = {{plan.outputChannel, sweep}};
    request.inputDevice = plan.inputDevice;
    request.inputChannels = {plan.inputChannel};
    request.sampleRate = plan.sampleRate;
    request.tailSeconds = TailSeconds(kDecayTailSeconds);
    Progress p{channel, 0, Stage::LevelCheck, static_cast<double>(stepsDone_) / totalSteps_, 0, level};
    const auto rec = audio::PlayAndRecord(audio_, request, cancel, [&](double, float peak) {
      p.inputPeak = peak;
      host.Report(p);
    });
    if (!rec.Ok()) {
      if (!rec.cancelled) *refused = rec.error;
      return std::nullopt;
    }
    AnalysisOptions options = OptionsFor(params);
    const auto analysed = Analyse(FromPlayStart(rec, 0), sweep, plan.sampleRate, options, workspace_);
    const bool canRise = level + kLevelStepDb <= plan.sweep.maxLevelDbfs;
    if (const auto* rejection = std::get_if<Rejection>(&analysed)) {
      // Only hearing too little makes it louder; a clipped or otherwise unusable probe stops here.
      const bool tooLittle =
          rejection->reason == Rejection::Reason::TooQuiet || rejection->reason == Rejection::Reason::NotFound;
      if (!tooLittle || !canRise) {
        *refused = rejection->Text(lang_);
        return std::nullopt;
      }
    } else {
      const Analysis& a = std::get<Analysis>(analysed);
      chainSeconds_ = std::max(chainSeconds_.value_or(0.0), a.arrival.samples / plan.sampleRate);
      const auto& levels = a.levels;
      if (!levels.snrDb || *levels.snrDb >= kWantedSnrDb || !canRise) return level;
    }
    level += kLevelStepDb;
  }
}

double MeasurementRun::TailSeconds(double atLeast) const {
  if (!chainSeconds_) return std::max(atLeast, kUnknownChainTailSeconds);
  return std::max(atLeast, *chainSeconds_ + kDecayTailSeconds);
}

bool MeasurementRun::Measure(const MeasurementPlan& plan, ChannelResult& result, int position, double level,
                             MeasurementHost& host, const audio::CancelFlag& cancel, RunResult& run, bool lastTry) {
  const SweepParams params = ParamsOf(plan.sweep, plan.sampleRate, level);
  audio::PlayRecordSpec request;
  request.outputDevice = plan.outputDevice;
  request.inputDevice = plan.inputDevice;
  request.sampleRate = plan.sampleRate;
  request.inputChannels = {plan.inputChannel};
  request.tailSeconds = TailSeconds(request.tailSeconds);
  std::optional<ReferencedStream> referenced;
  std::vector<float> sweep;
  if (plan.referenceChannel) {
    referenced = MakeReferencedStream(params);
    request.outputs.push_back({plan.referenceOutput, referenced->reference});
    request.outputs.push_back({plan.outputChannel, referenced->measurement});
  } else {
    sweep = ExponentialSweep(params);
    request.outputs.push_back({plan.outputChannel, sweep});
    if (plan.loopbackOut) {
      request.outputs.push_back({*plan.loopbackOut, sweep});
      request.inputChannels.push_back(*plan.loopbackIn);
    }
  }
  Progress p{result.channel, position, Stage::Sweep, 0, 0, level};
  const double stepShare = 1.0 / totalSteps_;
  const auto rec = audio::PlayAndRecord(audio_, request, cancel, [&](double done, float peak) {
    p.inputPeak = peak;
    p.done = (stepsDone_ + done) * stepShare;
    host.Report(p);
  });
  if (rec.cancelled) {
    run.cancelled = true;
    return true;
  }
  if (!rec.Ok()) {
    host.Rejected(result.channel, position, rec.error);
    return true;
  }
  p.stage = Stage::Analysis;
  host.Report(p);
  AnalysisOptions options = OptionsFor(params);
  if (plan.calibration) options.calibration = &*plan.calibration;
  const auto mic = FromPlayStart(rec, 0);
  const AnalysisOrRejection analysed =
      referenced         ? AnalyseWithAcousticReference(mic, *referenced, params, options, workspace_)
      : plan.loopbackOut ? AnalyseWithLoopback(mic, FromPlayStart(rec, 1), sweep, plan.sampleRate, options, workspace_)
                         : Analyse(mic, sweep, plan.sampleRate, options, workspace_);
  if (const auto* rejection = std::get_if<Rejection>(&analysed)) {
    // A hiccup of the audio system is not the car's fault: the sweep is simply played again.
    if (rejection->reason == Rejection::Reason::TimingChanged && !lastTry) return false;
    // Kept so that whoever asked for the files can see what the microphone heard instead.
    if (!plan.outDir.empty()) SaveRefused(plan, result, position, mic, run);
    host.Rejected(result.channel, position, rejection->Text(lang_));
    return true;
  }
  const auto& analysis = std::get<Analysis>(analysed);
  if (result.positions.empty()) {
    result.arrivalMs = analysis.arrivalMs;
    result.inverted = analysis.arrival.polarity < 0;
    result.impulse = analysis.ir;
    result.levelDbfs = level;
    result.peakDbfs = analysis.levels.peakDbfs;
  }
  if (!plan.outDir.empty()) Save(plan, result, position, analysis, mic, run);
  result.positions.push_back(analysis.response);
  result.positionIndex.push_back(position);
  return true;
}

void MeasurementRun::Save(const MeasurementPlan& plan, ChannelResult& result, int position, const Analysis& analysis,
                          std::span<const float> recording, RunResult& run) {
  const std::string stem = FileStem(plan, result.channel, position);
  const std::string note = ChannelName(result.channel) + ", position " + std::to_string(position + 1) + ", arrival " +
                           std::to_string(analysis.arrivalMs) + " ms";
  std::optional<std::string> error = WriteRewText(stem + ".txt", analysis.response, note, lang_);
  if (!error) result.files.push_back(stem + ".txt");
  if (!error) error = WriteWav(stem + "-ir.wav", MonoAudio(plan.sampleRate, analysis.ir), SampleFormat::Float32, lang_);
  if (!error) result.files.push_back(stem + "-ir.wav");
  if (!error) {
    error = WriteWav(stem + "-recording.wav", MonoAudio(plan.sampleRate, {recording.begin(), recording.end()}),
                     SampleFormat::Float32, lang_);
  }
  if (!error) result.files.push_back(stem + "-recording.wav");
  if (error && run.error.empty()) run.error = *error;
}

void MeasurementRun::SaveRefused(const MeasurementPlan& plan, ChannelResult& result, int position,
                                 std::span<const float> recording, RunResult& run) {
  const std::string path = FileStem(plan, result.channel, position) + "-refused.wav";
  const auto error =
      WriteWav(path, MonoAudio(plan.sampleRate, {recording.begin(), recording.end()}), SampleFormat::Float32, lang_);
  if (!error) result.files.push_back(path);
  if (error && run.error.empty()) run.error = *error;
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
      for (int attempt = 1; !Measure(plan, r, pos, *levels[i], host, cancel, run, attempt == kSweepAttempts);
           ++attempt) {
      }
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
    r.response = ToMeasurement(r.positions.size() == 1 ? r.positions.front() : PowerAverage(r.positions));
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
