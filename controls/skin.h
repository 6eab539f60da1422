#pragma once
// The painted look every skinned control shares: colours, fonts and the faces of buttons.
// Faces are drawn, not loaded, so a language switch only changes the words the painter writes.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <string_view>

#include "core/encodings.h"

class QPainter;
class QRectF;

namespace zelto {

/// A text in both interface languages; a control keeps both and shows the one its language picks.
struct BiText {
  QString zh;
  QString en;

  const QString& In(Language lang) const { return lang == Language::Chinese ? zh : en; }
  bool IsEmpty() const { return zh.isEmpty() && en.isEmpty(); }
  bool operator==(const BiText&) const = default;
};

/// The same words in both languages (channel names, units, numbers).
inline BiText Same(const QString& text) { return {text, text}; }

/// Chinese and English words written in the source (UTF-8).
inline BiText Bi(const char* zh, const char* en) { return {QString::fromUtf8(zh), QString::fromUtf8(en)}; }

/// The words of the language `lang` picks.
inline const char* Pick(Language lang, const char* zh, const char* en) { return lang == Language::Chinese ? zh : en; }

/// A text of the engine (UTF-8) for a widget.
inline QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// Symbols a face can carry besides or instead of words.
enum class Glyph {
  None,
  Speaker,       // channel or master output sounding
  SpeakerMuted,  // crossed speaker
  Close,
  Minimise,
  Power,
  Marker,  // speaker position on the car picture
};

/// The colouring of a face: plain (idle), lit (selected / active), alert (muted, inverted),
/// ghost (translucent, laid over a picture) and its lit form.
enum class Tone { Plain, Lit, Alert, Ghost, GhostLit };

/// One picture of a button, described instead of drawn: words, symbol and colouring.
struct Face {
  BiText text;
  Glyph glyph = Glyph::None;
  Tone tone = Tone::Plain;
  QColor accent;  // overrides the tone's colour when valid (curve buttons carry their curve colour)

  bool operator==(const Face&) const = default;
};

inline Face Caption(const BiText& text, Tone tone = Tone::Plain) { return Face{text, Glyph::None, tone, {}}; }
inline Face Icon(Glyph glyph, Tone tone = Tone::Plain) { return Face{{}, glyph, tone, {}}; }

/// Which variant of a face is shown.
enum class FaceState { Normal, Hover, Pressed, Highlighted, Disabled, Fixed };

namespace skin {

/// A control that makes many edits between a press and its release (a slider, a held spin arrow,
/// the graph) carries this property set to true: the form holds one history step open from the
/// press to the release. Every other control's edit is a step of its own.
inline constexpr const char* kStepGesture = "zeltoStepGesture";

// Colours given for the form and its lists, used exactly.
inline const QColor kListBackground{50, 50, 50};
inline const QColor kListSelection{0, 120, 215};
inline const QColor kTabStrip{227, 227, 238};
inline const QColor kLabelText{200, 200, 200};
inline const QColor kHighlight{58, 115, 255};

// The rest of the dark console look.
inline const QColor kWindow{22, 25, 31};
inline const QColor kPanel{30, 34, 41};
inline const QColor kPanelEdge{50, 56, 66};
inline const QColor kGroupFill{24, 27, 33};    // a group inside a panel
inline const QColor kPictureFill{16, 18, 22};  // behind a drawn picture
inline const QColor kCaptionText{150, 160, 174};
// The brand colour: caption marks, progress, arrows; and the connected state.
inline const QColor kAccent{0, 168, 120};
inline const QColor kConnected{0, 150, 100};
inline const QColor kFaceTop{58, 64, 75};
inline const QColor kFaceBottom{36, 40, 48};
inline const QColor kFaceBorder{74, 82, 95};
inline const QColor kHoverBorder{130, 146, 168};
inline const QColor kText{226, 231, 238};
inline const QColor kTextDim{112, 118, 128};
inline const QColor kAlert{214, 64, 52};
inline const QColor kGroove{12, 14, 18};
inline const QColor kTick{70, 76, 88};
inline const QColor kThumbTop{206, 210, 216};
inline const QColor kThumbBottom{128, 133, 141};
inline const QColor kMissingFace{64, 64, 64};  // a two-state button without a picture

/// Font families tried in order: Latin first, then a CJK family for the Chinese words.
QStringList UiFamilies();
/// The face font at a pixel height.
QFont FaceFont(int pixelHeight, bool bold = true);

}  // namespace skin

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

namespace skin {

/// Paints one face into `area` in the given state and language.
void PaintFace(QPainter& painter, const QRectF& area, const Face& face, FaceState state, Language lang);
/// Paints a symbol centred in `area` in `colour`.
void PaintGlyph(QPainter& painter, const QRectF& area, Glyph glyph, const QColor& colour);
/// The colour a tone lights up with (the face's accent when it has one).
QColor ToneColour(const Face& face);

}  // namespace skin
}  // namespace zelto
