#pragma once
// One interface for every way of reaching a processor: hidapi (USB), the simulated processor in
// this process, and the TCP report stream. The report-ID byte and each backend's error
// convention stay inside the backend.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/protocol.h"

namespace zelto {

struct HidDeviceInfo {
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t versionNumber = 0;
};

/// One open device. Reports are always 313 bytes: byte 0 the report ID, then 312 data bytes.
class HidDevice {
 public:
  virtual ~HidDevice() = default;
  /// Writes one output report. False when the device is gone or the write failed.
  virtual bool WriteOutputReport(std::span<const std::uint8_t, kHidReportSize> report) = 0;
  /// Reads one input report into `report` (zero-filled when nothing is pending).
  /// False when the device is gone or the read failed.
  virtual bool ReadInputReport(std::span<std::uint8_t, kHidReportSize> report) = 0;
};

/// Why a backend refused to open a device, as far as it can tell.
enum class OpenRefusal {
  Unknown,
  NoPermission,  // the system shows the device to this user but will not let them open it
  InUse,         // another program has the device open
};

/// Finds and opens devices of one backend.
class HidTransport {
 public:
  virtual ~HidTransport() = default;
  /// Every HID interface the backend can see, in enumeration order.
  virtual std::vector<HidDeviceInfo> Enumerate() = 0;
  /// Opens `path` exclusively for reading and writing. Null when that is refused.
  virtual std::unique_ptr<HidDevice> Open(const std::string& path) = 0;
  /// Whether the device at `path` is still attached, asked after a report on it failed: a failed
  /// report alone is no removal. By default: whether the enumeration still lists it.
  virtual bool Present(const std::string& path) {
    for (const auto& d : Enumerate())
      if (d.path == path) return true;
    return false;
  }
  /// Why the last Enumerate or Open of this transport found or opened nothing, in words for
  /// the user; empty when there is nothing to tell.
  virtual std::string LastError() const { return {}; }
  /// Why the last refused Open was refused.
  virtual OpenRefusal LastRefusal() const { return OpenRefusal::Unknown; }
};

}  // namespace zelto
