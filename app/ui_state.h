#pragma once
// The user-interface state the application owns for its whole run and hands to the main view and
// every dialog: the interface language, the shared fonts and the dialog background.

#include <QColor>
#include <QFont>

#include "core/encodings.h"

namespace zelto {

/// The four shared fonts, by pixel height, so that the fixed layout looks the same at any
/// display scaling.
struct UiFonts {
  static constexpr int kSmallPixels = 12;
  static constexpr int kNormalPixels = 14;
  static constexpr int kMediumPixels = 16;
  static constexpr int kLargePixels = 18;

  QFont small;
  QFont normal;
  QFont medium;
  QFont large;

  static UiFonts Create();
};

/// What the parameter pages of the main view edit; the output channels are the only kind here.
inline constexpr int kOutputChannelKind = 3;

struct UiState {
  Language language = Language::English;
  UiFonts fonts;
  /// The background of the main form's dialogs.
  QColor dialogBackground{227, 228, 238};
  int currentKind = kOutputChannelKind;
  int currentChannel = 0;
};

/// The same words in both languages, picked by the flag.
inline const char* Pick(Language lang, const char* zh, const char* en) { return lang == Language::Chinese ? zh : en; }

}  // namespace zelto
