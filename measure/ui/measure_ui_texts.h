#pragma once
// Every word the window's measurement tools show, in both languages.

#include <QString>

#include "controls/skin.h"

namespace zelto::measure_ui {

enum class Word {
  // The graph's menu, the button above the graph and the legend.
  MeasurementButton,
  LoadMeasurement,
  EqFromMeasurement,
  RemoveMeasurement,
  Smoothing,
  NoSmoothing,
  OctaveFraction,  // %1: N of 1/N
  WholeOctave,
  CurveMeasured,
  CurveTarget,
  CurvePredicted,
  CurveProposed,
  // The file menu.
  ImportRewFilters,
  ExportRewFilters,
  // Files.
  MeasurementFiles,
  FilterFiles,
  AllFiles,
  // Messages.
  GraphicMode,  // %1 channel
  Imported,     // %1 channel, %2 filters, %3 bands, %4 RMS, %5 largest, %6 where
  InputShown,   // the graph shows an input: nothing to import into
  AlsoLinked,   // %1 channels
  Written,      // %1 file
  WriteFailed,  // %1 file
  // The EQ from measurement dialog.
  DialogCaption,
  Measurement,
  NoMeasurement,
  Load,
  Target,
  TargetFlat,
  TargetCar,
  TargetFile,
  Range,
  MaxBoost,
  CutLimit,
  Apply,
  Cancel,
  Deviation,      // %1 before, %2 after
  RangeUsed,      // %1 low, %2 high
  RangeNarrowed,  // %1 low, %2 high: the pass band the range was narrowed to
  BandsUsed,      // %1 used, %2 of, %3 flatness
  BoostBinds,     // %1 limit, %2 where
  BoostFree,      // %1 limit
  CutBinds,       // %1 limit, %2 where
  DipsLeft,       // %1 the dips
  LowCut,         // %1 where
  Unchanged,
  NoOverlap,  // %1 low, %2 high
  PreviewHint,
};

BiText Bi(Word word);
inline QString Text(Word word, Language lang) { return Bi(word).In(lang); }

/// "20 Hz", "1.25 kHz": a frequency as the messages write it.
QString HzText(double hz);

}  // namespace zelto::measure_ui
