#pragma once
// A whole engine on a simulated processor, for the preset and update tests: either the processor
// inside this process or a started zelto-sim reached over the report stream. The test thread
// plays the window: it hands every notice back to the engine (and to the handlers a test adds).

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/notice.h"
#include "core/settings.h"
#include "link/engine.h"
#include "link/tcp/tcp_transport.h"
#include "link/link_view.h"
#include "sim/sim_process.h"
#include "sim/sim_processor.h"
#include "sim/sim_transport.h"

namespace zelto::test {

using namespace std::chrono_literals;

class NoticeQueue final : public NoticeSink {
 public:
  struct Item {
    Notice notice;
    std::intptr_t wParam;
    std::intptr_t lParam;
  };
  void Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept override {
    {
      std::lock_guard lock(mutex_);
      items_.push_back({notice, wParam, lParam});
    }
    cv_.notify_all();
  }
  std::optional<Item> Take(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return !items_.empty(); })) return std::nullopt;
    Item item = items_.front();
    items_.pop_front();
    return item;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Item> items_;
};

/// The window as far as the link is concerned; everything happens on the test thread.
class RecordingView final : public LinkView {
 public:
  void ShowMessage(UserMessage m) override { messages.push_back(m); }
  void ShowTransferWindow(bool fromPresetDialog) override {
    ++transferWindowShown;
    lastFromPresetDialog = fromPresetDialog;
  }
  void HideTransferWindow() override { ++transferWindowHidden; }
  void SetTransferRange(int count) override { ranges.push_back(count); }
  void RefreshAll() override { ++refreshes; }

  std::vector<UserMessage> messages;
  std::vector<int> ranges;
  int transferWindowShown = 0;
  int transferWindowHidden = 0;
  bool lastFromPresetDialog = false;
  int refreshes = 0;
};

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
      started_ = process_.Start(ZELTO_SIM_EXE, args, &error);
      EXPECT_TRUE(started_) << error;
      transport = std::make_unique<TcpTransport>(TcpEndpoint{"127.0.0.1", process_.Port()});
    }
    engine_ = std::make_unique<Engine>(std::move(transport), settings, sink, view);
    LinkTiming timing;
    timing.afterStopOnFailure = kShortStopPause;
    engine_->SetLinkTiming(timing);
  }
  ~SimEngine() {
    engine_.reset();
    if (kind_ == SimKind::Tcp && started_) process_.Stop();
  }

  Engine& engine() { return *engine_; }
  SimKind kind() const { return kind_; }
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
    return PumpUntil([&] { return Seen(Notice::TransferDone) > done && engine_->Tracking().IsOn(); });
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
  std::function<void(Notice, std::intptr_t, std::intptr_t)> handler;
  std::map<Notice, int> seen;
  std::vector<NoticeQueue::Item> received;

 private:
  SimKind kind_;
  std::shared_ptr<sim::SimProcessor> processor_;
  sim::SimProcess process_;
  bool started_ = false;
  std::unique_ptr<Engine> engine_;
};

}  // namespace zelto::test
