#pragma once
// One connection of the command-line tool: the runtime on the chosen device, and the loop that
// stands in for the editor's event loop. The link worker posts notices into a queue; the tool's
// thread takes them out and hands each to the runtime's router (the engine, the preset files, the
// update transfer), exactly as the window's queued calls do.
//
// Everything here runs on the tool's one thread; only NoticeQueue::Post is called by others.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/notice.h"
#include "core/settings.h"
#include "ctl/interrupt.h"
#include "ctl/terminal.h"
#include "edit/runtime.h"
#include "link/usb/hidapi_transport.h"

namespace zelto::ctl {

namespace session_timing {
using std::chrono::milliseconds;
using std::chrono::minutes;
/// Longest wait for one notice before the loop looks at its conditions again.
inline constexpr milliseconds kPumpSlice{20};
/// Backstops only: the engine ends every exchange that gets no reply after its own deadline and
/// reports the failure. These catch a loop that would otherwise wait for a notice never posted.
inline constexpr milliseconds kConnectLimit{60000};
inline constexpr minutes kTransferLimit{10};
inline constexpr minutes kUpdateLimit{120};
}  // namespace session_timing

/// Receives the worker's notices from any thread; the tool's thread takes them out in order.
class NoticeQueue final : public NoticeSink {
 public:
  struct Item {
    Notice notice;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
  };
  void Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept override;
  /// The next notice, waiting at most `timeout`.
  std::optional<Item> Take(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Item> items_;
};

class DeviceSession {
 public:
  /// Builds the engine on the transport for `url`. Null (with the reason printed) when the URL
  /// names no link.
  static std::unique_ptr<DeviceSession> Open(const std::string& url, TerminalView& view,
                                             UsbWrite usbWrite = UsbWrite::Control);

  DeviceSession(std::unique_ptr<HidTransport> transport, TerminalView& view);
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  Runtime& runtime() { return runtime_; }
  Engine& engine() { return runtime_.engine(); }
  Editor& editor() { return runtime_.editor(); }
  PresetFiles& files() { return runtime_.files(); }
  UpdateTransfer& update() { return runtime_.update(); }
  TerminalView& view() { return view_; }

  /// The connect button: opens the processor, checks its identity and reads its live state
  /// back. False (with the message printed) when any of it fails.
  bool Connect();
  /// Stops the worker and closes the device (nothing when not connected).
  void Disconnect();

  /// Hands notices to the engine until `done` holds. False when a failure was shown, the
  /// connection closed while `needsConnection`, or `limit` passed.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit, bool needsConnection = true);

  /// Waits until every edit and every queued message has gone out and been acknowledged: the
  /// queue holds nothing but a status poll and the change scan finds nothing left to send.
  bool WaitUntilSent(std::chrono::milliseconds limit = session_timing::kTransferLimit);
  /// True when nothing is left to send (see WaitUntilSent).
  bool AllSent();

  /// A firmware update runs from now on: Ctrl-C and SIGTERM are only answered while the session
  /// lasts, so an update is never cut.
  void BeginUpdate();

  /// Whether Ctrl-C or SIGTERM has asked the tool to stop (the request still ends the process
  /// when the session goes, after the command has put everything back).
  bool InterruptRequested() {
    if (interrupts_.TakeRequest() != 0) OnInterrupt();
    return interruptNoted_;
  }

  int LiveReadsDone() const { return liveReadsDone_; }
  int PresetsReadsDone() const { return presetsReadsDone_; }
  /// The outcome of the last all-slots save that ended (PresetsReadDone).
  bool LastSaveWritten() const { return lastSaveWritten_; }

 private:
  void Dispatch(const NoticeQueue::Item& item);
  /// Hands every notice already queued to the engine without waiting.
  void DrainNotices();
  /// Ctrl-C or SIGTERM arrived: said once and acted on when the session ends (see InterruptGuard).
  void OnInterrupt();

  // Made first and gone last: every thread of the session inherits the blocked signals, and a
  // deferred request ends the process only after the device is closed.
  InterruptGuard interrupts_;
  bool interruptNoted_ = false;
  MemorySettings settings_;
  NoticeQueue notices_;
  TerminalView& view_;
  Runtime runtime_;
  Engine& engine_{runtime_.engine()};
  bool updating_ = false;
  std::string reportedIdentity_;
  int liveReadsDone_ = 0;
  int presetsReadsDone_ = 0;
  bool lastSaveWritten_ = false;
};

}  // namespace zelto::ctl
