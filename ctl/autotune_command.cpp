#include "ctl/autotune_command.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "acoustics/auto_tune.h"
#include "acoustics/auto_tune_run.h"
#include "acoustics/measurement_routing.h"
#include "acoustics/measurement_run.h"
#include "acoustics/response.h"
#include "core/platform.h"
#include "ctl/ctl.h"
#include "ctl/measure_run_command.h"
#include "ctl/report_tree.h"
#include "ctl/session.h"
#include "edit/editor.h"
#include "model/ktv_data.h"

namespace zelto::ctl {

namespace {

constexpr auto kSettleLimit = std::chrono::seconds(10);

struct AutoTuneOptions {
  std::string channels = "ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8";
  std::string audioOut;
  std::string audioIn;
  std::string target = "flat";
  std::string reference;
  std::string loopback;  // "OUT,IN" channels of the sound card, 1-based
  int positions = 1;
  double maxBoostDb = measure::kDefaultMaxBoostDb;
  double seconds = 1.0;
  int rate = 48000;
  bool json = false;
  std::string fullRange;
  std::string outDir;
};

double Round(double v, double step) { return std::round(v / step) * step; }

nlohmann::json JsonOf(const acoustics::TuneFigures& f) {
  nlohmann::json j;
  j["arrival_spread_ms"] = Round(f.arrivalSpreadMs, 1e-4);
  j["arrivals_ms"] = nlohmann::json::object();
  for (const auto& [ch, ms] : f.arrivalsMs) j["arrivals_ms"]["ch" + std::to_string(ch + 1)] = Round(ms, 1e-4);
  j["level_spread_db"] = Round(f.levelSpreadDb, 0.01);
  j["summed_rms_db"] = Round(f.summed.averaged.rms, 0.01);
  j["summed_rms_db_per_position"] = nlohmann::json::array();
  for (double r : f.summed.perPositionRms)
    j["summed_rms_db_per_position"].push_back(std::isnan(r) ? nlohmann::json() : nlohmann::json(Round(r, 0.01)));
  return j;
}

int Fail(CommandContext& c, const std::string& text, int status = kExitFailure) {
  c.view.Fail(text);
  return status;
}

int AutoTuneCommand(CommandContext& c, const AutoTuneOptions& o) {
  const bool zh = c.Lang() == Language::Chinese;
  if (o.audioOut.empty() || o.audioIn.empty())
    return Fail(c, zh ? "autotune 需要 --audio-out 和 --audio-in" : "autotune needs --audio-out and --audio-in",
                kExitUsage);
  acoustics::MeasurementPlan plan;
  const auto channels = ParseChannels(o.channels);
  if (!channels)
    return Fail(c, "--channels: " + o.channels + (zh ? " 不是声道列表" : " is not a list of channels ch1..ch8"),
                kExitUsage);
  plan.channels = *channels;
  if (!o.reference.empty()) {
    const auto ref = ParseChannels(o.reference);
    if (!ref || ref->size() != 1)
      return Fail(c, "--reference: " + o.reference + (zh ? " 不是声道" : " is not one channel"), kExitUsage);
    plan.referenceChannel = ref->front();
  }
  if (!o.loopback.empty()) {
    int outCh = 0;
    int inCh = 0;
    char comma = 0;
    std::istringstream s(o.loopback);
    if (!(s >> outCh >> comma >> inCh) || comma != ',' || outCh < 1 || inCh < 1 || !s.eof())
      return Fail(c, "--loopback: " + o.loopback + (zh ? " 应为 OUT,IN" : " must be OUT,IN"), kExitUsage);
    plan.loopbackOut = outCh - 1;
    plan.loopbackIn = inCh - 1;
  }
  if (!o.fullRange.empty()) {
    const auto marked = ParseChannels(o.fullRange);
    if (!marked)
      return Fail(c, "--full-range: " + o.fullRange + (zh ? " 不是声道列表" : " is not a list of channels"),
                  kExitUsage);
    for (int ch : *marked) plan.markedFullRange[static_cast<std::size_t>(ch)] = true;
  }
  std::string error;
  const auto target = measure::TargetByName(o.target, c.Lang(), &error);
  if (!target) return Fail(c, error);
  if (!(o.maxBoostDb >= 0 && o.maxBoostDb <= 12))
    return Fail(c, zh ? "--max-boost 须在 0 到 12 dB 之间" : "--max-boost must be 0 to 12 dB", kExitUsage);
  plan.positions = o.positions;
  plan.outDir = o.outDir;
  plan.sampleRate = o.rate;
  plan.sweep.seconds = o.seconds;
  plan.sweep.endHz = std::min(plan.sweep.endHz, 0.45 * o.rate);

  auto system = OpenAudio(c);
  if (!system) return kExitFailure;
  const auto devices = system->Devices();
  const auto out = audio::FindDevice(devices, o.audioOut, audio::Direction::Output, c.Lang());
  if (!out.device) return Fail(c, "--audio-out: " + out.error);
  const auto in = audio::FindDevice(devices, o.audioIn, audio::Direction::Input, c.Lang());
  if (!in.device) return Fail(c, "--audio-in: " + in.error);
  plan.outputDevice = out.device->number;
  plan.inputDevice = in.device->number;

  const auto folder = StateFolder();
  if (folder.empty())
    return Fail(c, zh ? "找不到保存测量状态的文件夹" : "no folder to keep the measurement's record in");
  acoustics::MeasurementGuard guard((folder / acoustics::kGuardFileName).string());
  auto session = DeviceSession::Open(c.deviceUrl, c.view, c.usbWrite);
  if (!session || !session->Connect()) return kExitFailure;
  if (acoustics::RestoreLeftover(session->editor(), guard)) {
    if (!session->WaitUntilSent(kSettleLimit)) return kExitFailure;
    guard.End();
    c.term.Message(zh ? "已恢复上次中断的测量所更改的设置"
                      : "put back the settings an interrupted measurement had changed");
  }

  audio::CancelFlag cancel;
  TerminalHost host(*session, c.term, cancel);
  acoustics::TuneOptions options;
  options.target = *target;
  options.maxBoostDb = o.maxBoostDb;
  acoustics::AutoTuneRun run(session->editor(), *system, guard, c.Lang());
  const auto report = run.Run(plan, options, host, cancel);
  host.Done();
  for (const auto& r : report.before.channels)
    if (!r.Measured())
      c.term.Message("ch" + std::to_string(r.channel + 1) + ": " +
                     (r.refused.empty() ? std::string(zh ? "未测量" : "not measured") : r.refused));
  if (!report.error.empty()) c.view.Fail(report.error);
  if (report.linkLost) {
    c.view.Fail(zh ? "与处理器的连接中断：下次连接时会恢复测量前的设置"
                   : "the link to the processor was lost: the settings from before are put back at the next connect");
    return kExitFailure;
  }
  if (report.cancelled) {
    c.term.Message(report.tuned
                       ? (zh ? "验证已取消；调音已发送" : "verification cancelled; the tuning was sent")
                       : (zh ? "自动调音已取消，设置未改变" : "auto-tune cancelled; the settings are as they were"));
    return kExitFailure;
  }
  if (!report.tuned) return kExitFailure;

  const bool verified = report.verified;
  const auto& tuning = report.tuning;
  const auto& fb = report.figuresBefore;
  const auto& fa = report.figuresAfter;
  const auto& unfixed = report.notFixed;
  nlohmann::json j;
  j["target"] = o.target;
  j["before"] = JsonOf(fb);
  if (verified) j["after"] = JsonOf(fa);
  j["predicted"] = {{"arrival_spread_ms", Round(tuning.spreadAfterMs, 1e-4)},
                    {"level_spread_db", Round(tuning.levelSpreadAfterDb, 0.01)}};
  j["channels"] = nlohmann::json::array();
  for (const auto& t : tuning.channels) {
    nlohmann::json ch;
    ch["channel"] = "ch" + std::to_string(t.channel + 1);
    ch["delay_ms"] = Round(DelayMsFromCode(t.delayCode), 1e-4);
    ch["phase"] = t.phase ? "inverted" : "normal";
    ch["polarity_changed"] = t.flipped;
    ch["gain_db"] = OutputGainDbFromCode(t.gainCode);
    ch["level_before_db"] = Round(t.levelBeforeDb, 0.01);
    ch["level_after_db"] = Round(t.levelAfterDb, 0.01);
    if (t.equalised) {
      ch["eq_rms_before_db"] = Round(t.eqBefore.rms, 0.01);
      ch["eq_rms_after_db"] = Round(t.eqAfter.rms, 0.01);
    }
    ch["not_fixed"] = nlohmann::json::array();
    for (const auto& h : t.boostLimited)
      ch["not_fixed"].push_back(FormatFixed(h.loHz, 0) + (h.hiHz > h.loHz ? "-" + FormatFixed(h.hiHz, 0) : "") + " Hz");
    if (t.delayLimited) ch["delay_limited"] = true;
    j["channels"].push_back(ch);
  }
  if (o.json) {
    j["not_fixed"] = unfixed;
    j["verified"] = verified;
    c.term.Result(j.dump(2));
  } else {
    const auto line = [&](const char* what, double b, std::optional<double> a, const char* unit, int decimals) {
      c.term.Result(std::string(what) + "\t" + FormatFixed(b, decimals) + " " + unit + "\t" +
                    (a ? FormatFixed(*a, decimals) + " " + unit : std::string("-")));
    };
    c.term.Result(zh ? "\t调音前\t调音后" : "\tbefore\tafter");
    line(zh ? "到达时间差" : "arrival spread", fb.arrivalSpreadMs,
         verified ? std::optional(fa.arrivalSpreadMs) : std::nullopt, "ms", 3);
    line(zh ? "电平差" : "level spread", fb.levelSpreadDb, verified ? std::optional(fa.levelSpreadDb) : std::nullopt,
         "dB", 2);
    line(zh ? "总响应偏差 (RMS)" : "summed deviation (RMS)", fb.summed.averaged.rms,
         verified ? std::optional(fa.summed.averaged.rms) : std::nullopt, "dB", 2);
    for (const auto& t : tuning.channels) {
      c.term.Result("ch" + std::to_string(t.channel + 1) + "\t" + FormatDelayMs(t.delayCode, c.Lang()) + "\t" +
                    (t.phase ? (zh ? "反相" : "inverted") : (zh ? "正相" : "normal")) +
                    (t.flipped ? (zh ? "（已改）" : " (changed)") : "") + "\t" +
                    std::to_string(OutputGainDbFromCode(t.gainCode)) + " dB");
    }
    for (const auto& u : unfixed) c.term.Result(u);
  }
  return verified ? kExitOk : kExitFailure;
}

class AutoTunePart final : public MeasurePart {
 public:
  AutoTunePart(CLI::App& app, const std::function<void(CLI::App*)>& addCommon) {
    cmd_ = app.add_subcommand("autotune",
                              "measure every channel at each microphone position, then align, set polarity, "
                              "levels and EQ as one step and measure again");
    addCommon(cmd_);
    cmd_->add_option("--audio-out", o_.audioOut, "sound device that feeds the processor: number, name or part of it");
    cmd_->add_option("--audio-in", o_.audioIn, "sound device of the microphone: number, name or part of it");
    cmd_->add_option("--positions", o_.positions, "microphone positions (asks between them)")->check(CLI::Range(1, 16));
    cmd_->add_option("--channels", o_.channels, "output channels to tune, e.g. ch1,ch2,ch7 (default all)");
    cmd_->add_option("--target", o_.target, "flat, car or a measurement file");
    cmd_->add_option("--reference", o_.reference, "acoustic timing reference channel");
    cmd_->add_option("--loopback", o_.loopback,
                     "timing from a loopback: OUT,IN channels of the sound card wired to each other");
    cmd_->add_option("--max-boost", o_.maxBoostDb, "largest EQ boost in dB");
    cmd_->add_option("--length", o_.seconds, "sweep length in seconds")->check(CLI::Range(0.1, 30.0));
    cmd_->add_option("--rate", o_.rate, "sample rate: 44100, 48000 or 96000")
        ->check(CLI::IsMember({44100, 48000, 96000}));
    cmd_->add_option("--full-range", o_.fullRange,
                     "channels without a high-pass at 200 Hz or above that may still be played");
    cmd_->add_option("--out-dir", o_.outDir,
                     "write each response, impulse response and recording here, in before/ and after/");
    cmd_->add_flag("--json", o_.json, "print the results as JSON");
  }
  std::optional<int> Run(CommandContext& c) override {
    if (!cmd_->parsed()) return std::nullopt;
    return AutoTuneCommand(c, o_);
  }

 private:
  CLI::App* cmd_ = nullptr;
  AutoTuneOptions o_;
};

}  // namespace

std::unique_ptr<MeasurePart> AddAutoTune(CLI::App& app, const std::function<void(CLI::App*)>& addCommon) {
  return std::make_unique<AutoTunePart>(app, addCommon);
}

}  // namespace zelto::ctl
