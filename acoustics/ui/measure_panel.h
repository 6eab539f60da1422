#pragma once
// The window's measurement panel: sound devices, calibration file, the channels to measure with
// their safety state, sweep length and level, positions; a live input level meter and progress
// while it measures, a message per refused recording, and per channel the impulse response with
// its arrival time and polarity. Measured responses go to the graph as the channels' measurements.
// It drives the same procedure as `zeltoctl measure`.

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "acoustics/measurement_routing.h"
#include "acoustics/measurement_run.h"
#include "acoustics/ui/window_host.h"
#include "acoustics/response.h"
#include "acoustics/rta_run.h"
#include "controls/skin_dialog.h"
#include "core/encodings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace zelto {

class Editor;
namespace measure {
class ChannelMeasurements;
}

/// Draws the impulse responses measured, each around its arrival, with a mark at the arrival.
class ImpulseView : public QWidget {
 public:
  explicit ImpulseView(QWidget* parent = nullptr);
  void SetResults(const std::vector<acoustics::ChannelResult>& results);
  QSize sizeHint() const override { return {320, 150}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<acoustics::ChannelResult> results_;
};

/// The live RTA's bands as bars over 20 Hz..20 kHz, the level in dB on the left.
class RtaView : public QWidget {
 public:
  explicit RtaView(QWidget* parent = nullptr);
  void SetBands(const acoustics::Response& bands, int bandsPerOctave);
  QSize sizeHint() const override { return {420, 170}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  acoustics::Response bands_;
  int bandsPerOctave_ = 3;
  double topDb_ = 0;  // the scale follows the loudest band in steps, so it does not jitter
};

class MeasurePanel : public SkinDialog {
 public:
  static constexpr int kDialogId = 660;

  /// `guardPath` is the file that records a running measurement (beside the recovery file);
  /// `measurements` receives the responses; `redraw` is called after they arrived.
  MeasurePanel(Editor& editor, measure::ChannelMeasurements& measurements, std::function<void()> redraw,
               const std::string& guardPath, Language lang, QWidget* parent = nullptr);
  ~MeasurePanel() override;

  /// Reads the channels' safety from the processor's settings again.
  void RefreshChannels();
  /// Starts a measurement with what the panel shows (returns when it ended).
  void Start();
  void Cancel() { cancel_.Cancel(); }
  bool Running() const { return running_; }
  /// Starts the live RTA with the devices and channels the panel shows; StopRta stops its sound
  /// at once and puts the routing back.
  void StartRta();
  void StopRta();
  bool RtaRunning() const { return rta_ && rta_->Running(); }

 private:
  /// The procedures' host: progress into the panel's bar and log.
  WindowMeasurementHost Host();
  void BuildLayout();
  void FillDevices();
  acoustics::MeasurementPlan Plan(QString* error) const;
  void ShowResults(const acoustics::RunResult& result);
  void PollRta();
  void ShowInputPeak(float peak);
  /// The idle meter listens while its box is ticked and nothing else uses the microphone.
  void ListenIfWanted();
  void StopListening();
  void Log(const QString& line);
  void reject() override;

  Editor& editor_;
  measure::ChannelMeasurements& measurements_;
  std::function<void()> redraw_;
  acoustics::MeasurementGuard guard_;
  Language lang_;
  std::unique_ptr<audio::AudioSystem> audio_;
  std::vector<audio::DeviceInfo> devices_;
  audio::CancelFlag cancel_;
  bool running_ = false;

  QComboBox* outDevice_ = nullptr;
  QComboBox* inDevice_ = nullptr;
  QComboBox* rate_ = nullptr;
  QLineEdit* calibration_ = nullptr;
  std::array<QCheckBox*, kOutputChannels> channels_{};
  std::array<QCheckBox*, kOutputChannels> fullRange_{};
  std::array<QLabel*, kOutputChannels> safety_{};
  QDoubleSpinBox* length_ = nullptr;
  QDoubleSpinBox* maxLevel_ = nullptr;
  QSpinBox* positions_ = nullptr;
  QSpinBox* input_ = nullptr;
  QProgressBar* meter_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* stage_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QTableWidget* table_ = nullptr;
  ImpulseView* impulses_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancelButton_ = nullptr;

  audio::InputMeter listener_;
  QCheckBox* listen_ = nullptr;
  QTimer* listenTimer_ = nullptr;

  std::unique_ptr<acoustics::RtaRun> rta_;
  int rtaBandsPerOctave_ = 3;
  QComboBox* rtaBands_ = nullptr;
  QComboBox* rtaAveraging_ = nullptr;
  QSpinBox* rtaAverages_ = nullptr;
  QDoubleSpinBox* rtaLevel_ = nullptr;
  QPushButton* rtaStart_ = nullptr;
  QPushButton* rtaReset_ = nullptr;
  QLabel* rtaState_ = nullptr;
  RtaView* rtaView_ = nullptr;
  QTimer* rtaTimer_ = nullptr;
};

}  // namespace zelto
