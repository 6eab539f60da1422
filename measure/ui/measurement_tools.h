#pragma once
// The window's measurement tools: per output channel a measurement with the target and the
// predicted result on the response graph, the graph's measurement menu, the "EQ from
// measurement" dialog and the REW filter import and export of the file menu. The measurements
// are the runtime's, held beside the engine for as long as the editor runs; the curves are computed from the
// channel's filters whenever the graph draws, so they follow a drag as it happens.
//
// What the tools ask of the user (a file, a message box) goes through MeasureHooks, so the main
// view routes messages its own way and tests answer without a modal window.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "curves/ui/response_graph.h"
#include "edit/recovery_file.h"
#include "measure/band_fit.h"
#include "measure/channel_measurements.h"

class QMenu;
class QPoint;
class QWidget;

namespace zelto {

class Editor;
class Engine;
class EqFromMeasurementDlg;

enum class MeasureFile { Measurement, Target, FiltersIn, FiltersOut };

struct MeasureHooks {
  /// A message box with OK; empty: the system's.
  std::function<void(const QString& text)> inform;
  /// A file dialog with the given Qt filter: the chosen path, nothing when cancelled; empty: the
  /// system's.
  std::function<std::optional<QString>(MeasureFile kind, const QString& filter)> chooseFile;
  /// Bands of these channels were set: the window shows them.
  std::function<void(const std::vector<int>& channels)> bandsApplied;
};

class MeasurementTools : public QObject, public RecoveryPart {
  Q_OBJECT

 public:
  /// Hands the graph its overlay (keys: the ShownCurve values) and takes its legend clicks.
  /// `held` is the program's measurements (the runtime keeps them) and outlives the tools.
  MeasurementTools(Editor& editor, measure::ChannelMeasurements& held, CFStatic& graph, QWidget* window);
  ~MeasurementTools() override;

  MeasureHooks& Hooks() { return hooks_; }
  measure::ChannelMeasurements& Held() { return held_; }
  const measure::ChannelMeasurements& Held() const { return held_; }
  /// The output channel the graph shows, or nothing.
  std::optional<int> ShownChannel() const;

  // ---- measurements ----
  /// Reads `path` as `channel`'s measurement, kept with the channel's response now. A file that
  /// cannot be read is reported (with its line) and the channel keeps what it had.
  bool LoadMeasurement(int channel, const QString& path);
  /// Asks for a file, then loads it.
  bool ChooseMeasurement(int channel);
  void RemoveMeasurement(int channel);
  void ToggleCurve(measure::ShownCurve curve);
  void SetSmoothing(int fraction);

  /// The graph's measurement menu (the graph's context menu and the Measurement button).
  void ShowMenu(const QPoint& globalPos);
  /// Fills `menu` with the measurement menu's entries for the channel shown.
  void FillMenu(QMenu& menu);

  // ---- EQ from measurement ----
  /// Opens the dialog for `channel` (asking for a measurement first when it has none) without
  /// waiting for it; the dialog is window-modal. Null when nothing was opened.
  EqFromMeasurementDlg* OpenEqDialog(int channel);
  /// The open dialog, or null.
  EqFromMeasurementDlg* EqDialog() const;
  /// The automatic EQ for `channel` with its held settings and its filters now.
  std::optional<measure::AutoEqResult> ComputeAutoEq(int channel);
  /// Shows (or, with nothing, takes away) the predicted result of proposed bands on the graph.
  void ShowProposal(int channel, const std::optional<std::vector<measure::BandSetting>>& bands);

  // ---- REW filters (the current channel in the file menu) ----
  bool ImportRewFilters(int channel, const QString& path);
  bool ExportRewFilters(int channel, const QString& path);
  bool ChooseAndImport();
  bool ChooseAndExport();

  /// Sets `channel`'s bands (and its link group's) as one step through the edit layer; the window
  /// then shows them. A channel in graphic EQ mode is refused with a message. Returns the
  /// channels changed.
  std::vector<int> ApplyBands(int channel, const std::vector<measure::BandSetting>& bands);

  /// Tells the user (and returns true) when the bands of `channel` are fixed by graphic EQ mode.
  bool RefuseGraphicMode(int channel);
  Language CurrentLanguage() const;
  void Inform(const QString& text);
  std::optional<QString> ChooseFile(MeasureFile kind);
  /// Redraws the graph.
  void Redraw();

  // ---- the recovery file ----
  /// The measurements, their targets and what is drawn of them.
  std::vector<std::uint8_t> SaveRecoveryPart() override;
  /// Replaces every measurement and target with the blob's (none for an empty or refused blob)
  /// and redraws.
  bool RestoreRecoveryPart(std::span<const std::uint8_t> blob) override;

 private:
  /// The graph's overlay: the shown channel's curves with its filters now.
  std::vector<GraphOverlayCurve> OverlayCurves() const;
  void Report(const std::vector<int>& changed, int channel, QString text);
  /// Moves the dialog where it leaves the response graph in view.
  void PlaceClearOfGraph(QWidget& dialog) const;

  Editor& editor_;
  Engine& engine_;
  QPointer<CFStatic> graph_;  // a sibling, which may go first when the window closes
  QWidget* window_;
  MeasureHooks hooks_;
  measure::ChannelMeasurements& held_;
  QPointer<EqFromMeasurementDlg> eqDialog_;
  // The recovery file asks often; the bytes are made again only after a change.
  std::vector<std::uint8_t> savedBytes_;
  std::optional<std::uint64_t> savedRevision_;
};

}  // namespace zelto
