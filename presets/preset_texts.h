#pragma once
// What the preset dialogs and the file operations say to the user, in both interface languages.

#include <string_view>

#include "core/encodings.h"

namespace zelto {

enum class PresetMessage {
  BlankName,              // "组名不能全为空格!" / "The name can not be all spaces!"
  ConfirmDelete,          // "是否删除本组音效数据?" / "Are you delete this Source Data?" (OK / Cancel)
  SaveMusicFileError,     // a single-preset file cannot be written
  FileError,              // a single-preset file cannot be read or is not one
  SaveFileError,          // an all-slots file cannot be written when the read-back ends
  ReadAllMusicFileError,  // an all-slots file cannot be read or is not one
};

std::string_view PresetMessageText(PresetMessage message, Language lang);

/// Fixed words of the preset dialogs.
enum class PresetDialogText {
  LoadCaption,  // "音效调用" / "Source Load"
  SaveCaption,  // "音效保存" / "Source Save"
  NameCaption,  // "音效组名:" / "Source Name:"
  MenuLoad,     // "读取" / "Load"
  MenuSave,     // "保存" / "Save"
  MenuDelete,   // "删除" / "Delete"
};

std::string_view PresetDialogTextOf(PresetDialogText text, Language lang);

/// File dialog filters (framework form: description|pattern||).
inline constexpr std::string_view kSinglePresetFilter = "*.dsps|*.dsps||";
inline constexpr std::string_view kAllSlotsFilter = "*.dspa|*.dspa||";
inline constexpr std::string_view kPresetLoadFilter = "*.dsps;*.dspa|*.dsps;*.dspa||";

}  // namespace zelto
