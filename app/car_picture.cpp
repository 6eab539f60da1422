#include "app/car_picture.h"
#include "edit/positions.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "controls/num_edit.h"
#include "controls/skin.h"
#include "controls/xp_button.h"

namespace zelto {

namespace {

constexpr int kButtonSize = 18;
constexpr int kBoxWidth = 46;
constexpr int kBoxHeight = 20;
constexpr int kSpinWidth = 14;
constexpr int kEdge = 6;
constexpr int kRightBoxX = CarPicture::kWidth - kEdge - kBoxWidth - kSpinWidth;

// The car body, seen from above, front at the top.
constexpr QRectF kBody(94, 26, 116, 290);

enum class Side { Left, Right, Above, Below };

struct Place {
  int code;
  QPoint button;   // centre of the position button
  Side side;       // where its delay box sits
  int boxCentreX;  // for boxes above or below the car
};

// Doors carry tweeter, mid and woofer from the top; the rear doors tweeter and woofer; the centre
// speakers sit on the dashboard, the subwoofers in the boot.
constexpr std::array<Place, rules::kPositionCount> kPlaces = {{
    {1, {100, 92}, Side::Left, 0},
    {2, {100, 126}, Side::Left, 0},
    {3, {100, 160}, Side::Left, 0},
    {7, {204, 92}, Side::Right, 0},
    {8, {204, 126}, Side::Right, 0},
    {9, {204, 160}, Side::Right, 0},
    {13, {100, 222}, Side::Left, 0},
    {14, {100, 256}, Side::Left, 0},
    {16, {204, 222}, Side::Right, 0},
    {17, {204, 256}, Side::Right, 0},
    {19, {130, 62}, Side::Above, 48},
    {20, {152, 62}, Side::Above, 152},
    {21, {174, 62}, Side::Above, 256},
    {22, {130, 292}, Side::Below, 48},
    {23, {174, 292}, Side::Below, 256},
    {24, {152, 292}, Side::Below, 152},
}};

const Place* PlaceOf(int code) {
  for (const auto& p : kPlaces)
    if (p.code == code) return &p;
  return nullptr;
}

QRect BoxRect(const Place& p) {
  const int w = kBoxWidth + kSpinWidth;
  switch (p.side) {
    case Side::Left: return {kEdge, p.button.y() - kBoxHeight / 2, kBoxWidth, kBoxHeight};
    case Side::Right: return {kRightBoxX, p.button.y() - kBoxHeight / 2, kBoxWidth, kBoxHeight};
    case Side::Above: return {p.boxCentreX - w / 2, 1, kBoxWidth, kBoxHeight};
    case Side::Below: return {p.boxCentreX - w / 2, CarPicture::kHeight - kBoxHeight - 1, kBoxWidth, kBoxHeight};
  }
  return {};
}

// The point where the leader line from a box meets it.
QPointF BoxAnchor(const Place& p) {
  const QRectF box = BoxRect(p);
  switch (p.side) {
    case Side::Left: return {box.right() + kSpinWidth + 1, box.center().y()};
    case Side::Right: return {box.left() - 1, box.center().y()};
    case Side::Above: return {box.center().x() + kSpinWidth / 2.0, box.bottom() + 1};
    case Side::Below: return {box.center().x() + kSpinWidth / 2.0, box.top() - 1};
  }
  return {};
}

void PaintCar(QPainter& p) {
  const QColor body{52, 58, 68};
  const QColor bodyEdge{96, 106, 120};
  const QColor glass{24, 38, 52};
  const QColor glassEdge{70, 110, 140};
  const QColor trim{34, 38, 45};

  // Wheels under the body.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(14, 15, 18));
  for (double y : {58.0, 242.0}) {
    p.drawRoundedRect(QRectF(kBody.left() - 7, y, 12, 40), 3, 3);
    p.drawRoundedRect(QRectF(kBody.right() - 5, y, 12, 40), 3, 3);
  }

  // Body with a soft light from the left.
  QPainterPath shell;
  shell.addRoundedRect(kBody, 34, 26);
  QLinearGradient g(kBody.topLeft(), kBody.topRight());
  g.setColorAt(0, body.lighter(125));
  g.setColorAt(0.5, body);
  g.setColorAt(1, body.darker(125));
  p.setBrush(g);
  p.setPen(QPen(bodyEdge, 1.2));
  p.drawPath(shell);

  // Mirrors.
  p.setBrush(body.darker(110));
  p.drawRoundedRect(QRectF(kBody.left() - 9, 100, 10, 7), 2, 2);
  p.drawRoundedRect(QRectF(kBody.right() - 1, 100, 10, 7), 2, 2);

  // Windscreen, roof, rear window.
  QPainterPath screen;
  screen.moveTo(kBody.left() + 14, 104);
  screen.lineTo(kBody.left() + 24, 76);
  screen.quadTo(kBody.center().x(), 68, kBody.right() - 24, 76);
  screen.lineTo(kBody.right() - 14, 104);
  screen.closeSubpath();
  p.setBrush(glass);
  p.setPen(QPen(glassEdge, 1));
  p.drawPath(screen);

  QPainterPath back;
  back.moveTo(kBody.left() + 16, 238);
  back.lineTo(kBody.right() - 16, 238);
  back.lineTo(kBody.right() - 24, 262);
  back.quadTo(kBody.center().x(), 268, kBody.left() + 24, 262);
  back.closeSubpath();
  p.drawPath(back);

  p.setPen(Qt::NoPen);
  p.setBrush(trim);
  p.drawRoundedRect(QRectF(kBody.left() + 12, 106, kBody.width() - 24, 130), 8, 8);

  // Seats: two in front, a bench behind.
  const QColor seat{70, 76, 88};
  p.setBrush(seat);
  p.drawRoundedRect(QRectF(kBody.left() + 20, 118, 32, 38), 7, 7);
  p.drawRoundedRect(QRectF(kBody.right() - 52, 118, 32, 38), 7, 7);
  p.drawRoundedRect(QRectF(kBody.left() + 20, 190, kBody.width() - 40, 34), 8, 8);
  p.setBrush(seat.lighter(115));
  p.drawRoundedRect(QRectF(kBody.left() + 22, 150, 28, 8), 3, 3);
  p.drawRoundedRect(QRectF(kBody.right() - 50, 150, 28, 8), 3, 3);
  // Steering wheel.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(120, 126, 138), 2));
  p.drawEllipse(QRectF(kBody.left() + 24, 108, 22, 10));

  // Door seams and the hood line.
  p.setPen(QPen(bodyEdge.darker(130), 1));
  for (double y : {104.0, 170.0, 236.0}) {
    p.drawLine(QPointF(kBody.left() + 1, y), QPointF(kBody.left() + 10, y));
    p.drawLine(QPointF(kBody.right() - 10, y), QPointF(kBody.right() - 1, y));
  }
  p.drawLine(QPointF(kBody.left() + 30, 38), QPointF(kBody.left() + 26, 66));
  p.drawLine(QPointF(kBody.right() - 30, 38), QPointF(kBody.right() - 26, 66));
}

}  // namespace

CarPicture::CarPicture(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  const auto& rules = rules::PositionSpots();
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const auto& rule = rules[i];
    const Place* place = PlaceOf(rule.code);
    Spot& s = spots_[i];
    s.button = new BtnPng(rule.buttonId, this);
    s.button->SetFaces(Face{{}, Glyph::Marker, Tone::GhostLit, {}}, Face{{}, Glyph::Marker, Tone::Ghost, {}});
    s.button->SetOn(false);
    s.button->setGeometry(place->button.x() - kButtonSize / 2, place->button.y() - kButtonSize / 2, kButtonSize,
                          kButtonSize);
    const int code = rule.code;
    connect(s.button, &SkinButton::clicked, this, [this, code] { emit positionClicked(code); });

    s.box = new NumEdit(rule.delayBoxId, this);
    s.spin = new NumSpin(rules::DelaySpinOfBox(rule.delayBoxId), this);
    s.spin->SetBuddy(s.box);
    s.spin->SetRange(0, kMaxDelayCode);
    s.box->SetMode(nummode::kDelayMs);
    const QRect box = BoxRect(*place);
    s.box->setGeometry(box);
    s.spin->setGeometry(box.right() + 1, box.top() - 1, kSpinWidth, kBoxHeight + 2);
    connect(s.box, &NumEdit::edited, this, [this, code](int, int value) { emit delayEdited(code, value); });
    connect(s.spin, &NumSpin::edited, this, [this, code](int, int value) { emit delayEdited(code, value); });
  }
}

int CarPicture::IndexOf(int code) const {
  const auto& rules = rules::PositionSpots();
  for (std::size_t i = 0; i < rules.size(); ++i)
    if (rules[i].code == code) return static_cast<int>(i);
  return -1;
}

BtnPng* CarPicture::Button(int code) const {
  const int i = IndexOf(code);
  return i < 0 ? nullptr : spots_[static_cast<std::size_t>(i)].button;
}

NumEdit* CarPicture::DelayBox(int code) const {
  const int i = IndexOf(code);
  return i < 0 ? nullptr : spots_[static_cast<std::size_t>(i)].box;
}

void CarPicture::ShowPositionsFor(std::span<const std::uint8_t> types) {
  const auto& rules = rules::PositionSpots();
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const bool shown = rules::PositionShown(types, rules[i].code);
    spots_[i].button->setVisible(shown);
    spots_[i].box->setVisible(shown);
    spots_[i].spin->setVisible(shown);
  }
  update();
}

void CarPicture::Highlight(int code) {
  for (Spot& s : spots_) s.button->SetOn(false);
  highlighted_ = 0;
  if (BtnPng* b = Button(code)) {
    b->SetOn(true);
    highlighted_ = code;
  }
  update();
}

void CarPicture::SetDelay(int code, int delay) {
  if (NumEdit* box = DelayBox(code)) box->SetValue(delay);
}

void CarPicture::SetUnit(int unit) {
  static constexpr int kModes[] = {nummode::kDelayMs, nummode::kDelayCm, nummode::kDelayInch};
  const int mode = kModes[std::clamp(unit, 0, 2)];
  for (Spot& s : spots_) {
    const int value = s.box->GetValue();
    s.box->SetMode(mode);
    s.box->SetValue(value);
  }
}

void CarPicture::SetLanguage(Language lang) {
  lang_ = lang;
  const auto& rules = rules::PositionSpots();
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const QString name = QString::fromUtf8(rules::PositionName(rules[i].code, lang));
    spots_[i].button->setToolTip(name);
    spots_[i].box->setToolTip(name);
    spots_[i].button->SetLanguage(lang);
    spots_[i].box->SetLanguage(lang);
    spots_[i].spin->SetLanguage(lang);
  }
}

void CarPicture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  PaintCar(p);

  // Leader lines from each shown box to its position.
  const auto& rules = rules::PositionSpots();
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (!spots_[i].button->isVisible()) continue;
    const Place* place = PlaceOf(rules[i].code);
    const bool lit = rules[i].code == highlighted_;
    p.setPen(QPen(lit ? skin::kHighlight.lighter(130) : QColor(255, 255, 255, 60), 1, Qt::DotLine));
    p.drawLine(BoxAnchor(*place), QPointF(place->button));
  }
}

}  // namespace zelto
