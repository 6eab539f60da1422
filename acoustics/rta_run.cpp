#include "acoustics/rta_run.h"

#include <algorithm>
#include <cmath>

#include "edit/editor.h"

namespace zelto::acoustics {

namespace {

// One period of the noise is one transform of the analyser: 1.4 s at 48 kHz, bins 0.7 Hz apart,
// fine enough for 1/6-octave bands at 20 Hz.
constexpr std::size_t kNoisePeriod = 65536;
// What the microphone delivers waits here between polls: seconds, so a slow poll loses nothing.
constexpr std::size_t kRingFrames = std::size_t{1} << 18;
constexpr double kLowHz = 20.0;
constexpr double kHighHz = 20000.0;

double Gain(double dbfs) { return std::pow(10.0, dbfs / 20.0); }

}  // namespace

/// Loops the noise on one output channel and keeps the microphone's channel in a ring. Nothing
/// here allocates or locks once the stream runs.
class RtaRun::Callback final : public audio::StreamCallback {
 public:
  Callback(std::vector<float> noise, int outputChannels, int outputChannel, int inputChannels, int inputChannel)
      : noise_(std::move(noise)),
        outputChannels_(static_cast<std::size_t>(outputChannels)),
        outputChannel_(static_cast<std::size_t>(outputChannel)),
        inputChannels_(static_cast<std::size_t>(inputChannels)),
        inputChannel_(static_cast<std::size_t>(inputChannel)),
        ring_(kRingFrames, 0.0f) {}

  void Process(std::span<const float> input, std::span<float> output, std::size_t frames) override {
    if (!output.empty() && !silenced_.load(std::memory_order_relaxed)) {
      const float gain = gain_.load(std::memory_order_relaxed);
      for (std::size_t f = 0; f < frames; ++f) {
        output[f * outputChannels_ + outputChannel_] = gain * noise_[played_];
        if (++played_ == noise_.size()) played_ = 0;
      }
    }
    float peak = 0;
    const std::uint64_t at = written_.load(std::memory_order_relaxed);
    if (input.size() >= frames * inputChannels_) {
      for (std::size_t f = 0; f < frames; ++f) {
        const float v = input[f * inputChannels_ + inputChannel_];
        ring_[(at + f) % kRingFrames] = v;
        peak = std::max(peak, std::abs(v));
      }
      written_.store(at + frames, std::memory_order_release);
    }
    peak_.store(peak, std::memory_order_relaxed);
  }

  void SetGain(double gain) { gain_.store(static_cast<float>(gain), std::memory_order_relaxed); }
  void Silence() { silenced_.store(true); }
  float Peak() const { return peak_.load(std::memory_order_relaxed); }

  /// Appends to `out` what came since the last call (at most half the ring: the writer never
  /// reaches what is being read).
  void Drain(std::vector<float>& out) {
    out.clear();
    const std::uint64_t end = written_.load(std::memory_order_acquire);
    const std::uint64_t from = std::max(read_, end > kRingFrames / 2 ? end - kRingFrames / 2 : 0);
    for (std::uint64_t i = from; i < end; ++i) out.push_back(ring_[i % kRingFrames]);
    read_ = end;
  }

 private:
  const std::vector<float> noise_;
  const std::size_t outputChannels_, outputChannel_, inputChannels_, inputChannel_;
  std::size_t played_ = 0;  // audio thread only
  std::vector<float> ring_;
  std::atomic<std::uint64_t> written_{0};
  std::uint64_t read_ = 0;  // front end only
  std::atomic<float> gain_{0.0f};
  std::atomic<float> peak_{0.0f};
  std::atomic<bool> silenced_{false};
};

RtaRun::RtaRun(Editor& editor, audio::AudioSystem& audio, MeasurementGuard& guard, Language lang)
    : editor_(editor), audio_(audio), guard_(guard), lang_(lang) {}

RtaRun::~RtaRun() {
  StopSound();
  // Without a front end left to wait for the processor: the guard's record stays, and the next
  // start puts the routing back if this did not reach it.
  if (before_) RestoreRouting(editor_, *before_);
}

bool RtaRun::Start(const RtaPlan& plan, MeasurementHost& host, std::string* error) {
  const bool zh = lang_ == Language::Chinese;
  auto fail = [&](std::string text) {
    if (error) *error = std::move(text);
    return false;
  };
  if (Running()) return fail(zh ? "RTA 已在运行" : "the RTA is already running");
  if (plan.outputDevice == 0 || plan.inputDevice == 0)
    return fail(zh ? "请选择输出设备和麦克风" : "choose the output and the microphone");
  if (plan.bandsPerOctave != 3 && plan.bandsPerOctave != 6)
    return fail(zh ? "频带须为 1/3 或 1/6 倍频程" : "the bands must be 1/3 or 1/6 octave");
  if (plan.averages < 0 || plan.averages > 1000)
    return fail(zh ? "平均次数须为 0 到 1000" : "the number of averages must be 0 to 1000");
  // The sweep's own checks and safety rule: a channel that could be hurt plays no noise either.
  MeasurementPlan check;
  check.channels = plan.channels;
  check.sampleRate = plan.sampleRate;
  check.markedFullRange = plan.markedFullRange;
  std::string why;
  const auto channels = CheckPlan(editor_, check, lang_, &why);
  if (!why.empty()) return fail(why);
  for (const auto& c : channels) {
    if (!MayPlay(c.safety)) return fail("CH" + std::to_string(c.channel + 1) + ": " + c.refused);
  }

  PinkNoiseParams noiseParams;
  noiseParams.sampleRate = plan.sampleRate;
  noiseParams.period = kNoisePeriod;
  noiseParams.lowHz = kLowHz;
  noiseParams.highHz = std::min(kHighHz, 0.45 * plan.sampleRate);
  noiseParams.rmsDbfs = 0;  // as loud as its peaks allow; the callback's gain sets the level
  std::vector<float> noise = PeriodicPinkNoise(noiseParams);
  if (noise.empty()) return fail(zh ? "无法生成粉红噪声" : "the pink noise cannot be made");
  double sum = 0;
  for (float v : noise) sum += static_cast<double>(v) * v;
  noiseRms_ = std::sqrt(sum / static_cast<double>(noise.size()));

  RtaOptions options;
  options.sampleRate = plan.sampleRate;
  options.fftSize = kNoisePeriod;
  options.bandsPerOctave = plan.bandsPerOctave;
  options.lowHz = kLowHz;
  options.highHz = noiseParams.highHz;
  options.averaging = plan.averaging;
  options.averages = plan.averages;
  rta_ = std::make_unique<Rta>(options);
  calibration_ = plan.calibration;

  const RoutingSnapshot before = TakeRouting(editor_.engine());
  // The record is on disk before anything changes, or nothing changes.
  if (!guard_.Begin(before, &why)) return fail(why);
  before_ = before;
  std::vector<Route> routes;
  for (int ch : plan.channels) routes.push_back({ch, plan.inputSource});
  RouteTo(editor_, routes);
  if (!host.Settle()) {
    Stop(host);
    return fail(zh ? "与处理器的连接中断：下次连接时恢复设置"
                   : "the link to the processor was lost: the settings are put back at the next connect");
  }

  callback_ = std::make_unique<Callback>(std::move(noise), plan.outputChannel + 1, plan.outputChannel,
                                         plan.inputChannel + 1, plan.inputChannel);
  SetLevel(plan.levelDbfs);
  audio::StreamSpec request;
  request.outputDevice = plan.outputDevice;
  request.outputChannels = plan.outputChannel + 1;
  request.inputDevice = plan.inputDevice;
  request.inputChannels = plan.inputChannel + 1;
  request.sampleRate = plan.sampleRate;
  stream_ = audio_.Open(request, *callback_, &why);
  if (!stream_) {
    Stop(host);
    return fail(why);
  }
  return true;
}

RtaReading RtaRun::Poll() {
  RtaReading r;
  if (!callback_ || !rta_) return r;
  callback_->Drain(chunk_);
  if (!chunk_.empty()) {
    rta_->Add(chunk_);
    rta_->Update();
  }
  r.inputPeak = callback_->Peak();
  r.bands = rta_->Bands(calibration_ ? &*calibration_ : nullptr);
  r.updatesAveraged = rta_->UpdatesAveraged();
  return r;
}

void RtaRun::SetLevel(double dbfs) {
  if (!callback_ || !(noiseRms_ > 0)) return;
  const double level = std::clamp(dbfs, kRtaMinLevelDbfs, kRtaMaxLevelDbfs);
  callback_->SetGain(std::min(Gain(level) / noiseRms_, 1.0));
  ResetAverage();
}

void RtaRun::ResetAverage() {
  if (!rta_) return;
  // Only the average starts again; the sound already heard stays in the analyser's window.
  rta_->ResetAverage();
}

void RtaRun::StopSound() {
  if (callback_) callback_->Silence();
  if (stream_) stream_->Stop();
  stream_.reset();
}

bool RtaRun::Stop(MeasurementHost& host) {
  StopSound();
  if (!before_) return true;
  RestoreRouting(editor_, *before_);
  const bool restored = host.Settle();
  if (restored) {
    guard_.End();
    before_.reset();
  }
  return restored;
}

}  // namespace zelto::acoustics
