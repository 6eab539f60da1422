#pragma once
// What the three kinds of picture button share: an id, an on/off flag, hover and press tracking,
// the language of the words on the faces, and the click that fires on release over the button.
// Each kind decides which face variant to show.

#include <QWidget>

#include "controls/skin.h"

namespace zelto {

class SkinButton : public QWidget {
  Q_OBJECT

 public:
  int Id() const { return id_; }

  void SetOn(bool on);
  bool IsOn() const { return on_; }
  /// Shows the disabled face and stops all input (a press in progress is dropped).
  void SetDisabled(bool disabled);
  bool IsDisabled() const { return !isEnabled(); }
  void SetLanguage(Language lang);
  Language CurrentLanguage() const { return lang_; }

  bool IsHover() const { return hover_; }
  bool IsPressed() const { return held_ && hover_; }
  /// The face variant the button shows now, by its kind's picture rule.
  virtual FaceState ShownState() const = 0;

 signals:
  /// Left button released over the button after a press on it.
  void clicked(int id);

 protected:
  SkinButton(int id, bool startsOn, QWidget* parent);

  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SetHover(bool hover);

  int id_;
  bool on_;
  bool hover_ = false;
  bool held_ = false;
  Language lang_ = Language::English;
};

}  // namespace zelto
