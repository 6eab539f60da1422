#pragma once
// The frame every dialog of the editor shares: a frameless, fixed-size window painted in the main
// form's dark console look, with a caption strip that drags it and a close button. Subclasses
// place their controls below the strip and paint their own labels in PaintBody.

#include <QDialog>
#include <QPalette>
#include <optional>
#include <string_view>

#include "controls/skin.h"

namespace zelto {

class XPButton;

/// The framework's filter text ("description|pattern||", patterns separated by ';') in Qt's form
/// ("description (pattern pattern)", entries separated by ";;").
QString QtFileFilter(std::string_view frameworkFilter);

/// The look of a text field in the dialogs: dark well, light text, blue focus ring.
QString SkinEditStyle();
/// The look of the pop-up menus (the same as the main form's).
QString SkinMenuStyle();
/// The skin's colours as a palette: Qt's own widgets in a dialog (labels, group boxes, drop lists,
/// number and text boxes, check boxes, push buttons, tables, progress bars) draw themselves dark
/// from it, as the skinned controls are. Every skinned dialog has it; a style sheet on a widget
/// replaces it for that widget and those inside it.
QPalette SkinPalette();

class SkinDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kCaptionHeight = 36;
  static constexpr int kCloseButtonId = 9;  // the close box of the caption strip
  static constexpr int kMargin = 22;

  Language CurrentLanguage() const { return lang_; }
  /// The caption in both languages; shown in the strip and as the window title.
  void SetCaption(const BiText& caption);
  XPButton* CloseButton() const { return closeButton_; }

 protected:
  SkinDialog(int dialogId, QSize size, Language lang, QWidget* parent);

  /// Re-applies the language to every skinned control of the dialog and repaints.
  void ApplyLanguage(Language lang);
  /// Labels and decorations of the dialog's body, painted over the background.
  virtual void PaintBody(QPainter& /*painter*/) {}
  /// Draws a small caption-style label (dim, upper case in English) at `area`.
  void PaintLabel(QPainter& painter, const QRectF& area, const BiText& text, Qt::Alignment align = Qt::AlignLeft) const;
  /// A thin separator line across the body at `y`.
  void PaintSeparator(QPainter& painter, int y) const;

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  Language lang_;
  BiText caption_;
  XPButton* closeButton_ = nullptr;
  std::optional<QPoint> dragOffset_;
};

}  // namespace zelto
