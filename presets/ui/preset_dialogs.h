#pragma once
// The preset dialogs, opened modally from the main form's file menu:
//   Source Load (456): six slot buttons recall the processor's stored presets; the file button
//                      loads a PC file (".dsps" or ".dspa").
//   Source Save (457): a click on a slot asks for a name (dialog 520) and stores the current
//                      settings there; the file button saves one preset or all slots to a PC file.
// A right press on a slot button offers Load / Save / Delete in both dialogs. Slot buttons talk to
// the processor and are disabled while it is not connected.
//
// The dialogs run every operation through the engine (preset slots and PC files). What they ask
// of the user (message boxes, the name, a file, the context menu) goes through PresetDialogHooks,
// so the main view can route message boxes its own way and tests can answer without a modal
// window.

#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/notice.h"
#include "presets/preset_files.h"
#include "controls/skin_dialog.h"

class QLineEdit;
class QPoint;

namespace zelto {

class BitButton;
class Engine;

enum class PresetFileDialog { Open, Save };
enum class SlotCommand { Load, Save, Delete };

/// What the preset dialogs ask of the user and tell the main view. An empty member means the
/// real thing: a message box, the name dialog, the system's file dialog, the pop-up menu; an empty
/// showFileTitle shows no title.
struct PresetDialogHooks {
  /// A message box with OK.
  std::function<void(const QString& text)> inform;
  /// An OK / Cancel question; true for OK.
  std::function<bool(const QString& text)> confirm;
  /// The name dialog: the text typed, nothing when cancelled.
  std::function<std::optional<QString>(const QString& current)> askName;
  /// A file dialog with the given Qt filter: the chosen path, nothing when cancelled.
  std::function<std::optional<QString>(PresetFileDialog kind, const QString& filter)> chooseFile;
  /// The slot buttons' context menu: the command chosen, nothing when dismissed.
  std::function<std::optional<SlotCommand>(int slot, const QPoint& globalPos)> chooseCommand;
  /// The main view's file-name field (the file's title, at most 13 characters).
  std::function<void(const QString& title)> showFileTitle;
  /// A PC file was saved or loaded (its full path): the file menu lists it among the recent ones.
  std::function<void(const std::string& path)> fileUsed;
  /// Loads a preset file as the editor does (one step of the history); PresetFiles::LoadFile
  /// when not set.
  std::function<PresetFileResult(const std::string& path)> loadFile;
};

/// Shows how a file operation ended: the title for Saved and Loaded, the message for Failed.
void ShowPresetFileResult(const PresetFileResult& result, Language lang, const PresetDialogHooks& hooks,
                          QWidget* parent);

/// The window's side of an all-slots save, which ends after the dialog has handed over: call it
/// with every notice, after Engine::HandleNotice. Notice::PresetsReadDone writes the remembered
/// file and shows its title or the error; a link failure forgets the save. Returns true for
/// PresetsReadDone.
bool HandlePresetFileNotice(PresetFiles& files, Notice notice, Language lang, const PresetDialogHooks& hooks,
                            QWidget* parent);

/// The name dialog (520): one line for a preset's name, OK and Cancel.
class CPresetNameDlg final : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 520;
  static constexpr int kOkId = 1;
  static constexpr int kCancelId = 3;
  static constexpr int kNameEditId = 1000;

  CPresetNameDlg(const QString& current, Language lang, QWidget* parent = nullptr);

  QString Name() const;
  QLineEdit* Edit() const { return edit_; }

 protected:
  void PaintBody(QPainter& painter) override;

 private:
  QLineEdit* edit_ = nullptr;
};

/// What the two preset dialogs share: the six slot buttons, their context menu, the file button.
class PresetDialog : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kSlots = 6;
  /// Characters of a name a slot button shows right after it was stored.
  static constexpr int kShownNameChars = 16;

  /// Slot names from the device image, the current preset's highlight, and the buttons that talk
  /// to the processor enabled only while it is connected. The main view calls it from RefreshAll,
  /// on every change of the connection and when a preset name arrives.
  void Refresh();
  void SetLanguage(Language lang);

  /// Slot button 1..6.
  BitButton* SlotButton(int slot) const;
  BitButton* FileButton() const { return fileButton_; }
  /// A command of the slot buttons' context menu.
  void RunSlotCommand(int slot, SlotCommand command);

  /// What a slot button shows for the stored name of `slot`: the name, or its digit.
  QString SlotText(int slot) const;

 protected:
  PresetDialog(int dialogId, int firstSlotId, const BiText& caption, Engine& engine, PresetFiles& files, Language lang,
               PresetDialogHooks hooks, QWidget* parent);

  virtual void OnSlotClicked(int slot) = 0;
  virtual void OnFileButton() = 0;
  /// Whether the current preset's slot is highlighted (the load dialog shows which one is on).
  virtual bool ShowsCurrentPreset() const { return false; }
  virtual void RefreshFileControls() {}

  /// The name dialog for `slot`, then the store under that name.
  void StoreNamed(int slot);
  void Recall(int slot, bool fromDialog);

  void Inform(const QString& text);
  bool Confirm(const QString& text);
  std::optional<QString> ChooseFile(PresetFileDialog kind, std::string_view frameworkFilter);
  void ShowResult(const PresetFileResult& result);
  bool LinkOpen() const;
  QString Text(const char* zh, const char* en) const;

  void PaintBody(QPainter& painter) override;
  /// The hint under the caption, in the current language.
  virtual QString Hint() const = 0;

  Engine& engine_;
  PresetFiles& files_;
  PresetDialogHooks hooks_;
  BitButton* fileButton_ = nullptr;

 private:
  void OnRightPress(int slot);

  int firstSlotId_;
  std::array<BitButton*, kSlots> slots_{};
};

/// Source Load (456).
class CSourceLoadDlg final : public PresetDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 456;
  static constexpr int kFirstSlotId = 2419;
  static constexpr int kFileButtonId = 2426;

  CSourceLoadDlg(Engine& engine, PresetFiles& files, Language lang, PresetDialogHooks hooks = {},
                 QWidget* parent = nullptr);

  /// Loads the PC file at `path` (what the file button does after its file dialog).
  PresetFileResult LoadFile(const QString& path);

 protected:
  void OnSlotClicked(int slot) override;
  void OnFileButton() override;
  bool ShowsCurrentPreset() const override { return true; }
  QString Hint() const override;
};

/// Source Save (457).
class CSourceSaveDlg final : public PresetDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 457;
  static constexpr int kFirstSlotId = 2401;
  static constexpr int kSingleId = 2427;
  static constexpr int kAllId = 2428;
  static constexpr int kFileButtonId = 2429;

  CSourceSaveDlg(Engine& engine, PresetFiles& files, Language lang, PresetDialogHooks hooks = {},
                 QWidget* parent = nullptr);

  /// The check buttons: one preset (".dsps") or all slots (".dspa") for the file button.
  void ChooseAllSlots(bool all);
  bool AllSlotsChosen() const { return all_; }
  BitButton* SingleButton() const { return single_; }
  BitButton* AllButton() const { return allButton_; }

  /// Saves to `path` by the current choice (what the file button does after its file dialog).
  /// All slots are first read back from the processor; the file is written when that read ends
  /// (HandlePresetFileNotice).
  PresetFileResult SaveFile(const QString& path);

 protected:
  void OnSlotClicked(int slot) override;
  void OnFileButton() override;
  void RefreshFileControls() override;
  void PaintBody(QPainter& painter) override;
  QString Hint() const override;

 private:
  bool all_ = false;
  BitButton* single_ = nullptr;
  BitButton* allButton_ = nullptr;
};

}  // namespace zelto
