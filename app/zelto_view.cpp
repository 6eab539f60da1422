#include "app/zelto_view.h"
#include "app/connect_choice_dialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <algorithm>

#include "app/car_picture.h"
#include "app/output_page.h"
#include "app/sections/crossover_section.h"
#include "app/sections/graph_section.h"
#include "app/sections/master_section.h"
#include "app/sections/page_section.h"
#include "app/sections/strips_section.h"
#include "app/sections/top_bar_section.h"
#include "app/transfer_window.h"
#include "app/view_ids.h"
#include "controls/com_box_btn.h"
#include "controls/en_tab_ctrl.h"
#include "controls/font_static.h"
#include "controls/num_edit.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "curves/ui/response_graph.h"
#include "edit/linking.h"
#include "edit/positions.h"
#include "edit/system_settings.h"
#include "link/refused_open_text.h"
#include "measure/ui/measurement_tools.h"
#include "update/update_file_setting.h"

namespace zelto {

namespace {

using namespace view_id;

}  // namespace

CZeltoView::CZeltoView(UiState& ui, Settings& settings, std::unique_ptr<HidTransport> transport, QWidget* parent)
    : QWidget(parent), ui_(ui), settings_(settings), recentFiles_(settings) {
  setObjectName(QString::number(kFormId));
  setFixedSize(kWidth, kHeight);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  runtime_ = std::make_unique<Runtime>(std::move(transport), settings_, *this, *this, ui_.language);
  // The update's progress and end go to its dialog while it is open.
  runtime_->router().Add([this](Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
    if (upgradeDialog_) {
      upgradeDialog_->HandleNotice(notice, wParam, lParam);
    } else {
      runtime_->update().HandleNotice(notice, wParam, lParam);
    }
  });
  // An all-slots save ends when the slots have been read back.
  runtime_->router().Add([this](Notice notice, std::intptr_t, std::intptr_t) {
    HandlePresetFileNotice(runtime_->files(), notice, ui_.language, presetHooks_,
                           presetDialog_ ? presetDialog_.data() : window());
  });
  // Before anything else once the processor's settings are in: a measurement's leftover routing.
  runtime_->router().Add([this](Notice notice, std::intptr_t, std::intptr_t) {
    if (notice == Notice::LiveReadDone) RestoreLeftoverMeasurement();
  });
  messageHandler_ = [this](const QString& text) {
    QMessageBox::information(window(), QString::fromUtf8(kModelIdentity), text);
  };
  // The dialogs' message boxes and questions go the form's way, so they read the same everywhere.
  presetHooks_.inform = [this](const QString& text) { ShowUserText(text); };
  presetHooks_.confirm = [this](const QString& text) { return Ask(text); };
  presetHooks_.showFileTitle = [this](const QString& title) { topBar_->SetFileTitle(title.left(kFileTitleChars)); };
  presetHooks_.fileUsed = [this](const std::string& path) { recentFiles_.Add(path); };
  // However a file is loaded, it is one step of its own.
  presetHooks_.loadFile = [this](const std::string& path) { return editor().LoadPresetFile(runtime_->files(), path); };
  updateHooks_.inform = [this](const QString& text) { ShowUserText(text); };

  BuildSections();
  transferWindow_ = new TransferWindow(this);
  transferWindow_->hide();
  WatchPresses(this);
  BuildHistoryKeys();
  auto* abKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), this);
  connect(abKey, &QShortcut::activated, this, [this] { SwitchAb(); });
}

CZeltoView::~CZeltoView() {
  Shutdown();
  // The runtime goes before the widgets the update transfer and the engine report to; its worker
  // is stopped already.
  runtime_.reset();
}

// ---- building -------------------------------------------------------------------------------

void CZeltoView::BuildSections() {
  // Built in the order of the form, which is also the order the Tab key follows.
  topBar_ = new TopBarSection(ui_, engine(), editor(), this);
  abButton_ = topBar_->AbButton();
  connect(topBar_, &TopBarSection::connectPressed, this, [this] { OnConnect(); });
  connect(topBar_, &TopBarSection::abPressed, this, [this] { SwitchAb(); });
  connect(topBar_, &TopBarSection::settingsMenuPressed, this, [this] { PopupSettingsMenu(); });
  connect(topBar_, &TopBarSection::fileMenuPressed, this, [this] { PopupFileMenu(); });
  connect(topBar_, &TopBarSection::linkPressed, this, [this] { ToggleLink(); });
  connect(topBar_, &TopBarSection::mixerPressed, this, [this] { OpenMixer(); });
  connect(topBar_, &TopBarSection::minimisePressed, this, [this] { emit minimiseRequested(); });
  connect(topBar_, &TopBarSection::closePressed, this, [this] {
    Shutdown();
    emit closeRequested();
  });

  master_ = new MasterSection(ui_, engine(), editor(), this);

  crossover_ = new CrossoverSection(ui_, engine(), editor(), this);
  connect(crossover_, &CrossoverSection::edited, this, &CZeltoView::ShowCrossoverEdit);

  carSection_ = new CarSection(ui_, engine(), editor(), this);
  connect(carSection_, &CarSection::channelChosen, this, &CZeltoView::SelectChannel);
  connect(carSection_, &CarSection::eqResetPressed, this, [this] { ResetChannelEq(); });
  connect(carSection_, &CarSection::eqBypassPressed, this, [this] { ToggleEqBypass(); });

  graphSection_ = new GraphSection(ui_, engine(), editor(), runtime_->measurements(), this);
  graph_ = graphSection_->Graph();
  connect(graph_, &CFStatic::filterChanged, this, &CZeltoView::OnGraphChanged);
  MeasureHooks& measure = graphSection_->Measurements()->Hooks();
  measure.inform = [this](const QString& text) { ShowUserText(text); };
  measure.bandsApplied = [this](const std::vector<int>&) {
    RefreshEqPage();
    RedrawGraph();
  };

  pageSection_ = new PageSection(ui_, engine(), editor(), this);
  outputPage_ = pageSection_->Page();
  connect(pageSection_, &PageSection::graphChanged, this, [this](int filter) { RedrawGraph(filter); });
  connect(pageSection_, &PageSection::eqBypassShown, carSection_, &CarSection::ShowEqBypass);
  connect(pageSection_, &PageSection::outputGainChanged, this, [this] { strips_->ShowGroupGain(ui_.currentChannel); });
  connect(outputPage_, &OutputPage::eqBypassPressed, this, &CZeltoView::ToggleEqBypass);
  connect(outputPage_, &OutputPage::eqModePressed, this, &CZeltoView::SwitchEqMode);
  connect(outputPage_, &OutputPage::eqResetPressed, this, &CZeltoView::ResetGroupEq);
  connect(outputPage_, &OutputPage::crossoverEdited, this, &CZeltoView::OnPageCrossover);
  connect(outputPage_, &OutputPage::crossoverListChosen, this, &CZeltoView::SetCrossoverList);

  strips_ = new StripsSection(ui_, engine(), editor(), this);
  connect(strips_, &StripsSection::selectPressed, this, &CZeltoView::OnStripSelect);
  connect(strips_, &StripsSection::gainEdited, this, &CZeltoView::OnStripGain);
}

void CZeltoView::WatchPresses(QWidget* root) {
  // A section's own background is the form's: a press there is the form's, as before sections.
  for (QWidget* w : root->findChildren<QWidget*>())
    if (!qobject_cast<Section*>(w)) w->installEventFilter(this);
}

// ---- start-up and shut-down -----------------------------------------------------------------

void CZeltoView::InitialUpdate() {
  graphSection_->HideCurves();
  graph_->Attach(&engine().Data());
  ResetNameDisplays();
  ShowConnectedState(false);
  ApplyLanguage();
  RefreshAll();
  engine().StartDeviceWatcher();
  window()->setWindowTitle(QString::fromUtf8(kModelIdentity));
  LoadUpdateFileSetting();
  // The automatic connect runs once the window is up and the event loop turns.
  QMetaObject::invokeMethod(
      this, [this] { AutoConnect(); }, Qt::QueuedConnection);
}

void CZeltoView::LoadUpdateFileSetting() { updateFile_ = update_file::LoadOrCreateUpdateFile(settings_, updateFile_); }

void CZeltoView::AutoConnect() {
  if (!closing_) engine().AutoConnect();
  autoConnectDone_ = true;
  // Without a processor there are no settings to wait for.
  if (!engine().Connected()) OfferRecoveryLater();
  update();
}

void CZeltoView::Shutdown() {
  if (claimReleased_) return;
  claimReleased_ = true;
  closing_ = true;
  engine().StopDeviceWatcher();
  engine().Worker().StopWorker(false);
  EndRecovery();
  engine().Link().ReleaseClaim();
  transferWindow_->HideAndRelease();
}

// ---- notices ----------------------------------------------------------------------------------

void CZeltoView::Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept {
  QMetaObject::invokeMethod(
      this, [this, notice, wParam, lParam] { HandleNotice(notice, wParam, lParam); }, Qt::QueuedConnection);
}

void CZeltoView::HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
  if (closing_) return;
  runtime_->router().Route(notice, wParam, lParam);
  DeviceImage& image = engine().Image();
  switch (notice) {
    case Notice::LiveReadDone:
      readBackDone_ = true;
      // What was left by a crash is offered over the processor's settings, not replaced by them.
      if (!recoveryOffered_)
        OfferRecoveryLater();
      else if (recovery_)
        recovery_->MarkWritten();
      break;
    case Notice::TransferPosition: transferWindow_->SetPosition(static_cast<int>(wParam)); break;
    case Notice::DeviceInfo:
      deviceText_ = engine().Connected()
                        ? QString::fromLatin1(reinterpret_cast<const char*>(image.deviceInfoText.data()),
                                              static_cast<qsizetype>(image.deviceInfoText.size()))
                              .trimmed()
                        : QString();
      if (recovery_ && !deviceText_.isEmpty()) recovery_->SetProcessor(deviceText_.toStdString());
      RefreshTitleArea();
      break;
    case Notice::PresetName:
      RefreshTitleArea();
      if (presetDialog_) presetDialog_->Refresh();
      break;
    case Notice::DeviceSource:
      // The processor switched source itself: show it, echo nothing back.
      topBar_->ShowSource(rules::ShownSource(image));
      break;
    case Notice::DeviceVolume: master_->ShowDeviceVolume(); break;
    case Notice::DeviceMute: master_->ShowDeviceMute(); break;
    case Notice::ConnectChoice:
      if (editor().ConnectChoicePending()) {
        const bool send = connectAnswer_
                              ? *connectAnswer_
                              : ConnectChoiceDlg::Ask(ui_.language, editor().ConnectChoiceChannels(), window());
        ShowBlockTransfer(editor().ResolveConnectChoice(send).flagged);
        RefreshAll();
      }
      break;
    case Notice::LinkFailed:
    case Notice::EmptyReply:
    case Notice::DeviceRemoved:
      // The identity goes with the connection; a failed report the device survived, or another
      // device leaving, leaves both.
      if (!engine().Connected()) {
        deviceText_.clear();
        RefreshTitleArea();
      }
      break;
    default: break;
  }
}

// ---- LinkView ---------------------------------------------------------------------------------

void CZeltoView::ShowMessage(UserMessage message) {
  if (message == UserMessage::UnableToConnect) {
    ShowUnableToConnect();
    return;
  }
  ShowUserText(Utf8(UserMessageText(message, ui_.language)));
}

void CZeltoView::ShowUserText(const QString& text) {
  if (messageHandler_) messageHandler_(text);
}

void CZeltoView::ShowTransferWindow(bool fromPresetDialog) {
  QWidget* starter = fromPresetDialog && presetDialog_ ? static_cast<QWidget*>(presetDialog_.data()) : this;
  transferWindow_->SetLanguage(ui_.language);
  transferWindow_->ShowFor(starter);
}

void CZeltoView::HideTransferWindow() { transferWindow_->HideAndRelease(); }

void CZeltoView::SetTransferRange(int count) { transferWindow_->SetRange(count); }

bool CZeltoView::TransferShown() const { return transferWindow_->IsShown(); }

bool CZeltoView::Settled() const {
  if (!autoConnectDone_) return false;
  if (!engine().Connected()) return true;
  return readBackDone_ && !TransferShown();
}

void CZeltoView::ShowConnectedState(bool connected) {
  if (connected) LinkBack();
  topBar_->ShowConnected(connected);
  if (!connected) {
    deviceText_.clear();
    readBackDone_ = false;
    // The first connect ended before its read-back: the offer does not wait for one any longer.
    OfferRecoveryLater();
  }
  RefreshTitleArea();
  if (presetDialog_) presetDialog_->Refresh();
}

void CZeltoView::ResetNameDisplays() { topBar_->ClearNames(); }

void CZeltoView::RefreshAll() {
  auto lock = engine().Data().Lock();
  master_->Refresh();
  topBar_->Refresh();
  strips_->Refresh();
  graphSection_->RefreshCurveButtons();
  carSection_->RefreshDelays();
  topBar_->ShowSource(editor().SettleSource());
  outputPage_->Refresh();
  for (int ch = 0; ch < rules::kStripCount; ++ch) SetSelectHighlight(ch, false);
  RefreshCrossoverControls();
  if (mixer_) mixer_->Refresh();
  carSection_->Refresh();
  topBar_->ShowLink(editor().LinkOn());
  RefreshTitleArea();
  lock.unlock();
  // The preset dialog reads under the TransferLock, which is never waited for under the model lock.
  if (presetDialog_) presetDialog_->Refresh();
  SelectChannel(ui_.currentChannel);
  RefreshHistoryPanel();
  update();
}

// ---- what the form shows of the sections ---------------------------------------------------------

const QString& CZeltoView::StatusText() const { return topBar_->Status(); }
QString CZeltoView::PresetNameShown() const { return topBar_->PresetName(); }
QString CZeltoView::FileTitleShown() const { return topBar_->FileTitle(); }
bool CZeltoView::CurveShown(int channel) const { return graphSection_->CurveShown(channel); }
MeasurementTools* CZeltoView::Measurements() const { return graphSection_->Measurements(); }

// ---- selection ----------------------------------------------------------------------------------

void CZeltoView::SetSelectHighlight(int channel, bool selected) { strips_->SetSelected(channel, selected); }

void CZeltoView::SelectChannel(int index) {
  if (index < 0 || index >= kOutputChannels) return;
  DeviceImage& image = engine().Image();

  const int previous = ui_.currentChannel;
  SetSelectHighlight(previous, false);
  if (editor().LinkOn()) {
    if (auto partner = rules::PairPartner(image, previous)) SetSelectHighlight(*partner, false);
  }

  ui_.currentChannel = index;
  carSection_->ShowChannel(index);
  SetSelectHighlight(index, true);
  if (editor().LinkOn()) {
    if (auto partner = rules::PairPartner(image, index)) SetSelectHighlight(*partner, true);
  }

  ui_.currentKind = kOutputChannelKind;
  graphSection_->ShowChannel(previous, index);
  // The page shows the channel; the EQ bypass button mirrors it (on when every band is off).
  RefreshEqPage();
  RefreshCrossoverControls();
  update();
}

void CZeltoView::OnStripSelect(int channel) {
  if (rules::SelectButtonActs(ui_.currentChannel, channel)) SelectChannel(channel);
}

void CZeltoView::OnStripGain(int channel) {
  // The page shows the output gain of the current channel when the strip's group holds it.
  if (engine().Image().SameLinkGroup(channel, ui_.currentChannel))
    outputPage_->ShowOutputGain(Channel(ui_.currentChannel).GainOff() ? 0 : Channel(ui_.currentChannel).GainCode());
}

void CZeltoView::RefreshChannel(int channel) {
  {
    auto lock = engine().Data().Lock();
    strips_->RefreshChannel(channel);
  }
  if (channel == ui_.currentChannel) {
    RefreshEqPage();
    RefreshCrossoverControls();
  }
}

// ---- crossover ------------------------------------------------------------------------------------

void CZeltoView::RefreshCrossoverControls() {
  auto lock = engine().Data().Lock();
  const CKTVEQ& eq = Channel(ui_.currentChannel).Eq();
  crossover_->Show(eq.HighPass(), eq.LowPass());
  // The output page shows the same filters.
  outputPage_->ShowCrossover(eq.HighPass(), eq.LowPass());
}

void CZeltoView::ShowCrossoverEdit(bool highPass) {
  RefreshCrossoverControls();
  RedrawGraph(OutputPage::kBands + (highPass ? 0 : 1));
}

void CZeltoView::OnPageCrossover(bool highPass) {
  NumSpin* spin = highPass ? outputPage_->HighPassSpin() : outputPage_->LowPassSpin();
  SetCrossoverFrequency(highPass, spin->Position(), Editor::CrossoverBox::Page);
}

void CZeltoView::SetCrossoverFrequency(bool highPass, int hz, Editor::CrossoverBox box) {
  editor().SetCrossoverFrequency(ui_.currentChannel, highPass, hz, box);
  ShowCrossoverEdit(highPass);
}

void CZeltoView::SetCrossoverList(bool highPass, bool family, int index) {
  if (family)
    editor().SetCrossoverFamily(ui_.currentChannel, highPass, index);
  else
    editor().SetCrossoverSlope(ui_.currentChannel, highPass, index);
  ShowCrossoverEdit(highPass);
}

// ---- graph ----------------------------------------------------------------------------------------

void CZeltoView::OnGraphChanged(int filterIndex, int /*channelCode*/) {
  if (ui_.currentKind != kOutputChannelKind) return;
  if (filterIndex < OutputPage::kBands) {
    RefreshBandFromGraph(filterIndex);
  } else {
    // A crossover handle: the boxes take the new frequency and the link group follows.
    const bool highPass = filterIndex == OutputPage::kBands;
    const int hz = engine().Data().Edit([&](CKTV_Data& d) {
      CKTVEQ& eq = d.Output(ui_.currentChannel).Eq();
      return (highPass ? eq.HighPass() : eq.LowPass()).frequency();
    });
    SetCrossoverFrequency(highPass, hz, Editor::CrossoverBox::Graph);
    return;
  }
  RedrawGraph(filterIndex);
}

void CZeltoView::RedrawGraph(int highlightFilter) { graphSection_->Redraw(highlightFilter); }

// ---- top bar -------------------------------------------------------------------------------------

void CZeltoView::OnConnect() {
  engine().OnConnectButton();
  RefreshTitleArea();
}

// ---- language ------------------------------------------------------------------------------------------

void CZeltoView::SwitchLanguage() {
  // The engine reads the same language, so its texts follow at once.
  ui_.language = ui_.language == Language::Chinese ? Language::English : Language::Chinese;
  ApplyLanguage();
  carSection_->RefreshDelays();
  update();
}

void CZeltoView::ApplyLanguage() {
  const Language lang = ui_.language;
  for (SkinButton* b : findChildren<SkinButton*>()) b->SetLanguage(lang);
  for (ComBoxBtn* c : findChildren<ComBoxBtn*>()) c->SetLanguage(lang);
  for (FontStatic* f : findChildren<FontStatic*>()) f->SetLanguage(lang);
  for (NumEdit* e : findChildren<NumEdit*>()) e->SetLanguage(lang);
  for (NumSpin* s : findChildren<NumSpin*>()) s->SetLanguage(lang);
  topBar_->ApplyLanguage();
  carSection_->ApplyLanguage();
  pageSection_->ApplyLanguage();
  if (mixer_) mixer_->SetLanguage(lang);
  transferWindow_->SetLanguage(lang);
  ShowConnectedState(engine().Connected());
  update();
}

// ---- title area -----------------------------------------------------------------------------------------

void CZeltoView::RefreshTitleArea() { topBar_->RefreshTitle(); }

void CZeltoView::SetStatus(const QString& text) {
  topBar_->SetStatus(text);
  update();
}

// ---- painting ------------------------------------------------------------------------------------------------

void CZeltoView::paintEvent(QPaintEvent*) {
  // The window itself: its background, the band of the top bar and the frame. The sections paint
  // their own regions over it.
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 0, height());
  bg.setColorAt(0, QColor(26, 29, 35));
  bg.setColorAt(1, QColor(16, 18, 22));
  p.fillRect(rect(), bg);
  QLinearGradient bar(0, 0, 0, TopBarSection::kHeight);
  bar.setColorAt(0, QColor(40, 45, 54));
  bar.setColorAt(1, QColor(28, 32, 39));
  p.fillRect(QRect(0, 0, width(), TopBarSection::kHeight), bar);
  p.setPen(QPen(skin::kAccent.darker(140), 1));
  p.drawLine(QPointF(0, TopBarSection::kHeight - 0.5), QPointF(width(), TopBarSection::kHeight - 0.5));
  p.setPen(QPen(QColor(60, 66, 78), 1));
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  PaintAbBadge(p);
}

// ---- mouse, keys and focus ---------------------------------------------------------------------------------

void CZeltoView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() == Qt::LeftButton) {
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
  }
}

void CZeltoView::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) window()->move(event->globalPosition().toPoint() - dragOffset_);
}

void CZeltoView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
}

void CZeltoView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
    // The form never closes on these keys; moving the focus to it commits an edited box.
    setFocus(Qt::OtherFocusReason);
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool CZeltoView::eventFilter(QObject* watched, QEvent* event) {
  TrackPressStep(watched, event);
  if (event->type() == QEvent::MouseButtonPress) {
    // A press anywhere on the form first takes the focus to the form, so a box being edited
    // commits before the pressed control acts. Boxes themselves keep their own focus handling.
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && !qobject_cast<QLineEdit*>(w) && w->window() == window()) {
      QWidget* focus = QApplication::focusWidget();
      if (focus && qobject_cast<QLineEdit*>(focus) && isAncestorOf(focus)) setFocus(Qt::MouseFocusReason);
    }
  } else if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape) {
      if (auto* w = qobject_cast<QWidget*>(watched); w && isAncestorOf(w)) {
        setFocus(Qt::OtherFocusReason);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool CZeltoView::focusNextPrevChild(bool next) {
  QWidget* focus = QApplication::focusWidget();
  if (next && focus) {
    if (focus == pageSection_->Tabs() || focus == pageSection_->Tabs()->tabBar()) {
      if (outputPage_) {
        outputPage_->setFocus(Qt::TabFocusReason);
        return true;
      }
    }
    if (auto* box = qobject_cast<NumEdit*>(focus)) {
      if (box->Id() == kDelayBoxBeforePage) {
        pageSection_->Tabs()->setFocus(Qt::TabFocusReason);
        return true;
      }
      if (box->Id() == kLastBandGainBox) {
        strips_->GainBox(0)->setFocus(Qt::TabFocusReason);
        return true;
      }
    }
  }
  return QWidget::focusNextPrevChild(next);
}

}  // namespace zelto
