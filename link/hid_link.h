#pragma once
// The device layer: finding the processor, opening and closing it, the per-user claim that keeps
// a second running instance away from a device in use, and the two report primitives the link
// worker builds its exchanges on.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/platform.h"
#include "core/protocol.h"
#include "core/settings.h"
#include "link/hid_transport.h"
#include "link/link_flags.h"

namespace zelto {

class CKTVCommand;
class CSendData;

/// Registry key under which running instances claim the devices they opened.
inline constexpr const char* kClaimsKey = "Software\\HLB735.exe\\USB";

/// Update step after which the processor restarts into its loader; its removal is expected then.
inline constexpr int kStepDspStart = 176;

/// Says whether the process that recorded a claim still runs. The default checks the local
/// process table; tests replace it.
using ProcessAliveFn = bool (*)(long pid);

/// A processor that was found but could not be opened: the commonest first-day failure on Linux.
struct RefusedOpen {
  OpenRefusal reason = OpenRefusal::Unknown;
  std::string detail;  // the backend's words, e.g. "/dev/hidraw3: Permission denied"
};

class HidLink {
 public:
  HidLink(HidTransport& transport, Settings& settings, ConnectionFlags& flags);
  ~HidLink();

  /// Opens the first interface with the processor's vendor, product and version IDs. Does not
  /// look at the claims (the restart during an update reopens a device this instance holds). When
  /// that interface refuses the open, TakeRefusedOpen says why.
  bool OpenFirstDevice();
  /// The same for a connect: refused when another running instance has claimed that first
  /// interface (where the system shares HID handles the claim is all that keeps two instances
  /// apart); claims it when opened.
  bool OpenFirstFreeDevice();
  /// Why the last search found the processor but could not open it, once: the message that
  /// reports the failure takes it. Nothing when the processor was absent or opened since.
  std::optional<RefusedOpen> TakeRefusedOpen();
  bool HasRefusedOpen() const;
  /// Opens `path` exclusively and claims it.
  bool OpenDevicePath(const std::string& path);
  /// Closes the device, zeroes both reports and releases the claim.
  void CloseDevice();
  /// Closes and searches again without touching the claim (the processor restarted during an update).
  bool ReopenDevice();

  /// True when no other running instance has claimed `path`. A claim whose owner no longer
  /// runs is stale and counts as free.
  bool IsDeviceFree(const std::string& path);
  void ReleaseClaim();

  /// Writes the unsent rest of `message` as output reports, `pause` apart. True when all of it
  /// has gone out; false when the link went inactive, no device is open or a write failed.
  bool WriteMessage(CSendData& message, std::chrono::milliseconds pause);
  /// Requests one input report. False when the read failed (the device is gone).
  bool RequestInputReport();
  /// Hands the last input report to the receiver. True when a complete, valid frame was handled.
  bool ScanInputReport(CKTVCommand& queue);
  /// Request and scan in one go.
  bool PollInputReport(CKTVCommand& queue);

  bool IsOpen() const;
  std::string DevicePath() const;
  void SetProcessAliveCheck(ProcessAliveFn fn) { processAlive_ = fn; }

  /// Set when a report on the open device failed since the last TakeReportFailed.
  bool ReportFailed() const { return reportFailed_; }
  bool TakeReportFailed() { return reportFailed_.exchange(false); }
  /// Whether the open device is still attached (the system still lists it). A failed report
  /// counts as removal only when it is not.
  bool DevicePresent();

  std::atomic<int> currentUpdateStep{0};

 private:
  void CloseHandleOnly();
  bool OpenFirst(bool claimed);
  void Claim(const std::string& path);

  HidTransport& transport_;
  Settings& settings_;
  ConnectionFlags& flags_;
  ProcessAliveFn processAlive_ = &ProcessIsAlive;

  // The device is opened and closed on the window thread while the worker writes and reads it;
  // the mutex keeps a close from pulling the device out from under a report.
  mutable std::mutex deviceMutex_;
  std::unique_ptr<HidDevice> device_;
  std::string devicePath_;
  std::optional<RefusedOpen> refusedOpen_;
  std::atomic<bool> reportFailed_{false};
  std::array<std::uint8_t, kHidReportSize> outputReport_{};
  std::array<std::uint8_t, kHidReportSize> inputReport_{};
};

}  // namespace zelto
