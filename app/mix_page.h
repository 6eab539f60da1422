#pragma once
// The mix page (dialog 402): a modeless window with the input-mix matrix of the output channels,
// one slider with its field and spin per output channel (row) and input source (column), and a
// row of settings at the top. Every change goes into the channel objects at once; the change scan
// sends the mix items. Closing the window tells the main form, which then forgets it.

#include <array>

#include "core/encodings.h"
#include "controls/skin_dialog.h"
#include "edit/channel_rules.h"

namespace zelto {

class BitmapSlider;
class CKTV_Data;
class Editor;
class ComBoxBtn;
class NumEdit;
class NumSpin;
struct DeviceImage;

/// What the mix page keeps while the program runs, beyond what the device image holds.
struct MixPageMemo {
  int setting = 0;  // field 2390
  int list = 0;     // the list's choice
};

class MixPage : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 402;
  static constexpr int kRows = rules::kMixRows;
  static constexpr int kColumns = rules::kMixColumns;
  /// Rows beyond the output channels have no channel behind them and are never shown.
  static constexpr int kShownRows = 8;
  static constexpr int kFirstSlider = 2435;
  static constexpr int kFirstField = 2582;
  static constexpr int kFirstSpin = 2730;
  static constexpr int kFieldChars = 6;
  static constexpr std::array<int, 3> kTopFields = {2390, 2391, 2392};
  static constexpr std::array<int, 3> kTopSpins = {2393, 2394, 2395};
  static constexpr int kTopFieldChars = 7;
  static constexpr int kTopFieldMax = 100;
  static constexpr int kList = 2396;
  static constexpr int kWidth = 1110;
  static constexpr int kHeight = 598;

  MixPage(Language lang, Editor& editor, MixPageMemo& memo, QWidget* parent = nullptr);

  /// "混音器" / "Mixer".
  static QString Title(Language lang);
  /// Every slider and field from the channel objects, the top fields from the image.
  void Refresh();
  void SetLanguage(Language lang);

  BitmapSlider* Slider(int row, int column) const;
  NumEdit* Field(int row, int column) const;
  NumSpin* Spin(int row, int column) const;
  NumEdit* TopField(int index) const;
  ComBoxBtn* List() const { return list_; }

 signals:
  /// The shares of output channel `channel` changed.
  void channelChanged(int channel);
  /// The window was closed (its close box, Escape or closing it from code).
  void closed();

 protected:
  void PaintBody(QPainter& painter) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Cell {
    BitmapSlider* slider = nullptr;
    NumEdit* field = nullptr;
    NumSpin* spin = nullptr;
  };
  Cell& At(int row, int column) { return cells_[static_cast<std::size_t>(row * kColumns + column)]; }
  const Cell& At(int row, int column) const { return cells_[static_cast<std::size_t>(row * kColumns + column)]; }
  void OnSlider(int row, int column);
  void OnField(int row, int column);
  void Store(int row, int column, int value);
  void OnTopField(int index);

  Editor& editor_;
  CKTV_Data& data_;
  const DeviceImage& image_;
  MixPageMemo& memo_;
  std::array<Cell, static_cast<std::size_t>(kRows* kColumns)> cells_{};
  std::array<NumEdit*, 3> topFields_{};
  std::array<NumSpin*, 3> topSpins_{};
  ComBoxBtn* list_ = nullptr;
};

}  // namespace zelto
