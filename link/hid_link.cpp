#include "link/hid_link.h"

#include <algorithm>
#include <charconv>
#include <thread>
#include <utility>

#include "core/command_queue.h"
#include "core/send_data.h"

namespace zelto {
namespace {

bool IsProcessorIdentity(const HidDeviceInfo& d) {
  return d.vendorId == kVendorId && d.productId == kProductId && d.versionNumber == kVersionNumber;
}

}  // namespace

HidLink::HidLink(HidTransport& transport, Settings& settings, ConnectionFlags& flags)
    : transport_(transport), settings_(settings), flags_(flags) {}

HidLink::~HidLink() { CloseHandleOnly(); }

void HidLink::CloseHandleOnly() {
  std::lock_guard lock(deviceMutex_);
  device_.reset();
  outputReport_.fill(0);
  inputReport_.fill(0);
}

bool HidLink::OpenFirstDevice() { return OpenFirst(false); }

bool HidLink::OpenFirstFreeDevice() { return OpenFirst(true); }

bool HidLink::OpenFirst(bool claimed) {
  flags_.linkActive = false;
  CloseHandleOnly();
  {
    std::lock_guard lock(deviceMutex_);
    refusedOpen_.reset();
  }
  for (const auto& info : transport_.Enumerate()) {
    if (!IsProcessorIdentity(info)) continue;
    // Held by another program or instance: the first match decides.
    if (claimed && !IsDeviceFree(info.path)) {
      std::lock_guard lock(deviceMutex_);
      refusedOpen_ = RefusedOpen{OpenRefusal::InUse, {}};
      return false;
    }
    auto dev = transport_.Open(info.path);
    if (!dev) {
      // The first match decides: another program may hold it, or this user may not open it.
      std::lock_guard lock(deviceMutex_);
      refusedOpen_ = RefusedOpen{transport_.LastRefusal(), transport_.LastError()};
      return false;
    }
    {
      std::lock_guard lock(deviceMutex_);
      device_ = std::move(dev);
      devicePath_ = info.path;
      reportFailed_ = false;
    }
    flags_.linkActive = true;
    if (claimed) Claim(info.path);
    return true;
  }
  return false;
}

bool HidLink::OpenDevicePath(const std::string& path) {
  CloseHandleOnly();
  auto dev = transport_.Open(path);
  if (!dev) return false;
  {
    std::lock_guard lock(deviceMutex_);
    device_ = std::move(dev);
    devicePath_ = path;
    refusedOpen_.reset();
    reportFailed_ = false;
  }
  flags_.linkActive = true;
  Claim(path);
  return true;
}

bool HidLink::HasRefusedOpen() const {
  std::lock_guard lock(deviceMutex_);
  return refusedOpen_.has_value();
}

std::optional<RefusedOpen> HidLink::TakeRefusedOpen() {
  std::lock_guard lock(deviceMutex_);
  return std::exchange(refusedOpen_, std::nullopt);
}

void HidLink::CloseDevice() {
  CloseHandleOnly();
  ReleaseClaim();
}

bool HidLink::ReopenDevice() {
  CloseHandleOnly();
  return OpenFirstDevice();
}

void HidLink::Claim(const std::string& path) { settings_.Set(kClaimsKey, path, std::to_string(CurrentProcessId())); }

bool HidLink::IsDeviceFree(const std::string& path) {
  const auto owner = settings_.Get(kClaimsKey, path);
  if (!owner) return true;
  long pid = 0;
  const auto* end = owner->data() + owner->size();
  if (std::from_chars(owner->data(), end, pid).ec != std::errc{} || pid <= 0) {
    // A claim without an owner (written as "0") cannot be checked: the device stays taken.
    return false;
  }
  if (pid == CurrentProcessId()) return true;
  return !processAlive_(pid);
}

void HidLink::ReleaseClaim() {
  std::string path;
  {
    std::lock_guard lock(deviceMutex_);
    path = devicePath_;
  }
  if (!path.empty()) settings_.Remove(kClaimsKey, path);
}

bool HidLink::WriteMessage(CSendData& message, std::chrono::milliseconds pause) {
  for (;;) {
    {
      std::lock_guard lock(deviceMutex_);
      if (!device_) return false;
      if (!message.MakeHidReport(outputReport_)) return true;
      if (!device_->WriteOutputReport(outputReport_)) reportFailed_ = true;
    }
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
    if (!flags_.linkActive) return false;
  }
}

bool HidLink::RequestInputReport() {
  std::lock_guard lock(deviceMutex_);
  if (!device_) return false;
  // The result is not trusted for the frame: after a failed read the zeroed buffer is scanned.
  // A failed read is remembered for the owner to ask whether the device is gone; a passing fault
  // is left to the reply deadline.
  if (!device_->ReadInputReport(inputReport_)) {
    inputReport_.fill(0);
    reportFailed_ = true;
    return false;
  }
  return true;
}

bool HidLink::ScanInputReport(CKTVCommand& queue) {
  std::lock_guard lock(deviceMutex_);
  if (!device_) return true;
  return queue.FeedHidReport(inputReport_, kHidReportSize);
}

bool HidLink::PollInputReport(CKTVCommand& queue) {
  RequestInputReport();
  return ScanInputReport(queue);
}

bool HidLink::DevicePresent() {
  const std::string path = DevicePath();
  return IsOpen() && !path.empty() && transport_.Present(path);
}

bool HidLink::IsOpen() const {
  std::lock_guard lock(deviceMutex_);
  return device_ != nullptr;
}

std::string HidLink::DevicePath() const {
  std::lock_guard lock(deviceMutex_);
  return devicePath_;
}

}  // namespace zelto
