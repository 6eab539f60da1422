#pragma once
// The summed response before and after an auto-tune against its target, in the window's dark look.

#include <QWidget>

#include "acoustics/auto_tune_run.h"
#include "core/encodings.h"
#include "measure/measurement.h"

namespace zelto {

/// Draws the summed response before and after against the target, each level-matched over the
/// band the deviation is taken on, as the dialog's figures compare them.
class SummedResponsePlot : public QWidget {
 public:
  explicit SummedResponsePlot(Language lang, QWidget* parent = nullptr);
  void SetCurves(const acoustics::SummedFigures& before, const acoustics::SummedFigures* after,
                 const measure::Target& target);
  QSize sizeHint() const override { return {420, 220}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Language lang_;
  measure::Measurement before_;
  measure::Measurement after_;
  measure::Target target_{};
  bool hasTarget_ = false;
};

}  // namespace zelto
