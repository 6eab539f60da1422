#include "acoustics/ui/auto_tune_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QFileInfo>
#include <QVBoxLayout>

#include <cmath>
#include <variant>

#include "acoustics/calibration.h"
#include "acoustics/ui/sim_microphone.h"
#include "acoustics/ui/summed_response_plot.h"
#include "acoustics/ui/window_host.h"
#include "core/channel_label.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "measure/channel_measurements.h"

namespace zelto {

namespace {

// Over the processor's window, with room for the settings on the left and the result on the right.
constexpr QSize kDialogSize{1100, 672};
constexpr int kSettingsWidth = 390;
// The safety state beside each channel is cut to this width; the whole reason is its tooltip.
constexpr int kSafetyTextWidth = 210;
constexpr double kMaxBoostLimitDb = 12;
enum TargetItem { kTargetFlat, kTargetCar, kTargetFile };

QString DialogStyle() {
  return QStringLiteral(
      "QGroupBox{color:#96a0ae;background:#181b21;border:1px solid #323842;border-radius:4px;"
      "margin-top:16px;padding:10px 6px 4px 6px;font-weight:bold;}"
      "QGroupBox::title{subcontrol-origin:margin;left:8px;padding:0 4px;}"
      "QLabel{color:#e2e7ee;}"
      "QCheckBox{color:#e2e7ee;spacing:6px;}"
      "QCheckBox:disabled{color:#70767f;}"
      "QCheckBox::indicator{width:13px;height:13px;border:1px solid #4a525f;border-radius:3px;background:#0c0e12;}"
      "QCheckBox::indicator:checked{background:#00a878;border-color:#1fd49b;}"
      "QCheckBox::indicator:disabled{background:#22262d;border-color:#343a44;}"
      "QComboBox,QSpinBox,QDoubleSpinBox,QLineEdit{background:#0c0e12;color:#e2e7ee;border:1px solid #4a525f;"
      "border-radius:4px;padding:2px 6px;min-height:20px;selection-background-color:#0078d7;}"
      "QComboBox:focus,QSpinBox:focus,QDoubleSpinBox:focus,QLineEdit:focus{border-color:#3a73ff;}"
      "QComboBox:disabled,QSpinBox:disabled,QDoubleSpinBox:disabled{color:#70767f;}"
      "QComboBox QAbstractItemView{background:#24282f;color:#e2e7ee;border:1px solid #4a525f;"
      "selection-background-color:#0078d7;}"
      "QPushButton{color:#e2e7ee;background:qlineargradient(x1:0,y1:0,x2:0,y2:1,stop:0 #3a404b,stop:1 #242830);"
      "border:1px solid #4a525f;border-radius:4px;padding:5px 18px;font-weight:bold;}"
      "QPushButton:hover{border-color:#8292a8;}"
      "QPushButton:pressed{background:#242830;}"
      "QPushButton:disabled{color:#70767f;border-color:#343a44;}"
      "QPushButton#start{background:qlineargradient(x1:0,y1:0,x2:0,y2:1,stop:0 #1fd49b,stop:1 #008a62);"
      "color:white;border-color:#1fd49b;}"
      "QPushButton#start:disabled{background:#242830;color:#70767f;border-color:#343a44;}"
      "QProgressBar{background:#0c0e12;border:1px solid #4a525f;border-radius:4px;color:#e2e7ee;"
      "text-align:center;min-height:18px;max-height:18px;}"
      "QProgressBar::chunk{border-radius:3px;background:qlineargradient(x1:0,y1:0,x2:0,y2:1,"
      "stop:0 #1fd49b,stop:1 #008a62);}"
      "QTableWidget{background:#1d2127;color:#e2e7ee;border:1px solid #323842;gridline-color:#2c323b;}"
      "QTableWidget::item{padding:0 4px;}"
      "QHeaderView::section{background:#262b33;color:#c8ced8;border:none;border-right:1px solid #323842;"
      "padding:3px 4px;}"
      "QTableCornerButton::section{background:#262b33;border:none;}"
      "QPlainTextEdit{background:#0c0e12;color:#e2e7ee;border:1px solid #323842;border-radius:4px;}"
      "QScrollBar:vertical{background:#181b21;width:10px;}"
      "QScrollBar::handle:vertical{background:#3a404b;border-radius:4px;min-height:20px;}"
      "QScrollBar::add-line,QScrollBar::sub-line{height:0;}");
}

QString Number(double v, int decimals) { return QString::number(v, 'f', decimals); }

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
  auto* item = new QTableWidgetItem(text);
  item->setTextAlignment(align);
  item->setFlags(Qt::ItemIsEnabled);
  return item;
}

}  // namespace

AutoTuneDialog::AutoTuneDialog(Editor& editor, measure::ChannelMeasurements& measurements, std::function<void()> redraw,
                               const std::string& guardPath, Language lang, AutoTuneChoices choices, QWidget* parent)
    : SkinDialog(kDialogId, kDialogSize, lang, parent),
      editor_(editor),
      measurements_(measurements),
      redraw_(std::move(redraw)),
      guard_(guardPath),
      lang_(lang),
      choices_(std::move(choices)) {
  // Beside the window, not a question: after a run, Ctrl+Z in the window takes the tuning back.
  setModal(false);
  SetCaption(Bi("自动调音", "Auto-tune"));
  setStyleSheet(DialogStyle());
  BuildLayout();
  FillDevices();
  RefreshChannels();
  ApplyChoices();
}

AutoTuneDialog::~AutoTuneDialog() { cancel_.Cancel(); }

QString AutoTuneDialog::Tr(const char* en, const char* zh) const {
  return QString::fromUtf8(lang_ == Language::Chinese ? zh : en);
}

void AutoTuneDialog::BuildLayout() {
  auto* body = new QWidget(this);
  body->setGeometry(kMargin / 2, kCaptionHeight + 2, width() - kMargin, height() - kCaptionHeight - kMargin / 2 - 2);
  auto* top = new QVBoxLayout(body);
  top->setContentsMargins(0, 0, 0, 0);
  auto* columns = new QHBoxLayout;
  auto* settings = new QWidget;
  settings->setFixedWidth(kSettingsWidth);
  auto* left = new QVBoxLayout(settings);
  left->setContentsMargins(0, 0, 0, 0);
  auto* right = new QVBoxLayout;
  columns->addWidget(settings);
  columns->addLayout(right, 1);
  top->addLayout(columns);

  auto* devices = new QGroupBox(Tr("Sound devices", "音频设备"));
  auto* form = new QFormLayout(devices);
  form->setVerticalSpacing(4);
  outDevice_ = new QComboBox;
  inDevice_ = new QComboBox;
  for (auto* box : {outDevice_, inDevice_}) {
    box->setMinimumContentsLength(18);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  }
  input_ = new QSpinBox;
  input_->setRange(1, acoustics::kMixSources);
  auto* calRow = new QHBoxLayout;
  calibration_ = new QLineEdit;
  calibration_->setPlaceholderText(Tr("none", "无"));
  auto* browse = new QPushButton(QStringLiteral("…"));
  browse->setToolTip(Tr("Microphone calibration file", "麦克风校准文件"));
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, Tr("Microphone calibration file", "麦克风校准文件"),
                                                      QString(), QStringLiteral("*.txt *.cal *.frd;;*"));
    if (!path.isEmpty()) calibration_->setText(path);
  });
  calRow->addWidget(calibration_);
  calRow->addWidget(browse);
  form->addRow(Tr("Output", "输出"), outDevice_);
  form->addRow(Tr("Processor input", "处理器输入"), input_);
  form->addRow(Tr("Microphone", "麦克风"), inDevice_);
  form->addRow(Tr("Calibration", "校准文件"), calRow);
  left->addWidget(devices);

  auto* channels = new QGroupBox(Tr("Channels", "声道"));
  auto* grid = new QGridLayout(channels);
  grid->setVerticalSpacing(2);
  grid->addWidget(new QLabel(Tr("full-range / bass", "全频或低音")), 0, 1);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    channels_[i] = new QCheckBox(QString::fromStdString(ChannelLabel(ch)));
    // Until the processor's settings say it may play; then it is chosen (RefreshChannels).
    channels_[i]->setEnabled(false);
    fullRange_[i] = new QCheckBox;
    safety_[i] = new QLabel;
    connect(fullRange_[i], &QCheckBox::toggled, this, [this] { RefreshChannels(); });
    grid->addWidget(channels_[i], ch + 1, 0);
    grid->addWidget(fullRange_[i], ch + 1, 1, Qt::AlignHCenter);
    grid->addWidget(safety_[i], ch + 1, 2);
  }
  left->addWidget(channels);

  auto* tuning = new QGroupBox(Tr("Tuning", "调音"));
  auto* tuneForm = new QFormLayout(tuning);
  tuneForm->setVerticalSpacing(4);
  positions_ = new QSpinBox;
  positions_->setRange(1, kMaxPositions);
  positions_->setValue(1);
  length_ = new QDoubleSpinBox;
  length_->setRange(0.5, 30);
  length_->setSingleStep(0.5);
  length_->setValue(1.0);
  length_->setSuffix(QStringLiteral(" s"));
  target_ = new QComboBox;
  target_->addItem(Tr("flat", "平直"));
  target_->addItem(Tr("car (bass lift, gentle top roll-off)", "汽车（低音提升，高音缓降）"));
  target_->addItem(Tr("file…", "文件…"));
  connect(target_, &QComboBox::activated, this, [this](int index) {
    if (index == kTargetFile) ChooseTargetFile();
  });
  reference_ = new QComboBox;
  reference_->addItem(Tr("none", "无"), -1);
  for (int ch = 0; ch < kOutputChannels; ++ch) reference_->addItem(QString::fromStdString(ChannelLabel(ch)), ch);
  reference_->setToolTip(Tr("A speaker whose short high sweep before every sweep times the arrivals exactly",
                            "每次扫频前播放短高频扫频的扬声器，用于精确计时"));
  maxBoost_ = new QDoubleSpinBox;
  maxBoost_->setRange(0, kMaxBoostLimitDb);
  maxBoost_->setDecimals(1);
  maxBoost_->setValue(measure::kDefaultMaxBoostDb);
  maxBoost_->setSuffix(QStringLiteral(" dB"));
  tuneForm->addRow(Tr("Microphone positions", "麦克风位置数"), positions_);
  tuneForm->addRow(Tr("Sweep length", "扫频长度"), length_);
  tuneForm->addRow(Tr("Target", "目标曲线"), target_);
  tuneForm->addRow(Tr("Timing reference", "计时参考声道"), reference_);
  tuneForm->addRow(Tr("Largest boost", "最大提升"), maxBoost_);
  left->addWidget(tuning);
  left->addStretch();

  progress_ = new QProgressBar;
  progress_->setRange(0, 1000);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  stage_ = new QLabel(Tr("Press Start: every chosen channel is measured at every position, tuned, then measured again.",
                         "按开始：逐个测量所选声道和位置，调音后再次测量。"));
  stage_->setStyleSheet(QStringLiteral("color:#96a0ae;"));
  stage_->setWordWrap(true);
  right->addWidget(progress_);
  right->addWidget(stage_);

  auto* results = new QHBoxLayout;
  figures_ = new QTableWidget(0, 3);
  figures_->setHorizontalHeaderLabels({QString(), Tr("before", "调音前"), Tr("after", "调音后")});
  figures_->verticalHeader()->hide();
  figures_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  figures_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  figures_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  figures_->verticalHeader()->setDefaultSectionSize(21);
  figures_->setFixedWidth(340);
  figures_->setSelectionMode(QAbstractItemView::NoSelection);
  figures_->setFocusPolicy(Qt::NoFocus);
  results->addWidget(figures_);
  plot_ = new SummedResponsePlot(lang_);
  results->addWidget(plot_, 1);
  right->addLayout(results, 3);

  table_ = new QTableWidget(0, 7);
  table_->setHorizontalHeaderLabels({Tr("Channel", "声道"), Tr("Delay", "延时"), Tr("Phase", "相位"),
                                     Tr("Gain", "增益"), Tr("Level", "电平"), Tr("EQ before", "EQ 前"),
                                     Tr("EQ after", "EQ 后")});
  table_->horizontalHeaderItem(4)->setToolTip(
      Tr("Level above the target over the pass band, before and as set", "通带内相对目标的电平：调音前和调音后"));
  table_->horizontalHeaderItem(5)->setToolTip(
      Tr("RMS deviation from the target before the EQ", "EQ 前与目标的 RMS 偏差"));
  table_->horizontalHeaderItem(6)->setToolTip(
      Tr("RMS deviation from the target with the EQ", "EQ 后与目标的 RMS 偏差"));
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(21);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  // "inverted (changed)" is the longest word of the table and is read whole.
  table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setFocusPolicy(Qt::NoFocus);
  right->addWidget(table_, 3);

  log_ = new QPlainTextEdit;
  log_->setReadOnly(true);
  log_->setMaximumBlockCount(300);
  right->addWidget(log_, 2);

  auto* buttons = new QHBoxLayout;
  start_ = new QPushButton(Tr("Start", "开始"));
  start_->setObjectName(QStringLiteral("start"));
  cancelButton_ = new QPushButton(Tr("Cancel", "取消"));
  cancelButton_->setEnabled(false);
  auto* close = new QPushButton(Tr("Close", "关闭"));
  connect(start_, &QPushButton::clicked, this, &AutoTuneDialog::Start);
  connect(cancelButton_, &QPushButton::clicked, this, &AutoTuneDialog::Cancel);
  connect(close, &QPushButton::clicked, this, &AutoTuneDialog::reject);
  buttons->addWidget(start_);
  buttons->addWidget(cancelButton_);
  auto* undoHint = new QLabel(Tr("The tuning is one step: Ctrl+Z in the window takes it all back.",
                                 "整个调音为一步：在主窗口按 Ctrl+Z 可全部撤销。"));
  undoHint->setStyleSheet(QStringLiteral("color:#70767f;"));
  buttons->addSpacing(12);
  buttons->addWidget(undoHint);
  buttons->addStretch();
  buttons->addWidget(close);
  top->addLayout(buttons);
}

void AutoTuneDialog::FillDevices() {
  auto opened = OpenSoundDevices(outDevice_, inDevice_, choices_.audioOut, choices_.audioIn, lang_);
  for (const auto& message : opened.messages) Log(QString::fromStdString(message));
  if (!opened.audio) start_->setEnabled(false);
  audio_ = std::move(opened.audio);
  devices_ = std::move(opened.devices);
}

void AutoTuneDialog::ApplyChoices() {
  for (const auto& problem : choices_.problems) Log(QString::fromStdString(problem));
  for (int ch : choices_.fullRange) fullRange_[static_cast<std::size_t>(ch)]->setChecked(true);
  RefreshChannels();
  if (choices_.channels) {
    for (auto* box : channels_) box->setChecked(false);
    for (int ch : *choices_.channels) {
      QCheckBox* box = channels_[static_cast<std::size_t>(ch)];
      if (box->isEnabled())
        box->setChecked(true);
      else
        Log(Tr("%1 may not be played: %2", "%1 不能播放：%2")
                .arg(box->text(), safety_[static_cast<std::size_t>(ch)]->text()));
    }
  }
  if (choices_.reference) reference_->setCurrentIndex(reference_->findData(*choices_.reference));
  if (choices_.positions > 0) positions_->setValue(choices_.positions);
  if (choices_.seconds > 0) length_->setValue(choices_.seconds);
  if (choices_.target == "flat") {
    target_->setCurrentIndex(kTargetFlat);
  } else if (choices_.target == "car") {
    target_->setCurrentIndex(kTargetCar);
  } else if (!choices_.target.empty()) {
    targetFile_ = choices_.target;
    target_->setItemText(kTargetFile, QString::fromStdString(targetFile_));
    target_->setCurrentIndex(kTargetFile);
  }
}

void AutoTuneDialog::ChooseTargetFile() {
  const QString path = QFileDialog::getOpenFileName(this, Tr("Target curve", "目标曲线"), QString(),
                                                    QStringLiteral("*.txt *.frd *.csv;;*"));
  if (path.isEmpty()) {
    if (targetFile_.empty()) target_->setCurrentIndex(kTargetFlat);
    return;
  }
  targetFile_ = path.toStdString();
  target_->setItemText(kTargetFile, QFileInfo(path).fileName());
}

void AutoTuneDialog::RefreshChannels() {
  acoustics::MeasurementPlan plan;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    plan.channels.push_back(ch);
    plan.markedFullRange[static_cast<std::size_t>(ch)] = fullRange_[static_cast<std::size_t>(ch)]->isChecked();
  }
  std::string error;
  for (const auto& r : acoustics::CheckPlan(editor_, plan, lang_, &error)) {
    const auto i = static_cast<std::size_t>(r.channel);
    const bool may = acoustics::MayPlay(r.safety);
    const QString why = QString::fromStdString(acoustics::SafetyText(r.safety, lang_));
    safety_[i]->setText(safety_[i]->fontMetrics().elidedText(why, Qt::ElideRight, kSafetyTextWidth));
    safety_[i]->setToolTip(why);
    safety_[i]->setStyleSheet(may ? QStringLiteral("color:#96a0ae;") : QStringLiteral("color:#d64034;"));
    // A channel that has just become playable is chosen, as every playable one is at the start.
    if (may && !channels_[i]->isEnabled()) channels_[i]->setChecked(true);
    channels_[i]->setEnabled(may);
    if (!may) channels_[i]->setChecked(false);
  }
}

std::optional<std::pair<acoustics::MeasurementPlan, acoustics::TuneOptions>> AutoTuneDialog::Plan(
    QString* error) const {
  acoustics::MeasurementPlan plan;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    if (channels_[i]->isChecked()) plan.channels.push_back(ch);
    plan.markedFullRange[i] = fullRange_[i]->isChecked();
  }
  if (plan.channels.empty()) {
    *error = Tr("Choose the channels to tune.", "请选择要调音的声道。");
    return std::nullopt;
  }
  plan.outputDevice = outDevice_->currentData().toInt();
  plan.inputDevice = inDevice_->currentData().toInt();
  if (plan.outputDevice == 0 || plan.inputDevice == 0) {
    *error = Tr("Choose the output and the microphone.", "请选择输出设备和麦克风。");
    return std::nullopt;
  }
  plan.inputSource = input_->value() - 1;
  plan.positions = positions_->value();
  plan.sweep.seconds = length_->value();
  plan.sweep.endHz = std::min(plan.sweep.endHz, 0.45 * plan.sampleRate);
  if (const int ref = reference_->currentData().toInt(); ref >= 0) plan.referenceChannel = ref;
  const QString cal = calibration_->text().trimmed();
  if (!cal.isEmpty()) {
    auto read = acoustics::ReadCalibrationFile(cal.toStdString());
    if (const auto* e = std::get_if<acoustics::CalibrationError>(&read)) {
      *error = QString::fromStdString(acoustics::CalibrationErrorText(*e, cal.toStdString(), lang_));
      return std::nullopt;
    }
    plan.calibration = std::get<acoustics::MicCalibration>(std::move(read));
  }
  acoustics::TuneOptions options;
  options.maxBoostDb = maxBoost_->value();
  const int item = target_->currentIndex();
  const std::string name = item == kTargetFlat ? "flat" : item == kTargetCar ? "car" : targetFile_;
  std::string why;
  const auto target = measure::TargetByName(name, lang_, &why);
  if (!target) {
    *error = QString::fromStdString(why);
    return std::nullopt;
  }
  options.target = *target;
  return std::pair{std::move(plan), std::move(options)};
}

void AutoTuneDialog::Start() {
  if (running_ || !audio_) return;
  QString error;
  auto planned = Plan(&error);
  if (!planned) {
    Log(error);
    return;
  }
  const auto& [plan, options] = *planned;
  running_ = true;
  cancel_.Reset();
  start_->setEnabled(false);
  cancelButton_->setEnabled(true);
  log_->clear();
  progress_->setValue(0);
  if (acoustics::RestoreLeftover(editor_, guard_)) {
    Log(Tr("Put back the settings an interrupted measurement had changed.", "已恢复上次中断的测量所更改的设置。"));
  }
  WindowMeasurementHost::Hooks hooks;
  hooks.progress = [this](const acoustics::Progress& p) { ShowProgress(p); };
  hooks.rejected = [this](int channel, int position, const std::string& reason) {
    Log(QStringLiteral("%1, %2 %3: %4")
            .arg(QString::fromStdString(ChannelLabel(channel)), Tr("position", "位置"))
            .arg(position + 1)
            .arg(QString::fromStdString(reason)));
  };
  hooks.answer = choices_.microphoneAnswer;
  if (choices_.simMicrophone) {
    hooks.moved = [this](int position) {
      std::string reply;
      const bool moved = MoveSimMicrophone(*choices_.simMicrophone, position, &reply);
      Log((moved ? Tr("Simulated car: %1", "模拟汽车：%1")
                 : Tr("The simulated car's microphone did not move: %1", "模拟汽车的麦克风未移动：%1"))
              .arg(QString::fromStdString(reply)));
    };
    // The first pass starts at the first position without asking; the car's microphone may
    // still stand where an earlier run left it.
    hooks.moved(0);
  }
  WindowMeasurementHost host(editor_.engine(), *this, lang_, std::move(hooks));
  acoustics::AutoTuneRun run(editor_, *audio_, guard_, lang_);
  auto report = run.Run(plan, options, host, cancel_);
  running_ = false;
  start_->setEnabled(true);
  cancelButton_->setEnabled(false);
  progress_->setValue(progress_->maximum());
  ShowReport(report, options.target);
  // What was heard last goes to the graph as the channels' measurements.
  acoustics::HandOver(report.verified ? report.after : report.before, measurements_);
  report_ = std::move(report);
  if (redraw_) redraw_();
}

void AutoTuneDialog::ShowProgress(const acoustics::Progress& p) {
  progress_->setValue(static_cast<int>(std::lround(p.done * progress_->maximum())));
  stage_->setText(QStringLiteral("%1 · %2 %3 · %4 · %5 dBFS")
                      .arg(QString::fromStdString(ChannelLabel(p.channel)), Tr("position", "位置"))
                      .arg(p.position + 1)
                      .arg(StageText(p.stage, lang_))
                      .arg(p.levelDbfs, 0, 'f', 0));
}

void AutoTuneDialog::ShowReport(const acoustics::AutoTuneReport& report, const measure::Target& target) {
  for (const auto& r : report.before.channels)
    if (!r.Measured())
      Log(QStringLiteral("%1: %2").arg(
          QString::fromStdString(ChannelLabel(r.channel)),
          r.refused.empty() ? Tr("not measured", "未测量") : QString::fromStdString(r.refused)));
  if (!report.error.empty()) Log(QString::fromStdString(report.error));
  if (report.linkLost)
    Log(Tr("The link to the processor was lost: the settings from before are put back at the next connect.",
           "与处理器的连接中断：下次连接时恢复测量前的设置。"));
  if (report.cancelled)
    Log(report.tuned ? Tr("Verification cancelled; the tuning was sent (Ctrl+Z in the window takes it back).",
                          "验证已取消；调音已发送（在主窗口按 Ctrl+Z 可撤销）。")
                     : Tr("Auto-tune cancelled; the settings are as they were.", "自动调音已取消，设置未改变。"));

  const bool after = report.verified;
  stage_->setText(report.verified    ? Tr("Tuned and measured again.", "已调音并再次测量。")
                  : report.tuned     ? Tr("Tuned, but not measured again.", "已调音，但未再次测量。")
                  : report.cancelled ? Tr("Cancelled.", "已取消。")
                                     : Tr("Not tuned.", "未调音。"));
  const auto& fb = report.figuresBefore;
  const auto& fa = report.figuresAfter;
  figures_->setRowCount(0);
  const auto row = [&](const QString& what, double b, double a, const QString& unit, int decimals, bool shown) {
    const int r = figures_->rowCount();
    figures_->insertRow(r);
    figures_->setItem(r, 0, Cell(what, Qt::AlignLeft | Qt::AlignVCenter));
    // A figure that could not be had (a position with a refused recording) is a dash, as one not asked for.
    figures_->setItem(r, 1, Cell(shown && !std::isnan(b) ? Number(b, decimals) + unit : QStringLiteral("–")));
    figures_->setItem(r, 2, Cell(shown && after && !std::isnan(a) ? Number(a, decimals) + unit : QStringLiteral("–")));
  };
  const bool measured = report.tuned || !report.before.channels.empty();
  row(Tr("Arrival spread", "到达时间差"), fb.arrivalSpreadMs, fa.arrivalSpreadMs, QStringLiteral(" ms"), 3, measured);
  row(Tr("Level spread", "电平差"), fb.levelSpreadDb, fa.levelSpreadDb, QStringLiteral(" dB"), 2, measured);
  row(Tr("Summed response (RMS)", "总响应偏差 (RMS)"), fb.summed.averaged.rms, fa.summed.averaged.rms,
      QStringLiteral(" dB"), 2, measured);
  for (std::size_t p = 0; p < fb.summed.perPositionRms.size(); ++p) {
    const double a = p < fa.summed.perPositionRms.size() ? fa.summed.perPositionRms[p] : std::nan("");
    row(Tr("   at position %1", "   位置 %1").arg(p + 1), fb.summed.perPositionRms[p], a, QStringLiteral(" dB"), 2,
        true);
  }
  plot_->SetCurves(fb.summed, after ? &fa.summed : nullptr, target);

  table_->setRowCount(0);
  if (!report.tuned) return;
  for (const auto& t : report.tuning.channels) {
    const int r = table_->rowCount();
    table_->insertRow(r);
    table_->setItem(r, 0, Cell(QString::fromStdString(ChannelLabel(t.channel)), Qt::AlignLeft | Qt::AlignVCenter));
    table_->setItem(r, 1,
                    Cell(Number(DelayMsFromCode(t.delayCode), 3) + QStringLiteral(" ms") +
                         (t.delayLimited ? QStringLiteral(" !") : QString())));
    QString phase = t.phase ? Tr("inverted", "反相") : Tr("normal", "正相");
    if (t.flipped) phase += Tr(" (changed)", "（已改）");
    auto* phaseCell = Cell(phase);
    if (t.flipped) phaseCell->setForeground(skin::kAccent.lighter(130));
    table_->setItem(r, 2, phaseCell);
    table_->setItem(r, 3, Cell(QStringLiteral("%1 dB").arg(OutputGainDbFromCode(t.gainCode))));
    table_->setItem(r, 4,
                    Cell(QStringLiteral("%1 → %2 dB").arg(Number(t.levelBeforeDb, 1), Number(t.levelAfterDb, 1))));
    table_->setItem(r, 5, Cell(t.equalised ? Number(t.eqBefore.rms, 2) + QStringLiteral(" dB") : QStringLiteral("–")));
    table_->setItem(r, 6, Cell(t.equalised ? Number(t.eqAfter.rms, 2) + QStringLiteral(" dB") : QStringLiteral("–")));
  }
  if (!report.notFixed.empty()) {
    Log(Tr("Not fixed:", "未能修正："));
    for (const auto& line : report.notFixed) Log(QStringLiteral("  ") + QString::fromStdString(line));
  }
}

QStringList AutoTuneDialog::LogLines() const {
  return log_->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void AutoTuneDialog::Log(const QString& line) { log_->appendPlainText(line); }

void AutoTuneDialog::reject() {
  // Closing while it runs is a cancel; the run puts everything back before it returns.
  if (running_) {
    cancel_.Cancel();
    return;
  }
  SkinDialog::reject();
}

}  // namespace zelto
