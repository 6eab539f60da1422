#pragma once
// Test side of a running program: a notice sink that queues what the worker posts and a pump that
// hands each notice to the engine on the test's thread, as the window's queued calls do.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/notice.h"
#include "core/settings.h"
#include "link/engine.h"
#include "link/link_view.h"

namespace zelto::testing {

struct PostedNotice {
  Notice notice;
  std::intptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

class NoticeQueue final : public NoticeSink {
 public:
  void Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back({notice, wParam, lParam});
    }
    cv_.notify_all();
  }
  /// Waits up to `timeout` for the next notice.
  bool Next(PostedNotice& out, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return false;
    out = queue_.front();
    queue_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<PostedNotice> queue_;
};

/// Records what the connection code asks of the display.
class RecordingView final : public LinkView {
 public:
  void ShowMessage(UserMessage m) override { messages.push_back(m); }
  void ShowTransferWindow(bool fromPresetDialog) override {
    transferShown = true;
    shownFromPresetDialog = fromPresetDialog;
  }
  void HideTransferWindow() override { transferShown = false; }
  void SetTransferRange(int count) override { transferRange = count; }
  void ShowConnectedState(bool c) override { connectedShown = c; }
  void RefreshAll() override { ++refreshes; }

  std::vector<UserMessage> messages;
  bool transferShown = false;
  bool shownFromPresetDialog = false;
  int transferRange = -1;
  bool connectedShown = false;
  int refreshes = 0;
};

/// Durations for tests of failures: a missed reply fails after a fifth of a second and the
/// watcher looks every 20 ms, while a healthy reply still comes well within the deadline.
inline LinkTiming ShortLinkTiming() {
  using namespace std::chrono_literals;
  LinkTiming t;
  t.idleWait = 100ms;
  t.betweenReports = 1ms;
  t.readWait = 5ms;
  t.replyDeadline = 200ms;
  t.beforeFailure = 0ms;
  t.afterStopOnFailure = 0ms;
  t.watcherPeriod = 20ms;
  return t;
}

/// An engine with its sink and view, and a pump standing in for the window's event loop.
struct EngineHarness {
  explicit EngineHarness(std::unique_ptr<HidTransport> transport)
      : engine(std::move(transport), settings, notices, view) {
    LinkTiming timing;
    timing.afterStopOnFailure = std::chrono::milliseconds(0);
    engine.SetLinkTiming(timing);
  }

  /// Hands notices to the engine until `done` holds or `timeout` passes. The notices seen are
  /// kept in `seen`.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) return false;
      PostedNotice n;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
      if (notices.Next(n, std::min(left, std::chrono::milliseconds(20)))) {
        seen.push_back(n);
        engine.HandleNotice(n.notice, n.wParam, n.lParam);
      }
    }
    return true;
  }
  bool Saw(Notice notice) const {
    for (const auto& n : seen)
      if (n.notice == notice) return true;
    return false;
  }

  MemorySettings settings;
  NoticeQueue notices;
  RecordingView view;
  Engine engine;
  std::vector<PostedNotice> seen;
};

}  // namespace zelto::testing
