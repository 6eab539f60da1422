#pragma once
// The digital twin: the processor's audio path with its current settings, played into a car.
// The analogue inputs go through the processor model; each output is convolved with its speaker's
// impulse response at the current microphone position; the sum plus the car's noise floor is what
// the microphone hears.
//
// Threads: settings come from the thread that handles the processor's frames (Publish), the
// microphone position from the control port (SetPosition), audio from the audio thread (Process).
// Neither hand-over blocks the audio thread, and both are heard from the next block on.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <vector>

#include "sim/twin/car.h"
#include "sim/twin/convolver.h"
#include "sim/twin/processor_model.h"

namespace zelto::twin {

class Twin {
 public:
  /// Builds the convolution of every speaker at every position (which takes a moment for long
  /// responses). `blockFrames` is the audio block the twin is fed with; other block sizes work,
  /// with that many frames of extra latency.
  Twin(const Car& car, std::size_t blockFrames, std::uint32_t noiseSeed = 1);
  ~Twin();
  Twin(const Twin&) = delete;
  Twin& operator=(const Twin&) = delete;

  /// Hands the processor's settings to the audio thread; any thread, never blocks.
  void Publish(const ProcessorSettings& settings);
  /// Moves the microphone (0-based). False when there is no such position.
  bool SetPosition(std::size_t position);
  std::size_t Position() const { return position_.load(std::memory_order_acquire); }
  const std::vector<std::string>& Positions() const { return positions_; }
  int SampleRate() const { return rate_; }
  std::size_t BlockFrames() const { return block_; }
  /// Samples by which the microphone lags the inputs, besides the car's own delays.
  std::size_t Latency() const { return model_.Latency(); }

  /// Audio thread: `left` and `right` (equal sizes) in, the microphone out (same size).
  void Process(std::span<const float> left, std::span<const float> right, std::span<float> microphone);

 private:
  void TakeSettings();
  void ProcessBlock(const double* left, const double* right, double* microphone);

  int rate_;
  std::size_t block_;
  std::vector<std::string> positions_;
  ProcessorModel model_;
  SummingConvolver convolver_;
  std::atomic<std::size_t> position_{0};
  std::size_t playing_ = 0;
  // Settings hand-over: the publisher swaps a new object into `pending_`; the audio thread takes it
  // and leaves the one it replaced in `retired_` for the publisher to free.
  std::atomic<ProcessorSettings*> pending_{nullptr};
  std::atomic<ProcessorSettings*> retired_{nullptr};
  double noiseRms_ = 0.0;
  std::mt19937 noise_;
  std::normal_distribution<double> gauss_{0.0, 1.0};

  std::vector<double> left_, right_, mic_;
  std::array<std::vector<double>, kOutputChannels> outputs_;
  // Blocks of another size than block_ pass through these queues.
  std::vector<double> inQueueL_, inQueueR_, outQueue_;
  bool queued_ = false;
};

}  // namespace zelto::twin
