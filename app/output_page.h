#pragma once
// The output page (dialog 136) in the main form's page area. It edits the current output channel
// in detail: the 31 EQ band rows (frequency, Q and gain boxes with their spins, a gain slider and a
// band switch each), the whole-EQ commands (PEQ/GEQ, reset, bypass of all bands) and, on its
// second sheet, the channel's crossover, limiter and output gain.
//
// The page only shows and reports: every edit is handed to the main form through the signals
// below, which changes the parameter objects and tells the page what to show. Reading the bound
// channel takes the model lock.

#include <QPointer>
#include <QWidget>
#include <array>

#include "controls/num_edit.h"
#include "core/encodings.h"

namespace zelto {

class BitButton;
class BitmapSlider;
class CFilter;
class CKTV_Data;
class CKTV_OutData;
class ComBoxBtn;
class FontStatic;
class XPButton;

class OutputPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 136;
  static constexpr int kBands = 31;

  // Band row k: control id = first id + k.
  static constexpr int kFirstBandLabel = 5280;
  static constexpr int kFirstFrequencyBox = 5200;
  static constexpr int kFirstFrequencySpin = 5240;
  static constexpr int kFirstQBox = 4500;
  static constexpr int kFirstQSpin = 4540;
  static constexpr int kFirstGainBox = 5000;
  static constexpr int kFirstGainSpin = 5040;
  static constexpr int kFirstGainSlider = 5100;
  static constexpr int kFirstBandSwitch = 5320;

  // Whole-EQ commands.
  static constexpr int kEqModeSwitch = 5686;
  static constexpr int kEqReset = 5687;
  static constexpr int kAllBypass = 1870;
  static constexpr int kAllBypassButton = 1976;

  // Crossover, limiter and output gain.
  static constexpr int kHighPassType = 1001;
  static constexpr int kHighPassSlope = 1014;
  static constexpr int kHighPassBox = 1004;
  static constexpr int kHighPassSpin = 1351;
  static constexpr int kLowPassType = 1013;
  static constexpr int kLowPassSlope = 1015;
  static constexpr int kLowPassBox = 1005;
  static constexpr int kLowPassSpin = 1352;
  static constexpr int kThresholdBox = 1010;
  static constexpr int kThresholdSpin = 1308;
  static constexpr int kAttackBox = 1609;
  static constexpr int kAttackSpin = 1613;
  static constexpr int kReleaseList = 1614;
  static constexpr int kGainBox = 1625;
  static constexpr int kGainSpin = 1626;

  // Band values as the boxes hold them.
  static constexpr int kBandGainMax = 400;  // 0.1 dB steps from -20 dB
  static constexpr double kBandGainStep = 0.1;
  static constexpr double kBandGainOffset = kBandGainOffsetDb;
  static constexpr int kLimiterThresholdMax = 500;  // +20 dBu
  static constexpr double kLimiterThresholdStep = 0.1;
  static constexpr double kLimiterThresholdOffset = 30.0;
  static constexpr int kLimiterAttackMax = 255;
  static constexpr int kLimiterReleases = 6;
  static constexpr int kOutputGainMax = 60;  // 0 dB; 0 switches the gain off
  static constexpr double kOutputGainOffsetDb = ::zelto::kOutputGainOffsetDb;

  /// What a band box or spin edits.
  enum class BandValue { Frequency, Bandwidth, Gain };

  explicit OutputPage(QWidget* parent = nullptr);

  /// The second sheet (crossover, limiter, output gain); the main form puts it into the page area.
  QWidget* SettingsSheet() const { return settings_; }
  /// The whole-EQ command buttons; the main form shows them beside the page area's tabs.
  QWidget* CommandBar() const { return commands_; }

  /// The objects the page reads (locking their model) and the channel it shows (null: none).
  void SetModel(CKTV_Data* data) { data_ = data; }
  void Bind(CKTV_OutData* channel);
  CKTV_OutData* Bound() const { return channel_; }
  /// Shows every band, the EQ mode, the EQ bypass state, crossover, limiter and gain of the bound
  /// channel; in GEQ mode the frequency and Q boxes are disabled.
  void Refresh();
  void SetLanguage(Language lang);
  Language CurrentLanguage() const { return lang_; }

  /// Shows band k from the filter: its boxes, slider and switch, then its bypass display.
  void ShowBand(int k, const CFilter& band);
  /// A band that is off shows gain "0.0" with spin and slider at 0 dB; one that is on its gain.
  void ShowBypassDisplay(int k, const CFilter& band);
  /// The EQ mode switch and the enabled state of the frequency and Q boxes.
  void ShowEqMode(int mode);
  void ShowEqBypass(bool on);
  bool EqBypassShown() const;
  int EqModeShown() const;
  /// The band label drawn in the highlight colour (the last edited band), -1 for none.
  void SetHighlightedBand(int band);
  int HighlightedBand() const { return highlighted_; }
  /// Marks `box` as the last edited box (null clears the mark).
  void SetLastEdited(NumEdit* box);
  NumEdit* LastEdited() const { return lastEdited_; }

  void ShowCrossover(const CFilter& highPass, const CFilter& lowPass);
  void ShowLimiter(int thresholdCode, int attackCode, int releaseCode);
  void ShowOutputGain(int gainCode);

  // Controls, for the main form and for tests.
  FontStatic* BandLabel(int k) const { return Row(k).label; }
  NumEdit* FrequencyBox(int k) const { return Row(k).frequency; }
  NumEdit* QBox(int k) const { return Row(k).q; }
  NumEdit* GainBox(int k) const { return Row(k).gain; }
  NumSpin* FrequencySpin(int k) const;
  NumSpin* QSpin(int k) const;
  NumSpin* GainSpin(int k) const;
  BitmapSlider* GainSlider(int k) const { return Row(k).slider; }
  XPButton* BandSwitch(int k) const { return Row(k).bandSwitch; }
  XPButton* ModeSwitch() const { return modeSwitch_; }
  XPButton* ResetButton() const { return reset_; }
  BitButton* AllBypass() const { return allBypass_; }
  XPButton* AllBypassButton() const { return allBypassButton_; }
  NumEdit* HighPassBox() const { return hpBox_; }
  NumEdit* LowPassBox() const { return lpBox_; }
  NumSpin* HighPassSpin() const { return hpSpin_; }
  NumSpin* LowPassSpin() const { return lpSpin_; }
  ComBoxBtn* HighPassType() const { return hpType_; }
  ComBoxBtn* HighPassSlope() const { return hpSlope_; }
  ComBoxBtn* LowPassType() const { return lpType_; }
  ComBoxBtn* LowPassSlope() const { return lpSlope_; }
  NumEdit* ThresholdBox() const { return thresholdBox_; }
  NumEdit* AttackBox() const { return attackBox_; }
  ComBoxBtn* ReleaseList() const { return release_; }
  NumEdit* OutputGainBox() const { return gainBox_; }

 signals:
  /// A band box was committed or its spin stepped.
  void bandEdited(OutputPage::BandValue value, int band);
  /// A band's gain slider moved (`released` false) or was let go, keyed or wheeled (true).
  void bandSlider(int band, bool released);
  void bandSwitchPressed(int band);
  void eqBypassPressed();
  void eqModePressed();
  void eqResetPressed();
  /// A crossover frequency box of the page was committed or its spin stepped.
  void crossoverEdited(bool highPass);
  /// A crossover list chose: `family` or slope, of the high-pass or the low-pass.
  void crossoverListChosen(bool highPass, bool family, int index);
  void limiterEdited(int boxOrListId, int value);
  void outputGainEdited(int gainCode);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct BandRow {
    FontStatic* label = nullptr;
    NumEdit* frequency = nullptr;
    NumEdit* q = nullptr;
    NumEdit* gain = nullptr;
    BitmapSlider* slider = nullptr;
    XPButton* bandSwitch = nullptr;
  };
  const BandRow& Row(int k) const { return rows_.at(static_cast<std::size_t>(k)); }

  void BuildBands();
  void BuildCommands();
  void BuildSettings();
  void StepWithKeys(NumEdit* box);

  CKTV_Data* data_ = nullptr;
  CKTV_OutData* channel_ = nullptr;
  Language lang_ = Language::English;
  int highlighted_ = -1;
  QPointer<NumEdit> lastEdited_;
  std::array<BandRow, kBands> rows_{};

  QWidget* commands_ = nullptr;
  XPButton* modeSwitch_ = nullptr;
  XPButton* reset_ = nullptr;
  XPButton* allBypassButton_ = nullptr;
  BitButton* allBypass_ = nullptr;

  QWidget* settings_ = nullptr;
  ComBoxBtn* hpType_ = nullptr;
  ComBoxBtn* hpSlope_ = nullptr;
  NumEdit* hpBox_ = nullptr;
  NumSpin* hpSpin_ = nullptr;
  ComBoxBtn* lpType_ = nullptr;
  ComBoxBtn* lpSlope_ = nullptr;
  NumEdit* lpBox_ = nullptr;
  NumSpin* lpSpin_ = nullptr;
  NumEdit* thresholdBox_ = nullptr;
  NumSpin* thresholdSpin_ = nullptr;
  NumEdit* attackBox_ = nullptr;
  NumSpin* attackSpin_ = nullptr;
  ComBoxBtn* release_ = nullptr;
  NumEdit* gainBox_ = nullptr;
  NumSpin* gainSpin_ = nullptr;
};

}  // namespace zelto
