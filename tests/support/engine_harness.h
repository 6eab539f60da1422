#pragma once
// Test side of a running program: a notice sink that queues what the worker posts and a pump that
// hands each notice to the engine on the test's thread, as the window's queued calls do; and a
// whole runtime on a simulated processor, in this process or as a started zelto-sim.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "core/notice.h"
#include "core/settings.h"
#include "edit/runtime.h"
#include "link/engine.h"
#include "link/link_view.h"
#include "link/tcp/tcp_transport.h"
#include "sim/sim_process.h"
#include "sim/sim_processor.h"
#include "sim/sim_transport.h"

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
  std::optional<PostedNotice> Take(std::chrono::milliseconds timeout) {
    PostedNotice n;
    if (!Next(n, timeout)) return std::nullopt;
    return n;
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
    lastFromPresetDialog = fromPresetDialog;
    ++transferWindowShown;
  }
  void HideTransferWindow() override {
    transferShown = false;
    ++transferWindowHidden;
  }
  void SetTransferRange(int count) override {
    transferRange = count;
    ranges.push_back(count);
  }
  void ShowConnectedState(bool c) override { connectedShown = c; }
  void RefreshAll() override { ++refreshes; }

  std::vector<UserMessage> messages;
  bool transferShown = false;
  bool shownFromPresetDialog = false;
  int transferRange = -1;
  bool connectedShown = false;
  int refreshes = 0;
  // Counted, for tests that follow the window through a whole transfer.
  std::vector<int> ranges;
  int transferWindowShown = 0;
  int transferWindowHidden = 0;
  bool lastFromPresetDialog = false;
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

/// A runtime with its sink and view, and a pump standing in for the window's event loop.
struct EngineHarness {
  explicit EngineHarness(std::unique_ptr<HidTransport> transport)
      : runtime(std::move(transport), settings, notices, view, language) {
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
  Language language = Language::English;
  Runtime runtime;
  Engine& engine = runtime.engine();
  std::vector<PostedNotice> seen;
};

// ---- a whole engine on a simulated processor --------------------------------------------------

#ifdef ZELTO_SIM_EXE
inline constexpr const char* kSimExe = ZELTO_SIM_EXE;
#else
inline constexpr const char* kSimExe = nullptr;
#endif

/// Either the processor inside this process or a started zelto-sim reached over the report stream.
using namespace std::chrono_literals;

enum class SimKind { InProcess, Tcp };

inline std::string KindName(const ::testing::TestParamInfo<SimKind>& info) {
  return info.param == SimKind::InProcess ? "InProcess" : "OverTcp";
}

class SimEngine {
 public:
  /// `simArguments` go to zelto-sim (over TCP only).
  explicit SimEngine(SimKind kind, const std::vector<std::string>& simArguments = {}) : kind_(kind) {
    std::unique_ptr<HidTransport> transport;
    if (kind == SimKind::InProcess) {
      auto t = std::make_unique<sim::SimTransport>();
      processor_ = t->SharedProcessor();
      transport = std::move(t);
    } else {
      std::vector<std::string> args = simArguments;
      args.push_back("--trace");
      std::string error;
      if (kSimExe)
        started_ = process_.Start(kSimExe, args, &error);
      else
        error = "this test program was built without the simulated processor's path";
      EXPECT_TRUE(started_) << error;
      transport = std::make_unique<TcpTransport>(TcpEndpoint{"127.0.0.1", process_.Port()});
    }
    runtime_ = std::make_unique<Runtime>(std::move(transport), settings, sink, view, language);
    engine_ = &runtime_->engine();
    LinkTiming timing;
    timing.afterStopOnFailure = kShortStopPause;
    engine_->SetLinkTiming(timing);
  }
  ~SimEngine() {
    runtime_.reset();
    if (kind_ == SimKind::Tcp && started_) process_.Stop();
  }

  Runtime& runtime() { return *runtime_; }
  Engine& engine() { return *engine_; }
  Editor& editor() { return runtime_->editor(); }
  AbCompare& ab() { return runtime_->ab(); }
  PresetFiles& files() { return runtime_->files(); }
  UpdateTransfer& update() { return runtime_->update(); }
  SimKind kind() const { return kind_; }
  /// Another program's link to the same processor (zeltoctl beside the window).
  std::unique_ptr<HidTransport> SecondClient() {
    if (kind_ == SimKind::InProcess) return std::make_unique<sim::SimTransport>(processor_);
    return std::make_unique<TcpTransport>(TcpEndpoint{"127.0.0.1", process_.Port()});
  }
  /// The processor itself (in-process only).
  sim::SimProcessor* processor() { return processor_.get(); }

  /// Handles notices on this thread until `done` holds; false when `timeout` passed first.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) return false;
      auto item = sink.Take(std::min<std::chrono::milliseconds>(
          std::chrono::duration_cast<std::chrono::milliseconds>(end - now), kPumpSlice));
      if (!item) continue;
      ++seen[item->notice];
      received.push_back(*item);
      engine_->HandleNotice(item->notice, item->wParam, item->lParam);
      if (handler) handler(item->notice, item->wParam, item->lParam);
    }
    return true;
  }
  /// Handles notices for `duration`.
  void PumpFor(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
  }
  int Seen(Notice n) const {
    auto it = seen.find(n);
    return it == seen.end() ? 0 : it->second;
  }

  /// The connect button, then the identity check and the whole read-back.
  bool Connect() {
    const int done = Seen(Notice::TransferDone);
    engine_->OnConnectButton();
    if (!engine_->Connected()) return false;
    return PumpUntilTransferDone(done);
  }
  /// Handles notices until a transfer ends after the first `after` and edits are tracked again.
  bool PumpUntilTransferDone(int after) {
    return PumpUntil([&] { return Seen(Notice::TransferDone) > after && engine_->Tracking().IsOn(); });
  }

  /// The frames the processor received, one line each as zelto-sim traces them, without their
  /// numbers. Status polls are left out unless `withStatus`.
  std::vector<std::string> FrameLines(bool withStatus = false) {
    std::vector<std::string> raw;
    if (kind_ == SimKind::InProcess) {
      for (const auto& r : processor_->Frames()) raw.push_back(sim::DescribeFrame(r));
    } else {
      auto lines = process_.Lines();
      if (!lines.empty()) lines.erase(lines.begin());  // "listening on ..."
      raw = std::move(lines);
    }
    std::vector<std::string> out;
    for (auto& line : raw) {
      const auto space = line.find(' ');
      std::string text = space == std::string::npos ? line : line.substr(space + 1);
      if (!withStatus && text.find("SYSTEM STATUS") != std::string::npos) continue;
      out.push_back(std::move(text));
    }
    return out;
  }
  std::size_t FrameLineCount() { return FrameLines().size(); }

  /// Waits (handling notices) until the processor has received `expected` as its last frames
  /// after the first `from` (status polls left out). Returns the frames after `from`.
  std::vector<std::string> WaitForFrames(std::size_t from, std::size_t count, std::chrono::milliseconds timeout = 20s) {
    std::vector<std::string> lines;
    PumpUntil(
        [&] {
          lines = FrameLines();
          return lines.size() >= from + count;
        },
        timeout);
    if (lines.size() < from) return {};
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end());
  }

  static constexpr std::chrono::milliseconds kShortStopPause{20};
  static constexpr std::chrono::milliseconds kPumpSlice{20};

  MemorySettings settings;
  NoticeQueue sink;
  RecordingView view;
  Language language = Language::English;
  std::function<void(Notice, std::intptr_t, std::intptr_t)> handler;
  std::map<Notice, int> seen;
  std::vector<PostedNotice> received;

 private:
  SimKind kind_;
  std::shared_ptr<sim::SimProcessor> processor_;
  sim::SimProcess process_;
  bool started_ = false;
  std::unique_ptr<Runtime> runtime_;
  Engine* engine_ = nullptr;
};

}  // namespace zelto::testing
