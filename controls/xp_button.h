#pragma once
// Picture buttons of the main form and the output page (connect, phase, curve, link, mutes,
// channel select, close, minimise, band switches, ...). Clicking never flips the on/off flag:
// the owner does that in its click handler, so the face always shows the owner's state.

#include <QPixmap>
#include <optional>

#include "controls/skin_button.h"

namespace zelto {

class XPButton : public SkinButton {
  Q_OBJECT

 public:
  /// A button starts "on", as the owners expect before their first refresh.
  explicit XPButton(int id, QWidget* parent = nullptr);

  /// The pictures of both states; the normal, hover, pressed, disabled and fixed variants are
  /// painted from each.
  void SetFaces(const Face& on, const Face& off);
  /// Shows the fixed variant of the current state (input stays live).
  void SetFixed(bool fixed);
  bool IsFixed() const { return fixed_; }

  FaceState ShownState() const override;
  /// The face of the current on/off state, or none when the owner has given no faces.
  const Face* ShownFace() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::optional<Face> on_;
  std::optional<Face> off_;
  bool fixed_ = false;
  // Without a face the last painted one stays, as a missing picture keeps the previous face.
  QPixmap last_;
};

/// A picture button laid translucently over a picture (the speaker positions of the car):
/// ghost faces by default, one variant per state.
class BtnPng : public XPButton {
  Q_OBJECT

 public:
  explicit BtnPng(int id, QWidget* parent = nullptr);
};

}  // namespace zelto
