#pragma once
// Single-line text labels (channel labels, band labels): Arial at a pixel height and colour the
// owner sets, aligned left, centre or right, vertically centred, on a transparent background.

#include <QColor>
#include <QWidget>

#include "controls/skin.h"

namespace zelto {

class FontStatic : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDefaultHeight = 14;
  static constexpr int kMaxHeight = 512;  // larger fonts are refused, as are non-positive ones

  explicit FontStatic(int id, QWidget* parent = nullptr);

  int Id() const { return id_; }
  void SetText(const BiText& text);
  const BiText& Text() const { return text_; }
  /// Sets the pixel height; a height no font can have leaves the label without a font.
  void SetTextHeight(int pixels);
  void SetColor(const QColor& colour);
  QColor Color() const { return colour_; }
  void SetBold(bool bold);
  /// Qt::AlignLeft, Qt::AlignHCenter or Qt::AlignRight.
  void SetAlignment(Qt::Alignment horizontal);
  void SetLanguage(Language lang);
  Language CurrentLanguage() const { return lang_; }

  /// False when the font could not be made; the label then shows FontErrorText instead of its text.
  bool HasFont() const { return hasFont_; }
  static BiText FontErrorText();
  /// The words shown now: the text, or the font error.
  QString ShownText() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int id_;
  BiText text_;
  int height_ = kDefaultHeight;
  bool bold_ = false;
  bool hasFont_ = true;
  QColor colour_ = skin::kLabelText;
  Qt::Alignment align_ = Qt::AlignLeft;
  Language lang_ = Language::English;
};

}  // namespace zelto
