#include "sim/twin/twin.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace zelto::twin {

namespace {

// Full scale of the float samples an audio device takes.
constexpr float kFullScale = 1.0f;

// Filter states decaying after the input falls silent reach subnormal numbers, on which x86
// arithmetic is a hundred times slower: enough to make the audio thread miss its deadline. They
// are flushed to zero while the twin runs, and the thread's own setting is restored after.
class FlushSubnormals {
 public:
#if defined(__SSE__) || defined(_M_X64)
  FlushSubnormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
  ~FlushSubnormals() { _mm_setcsr(saved_); }

 private:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_;
#else
  FlushSubnormals() {}  // elsewhere subnormal arithmetic costs nothing extra
#endif
};

}  // namespace

Twin::Twin(const Car& car, std::size_t blockFrames, std::uint32_t noiseSeed)
    : rate_(car.sampleRate),
      block_(blockFrames),
      positions_(car.positions),
      model_(car.sampleRate, blockFrames),
      convolver_(kOutputChannels, blockFrames),
      noise_(noiseSeed) {
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto c = static_cast<std::size_t>(ch);
    const CarSpeaker* s = car.SpeakerOn(ch + 1);
    // A missing speaker keeps an index past its (empty) responses, which is silence.
    if (s)
      for (const auto& ir : s->ir) convolver_.AddResponse(c, ir);
    convolver_.Select(c, s ? 0 : SIZE_MAX);
    outputs_[c].assign(block_, 0.0);
  }
  if (car.noiseDbfs) noiseRms_ = std::pow(10.0, *car.noiseDbfs / 20.0);
  left_.assign(block_, 0.0);
  right_.assign(block_, 0.0);
  mic_.assign(block_, 0.0);
  inQueueL_.reserve(4 * block_);
  inQueueR_.reserve(4 * block_);
  outQueue_.reserve(4 * block_);
}

Twin::~Twin() {
  delete pending_.exchange(nullptr);
  delete retired_.exchange(nullptr);
}

void Twin::Publish(const ProcessorSettings& settings) {
  delete retired_.exchange(nullptr, std::memory_order_acq_rel);
  delete pending_.exchange(new ProcessorSettings(settings), std::memory_order_acq_rel);
}

bool Twin::SetPosition(std::size_t position) {
  if (position >= positions_.size()) return false;
  position_.store(position, std::memory_order_release);
  return true;
}

void Twin::TakeSettings() {
  ProcessorSettings* next = pending_.exchange(nullptr, std::memory_order_acq_rel);
  if (!next) return;
  model_.SetSettings(*next);
  // The publisher frees it. Should it not have collected the previous one yet (two publishes
  // within one block), that one is freed here: rare, and small.
  delete retired_.exchange(next, std::memory_order_acq_rel);
}

void Twin::ProcessBlock(const double* left, const double* right, double* microphone) {
  TakeSettings();
  const std::size_t position = Position();
  if (position != playing_) {
    for (std::size_t c = 0; c < kOutputChannels; ++c) convolver_.Select(c, position);
    playing_ = position;
  }
  std::array<std::span<double>, kOutputChannels> outs;
  std::array<std::span<const double>, kOutputChannels> ins;
  for (std::size_t c = 0; c < kOutputChannels; ++c) {
    outs[c] = outputs_[c];
    ins[c] = outputs_[c];
  }
  model_.Process(std::span(left, block_), std::span(right, block_), outs);
  convolver_.Process(ins, std::span(microphone, block_));
  if (noiseRms_ > 0.0)
    for (std::size_t i = 0; i < block_; ++i) microphone[i] += noiseRms_ * gauss_(noise_);
}

void Twin::Process(std::span<const float> left, std::span<const float> right, std::span<float> microphone) {
  const FlushSubnormals flush;
  const std::size_t frames = left.size();
  const auto toFloat = [](double v) { return std::clamp(static_cast<float>(v), -kFullScale, kFullScale); };
  if (frames == block_ && !queued_) {
    std::copy(left.begin(), left.end(), left_.begin());
    std::copy(right.begin(), right.end(), right_.begin());
    ProcessBlock(left_.data(), right_.data(), mic_.data());
    std::transform(mic_.begin(), mic_.end(), microphone.begin(), toFloat);
    return;
  }
  // Other block sizes go through queues that start one block of silence ahead, so that a whole
  // block is always ready when the next call asks for its frames.
  if (!queued_) {
    outQueue_.assign(block_, 0.0);
    queued_ = true;
  }
  inQueueL_.insert(inQueueL_.end(), left.begin(), left.end());
  inQueueR_.insert(inQueueR_.end(), right.begin(), right.end());
  while (inQueueL_.size() >= block_) {
    ProcessBlock(inQueueL_.data(), inQueueR_.data(), mic_.data());
    inQueueL_.erase(inQueueL_.begin(), inQueueL_.begin() + static_cast<std::ptrdiff_t>(block_));
    inQueueR_.erase(inQueueR_.begin(), inQueueR_.begin() + static_cast<std::ptrdiff_t>(block_));
    outQueue_.insert(outQueue_.end(), mic_.begin(), mic_.end());
  }
  const auto n = static_cast<std::ptrdiff_t>(frames);
  std::transform(outQueue_.begin(), outQueue_.begin() + n, microphone.begin(), toFloat);
  outQueue_.erase(outQueue_.begin(), outQueue_.begin() + n);
}

}  // namespace zelto::twin
