#include "controls/skin.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace zelto::skin {
namespace {

// Face proportions, in parts of the face height: the words fill a bit less than half of it so
// both Latin and CJK captions stay clear of the bevel.
constexpr double kTextHeightRatio = 0.42;
constexpr int kMinTextPixels = 10;
constexpr int kMaxTextPixels = 15;
constexpr double kCornerRadius = 4.0;
constexpr double kGlyphRatio = 0.66;  // a glyph beside words
constexpr double kGlyphAloneRatio = 0.78;
constexpr double kContentPadding = 4.0;

QColor Mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                          static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                          static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QColor WithAlpha(QColor c, int alpha) {
  c.setAlpha(alpha);
  return c;
}

struct Look {
  QColor top, bottom, border, text, glyph;
  double borderWidth = 1.0;
  double contentShift = 0.0;
  bool bevel = true;
};

Look SolidLook(const Face& face, FaceState state) {
  const bool lit = face.tone == Tone::Lit || face.tone == Tone::Alert;
  const QColor tone = ToneColour(face);
  Look l;
  if (lit) {
    l.top = tone.lighter(118);
    l.bottom = tone.darker(150);
    l.border = tone.lighter(140);
    l.text = Qt::white;
  } else {
    l.top = kFaceTop;
    l.bottom = kFaceBottom;
    l.border = kFaceBorder;
    l.text = kText;
  }
  l.glyph = l.text;
  switch (state) {
    case FaceState::Normal: break;
    case FaceState::Hover:
      l.top = l.top.lighter(122);
      l.bottom = l.bottom.lighter(122);
      l.border = lit ? l.border.lighter(120) : kHoverBorder;
      break;
    case FaceState::Pressed:
      std::swap(l.top, l.bottom);
      l.top = l.top.darker(125);
      l.bottom = l.bottom.darker(110);
      l.contentShift = 1.0;
      l.bevel = false;
      break;
    case FaceState::Highlighted:
      l.border = kHighlight.lighter(lit ? 160 : 115);
      l.borderWidth = 2.0;
      if (!lit) l.text = l.glyph = kHighlight.lighter(150);
      break;
    case FaceState::Disabled:
      l.top = l.bottom = lit ? Mix(kFaceBottom, tone, 0.3) : kFaceBottom.darker(115);
      l.border = kFaceBorder.darker(140);
      l.text = l.glyph = kTextDim;
      l.bevel = false;
      break;
    case FaceState::Fixed:
      l.top = l.bottom = lit ? tone.darker(170) : kPanel;
      l.border = lit ? tone : kFaceBorder;
      l.text = l.glyph = lit ? tone.lighter(160) : kTextDim.lighter(130);
      l.bevel = false;
      break;
  }
  return l;
}

void PaintContent(QPainter& p, const QRectF& area, const Face& face, Language lang, const QColor& text,
                  const QColor& glyphColour) {
  const QString words = face.text.In(lang);
  const QRectF inner = area.adjusted(kContentPadding, 1, -kContentPadding, -1);
  if (inner.width() <= 0 || inner.height() <= 0) return;
  const int pixels =
      std::clamp(static_cast<int>(std::lround(area.height() * kTextHeightRatio)), kMinTextPixels, kMaxTextPixels);
  QRectF textArea = inner;
  if (face.glyph != Glyph::None) {
    const double side = std::min(inner.height(), inner.width()) * (words.isEmpty() ? kGlyphAloneRatio : kGlyphRatio);
    QRectF box(0, 0, side, side);
    if (words.isEmpty()) {
      box.moveCenter(inner.center());
    } else {
      const QFontMetricsF fm(FaceFont(pixels));
      const double total = side + 3 + fm.horizontalAdvance(words);
      const double left = std::max(inner.left(), inner.center().x() - total / 2);
      box.moveTopLeft(QPointF(left, inner.center().y() - side / 2));
      textArea.setLeft(box.right() + 3);
    }
    PaintGlyph(p, box, face.glyph, glyphColour);
  }
  if (!words.isEmpty()) {
    p.setFont(FaceFont(pixels));
    p.setPen(text);
    const QFontMetricsF fm(p.font());
    const QString shown = fm.elidedText(words, Qt::ElideRight, textArea.width());
    const Qt::Alignment align = face.glyph == Glyph::None ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
    p.drawText(textArea, align, shown);
  }
}

void PaintGhost(QPainter& p, const QRectF& area, const Face& face, FaceState state, Language lang) {
  const QColor tone = ToneColour(face);
  QColor fill = WithAlpha(Qt::white, 30);
  QColor ring = WithAlpha(Qt::white, 120);
  QColor content = WithAlpha(Qt::white, 200);
  if (face.tone == Tone::GhostLit && state == FaceState::Normal) state = FaceState::Highlighted;
  switch (state) {
    case FaceState::Normal: break;
    case FaceState::Hover:
      fill = WithAlpha(Qt::white, 70);
      ring = WithAlpha(Qt::white, 230);
      content = Qt::white;
      break;
    case FaceState::Pressed:
      fill = WithAlpha(tone, 170);
      ring = Qt::white;
      content = Qt::white;
      break;
    case FaceState::Highlighted:
    case FaceState::Fixed:
      fill = WithAlpha(tone, 210);
      ring = tone.lighter(160);
      content = Qt::white;
      break;
    case FaceState::Disabled:
      fill = WithAlpha(Qt::white, 12);
      ring = WithAlpha(Qt::white, 50);
      content = WithAlpha(Qt::white, 70);
      break;
  }
  const double side = std::min(area.width(), area.height()) - 2;
  QRectF disc(0, 0, side, side);
  disc.moveCenter(area.center());
  p.setPen(QPen(ring, 1.5));
  p.setBrush(fill);
  p.drawEllipse(disc);
  PaintContent(p, area, face, lang, content, content);
}

}  // namespace

QStringList UiFamilies() { return {QStringLiteral("Arial"), QStringLiteral("Noto Sans CJK SC")}; }

QFont FaceFont(int pixelHeight, bool bold) {
  QFont f;
  f.setFamilies(UiFamilies());
  f.setPixelSize(std::max(1, pixelHeight));
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

QColor ToneColour(const Face& face) {
  if (face.accent.isValid()) return face.accent;
  switch (face.tone) {
    case Tone::Alert: return kAlert;
    case Tone::Plain:
    case Tone::Lit:
    case Tone::Ghost:
    case Tone::GhostLit: break;
  }
  return kHighlight;
}

void PaintFace(QPainter& p, const QRectF& area, const Face& face, FaceState state, Language lang) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  if (face.tone == Tone::Ghost || face.tone == Tone::GhostLit) {
    PaintGhost(p, area, face, state, lang);
    p.restore();
    return;
  }
  const Look l = SolidLook(face, state);
  const QRectF body = area.adjusted(l.borderWidth / 2, l.borderWidth / 2, -l.borderWidth / 2, -l.borderWidth / 2);
  const double radius = std::min(kCornerRadius, body.height() / 4);
  QLinearGradient fill(body.topLeft(), body.bottomLeft());
  fill.setColorAt(0, l.top);
  fill.setColorAt(1, l.bottom);
  p.setPen(QPen(l.border, l.borderWidth));
  p.setBrush(fill);
  p.drawRoundedRect(body, radius, radius);
  if (l.bevel) {
    // A faint light edge under the top border gives the face its raised, machined look.
    p.setPen(QPen(WithAlpha(Qt::white, 34), 1));
    p.drawLine(QPointF(body.left() + radius, body.top() + 1.5), QPointF(body.right() - radius, body.top() + 1.5));
  }
  PaintContent(p, body.translated(0, l.contentShift), face, lang, l.text, l.glyph);
  p.restore();
}

void PaintGlyph(QPainter& p, const QRectF& a, Glyph glyph, const QColor& colour) {
  if (glyph == Glyph::None || a.width() <= 0) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double s = std::min(a.width(), a.height());
  const QPointF o(a.center().x() - s / 2, a.center().y() - s / 2);
  auto at = [&](double x, double y) { return o + QPointF(x * s, y * s); };
  const double stroke = std::max(1.3, s * 0.08);
  QPen pen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  switch (glyph) {
    case Glyph::None: break;
    case Glyph::Speaker:
    case Glyph::SpeakerMuted: {
      QPainterPath body;
      body.moveTo(at(0.10, 0.37));
      body.lineTo(at(0.28, 0.37));
      body.lineTo(at(0.50, 0.17));
      body.lineTo(at(0.50, 0.83));
      body.lineTo(at(0.28, 0.63));
      body.lineTo(at(0.10, 0.63));
      body.closeSubpath();
      p.setBrush(colour);
      p.setPen(QPen(colour, stroke * 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPath(body);
      p.setBrush(Qt::NoBrush);
      if (glyph == Glyph::Speaker) {
        p.setPen(pen);
        for (double r : {0.16, 0.30}) {
          const QRectF arc(at(0.50 - r, 0.50 - r), at(0.50 + r, 0.50 + r));
          p.drawArc(arc, -45 * 16, 90 * 16);
        }
      } else {
        p.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(at(0.62, 0.36), at(0.90, 0.64));
        p.drawLine(at(0.90, 0.36), at(0.62, 0.64));
      }
      break;
    }
    case Glyph::Close:
      p.drawLine(at(0.28, 0.28), at(0.72, 0.72));
      p.drawLine(at(0.72, 0.28), at(0.28, 0.72));
      break;
    case Glyph::Minimise: p.drawLine(at(0.26, 0.66), at(0.74, 0.66)); break;
    case Glyph::Power: {
      const QRectF ring(at(0.22, 0.24), at(0.78, 0.80));
      p.drawArc(ring, 120 * 16, 300 * 16);
      p.drawLine(at(0.50, 0.14), at(0.50, 0.48));
      break;
    }
    case Glyph::Marker: {
      p.setBrush(colour);
      p.setPen(Qt::NoPen);
      const QRectF dot(at(0.38, 0.38), at(0.62, 0.62));
      p.drawEllipse(dot);
      break;
    }
  }
  p.restore();
}

}  // namespace zelto::skin

namespace zelto {

UiFonts UiFonts::Create() {
  const auto shared = [](int pixels) {
    QFont f;
    f.setFamilies(skin::UiFamilies());
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setWeight(QFont::Normal);
    return f;
  };
  return {shared(kSmallPixels), shared(kNormalPixels), shared(kMediumPixels), shared(kLargePixels)};
}

}  // namespace zelto
