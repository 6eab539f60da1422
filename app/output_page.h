#pragma once
// The output page in the page area: the 31 EQ bands of the current output channel at a glance
// (number, gain bar, gain, frequency, Q), its EQ mode and bypass state. It is re-bound to the
// channel on every selection and refreshed with the form.

#include <QWidget>

#include "core/encodings.h"

namespace zelto {

class CKTV_OutData;

class OutputPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 136;
  static constexpr int kFirstBandLabel = 5280;
  static constexpr int kBands = 31;

  explicit OutputPage(QWidget* parent = nullptr);

  /// Shows `channel` (null: nothing).
  void Bind(CKTV_OutData* channel);
  CKTV_OutData* Bound() const { return channel_; }
  /// Reads every band again.
  void Refresh();
  void SetLanguage(Language lang);
  /// The band drawn in the highlight colour (the last edited one), -1 for none.
  void SetHighlightedBand(int band);
  int HighlightedBand() const { return highlighted_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CKTV_OutData* channel_ = nullptr;
  Language lang_ = Language::English;
  int highlighted_ = -1;
};

}  // namespace zelto
