#pragma once
// The firmware update dialog (270), modal, opened by "固件更新" / "Firmware Update": the image's
// path with a browse button, the start button, the progress bar and a blue status line. While an
// update runs the dialog cannot be closed (the close box, Escape and Enter never close it then);
// the start button does nothing and the browse button only warns.
//
// The transfer itself is the engine's UpdateTransfer, which lives beside the Engine for the whole
// run; the dialog is its view while it is open. Notices reach the dialog through HandleNotice.

#include <QString>
#include <functional>
#include <optional>

#include "core/notice.h"
#include "controls/skin_dialog.h"
#include "update/update_transfer.h"
#include "update/update_view.h"

class QLineEdit;
class QProgressBar;

namespace zelto {

class BitButton;
class FontStatic;

/// What the update dialog asks of the user. An empty member means the real thing: a message box,
/// the system's file dialog.
struct UpgradeDialogHooks {
  /// A message box with OK; returns when confirmed.
  std::function<void(const QString& text)> inform;
  /// The browse button's file dialog with the given Qt filter: the chosen path, nothing when
  /// cancelled.
  std::function<std::optional<QString>(const QString& filter)> chooseFile;
};

class UpgradeDlg final : public SkinDialog, public UpdateView {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 270;
  static constexpr int kStartId = 1881;
  static constexpr int kPathEditId = 1882;
  static constexpr int kBrowseId = 1883;
  static constexpr int kStatusId = 1886;
  static constexpr int kProgressId = 1414;

  UpgradeDlg(UpdateTransfer& transfer, Language lang, UpgradeDialogHooks hooks = {}, QWidget* parent = nullptr);
  ~UpgradeDlg() override;

  /// The window's notices while the dialog is open, after Engine::HandleNotice: the update's
  /// progress and status (Notice::UpdateStatus), its end (Notice::UpdateDone) and anything that
  /// ends it otherwise (a link failure) all pass here.
  void HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam);

  /// The browse button: the file dialog, then the chosen path in the field.
  void Browse();
  /// The start button with the path field's text. Blocks while it searches for the processor.
  UpdateTransfer::StartOutcome Start();

  void SetLanguage(Language lang);

  QLineEdit* PathField() const { return path_; }
  QProgressBar* ProgressBar() const { return progress_; }
  FontStatic* StatusLine() const { return status_; }
  BitButton* StartButton() const { return start_; }
  BitButton* BrowseButton() const { return browse_; }

  // UpdateView.
  void ShowUpdateMessage(UpdateMessage message) override;
  void ShowUpdatePath(const std::string& path) override;
  void ShowUpdateStatus(std::string_view text) override;
  void SetUpdateRange(int count) override;
  void SetUpdatePosition(int position) override;

  /// Every way of closing ends here; refused (with the warning) while an update runs.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void PaintBody(QPainter& painter) override;

 private:
  void RefreshState();
  QString Text(const char* zh, const char* en) const;

  UpdateTransfer& transfer_;
  UpgradeDialogHooks hooks_;
  QLineEdit* path_ = nullptr;
  BitButton* browse_ = nullptr;
  BitButton* start_ = nullptr;
  QProgressBar* progress_ = nullptr;
  FontStatic* status_ = nullptr;
};

}  // namespace zelto
