#pragma once
// The main form: the whole 1280 x 700 window content. It owns the runtime (the engine, the edit
// layer, presets, the update, A/B and the measurements: edit/runtime.h), the selection of the
// current channel and the dialogs, and shows the processor's state in sections (app/sections/): top bar, master,
// crossover, the car with its speaker positions and delays, the response graph with its curve
// buttons, the page area with the output page, and seven channel strips. Each section builds,
// paints and refreshes its own region and makes its own edits; the form tells the sections when
// to refresh and keeps them in step where one edit shows in several. Notices from the link worker
// arrive through Post() on any thread and are handled on the window thread.

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/history_panel.h"
#include "app/mix_page.h"
#include "app/output_page.h"
#include "app/sections/car_section.h"
#include "app/ui_state.h"
#include "core/notice.h"
#include "edit/ab_compare.h"
#include "edit/recovery_file.h"
#include "edit/editor.h"
#include "edit/notice_router.h"
#include "edit/runtime.h"
#include "link/engine.h"
#include "link/link_view.h"
#include "edit/positions.h"
#include "update/update_file_setting.h"
#include "presets/preset_files.h"
#include "presets/recent_files.h"
#include "presets/ui/preset_dialogs.h"
#include "update/ui/upgrade_dialog.h"
#include "update/update_transfer.h"

class QMenu;
class QTimer;

namespace zelto {

class AutoTuneDialog;
class CarPicture;
class CFStatic;
class CrossoverSection;
class GraphSection;
class MasterSection;
class MeasurementTools;
class PageSection;
class StripsSection;
class TopBarSection;
class TransferWindow;
class XPButton;

class CZeltoView : public QWidget, public LinkView, public NoticeSink {
  Q_OBJECT

 public:
  static constexpr int kFormId = 101;
  static constexpr int kWidth = 1280;
  static constexpr int kHeight = 700;
  /// Delay units of the car picture.
  using DelayUnit = CarSection::DelayUnit;
  static constexpr DelayUnit kMilliseconds = CarSection::kMilliseconds;
  static constexpr DelayUnit kCentimetres = CarSection::kCentimetres;
  static constexpr DelayUnit kInches = CarSection::kInches;

  CZeltoView(UiState& ui, Settings& settings, std::unique_ptr<HidTransport> transport, QWidget* parent = nullptr);
  ~CZeltoView() override;

  /// Everything the form does once it is built: language, channel binding, refresh, device
  /// watching, the update-file settings, and the automatic connect posted behind it.
  void InitialUpdate();

  Runtime& runtime() const { return *runtime_; }
  Engine& engine() const { return runtime_->engine(); }
  UiState& ui() { return ui_; }

  // LinkView, on the window thread.
  void ShowMessage(UserMessage message) override;
  void ShowTransferWindow(bool fromPresetDialog) override;
  void HideTransferWindow() override;
  void SetTransferRange(int count) override;
  void ShowConnectedState(bool connected) override;
  void ResetNameDisplays() override;
  void RefreshAll() override;

  // NoticeSink: any thread; queues the notice onto the window thread.
  void Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept override;
  /// The window-thread side of a notice: the engine's part, then the form's own.
  void HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam);

  void SelectChannel(int index);
  void ApplyLanguage();
  /// Flips the interface language and re-applies every text (the Chinese menu's "英文").
  void SwitchLanguage();
  void RunMenuCommand(int command);
  /// The commands of the settings and file menus in the current language: (command, text).
  QList<QPair<int, QString>> SettingsMenuItems() const;
  QList<QPair<int, QString>> FileMenuItems() const;
  /// Fills a menu with the commands, in the menus' look; undo and redo disabled when empty.
  void FillMenu(QMenu& menu, const QList<QPair<int, QString>>& items) const;
  /// Whether a menu command can act now (undo and redo only when there is a step).
  bool MenuCommandEnabled(int command) const;

  // History: Ctrl+Z, Ctrl+Shift+Z / Ctrl+Y and the settings menu.
  void UndoStep();
  void RedoStep();
  /// "Undo CH1 band 13 gain" / "撤销 CH1 第13段 增益"; the bare word when there is nothing.
  QString UndoText() const;
  QString RedoText() const;
  Editor& editor() const { return runtime_->editor(); }
  /// Ctrl+H and the settings menu: the history panel, on its steps page.
  void OpenHistoryPanel();
  void ShowHistoryPanel(HistoryPanel::Page page);
  HistoryPanel* HistoryView() const { return historyPanel_; }
  /// Undoes or redoes until `applied` steps of the side heard are applied (a panel click).
  void GoToStep(int applied);
  /// The status text the window shows.
  const QString& StatusText() const;

  /// Stops the link worker and releases this program's device claim; only the first call acts.
  void Shutdown();
  bool Closing() const { return closing_; }

  int CurrentChannel() const { return ui_.currentChannel; }
  bool CurveShown(int channel) const;
  bool LinkActive() const { return runtime_->editor().LinkOn(); }
  int DelayUnitShown() const { return carSection_->DelayUnitShown(); }
  bool AutoConnectDone() const { return autoConnectDone_; }
  bool ReadBackDone() const { return readBackDone_; }
  bool TransferShown() const;
  /// The device answered and its state is on screen, or no device answered: nothing to wait for.
  bool Settled() const;
  const update_file::UpdateFile& UpdateFileSetting() const { return updateFile_; }
  QString PresetNameShown() const;
  QString DeviceTextShown() const { return deviceText_; }
  TransferWindow* Transfer() const { return transferWindow_; }
  CFStatic* Graph() const { return graph_; }
  OutputPage* Page() const { return outputPage_; }
  CarPicture* Car() const { return carSection_->Car(); }
  /// The measurements, their curves on the graph, the EQ from measurement and REW filter files.
  MeasurementTools* Measurements() const;

  /// Replaces the message box for user messages (screenshots, tests), and the box that tells of a
  /// lost link.
  void SetMessageHandler(std::function<void(const QString&)> handler) {
    messageHandler_ = handler;
    linkLossHandler_ = std::move(handler);
  }
  /// The lost link's message, while it is on screen (the default handler only).
  QWidget* LinkLossMessage() const;
  /// Replaces the OK/Cancel and Yes/No questions: the handler returns true for OK or Yes.
  void SetQuestionHandler(std::function<bool(const QString&)> handler) { questionHandler_ = std::move(handler); }
  /// Replaces the copy-direction dialog of the link button: 0 left to right, 1 right to left,
  /// nothing for Cancel.
  void SetLinkChoiceHandler(std::function<std::optional<int>()> handler) { linkChoice_ = std::move(handler); }
  /// Answers the question after a connect whose read-back differs from unsent edits (true: send
  /// the user's settings) instead of asking.
  void SetConnectChoiceAnswer(std::optional<bool> sendMine) { connectAnswer_ = sendMine; }

  // EQ commands of the output page and of the form.
  /// Fills every band row, the EQ bypass state (page buttons and 2388) and the mode switch.
  void RefreshEqPage();
  /// Band k was changed on the graph: its row shows it and the link group takes it.
  void RefreshBandFromGraph(int k);
  void ToggleEqBypass();
  void SwitchEqMode();
  /// The output page's reset: the whole link group of the current channel.
  void ResetGroupEq();
  /// The form's reset: the current channel and, while linking is on, its pair partner.
  void ResetChannelEq();
  void RefreshCrossoverControls();

  // Linking.
  void ToggleLink();

  // Dialogs and windows of the form.
  /// Opens the mix page, or brings the open one to the front.
  void OpenMixer();
  MixPage* Mixer() const { return mixer_; }
  void OpenSourceVolumes();
  /// The measurement panel (sound devices, channels, sweeps); nothing in a build without acoustic measurement.
  QWidget* OpenMeasurePanel();
  /// The auto-tune dialog, its choices preset from the environment; nothing in a build without
  /// acoustic measurement.
  AutoTuneDialog* OpenAutoTuneDialog();
  /// Where a running measurement keeps its record: beside the recovery file, else in the state folder.
  std::string MeasurementGuardPath() const;
  /// Puts back what a measurement cut off by a crash or a kill had changed, as soon as the
  /// processor's settings are read back; its record goes once the processor has them.
  void RestoreLeftoverMeasurement();
  void FactoryReset();
  /// A firmware update is running: commands that would disturb it are refused.
  void SetUpdateRunning(bool running) { updateRunning_ = running; }
  bool UpdateRunning() const;

  // A/B comparison and the recovery file.
  /// Ctrl+B and the A/B button: the processor plays the other side.
  void SwitchAb();
  void CopyAb(AbSide from, AbSide to);
  /// Shows or hides the other side's curve of the current channel on the graph.
  void ToggleAbCurve();
  bool AbCurveShown() const { return abCurve_; }
  AbCompare& Ab() { return runtime_->ab(); }
  /// Keeps the work in a recovery file of this editor's own in `folder` from now on; what an
  /// editor that did not exit cleanly left there is offered once the processor's settings are
  /// known (or no processor answered). `answer` answers that question where nobody is there to.
  void EnableRecovery(const std::string& folder, std::optional<bool> answer = std::nullopt);
  /// Before a clean exit: unsent work made without a processor is kept for the next start, if
  /// the user wants it.
  void AskAboutUnsentWork();
  RecoveryFile* Recovery() const { return recovery_.get(); }

  // Presets, files and the firmware update.
  /// Preset dialog mode 1 (load) or 2 (save): the modal Source Load or Source Save dialog.
  void OpenPresetDialog(int mode);
  int PresetDialogMode() const { return presetDialogMode_; }
  PresetDialog* OpenPreset() const { return presetDialog_; }
  void OpenFirmwareUpdate();
  UpgradeDlg* OpenUpdate() const { return upgradeDialog_; }
  /// What the preset and update dialogs ask of the user. Message boxes and questions go the form's
  /// way; tests hand in names, files and menu choices here.
  PresetDialogHooks& PresetHooks() { return presetHooks_; }
  UpgradeDialogHooks& UpdateHooks() { return updateHooks_; }
  PresetFiles& Files() { return runtime_->files(); }
  UpdateTransfer& Update() { return runtime_->update(); }
  /// Loads recent file `index` (0 = newest) as the Open dialog's file button does; a file that
  /// cannot be loaded leaves the list.
  void OpenRecentFile(int index);
  RecentFiles& Recent() { return recentFiles_; }
  /// The title of the last PC file saved or loaded, as the title area shows it.
  QString FileTitleShown() const;
  static constexpr int kFileTitleChars = 13;

  /// A control by its identifier (its object name).
  template <class T>
  T* Control(int id) const {
    return findChild<T*>(QString::number(id));
  }

 signals:
  void minimiseRequested();
  void closeRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildSections();
  void WatchPresses(QWidget* root);
  void BuildHistoryKeys();
  /// A press on a control of the form opens a step and its release closes it, so a drag of a
  /// graph handle or a slider is one step however many edits it makes.
  void TrackPressStep(QObject* watched, QEvent* event);
  /// Ends the step a gesture opened (its release, or whatever took the mouse away).
  void ClosePressStep();
  /// After an undo, a redo or a panel click: the form, the title and the panel show the result.
  void ShowHistoryMove(bool titleMayChange);
  /// The panel follows the history; without `always` only when it changed.
  void RefreshHistoryPanel(bool always = false);
  /// After a factory reset or a firmware update: nothing before them can be undone.
  void ClearHistory();

  void AutoConnect();
  void LoadUpdateFileSetting();
  void ShowUserText(const QString& text);
  void SetStatus(const QString& text);

  // Top bar.
  void OnConnect();
  void PopupSettingsMenu();
  void PopupFileMenu();
  void PopupMenu(const QList<QPair<int, QString>>& items, const QPoint& where);
  void About();
  /// OK/Cancel (or Yes/No) question; true for OK or Yes.
  bool Ask(const QString& question, bool yesNo = false);

  // A/B and recovery (zelto_view_ab.cpp).
  void RefreshAbDisplay();
  void PaintAbBadge(QPainter& p);
  void OfferRecovery();
  void OfferRecoveryLater();
  void EndRecovery();
  // Link messages (zelto_view_link.cpp).
  void ShowUnableToConnect();
  void ShowLinkLoss(const QString& text);
  void LinkBack();
  void OnRecoveryTimer();

  // Channels.
  void OnStripSelect(int channel);
  void OnStripGain(int channel);
  void OnGraphChanged(int filterIndex, int channelCode);
  void OnPageCrossover(bool highPass);
  void SetCrossoverFrequency(bool highPass, int hz, Editor::CrossoverBox box);
  void SetCrossoverList(bool highPass, bool family, int index);
  /// A crossover filter of the current channel changed: every place that shows it follows.
  void ShowCrossoverEdit(bool highPass);

  // EQ.
  /// Shows the outcome of a whole-EQ reset: the progress window, the page and the graph.
  void ShowEqReset(const Editor::BlockResult& result);
  void OnMixerClosed();
  /// Shows the progress window when a queued block carries the transfer-finished flag.
  void ShowBlockTransfer(bool flagged);

  /// Shows the values of channel `channel` wherever the form shows them (strip, page, crossover).
  void RefreshChannel(int channel);
  void RefreshTitleArea();
  void SetSelectHighlight(int channel, bool selected);
  /// Recomputes the curves and redraws the graph with filter `highlightFilter` filled (-1: none).
  void RedrawGraph(int highlightFilter = -1);
  CKTV_OutData& Channel(int index) { return engine().Data().Output(index); }

  UiState& ui_;
  Settings& settings_;
  RecentFiles recentFiles_;
  std::unique_ptr<Runtime> runtime_;

  // Form state.
  int presetDialogMode_ = 0;
  bool closing_ = false;
  bool claimReleased_ = false;
  bool autoConnectDone_ = false;
  bool readBackDone_ = false;
  bool updateRunning_ = false;
  /// A mouse press on the form opened a step that its release closes.
  bool pressStep_ = false;
  std::uint64_t pressStamp_ = 0;
  update_file::UpdateFile updateFile_;
  QString deviceText_;
  std::function<void(const QString&)> messageHandler_;
  // A lost link (zelto_view_link.cpp): told after a grace period unless the processor is back by
  // then, in a box that neither blocks the window nor takes its keyboard and that closes itself
  // when the processor is connected again.
  std::function<void(const QString&)> linkLossHandler_;
  QTimer* linkLossTimer_ = nullptr;
  QString linkLossText_;
  QPointer<QWidget> linkLossBox_;
  std::function<bool(const QString&)> questionHandler_;
  std::function<std::optional<int>()> linkChoice_;
  std::optional<bool> connectAnswer_;

  // Dragging the frameless window by the form's background.
  bool dragging_ = false;
  QPoint dragOffset_;

  // Sections, and the controls of theirs the form works with.
  TopBarSection* topBar_ = nullptr;
  MasterSection* master_ = nullptr;
  CrossoverSection* crossover_ = nullptr;
  CarSection* carSection_ = nullptr;
  GraphSection* graphSection_ = nullptr;
  PageSection* pageSection_ = nullptr;
  StripsSection* strips_ = nullptr;
  XPButton* abButton_ = nullptr;
  CFStatic* graph_ = nullptr;
  OutputPage* outputPage_ = nullptr;
  TransferWindow* transferWindow_ = nullptr;

  PresetDialogHooks presetHooks_;
  UpgradeDialogHooks updateHooks_;
  QPointer<PresetDialog> presetDialog_;
  QPointer<UpgradeDlg> upgradeDialog_;
  QPointer<MixPage> mixer_;
  MixPageMemo mixMemo_;

  bool abCurve_ = false;
  QPointer<HistoryPanel> historyPanel_;
  AbSide panelSide_ = AbSide::A;
  std::uint64_t panelRevision_ = 0;
  std::unique_ptr<RecoveryFile> recovery_;
  std::optional<bool> recoveryAnswer_;
  bool recoveryOffered_ = false;
  QTimer* recoveryTimer_ = nullptr;
  std::unique_ptr<recovery::LeftFile> leftRecovery_;
  std::vector<std::string> newerRecoveryFiles_;
  std::string recoveryProblem_;
  bool keepRecoveryOnExit_ = false;
};

}  // namespace zelto
