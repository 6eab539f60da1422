#pragma once
// The real processor on USB, through hidapi. This backend and its .cpp are the only code that
// sees hidapi; the report-ID byte and hidapi's -1-and-hid_error convention end here.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/hid_transport.h"

namespace zelto {

class HidapiTransport final : public HidTransport {
 public:
  HidapiTransport();
  HidapiTransport(const HidapiTransport&) = delete;
  HidapiTransport& operator=(const HidapiTransport&) = delete;

  /// Every HID interface on the system (vendor, product, release number, path).
  std::vector<HidDeviceInfo> Enumerate() override;
  /// Opens the interface at `path`. On Linux the hidraw node is also locked, so a second
  /// program (or instance) cannot open the device at the same time.
  std::unique_ptr<HidDevice> Open(const std::string& path) override;
  std::string LastError() const override;
  OpenRefusal LastRefusal() const override;

 private:
  void SetError(std::string text, OpenRefusal refusal = OpenRefusal::Unknown);

  bool initialised_ = false;
  mutable std::mutex errorMutex_;
  std::string lastError_;
  OpenRefusal lastRefusal_ = OpenRefusal::Unknown;
};

}  // namespace zelto
