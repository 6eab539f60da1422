#include "app/sections/graph_section.h"

#include <QPainter>

#include "core/channel_label.h"
#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/font_static.h"
#include "controls/xp_button.h"
#include "curves/ui/response_graph.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "measure/ui/measure_ui_texts.h"
#include "measure/ui/measurement_tools.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {
constexpr int kCurveButtonPitch = 24;
}  // namespace

using namespace view_id;

GraphSection::GraphSection(UiState& ui, Engine& engine, Editor& editor, measure::ChannelMeasurements& measurements,
                           QWidget* window)
    : Section(kRegion, ui, engine, editor, window) {
  graph_ = Named(new CFStatic(this), kGraph);
  graph_->setGeometry(6, 26, 822, 172);

  tools_ = new MeasurementTools(editor_, measurements, *graph_, window);
  connect(graph_, &CFStatic::contextMenuRequested, tools_, &MeasurementTools::ShowMenu);
  auto* measure = Named(new BitButton(kMeasurementButton, this), kMeasurementButton);
  measure->SetFaces(Caption(measure_ui::Bi(measure_ui::Word::MeasurementButton)));
  measure->setGeometry(718, 3, 110, 21);
  connect(measure, &SkinButton::clicked, this,
          [this, measure] { tools_->ShowMenu(mapToGlobal(measure->geometry().bottomLeft())); });

  for (int i = 0; i < rules::kCurveButtonCount; ++i) {
    XPButton* b = Named(new XPButton(kFirstCurveButton + i, this), kFirstCurveButton + i);
    b->setGeometry(842, 30 + i * kCurveButtonPitch, 20, 20);
    // Each curve button lights in the colour its channel is drawn in.
    b->SetFaces(Face{{}, Glyph::None, Tone::Lit, ChannelColour(Channel(i))}, Face{{}, Glyph::None, Tone::Plain, {}});
    connect(b, &SkinButton::clicked, this, [this, i] { OnCurveButton(i); });
    curveButtons_[static_cast<std::size_t>(i)] = b;

    FontStatic* label = Named(new FontStatic(kFirstChannelLabel + i, this), kFirstChannelLabel + i);
    label->SetText(
        Same(i + 1 < rules::kCurveButtonCount ? QString::fromStdString(ChannelLabel(i)) : QStringLiteral("CH7/8")));
    label->SetTextHeight(13);
    label->SetBold(true);
    label->setGeometry(868, 30 + i * kCurveButtonPitch, 52, 20);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    channelLabels_[static_cast<std::size_t>(i)] = label;
  }
}

void GraphSection::Redraw(int highlightFilter) {
  engine_.Data().Edit([](CKTV_Data& d) { d.Refresh(); });
  graph_->Redraw(highlightFilter);
}

void GraphSection::HideCurves() { shown_.fill(false); }

void GraphSection::LightButton(int index, bool on) {
  if (index < rules::kCurveButtonCount) curveButtons_[static_cast<std::size_t>(index)]->SetOn(on);
}

void GraphSection::RefreshCurveButtons() {
  for (int i = 0; i < rules::kCurveButtonCount; ++i) LightButton(i, shown_[static_cast<std::size_t>(i)]);
  // Channel 8 has no curve button of its own; "CH7/8" follows channel 7's flag, as selecting does.
  if (ui_.currentKind == kOutputChannelKind) LightButton(Current(), true);
}

void GraphSection::ShowChannel(int previous, int channel) {
  LightButton(previous, shown_[static_cast<std::size_t>(previous)]);
  LightButton(channel, true);
  graph_->ShowOutput(channel);
}

void GraphSection::OnCurveButton(int index) {
  if (!rules::CurveButtonActs(Current(), index)) return;
  auto& flag = shown_[static_cast<std::size_t>(index)];
  flag = !flag;
  LightButton(index, flag);
  graph_->SetReferenceShown(index, flag);
  Redraw();
}

void GraphSection::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  PaintPanel(p, rect(), Word("频率响应", "FREQUENCY RESPONSE") + QStringLiteral("  —  CH%1").arg(Current() + 1));
  PaintLabel(p, QRect(842, 6, 80, 18), Word("显示曲线", "Curves"), Qt::AlignLeft | Qt::AlignVCenter, 11);
}

}  // namespace zelto
