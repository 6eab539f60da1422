#pragma once
// The "About" dialog: modal, one painted picture over its whole client area.

#include <QDialog>

#include "core/encodings.h"

namespace zelto {

class AboutSoftDlg : public QDialog {
  Q_OBJECT

 public:
  AboutSoftDlg(Language lang, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Language lang_;
};

}  // namespace zelto
