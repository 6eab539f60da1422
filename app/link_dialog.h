#pragma once
// The copy-direction dialog of the link button (dialog 370): when channels are linked in pairs,
// one side of each pair is the reference whose settings the other side takes. Two choice buttons
// work as a radio pair; OK returns the choice.

#include "core/encodings.h"
#include "controls/skin_dialog.h"

namespace zelto {

class BitButton;

class CH_Link_Dlg : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 370;
  static constexpr int kLeftToRight = 2420;
  static constexpr int kRightToLeft = 2421;
  static constexpr int kOk = 2418;
  static constexpr int kCancel = 2419;
  static constexpr int kWidth = 440;
  static constexpr int kHeight = 330;

  CH_Link_Dlg(Language lang, QWidget* parent = nullptr);

  /// 0: copy from left to right (the choice at opening), 1: from right to left.
  int Choice() const { return choice_; }
  void SetChoice(int choice);
  /// "声场联调" / "Grouping of Front channel".
  static QString Title(Language lang);

  BitButton* Button(int id) const;

 protected:
  void PaintBody(QPainter& painter) override;

 private:
  int choice_ = 0;
  BitButton* leftToRight_ = nullptr;
  BitButton* rightToLeft_ = nullptr;
  BitButton* ok_ = nullptr;
  BitButton* cancel_ = nullptr;
};

}  // namespace zelto
