#include "presets/preset_files.h"

#include <mutex>

#include "link/engine.h"
#include "core/file_io.h"

namespace zelto {

using Status = PresetFileResult::Status;

namespace {

PresetFileResult Failed(PresetMessage message, std::string path) {
  PresetFileResult r;
  r.status = Status::Failed;
  r.message = message;
  r.path = std::move(path);
  return r;
}

PresetFileResult Done(Status status, std::string path) {
  PresetFileResult r;
  r.status = status;
  r.title = PresetFileTitle(path);
  r.path = std::move(path);
  return r;
}

}  // namespace

PresetFileResult PresetFiles::SavePresetFile(const std::string& chosen) {
  const std::string path = WithPresetExtension(chosen, PresetFileKind::Single);
  std::vector<std::uint8_t> bytes;
  {
    // The worker packs changed items into the live image inside its exchanges: take the image
    // between two of them.
    std::lock_guard lock(engine_.Transfer());
    engine_.Data().PackAll();
    engine_.Image().live[preset::kMusicSwitch] = preset_file::kMusicInputOn;
    bytes = SinglePresetFileBytes(engine_.Image());
  }
  if (!WriteFileReplacing(path, bytes)) return Failed(PresetMessage::SaveMusicFileError, path);
  return Done(Status::Saved, path);
}

PresetFileResult PresetFiles::SaveAllSlotsFile(const std::string& chosen) {
  const std::string path = WithPresetExtension(chosen, PresetFileKind::AllSlots);
  PresetFileResult r;
  r.path = path;
  if (!PresetLinkOpen(engine_)) {
    engine_.View().ShowMessage(UserMessage::UnableToConnect);
    r.status = Status::NotConnected;
    return r;
  }
  pendingPath_ = path;
  if (ReadAllSlots(engine_) != SlotOutcome::Queued) {
    pendingPath_.reset();
    r.status = Status::NotConnected;
    return r;
  }
  r.status = Status::ReadingBack;
  return r;
}

PresetFileResult PresetFiles::OnPresetsReadDone() {
  if (!pendingPath_) return {};
  const std::string path = std::move(*pendingPath_);
  pendingPath_.reset();
  std::vector<std::uint8_t> bytes;
  {
    std::lock_guard lock(engine_.Transfer());
    engine_.Data().PackAll();
    engine_.Image().live[preset::kMusicSwitch] = preset_file::kMusicInputOn;
    bytes = AllSlotsFileBytes(engine_.Image());
  }
  if (!WriteFileReplacing(path, bytes)) return Failed(PresetMessage::SaveFileError, path);
  return Done(Status::Saved, path);
}

PresetFileResult PresetFiles::LoadFile(const std::string& path) {
  const auto kind = PresetFileKindOf(path);
  // Any other extension loads nothing.
  if (!kind) return Failed(PresetMessage::FileError, path);
  return *kind == PresetFileKind::Single ? LoadSingle(path) : LoadAllSlots(path);
}

PresetFileResult PresetFiles::LoadSingle(const std::string& path) {
  const FileBytes file = ReadWholeFile(path, preset_file::kSingleSize);
  if (!file.ok() || !IsPresetFile(file.bytes, PresetFileKind::Single)) return Failed(PresetMessage::FileError, path);
  {
    std::lock_guard lock(engine_.Transfer());
    ReadSinglePresetFile(file.bytes, engine_.Image());
    engine_.Data().UnpackAll(engine_.Image().live, CKTV_Data::kEffectPartLive);
    engine_.Queue().SetStatusSettleCount(CKTVCommand::kStatusSettleAfterStart);
  }
  PresetFileResult r = Done(Status::Loaded, path);
  r.transfer = StoreToSlot(engine_, 0, true);
  engine_.View().RefreshAll();
  return r;
}

PresetFileResult PresetFiles::LoadAllSlots(const std::string& path) {
  const FileBytes file = ReadWholeFile(path, preset_file::kAllSlotsSize);
  if (!file.ok() || !IsPresetFile(file.bytes, PresetFileKind::AllSlots))
    return Failed(PresetMessage::ReadAllMusicFileError, path);
  {
    std::lock_guard lock(engine_.Transfer());
    ReadAllSlotsFile(file.bytes, engine_.Image());
    engine_.Data().UnpackAll(engine_.Image().live, CKTV_Data::kEffectPartLive);
    engine_.Queue().SetStatusSettleCount(CKTVCommand::kStatusSettleAfterStart);
  }
  PresetFileResult r = Done(Status::Loaded, path);
  r.transfer = SendAll(engine_);
  engine_.View().RefreshAll();
  return r;
}

bool PresetFiles::HandleNotice(Notice notice, PresetFileResult* result) {
  // A failed link ends the read-back for good: a later read of the slots must not write the file.
  if (notice == Notice::LinkFailed || notice == Notice::EmptyReply) CancelPendingSave();
  if (notice != Notice::PresetsReadDone) return false;
  PresetFileResult r = OnPresetsReadDone();
  if (result) *result = std::move(r);
  return true;
}

}  // namespace zelto
