#include "sim/sim_transport.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>

namespace zelto::sim {

// What the transport and its open handle share; a handle may outlive its transport.
struct SimTransport::Shared {
  std::mutex mutex;
  std::uint64_t openHandle = 0;  // id of the handle holding the device, 0 = none
  std::uint64_t openGeneration = 0;
  std::uint64_t nextHandle = 1;
  std::string lastError;
};

namespace {

class SimDevice final : public HidDevice {
 public:
  SimDevice(std::shared_ptr<SimProcessor> processor, std::function<void()> release, std::uint64_t generation)
      : processor_(std::move(processor)), release_(std::move(release)), generation_(generation) {}
  ~SimDevice() override { release_(); }
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  bool WriteOutputReport(std::span<const std::uint8_t, kHidReportSize> report) override {
    return processor_->WriteOutputReport(report, generation_);
  }
  bool ReadInputReport(std::span<std::uint8_t, kHidReportSize> report) override {
    std::fill(report.begin(), report.end(), 0);
    return processor_->ReadInputReport(report, generation_);
  }

 private:
  std::shared_ptr<SimProcessor> processor_;
  std::function<void()> release_;
  std::uint64_t generation_;
};

}  // namespace

SimTransport::SimTransport(std::shared_ptr<SimProcessor> processor)
    : processor_(std::move(processor)), shared_(std::make_shared<Shared>()) {}

SimTransport::~SimTransport() = default;

std::vector<HidDeviceInfo> SimTransport::Enumerate() {
  if (!processor_->Present()) return {};
  const auto a = processor_->UsbAttributes();
  return {HidDeviceInfo{std::string(kPath), a.vendorId, a.productId, a.versionNumber}};
}

std::unique_ptr<HidDevice> SimTransport::Open(const std::string& path) {
  std::lock_guard lock(shared_->mutex);
  if (path != kPath) {
    shared_->lastError = path + ": no such simulated device (it is " + std::string(kPath) + ")";
    return nullptr;
  }
  if (!processor_->Present()) {
    shared_->lastError = path + ": the simulated processor is not attached";
    return nullptr;
  }
  const std::uint64_t generation = processor_->Generation();
  // A handle from before the device went away no longer holds it.
  if (shared_->openHandle != 0 && shared_->openGeneration == generation) {
    shared_->lastError = path + ": the device is already open";
    return nullptr;
  }
  const std::uint64_t id = shared_->nextHandle++;
  shared_->openHandle = id;
  shared_->openGeneration = generation;
  shared_->lastError.clear();
  processor_->ResetLink();
  auto release = [shared = shared_, id] {
    std::lock_guard l(shared->mutex);
    if (shared->openHandle == id) shared->openHandle = 0;
  };
  return std::make_unique<SimDevice>(processor_, std::move(release), generation);
}

std::string SimTransport::LastError() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->lastError;
}

}  // namespace zelto::sim
