#pragma once
// What the connection code asks of whoever shows the program, on the window thread. The editor
// implements it with its widgets; the command-line tool and the tests with plain code. Calls
// from the link worker never come here: they arrive as notices.

#include <string>
#include <string_view>

#include "core/encodings.h"

namespace zelto {

/// Messages the connection and transfer code raise for the user.
enum class UserMessage {
  UnableToConnect,  // "无法连接设备" / "unable to connect"
  UpdateFirmware,   // "数据回传错误!" / "Please Update the Firmware!"
};

std::string_view UserMessageText(UserMessage message, Language lang);

/// Why the last "unable to connect" was raised: every front end says it under the message, with
/// what to do about it (link/refused_open_text.h).
enum class ConnectFailure {
  NotFound,  // no processor answered the search (not plugged in, switched off, nothing at the address)
  Refused,   // a processor was found but could not be opened (HidLink::TakeRefusedOpen says why)
  NoReply,   // the open processor stopped answering; the connection was closed
  Removed,   // the open processor went away (unplugged, switched off, the connection closed)
};

class LinkView {
 public:
  virtual ~LinkView() = default;
  virtual void ShowMessage(UserMessage) {}
  /// Disables the window that started a transfer and shows the progress window.
  virtual void ShowTransferWindow(bool /*fromPresetDialog*/) {}
  virtual void HideTransferWindow() {}
  virtual void SetTransferRange(int /*count*/) {}
  virtual void ShowConnectedState(bool /*connected*/) {}
  /// Clears the preset and file names shown while connected.
  virtual void ResetNameDisplays() {}
  /// Every control shows the objects again (after a read-back or a recall).
  virtual void RefreshAll() {}
};

}  // namespace zelto
