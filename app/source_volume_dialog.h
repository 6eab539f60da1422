#pragma once
// The source volume dialog (dialog 784): one column per source volume slot, each a value box and a
// vertical slider (0..100). Every change is stored in the device image and handed to `send` at
// once; there is nothing to confirm, closing keeps what was set. Enter moves to the next column.

#include <array>
#include <functional>

#include "core/device_image.h"
#include "core/encodings.h"
#include "link/view_rules.h"
#include "controls/skin_dialog.h"

namespace zelto {

class BitmapSlider;
class FontStatic;
class NumEdit;
class NumSpin;

class SvolumeDLG : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 784;
  static constexpr int kColumns = view_rules::kSourceVolumeSlots;
  // Column c: box, (hidden) spin and slider ids.
  static constexpr std::array<int, kColumns> kBoxes = {2591, 8631, 8632, 8633, 8634};
  static constexpr std::array<int, kColumns> kSpins = {2592, 8611, 8612, 8613, 8614};
  static constexpr std::array<int, kColumns> kSliders = {2590, 8651, 8652, 8653, 8654};
  static constexpr std::array<int, kColumns> kLabels = {2593, 8641, 8642, 8643, 8644};
  static constexpr int kWidth = 470;
  static constexpr int kHeight = 350;

  /// `send` queues the source volumes to the processor (when one is connected).
  SvolumeDLG(Language lang, DeviceImage& image, std::function<void()> send, QWidget* parent = nullptr);

  /// "音源音量" / "Source Volume".
  static QString Title(Language lang);
  /// The slot label of a column: "高电平", "低电平", "蓝牙", "数字", "播放器" or the English ones.
  static QString ColumnLabel(int column, Language lang);

  NumEdit* Box(int column) const;
  BitmapSlider* Slider(int column) const;

 protected:
  void PaintBody(QPainter& painter) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Column {
    FontStatic* label = nullptr;
    NumEdit* box = nullptr;
    NumSpin* spin = nullptr;
    BitmapSlider* slider = nullptr;
  };
  void OnBox(int column);
  void OnSlider(int column);
  void Store(int column, int value);

  DeviceImage& image_;
  std::function<void()> send_;
  std::array<Column, kColumns> columns_{};
};

}  // namespace zelto
