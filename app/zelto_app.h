#pragma once
// The application object: starts the editor in the order the window needs (language, fonts,
// settings, the engine with its link, the main form and its frame), runs it, or leaves a picture
// of the window behind and exits.

#include <QString>
#include <chrono>
#include <memory>

#include "app/app_options.h"
#include "app/ui_state.h"
#include "core/settings.h"
#include "link/hid_transport.h"

namespace zelto {

class CMainFrame;
class CZeltoView;

class CZeltoApp {
 public:
  /// How long a screenshot waits for a processor that answers to be read back.
  static constexpr std::chrono::milliseconds kScreenshotTimeout{20000};
  static constexpr std::chrono::milliseconds kScreenshotPoll{25};

  /// `settings` replaces the user's store and `transport` the link the device URL names (tests
  /// that inspect the simulated processor); null keeps the ordinary ones.
  explicit CZeltoApp(AppOptions options, std::unique_ptr<Settings> settings = nullptr,
                     std::unique_ptr<HidTransport> transport = nullptr);
  ~CZeltoApp();
  CZeltoApp(const CZeltoApp&) = delete;
  CZeltoApp& operator=(const CZeltoApp&) = delete;

  /// The start-up sequence. False, with the reason in `error`, when the editor cannot start.
  bool InitInstance(QString* error);
  /// The event loop until the window closes; with --screenshot, the picture and the exit code.
  int Run();
  /// Waits until the form has settled (the automatic connect ran and a processor that answered is
  /// read back) or the time-out passed, then saves the window as PNG.
  bool TakeScreenshot(const QString& file, QString* error);
  /// Loads the measurements the command line names and opens the proposal for the first.
  void ShowMeasurements();

  UiState& Ui() { return ui_; }
  Settings& Store() { return *settings_; }
  CMainFrame* Frame() const { return frame_.get(); }
  CZeltoView* View() const { return view_; }

 private:
  AppOptions options_;
  UiState ui_;
  std::unique_ptr<Settings> settings_;  // outlives the frame, whose engine uses it
  std::unique_ptr<HidTransport> transport_;
  std::unique_ptr<CMainFrame> frame_;
  CZeltoView* view_ = nullptr;
};

}  // namespace zelto
