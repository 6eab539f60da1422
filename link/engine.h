#pragma once
// Everything the program keeps while it runs, in one object: the device image, the parameter
// objects, the queue, the link and its worker. The editor, the command-line tool and the tests
// each build one; nothing here is global.
//
// Threads: every public method runs on the caller's (window) thread. The link worker and the
// device watcher only post notices; the owner hands each notice back to HandleNotice() on its
// own thread.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "core/change_tracking.h"
#include "core/command_queue.h"
#include "core/device_image.h"
#include "core/encodings.h"
#include "core/frame.h"
#include "core/notice.h"
#include "core/settings.h"
#include "core/wire.h"
#include "link/connection_observer.h"
#include "link/device_watcher.h"
#include "link/hid_link.h"
#include "link/link_flags.h"
#include "link/link_view.h"
#include "link/link_worker.h"
#include "model/ktv_data.h"

namespace zelto {

/// The read-back: system items and names, then the eight live output blocks.
inline constexpr int kReadBackMessages = 19;
inline constexpr int kReadBackRange = 18;

class Engine {
 public:
  /// `lang` is the front end's: the one place the program's language is held.
  Engine(std::unique_ptr<HidTransport> transport, Settings& settings, NoticeSink& sink, LinkView& view, Language& lang);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  DeviceImage& Image() { return image_; }
  ChangeTracking& Tracking() { return tracking_; }
  CKTVCommand& Queue() { return queue_; }
  FrameBuilder& Builder() { return builder_; }
  CKTV_Data& Data() { return *data_; }
  ConnectionFlags& Flags() { return flags_; }
  TransferLock& Transfer() { return transferLock_; }
  HidLink& Link() { return link_; }
  LinkWorker& Worker() { return worker_; }
  HidTransport& Transport() { return *transport_; }
  Settings& Store() { return settings_; }
  NoticeSink& Sink() { return sink_; }
  LinkView& View() { return view_; }

  /// The language the front end shows, read wherever the engine makes a text for it.
  Language& language;
  bool Connected() const { return flags_.connected; }

  /// Watches for devices arriving and leaving (once a second).
  void StartDeviceWatcher();
  void StopDeviceWatcher();

  // Connecting and reading back.
  void AutoConnect();
  void OnConnectButton();
  void ArrivalConnect(const std::string& path);
  void OnDeviceInfo();
  void QueueReadBack();
  void OnLiveReadDone(int slot);
  void Disconnect();
  void CloseUsbConnection();

  // Engine side of the worker's notices.
  void OnTransferDone();
  void OnLinkFailed();
  void OnEmptyReply();
  void OnDeviceChange(bool failedReport);

  /// Runs the engine side of a notice that came from the worker, the receiver or the watcher.
  /// Returns true when the engine handled it (the window may still update its display).
  bool HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam);

  /// Why the last "unable to connect" was raised, once: the message that reports it takes it.
  std::optional<ConnectFailure> TakeConnectFailure() { return std::exchange(connectFailure_, std::nullopt); }
  /// The transport's own words about the last failed search or open (a TCP device that refused
  /// the connection, or sent no hello), or empty.
  std::string TransportDetail() const { return transport_->LastError(); }

  /// The live preset as the objects would pack it now, taken without waiting for the
  /// TransferLock: while the link worker runs, it packs one between two exchanges when asked, and
  /// a later call takes it (nothing until then); otherwise nobody else touches the live image and
  /// the caller packs it under the model lock. The live image is left as it was. Window thread.
  std::optional<PresetImage> LiveSnapshot();

  /// Whether the processor has acknowledged every change made so far: nothing queued but a status
  /// poll, and nothing the change scan would still send. Waits for the exchange under way.
  bool EverythingSent();

  /// One observer at a time (the edit layer); null detaches it.
  void SetConnectionObserver(ConnectionObserver* observer) { observer_ = observer; }
  ConnectionObserver* Observer() const { return observer_; }

  /// Running count of progress steps of the batch being queued.
  int batchCounter = 0;

  /// The link's durations (worker, watcher, the pause after a stop); tests shorten them. Set it
  /// while nothing is connected and the watcher is stopped.
  void SetLinkTiming(const LinkTiming& timing);
  const LinkTiming& Timing() const { return timing_; }

 private:
  void BeginConnection(bool underLock, bool trackingOn);
  void LeaveUpdateMode();
  void UnableToConnect(ConnectFailure why);
  /// The objects packed as PackAll would, the live image left as it was. Takes the model lock;
  /// the caller makes sure nothing else writes the live image meanwhile.
  PresetImage PackedLiveCopy();
  /// The worker's side of LiveSnapshot, between exchanges (it holds the TransferLock).
  void ServeLiveSnapshot();

  std::unique_ptr<HidTransport> transport_;
  Settings& settings_;
  NoticeSink& sink_;
  LinkView& view_;
  DeviceImage image_;
  ChangeTracking tracking_;
  CKTVCommand queue_;
  FrameBuilder builder_;
  std::unique_ptr<CKTV_Data> data_;
  ConnectionFlags flags_;
  LinkTiming timing_;
  TransferLock transferLock_;
  HidLink link_;
  LinkWorker worker_;
  DeviceWatcher watcher_;
  ConnectionObserver* observer_ = nullptr;
  /// The live read under way is a connection's read-back (not a preset recall).
  bool readBackPending_ = false;
  std::optional<ConnectFailure> connectFailure_;
  std::mutex snapshotMutex_;
  bool snapshotWanted_ = false;
  std::optional<PresetImage> snapshot_;
};

}  // namespace zelto
