// Renders every skinned control, in each language, to PNG files for review:
//   controls_gallery DIR  ->  DIR/controls_gallery_zh.png, DIR/controls_gallery_en.png
// The layout borrows the regions of the main form so faces can be judged side by side.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <cstdio>

#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/en_tab_ctrl.h"
#include "controls/font_static.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"

namespace zelto {
namespace {

const QColor kCurveColours[] = {{255, 90, 90},  {255, 170, 60},  {240, 220, 70}, {90, 210, 110},
                                {70, 200, 230}, {120, 140, 255}, {220, 110, 230}};

// Section captions and the face state table are painted by the gallery itself.
class Gallery : public QWidget {
 public:
  explicit Gallery(Language lang) : lang_(lang) {
    resize(1180, 760);
    BuildTopBar();
    BuildMaster();
    BuildCrossover();
    BuildDelay();
    BuildCurves();
    BuildStrips();
    BuildBands();
    BuildTabs();
    for (QWidget* w : findChildren<QWidget*>()) ApplyLanguage(w);
  }

  ComBoxBtn* source = nullptr;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), skin::kWindow);
    p.setRenderHint(QPainter::Antialiasing);
    for (const auto& s : sections_) {
      p.setPen(QPen(skin::kFaceBorder, 1));
      p.setBrush(skin::kPanel);
      p.drawRoundedRect(QRectF(s.area).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
      p.setFont(skin::FaceFont(11));
      p.setPen(skin::kTextDim);
      p.drawText(s.area.adjusted(10, 4, -10, 0), Qt::AlignLeft | Qt::AlignTop, s.title.In(lang_));
    }
    PaintStateTable(p, QRect(700, 470, 470, 236));
  }

 private:
  struct Section {
    QRect area;
    BiText title;
  };

  void ApplyLanguage(QWidget* w) {
    if (auto* b = qobject_cast<SkinButton*>(w)) b->SetLanguage(lang_);
    if (auto* c = qobject_cast<ComBoxBtn*>(w)) c->SetLanguage(lang_);
    if (auto* e = qobject_cast<NumEdit*>(w)) e->SetLanguage(lang_);
    if (auto* l = qobject_cast<FontStatic*>(w)) l->SetLanguage(lang_);
    if (auto* t = qobject_cast<EnTabCtrl*>(w)) t->SetLanguage(lang_);
  }

  void AddSection(const QRect& area, const BiText& title) { sections_.push_back({area, title}); }

  template <typename T>
  T* Place(T* w, int x, int y, int width, int height) {
    w->setGeometry(x, y, width, height);
    return w;
  }

  NumEdit* Box(int id, int mode, int min, int max, int value, double step = 1, double offset = 0) {
    auto* e = new NumEdit(id, this);
    e->SetMode(mode);
    e->SetStep(step);
    e->SetOffset(offset);
    e->SetRange(min, max);
    e->SetValue(value);
    return e;
  }

  ComBoxBtn* List(int id, int listId, const QList<BiText>& items, int selected) {
    auto* c = new ComBoxBtn(id, listId, this);
    c->SetItems(items);
    c->SelectItem(selected);
    return c;
  }

  void BuildTopBar() {
    AddSection({10, 10, 1160, 62}, {"顶栏", "Top bar"});
    auto* connect = Place(new XPButton(1413, this), 20, 32, 96, 30);
    connect->SetFaces(Caption({"已连接", "Connected"}, Tone::Lit), Caption({"连接", "Connect"}));
    auto* dsp = Place(new BitButton(3417, this), 126, 32, 62, 30);
    dsp->SetFaces(Caption(Same("OFF")), Caption(Same("ON"), Tone::Lit));
    dsp->SetOn(true);
    auto* sourceLabel = Place(new FontStatic(0, this), 200, 38, 56, 18);
    sourceLabel->SetText({"音源", "Source"});
    source = Place(List(2400, 3965,
                        {{"高电平", "High level"},
                         {"低电平", "RCA"},
                         {"蓝牙", "Bluetooth"},
                         {"光纤", "Optical"},
                         {"同轴", "Coaxial"},
                         {"播放器", "Player"}},
                        2),
                   262, 35, 120, 24);
    auto* gateLabel = Place(new FontStatic(0, this), 396, 38, 64, 18);
    gateLabel->SetText({"噪声门", "Gate"});
    QList<BiText> gate{{"关闭", "Close"}};
    for (const char* db : {"-110dB", "-98dB", "-95dB", "-92dB", "-89dB", "-86dB", "-83dB", "-80dB"}) gate << Same(db);
    Place(List(3416, 3966, gate, 0), 462, 35, 100, 24);
    auto* settings = Place(new BitButton(2065, this), 600, 32, 80, 30);
    settings->SetFaces(Caption({"设置", "SetUp"}));
    auto* file = Place(new BitButton(3415, this), 688, 32, 80, 30);
    file->SetFaces(Caption({"文件", "File"}));
    file->SetHighlighted(true);
    auto* link = Place(new XPButton(2247, this), 776, 32, 80, 30);
    link->SetFaces(Caption({"联调", "Link"}, Tone::Lit), Caption({"联调", "Link"}));
    link->SetOn(false);
    auto* mixer = Place(new BitButton(3418, this), 864, 32, 80, 30);
    mixer->SetFaces(Caption({"混音", "Mixer"}));
    auto* minimise = Place(new XPButton(2282, this), 1090, 32, 32, 30);
    minimise->SetFaces(Icon(Glyph::Minimise), Icon(Glyph::Minimise));
    auto* close = Place(new XPButton(2281, this), 1128, 32, 32, 30);
    close->SetFaces(Icon(Glyph::Close, Tone::Alert), Icon(Glyph::Close));
    close->SetOn(false);
  }

  void BuildMaster() {
    AddSection({10, 80, 330, 70}, {"主音量", "Master volume"});
    auto* box = Place(Box(2225, nummode::kGainDb, 0, 60, 48, 1, 60), 20, 108, 54, 22);
    auto* spin = Place(new NumSpin(2226, this), 76, 108, 14, 22);
    spin->SetBuddy(box);
    auto* slider = new BitmapSlider(2227, this);
    slider->SetVertical(false);
    slider->SetSkin(SliderSkin::Horizontal(170));
    slider->SetValueFollowsTravel(true);
    slider->SetRange(0, 60);
    slider->SetValue(48);
    slider->move(100, 107);
    slider->SetBuddy(box);
    auto* mute = Place(new XPButton(2280, this), 284, 102, 40, 32);
    mute->SetFaces(Icon(Glyph::Speaker), Icon(Glyph::SpeakerMuted, Tone::Alert));
  }

  void BuildCrossover() {
    AddSection({350, 80, 820, 70}, {"分频", "Crossover"});
    const QList<BiText> families{{"宁克", "Link_Ril"}, {"贝塞尔", "Bessel"}, {"巴特沃斯", "Butter_W"}};
    QList<BiText> slopes;
    for (const char* s : {"6dB/Oct", "12dB/Oct", "18dB/Oct", "24dB/Oct", "36dB/Oct", "48dB/Oct"}) slopes << Same(s);
    slopes << BiText{"关闭", "OFF"};
    int x = 360;
    for (int side = 0; side < 2; ++side) {
      auto* label = Place(new FontStatic(0, this), x, 110, 40, 18);
      label->SetText(side == 0 ? BiText{"高通", "HPF"} : BiText{"低通", "LPF"});
      auto* box =
          Place(Box(5500 + 2 * side, nummode::kFrequencyHz, 20, 20000, side == 0 ? 80 : 20000), x + 42, 108, 70, 22);
      auto* spin = Place(new NumSpin(5501 + 2 * side, this), x + 114, 108, 14, 22);
      spin->SetBuddy(box);
      Place(List(5510 + 2 * side, 5514 + 2 * side, families, side == 0 ? 0 : 2), x + 136, 107, 100, 24);
      Place(List(5511 + 2 * side, 5515 + 2 * side, slopes, side == 0 ? 3 : 6), x + 244, 107, 100, 24);
      x += 400;
    }
  }

  void BuildDelay() {
    AddSection({10, 158, 330, 304}, {"延时", "Delay"});
    const BiText units[] = {{"毫秒", "ms"}, {"厘米", "cm"}, {"英寸", "inch"}};
    const int ids[] = {2285, 2286, 2287};
    for (int i = 0; i < 3; ++i) {
      auto* b = Place(new BitButton(ids[i], this), 20 + i * 70, 182, 64, 26);
      b->SetFaces(Caption(units[i]), Caption(units[i], Tone::Lit));
      b->SetOn(i == 0);
    }
    const int modes[] = {nummode::kDelayMs, nummode::kDelayCm, nummode::kDelayInch};
    for (int i = 0; i < 3; ++i) Place(Box(2580 + i, modes[i], 0, 960, 96), 20 + i * 70, 216, 60, 20);
    // Speaker positions: idle, lit (selected channel), hidden-but-disabled.
    auto* a = Place(new BtnPng(2700, this), 30, 250, 26, 26);
    a->SetOn(false);
    Place(new BtnPng(2701, this), 70, 250, 26, 26);
    auto* c = Place(new BtnPng(2702, this), 110, 250, 26, 26);
    c->SetOn(false);
    c->SetDisabled(true);
    auto* reset = Place(new BitButton(2331, this), 20, 290, 100, 28);
    reset->SetFaces(Caption({"重置均衡", "Reset"}));
    auto* bypass = Place(new BitButton(2388, this), 130, 290, 100, 28);
    bypass->SetFaces(Caption({"直通均衡", "Bypass"}), Caption({"直通均衡", "Bypass"}, Tone::Lit));
    bypass->SetOn(true);
    auto* broken = Place(new FontStatic(0, this), 20, 326, 300, 20);
    broken->SetText(Same("never shown"));
    broken->SetTextHeight(0);
  }

  void BuildCurves() {
    AddSection({350, 158, 820, 56}, {"曲线", "Curves"});
    const char* names[] = {"CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7/8"};
    for (int i = 0; i < 7; ++i) {
      auto* b = Place(new XPButton(2103 + i, this), 360 + i * 76, 180, 70, 26);
      Face on = Caption(Same(names[i]), Tone::Lit);
      on.accent = kCurveColours[i].darker(125);
      b->SetFaces(on, Caption(Same(names[i])));
      b->SetOn(i % 3 == 0);
    }
    auto* title = Place(new FontStatic(2428, this), 900, 184, 250, 20);
    title->SetText({"通道曲线", "Channel curves"});
    title->SetTextHeight(16);
    title->SetAlignment(Qt::AlignRight);
  }

  void BuildStrips() {
    AddSection({10, 470, 680, 282}, {"通道", "Channel strips"});
    const char* names[] = {"CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7"};
    const int values[] = {60, 48, 30, 0, 55, 12, 40};
    for (int i = 0; i < 7; ++i) {
      const int x = 22 + i * 95;
      auto* select = Place(new XPButton(6703 + i, this), x, 492, 84, 28);
      select->SetFaces(Caption(Same(names[i]), Tone::Lit), Caption(Same(names[i])));
      select->SetOn(i == 0);
      auto* slider = new BitmapSlider(8650 + i, this);
      slider->SetSkin(SliderSkin::Vertical(150));
      slider->SetRange(0, 60);
      slider->SetValue(values[i]);
      slider->move(x + 28, 524);
      auto* box = Place(Box(8630 + i, nummode::kGainDb, 0, 60, values[i], 1, 60), x + 6, 680, 56, 22);
      auto* spin = Place(new NumSpin(8610 + i, this), x + 64, 680, 14, 22);
      spin->SetBuddy(box);
      slider->SetBuddy(box);
      auto* mute = Place(new XPButton(6052 + i, this), x, 710, 40, 30);
      mute->SetFaces(Icon(Glyph::Speaker), Icon(Glyph::SpeakerMuted, Tone::Alert));
      mute->SetOn(i != 2);
      auto* phase = Place(new XPButton(1944 + i, this), x + 44, 710, 40, 30);
      phase->SetFaces(Caption({"反相", "180°"}, Tone::Alert), Caption({"正相", "0°"}));
      phase->SetOn(i == 1);
      if (i == 3) {
        mute->SetDisabled(true);
        phase->SetDisabled(true);
      }
      if (i == 2) slider->TakeFocus();
    }
  }

  void BuildBands() {
    AddSection({350, 222, 820, 240}, {"均衡", "EQ bands"});
    const int centres[] = {20, 25, 32, 40, 50, 63, 80, 100, 125, 160};
    for (int k = 0; k < 10; ++k) {
      const int x = 362 + k * 80;
      auto* label = Place(new FontStatic(5280 + k, this), x, 244, 70, 16);
      label->SetText(Same(QString::number(k + 1)));
      label->SetAlignment(Qt::AlignHCenter);
      label->SetColor(k == 3 ? skin::kHighlight : skin::kLabelText);
      Place(Box(5200 + k, nummode::kFrequency, 20, 20000, centres[k]), x + 4, 264, 62, 20);
      Place(Box(4500 + k, nummode::kQ, 0, 295, 15 + 10 * k), x + 4, 288, 62, 20);
      auto* gain = Place(Box(5000 + k, nummode::kLinear, 0, 400, 200 + 25 * (k - 4), 0.1, 20), x + 4, 312, 62, 20);
      gain->SetHighlighted(k == 3);
      auto* slider = new BitmapSlider(5100 + k, this);
      SliderSkin s = SliderSkin::Vertical(96);
      s.thumb = QSize(22, 12);
      s.ticks = 4;
      slider->SetSkin(s);
      slider->SetRange(0, 400);
      slider->SetValue(200 + 25 * (k - 4));
      slider->move(x + 23, 336);
      auto* by = Place(new XPButton(5320 + k, this), x + 15, 436, 40, 20);
      by->SetFaces(Caption(Same("BY"), Tone::Lit), Caption(Same("BY")));
      by->SetOn(k == 7);
    }
  }

  void BuildTabs() {
    auto* tabs = Place(new EnTabCtrl(1368, this), 700, 470, 470, 0);
    tabs->AddPage(new QWidget, {"输出", "Output"});
    tabs->AddPage(new QWidget, {"混音", "Mixer"});
    tabs->setGeometry(700, 716, 470, 34 + 6);
  }

  void PaintStateTable(QPainter& p, const QRect& area) {
    const FaceState states[] = {FaceState::Normal,      FaceState::Hover,    FaceState::Pressed,
                                FaceState::Highlighted, FaceState::Disabled, FaceState::Fixed};
    const char* names[] = {"normal", "hover", "pressed", "highlight", "disabled", "fixed"};
    const Face faces[] = {Caption({"设置", "SetUp"}), Caption(Same("CH1"), Tone::Lit),
                          Icon(Glyph::SpeakerMuted, Tone::Alert), Icon(Glyph::Marker, Tone::Ghost),
                          Icon(Glyph::Power, Tone::Lit)};
    p.setPen(QPen(skin::kFaceBorder, 1));
    p.setBrush(skin::kPanel);
    p.drawRoundedRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    p.setFont(skin::FaceFont(10, false));
    const int cell = 74;
    for (int c = 0; c < 6; ++c) {
      p.setPen(skin::kTextDim);
      p.drawText(QRect(area.left() + 14 + c * cell, area.top() + 4, cell, 14), Qt::AlignCenter, names[c]);
    }
    for (int r = 0; r < 5; ++r) {
      for (int c = 0; c < 6; ++c) {
        const QRectF face(area.left() + 18 + c * cell, area.top() + 22 + r * 38, cell - 10, r == 3 ? 30 : 28);
        QRectF box = face;
        if (r == 3) box.setWidth(30), box.moveLeft(face.left() + (cell - 40) / 2.0);
        skin::PaintFace(p, box, faces[r], states[c], lang_);
      }
    }
  }

  Language lang_;
  std::vector<Section> sections_;
};

bool Render(Language lang, const QString& path) {
  Gallery g(lang);
  g.show();
  QApplication::processEvents();
  // Open one drop list and lay its picture over the gallery where it would appear.
  QImage image = g.grab().toImage();
  {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), g.source->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g.source, &press);
    QApplication::processEvents();
    DropList* list = g.source->List();
    if (list->isVisible()) {
      QPainter p(&image);
      const QPoint at = g.mapFromGlobal(list->mapToGlobal(QPoint(0, 0)));
      p.drawImage(at, list->grab().toImage());
      list->hide();
    }
  }
  return image.save(path);
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
    return 1;
  }
  bool ok = true;
  using zelto::Language;
  for (const auto& [lang, name] : {std::pair{Language::Chinese, "zh"}, std::pair{Language::English, "en"}}) {
    const QString path = QDir(dir).filePath(QStringLiteral("controls_gallery_%1.png").arg(name));
    if (!zelto::Render(lang, path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ok = false;
    } else {
      std::printf("%s\n", qPrintable(path));
    }
  }
  return ok ? 0 : 1;
}
