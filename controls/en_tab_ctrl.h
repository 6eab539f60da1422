#pragma once
// The page area's tabs: flat tabs on a strip in the form's colours. A tab change is the ordinary
// QTabWidget::currentChanged.

#include <QColor>
#include <QList>
#include <QTabBar>
#include <QTabWidget>

#include "controls/skin.h"

namespace zelto {

/// Flat tab captions: no frames, a bar under the selected tab.
class BaseTabBar : public QTabBar {
  Q_OBJECT

 public:
  explicit BaseTabBar(QWidget* parent = nullptr);

  void SetCaptionFont(const QFont& font);
  void SetColors(const QColor& text, const QColor& selectedText, const QColor& selectedBack, const QColor& accent);

 protected:
  QSize tabSizeHint(int index) const override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor text_;
  QColor selectedText_;
  QColor selectedBack_;
  QColor accent_;
};

class BaseTabCtrl : public QTabWidget {
  Q_OBJECT

 public:
  explicit BaseTabCtrl(int id, QWidget* parent = nullptr);

  int Id() const { return id_; }
  BaseTabBar* Bar() const { return bar_; }
  void SetStripColor(const QColor& strip);
  void SetPageColor(const QColor& page);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int id_;
  BaseTabBar* bar_;
  QColor strip_;
  QColor page_;
};

class EnTabCtrl : public BaseTabCtrl {
  Q_OBJECT

 public:
  static constexpr int kCaptionPixels = 20;

  explicit EnTabCtrl(int id, QWidget* parent = nullptr);

  /// Adds a page with its caption in both languages; returns its index.
  int AddPage(QWidget* page, const BiText& caption);
  void SetLanguage(Language lang);
  Language CurrentLanguage() const { return lang_; }

 private:
  QList<BiText> captions_;
  Language lang_ = Language::English;
};

}  // namespace zelto
