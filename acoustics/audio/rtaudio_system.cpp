// The audio backend on RtAudio: PulseAudio, ALSA and JACK on Linux, WASAPI on Windows, Core Audio
// on macOS. RtAudio 5 reports errors by throwing RtAudioError; nothing of it leaves this file.

#include <RtAudio.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "acoustics/audio/audio_device.h"

namespace zelto::audio {

namespace {

/// Our device numbers start at 1 so that 0 can mean "none"; RtAudio 5 counts from 0.
unsigned int RtId(int number) { return static_cast<unsigned int>(number - 1); }

class RtStream final : public Stream {
 public:
  RtStream(RtAudio::Api api, StreamCallback& callback, const StreamSpec& request)
      : rt_(std::make_unique<RtAudio>(api)), callback_(callback), request_(request) {
    rt_->showWarnings(false);
  }

  /// Empty when the stream runs; the reason otherwise.
  std::string OpenAndStart() {
    RtAudio::StreamParameters out;
    RtAudio::StreamParameters in;
    if (request_.outputDevice != 0) {
      out.deviceId = RtId(request_.outputDevice);
      out.nChannels = static_cast<unsigned int>(request_.outputChannels);
    }
    if (request_.inputDevice != 0) {
      in.deviceId = RtId(request_.inputDevice);
      in.nChannels = static_cast<unsigned int>(request_.inputChannels);
    }
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_MINIMIZE_LATENCY;
    options.streamName = "Zelto";
    auto frames = static_cast<unsigned int>(request_.blockFrames);
    try {
      rt_->openStream(request_.outputDevice != 0 ? &out : nullptr, request_.inputDevice != 0 ? &in : nullptr,
                      RTAUDIO_FLOAT32, static_cast<unsigned int>(request_.sampleRate), &frames, &RtStream::OnBlock,
                      this, &options);
      rt_->startStream();
    } catch (const RtAudioError& e) {
      return std::string("the audio device cannot be opened: ") + e.what();
    }
    return {};
  }
  ~RtStream() override { Close(); }

  static int OnBlock(void* output, void* input, unsigned int frames, double /*streamTime*/, RtAudioStreamStatus status,
                     void* self) {
    auto* s = static_cast<RtStream*>(self);
    if (status != 0) s->glitches_.fetch_add(1, std::memory_order_relaxed);
    const std::size_t outCount = static_cast<std::size_t>(s->request_.outputChannels) * frames;
    const std::size_t inCount = static_cast<std::size_t>(s->request_.inputChannels) * frames;
    auto* out = static_cast<float*>(output);
    if (out) std::fill(out, out + outCount, 0.0f);
    std::span<const float> in;
    if (input) in = {static_cast<const float*>(input), inCount};
    s->callback_.Process(in, out ? std::span<float>(out, outCount) : std::span<float>(), frames);
    return 0;
  }

  void Stop() override {
    try {
      // Abort rather than stop: stopping would play out what the server still buffers, and a
      // cancelled sweep must fall silent at once.
      if (rt_->isStreamRunning()) rt_->abortStream();
    } catch (const RtAudioError&) {
    }
  }
  bool Running() const override { return rt_->isStreamRunning(); }
  int SampleRate() const override { return static_cast<int>(rt_->getStreamSampleRate()); }
  long LatencyFrames() const override {
    try {
      return rt_->getStreamLatency();
    } catch (const RtAudioError&) {
      return 0;
    }
  }
  int Glitches() const override { return glitches_.load(); }

 private:
  void Close() {
    Stop();
    try {
      if (rt_->isStreamOpen()) rt_->closeStream();
    } catch (const RtAudioError&) {
    }
  }

  std::unique_ptr<RtAudio> rt_;
  StreamCallback& callback_;
  StreamSpec request_;
  std::atomic<int> glitches_{0};
};

class RtAudioSystem final : public AudioSystem {
 public:
  explicit RtAudioSystem(RtAudio::Api api) : api_(api) {}

  std::string Name() const override { return RtAudio::getApiName(api_); }

  std::vector<DeviceInfo> Devices() override {
    std::vector<DeviceInfo> list;
    try {
      RtAudio rt(api_);
      rt.showWarnings(false);
      const unsigned int count = rt.getDeviceCount();
      for (unsigned int id = 0; id < count; ++id) {
        const RtAudio::DeviceInfo info = rt.getDeviceInfo(id);
        if (!info.probed) continue;
        DeviceInfo d;
        d.number = static_cast<int>(id) + 1;
        d.name = info.name;
        d.inputs = static_cast<int>(info.inputChannels);
        d.outputs = static_cast<int>(info.outputChannels);
        for (unsigned int r : info.sampleRates) d.sampleRates.push_back(static_cast<int>(r));
        d.defaultInput = info.isDefaultInput;
        d.defaultOutput = info.isDefaultOutput;
        list.push_back(std::move(d));
      }
    } catch (const RtAudioError&) {
    }
    return list;
  }

  std::unique_ptr<Stream> Open(const StreamSpec& request, StreamCallback& callback, std::string* error) override {
    auto fail = [&](std::string text) -> std::unique_ptr<Stream> {
      if (error) *error = std::move(text);
      return nullptr;
    };
    if (request.outputDevice == 0 && request.inputDevice == 0) return fail("no audio device chosen");
    const auto devices = Devices();
    auto check = [&](int number, int channels, bool input) -> std::string {
      const auto it =
          std::find_if(devices.begin(), devices.end(), [&](const DeviceInfo& d) { return d.number == number; });
      const std::string role = input ? "input" : "output";
      if (it == devices.end()) return "audio " + role + " device " + std::to_string(number) + " is not there";
      const int has = input ? it->inputs : it->outputs;
      if (channels > has) {
        return "audio device \"" + it->name + "\" has " + std::to_string(has) + " " + role + " channels, " +
               std::to_string(channels) + " needed";
      }
      if (!it->sampleRates.empty() &&
          std::find(it->sampleRates.begin(), it->sampleRates.end(), request.sampleRate) == it->sampleRates.end()) {
        return "audio device \"" + it->name + "\" does not run at " + std::to_string(request.sampleRate) + " Hz";
      }
      return {};
    };
    if (request.outputDevice != 0) {
      if (auto e = check(request.outputDevice, request.outputChannels, false); !e.empty()) return fail(e);
    }
    if (request.inputDevice != 0) {
      if (auto e = check(request.inputDevice, request.inputChannels, true); !e.empty()) return fail(e);
    }

    auto stream = std::make_unique<RtStream>(api_, callback, request);
    if (std::string e = stream->OpenAndStart(); !e.empty()) return fail(e);
    return stream;
  }

 private:
  RtAudio::Api api_;
};

}  // namespace

bool AudioBuilt() { return true; }

std::unique_ptr<AudioSystem> MakeAudioSystem(std::string* error, const std::string& api) {
  std::string wanted = api;
  if (wanted.empty()) {
    if (const char* env = std::getenv("ZELTO_AUDIO_API")) wanted = env;
  }
  std::vector<RtAudio::Api> apis;
  RtAudio::getCompiledApi(apis);
  if (!wanted.empty()) {
    const RtAudio::Api chosen = RtAudio::getCompiledApiByName(wanted);
    if (chosen == RtAudio::UNSPECIFIED) {
      std::string names;
      for (auto a : apis) names += (names.empty() ? "" : ", ") + RtAudio::getApiName(a);
      if (error) *error = "audio system \"" + wanted + "\" is not built in (there are: " + names + ")";
      return nullptr;
    }
    return std::make_unique<RtAudioSystem>(chosen);
  }
  // As RtAudio itself chooses: the first system, in its order of preference, that offers a device.
  for (auto a : apis) {
    auto system = std::make_unique<RtAudioSystem>(a);
    if (!system->Devices().empty()) return system;
  }
  if (error) *error = "no audio device found (no audio server running and no sound card)";
  return nullptr;
}

}  // namespace zelto::audio
