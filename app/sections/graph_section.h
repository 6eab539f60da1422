#pragma once
// The graph section: the response graph of the current channel with the measurement menu's
// button, and the curve buttons that show other channels' curves beside it.

#include <array>

#include "app/sections/section.h"
#include "core/device_image.h"
#include "edit/positions.h"

namespace zelto {

class CFStatic;
class FontStatic;
class MeasurementTools;
namespace measure {
class ChannelMeasurements;
}
class XPButton;

class GraphSection : public Section {
  Q_OBJECT

 public:
  static constexpr QRect kRegion{346, 58, 926, 204};

  /// `window` is where the measurement tools' menus and dialogs open.
  /// The measurement tools show `measurements`, which the runtime holds.
  GraphSection(UiState& ui, Engine& engine, Editor& editor, measure::ChannelMeasurements& measurements,
               QWidget* window);

  /// Recomputes the curves and redraws the graph with filter `highlightFilter` filled (-1: none).
  void Redraw(int highlightFilter = -1);
  /// Shows no other channel's curve.
  void HideCurves();
  /// Every curve button as its flag is, and lit for the current channel.
  void RefreshCurveButtons();
  /// The graph shows `channel` (after `previous`); its curve button is lit.
  void ShowChannel(int previous, int channel);
  bool CurveShown(int channel) const { return shown_.at(static_cast<std::size_t>(channel)); }
  CFStatic* Graph() const { return graph_; }
  MeasurementTools* Measurements() const { return tools_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnCurveButton(int index);
  void LightButton(int index, bool on);

  CFStatic* graph_ = nullptr;
  MeasurementTools* tools_ = nullptr;
  std::array<XPButton*, rules::kCurveButtonCount> curveButtons_{};
  std::array<FontStatic*, rules::kCurveButtonCount> channelLabels_{};
  std::array<bool, kOutputChannels> shown_{};
};

}  // namespace zelto
