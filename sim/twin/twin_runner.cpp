#include "sim/twin/twin_runner.h"

#include <algorithm>
#include <deque>
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
// What the microphone's buffer keeps after dropping a surplus, and the most it lets pile up (ms).
constexpr std::size_t kKeptMs = 40;
constexpr std::size_t kMostMs = 150;

// The microphone's sound between the two streams. The input side is fed by whatever the audio
// server captured, the output side is paced by the device that plays: when this program was held
// up, the capture piles up, and a single duplex stream would keep that pile as latency for good.
// Here the output side drops the surplus instead, so the car's latency stays that of one block or
// two however the machine was loaded — a measurement's timing reference relies on the chain not
// drifting.
class MicBuffer {
 public:
  /// `keepFrames`: what it holds before it plays, and after dropping a surplus; `maxFrames`: the
  /// most it lets pile up.
  MicBuffer(std::size_t keepFrames, std::size_t maxFrames) : keep_(keepFrames), max_(maxFrames) {}
  void Push(std::span<const float> mic) {
    std::lock_guard lock(mutex_);
    frames_.insert(frames_.end(), mic.begin(), mic.end());
  }
  /// Fills `out`. It waits (plays silence) until it holds `keepFrames` more than a block, and
  /// again after running dry: the audio server delivers the capture in bursts, and a buffer
  /// that played from empty would run dry between them and shift the sound by every gap.
  void Pop(std::span<float> out) {
    std::lock_guard lock(mutex_);
    if (frames_.size() > max_ + out.size()) {
      frames_.erase(frames_.begin(), frames_.end() - static_cast<std::ptrdiff_t>(keep_ + out.size()));
    }
    if (!playing_ && frames_.size() >= keep_ + out.size()) playing_ = true;
    if (!playing_ || frames_.size() < out.size()) {
      playing_ = false;
      std::fill(out.begin(), out.end(), 0.0f);
      return;
    }
    std::copy(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(out.size()), out.begin());
    frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(out.size()));
  }

 private:
  std::mutex mutex_;
  std::deque<float> frames_;
  std::size_t keep_;
  std::size_t max_;
  bool playing_ = false;
};

// Takes the analogue inputs apart for the twin and hands the microphone to the output side.
class TwinInput : public audio::StreamCallback {
 public:
  TwinInput(Twin& twin, MicBuffer& mic, int inputs, std::size_t maxFrames)
      : twin_(twin), buffer_(mic), inputs_(inputs) {
    left_.resize(maxFrames);
    right_.resize(maxFrames);
    mic_.resize(maxFrames);
  }
  void Process(std::span<const float> input, std::span<float>, std::size_t frames) override {
    // A larger block than announced is taken in pieces rather than refused.
    for (std::size_t done = 0; done < frames;) {
      const std::size_t n = std::min(frames - done, left_.size());
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = (done + i) * static_cast<std::size_t>(inputs_);
        left_[i] = inputs_ > 0 ? input[at] : 0.0f;
        right_[i] = inputs_ > 1 ? input[at + 1] : 0.0f;
      }
      twin_.Process(std::span(left_).first(n), std::span(right_).first(n), std::span(mic_).first(n));
      buffer_.Push(std::span(mic_).first(n));
      done += n;
    }
  }

 private:
  Twin& twin_;
  MicBuffer& buffer_;
  int inputs_;
  std::vector<float> left_, right_, mic_;
};

// Plays the microphone on every channel of the output device.
class TwinOutput : public audio::StreamCallback {
 public:
  TwinOutput(MicBuffer& mic, int outputs) : buffer_(mic), outputs_(outputs) {}
  void Process(std::span<const float>, std::span<float> output, std::size_t frames) override {
    if (mic_.size() < frames) mic_.resize(frames);
    buffer_.Pop(std::span(mic_).first(frames));
    for (std::size_t i = 0; i < frames; ++i)
      for (int c = 0; c < outputs_; ++c) output[i * static_cast<std::size_t>(outputs_) + c] = mic_[i];
  }

 private:
  MicBuffer& buffer_;
  int outputs_;
  std::vector<float> mic_;
};

}  // namespace

struct TwinRunner::Parts {
  std::unique_ptr<Twin> twin;
  std::unique_ptr<TwinFeed> feed;
  std::mutex feedMutex;  // frames may come from more than one thread of the server
  std::unique_ptr<audio::AudioSystem> audio;
  std::unique_ptr<MicBuffer> mic;
  std::unique_ptr<TwinInput> input;
  std::unique_ptr<TwinOutput> output;
  // Output first: it is stopped last, after nothing feeds the buffer any more.
  std::unique_ptr<audio::Stream> outStream;
  std::unique_ptr<audio::Stream> inStream;
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

  const auto block = static_cast<std::size_t>(o.blockFrames);
  parts->mic =
      std::make_unique<MicBuffer>(kKeptMs * car.sampleRate / 1000 + block, kMostMs * car.sampleRate / 1000 + 2 * block);
  audio::StreamSpec capture;
  capture.inputDevice = in.device->number;
  capture.inputChannels = std::min(in.device->inputs, kInputs);
  capture.sampleRate = car.sampleRate;
  capture.blockFrames = o.blockFrames;
  audio::StreamSpec play;
  play.outputDevice = out.device->number;
  play.outputChannels = std::min(out.device->outputs, kMaxOutputChannels);
  play.sampleRate = car.sampleRate;
  play.blockFrames = o.blockFrames;
  parts->input = std::make_unique<TwinInput>(*parts->twin, *parts->mic, capture.inputChannels, block);
  parts->output = std::make_unique<TwinOutput>(*parts->mic, play.outputChannels);
  parts->outStream = parts->audio->Open(play, *parts->output, &why);
  if (!parts->outStream) return fail(why);
  parts->inStream = parts->audio->Open(capture, *parts->input, &why);
  if (!parts->inStream) return fail(why);

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
  if (parts_->inStream) parts_->inStream->Stop();
  if (parts_->outStream) parts_->outStream->Stop();
  if (parts_->control) parts_->control->Stop();
  parts_.reset();
}

}  // namespace zelto::twin
