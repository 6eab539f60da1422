#pragma once
// What the firmware update asks of its dialog, always on the window thread. The defaults do
// nothing, so a command-line driver or a test implements only what it watches.

#include <string>
#include <string_view>

#include "update/update_texts.h"

namespace zelto {

class UpdateView {
 public:
  virtual ~UpdateView() = default;
  /// A message box; returns when the user has confirmed it.
  virtual void ShowUpdateMessage(UpdateMessage) {}
  /// The path field shows `path` (empty after a file could not be opened).
  virtual void ShowUpdatePath(const std::string& /*path*/) {}
  /// The status line shows `text`.
  virtual void ShowUpdateStatus(std::string_view /*text*/) {}
  /// The update progress bar: range 0..count, position 0.
  virtual void SetUpdateRange(int /*count*/) {}
  virtual void SetUpdatePosition(int /*position*/) {}
};

}  // namespace zelto
