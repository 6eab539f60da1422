#include "app/sections/section.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "controls/skin.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

Section::Section(const QRect& region, UiState& ui, Engine& engine, Editor& editor, QWidget* parent)
    : QWidget(parent), ui_(ui), engine_(engine), editor_(editor) {
  setGeometry(region);
}

CKTV_OutData& Section::Channel(int index) { return engine_.Data().Output(index); }

QString Section::Word(const char* zh, const char* en) const { return QString::fromUtf8(Pick(ui_.language, zh, en)); }

QColor ChannelColour(const CKTV_OutData& channel) {
  const std::uint32_t rgb = channel.Colour();
  return rgb ? QColor::fromRgb(static_cast<QRgb>(rgb)) : skin::kAccent;
}

void PaintPanel(QPainter& p, const QRect& r, const QString& caption) {
  QPainterPath path;
  path.addRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, skin::kPanel.lighter(108));
  g.setColorAt(1, skin::kPanel);
  p.fillPath(path, g);
  p.setPen(QPen(skin::kPanelEdge, 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  if (caption.isEmpty()) return;
  p.setPen(QPen(skin::kAccent, 2));
  p.drawLine(QPointF(r.left() + 10, r.top() + 8), QPointF(r.left() + 10, r.top() + 18));
  p.setFont(skin::FaceFont(12, true));
  p.setPen(skin::kCaptionText);
  p.drawText(QRect(r.left() + 18, r.top() + 4, r.width() - 28, 18), Qt::AlignLeft | Qt::AlignVCenter, caption);
}

void PaintLabel(QPainter& p, const QRect& r, const QString& text, Qt::Alignment align, int pixels) {
  p.setFont(skin::FaceFont(pixels, false));
  p.setPen(skin::kCaptionText);
  p.drawText(r, align, text);
}

}  // namespace zelto
