#include "app/link_dialog.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/ui_state.h"
#include "controls/bit_button.h"
#include "controls/skin.h"

namespace zelto {

namespace {

// The picture: a listener between two speakers, the arrow showing which way settings travel.
constexpr QRect kPicture(20, 50, 400, 150);
constexpr QRect kChoiceLeftRect(40, 216, 170, 32);
constexpr QRect kChoiceRightRect(230, 216, 170, 32);
constexpr QRect kOkRect(120, 278, 96, 32);
constexpr QRect kCancelRect(224, 278, 96, 32);

template <class T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

void PaintSpeaker(QPainter& p, const QPointF& centre, const QString& name, bool reference) {
  const QColor colour = reference ? skin::kAccent : skin::kCaptionText;
  QPainterPath body;
  body.addRoundedRect(QRectF(centre.x() - 26, centre.y() - 36, 52, 72), 8, 8);
  p.setPen(QPen(colour, 2));
  p.setBrush(QColor(30, 34, 41));
  p.drawPath(body);
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(centre + QPointF(0, -16), 9, 9);
  p.drawEllipse(centre + QPointF(0, 14), 15, 15);
  p.setBrush(colour);
  p.drawEllipse(centre + QPointF(0, 14), 5, 5);
  p.setFont(skin::FaceFont(14, true));
  p.setPen(colour);
  p.drawText(QRectF(centre.x() - 50, centre.y() + 40, 100, 22), Qt::AlignCenter, name);
}

}  // namespace

CH_Link_Dlg::CH_Link_Dlg(Language lang, QWidget* parent) : SkinDialog(kDialogId, QSize(kWidth, kHeight), lang, parent) {
  SetCaption({Title(Language::Chinese), Title(Language::English)});

  const auto make = [&](int id, const BiText& text, const QRect& where, bool twoState) {
    BitButton* b = Named(new BitButton(id, this), id);
    if (twoState) {
      b->SetFaces(Caption(text), Caption(text, Tone::Lit));
    } else {
      b->SetFaces(Caption(text));
    }
    b->SetLanguage(lang);
    b->setGeometry(where);
    return b;
  };
  leftToRight_ = make(kLeftToRight, Bi("左 → 右", "Left → Right"), kChoiceLeftRect, true);
  rightToLeft_ = make(kRightToLeft, Bi("右 → 左", "Right → Left"), kChoiceRightRect, true);
  ok_ = make(kOk, Bi("确定", "OK"), kOkRect, false);
  cancel_ = make(kCancel, Bi("取消", "Cancel"), kCancelRect, false);
  connect(leftToRight_, &SkinButton::clicked, this, [this] { SetChoice(0); });
  connect(rightToLeft_, &SkinButton::clicked, this, [this] { SetChoice(1); });
  connect(ok_, &SkinButton::clicked, this, &QDialog::accept);
  connect(cancel_, &SkinButton::clicked, this, &QDialog::reject);
  SetChoice(0);
}

QString CH_Link_Dlg::Title(Language lang) {
  return QString::fromUtf8(Pick(lang, "声场联调", "Grouping of Front channel"));
}

void CH_Link_Dlg::SetChoice(int choice) {
  choice_ = choice == 1 ? 1 : 0;
  leftToRight_->SetOn(choice_ == 0);
  rightToLeft_->SetOn(choice_ == 1);
  update();
}

BitButton* CH_Link_Dlg::Button(int id) const {
  switch (id) {
    case kLeftToRight: return leftToRight_;
    case kRightToLeft: return rightToLeft_;
    case kOk: return ok_;
    case kCancel: return cancel_;
    default: return nullptr;
  }
}

void CH_Link_Dlg::PaintBody(QPainter& p) {
  const Language lang = CurrentLanguage();
  QPainterPath frame;
  frame.addRoundedRect(QRectF(kPicture).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
  p.fillPath(frame, skin::kPictureFill);
  p.setPen(QPen(skin::kPanelEdge, 1));
  p.drawPath(frame);

  p.setFont(skin::FaceFont(12, false));
  p.setPen(skin::kTextDim.lighter(130));
  p.drawText(QRect(kPicture.left(), kPicture.top() + 6, kPicture.width(), 20), Qt::AlignCenter,
             QString::fromUtf8(Pick(lang, "选择参考声道：另一侧复制它的设置",
                                    "Pick the reference side: the other side takes its settings")));

  const QPointF left(kPicture.left() + 80, kPicture.center().y() + 4);
  const QPointF right(kPicture.right() - 80, kPicture.center().y() + 4);
  PaintSpeaker(p, left, QString::fromUtf8(Pick(lang, "左", "L")), choice_ == 0);
  PaintSpeaker(p, right, QString::fromUtf8(Pick(lang, "右", "R")), choice_ == 1);

  // The arrow runs from the reference to the channel that takes its settings.
  const double y = left.y() - 4;
  const double from = choice_ == 0 ? left.x() + 44 : right.x() - 44;
  const double to = choice_ == 0 ? right.x() - 44 : left.x() + 44;
  const double dir = to > from ? 1.0 : -1.0;
  p.setPen(QPen(skin::kAccent, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(from, y), QPointF(to - dir * 10, y));
  QPainterPath head;
  head.moveTo(to, y);
  head.lineTo(to - dir * 16, y - 9);
  head.lineTo(to - dir * 16, y + 9);
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(skin::kAccent);
  p.drawPath(head);
  p.setFont(skin::FaceFont(11, false));
  p.setPen(skin::kTextDim);
  p.drawText(QRectF(std::min(from, to), y + 8, std::abs(to - from), 18), Qt::AlignCenter,
             QString::fromUtf8(Pick(lang, "复制设置", "copy settings")));
}

}  // namespace zelto
