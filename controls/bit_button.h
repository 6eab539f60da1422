#pragma once
// Two-state picture buttons (settings, file, mixer, DSP switch, delay units, EQ reset and bypass,
// the preset dialogs' slot buttons). Besides its face it can carry a line of window text (a preset
// name, say) drawn over the face in a font and colour the owner picks per state.

#include <QFont>
#include <array>
#include <optional>

#include "controls/skin_button.h"

namespace zelto {

class BitButton : public SkinButton {
  Q_OBJECT

 public:
  explicit BitButton(int id, QWidget* parent = nullptr);

  /// The pictures; without an "on" face the "off" face serves both states.
  void SetFaces(const Face& off, const std::optional<Face>& on = std::nullopt);
  void SetHighlighted(bool highlighted);
  bool IsHighlighted() const { return highlighted_; }

  /// Window text drawn centred on one line over the face (not part of the picture).
  void SetText(const QString& text);
  QString Text() const { return text_; }
  void SetTextFont(const QFont& font);
  void SetTextColor(FaceState state, const QColor& colour);

  FaceState ShownState() const override;
  /// The face of the current state, or none (the button then shows the plain face colour).
  const Face* ShownFace() const;
  QSize sizeHint() const override;

 signals:
  /// Right button pressed on the button (the preset dialogs' slot buttons use it).
  void rightPressed(int id);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::optional<Face> off_;
  std::optional<Face> on_;
  bool highlighted_ = false;
  QString text_;
  QFont textFont_;
  std::array<QColor, 6> textColours_;
};

}  // namespace zelto
