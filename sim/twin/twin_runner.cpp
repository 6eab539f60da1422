#include "sim/twin/twin_runner.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "sim/twin/car_file.h"
#include "sim/twin/control_port.h"
#include "sim/twin/demo_car.h"
#include "sim/twin/twin.h"
#include "sim/twin/twin_feed.h"

namespace zelto::twin {

namespace {

// The analogue inputs are the first two channels of the input device; the microphone is played on
// every channel of the output device (a null sink's monitor, a sound card's left and right).
constexpr int kMaxOutputChannels = 2;

// Takes the interleaved stream apart for the twin and puts the microphone back together.
class TwinStream : public audio::StreamCallback {
 public:
  TwinStream(Twin& twin, int inputs, int outputs, std::size_t maxFrames)
      : twin_(twin), inputs_(inputs), outputs_(outputs) {
    left_.resize(maxFrames);
    right_.resize(maxFrames);
    mic_.resize(maxFrames);
  }
  void Process(std::span<const float> input, std::span<float> output, std::size_t frames) override {
    // A larger block than announced is taken in pieces rather than refused.
    for (std::size_t done = 0; done < frames;) {
      const std::size_t n = std::min(frames - done, left_.size());
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = (done + i) * static_cast<std::size_t>(inputs_);
        left_[i] = inputs_ > 0 ? input[at] : 0.0f;
        right_[i] = inputs_ > 1 ? input[at + 1] : 0.0f;
      }
      twin_.Process(std::span(left_).first(n), std::span(right_).first(n), std::span(mic_).first(n));
      for (std::size_t i = 0; i < n; ++i)
        for (int c = 0; c < outputs_; ++c) output[(done + i) * static_cast<std::size_t>(outputs_) + c] = mic_[i];
      done += n;
    }
  }

 private:
  Twin& twin_;
  int inputs_;
  int outputs_;
  std::vector<float> left_, right_, mic_;
};

}  // namespace

struct TwinRunner::Parts {
  std::unique_ptr<Twin> twin;
  std::unique_ptr<TwinFeed> feed;
  std::mutex feedMutex;  // frames may come from more than one thread of the server
  std::unique_ptr<audio::AudioSystem> audio;
  std::unique_ptr<TwinStream> callback;
  std::unique_ptr<audio::Stream> stream;
  std::unique_ptr<ControlPort> control;
};

TwinRunner::TwinRunner(std::function<void(const std::string&)> print) : print_(std::move(print)) {}

TwinRunner::~TwinRunner() { Stop(); }

bool TwinRunner::Start(const TwinOptions& o, const sim::SimProcessor& processor, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    parts_.reset();
    return false;
  };
  if (o.audioIn.empty() || o.audioOut.empty()) return fail("--car needs --audio-in and --audio-out");
  Car car;
  if (o.car == kDemoCarName) {
    car = BuildDemoCar();
  } else {
    std::string why;
    auto loaded = LoadCarFile(o.car, &why);
    if (!loaded) return fail(why);
    car = std::move(*loaded);
  }

  auto parts = std::make_unique<Parts>();
  std::string why;
  parts->audio = audio::MakeAudioSystem(&why);
  if (!parts->audio) return fail(why);
  const auto devices = parts->audio->Devices();
  const auto in = audio::FindDevice(devices, o.audioIn, audio::Direction::Input);
  if (!in.device) return fail("--audio-in: " + in.error);
  const auto out = audio::FindDevice(devices, o.audioOut, audio::Direction::Output);
  if (!out.device) return fail("--audio-out: " + out.error);

  parts->twin = std::make_unique<Twin>(car, static_cast<std::size_t>(o.blockFrames));
  parts->feed = std::make_unique<TwinFeed>(*parts->twin);
  parts->feed->Update(processor.Memory());

  if (o.controlPort >= 0) {
    Twin& twin = *parts->twin;
    parts->control = std::make_unique<ControlPort>([this, &twin](std::string_view line) {
      std::string reason;
      const auto p = ParsePositionCommand(line, twin.Positions(), &reason);
      if (!p) return "error: " + reason;
      twin.SetPosition(*p);
      const std::string now = DescribePosition(*p, twin.Positions());
      print_(now);
      return now;
    });
    if (!parts->control->Start(static_cast<std::uint16_t>(o.controlPort), &why)) return fail(why);
  }

  audio::StreamSpec request;
  request.inputDevice = in.device->number;
  request.inputChannels = std::min(in.device->inputs, kInputs);
  request.outputDevice = out.device->number;
  request.outputChannels = std::min(out.device->outputs, kMaxOutputChannels);
  request.sampleRate = car.sampleRate;
  request.blockFrames = o.blockFrames;
  parts->callback = std::make_unique<TwinStream>(*parts->twin, request.inputChannels, request.outputChannels,
                                                 static_cast<std::size_t>(o.blockFrames));
  parts->stream = parts->audio->Open(request, *parts->callback, &why);
  if (!parts->stream) return fail(why);

  const std::string source = o.car == kDemoCarName ? "the demo car" : o.car;
  announcement_.clear();
  announcement_.push_back("car: " + source + ", " + std::to_string(car.speakers.size()) + " speakers, " +
                          std::to_string(car.positions.size()) + " microphone positions, " +
                          std::to_string(car.sampleRate) + " Hz");
  announcement_.push_back("audio: inputs from \"" + in.device->name + "\", microphone on \"" + out.device->name + "\"");
  if (parts->control) announcement_.push_back("control port on 127.0.0.1:" + std::to_string(parts->control->Port()));
  announcement_.push_back(DescribePosition(parts->twin->Position(), parts->twin->Positions()));
  parts_ = std::move(parts);
  return true;
}

void TwinRunner::Announce() {
  for (const std::string& line : announcement_) print_(line);
  announcement_.clear();
}

void TwinRunner::OnFrame(const sim::SimFrameRecord& record, const sim::SimProcessor& processor) {
  if (!parts_) return;
  std::lock_guard lock(parts_->feedMutex);
  parts_->feed->OnFrame(record, processor);
}

void TwinRunner::Stop() {
  if (!parts_) return;
  if (parts_->stream) parts_->stream->Stop();
  if (parts_->control) parts_->control->Stop();
  parts_.reset();
}

}  // namespace zelto::twin
