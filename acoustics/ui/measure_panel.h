#pragma once
// The window's measurement panel: sound devices, calibration file, the channels to measure with
// their safety state, sweep length and level, positions; a live input level meter and progress
// while it measures, a message per refused recording, and per channel the impulse response with
// its arrival time and polarity. Measured responses go to the graph as the channels' measurements.
// It drives the same procedure as `zeltoctl measure`.

#include <QDialog>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "acoustics/measurement_routing.h"
#include "acoustics/measurement_run.h"
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
  QSize sizeHint() const override { return {420, 160}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<acoustics::ChannelResult> results_;
};

class MeasurePanel : public QDialog {
 public:
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

 private:
  class Host;
  void BuildLayout();
  void FillDevices();
  acoustics::MeasurementPlan Plan(QString* error) const;
  void ShowResults(const acoustics::RunResult& result);
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
};

}  // namespace zelto
