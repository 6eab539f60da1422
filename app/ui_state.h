#pragma once
// The user-interface state the application owns for its whole run and hands to the main view and
// every dialog: the interface language, the shared fonts (controls/skin.h) and the dialog background.

#include <QColor>
#include <QFont>

#include "controls/skin.h"
#include "core/encodings.h"

namespace zelto {

/// What the parameter pages of the main view edit; the output channels are the only kind here.
inline constexpr int kOutputChannelKind = 3;

struct UiState {
  /// The program's one language: the runtime's engine reads this one too.
  Language language = Language::English;
  UiFonts fonts;
  /// The background of the main form's dialogs.
  QColor dialogBackground{227, 228, 238};
  int currentKind = kOutputChannelKind;
  int currentChannel = 0;
};

}  // namespace zelto
