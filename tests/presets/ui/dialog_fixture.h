#pragma once
// An engine on the simulated processor inside this process, for driving the dialogs the way the
// main view does: the test thread plays the window and hands every notice to the engine and to
// the handler a test adds, while the processor's frame log tells what it received.

#include <QApplication>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/device_image.h"
#include "presets/preset_name.h"
#include "sim/sim_processor.h"
#include "sim/sim_transport.h"
#include "support/engine_harness.h"

namespace zelto::testing {

using namespace std::chrono_literals;

class SimDialogFixture {
 public:
  SimDialogFixture() {
    auto transport = std::make_unique<sim::SimTransport>();
    processor_ = transport->SharedProcessor();
    harness_ = std::make_unique<EngineHarness>(std::move(transport));
  }
  ~SimDialogFixture() {
    handler = nullptr;
    harness_.reset();
  }

  Engine& engine() { return harness_->engine; }
  Runtime& runtime() { return harness_->runtime; }
  EngineHarness& harness() { return *harness_; }
  RecordingView& view() { return harness_->view; }
  sim::SimProcessor& processor() { return *processor_; }

  /// Stores `name` in slot `slot` of the processor's own memory, as its front panel would.
  void NameOnProcessor(int slot, const std::string& name) {
    processor_->EditMemory(
        [&](DeviceImage& m) { NameToField(name, m.Preset(slot).subspan(preset::kName, preset::kNameSize)); });
  }

  /// The connect button, the identity check and the whole read-back.
  bool Connect() {
    engine().OnConnectButton();
    if (!engine().Connected()) return false;
    return Pump([&] { return harness_->Saw(Notice::LiveReadDone) && engine().Tracking().IsOn() && Idle(); });
  }

  /// Nothing queued and the progress window down: the last batch has ended.
  bool Idle() { return engine().Queue().Count() == 0 && !view().transferShown; }

  /// Hands notices to the engine, then to `handler`, and lets Qt run, until `done` holds.
  bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      PostedNotice n;
      if (harness_->notices.Next(n, 10ms)) {
        harness_->seen.push_back(n);
        engine().HandleNotice(n.notice, n.wParam, n.lParam);
        if (handler) handler(n.notice, n.wParam, n.lParam);
      }
      QApplication::processEvents();
    }
    return true;
  }

  /// The frames the processor received since the log was last cleared, as zelto-sim traces
  /// them (without their numbers), status polls left out.
  std::vector<std::string> Frames() {
    std::vector<std::string> out;
    for (const auto& r : processor_->Frames()) {
      std::string line = sim::DescribeFrame(r);
      line.erase(0, line.find(' ') + 1);  // the frame's number
      if (line.find("SYSTEM STATUS") != std::string::npos) continue;
      out.push_back(std::move(line));
    }
    return out;
  }

  /// Handles notices until the processor has received `count` frames after the first `from`
  /// (status polls left out); returns those after `from`.
  std::vector<std::string> WaitFrames(std::size_t from, std::size_t count, std::chrono::milliseconds timeout = 20s) {
    std::vector<std::string> lines;
    Pump(
        [&] {
          lines = Frames();
          return lines.size() >= from + count;
        },
        timeout);
    if (lines.size() < from) return {};
    return {lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()};
  }

  /// Handles notices for `duration` (to show that nothing more arrives).
  void PumpFor(std::chrono::milliseconds duration) {
    Pump([] { return false; }, duration);
  }

  /// Called with every notice after the engine has handled it (the main view's forwarding).
  std::function<void(Notice, std::intptr_t, std::intptr_t)> handler;

 private:
  std::shared_ptr<sim::SimProcessor> processor_;
  std::unique_ptr<EngineHarness> harness_;
};

}  // namespace zelto::testing
