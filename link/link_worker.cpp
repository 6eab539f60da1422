#include "link/link_worker.h"

namespace zelto {

using Clock = std::chrono::steady_clock;

LinkWorker::LinkWorker(HidLink& link, CKTVCommand& queue, ConnectionFlags& flags, TransferLock& transferLock,
                       NoticeSink& sink, ChangeScan changeScan)
    : link_(link),
      queue_(queue),
      flags_(flags),
      transferLock_(transferLock),
      sink_(sink),
      changeScan_(std::move(changeScan)) {}

LinkWorker::~LinkWorker() { StopWorker(false); }

void LinkWorker::StartWorker() {
  queue_.Flags().emptyReply = false;
  if (!thread_.joinable()) {
    {
      std::lock_guard lock(eventMutex_);
      quit_ = false;
      updateEvent_ = flags_.updateMode;
      normalEvent_ = !flags_.updateMode;
    }
    workerRunning_ = true;
    thread_ = std::thread([this] { Loop(); });
  }
  flags_.linkActive = true;
  flags_.connected = true;
}

void LinkWorker::StopWorker(bool disconnect) {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(eventMutex_);
      quit_ = true;
    }
    eventCv_.notify_all();
    // The worker looks at its events only between exchanges: joining waits for the current one.
    thread_.join();
  }
  if (disconnect) {
    std::lock_guard lock(eventMutex_);
    quit_ = updateEvent_ = normalEvent_ = false;
    flags_.linkActive = false;
    flags_.connected = false;
  }
}

LinkWorker::Event LinkWorker::WaitForEvent() {
  std::unique_lock lock(eventMutex_);
  eventCv_.wait_for(lock, timing_.idleWait, [this] { return quit_ || updateEvent_ || normalEvent_; });
  if (quit_) return Event::Quit;
  if (updateEvent_) return Event::Update;
  if (normalEvent_) return Event::Normal;
  return Event::None;
}

void LinkWorker::Loop() {
  for (;;) {
    workerRunning_ = true;
    switch (WaitForEvent()) {
      case Event::Quit: workerRunning_ = false; return;
      case Event::Update:
        if (flags_.updateFinished) {
          std::lock_guard lock(eventMutex_);
          updateEvent_ = false;
        } else if (updateExchanger_) {
          updateExchanger_->RunUpdateExchange();
        }
        CheckRemoval();
        break;
      case Event::Normal: {
        {
          std::lock_guard lock(transferLock_);
          if (!queue_.Flags().emptyReply) RunNormalExchange();
        }
        CheckRemoval();
        std::unique_lock lock(eventMutex_);
        // The pause between exchanges, cut short by a quit request.
        eventCv_.wait_for(lock, timing_.afterExchange, [this] { return quit_; });
        break;
      }
      case Event::None: break;
    }
  }
}

void LinkWorker::CheckRemoval() {
  // A failed report may be a removed device or a passing fault: the owner asks the system which,
  // and leaves a passing fault to the reply deadline.
  if (link_.TakeReportFailed() && flags_.linkActive) sink_.Post(Notice::DeviceRemoved, 1, 0);
}

void LinkWorker::RunNormalExchange() {
  const auto start = Clock::now();
  if (!link_.IsOpen() || !flags_.linkActive) return;

  CSendData* front = queue_.Front();
  if (!front) {
    // An empty queue never gets a write and a read in the same exchange: the change (or the
    // status poll) goes out in the next one.
    if (changeScan_) {
      if (auto message = changeScan_()) queue_.Push(std::move(message));
    }
    return;
  }
  if (!link_.WriteMessage(*front, timing_.betweenReports)) return;

  for (;;) {
    if (!flags_.linkActive) return;
    link_.RequestInputReport();
    if (!flags_.linkActive) return;
    std::this_thread::sleep_for(timing_.readWait);
    if (link_.ScanInputReport(queue_)) return;
    if (Clock::now() - start > timing_.replyDeadline) {
      std::this_thread::sleep_for(timing_.beforeFailure);
      if (flags_.linkActive) sink_.Post(Notice::LinkFailed, 0, 0);
      return;
    }
  }
}

}  // namespace zelto
