#pragma once
// Helpers for driving the editor in a test: a started application on memory settings, waiting
// on the event loop, and a simulated processor the test can look into.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include "app/zelto_app.h"
#include "app/zelto_view.h"
#include "sim/sim_transport.h"

namespace zelto::testing {

/// Turns the event loop until `done` holds or `timeout` passed; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < timeout.count()) {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

/// Lets queued calls (notices, the automatic connect) run.
inline void Pump(std::chrono::milliseconds time = std::chrono::milliseconds(50)) {
  WaitUntil([] { return false; }, time);
}

inline constexpr std::chrono::milliseconds kConnectTimeout{20000};

/// The editor started as a user starts it, on memory settings; with `simulated` it talks to an
/// in-process simulated processor that the test keeps a handle on, else to USB (none attached).
struct StartedEditor {
  std::shared_ptr<sim::SimProcessor> processor;
  MemorySettings* settings = nullptr;
  std::unique_ptr<CZeltoApp> app;

  StartedEditor(Language lang, bool simulated) {
    AppOptions options;
    options.language = lang;
    options.device = "usb";
    auto store = std::make_unique<MemorySettings>();
    settings = store.get();
    std::unique_ptr<HidTransport> transport;
    if (simulated) {
      processor = std::make_shared<sim::SimProcessor>();
      transport = std::make_unique<sim::SimTransport>(processor);
    }
    app = std::make_unique<CZeltoApp>(options, std::move(store), std::move(transport));
    QString error;
    started = app->InitInstance(&error);
    view()->SetMessageHandler([this](const QString& text) { messages.append(text); });
  }

  CZeltoView* view() const { return app->View(); }
  bool started = false;
  QStringList messages;
};

}  // namespace zelto::testing
