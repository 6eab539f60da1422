#include "app/about_dialog.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/ui_state.h"
#include "controls/skin.h"
#include "link/engine.h"
#include "zelto_version.h"

namespace zelto {

namespace {
constexpr int kWidth = 440;
constexpr int kHeight = 300;
}  // namespace

AboutSoftDlg::AboutSoftDlg(Language lang, QWidget* parent) : QDialog(parent), lang_(lang) {
  setObjectName(QStringLiteral("AboutSoftDlg"));
  setWindowTitle(QString::fromUtf8(Pick(lang, "关于", "About")));
  setFixedSize(kWidth, kHeight);
  setModal(true);
}

void AboutSoftDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 0, height());
  bg.setColorAt(0, skin::kPanel.lighter(115));
  bg.setColorAt(1, skin::kWindow);
  p.fillRect(rect(), bg);

  // A small equaliser mark beside the name.
  const QRectF mark(34, 40, 56, 56);
  QPainterPath ring;
  ring.addRoundedRect(mark, 12, 12);
  p.fillPath(ring, skin::kFaceBottom);
  p.setPen(QPen(skin::kAccent, 2));
  p.drawPath(ring);
  const double bars[] = {0.45, 0.8, 0.6, 0.95, 0.5};
  for (int i = 0; i < 5; ++i) {
    const double h = (mark.height() - 20) * bars[i];
    p.fillRect(QRectF(mark.left() + 10 + i * 8, mark.bottom() - 10 - h, 5, h), skin::kAccent.lighter(110 + i * 8));
  }

  p.setPen(skin::kText);
  p.setFont(skin::FaceFont(30, true));
  p.drawText(QRectF(108, 36, 300, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zelto"));
  p.setFont(skin::FaceFont(13, false));
  p.setPen(skin::kTextDim.lighter(150));
  p.drawText(
      QRectF(108, 74, 320, 22), Qt::AlignLeft | Qt::AlignVCenter,
      QString::fromUtf8(Pick(lang_, "八路输出车载数字音频处理器调音软件", "Tuning tool for the eight-output car DSP")));

  p.setPen(QPen(skin::kFaceBorder, 1));
  p.drawLine(QPointF(34, 124), QPointF(width() - 34, 124));

  p.setFont(skin::FaceFont(13, false));
  p.setPen(skin::kText);
  const QString model = QString::fromUtf8(kModelIdentity);
  const QStringList lines = {
      QString::fromUtf8(Pick(lang_, "适用机型: ", "Processor: ")) + model,
      QString::fromUtf8(Pick(lang_, "软件版本: ", "Version: ")) + QString::fromUtf8(kZeltoVersion),
      QString::fromUtf8(Pick(lang_, "连接: USB HID, 模拟器, 网络报告流", "Links: USB HID, simulator, report stream")),
      QString::fromUtf8(
          Pick(lang_, "许可证: GPL-3.0-or-later (自由软件)", "Licence: GPL-3.0-or-later (free software)")),
  };
  double y = 138;
  for (const QString& line : lines) {
    p.drawText(QRectF(34, y, width() - 68, 20), Qt::AlignLeft | Qt::AlignVCenter, line);
    y += 24;
  }
  // The licence asks that the program say it comes without warranty where it shows its licence.
  p.setFont(skin::FaceFont(11, false));
  p.setPen(skin::kTextDim.lighter(130));
  p.drawText(QRectF(34, y + 2, width() - 68, 36), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
             QString::fromUtf8(Pick(
                 lang_, "本程序不提供任何担保；您可以在 GNU 通用公共许可证第 3 版或更高版本的条款下再发布和修改它。",
                 "This program comes with absolutely no warranty. You may redistribute and modify it "
                 "under the GNU General Public License, version 3 or later.")));
  p.setFont(skin::FaceFont(11, false));
  p.setPen(skin::kTextDim);
  p.drawText(QRectF(0, height() - 26, width() - 16, 18), Qt::AlignRight | Qt::AlignVCenter,
             QString::fromUtf8(Pick(lang_, "单击关闭", "Click to close")));
}

void AboutSoftDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) accept();
}

}  // namespace zelto
