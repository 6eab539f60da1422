#include "app/zelto_view.h"
#include "edit/linking.h"
#include "edit/positions.h"
#include "edit/system_settings.h"
#include "update/update_file_setting.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <algorithm>

#include "app/car_picture.h"
#include "app/crossover_lists.h"
#include "app/output_page.h"
#include "app/sections/car_section.h"
#include "app/sections/crossover_section.h"
#include "app/sections/graph_section.h"
#include "app/sections/master_section.h"
#include "app/sections/page_section.h"
#include "app/sections/strips_section.h"
#include "app/transfer_window.h"
#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/en_tab_ctrl.h"
#include "controls/font_static.h"
#include "controls/num_edit.h"
#include "controls/skin.h"
#include "controls/xp_button.h"
#include "core/bytes.h"
#include "curves/ui/response_graph.h"
#include "link/refused_open_text.h"
#include "measure/ui/measure_ui_texts.h"
#include "measure/ui/measurement_tools.h"

namespace zelto {

namespace {

using namespace view_id;

// Regions of the form.
constexpr int kTopBarHeight = 50;

}  // namespace

CZeltoView::CZeltoView(UiState& ui, Settings& settings, std::unique_ptr<HidTransport> transport, QWidget* parent)
    : QWidget(parent), ui_(ui), settings_(settings), recentFiles_(settings) {
  setObjectName(QString::number(kFormId));
  setFixedSize(kWidth, kHeight);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  engine_ = std::make_unique<Engine>(std::move(transport), settings_, *this, *this);
  engine_->language = ui_.language;
  presetFiles_ = std::make_unique<PresetFiles>(*engine_);
  update_ = std::make_unique<UpdateTransfer>(*engine_);
  editor_ = std::make_unique<Editor>(*engine_);
  router_ = std::make_unique<NoticeRouter>(*editor_);
  // The update's progress and end go to its dialog while it is open.
  router_->Add([this](Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
    if (upgradeDialog_) {
      upgradeDialog_->HandleNotice(notice, wParam, lParam);
    } else {
      update_->HandleNotice(notice, wParam, lParam);
    }
  });
  // An all-slots save ends when the slots have been read back.
  router_->Add([this](Notice notice, std::intptr_t, std::intptr_t) {
    HandlePresetFileNotice(*presetFiles_, notice, ui_.language, presetHooks_,
                           presetDialog_ ? presetDialog_.data() : window());
  });
  ab_ = std::make_unique<AbCompare>(*engine_);
  messageHandler_ = [this](const QString& text) {
    QMessageBox::information(window(), QString::fromUtf8(kModelIdentity), text);
  };
  // The dialogs' message boxes and questions go the form's way, so they read the same everywhere.
  presetHooks_.inform = [this](const QString& text) { ShowUserText(text); };
  presetHooks_.confirm = [this](const QString& text) { return Ask(text); };
  presetHooks_.showFileTitle = [this](const QString& title) {
    fileTitle_ = title.left(kFileTitleChars);
    update(QRect(0, 0, 260, kTopBarHeight));
  };
  presetHooks_.fileUsed = [this](const std::string& path) { recentFiles_.Add(path); };
  updateHooks_.inform = [this](const QString& text) { ShowUserText(text); };

  BuildTopBar();
  master_ = new MasterSection(ui_, *engine_, *editor_, this);
  crossover_ = new CrossoverSection(ui_, *engine_, *editor_, this);
  connect(crossover_, &CrossoverSection::edited, this, &CZeltoView::ShowCrossoverEdit);
  carSection_ = new CarSection(ui_, *engine_, *editor_, this);
  connect(carSection_, &CarSection::channelChosen, this, &CZeltoView::SelectChannel);
  connect(carSection_, &CarSection::eqResetPressed, this, [this] { ResetChannelEq(); });
  connect(carSection_, &CarSection::eqBypassPressed, this, [this] { ToggleEqBypass(); });
  graphSection_ = new GraphSection(ui_, *engine_, *editor_, this);
  graph_ = graphSection_->Graph();
  connect(graph_, &CFStatic::filterChanged, this, &CZeltoView::OnGraphChanged);
  MeasureHooks& measure = graphSection_->Measurements()->Hooks();
  measure.inform = [this](const QString& text) { ShowUserText(text); };
  measure.bandsApplied = [this](const std::vector<int>&) {
    RefreshEqPage();
    RedrawGraph();
  };
  pageSection_ = new PageSection(ui_, *engine_, *editor_, this);
  outputPage_ = pageSection_->Page();
  connect(pageSection_, &PageSection::graphChanged, this, [this](int filter) { RedrawGraph(filter); });
  connect(pageSection_, &PageSection::eqBypassShown, carSection_, &CarSection::ShowEqBypass);
  connect(pageSection_, &PageSection::outputGainChanged, this, [this] { strips_->ShowGroupGain(current_); });
  connect(outputPage_, &OutputPage::eqBypassPressed, this, &CZeltoView::ToggleEqBypass);
  connect(outputPage_, &OutputPage::eqModePressed, this, &CZeltoView::SwitchEqMode);
  connect(outputPage_, &OutputPage::eqResetPressed, this, &CZeltoView::ResetGroupEq);
  connect(outputPage_, &OutputPage::crossoverEdited, this, &CZeltoView::OnPageCrossover);
  connect(outputPage_, &OutputPage::crossoverListChosen, this, &CZeltoView::SetCrossoverList);
  strips_ = new StripsSection(ui_, *engine_, *editor_, this);
  connect(strips_, &StripsSection::selectPressed, this, &CZeltoView::OnStripSelect);
  connect(strips_, &StripsSection::gainEdited, this, &CZeltoView::OnStripGain);
  transferWindow_ = new TransferWindow(this);
  transferWindow_->hide();
  WatchPresses(this);
  BuildHistoryKeys();
  auto* abKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), this);
  connect(abKey, &QShortcut::activated, this, [this] { SwitchAb(); });
}

CZeltoView::~CZeltoView() {
  Shutdown();
  // The update transfer unplugs itself from the engine, which goes before the widgets it reports
  // to; its worker is stopped already.
  update_.reset();
  presetFiles_.reset();
  engine_.reset();
}

// ---- building -------------------------------------------------------------------------------

void CZeltoView::BuildTopBar() {
  connect_ = Named(new XPButton(kConnect, this), kConnect);
  connect_->setGeometry(262, 10, 100, 30);
  connect(connect_, &SkinButton::clicked, this, [this] { OnConnect(); });

  abButton_ = Named(new XPButton(kAbButton, this), kAbButton);
  abButton_->SetFaces(Caption(Same(QStringLiteral("A/B")), Tone::Lit), Caption(Same(QStringLiteral("A/B"))));
  abButton_->SetOn(false);
  abButton_->setGeometry(366, 10, 40, 30);
  connect(abButton_, &SkinButton::clicked, this, [this] { SwitchAb(); });

  dsp_ = Named(new BitButton(kDspSwitch, this), kDspSwitch);
  dsp_->SetFaces(Caption(Same(QStringLiteral("OFF"))), Caption(Same(QStringLiteral("ON")), Tone::Lit));
  dsp_->setGeometry(440, 12, 54, 26);
  connect(dsp_, &SkinButton::clicked, this, [this] { OnDspSwitch(); });

  source_ = Named(new ComBoxBtn(kSourceList, kSourceListId, this), kSourceList);
  QList<BiText> sources;
  for (int i = 0; i < rules::kSourceCount; ++i)
    sources.append({Utf8(rules::SourceName(i, Language::Chinese)), Utf8(rules::SourceName(i, Language::English))});
  source_->SetItems(sources);
  source_->setGeometry(562, 12, 118, 26);
  connect(source_, &ComBoxBtn::chosen, this, &CZeltoView::OnListChosen);

  gate_ = Named(new ComBoxBtn(kNoiseGateList, kNoiseGateListId, this), kNoiseGateList);
  QList<BiText> gates;
  for (int i = 0; i < rules::kNoiseGateCount; ++i)
    gates.append({Utf8(rules::NoiseGateName(i, Language::Chinese)), Utf8(rules::NoiseGateName(i, Language::English))});
  gate_->SetItems(gates);
  gate_->setGeometry(768, 12, 92, 26);
  connect(gate_, &ComBoxBtn::chosen, this, &CZeltoView::OnListChosen);

  settingsMenu_ = Named(new BitButton(kSettingsMenu, this), kSettingsMenu);
  settingsMenu_->SetFaces(Caption(Bi("设置", "SetUp")));
  settingsMenu_->setGeometry(888, 10, 70, 30);
  connect(settingsMenu_, &SkinButton::clicked, this, [this] { PopupSettingsMenu(); });

  fileMenu_ = Named(new BitButton(kFileMenu, this), kFileMenu);
  fileMenu_->SetFaces(Caption(Bi("文件", "File")));
  fileMenu_->setGeometry(962, 10, 70, 30);
  connect(fileMenu_, &SkinButton::clicked, this, [this] { PopupFileMenu(); });

  link_ = Named(new XPButton(kLink, this), kLink);
  link_->SetFaces(Caption(Bi("联调", "Link"), Tone::Lit), Caption(Bi("联调", "Link")));
  link_->SetOn(false);
  link_->setGeometry(1036, 10, 70, 30);
  connect(link_, &SkinButton::clicked, this, [this] { ToggleLink(); });

  mixerButton_ = Named(new BitButton(kMixer, this), kMixer);
  mixerButton_->SetFaces(Caption(Bi("混音", "Mixer")), Caption(Bi("混音", "Mixer"), Tone::Lit));
  mixerButton_->setGeometry(1110, 10, 70, 30);
  connect(mixerButton_, &SkinButton::clicked, this, [this] { OpenMixer(); });

  minimise_ = Named(new XPButton(kMinimise, this), kMinimise);
  minimise_->SetFaces(Icon(Glyph::Minimise), Icon(Glyph::Minimise));
  minimise_->setGeometry(1198, 10, 32, 30);
  connect(minimise_, &SkinButton::clicked, this, [this] { emit minimiseRequested(); });

  close_ = Named(new XPButton(kClose, this), kClose);
  close_->SetFaces(Icon(Glyph::Close, Tone::Alert), Icon(Glyph::Close, Tone::Alert));
  close_->setGeometry(1236, 10, 32, 30);
  connect(close_, &SkinButton::clicked, this, [this] {
    Shutdown();
    emit closeRequested();
  });
}

void CZeltoView::WatchPresses(QWidget* root) {
  for (QWidget* w : root->findChildren<QWidget*>()) w->installEventFilter(this);
}

// ---- start-up and shut-down -----------------------------------------------------------------

void CZeltoView::InitialUpdate() {
  graphSection_->HideCurves();
  graph_->Attach(&engine_->Data());
  ResetNameDisplays();
  ShowConnectedState(false);
  ApplyLanguage();
  RefreshAll();
  engine_->StartDeviceWatcher();
  window()->setWindowTitle(QString::fromUtf8(kModelIdentity));
  LoadUpdateFileSetting();
  // The automatic connect runs once the window is up and the event loop turns.
  QMetaObject::invokeMethod(
      this, [this] { AutoConnect(); }, Qt::QueuedConnection);
}

void CZeltoView::LoadUpdateFileSetting() { updateFile_ = update_file::LoadOrCreateUpdateFile(settings_, updateFile_); }

void CZeltoView::AutoConnect() {
  if (!closing_) engine_->AutoConnect();
  autoConnectDone_ = true;
  if (recovery_ && !engine_->Connected()) OfferRecovery();
  update();
}

void CZeltoView::Shutdown() {
  if (claimReleased_) return;
  claimReleased_ = true;
  closing_ = true;
  // A clean exit: nothing to recover next time.
  if (recovery_) recovery_->Remove();
  engine_->StopDeviceWatcher();
  engine_->Worker().StopWorker(false);
  engine_->Link().ReleaseClaim();
  transferWindow_->HideAndRelease();
}

// ---- notices ----------------------------------------------------------------------------------

void CZeltoView::Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept {
  QMetaObject::invokeMethod(
      this, [this, notice, wParam, lParam] { HandleNotice(notice, wParam, lParam); }, Qt::QueuedConnection);
}

void CZeltoView::HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
  if (closing_) return;
  router_->Route(notice, wParam, lParam);
  DeviceImage& image = engine_->Image();
  switch (notice) {
    case Notice::LiveReadDone:
      readBackDone_ = true;
      // What was left by a crash is offered over the processor's settings, not replaced by them.
      if (recovery_ && !recoveryOffered_)
        OfferRecovery();
      else if (recovery_)
        recovery_->MarkWritten();
      break;
    case Notice::TransferPosition: transferWindow_->SetPosition(static_cast<int>(wParam)); break;
    case Notice::DeviceInfo:
      deviceText_ = engine_->Connected()
                        ? QString::fromLatin1(reinterpret_cast<const char*>(image.deviceInfoText.data()),
                                              static_cast<qsizetype>(image.deviceInfoText.size()))
                              .trimmed()
                        : QString();
      RefreshTitleArea();
      break;
    case Notice::PresetName:
      RefreshTitleArea();
      if (presetDialog_) presetDialog_->Refresh();
      break;
    case Notice::DeviceSource:
      // The processor switched source itself: show it, echo nothing back.
      source_->SelectItem(rules::ShownSource(image));
      break;
    case Notice::DeviceVolume: master_->ShowDeviceVolume(); break;
    case Notice::DeviceMute: master_->ShowDeviceMute(); break;
    case Notice::LinkFailed:
    case Notice::EmptyReply:
    case Notice::DeviceRemoved:
      // The identity goes with the connection; a failed report the device survived, or another
      // device leaving, leaves both.
      if (!engine_->Connected()) {
        deviceText_.clear();
        RefreshTitleArea();
      }
      break;
    default: break;
  }
}

// ---- LinkView ---------------------------------------------------------------------------------

void CZeltoView::ShowMessage(UserMessage message) {
  QString text = Utf8(UserMessageText(message, ui_.language));
  // A processor that is plugged in but refused the open: the message alone would leave the user
  // guessing, so the reason and the fix follow it.
  if (message == UserMessage::UnableToConnect) {
    if (auto refused = engine_->Link().TakeRefusedOpen())
      text += QStringLiteral("\n\n") + Utf8(RefusedOpenText(*refused, ui_.language));
  }
  ShowUserText(text);
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
  if (!engine_->Connected()) return true;
  return readBackDone_ && !TransferShown();
}

void CZeltoView::ShowConnectedState(bool connected) {
  connect_->SetFaces(Face{Bi("已连接", "Connected"), Glyph::Power, Tone::Lit, skin::kConnected},
                     Face{Bi("连接设备", "Connect"), Glyph::Power, Tone::Plain, {}});
  connect_->SetOn(connected);
  if (!connected) {
    deviceText_.clear();
    readBackDone_ = false;
  }
  RefreshTitleArea();
  if (presetDialog_) presetDialog_->Refresh();
}

void CZeltoView::ResetNameDisplays() {
  presetName_.clear();
  fileTitle_.clear();
  update(QRect(0, 0, 260, kTopBarHeight));
}

void CZeltoView::RefreshAll() {
  DeviceImage& image = engine_->Image();
  auto lock = engine_->Data().Lock();
  // Master section and top bar.
  const auto settings = image.SystemSettings();
  master_->Refresh();
  dsp_->SetOn(settings[sys::kDspSwitch] != 0);
  gate_->SelectItem(std::clamp<int>(settings[sys::kNoiseGate], 0, rules::kNoiseGateCount - 1));

  strips_->Refresh();
  graphSection_->RefreshCurveButtons();

  carSection_->RefreshDelays();

  source_->SelectItem(editor_->SettleSource());

  outputPage_->Refresh();
  for (int ch = 0; ch < rules::kStripCount; ++ch) SetSelectHighlight(ch, false);
  RefreshCrossoverControls();
  if (mixer_) mixer_->Refresh();
  carSection_->Refresh();
  RefreshTitleArea();
  lock.unlock();
  // The preset dialog reads under the TransferLock, which is never waited for under the model lock.
  if (presetDialog_) presetDialog_->Refresh();
  SelectChannel(current_);
  update();
}

bool CZeltoView::CurveShown(int channel) const { return graphSection_->CurveShown(channel); }
MeasurementTools* CZeltoView::Measurements() const { return graphSection_->Measurements(); }

// ---- selection ----------------------------------------------------------------------------------

void CZeltoView::SetSelectHighlight(int channel, bool selected) { strips_->SetSelected(channel, selected); }

void CZeltoView::SelectChannel(int index) {
  if (index < 0 || index >= kOutputChannels) return;
  DeviceImage& image = engine_->Image();

  const int previous = current_;
  SetSelectHighlight(previous, false);
  if (editor_->LinkOn()) {
    if (auto partner = rules::PairPartner(image, previous)) SetSelectHighlight(*partner, false);
  }

  current_ = index;
  ui_.currentChannel = index;
  carSection_->ShowChannel(index);
  SetSelectHighlight(index, true);
  if (editor_->LinkOn()) {
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
  if (rules::SelectButtonActs(current_, channel)) SelectChannel(channel);
}

void CZeltoView::OnStripGain(int channel) {
  // The page shows the output gain of the current channel when the strip's group holds it.
  if (engine_->Image().SameLinkGroup(channel, current_))
    outputPage_->ShowOutputGain(Channel(current_).GainOff() ? 0 : Channel(current_).GainCode());
}

void CZeltoView::RefreshChannel(int channel) {
  {
    auto lock = engine_->Data().Lock();
    strips_->RefreshChannel(channel);
  }
  if (channel == current_) {
    RefreshEqPage();
    RefreshCrossoverControls();
  }
}

// ---- crossover ------------------------------------------------------------------------------------

void CZeltoView::RefreshCrossoverControls() {
  auto lock = engine_->Data().Lock();
  const CKTVEQ& eq = Channel(current_).Eq();
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
  editor_->SetCrossoverFrequency(current_, highPass, hz, box);
  ShowCrossoverEdit(highPass);
}

void CZeltoView::SetCrossoverList(bool highPass, bool family, int index) {
  if (family)
    editor_->SetCrossoverFamily(current_, highPass, index);
  else
    editor_->SetCrossoverSlope(current_, highPass, index);
  ShowCrossoverEdit(highPass);
}

void CZeltoView::OnListChosen(int listId, int index) {
  switch (listId) {
    case kSourceListId: OnSourceChosen(index); return;
    case kNoiseGateListId: OnNoiseGateChosen(index); return;
    default: return;
  }
}

// ---- graph ----------------------------------------------------------------------------------------

void CZeltoView::OnGraphChanged(int filterIndex, int /*channelCode*/) {
  if (ui_.currentKind != kOutputChannelKind) return;
  if (filterIndex < OutputPage::kBands) {
    RefreshBandFromGraph(filterIndex);
  } else {
    // A crossover handle: the boxes take the new frequency and the link group follows.
    const bool highPass = filterIndex == OutputPage::kBands;
    const int hz = engine_->Data().Edit([&](CKTV_Data& d) {
      CKTVEQ& eq = d.Output(current_).Eq();
      return (highPass ? eq.HighPass() : eq.LowPass()).frequency();
    });
    SetCrossoverFrequency(highPass, hz, Editor::CrossoverBox::Graph);
    return;
  }
  RedrawGraph(filterIndex);
}

void CZeltoView::RedrawGraph(int highlightFilter) { graphSection_->Redraw(highlightFilter); }

// ---- top bar and master ------------------------------------------------------------------------------

void CZeltoView::OnConnect() {
  engine_->OnConnectButton();
  RefreshTitleArea();
}

void CZeltoView::OnDspSwitch() {
  const bool on = !dsp_->IsOn();
  dsp_->SetOn(on);
  editor_->SetDspSwitch(on);
}

void CZeltoView::OnSourceChosen(int index) { editor_->SetSource(index); }

void CZeltoView::OnNoiseGateChosen(int index) { editor_->SetNoiseGate(index); }

// ---- language ------------------------------------------------------------------------------------------

void CZeltoView::SwitchLanguage() {
  ui_.language = ui_.language == Language::Chinese ? Language::English : Language::Chinese;
  engine_->language = ui_.language;
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
  // The lists keep their choice: the source list shows byte 0, the gate list byte 4.
  const DeviceImage& image = engine_->Image();
  source_->SelectItem(rules::ShownSource(image));
  gate_->SelectItem(std::clamp<int>(image.SystemSettings()[sys::kNoiseGate], 0, rules::kNoiseGateCount - 1));
  carSection_->ApplyLanguage();
  pageSection_->ApplyLanguage();
  if (mixer_) mixer_->SetLanguage(lang);
  transferWindow_->SetLanguage(lang);
  ShowConnectedState(engine_->Connected());
  update();
}

// ---- title area -----------------------------------------------------------------------------------------

void CZeltoView::RefreshTitleArea() {
  const DeviceImage& image = engine_->Image();
  presetName_.clear();
  const int preset = image.currentPreset[0];
  if (engine_->Connected() && preset >= 1 && preset <= 6) {
    const auto slot = image.Preset(preset);
    if (!slot.empty()) {
      const std::string name = ReadField(slot.subspan(preset::kName, preset::kNameSize));
      presetName_ = QString::fromUtf8(name.c_str());
    }
  }
  update(QRect(0, 0, 260, kTopBarHeight));
}

void CZeltoView::SetStatus(const QString& text) {
  status_ = text;
  update();
}

// ---- painting ------------------------------------------------------------------------------------------------

void CZeltoView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const Language lang = ui_.language;
  const auto T = [lang](const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); };

  // Background and top bar.
  QLinearGradient bg(0, 0, 0, height());
  bg.setColorAt(0, QColor(26, 29, 35));
  bg.setColorAt(1, QColor(16, 18, 22));
  p.fillRect(rect(), bg);
  QLinearGradient bar(0, 0, 0, kTopBarHeight);
  bar.setColorAt(0, QColor(40, 45, 54));
  bar.setColorAt(1, QColor(28, 32, 39));
  p.fillRect(QRect(0, 0, width(), kTopBarHeight), bar);
  p.setPen(QPen(skin::kAccent.darker(140), 1));
  p.drawLine(QPointF(0, kTopBarHeight - 0.5), QPointF(width(), kTopBarHeight - 0.5));
  p.setPen(QPen(QColor(60, 66, 78), 1));
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));

  // Title area: brand, model name, connection state.
  p.setFont(skin::FaceFont(20, true));
  p.setPen(skin::kText);
  p.drawText(QRect(16, 4, 120, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ZELTO"));
  p.setPen(skin::kAccent);
  p.drawText(QRect(98, 4, 40, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("DSP"));
  if (!fileTitle_.isEmpty()) {
    // The PC file last saved or loaded.
    p.setFont(skin::FaceFont(11, true));
    p.setPen(skin::kText);
    p.drawText(QRect(146, 8, 110, 20), Qt::AlignRight | Qt::AlignVCenter, fileTitle_);
  }
  p.setFont(skin::FaceFont(11, false));
  p.setPen(skin::kCaptionText);
  const bool connected = engine_->Connected();
  QString line = QString::fromUtf8(kModelIdentity);
  if (!presetName_.isEmpty()) line += QStringLiteral("  ·  ") + presetName_;
  if (!status_.isEmpty()) line += QStringLiteral("  ·  ") + status_;
  p.drawText(QRect(30, 29, 200, 16), Qt::AlignLeft | Qt::AlignVCenter,
             QFontMetrics(p.font()).elidedText(line, Qt::ElideRight, 200));
  PaintAbBadge(p);
  p.setPen(Qt::NoPen);
  p.setBrush(connected ? QColor(0, 210, 130) : QColor(110, 116, 126));
  p.drawEllipse(QPointF(21, 37.5), 4, 4);

  // Words of the top bar.
  PaintLabel(p, QRect(408, 12, 30, 26), QStringLiteral("DSP"), Qt::AlignRight | Qt::AlignVCenter);
  PaintLabel(p, QRect(500, 12, 58, 26), T("音源", "Source"), Qt::AlignRight | Qt::AlignVCenter);
  PaintLabel(p, QRect(684, 12, 80, 26), T("噪声门", "Noise gate"), Qt::AlignRight | Qt::AlignVCenter);
  p.setPen(QPen(QColor(60, 66, 78), 1));
  p.drawLine(QPointF(876.5, 12), QPointF(876.5, 38));
  p.drawLine(QPointF(1188.5, 12), QPointF(1188.5, 38));
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
