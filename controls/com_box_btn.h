#pragma once
// The drop list button: a face showing the chosen item and a pop-up list below (or above) it.
// A choice is reported with `chosen(listId, index)`; the list id is given at creation and is what
// the pages dispatch on, not the button's control id. Only a release inside the open list
// commits; a release or press outside returns to the last committed choice and reports nothing.

#include <QList>
#include <QRect>
#include <QWidget>

#include "controls/skin.h"

namespace zelto {

class ComBoxBtn;

/// The pop-up list of a drop list button.
class DropList : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kItemHeight = 16;

  explicit DropList(ComBoxBtn* owner);

  /// The item highlighted while the list is open (the last committed one when it opens).
  int Highlighted() const { return highlighted_; }
  int Committed() const { return committed_; }
  int ItemAt(const QPoint& point) const;
  int FirstVisible() const { return top_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  friend class ComBoxBtn;
  void Open(const QRect& geometry, int committed);
  void Finish(bool commit, int index);
  int VisibleRows() const;
  void ScrollTo(int index);

  ComBoxBtn* owner_;
  int highlighted_ = -1;
  int committed_ = -1;
  int top_ = 0;
  bool openingPress_ = false;  // the press on the button that opened the list is still held
  bool entered_ = false;       // the pointer has been over the list since it opened
  bool finished_ = true;
};

class ComBoxBtn : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTextPixels = 14;
  static constexpr int kDefaultMaxListHeight = 16 * DropList::kItemHeight;

  ComBoxBtn(int id, int listId, QWidget* parent = nullptr);

  int Id() const { return id_; }
  int ListId() const { return listId_; }

  /// Replaces the items; the selection stays when it is still an item, else none (−1).
  void SetItems(const QList<BiText>& items);
  void AddItem(const BiText& item);
  int Count() const { return static_cast<int>(items_.size()); }
  QString ItemText(int index) const;
  /// Selects an item from code: the face shows it and the list remembers it; nothing is reported.
  void SelectItem(int index);
  int Selection() const { return selection_; }
  /// The words on the face (the selected item in the current language).
  QString CurrentText() const { return ItemText(selection_); }
  void SetLanguage(Language lang);
  Language CurrentLanguage() const { return lang_; }
  void SetMaxListHeight(int pixels) { maxListHeight_ = pixels; }

  bool IsListOpen() const;
  DropList* List() const { return list_; }
  /// Where the list opens: under the button, overlapping its last row, or above it when it would
  /// pass the bottom of the work area.
  static QRect ListGeometry(const QRect& buttonOnScreen, int itemCount, int maxHeight, const QRect& workArea);

  QSize sizeHint() const override;

 signals:
  void chosen(int listId, int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  friend class DropList;
  void OpenList();
  void Commit(int index);
  void ListClosed();

  int id_;
  int listId_;
  QList<BiText> items_;
  int selection_ = -1;
  Language lang_ = Language::English;
  int maxListHeight_ = kDefaultMaxListHeight;
  int wheelSum_ = 0;
  bool hover_ = false;
  DropList* list_;
};

}  // namespace zelto
