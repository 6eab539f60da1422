#pragma once
// What the firmware update says to the user. A few texts exist in Chinese only and are shown in
// that wording whatever the interface language.

#include <string_view>

#include "core/encodings.h"

namespace zelto {

enum class UpdateMessage {
  HexFileError,       // "固件文件错误!" / "Hex File error!": the image cannot be read (or is empty)
  WrongFileType,      // "升级文件类型错误！" (Chinese only): neither ".mva" nor ".contr"
  ControllerWarning,  // the hand-controller warning (Chinese only), shown before a controller image loads
  DontClose,          // "更新中 请勿关闭!" / "Don't close up the update!"
  UpdateSuccessful,   // "固件更新完成!" / "Update successfully!"
};

std::string_view UpdateMessageText(UpdateMessage message, Language lang);

/// The status line's text for the reply to update step `step`; empty when that reply shows none
/// in `lang` (the line keeps what it shows).
std::string_view UpdateStatusText(int step, Language lang);
/// Written into the status line while the processor is searched for.
std::string_view SearchStatusText(Language lang);

/// "设备固件更新" / "Device Firmware Update".
std::string_view UpdateDialogCaption(Language lang);
/// File dialog filter of the browse button (framework form).
inline constexpr std::string_view kUpdateFileFilter = "*.contr;*.mva|*.contr;*.mva||";

}  // namespace zelto
