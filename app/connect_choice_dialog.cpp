#include "app/connect_choice_dialog.h"

#include <QPainter>

#include "core/channel_label.h"
#include "app/ui_state.h"
#include "controls/bit_button.h"
#include "controls/skin.h"
#include "controls/xp_button.h"

namespace zelto {

namespace {

constexpr QRect kTextRect(SkinDialog::kMargin, 56, ConnectChoiceDlg::kWidth - 2 * SkinDialog::kMargin, 80);
constexpr QRect kSendRect(SkinDialog::kMargin, 166, 270, 36);
constexpr QRect kKeepRect(ConnectChoiceDlg::kWidth - SkinDialog::kMargin - 230, 166, 230, 36);

QString ChannelList(const std::vector<int>& channels) {
  QStringList names;
  for (int ch : channels) names << QString::fromStdString(ChannelLabel(ch));
  return names.join(QStringLiteral(", "));
}

}  // namespace

ConnectChoiceDlg::ConnectChoiceDlg(Language lang, std::vector<int> channels, QWidget* parent)
    : SkinDialog(kDialogId, QSize(kWidth, kHeight), lang, parent), channels_(std::move(channels)) {
  SetCaption(Bi("处理器已连接", "Processor connected"));
  // There is no neutral answer: the window shows the processor's values until one is chosen.
  CloseButton()->hide();
  const auto make = [&](int id, const BiText& text, const QRect& where) {
    auto* b = new BitButton(id, this);
    b->setObjectName(QString::number(id));
    b->SetFaces(Caption(text));
    b->SetLanguage(lang);
    b->setGeometry(where);
    return b;
  };
  send_ = make(kSendMine, Bi("把我的设置发送到处理器", "Send my settings to the processor"), kSendRect);
  keep_ = make(kKeepProcessor, Bi("保留处理器的设置", "Keep the processor's settings"), kKeepRect);
  connect(send_, &SkinButton::clicked, this, [this] {
    sendMine_ = true;
    accept();
  });
  connect(keep_, &SkinButton::clicked, this, [this] {
    sendMine_ = false;
    accept();
  });
}

bool ConnectChoiceDlg::Ask(Language lang, std::vector<int> channels, QWidget* parent) {
  ConnectChoiceDlg dialog(lang, std::move(channels), parent);
  dialog.exec();
  return dialog.SendMine();
}

BitButton* ConnectChoiceDlg::Button(int id) const {
  switch (id) {
    case kSendMine: return send_;
    case kKeepProcessor: return keep_;
    default: return nullptr;
  }
}

void ConnectChoiceDlg::PaintBody(QPainter& p) {
  const Language lang = CurrentLanguage();
  p.setFont(skin::FaceFont(13, false));
  p.setPen(skin::kText);
  p.drawText(kTextRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
             QString::fromUtf8(Pick(lang, "您在处理器未连接时所做的修改与它现在的设置不同。",
                                    "Changes you made while the processor could not be reached differ from "
                                    "the settings it holds now.")));
  if (!channels_.empty()) {
    p.setFont(skin::FaceFont(12, false));
    p.setPen(skin::kTextDim.lighter(130));
    p.drawText(QRect(kTextRect.left(), kTextRect.top() + 52, kTextRect.width(), 22), Qt::AlignLeft,
               QString::fromUtf8(Pick(lang, "不同的通道：", "Channels that differ: ")) + ChannelList(channels_));
  }
  PaintSeparator(p, kSendRect.top() - 14);
}

}  // namespace zelto
