#pragma once
// The one worker thread that moves messages between the queue and the processor. In normal mode
// it writes the front message and polls for its reply; with an empty queue it asks the change
// scan for the next changed item (or a status poll). In update mode it runs the firmware-update
// exchange instead.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "core/command_queue.h"
#include "core/notice.h"
#include "link/hid_link.h"
#include "link/link_flags.h"

namespace zelto {

namespace link_timing {
using std::chrono::milliseconds;
inline constexpr milliseconds kIdleWait{3000};           // worker wait when no event is signalled
inline constexpr milliseconds kAfterExchange{10};        // pause after each normal exchange
inline constexpr milliseconds kBetweenReports{20};       // between output reports of one message
inline constexpr milliseconds kReadWait{50};             // between an input-report request and its scan
inline constexpr milliseconds kReplyDeadline{3000};      // from the exchange start
inline constexpr milliseconds kBeforeFailure{10};        // before posting LinkFailed
inline constexpr milliseconds kAfterStopOnFailure{500};  // after stopping the worker on failure
inline constexpr milliseconds kWatcherPeriod{1000};      // device enumeration compared once a second
}  // namespace link_timing

/// The durations of the normal mode in one place. The program runs with the defaults; tests of
/// failures shorten them so a missed reply costs milliseconds.
struct LinkTiming {
  std::chrono::milliseconds idleWait = link_timing::kIdleWait;
  std::chrono::milliseconds afterExchange = link_timing::kAfterExchange;
  std::chrono::milliseconds betweenReports = link_timing::kBetweenReports;
  std::chrono::milliseconds readWait = link_timing::kReadWait;
  std::chrono::milliseconds replyDeadline = link_timing::kReplyDeadline;
  std::chrono::milliseconds beforeFailure = link_timing::kBeforeFailure;
  std::chrono::milliseconds afterStopOnFailure = link_timing::kAfterStopOnFailure;
  std::chrono::milliseconds watcherPeriod = link_timing::kWatcherPeriod;
};

/// Held by the worker for each whole normal exchange and by the window thread while it builds
/// and queues a batch, so a batch is queued as a whole between two exchanges. Re-entrant for its
/// owner.
using TransferLock = std::recursive_mutex;

/// Runs one firmware-update exchange; provided by the update transfer.
class UpdateExchanger {
 public:
  virtual ~UpdateExchanger() = default;
  virtual void RunUpdateExchange() = 0;
};

class LinkWorker {
 public:
  using ChangeScan = std::function<SendDataPtr()>;

  LinkWorker(HidLink& link, CKTVCommand& queue, ConnectionFlags& flags, TransferLock& transferLock, NoticeSink& sink,
             ChangeScan changeScan);
  ~LinkWorker();
  LinkWorker(const LinkWorker&) = delete;
  LinkWorker& operator=(const LinkWorker&) = delete;

  void SetUpdateExchanger(UpdateExchanger* exchanger) { updateExchanger_ = exchanger; }

  /// Takes effect for the next exchange; set it while the worker is stopped.
  void SetTiming(const LinkTiming& timing) { timing_ = timing; }
  const LinkTiming& Timing() const { return timing_; }

  /// Starts the thread when none runs (update exchanges in update mode, normal ones otherwise),
  /// clears the empty-reply stop and sets linkActive and connected.
  void StartWorker();
  /// Asks the worker to quit and waits until it has left its current exchange. With
  /// `disconnect`, also clears linkActive and connected.
  void StopWorker(bool disconnect);

  bool Running() const { return thread_.joinable(); }
  bool WorkerRunning() const { return workerRunning_; }

  /// One normal exchange; public so the update transfer and tests can reason about it.
  void RunNormalExchange();

 private:
  enum class Event { None, Quit, Update, Normal };
  void Loop();
  Event WaitForEvent();
  void CheckRemoval();

  HidLink& link_;
  CKTVCommand& queue_;
  ConnectionFlags& flags_;
  TransferLock& transferLock_;
  NoticeSink& sink_;
  ChangeScan changeScan_;
  UpdateExchanger* updateExchanger_ = nullptr;
  LinkTiming timing_;

  std::mutex eventMutex_;
  std::condition_variable eventCv_;
  bool quit_ = false;
  bool updateEvent_ = false;
  bool normalEvent_ = false;
  std::atomic<bool> workerRunning_{false};
  std::thread thread_;
};

}  // namespace zelto
