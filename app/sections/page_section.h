#pragma once
// The page area: the tab control with the output page (the current channel's EQ band rows) and
// its settings sheet (crossover, limiter, output gain), with the whole-EQ commands on the tab
// strip. Band, limiter and gain edits are made here; the whole-EQ commands and the crossover go
// to the form, which asks and keeps the other sections in step.

#include "app/output_page.h"
#include "app/sections/section.h"

namespace zelto {

class EnTabCtrl;
class NumEdit;

class PageSection : public Section {
  Q_OBJECT

 public:
  static constexpr QRect kRegion{346, 268, 926, 250};

  PageSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent);

  /// Binds the current channel and fills every band row and the EQ bypass state.
  void RefreshEq();
  /// Band k was changed on the graph: its row shows it and the link group takes it.
  void RefreshBandFromGraph(int k);
  /// The EQ bypass state of the current channel (on when every band is off).
  void ShowEqBypassState();
  void ApplyLanguage();
  OutputPage* Page() const { return page_; }
  EnTabCtrl* Tabs() const { return tabs_; }

 signals:
  /// The curves changed: the graph redraws with filter `highlightFilter` filled (-1: none).
  void graphChanged(int highlightFilter);
  void eqBypassShown(bool on);
  /// The output gain of the current channel's link group changed.
  void outputGainChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnBandEdited(OutputPage::BandValue value, int k);
  void OnBandSlider(int k);
  void EditBandGain(int k, int gainCode);
  void ToggleBandBypass(int k);
  /// The band's label and box carry the marks of the last edit; the graph fills the band.
  void MarkBandEdited(int k, NumEdit* box);
  void OnLimiterEdited(int id, int value);
  void OnOutputGain(int gainCode);

  EnTabCtrl* tabs_ = nullptr;
  OutputPage* page_ = nullptr;
};

}  // namespace zelto
