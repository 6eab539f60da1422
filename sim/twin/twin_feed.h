#pragma once
// Keeps the twin's sound in step with the simulated processor's memory: after every frame the
// processor handled, the settings that shape the sound are compared with those last handed over,
// and new ones go to the audio thread. Runs on the thread that handles frames, before the frame's
// reply can be read, so a tool that has its acknowledgement is already heard.

#include <array>
#include <cstdint>

#include "core/device_image.h"
#include "sim/sim_processor.h"
#include "sim/twin/processor_model.h"
#include "sim/twin/twin.h"

namespace zelto::twin {

class TwinFeed {
 public:
  explicit TwinFeed(Twin& twin) : twin_(twin) {}
  TwinFeed(const TwinFeed&) = delete;
  TwinFeed& operator=(const TwinFeed&) = delete;

  /// Hands the settings in `memory` over when they differ from the last (always the first time).
  void Update(const DeviceImage& memory);
  /// For SimProcessor::SetFrameObserver: every valid frame may have changed the memory.
  void OnFrame(const sim::SimFrameRecord& record, const sim::SimProcessor& processor);

 private:
  // What the sound depends on: the live output blocks and the system settings.
  using Snapshot = std::array<std::uint8_t, kOutputChannels * out::kSize + 8>;
  static Snapshot Take(const DeviceImage& memory);

  Twin& twin_;
  SettingsReader reader_;
  Snapshot last_{};
  bool any_ = false;
};

}  // namespace zelto::twin
