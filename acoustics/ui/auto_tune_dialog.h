#pragma once
// The window's automatic tuning: sound devices, the channels with their safety state, microphone
// positions, target, timing reference and boost limit; Start runs the engine's auto-tune (measure,
// tune as one step of the history, measure again) with its progress, asks between microphone
// positions, and then shows before and after: arrival spread, level spread, the summed response's
// deviation from the target (averaged and per position) with its curve, what was set per channel
// and what could not be fixed. Ctrl+Z in the window takes the whole tuning back.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "acoustics/auto_tune_run.h"
#include "acoustics/measurement_routing.h"
#include "acoustics/ui/auto_tune_choices.h"
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

namespace zelto {

class Editor;
class SummedResponsePlot;
namespace measure {
class ChannelMeasurements;
}

class AutoTuneDialog : public SkinDialog {
 public:
  static constexpr int kDialogId = 3420;

  /// `guardPath` is the file that records a running measurement (beside the recovery file);
  /// `measurements` receives the responses measured last; `redraw` is called after they arrived.
  AutoTuneDialog(Editor& editor, measure::ChannelMeasurements& measurements, std::function<void()> redraw,
                 const std::string& guardPath, Language lang, AutoTuneChoices choices, QWidget* parent = nullptr);
  ~AutoTuneDialog() override;

  /// Reads the channels' safety from the processor's settings again.
  void RefreshChannels();
  /// Runs the auto-tune with what the dialog shows (returns when it ended).
  void Start();
  void Cancel() { cancel_.Cancel(); }
  bool Running() const { return running_; }
  /// The last run's report (empty before the first).
  const std::optional<acoustics::AutoTuneReport>& Report() const { return report_; }
  /// Shows a run's result: figures, the curve, the channels and what was not fixed.
  void ShowReport(const acoustics::AutoTuneReport& report, const measure::Target& target);

  QPushButton* StartButton() const { return start_; }
  QTableWidget* FiguresTable() const { return figures_; }
  QTableWidget* ChannelsTable() const { return table_; }
  /// The lines of the dialog's log (errors, what could not be fixed, the microphone's moves).
  QStringList LogLines() const;

 private:
  void BuildLayout();
  void FillDevices();
  void ApplyChoices();
  void ChooseTargetFile();
  /// The plan and options the controls describe; `error` set when they cannot be run.
  std::optional<std::pair<acoustics::MeasurementPlan, acoustics::TuneOptions>> Plan(QString* error) const;
  void ShowProgress(const acoustics::Progress& p);
  void Log(const QString& line);
  QString Tr(const char* en, const char* zh) const;
  void reject() override;

  Editor& editor_;
  measure::ChannelMeasurements& measurements_;
  std::function<void()> redraw_;
  acoustics::MeasurementGuard guard_;
  Language lang_;
  AutoTuneChoices choices_;
  std::unique_ptr<audio::AudioSystem> audio_;
  std::vector<audio::DeviceInfo> devices_;
  audio::CancelFlag cancel_;
  bool running_ = false;
  std::optional<acoustics::AutoTuneReport> report_;
  std::string targetFile_;

  QComboBox* outDevice_ = nullptr;
  QComboBox* inDevice_ = nullptr;
  QSpinBox* input_ = nullptr;
  QLineEdit* calibration_ = nullptr;
  std::array<QCheckBox*, kOutputChannels> channels_{};
  std::array<QCheckBox*, kOutputChannels> fullRange_{};
  std::array<QLabel*, kOutputChannels> safety_{};
  QSpinBox* positions_ = nullptr;
  QDoubleSpinBox* length_ = nullptr;
  QComboBox* target_ = nullptr;
  QComboBox* reference_ = nullptr;
  QDoubleSpinBox* maxBoost_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* stage_ = nullptr;
  QTableWidget* figures_ = nullptr;
  SummedResponsePlot* plot_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};

}  // namespace zelto
