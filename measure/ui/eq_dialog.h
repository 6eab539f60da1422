#pragma once
// "EQ from measurement": the automatic EQ of one output channel. The user picks the measurement,
// the target (flat, car or a file), the frequency range and the boost and cut limits; every change
// computes the bands again and the graph, which the dialog leaves in view, shows the predicted
// result of the proposal. Nothing changes on the channel until Apply, which sets the bands in one
// call.

#include <optional>
#include <vector>

#include "measure/band_fit.h"
#include "measure/channel_measurements.h"
#include "controls/skin_dialog.h"

namespace zelto {

class BitButton;
class ComBoxBtn;
class MeasurementTools;
class NumEdit;
class NumSpin;

class EqFromMeasurementDlg final : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 640;
  static constexpr int kLoadId = 641;
  static constexpr int kTargetListId = 642;
  static constexpr int kLowBoxId = 643;
  static constexpr int kLowSpinId = 644;
  static constexpr int kHighBoxId = 645;
  static constexpr int kHighSpinId = 646;
  static constexpr int kBoostBoxId = 647;
  static constexpr int kBoostSpinId = 648;
  static constexpr int kCutBoxId = 649;
  static constexpr int kCutSpinId = 650;
  static constexpr int kApplyId = 1;
  static constexpr int kCancelId = 2;
  static constexpr int kTargetItemFlat = 0;
  static constexpr int kTargetItemCar = 1;
  static constexpr int kTargetItemFile = 2;
  /// The boost box counts tenths of a dB.
  static constexpr int kBoostSteps = 200;

  EqFromMeasurementDlg(MeasurementTools& tools, int channel, Language lang, QWidget* parent = nullptr);
  ~EqFromMeasurementDlg() override;

  int Channel() const { return channel_; }
  /// The last computed result (nothing before a measurement is held).
  const std::optional<measure::AutoEqResult>& Result() const { return result_; }
  /// The lines under the settings: deviation, bands used, where the boost limit binds.
  QStringList ResultLines() const;

  // What the controls do, callable directly (tests, keyboard).
  void ChooseTarget(int item);
  void SetTargetFile(const QString& path);
  void SetRange(int loHz, int hiHz);
  void SetMaxBoost(double db);
  /// The deepest cut of the bands together, as a positive number of dB.
  void SetCutLimit(double db);
  void LoadMeasurement();
  /// Computes the bands for the settings now and shows their prediction on the graph.
  void Compute();
  /// Sets the proposed bands on the channel and closes; false when there is nothing to apply.
  bool Apply();

  ComBoxBtn* TargetList() const { return target_; }
  NumEdit* LowBox() const { return lowBox_; }
  NumEdit* HighBox() const { return highBox_; }
  NumEdit* BoostBox() const { return boostBox_; }
  NumEdit* CutBox() const { return cutBox_; }
  BitButton* ApplyButton() const { return apply_; }

  void done(int result) override;

 protected:
  void PaintBody(QPainter& painter) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ShowSettings();
  void StoreSettings(const measure::AutoEqSettings& s);
  QString ElidedName(const std::string& path, int width) const;

  MeasurementTools& tools_;
  int channel_;
  std::optional<measure::AutoEqResult> result_;
  BitButton* load_ = nullptr;
  ComBoxBtn* target_ = nullptr;
  NumEdit* lowBox_ = nullptr;
  NumSpin* lowSpin_ = nullptr;
  NumEdit* highBox_ = nullptr;
  NumSpin* highSpin_ = nullptr;
  NumEdit* boostBox_ = nullptr;
  NumSpin* boostSpin_ = nullptr;
  NumEdit* cutBox_ = nullptr;
  NumSpin* cutSpin_ = nullptr;
  BitButton* apply_ = nullptr;
  BitButton* cancel_ = nullptr;
};

}  // namespace zelto
