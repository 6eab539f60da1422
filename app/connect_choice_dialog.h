#pragma once
// The question after connecting when the processor's settings differ from changes it never
// received (made while no processor was connected, or lost with a failed link): send the user's
// settings to it, or keep its own. The dialog cannot be closed without an answer; either answer
// can be undone.

#include <vector>

#include "controls/skin_dialog.h"
#include "core/encodings.h"

namespace zelto {

class BitButton;

class ConnectChoiceDlg : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 380;
  static constexpr int kSendMine = 2440;
  static constexpr int kKeepProcessor = 2441;
  static constexpr int kWidth = 560;
  static constexpr int kHeight = 230;

  /// `channels` (0-based) are the output channels whose settings differ.
  ConnectChoiceDlg(Language lang, std::vector<int> channels, QWidget* parent = nullptr);

  /// True when the user chose to send their settings (valid once the dialog was accepted).
  bool SendMine() const { return sendMine_; }
  BitButton* Button(int id) const;

  /// Runs the dialog and returns the answer: true to send the user's settings.
  static bool Ask(Language lang, std::vector<int> channels, QWidget* parent);

 public slots:
  /// Escape and the window's close do not answer the question.
  void reject() override {}

 protected:
  void PaintBody(QPainter& painter) override;

 private:
  std::vector<int> channels_;
  bool sendMine_ = false;
  BitButton* send_ = nullptr;
  BitButton* keep_ = nullptr;
};

}  // namespace zelto
