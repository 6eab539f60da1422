#pragma once
// The real processor on USB, through hidapi. This backend and its .cpp are the only code that
// sees hidapi; the report-ID byte and hidapi's -1-and-hid_error convention end here.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/hid_transport.h"
#include "link/usb/usb_write.h"

namespace zelto {

/// True when the hidapi this program is built with can send SET_REPORT on the control pipe
/// (hid_send_output_report, hidapi 0.14 and later). Without it, Control falls back to hid_write.
bool UsbControlWriteAvailable();

class HidapiTransport final : public HidTransport {
 public:
  explicit HidapiTransport(UsbWrite write = UsbWrite::Control);
  HidapiTransport(const HidapiTransport&) = delete;
  HidapiTransport& operator=(const HidapiTransport&) = delete;

  /// Every HID interface on the system (vendor, product, release number, path).
  std::vector<HidDeviceInfo> Enumerate() override;
  /// Opens the interface at `path`. On Linux the hidraw node is also locked, so a second
  /// program (or instance) cannot open the device at the same time.
  std::unique_ptr<HidDevice> Open(const std::string& path) override;
  /// Also true for a device whose node has vanished, so a failed report is its removal.
  bool Present(const std::string& path) override;
  std::string LastError() const override;
  /// The path output reports take: Control only when the library offers it.
  UsbWrite Write() const { return write_; }
  OpenRefusal LastRefusal() const override;

 private:
  void SetError(std::string text, OpenRefusal refusal = OpenRefusal::Unknown);

  bool initialised_ = false;
  UsbWrite write_;
  mutable std::mutex errorMutex_;
  std::string lastError_;
  OpenRefusal lastRefusal_ = OpenRefusal::Unknown;
};

}  // namespace zelto
