#include "ctl/measure_commands.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <string>

#include "ctl/ctl.h"

#ifdef ZELTO_HAVE_ACOUSTICS
#include "acoustics/analysis.h"
#include "acoustics/calibration.h"
#include "acoustics/sweep.h"
#include "acoustics/wav_file.h"
#endif

namespace zelto::ctl {

namespace {

std::string T(Language lang, const char* en, const char* zh) { return lang == Language::Chinese ? zh : en; }

}  // namespace

MeasureCommandGroup::MeasureCommandGroup(CLI::App& app, const std::function<void(CLI::App*)>& addCommon)
    : addCommon_(addCommon) {
  group_ = app.add_subcommand("measure", "acoustic measurement: sweeps, recordings, responses, arrival times");
  addCommon_(group_);
#ifndef ZELTO_HAVE_ACOUSTICS
  // Whatever follows is refused with the reason rather than as an unknown option.
  group_->allow_extras();
  group_->prefix_command();
#endif
}

std::optional<int> MeasureCommandGroup::Run(CommandContext& c) {
  if (!group_->parsed()) return std::nullopt;
#ifndef ZELTO_HAVE_ACOUSTICS
  c.view.Fail(T(c.Lang(),
                "this zeltoctl was built without acoustic measurement (FFTW3 and libsndfile were not found when it "
                "was built)",
                "此 zeltoctl 构建时未包含声学测量（构建时未找到 FFTW3 和 libsndfile）"));
  return kExitFailure;
#else
  for (const auto& part : parts_)
    if (auto status = part->Run(c)) return status;
  c.term.Message(group_->help());
  return kExitUsage;
#endif
}

#ifndef ZELTO_HAVE_ACOUSTICS

void AddSweepAndAnalyse(MeasureCommandGroup&) {}

#else

namespace {

using namespace zelto::acoustics;

constexpr double kDefaultTailSeconds = 1.0;

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

struct SweepOptions {
  std::string out;
  int rate = 48000;
  double start = kDefaultStartHz;
  double end = 0;  // DefaultEndHz at the rate
  double length = 2.0;
  double level = -6.0;
  double tail = kDefaultTailSeconds;
};

struct AnalyseOptions {
  std::string recording;
  std::string sweep;
  std::string calibration;
  std::string out;
  std::string ir;
  bool json = false;
  int micChannel = 1;
  int loopbackChannel = 0;
  double windowMs = 500.0;
  // The sweep that was played, when no file of it is given.
  double start = kDefaultStartHz;
  double end = 0;  // DefaultEndHz at the rate
  double length = 2.0;
};

void AddSweepShape(CLI::App* cmd, double& start, double& end, double& length) {
  cmd->add_option("--start", start, "start frequency in Hz (default 10)");
  cmd->add_option("--end", end, "end frequency in Hz (default 0.45 x the rate, at most 24000)");
  cmd->add_option("--length", length, "length of the sweep in seconds (default 2)");
}

class SweepAndAnalyse final : public MeasurePart {
 public:
  explicit SweepAndAnalyse(MeasureCommandGroup& group) {
    CLI::App* g = group.Group();
    sweep_ = g->add_subcommand("sweep", "write the measurement sweep as a WAV file, to play where Zelto cannot");
    group.AddCommon()(sweep_);
    sweep_->add_option("--out", s_.out, "the WAV file to write (24-bit)")->required();
    sweep_->add_option("--rate", s_.rate, "sample rate in Hz (default 48000)");
    AddSweepShape(sweep_, s_.start, s_.end, s_.length);
    sweep_->add_option("--level", s_.level, "peak level in dBFS (default -6)");
    sweep_->add_option("--tail", s_.tail, "seconds of silence after the sweep, for the decay (default 1)");

    analyse_ = g->add_subcommand(
        "analyse", "analyse a recording of the sweep: arrival time, polarity, level and the response in REW text");
    analyse_->alias("analyze");
    group.AddCommon()(analyse_);
    analyse_->add_option("--recording", a_.recording, "the recording (WAV, or any file libsndfile reads)")->required();
    analyse_->add_option("--sweep", a_.sweep,
                         "the sweep file that was played, its range given by --start and --end (default: the "
                         "sweep `measure sweep` writes with the --start, --end and --length given here, at the "
                         "recording's rate)");
    AddSweepShape(analyse_, a_.start, a_.end, a_.length);
    analyse_->add_option("--calibration", a_.calibration, "the microphone's calibration file (0 or 90 degrees)");
    analyse_->add_option("--out", a_.out, "the response to write as REW text (frequency, SPL, phase)")->required();
    analyse_->add_option("--ir", a_.ir, "also write the impulse response as a WAV file");
    analyse_->add_flag("--json", a_.json, "JSON for scripts instead of lines");
    analyse_->add_option("--mic-channel", a_.micChannel, "the recording's channel with the microphone (default 1)")
        ->check(CLI::Range(1, kMaxChannels));
    analyse_
        ->add_option("--loopback-channel", a_.loopbackChannel,
                     "a channel that recorded the output itself: arrival times are measured from it")
        ->check(CLI::Range(1, kMaxChannels));
    analyse_->add_option("--window", a_.windowMs, "right side of the time window in ms (default 500, as for a car)")
        ->check(CLI::Range(1.0, 5000.0));
  }

  std::optional<int> Run(CommandContext& c) override {
    if (sweep_->parsed()) return RunSweep(c);
    if (analyse_->parsed()) return RunAnalyse(c);
    return std::nullopt;
  }

 private:
  int RunSweep(CommandContext& c) {
    SweepParams p;
    p.sampleRate = s_.rate;
    p.startHz = s_.start;
    p.endHz = s_.end > 0 ? s_.end : DefaultEndHz(p.sampleRate);
    p.seconds = s_.length;
    p.levelDbfs = s_.level;
    p.tailSeconds = s_.tail;
    if (const auto why = CheckSweep(p, c.Lang())) {
      c.view.Fail(*why);
      return kExitUsage;
    }
    if (const auto why =
            WriteWav(s_.out, MonoAudio(p.sampleRate, ExponentialSweep(p)), SampleFormat::Pcm24, c.Lang())) {
      c.view.Fail(*why);
      return kExitFailure;
    }
    c.term.Result(T(c.Lang(), "wrote ", "已写入 ") + s_.out);
    return kExitOk;
  }

  int RunAnalyse(CommandContext& c) {
    const Language lang = c.Lang();
    const AudioOrError read = ReadSoundFile(a_.recording, lang);
    if (const auto* why = std::get_if<std::string>(&read)) return c.view.Fail(*why), kExitFailure;
    const Audio& rec = std::get<Audio>(read);
    if (a_.micChannel > rec.channels || a_.loopbackChannel > rec.channels) {
      c.view.Fail(a_.recording + ": " + T(lang, "the recording has only ", "录音只有 ") + std::to_string(rec.channels) +
                  T(lang, " channel(s)", " 个声道"));
      return kExitUsage;
    }
    if (a_.loopbackChannel == a_.micChannel) {
      c.view.Fail(T(lang, "the loopback must be another channel than the microphone", "回环声道不能与麦克风声道相同"));
      return kExitUsage;
    }

    // The sweep: the file given, or the one `measure sweep` makes with these settings.
    std::vector<float> sweep;
    AnalysisOptions options;
    std::string sweepName;
    if (!a_.sweep.empty()) {
      const AudioOrError s = ReadSoundFile(a_.sweep, lang);
      if (const auto* why = std::get_if<std::string>(&s)) return c.view.Fail(*why), kExitFailure;
      const Audio& sa = std::get<Audio>(s);
      if (sa.sampleRate != rec.sampleRate) {
        Rejection r;
        r.reason = Rejection::Reason::RateMismatch;
        r.rate = rec.sampleRate;
        r.expectedRate = sa.sampleRate;
        return c.view.Fail(a_.recording + ": " + r.Text(lang)), kExitFailure;
      }
      sweep = ChannelOf(sa, 0);
      while (!sweep.empty() && sweep.back() == 0.0f) sweep.pop_back();
      // The file's range is named by --start and --end (those `measure sweep` uses by default);
      // its length gives where its harmonic products land, which the window must not reach.
      SweepParams p;
      p.sampleRate = rec.sampleRate;
      p.startHz = a_.start;
      p.endHz = std::min(a_.end > 0 ? a_.end : DefaultEndHz(rec.sampleRate), 0.45 * rec.sampleRate);
      p.seconds = static_cast<double>(sweep.size()) / rec.sampleRate;
      if (p.startHz > 0 && p.endHz > p.startHz) options = OptionsFor(p);
      sweepName = a_.sweep;
    } else {
      SweepParams p;
      p.sampleRate = rec.sampleRate;
      p.startHz = a_.start;
      p.endHz = a_.end > 0 ? a_.end : DefaultEndHz(p.sampleRate);
      p.seconds = a_.length;
      if (const auto why = CheckSweep(p, lang)) return c.view.Fail(*why), kExitUsage;
      sweep = ExponentialSweep(p);
      options = OptionsFor(p);
      sweepName = Fixed(p.startHz, 0) + "-" + Fixed(p.endHz, 0) + " Hz, " + Fixed(p.seconds, 2) + " s";
    }
    if (sweep.empty()) return c.view.Fail(a_.sweep + ": " + T(lang, "the sweep is silent", "扫频无声")), kExitFailure;

    MicCalibration cal;
    if (!a_.calibration.empty()) {
      auto parsed = ReadCalibrationFile(a_.calibration);
      if (const auto* e = std::get_if<CalibrationError>(&parsed))
        return c.view.Fail(CalibrationErrorText(*e, a_.calibration, lang)), kExitFailure;
      cal = std::get<MicCalibration>(std::move(parsed));
      options.calibration = &cal;
    }
    options.window.rightMs = a_.windowMs;

    const std::vector<float> mic = ChannelOf(rec, a_.micChannel - 1);
    const AnalysisOrRejection result =
        a_.loopbackChannel > 0
            ? AnalyseWithLoopback(mic, ChannelOf(rec, a_.loopbackChannel - 1), sweep, rec.sampleRate, options)
            : Analyse(mic, sweep, rec.sampleRate, options);
    if (const auto* r = std::get_if<Rejection>(&result))
      return c.view.Fail(a_.recording + ": " + r->Text(lang)), kExitFailure;
    const Analysis& a = std::get<Analysis>(result);

    const std::string note = "Source: " + a_.recording + " (sweep " + sweepName + ")\nArrival " +
                             Fixed(a.arrivalMs, 3) + " ms, polarity " +
                             (a.arrival.polarity < 0 ? "reversed" : "normal") + ", window -" +
                             Fixed(options.window.leftMs, 1) + "/+" + Fixed(options.window.rightMs, 1) + " ms" +
                             (options.calibration ? "\nCalibration: " + a_.calibration : std::string());
    if (const auto why = WriteRewText(a_.out, a.response, note, lang)) return c.view.Fail(*why), kExitFailure;
    if (!a_.ir.empty()) {
      if (const auto why = WriteWav(a_.ir, MonoAudio(rec.sampleRate, a.ir), SampleFormat::Float32, lang))
        return c.view.Fail(*why), kExitFailure;
    }
    Print(c, a, rec.sampleRate);
    return kExitOk;
  }

  void Print(CommandContext& c, const Analysis& a, int rate) {
    const Language lang = c.Lang();
    if (a_.json) {
      nlohmann::ordered_json j;
      j["arrival_ms"] = a.arrivalMs;
      j["arrival_samples"] = a.arrival.samples;
      j["distance_cm"] = a.DistanceCm();
      j["polarity"] = a.arrival.polarity;
      j["reference"] = a_.loopbackChannel > 0 ? "loopback" : "none";
      j["sample_rate"] = rate;
      j["peak_dbfs"] = a.levels.peakDbfs;
      j["ir_peak_db"] = a.irPeakDb;
      j["snr_db"] = a.levels.snrDb ? nlohmann::ordered_json(*a.levels.snrDb) : nlohmann::ordered_json();
      j["noise_floor_dbfs"] =
          a.levels.noiseDbfs ? nlohmann::ordered_json(*a.levels.noiseDbfs) : nlohmann::ordered_json();
      j["response_points"] = a.response.hz.size();
      j["ir_start_ms"] = a.irStartSamples * 1000.0 / rate;
      nlohmann::ordered_json files = nlohmann::ordered_json::array();
      files.push_back(a_.out);
      if (!a_.ir.empty()) files.push_back(a_.ir);
      j["files"] = files;
      c.term.Result(j.dump(2));
      return;
    }
    c.term.Result(T(lang, "arrival: ", "到达时间：") + Fixed(a.arrivalMs, 3) + " ms (" + Fixed(a.arrival.samples, 2) +
                  T(lang, " samples at ", " 个采样，") + std::to_string(rate) + " Hz, " + Fixed(a.DistanceCm(), 1) +
                  " cm)" + (a_.loopbackChannel > 0 ? T(lang, " from the loopback", "（相对回环）") : std::string()));
    c.term.Result(T(lang, "polarity: ", "极性：") +
                  (a.arrival.polarity < 0 ? T(lang, "reversed", "反相") : T(lang, "normal", "正相")));
    c.term.Result(T(lang, "peak level: ", "峰值电平：") + Fixed(a.levels.peakDbfs, 1) + " dBFS");
    if (a.levels.snrDb)
      c.term.Result(T(lang, "signal to noise: ", "信噪比：") + Fixed(*a.levels.snrDb, 1) + " dB (" +
                    T(lang, "noise floor ", "噪声 ") + Fixed(a.levels.noiseDbfs.value_or(-300), 1) + " dBFS)");
    else
      c.term.Result(
          T(lang, "signal to noise: not known (no silence in the recording)", "信噪比：未知（录音中没有静音段）"));
    c.term.Result(T(lang, "wrote ", "已写入 ") + a_.out);
    if (!a_.ir.empty()) c.term.Result(T(lang, "wrote ", "已写入 ") + a_.ir);
  }

  CLI::App* sweep_ = nullptr;
  CLI::App* analyse_ = nullptr;
  SweepOptions s_;
  AnalyseOptions a_;
};

}  // namespace

void AddSweepAndAnalyse(MeasureCommandGroup& group) { group.Add(std::make_unique<SweepAndAnalyse>(group)); }

#endif

}  // namespace zelto::ctl
