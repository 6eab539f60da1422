#include "link/usb/hidapi_transport.h"

#include <hidapi.h>
#if defined(__APPLE__) && defined(ZELTO_HAVE_HID_DARWIN_EXCLUSIVE)
#include <hidapi_darwin.h>
#endif

#include <algorithm>
#include <array>
#include <cwchar>

#ifdef __linux__
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace zelto {
namespace {

// The processor uses no numbered reports: byte 0 of every report is report ID 0.
constexpr unsigned char kReportId = 0;

std::string Narrow(const wchar_t* text) {
  if (!text) return {};
  std::string out;
  for (; *text; ++text) out += (*text >= 0x20 && *text < 0x7F) ? static_cast<char>(*text) : '?';
  return out;
}

std::string DeviceError(hid_device* device, const char* what) {
  const std::string detail = Narrow(hid_error(device));
  return detail.empty() ? std::string(what) : std::string(what) + ": " + detail;
}

#ifdef __linux__
// hidraw lets any number of programs open a node; an advisory lock on the node gives the
// exclusive open the link relies on (a second tool must not interleave its frames with ours).
class NodeLock {
 public:
  NodeLock() = default;
  ~NodeLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  NodeLock(const NodeLock&) = delete;
  NodeLock& operator=(const NodeLock&) = delete;

  // True when the node is now ours, or when `path` is not a device node (nothing to lock).
  bool Acquire(const std::string& path, std::string* error, OpenRefusal* refusal) {
    if (!path.starts_with("/dev/")) return true;
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
      // A node this user may not open: no udev rule gave the seat's user access (yet).
      *refusal = (errno == EACCES || errno == EPERM) ? OpenRefusal::NoPermission : OpenRefusal::Unknown;
      *error = path + ": " + std::strerror(errno);
      return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      *refusal = OpenRefusal::InUse;
      *error = path + ": the device is in use by another program";
      return false;
    }
    return true;
  }

 private:
  int fd_ = -1;
};
#else
class NodeLock {
 public:
  bool Acquire(const std::string&, std::string*, OpenRefusal*) { return true; }
};
#endif

class HidapiDevice final : public HidDevice {
 public:
  HidapiDevice(hid_device* device, std::unique_ptr<NodeLock> lock, UsbWrite write)
      : device_(device), lock_(std::move(lock)), write_(write) {}
  ~HidapiDevice() override { hid_close(device_); }
  HidapiDevice(const HidapiDevice&) = delete;
  HidapiDevice& operator=(const HidapiDevice&) = delete;

  bool WriteOutputReport(std::span<const std::uint8_t, kHidReportSize> report) override {
    std::array<unsigned char, kHidReportSize> out{};
    std::copy(report.begin(), report.end(), out.begin());
    out[0] = kReportId;
#ifdef ZELTO_HAVE_HID_SEND_OUTPUT_REPORT
    if (write_ == UsbWrite::Control) return hid_send_output_report(device_, out.data(), out.size()) > 0;
#endif
    return hid_write(device_, out.data(), out.size()) > 0;
  }

  bool ReadInputReport(std::span<std::uint8_t, kHidReportSize> report) override {
    std::array<unsigned char, kHidReportSize> in{};
    in[0] = kReportId;
    const int n = hid_get_input_report(device_, in.data(), in.size());
    std::fill(report.begin(), report.end(), 0);
    if (n < 0) return false;
    // n counts the report-ID byte; anything the device did not send stays zero.
    const auto count = std::min(static_cast<std::size_t>(n), kHidReportSize);
    std::copy(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(count), report.begin());
    report[0] = kReportId;
    return true;
  }

 private:
  hid_device* device_;
  std::unique_ptr<NodeLock> lock_;
  [[maybe_unused]] UsbWrite write_;  // read only where hidapi can send SET_REPORT
};

}  // namespace

bool UsbControlWriteAvailable() {
#ifdef ZELTO_HAVE_HID_SEND_OUTPUT_REPORT
  return true;
#else
  return false;
#endif
}

// hid_exit is never called: hidapi's state is per process, and another transport (or a later
// one) may still be using it; hid_init is safe to call again.
HidapiTransport::HidapiTransport(UsbWrite write)
    : initialised_(hid_init() == 0), write_(UsbControlWriteAvailable() ? write : UsbWrite::Interrupt) {
  if (!initialised_) SetError(DeviceError(nullptr, "cannot initialise hidapi"));
#if defined(__APPLE__) && defined(ZELTO_HAVE_HID_DARWIN_EXCLUSIVE)
  // Another program must not interleave its frames with ours: open the device for us alone.
  if (initialised_) hid_darwin_set_open_exclusive(1);
#endif
}

std::vector<HidDeviceInfo> HidapiTransport::Enumerate() {
  std::vector<HidDeviceInfo> devices;
  if (!initialised_) return devices;
  hid_device_info* list = hid_enumerate(0, 0);
  for (const hid_device_info* d = list; d; d = d->next) {
    if (!d->path) continue;
    devices.push_back(HidDeviceInfo{d->path, d->vendor_id, d->product_id, d->release_number});
  }
  hid_free_enumeration(list);
  return devices;
}

std::unique_ptr<HidDevice> HidapiTransport::Open(const std::string& path) {
  if (!initialised_) return nullptr;
  auto lock = std::make_unique<NodeLock>();
  std::string error;
  OpenRefusal refusal = OpenRefusal::Unknown;
  if (!lock->Acquire(path, &error, &refusal)) {
    SetError(std::move(error), refusal);
    return nullptr;
  }
  hid_device* device = hid_open_path(path.c_str());
  if (!device) {
    SetError(DeviceError(nullptr, (path + ": cannot open").c_str()));
    return nullptr;
  }
  SetError({});
  return std::make_unique<HidapiDevice>(device, std::move(lock), write_);
}

bool HidapiTransport::Present(const std::string& path) {
#ifdef __linux__
  // The node goes with the device: once it has vanished, so has the processor.
  if (path.starts_with("/dev/") && ::access(path.c_str(), F_OK) != 0) return false;
#endif
  return HidTransport::Present(path);
}

std::string HidapiTransport::LastError() const {
  std::lock_guard lock(errorMutex_);
  return lastError_;
}

OpenRefusal HidapiTransport::LastRefusal() const {
  std::lock_guard lock(errorMutex_);
  return lastRefusal_;
}

void HidapiTransport::SetError(std::string text, OpenRefusal refusal) {
  std::lock_guard lock(errorMutex_);
  lastError_ = std::move(text);
  lastRefusal_ = refusal;
}

}  // namespace zelto
