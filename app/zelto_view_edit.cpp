// The main form's editing commands that act on more than one section: the whole-EQ commands with
// their questions and block sends, channel linking, the mix page, the source volume dialog, the
// factory reset, the preset dialogs and the firmware update.
#include <QMessageBox>
#include <algorithm>

#include "app/link_dialog.h"
#include "edit/linking.h"
#include "app/source_volume_dialog.h"
#include "app/transfer_window.h"
#include "app/sections/car_section.h"
#include "app/sections/page_section.h"
#include "app/sections/top_bar_section.h"
#include "app/zelto_view.h"

#include <optional>
#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "curves/ui/response_graph.h"

namespace zelto {

namespace {

QString Text(Language lang, const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); }

}  // namespace

bool CZeltoView::Ask(const QString& question, bool yesNo) {
  if (questionHandler_) return questionHandler_(question);
  const auto buttons = yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel;
  const auto answer = QMessageBox::question(window(), QString::fromUtf8(kModelIdentity), question, buttons,
                                            yesNo ? QMessageBox::No : QMessageBox::Cancel);
  return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

void CZeltoView::ShowBlockTransfer(bool flagged) {
  // The reply to the flagged block closes the window again.
  if (flagged) ShowTransferWindow(false);
}

// ---- the band rows ---------------------------------------------------------------------------

void CZeltoView::RefreshEqPage() { pageSection_->RefreshEq(); }

void CZeltoView::RefreshBandFromGraph(int k) { pageSection_->RefreshBandFromGraph(k); }

// ---- whole-EQ commands -----------------------------------------------------------------------

void CZeltoView::ToggleEqBypass() {
  const bool on = !carSection_->EqBypassShown();
  const Editor::BlockResult result = editor().SetEqBypass(ui_.currentChannel, on);
  if (!result.applied) {
    carSection_->ShowEqBypass(true);
    outputPage_->ShowEqBypass(true);
    return;
  }
  {
    auto lock = engine().Data().Lock();
    const CKTVEQ& eq = Channel(ui_.currentChannel).Eq();
    for (int k = 0; k < std::min(OutputPage::kBands, eq.BandCount()); ++k)
      outputPage_->ShowBypassDisplay(k, eq.Filter(k));
  }
  ShowBlockTransfer(result.flagged);
  carSection_->ShowEqBypass(on);
  outputPage_->ShowEqBypass(on);
  RedrawGraph();
}

void CZeltoView::SwitchEqMode() {
  const int mode = outputPage_->EqModeShown() ? 0 : 1;
  const Language lang = ui_.language;
  const QString question =
      mode == 1 ? Text(lang, "是否把参量均衡模式转换为图示均衡模式?", "Whether the PEQMode convert to GEQMode?")
                : Text(lang, "是否把图示均衡模式转换为参量均衡模式?", "Whether the GEQMode convert to PEQMode?");
  if (!Ask(question)) return;
  outputPage_->ShowEqMode(mode);
  ShowEqReset(editor().SetEqMode(ui_.currentChannel, mode));
}

void CZeltoView::ResetGroupEq() {
  if (!Ask(Text(ui_.language, "是否恢复所有EQ的初始值", "Whether the reset all EQ?"))) return;
  ShowEqReset(editor().ResetGroupEq(ui_.currentChannel));
}

void CZeltoView::ResetChannelEq() {
  if (!Ask(Text(ui_.language, "是否恢复所有EQ的初始值", "Whether the reset all EQ?"))) return;
  ShowEqReset(editor().ResetChannelEq(ui_.currentChannel));
}

void CZeltoView::ShowEqReset(const Editor::BlockResult& result) {
  ShowBlockTransfer(result.flagged);
  RefreshEqPage();
  RedrawGraph();
}

// ---- linking ---------------------------------------------------------------------------------

void CZeltoView::ToggleLink() {
  DeviceImage& image = engine().Image();
  if (editor().LinkOn()) {
    if (auto partner = rules::PairPartner(image, ui_.currentChannel); partner && *partner != ui_.currentChannel)
      SetSelectHighlight(*partner, false);
    editor().Unlink();
    topBar_->ShowLink(false);
    return;
  }
  std::optional<int> choice;
  if (linkChoice_) {
    choice = linkChoice_();
  } else {
    CH_Link_Dlg dialog(ui_.language, window());
    if (dialog.exec() == QDialog::Accepted) choice = dialog.Choice();
  }
  if (!choice) return;
  const auto direction = *choice == 1 ? rules::CopyDirection::RightToLeft : rules::CopyDirection::LeftToRight;
  const Editor::LinkResult result = editor().Link(direction);
  if (result.noPairs) {
    ShowUserText(QStringLiteral("无通道可以联调"));
    return;
  }
  topBar_->ShowLink(true);
  ShowBlockTransfer(result.flagged);
  SetSelectHighlight(ui_.currentChannel, true);
  if (auto partner = rules::PairPartner(image, ui_.currentChannel)) SetSelectHighlight(*partner, true);
  for (const auto& c : result.copies) RefreshChannel(c.target);
  RedrawGraph();
}

// ---- mix page and source volumes ---------------------------------------------------------------

void CZeltoView::OpenMixer() {
  if (mixer_) {
    mixer_->raise();
    mixer_->activateWindow();
    return;
  }
  mixer_ = new MixPage(ui_.language, editor(), mixMemo_, window());
  connect(mixer_, &MixPage::closed, this, [this] { OnMixerClosed(); });
  topBar_->ShowMixerOpen(true);
  mixer_->show();
}

void CZeltoView::OnMixerClosed() {
  // The window goes once its own close handling is over; the form forgets it now.
  if (mixer_) mixer_->deleteLater();
  mixer_ = nullptr;
  topBar_->ShowMixerOpen(false);
}

void CZeltoView::OpenSourceVolumes() {
  SvolumeDLG dialog(
      ui_.language, engine().Image(), [this](int slot, int volume) { return editor().SetSourceVolume(slot, volume); },
      window());
  dialog.exec();
}

void CZeltoView::FactoryReset() {
  const bool zh = ui_.language == Language::Chinese;
  if (UpdateRunning()) {
    ShowUserText(QString::fromUtf8(zh ? "更新中 请勿关闭!" : "Don't close up the update!"));
    return;
  }
  const QString question = QString::fromUtf8(
      zh ? "恢复出厂设置后，您的数据会全部丢失，这个过程是不可恢复的！ 选择'是'则清除数据，选择'否'则不进行操作"
         : "After restoring the factory settings, all your data will be lost. This process is not recoverable!  "
           "Choose 'YES' to clear the data, and choose 'NO' to do nothing.");
  if (!Ask(question, true)) return;
  if (!editor().FactoryReset()) {
    ShowUserText(QString::fromUtf8(zh ? "设备未连接" : "The device is not connected"));
    return;
  }
  ClearHistory();
}

// ---- presets and firmware --------------------------------------------------------------------

bool CZeltoView::UpdateRunning() const {
  return updateRunning_ || engine().Flags().updateMode || runtime_->update().Updating();
}

void CZeltoView::OpenPresetDialog(int mode) {
  if (presetDialog_) return;
  presetDialogMode_ = mode;
  std::unique_ptr<PresetDialog> dialog;
  if (mode == 1) {
    dialog = std::make_unique<CSourceLoadDlg>(engine(), runtime_->files(), ui_.language, presetHooks_, window());
  } else {
    dialog = std::make_unique<CSourceSaveDlg>(engine(), runtime_->files(), ui_.language, presetHooks_, window());
  }
  presetDialog_ = dialog.get();
  // Each file the load dialog brings in is a step of its own (the hooks load through the editor),
  // and so is each recalled slot.
  dialog->exec();
  presetDialog_ = nullptr;
  // However the dialog ended, none is open now.
  presetDialogMode_ = 0;
}

void CZeltoView::OpenFirmwareUpdate() {
  if (upgradeDialog_) return;
  UpgradeDlg dialog(runtime_->update(), ui_.language, updateHooks_, window());
  upgradeDialog_ = &dialog;
  dialog.exec();
  upgradeDialog_ = nullptr;
  if (updateRunning_ || engine().Flags().updateFinished) ClearHistory();
  updateRunning_ = false;
  engine().Flags().updateMode = false;
  engine().Flags().updateFinished = false;
}

}  // namespace zelto
