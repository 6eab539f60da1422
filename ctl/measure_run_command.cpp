#include "ctl/measure_run_command.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <variant>

#include "core/channel_label.h"
#include "acoustics/audio/audio_device.h"
#include "acoustics/calibration.h"
#include "acoustics/measurement_routing.h"
#include "acoustics/measurement_run.h"
#include "core/platform.h"
#include "ctl/ctl.h"
#include "ctl/session.h"

namespace zelto::ctl {

namespace {

using acoustics::MeasurementPlan;

struct MeasureRunOptions {
  std::string channels;  // "ch1,ch3"
  std::string audioOut;
  std::string audioIn;
  std::string reference;
  std::string calibration;
  std::string outDir;
  int positions = 1;
  bool json = false;
  int rate = 48000;
  double seconds = acoustics::SweepOptions{}.seconds;
  double maxLevelDbfs = -6;
  int input = 1;          // processor input the sound card feeds, 1..12
  int outChannel = 1;     // of the output device, 1-based
  int inChannel = 1;      // of the input device, 1-based
  std::string loopback;   // "OUT,IN" channels of the sound card, 1-based
  std::string fullRange;  // channels marked full-range or bass
  int referenceInput = 2;
  int referenceOutChannel = 2;
};

constexpr auto kSettleLimit = std::chrono::seconds(10);

int Fail(CommandContext& c, const std::string& text, int status = kExitFailure) {
  c.view.Fail(text);
  return status;
}

std::string Fixed(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace

/// "ch1,ch3" or "1,3" into 0-based channels; nothing for anything else.
std::optional<std::vector<int>> ParseChannels(const std::string& text) {
  std::vector<int> channels;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) {
    const auto parsed = ParseChannelLabel(part);
    if (!parsed) return std::nullopt;
    const int ch = *parsed;
    if (std::find(channels.begin(), channels.end(), ch) != channels.end()) return std::nullopt;
    channels.push_back(ch);
  }
  if (channels.empty()) return std::nullopt;
  return channels;
}

std::unique_ptr<audio::AudioSystem> OpenAudio(CommandContext& c) {
  std::string error;
  auto system = audio::MakeAudioSystem(&error, {}, c.Lang());
  if (!system) c.view.Fail(error);
  return system;
}

TerminalHost::TerminalHost(DeviceSession& session, Terminal& term, audio::CancelFlag& cancel)
    : session_(session), term_(term), cancel_(cancel) {}

bool TerminalHost::Settle() {
  return session_.engine().Connected() && session_.WaitUntilSent(kSettleLimit) && session_.engine().Connected();
}

bool TerminalHost::MoveMicrophone(int position, int count) {
  const bool zh = term_.Lang() == Language::Chinese;
  term_.Message(zh ? "请把麦克风移到位置 " + std::to_string(position + 1) + "/" + std::to_string(count) +
                         "，然后按回车（输入 q 回车则停止）"
                   : "Move the microphone to position " + std::to_string(position + 1) + " of " +
                         std::to_string(count) + ", then press Enter (q and Enter to stop)");
  std::string line;
  if (!std::getline(std::cin, line)) return false;
  return line != "q" && line != "Q";
}

void TerminalHost::Report(const acoustics::Progress& p) {
  if (session_.InterruptRequested()) cancel_.Cancel();
  const int permille = static_cast<int>(std::lround(p.done * 1000));
  if (!term_.BarShown()) term_.StartBar(1000);
  term_.SetBar(permille);
}

void TerminalHost::Rejected(int channel, int position, const std::string& reason) {
  if (term_.BarShown()) term_.EndBar();
  const bool zh = term_.Lang() == Language::Chinese;
  term_.Message("ch" + std::to_string(channel + 1) + (zh ? "，位置 " : ", position ") + std::to_string(position + 1) +
                ": " + reason);
}

void TerminalHost::Done() {
  if (term_.BarShown()) term_.EndBar();
}

namespace {

CLI::App* AddOptions(CLI::App* measure, MeasureRunOptions& o) {
  measure->add_option("--channel", o.channels, "output channels to measure, e.g. ch1,ch3");
  measure->add_option("--audio-out", o.audioOut, "sound device that feeds the processor: number, name or part of it");
  measure->add_option("--audio-in", o.audioIn, "sound device of the microphone: number, name or part of it");
  measure->add_option("--reference", o.reference,
                      "acoustic timing reference: this channel plays a short high sweep before each sweep "
                      "(fed from --reference-input through the sound card's --reference-out-channel)");
  measure->add_option("--calibration", o.calibration, "the microphone's calibration file");
  measure->add_option("--positions", o.positions, "microphone positions to average (asks between them)")
      ->check(CLI::Range(1, 16));
  measure->add_option("--out-dir", o.outDir, "write each response (REW text), impulse response and recording here");
  measure->add_flag("--json", o.json, "print the results as JSON");
  measure->add_option("--rate", o.rate, "sample rate: 44100, 48000 or 96000")
      ->check(CLI::IsMember({44100, 48000, 96000}));
  measure->add_option("--length", o.seconds, "sweep length in seconds (default 2)")->check(CLI::Range(0.1, 30.0));
  measure->add_option("--max-level", o.maxLevelDbfs, "highest sweep level in dBFS (the level check starts at -30)")
      ->check(CLI::Range(-30.0, 0.0));
  measure->add_option("--input", o.input, "processor input (mix source 1..12) the sound card feeds")
      ->check(CLI::Range(1, 12));
  measure->add_option("--out-channel", o.outChannel, "channel of the output device, from 1")->check(CLI::Range(1, 64));
  measure->add_option("--in-channel", o.inChannel, "channel of the microphone's device, from 1")
      ->check(CLI::Range(1, 64));
  measure->add_option("--loopback", o.loopback,
                      "timing from a loopback: OUT,IN channels of the sound card wired to each other");
  measure->add_option("--full-range", o.fullRange,
                      "channels without a high-pass at 200 Hz or above that may still be played (full-range or bass)");
  measure->add_option("--reference-input", o.referenceInput, "processor input the reference sweep comes in on")
      ->check(CLI::Range(1, 12));
  measure
      ->add_option("--reference-out-channel", o.referenceOutChannel,
                   "channel of the output device that plays the reference sweep")
      ->check(CLI::Range(1, 64));
  return measure->add_subcommand("devices",
                                 "list the sound devices: number, name, input and output channels (tab-separated)");
}

int MeasureDevicesCommand(CommandContext& c) {
  auto system = OpenAudio(c);
  if (!system) return kExitFailure;
  for (const auto& d : system->Devices()) {
    c.term.Result(std::to_string(d.number) + "\t" + d.name + "\t" + std::to_string(d.inputs) + "\t" +
                  std::to_string(d.outputs));
  }
  return kExitOk;
}

int MeasureRunCommand(CommandContext& c, const MeasureRunOptions& o) {
  const bool zh = c.Lang() == Language::Chinese;
  if (o.channels.empty() || o.audioOut.empty() || o.audioIn.empty()) {
    return Fail(c,
                zh ? "measure 需要 --channel、--audio-out 和 --audio-in（或 measure devices）"
                   : "measure needs --channel, --audio-out and --audio-in (or: measure devices)",
                kExitUsage);
  }
  MeasurementPlan plan;
  const auto channels = ParseChannels(o.channels);
  if (!channels)
    return Fail(c, "--channel: " + o.channels + (zh ? " 不是声道列表" : " is not a list of channels ch1..ch8"),
                kExitUsage);
  plan.channels = *channels;
  if (!o.reference.empty()) {
    const auto ref = ParseChannels(o.reference);
    if (!ref || ref->size() != 1)
      return Fail(c, "--reference: " + o.reference + (zh ? " 不是声道" : " is not one channel"), kExitUsage);
    plan.referenceChannel = ref->front();
  }
  if (!o.fullRange.empty()) {
    const auto marked = ParseChannels(o.fullRange);
    if (!marked)
      return Fail(c, "--full-range: " + o.fullRange + (zh ? " 不是声道列表" : " is not a list of channels"),
                  kExitUsage);
    for (int ch : *marked) plan.markedFullRange[static_cast<std::size_t>(ch)] = true;
  }
  if (!o.loopback.empty()) {
    int out = 0;
    int in = 0;
    char comma = 0;
    std::istringstream s(o.loopback);
    if (!(s >> out >> comma >> in) || comma != ',' || out < 1 || in < 1 || !s.eof()) {
      return Fail(c, "--loopback: " + o.loopback + (zh ? " 应为 OUT,IN" : " must be OUT,IN"), kExitUsage);
    }
    plan.loopbackOut = out - 1;
    plan.loopbackIn = in - 1;
  }
  plan.positions = o.positions;
  plan.inputSource = o.input - 1;
  plan.referenceSource = o.referenceInput - 1;
  plan.referenceOutput = o.referenceOutChannel - 1;
  plan.outputChannel = o.outChannel - 1;
  plan.inputChannel = o.inChannel - 1;
  plan.sampleRate = o.rate;
  plan.sweep.seconds = o.seconds;
  plan.sweep.maxLevelDbfs = o.maxLevelDbfs;
  plan.sweep.endHz = std::min(plan.sweep.endHz, 0.45 * o.rate);
  plan.outDir = o.outDir;

  auto system = OpenAudio(c);
  if (!system) return kExitFailure;
  const auto devices = system->Devices();
  const auto out = audio::FindDevice(devices, o.audioOut, audio::Direction::Output, c.Lang());
  if (!out.device) return Fail(c, "--audio-out: " + out.error);
  const auto in = audio::FindDevice(devices, o.audioIn, audio::Direction::Input, c.Lang());
  if (!in.device) return Fail(c, "--audio-in: " + in.error);
  plan.outputDevice = out.device->number;
  plan.inputDevice = in.device->number;

  if (!o.calibration.empty()) {
    auto cal = acoustics::ReadCalibrationFile(o.calibration);
    if (const auto* e = std::get_if<acoustics::CalibrationError>(&cal)) {
      return Fail(c, acoustics::CalibrationErrorText(*e, o.calibration, c.Lang()));
    }
    plan.calibration = std::get<acoustics::MicCalibration>(std::move(cal));
  }

  const auto folder = StateFolder();
  if (folder.empty())
    return Fail(c, zh ? "找不到保存测量状态的文件夹" : "no folder to keep the measurement's record in");
  acoustics::MeasurementGuard guard((folder / acoustics::kGuardFileName).string());

  auto session = DeviceSession::Open(c.deviceUrl, c.view, c.usbWrite);
  if (!session || !session->Connect()) return kExitFailure;
  // A measurement that was cut off (a crash, a lost link) left outputs muted: that comes first.
  if (acoustics::RestoreLeftover(session->editor(), guard)) {
    if (!session->WaitUntilSent(kSettleLimit)) return kExitFailure;
    guard.End();
    c.term.Message(zh ? "已恢复上次中断的测量所更改的设置"
                      : "put back the settings an interrupted measurement had changed");
  }

  audio::CancelFlag cancel;
  TerminalHost host(*session, c.term, cancel);
  acoustics::MeasurementRun run(session->editor(), *system, guard, c.Lang());
  const auto result = run.Run(plan, host, cancel);
  host.Done();
  if (!result.error.empty() && result.channels.empty()) return Fail(c, result.error);

  bool allMeasured = true;
  nlohmann::json json;
  json["channels"] = nlohmann::json::array();
  for (const auto& r : result.channels) {
    allMeasured = allMeasured && r.Measured();
    const std::string name = "ch" + std::to_string(r.channel + 1);
    if (o.json) {
      nlohmann::json j;
      j["channel"] = name;
      if (r.Measured()) {
        j["arrival_ms"] = std::round(r.arrivalMs * 1e4) / 1e4;
        j["polarity"] = r.inverted ? "inverted" : "normal";
        j["level_dbfs"] = r.levelDbfs;
        j["peak_dbfs"] = std::round(r.peakDbfs * 100) / 100;
        j["positions"] = r.positions.size();
      } else {
        j["refused"] = r.refused.empty() ? std::string(zh ? "未测量" : "not measured") : r.refused;
      }
      j["files"] = r.files;
      json["channels"].push_back(j);
      continue;
    }
    if (!r.Measured()) {
      c.term.Result(name + "\t" + (r.refused.empty() ? std::string(zh ? "未测量" : "not measured") : r.refused));
      continue;
    }
    std::string line = name + "\t" + Fixed(r.arrivalMs, 3) + " ms\t" + (r.inverted ? "inverted" : "normal") + "\t" +
                       Fixed(r.levelDbfs, 0) + " dBFS";
    for (const auto& f : r.files) line += "\t" + f;
    c.term.Result(line);
  }
  if (o.json) {
    json["cancelled"] = result.cancelled;
    json["restored"] = result.restored;
    if (plan.referenceChannel) json["reference"] = "ch" + std::to_string(*plan.referenceChannel + 1);
    c.term.Result(json.dump(2));
  }
  if (!result.error.empty()) c.view.Fail(result.error);
  if (result.linkLost) {
    c.view.Fail(zh ? "与处理器的连接中断：下次连接时会恢复测量前的设置"
                   : "the link to the processor was lost: the settings from before the measurement are put back at "
                     "the next connect");
    return kExitFailure;
  }
  if (result.cancelled) {
    c.term.Message(zh ? "测量已取消，设置已恢复" : "measurement cancelled; every setting it changed is back");
    return kExitFailure;
  }
  return allMeasured && result.error.empty() ? kExitOk : kExitFailure;
}

/// The group's own options (the live measurement) and its `devices` command.
class MeasureRun final : public MeasurePart {
 public:
  explicit MeasureRun(MeasureCommandGroup& group) : group_(group.Group()) {
    devices_ = AddOptions(group_, o_);
    group.AddCommon()(devices_);
  }
  std::optional<int> Run(CommandContext& c) override {
    if (devices_->parsed()) return MeasureDevicesCommand(c);
    // Without a subcommand, any of the measurement's options makes it a measurement.
    for (const char* name : {"--channel", "--audio-out", "--audio-in"}) {
      if (group_->count(name) > 0) return MeasureRunCommand(c, o_);
    }
    return std::nullopt;
  }

 private:
  CLI::App* group_;
  CLI::App* devices_ = nullptr;
  MeasureRunOptions o_;
};

}  // namespace

void AddMeasureRun(MeasureCommandGroup& group) { group.Add(std::make_unique<MeasureRun>(group)); }

}  // namespace zelto::ctl
