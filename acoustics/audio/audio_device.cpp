#include "acoustics/audio/audio_device.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace zelto::audio {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(c < 0x80 ? std::tolower(c) : c); });
  return out;
}

bool HasChannels(const DeviceInfo& d, Direction direction) {
  return direction == Direction::Input ? d.inputs > 0 : d.outputs > 0;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

}  // namespace

DeviceChoice FindDevice(std::span<const DeviceInfo> devices, std::string_view text, Direction direction,
                        Language lang) {
  const bool zh = lang == Language::Chinese;
  const std::string what = direction == Direction::Input ? (zh ? "输入" : "input") : (zh ? "输出" : "output");
  DeviceChoice choice;
  if (text.empty()) {
    choice.error = zh ? "未指定音频设备" : "no audio device given";
    return choice;
  }
  const bool isNumber = std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (isNumber && text.size() < 6) {
    const int number = std::stoi(std::string(text));
    for (const auto& d : devices) {
      if (d.number != number) continue;
      if (!HasChannels(d, direction)) {
        choice.error = zh ? "音频设备 " + std::string(text) + "（" + d.name + "）没有" + what + "声道"
                          : "audio device " + std::string(text) + " (" + d.name + ") has no " + what + " channels";
        return choice;
      }
      choice.device = d;
      return choice;
    }
    // A number that is no device's may still be part of a name ("hw:1").
  }
  const std::string wanted = Lower(text);
  std::vector<const DeviceInfo*> exact;
  std::vector<const DeviceInfo*> partial;
  for (const auto& d : devices) {
    if (!HasChannels(d, direction)) continue;
    const std::string name = Lower(d.name);
    if (name == wanted) exact.push_back(&d);
    if (name.find(wanted) != std::string::npos) partial.push_back(&d);
  }
  const auto& found = exact.size() == 1 ? exact : partial;
  if (found.size() == 1) {
    choice.device = *found.front();
    return choice;
  }
  if (found.empty()) {
    choice.error =
        zh ? "没有名称或编号为 " + Quoted(text) + " 的" + what + "音频设备（zeltoctl measure devices 列出设备）"
           : "no audio " + what + " device is named or numbered " + Quoted(text) +
                 " (zeltoctl measure devices lists them)";
    return choice;
  }
  std::string names;
  for (const auto* d : found) names += (names.empty() ? "" : ", ") + std::to_string(d->number) + " " + Quoted(d->name);
  choice.error = zh ? Quoted(text) + " 对应多个" + what + "音频设备：" + names
                    : Quoted(text) + " fits several audio " + what + " devices: " + names;
  return choice;
}

// ---- play and record --------------------------------------------------------------------------

namespace {

/// Feeds the signals block by block and keeps what the input delivers. Everything it touches on
/// the audio thread is allocated before the stream starts.
class PlayRecordCallback : public StreamCallback {
 public:
  PlayRecordCallback(const PlayRecordSpec& request, int outputChannels, int inputChannels, std::size_t leadFrames,
                     std::size_t totalFrames)
      : request_(request),
        outputChannels_(outputChannels),
        inputChannels_(inputChannels),
        leadFrames_(leadFrames),
        totalFrames_(totalFrames) {
    recorded_.assign(request.inputChannels.size(), std::vector<float>(totalFrames, 0.0f));
  }

  void Process(std::span<const float> input, std::span<float> output, std::size_t frames) override {
    const std::size_t at = position_.load(std::memory_order_relaxed);
    if (!silenced_.load(std::memory_order_relaxed)) {
      for (const auto& signal : request_.outputs) {
        for (std::size_t f = 0; f < frames; ++f) {
          const std::size_t frame = at + f;
          if (frame < leadFrames_ || frame - leadFrames_ >= signal.samples.size()) continue;
          output[f * static_cast<std::size_t>(outputChannels_) + static_cast<std::size_t>(signal.channel)] =
              signal.samples[frame - leadFrames_];
        }
      }
    }
    float peak = 0;
    for (std::size_t i = 0; i < request_.inputChannels.size(); ++i) {
      const auto ch = static_cast<std::size_t>(request_.inputChannels[i]);
      auto& out = recorded_[i];
      for (std::size_t f = 0; f < frames && at + f < totalFrames_; ++f) {
        const float v = input[f * static_cast<std::size_t>(inputChannels_) + ch];
        out[at + f] = v;
        peak = std::max(peak, std::abs(v));
      }
    }
    peak_.store(peak, std::memory_order_relaxed);
    position_.store(at + frames, std::memory_order_release);
  }

  void Silence() { silenced_.store(true); }
  std::size_t Position() const { return position_.load(std::memory_order_acquire); }
  float Peak() const { return peak_.load(std::memory_order_relaxed); }
  std::vector<std::vector<float>> Take() { return std::move(recorded_); }

 private:
  const PlayRecordSpec& request_;
  const int outputChannels_;
  const int inputChannels_;
  const std::size_t leadFrames_;
  const std::size_t totalFrames_;
  std::vector<std::vector<float>> recorded_;
  std::atomic<std::size_t> position_{0};
  std::atomic<float> peak_{0};
  std::atomic<bool> silenced_{false};
};

}  // namespace

Recording PlayAndRecord(AudioSystem& system, const PlayRecordSpec& request, const CancelFlag& cancel,
                        const PlayProgress& progress) {
  Recording rec;
  rec.sampleRate = request.sampleRate;
  if (request.inputChannels.empty()) {
    rec.error = "nothing to record";
    return rec;
  }
  int outputChannels = 0;
  std::size_t longest = 0;
  for (const auto& s : request.outputs) {
    if (s.channel < 0) {
      rec.error = "output channel " + std::to_string(s.channel + 1) + " does not exist";
      return rec;
    }
    outputChannels = std::max(outputChannels, s.channel + 1);
    longest = std::max(longest, s.samples.size());
  }
  const int inputChannels = *std::max_element(request.inputChannels.begin(), request.inputChannels.end()) + 1;
  if (*std::min_element(request.inputChannels.begin(), request.inputChannels.end()) < 0) {
    rec.error = "input channel does not exist";
    return rec;
  }
  if (request.outputDevice != 0 && outputChannels == 0) outputChannels = 1;

  const auto lead = static_cast<std::size_t>(std::lround(std::max(0.0, request.leadSeconds) * request.sampleRate));
  const auto tail = static_cast<std::size_t>(std::lround(std::max(0.0, request.tailSeconds) * request.sampleRate));
  const std::size_t total = lead + longest + tail;
  rec.leadFrames = lead;

  PlayRecordCallback callback(request, outputChannels, inputChannels, lead, total);
  StreamSpec streamSpec;
  streamSpec.outputDevice = outputChannels > 0 ? request.outputDevice : 0;
  streamSpec.outputChannels = outputChannels;
  streamSpec.inputDevice = request.inputDevice;
  streamSpec.inputChannels = inputChannels;
  streamSpec.sampleRate = request.sampleRate;
  streamSpec.blockFrames = request.blockFrames;
  auto stream = system.Open(streamSpec, callback, &rec.error);
  if (!stream) return rec;

  // A stream that stops delivering (a device pulled out) must not hang the measurement: give up
  // when no block arrived for this long.
  constexpr auto kStall = std::chrono::seconds(3);
  auto lastMove = std::chrono::steady_clock::now();
  std::size_t lastPosition = 0;
  while (true) {
    if (cancel.Cancelled()) {
      callback.Silence();
      rec.cancelled = true;
      break;
    }
    const std::size_t at = callback.Position();
    if (progress) progress(std::min(1.0, static_cast<double>(at) / static_cast<double>(total)), callback.Peak());
    if (at >= total) break;
    const auto now = std::chrono::steady_clock::now();
    if (at != lastPosition) {
      lastPosition = at;
      lastMove = now;
    } else if (now - lastMove > kStall || !stream->Running()) {
      callback.Silence();
      rec.error = "the audio device stopped delivering sound";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
  }
  stream->Stop();
  rec.glitches = stream->Glitches();
  rec.channels = callback.Take();
  return rec;
}

// ---- a live input level -------------------------------------------------------------------------

class InputMeter::Callback final : public StreamCallback {
 public:
  Callback(int channels, int channel)
      : channels_(static_cast<std::size_t>(channels)), channel_(static_cast<std::size_t>(channel)) {}
  void Process(std::span<const float> input, std::span<float>, std::size_t frames) override {
    if (input.size() < frames * channels_) return;
    float peak = peak_.load(std::memory_order_relaxed);
    for (std::size_t f = 0; f < frames; ++f) peak = std::max(peak, std::abs(input[f * channels_ + channel_]));
    peak_.store(peak, std::memory_order_relaxed);
  }
  // A take racing a block may see an old peak come back once more: a meter does not mind, and the
  // audio thread stays free of read-modify-write loops.
  float Take() { return peak_.exchange(0.0f, std::memory_order_relaxed); }

 private:
  const std::size_t channels_, channel_;
  std::atomic<float> peak_{0.0f};
};

InputMeter::InputMeter() = default;
InputMeter::~InputMeter() { Close(); }

bool InputMeter::Open(AudioSystem& system, int device, int channel, int sampleRate, std::string* error) {
  Close();
  if (device == 0 || channel < 0) {
    if (error) *error = "no microphone chosen";
    return false;
  }
  callback_ = std::make_unique<Callback>(channel + 1, channel);
  StreamSpec request;
  request.inputDevice = device;
  request.inputChannels = channel + 1;
  request.sampleRate = sampleRate;
  stream_ = system.Open(request, *callback_, error);
  if (!stream_) callback_.reset();
  return stream_ != nullptr;
}

void InputMeter::Close() {
  if (stream_) stream_->Stop();
  stream_.reset();
  callback_.reset();
}

float InputMeter::TakePeak() { return callback_ ? callback_->Take() : 0.0f; }

}  // namespace zelto::audio
