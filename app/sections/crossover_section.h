#pragma once
// The crossover section: the current channel's high-pass and low-pass filters, each a frequency
// box with its spin and the family and slope lists.

#include "app/sections/section.h"

namespace zelto {

class CFilter;
class ComBoxBtn;
class NumEdit;
class NumSpin;

class CrossoverSection : public Section {
  Q_OBJECT

 public:
  static constexpr QRect kRegion{8, 152, 330, 118};

  CrossoverSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent);

  /// Shows the two filters; the caller holds the model lock.
  void Show(const CFilter& highPass, const CFilter& lowPass);

 signals:
  /// A filter of the current channel (and its link group) changed here.
  void edited(bool highPass);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Row {
    NumEdit* box = nullptr;
    NumSpin* spin = nullptr;
    ComBoxBtn* family = nullptr;
    ComBoxBtn* slope = nullptr;
  };

  Row BuildRow(bool highPass, int y);
  void OnFrequency(bool highPass);
  void OnListChosen(int listId, int index);
  static void ShowRow(Row& row, const CFilter& filter);

  Row high_;
  Row low_;
};

}  // namespace zelto
