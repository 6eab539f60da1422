#pragma once
// The in-process backend: a SimProcessor in this process behind the HidTransport interface, as
// one device with the path "sim:0". The device disappears while the processor is away
// (restart after STEP_DSP_START, removal faults) and a handle opened before that stays dead.

#include <memory>
#include <string_view>

#include "link/hid_transport.h"
#include "sim/sim_processor.h"

namespace zelto::sim {

class SimTransport final : public HidTransport {
 public:
  static constexpr std::string_view kPath = "sim:0";

  explicit SimTransport(std::shared_ptr<SimProcessor> processor = std::make_shared<SimProcessor>());
  ~SimTransport() override;

  /// The processor, for tests that inject faults or inspect its memory and frame log.
  SimProcessor& Processor() { return *processor_; }
  const std::shared_ptr<SimProcessor>& SharedProcessor() const { return processor_; }

  /// "sim:0" with the processor's USB attributes while it is present; nothing while it is away.
  std::vector<HidDeviceInfo> Enumerate() override;
  /// Refused for another path, while the processor is away, and while a handle from this
  /// transport is open (the device is opened exclusively).
  std::unique_ptr<HidDevice> Open(const std::string& path) override;
  std::string LastError() const override;

 private:
  struct Shared;
  std::shared_ptr<SimProcessor> processor_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace zelto::sim
