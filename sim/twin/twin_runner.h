#pragma once
// zelto-sim's car: loads it (a car file, or the demo car), opens the audio stream that takes the
// processor's analogue inputs from one device and plays the microphone on another, follows the
// processor's memory and opens the control port. Everything is checked before anything starts:
// a bad car file or a missing device ends the program with the reason, nothing half running.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_processor.h"

namespace zelto::twin {

struct TwinOptions {
  std::string car;  // a car file, or "demo"
  std::string audioIn;
  std::string audioOut;
  int controlPort = -1;  // -1: none; 0: a free one
  int blockFrames = 256;
};

class TwinRunner {
 public:
  /// `print` receives the lines a user sees on standard output (the car, the ports, each position).
  explicit TwinRunner(std::function<void(const std::string&)> print);
  ~TwinRunner();
  TwinRunner(const TwinRunner&) = delete;
  TwinRunner& operator=(const TwinRunner&) = delete;

  /// Starts the car on `processor`'s current memory. False with `error` set, nothing running.
  bool Start(const TwinOptions& options, const sim::SimProcessor& processor, std::string* error);
  /// Prints what was started (the car, the devices, the control port, the position), once the
  /// program has said where it listens.
  void Announce();
  /// For the processor's frame observer.
  void OnFrame(const sim::SimFrameRecord& record, const sim::SimProcessor& processor);
  void Stop();

 private:
  struct Parts;
  std::function<void(const std::string&)> print_;
  std::unique_ptr<Parts> parts_;
  std::vector<std::string> announcement_;
};

}  // namespace zelto::twin
