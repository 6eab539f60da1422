#pragma once
// Saving and loading the PC data files from the preset dialogs. One PresetFiles lives beside the
// Engine for the whole run (the window owns both); it only remembers the path of an all-slots
// save between the dialog and the end of the read-back that precedes the write.
//
// All of this runs on the window thread.

#include <optional>
#include <string>

#include "core/notice.h"
#include "presets/preset_file.h"
#include "presets/preset_slots.h"
#include "presets/preset_texts.h"

namespace zelto {

class Engine;

struct PresetFileResult {
  enum class Status {
    Saved,         // the file was written
    Loaded,        // the file was read into the image and the objects
    ReadingBack,   // an all-slots save: the slots are being read; the file follows on PresetsReadDone
    NotConnected,  // "unable to connect" was shown through the view; nothing written
    Failed,        // `message` says why; the image and any existing file are unchanged
    Idle,          // PresetsReadDone without a save waiting for it
  };
  Status status = Status::Idle;
  /// The message box to show (Failed only).
  std::optional<PresetMessage> message;
  /// The file actually used (with the extension appended on a save).
  std::string path;
  /// The file's title for the main view's file-name field (Saved, Loaded).
  std::string title;
  /// After a load: what became of sending the loaded settings to the processor.
  std::optional<SlotOutcome> transfer;

  bool ok() const { return status == Status::Saved || status == Status::Loaded || status == Status::ReadingBack; }
};

class PresetFiles {
 public:
  explicit PresetFiles(Engine& engine) : engine_(engine) {}

  /// Packs the objects into the live image, sets its music input switch and writes a
  /// single-preset file (".dsps" appended when missing).
  PresetFileResult SavePresetFile(const std::string& path);

  /// Remembers the path (".dspa" appended when missing) and reads slots 1..6 back; the file is
  /// written when the read-back ends (OnPresetsReadDone). Needs a connection.
  PresetFileResult SaveAllSlotsFile(const std::string& path);

  /// Handler of Notice::PresetsReadDone: writes the all-slots file remembered by SaveAllSlotsFile.
  PresetFileResult OnPresetsReadDone();

  /// Loads a ".dsps" or ".dspa" file, chosen by the extension: the whole file is read and checked
  /// before anything in the image changes. Then the objects are unpacked, the settings sent to the
  /// processor (StoreToSlot(0, true) or SendAll) and every control refreshed.
  PresetFileResult LoadFile(const std::string& path);

  /// Runs the engine side of Notice::PresetsReadDone (filling `result`, returns true). A link
  /// failure (Notice::LinkFailed, Notice::EmptyReply) forgets a save waiting for its read-back;
  /// the engine handles those notices itself, so this returns false for them.
  bool HandleNotice(Notice notice, PresetFileResult* result);

  bool SavePending() const { return pendingPath_.has_value(); }
  /// Forgets an all-slots save whose read-back will not end (the link failed).
  void CancelPendingSave() { pendingPath_.reset(); }

 private:
  PresetFileResult LoadSingle(const std::string& path);
  PresetFileResult LoadAllSlots(const std::string& path);

  Engine& engine_;
  std::optional<std::string> pendingPath_;
};

}  // namespace zelto
