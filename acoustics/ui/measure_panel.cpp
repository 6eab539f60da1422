#include "acoustics/ui/measure_panel.h"

#include "acoustics/ui/window_host.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <variant>

#include "acoustics/calibration.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "measure/band_fit.h"
#include "measure/channel_measurements.h"
#include "model/ktv_data.h"

namespace zelto {

namespace {

// Until the layout has measured the panel.
constexpr QSize kProvisionalSize{800, 600};
constexpr int kBodyTextPixels = UiFonts::kSmallPixels;
// How long the processor may take to acknowledge the routing before the link counts as lost.
constexpr int kSettleMs = 10000;
// The meter shows the input from this level (dBFS) up to 0.
constexpr int kMeterFloorDb = -80;
// Distinct colours for the impulse responses drawn over each other.
constexpr std::array<QRgb, kOutputChannels> kTraceColours = {0xe6194b, 0x3cb44b, 0x4363d8, 0xf58231,
                                                             0x911eb4, 0x46f0f0, 0xf032e6, 0x9a6324};

QString Tr(Language lang, const char* en, const char* zh) {
  return lang == Language::Chinese ? QString::fromUtf8(zh) : QString::fromUtf8(en);
}

}  // namespace

// ---- the impulse responses ---------------------------------------------------------------------

ImpulseView::ImpulseView(QWidget* parent) : QWidget(parent) { setMinimumHeight(140); }

void ImpulseView::SetResults(const std::vector<acoustics::ChannelResult>& results) {
  results_.clear();
  for (const auto& r : results)
    if (r.Measured() && !r.impulse.empty()) results_.push_back(r);
  update();
}

void ImpulseView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), skin::kPictureFill);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF area = QRectF(rect()).adjusted(6, 6, -6, -6);
  p.setPen(skin::kTick);
  p.drawLine(QPointF(area.left(), area.center().y()), QPointF(area.right(), area.center().y()));
  if (results_.empty()) return;
  // A shared time axis from the earliest arrival, 10 ms wide, so arrival differences show.
  double first = results_.front().arrivalMs;
  for (const auto& r : results_) first = std::min(first, r.arrivalMs);
  const double spanMs = 10.0;
  const double from = first - 1.0;
  for (std::size_t k = 0; k < results_.size(); ++k) {
    const auto& r = results_[k];
    double peak = 1e-9;
    for (float v : r.impulse) peak = std::max(peak, static_cast<double>(std::abs(v)));
    std::size_t peakAt = 0;
    for (std::size_t i = 0; i < r.impulse.size(); ++i)
      if (std::abs(r.impulse[i]) >= peak) peakAt = i;
    const double msPerSample = 1000.0 / std::max(1, r.sampleRate);
    QPainterPath path;
    bool started = false;
    for (std::size_t i = 0; i < r.impulse.size(); ++i) {
      // Each response is placed so that its peak sits at its arrival.
      const double t = r.arrivalMs + (static_cast<double>(i) - static_cast<double>(peakAt)) * msPerSample;
      if (t < from || t > from + spanMs) continue;
      const QPointF pt(area.left() + (t - from) / spanMs * area.width(),
                       area.center().y() - r.impulse[i] / peak * area.height() * 0.45);
      if (!started) {
        path.moveTo(pt);
        started = true;
      } else {
        path.lineTo(pt);
      }
    }
    const QColor colour(kTraceColours[static_cast<std::size_t>(r.channel)]);
    p.setPen(QPen(colour, 1.2));
    p.drawPath(path);
    const double x = area.left() + (r.arrivalMs - from) / spanMs * area.width();
    p.setPen(QPen(colour, 1, Qt::DashLine));
    p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    p.drawText(QPointF(x + 3, area.top() + 12 + 12 * static_cast<double>(k)),
               QStringLiteral("CH%1 %2 ms%3")
                   .arg(r.channel + 1)
                   .arg(r.arrivalMs, 0, 'f', 3)
                   .arg(r.inverted ? QStringLiteral(" (−)") : QString()));
  }
}

// ---- the live RTA ---------------------------------------------------------------------------------

namespace {
constexpr double kRtaLowHz = 20.0;
constexpr double kRtaHighHz = 20000.0;
constexpr double kRtaRangeDb = 60.0;  // shown below the top of the scale
constexpr double kRtaScaleStepDb = 10.0;
}  // namespace

RtaView::RtaView(QWidget* parent) : QWidget(parent) { setMinimumHeight(150); }

void RtaView::SetBands(const acoustics::Response& bands, int bandsPerOctave) {
  bands_ = bands;
  bandsPerOctave_ = std::max(1, bandsPerOctave);
  double loudest = -300;
  for (double db : bands_.db) loudest = std::max(loudest, db);
  // The top moves in whole steps and only when the loudest band leaves the upper step.
  const double wanted = std::ceil((loudest + 1.0) / kRtaScaleStepDb) * kRtaScaleStepDb;
  if (bands_.db.empty()) {
    update();
    return;
  }
  if (topDb_ == 0 || wanted > topDb_ || wanted < topDb_ - kRtaScaleStepDb) topDb_ = wanted;
  update();
}

void RtaView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), skin::kPictureFill);
  const QRectF area = QRectF(rect()).adjusted(34, 6, -6, -16);
  const double top = topDb_ == 0 ? 0.0 : topDb_;
  auto x = [&](double hz) {
    return area.left() + std::log(hz / kRtaLowHz) / std::log(kRtaHighHz / kRtaLowHz) * area.width();
  };
  auto y = [&](double db) { return area.top() + (top - db) / kRtaRangeDb * area.height(); };
  p.setPen(skin::kTick);
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.8);
  p.setFont(small);
  for (double db = top; db >= top - kRtaRangeDb; db -= kRtaScaleStepDb) {
    p.drawLine(QPointF(area.left(), y(db)), QPointF(area.right(), y(db)));
    p.drawText(QRectF(0, y(db) - 7, area.left() - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(db, 'f', 0));
  }
  for (double hz : {31.5, 63.0, 125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0, 16000.0}) {
    p.drawLine(QPointF(x(hz), area.top()), QPointF(x(hz), area.bottom()));
    const QString label = hz >= 1000 ? QStringLiteral("%1k").arg(hz / 1000) : QString::number(hz);
    p.drawText(QRectF(x(hz) - 20, area.bottom() + 1, 40, 14), Qt::AlignCenter, label);
  }
  const double half = std::pow(2.0, 0.5 / bandsPerOctave_);
  for (std::size_t i = 0; i < bands_.hz.size(); ++i) {
    const double f = bands_.hz[i];
    const double left = x(std::max(kRtaLowHz, f / half)) + 1;
    const double right = x(std::min(kRtaHighHz, f * half)) - 1;
    const double level = std::clamp(y(bands_.db[i]), area.top(), area.bottom());
    if (right > left) p.fillRect(QRectF(left, level, right - left, area.bottom() - level), QColor(0x3c, 0xb4, 0x4b));
  }
}

// ---- the procedure's host -------------------------------------------------------------------------

WindowMeasurementHost MeasurePanel::Host() {
  WindowMeasurementHost::Hooks hooks;
  hooks.progress = [this](const acoustics::Progress& p) {
    ShowInputPeak(p.inputPeak);
    progress_->setValue(static_cast<int>(std::lround(p.done * 1000)));
    stage_->setText(QStringLiteral("CH%1 · %2 %3 · %4 · %5 dBFS")
                        .arg(p.channel + 1)
                        .arg(Tr(lang_, "position", "位置"))
                        .arg(p.position + 1)
                        .arg(StageText(p.stage, lang_))
                        .arg(p.levelDbfs, 0, 'f', 0));
  };
  hooks.rejected = [this](int channel, int position, const std::string& reason) {
    Log(QStringLiteral("CH%1, %2 %3: %4")
            .arg(channel + 1)
            .arg(Tr(lang_, "position", "位置"))
            .arg(position + 1)
            .arg(QString::fromStdString(reason)));
  };
  return WindowMeasurementHost(editor_.engine(), *this, lang_, std::move(hooks));
}

// ---- the panel --------------------------------------------------------------------------------

MeasurePanel::MeasurePanel(Editor& editor, measure::ChannelMeasurements& measurements, std::function<void()> redraw,
                           const std::string& guardPath, Language lang, QWidget* parent)
    : SkinDialog(kDialogId, kProvisionalSize, lang, parent),
      editor_(editor),
      measurements_(measurements),
      redraw_(std::move(redraw)),
      guard_(guardPath),
      lang_(lang) {
  // A panel beside the form, not a question: the form stays usable while it measures.
  setModal(false);
  SetCaption(Bi("测量", "Measure the car"));
  setFont(skin::FaceFont(kBodyTextPixels, false));
  BuildLayout();
  FillDevices();
  RefreshChannels();
}

MeasurePanel::~MeasurePanel() {
  cancel_.Cancel();
  // The RTA's own destructor silences it and puts the routing back; its record stays on disk
  // until a start sees the processor has it.
  rta_.reset();
}

void MeasurePanel::BuildLayout() {
  // Settings on the left, what is heard and found on the right.
  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(kMargin / 2, kCaptionHeight + kMargin / 4, kMargin / 2, kMargin / 4);
  // The panel is as large as what it shows (a channel's safety text changes its width); the
  // close box follows the edge.
  top->setSizeConstraint(QLayout::SetFixedSize);
  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  columns->addLayout(left, 0);
  columns->addLayout(right, 1);
  top->addLayout(columns);

  auto* devices = new QGroupBox(Tr(lang_, "Sound devices", "音频设备"));
  auto* form = new QFormLayout(devices);
  outDevice_ = new QComboBox;
  inDevice_ = new QComboBox;
  rate_ = new QComboBox;
  for (int r : audio::kSampleRates) rate_->addItem(QStringLiteral("%1 Hz").arg(r), r);
  rate_->setCurrentIndex(1);
  auto* calRow = new QHBoxLayout;
  calibration_ = new QLineEdit;
  calibration_->setPlaceholderText(Tr(lang_, "none", "无"));
  auto* browse = new QPushButton(Tr(lang_, "Choose…", "选择…"));
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, Tr(lang_, "Microphone calibration file", "麦克风校准文件"),
                                                      QString(), QStringLiteral("*.txt *.cal *.frd;;*"));
    if (!path.isEmpty()) calibration_->setText(path);
  });
  calRow->addWidget(calibration_);
  calRow->addWidget(browse);
  input_ = new QSpinBox;
  input_->setRange(1, acoustics::kMixSources);
  form->addRow(Tr(lang_, "Output (feeds the processor)", "输出（接处理器输入）"), outDevice_);
  form->addRow(Tr(lang_, "Processor input", "处理器输入"), input_);
  form->addRow(Tr(lang_, "Microphone", "麦克风"), inDevice_);
  form->addRow(Tr(lang_, "Calibration file", "校准文件"), calRow);
  form->addRow(Tr(lang_, "Sample rate", "采样率"), rate_);
  left->addWidget(devices);

  auto* channels = new QGroupBox(Tr(lang_, "Channels", "声道"));
  auto* grid = new QGridLayout(channels);
  grid->setVerticalSpacing(2);
  grid->addWidget(new QLabel(Tr(lang_, "full-range or bass", "全频或低音")), 0, 1);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    channels_[i] = new QCheckBox(QStringLiteral("CH%1").arg(ch + 1));
    fullRange_[i] = new QCheckBox;
    safety_[i] = new QLabel;
    connect(fullRange_[i], &QCheckBox::toggled, this, [this] { RefreshChannels(); });
    grid->addWidget(channels_[i], ch + 1, 0);
    grid->addWidget(fullRange_[i], ch + 1, 1, Qt::AlignHCenter);
    grid->addWidget(safety_[i], ch + 1, 2);
  }
  left->addWidget(channels);

  auto* sweep = new QGroupBox(Tr(lang_, "Sweep", "扫频"));
  auto* sweepForm = new QFormLayout(sweep);
  length_ = new QDoubleSpinBox;
  length_->setRange(0.5, 30);
  length_->setValue(acoustics::SweepOptions{}.seconds);
  length_->setSuffix(QStringLiteral(" s"));
  maxLevel_ = new QDoubleSpinBox;
  maxLevel_->setRange(acoustics::kStartLevelDbfs, 0);
  maxLevel_->setValue(-6);
  maxLevel_->setSuffix(QStringLiteral(" dBFS"));
  positions_ = new QSpinBox;
  positions_->setRange(1, 16);
  sweepForm->addRow(Tr(lang_, "Length", "长度"), length_);
  sweepForm->addRow(Tr(lang_, "Highest level (starts at −30 dBFS)", "最高电平（从 −30 dBFS 起）"), maxLevel_);
  sweepForm->addRow(Tr(lang_, "Microphone positions", "麦克风位置数"), positions_);
  left->addWidget(sweep);
  left->addStretch();

  meter_ = new QProgressBar;
  meter_->setRange(kMeterFloorDb, 0);
  meter_->setValue(kMeterFloorDb);
  meter_->setFormat(Tr(lang_, "input level", "输入电平"));
  progress_ = new QProgressBar;
  progress_->setRange(0, 1000);
  progress_->setValue(0);
  stage_ = new QLabel;
  listen_ = new QCheckBox(Tr(lang_, "Listen", "监听"));
  listen_->setToolTip(Tr(lang_, "Show the microphone's level before anything plays", "在播放之前显示麦克风的电平"));
  connect(listen_, &QCheckBox::toggled, this, [this](bool on) { on ? ListenIfWanted() : StopListening(); });
  connect(inDevice_, &QComboBox::currentIndexChanged, this, [this] { ListenIfWanted(); });
  listenTimer_ = new QTimer(this);
  listenTimer_->setInterval(100);
  connect(listenTimer_, &QTimer::timeout, this, [this] {
    if (listener_.Running()) ShowInputPeak(listener_.TakePeak());
  });
  auto* meterRow = new QHBoxLayout;
  meterRow->addWidget(meter_, 1);
  meterRow->addWidget(listen_);
  right->addLayout(meterRow);
  right->addWidget(progress_);
  right->addWidget(stage_);

  table_ = new QTableWidget(0, 4);
  table_->setHorizontalHeaderLabels({Tr(lang_, "Channel", "声道"), Tr(lang_, "Arrival", "到达时间"),
                                     Tr(lang_, "Polarity", "极性"), Tr(lang_, "Level", "电平")});
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table_->verticalHeader()->hide();
  table_->setMinimumHeight(110);
  table_->setMaximumHeight(150);
  impulses_ = new ImpulseView;
  // The figures beside their impulse responses, so the panel fits on a laptop's screen.
  auto* found = new QHBoxLayout;
  found->addWidget(table_, 1);
  found->addWidget(impulses_, 1);
  right->addLayout(found);

  auto* rta = new QGroupBox(Tr(lang_, "RTA (pink noise)", "RTA（粉红噪声）"));
  auto* rtaLayout = new QVBoxLayout(rta);
  auto* rtaRow = new QHBoxLayout;
  rtaBands_ = new QComboBox;
  rtaBands_->addItem(Tr(lang_, "1/3 octave", "1/3 倍频程"), 3);
  rtaBands_->addItem(Tr(lang_, "1/6 octave", "1/6 倍频程"), 6);
  rtaAveraging_ = new QComboBox;
  rtaAveraging_->addItem(Tr(lang_, "average of", "平均最近"),
                         static_cast<int>(acoustics::RtaOptions::Averaging::Count));
  rtaAveraging_->addItem(Tr(lang_, "exponential over", "指数平均"),
                         static_cast<int>(acoustics::RtaOptions::Averaging::Exponential));
  rtaAverages_ = new QSpinBox;
  rtaAverages_->setRange(1, 100);
  rtaAverages_->setValue(8);
  rtaAverages_->setSuffix(Tr(lang_, " updates", " 次"));
  rtaLevel_ = new QDoubleSpinBox;
  rtaLevel_->setRange(acoustics::kRtaMinLevelDbfs, acoustics::kRtaMaxLevelDbfs);
  rtaLevel_->setValue(acoustics::kRtaStartLevelDbfs);
  rtaLevel_->setSingleStep(3);
  rtaLevel_->setDecimals(0);
  rtaLevel_->setSuffix(QStringLiteral(" dBFS"));
  rtaLevel_->setToolTip(Tr(lang_, "RMS level of the noise; it starts low", "噪声的 RMS 电平，从低电平开始"));
  connect(rtaLevel_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
    if (RtaRunning()) rta_->SetLevel(v);
  });
  rtaStart_ = new QPushButton(Tr(lang_, "Start RTA", "开始 RTA"));
  connect(rtaStart_, &QPushButton::clicked, this, [this] { RtaRunning() ? StopRta() : StartRta(); });
  rtaReset_ = new QPushButton(Tr(lang_, "Restart average", "重新平均"));
  rtaReset_->setEnabled(false);
  connect(rtaReset_, &QPushButton::clicked, this, [this] {
    if (RtaRunning()) rta_->ResetAverage();
  });
  rtaRow->addWidget(rtaBands_);
  rtaRow->addWidget(rtaAveraging_);
  rtaRow->addWidget(rtaAverages_);
  rtaRow->addWidget(rtaLevel_);
  rtaRow->addStretch();
  rtaRow->addWidget(rtaReset_);
  rtaRow->addWidget(rtaStart_);
  rtaLayout->addLayout(rtaRow);
  rtaView_ = new RtaView;
  rtaLayout->addWidget(rtaView_);
  rtaState_ = new QLabel;
  rtaLayout->addWidget(rtaState_);
  right->addWidget(rta);
  rtaTimer_ = new QTimer(this);
  // Ten updates a second, as a hand-held RTA shows them.
  rtaTimer_->setInterval(100);
  connect(rtaTimer_, &QTimer::timeout, this, &MeasurePanel::PollRta);

  log_ = new QPlainTextEdit;
  log_->setReadOnly(true);
  log_->setMaximumBlockCount(200);
  log_->setFixedHeight(70);
  right->addWidget(log_);

  auto* buttons = new QHBoxLayout;
  start_ = new QPushButton(Tr(lang_, "Measure", "开始测量"));
  cancelButton_ = new QPushButton(Tr(lang_, "Cancel", "取消"));
  cancelButton_->setEnabled(false);
  auto* close = new QPushButton(Tr(lang_, "Close", "关闭"));
  connect(start_, &QPushButton::clicked, this, &MeasurePanel::Start);
  connect(cancelButton_, &QPushButton::clicked, this, &MeasurePanel::Cancel);
  connect(close, &QPushButton::clicked, this, &MeasurePanel::reject);
  buttons->addWidget(start_);
  buttons->addWidget(cancelButton_);
  buttons->addStretch();
  buttons->addWidget(close);
  top->addLayout(buttons);
}

void MeasurePanel::FillDevices() {
  auto opened = OpenSoundDevices(outDevice_, inDevice_, {}, {}, lang_);
  for (const auto& message : opened.messages) Log(QString::fromStdString(message));
  if (!opened.audio) start_->setEnabled(false);
  audio_ = std::move(opened.audio);
  devices_ = std::move(opened.devices);
}

void MeasurePanel::RefreshChannels() {
  acoustics::MeasurementPlan plan;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    plan.channels.push_back(ch);
    plan.markedFullRange[static_cast<std::size_t>(ch)] = fullRange_[static_cast<std::size_t>(ch)]->isChecked();
  }
  std::string error;
  for (const auto& r : acoustics::CheckPlan(editor_, plan, lang_, &error)) {
    const auto i = static_cast<std::size_t>(r.channel);
    const bool may = acoustics::MayPlay(r.safety);
    safety_[i]->setText(QString::fromStdString(acoustics::SafetyText(r.safety, lang_)));
    safety_[i]->setStyleSheet(may ? QString() : QStringLiteral("color: %1").arg(skin::kAlert.name()));
    channels_[i]->setEnabled(may);
    if (!may) channels_[i]->setChecked(false);
  }
}

acoustics::MeasurementPlan MeasurePanel::Plan(QString* error) const {
  acoustics::MeasurementPlan plan;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    if (channels_[i]->isChecked()) plan.channels.push_back(ch);
    plan.markedFullRange[i] = fullRange_[i]->isChecked();
  }
  plan.outputDevice = outDevice_->currentData().toInt();
  plan.inputDevice = inDevice_->currentData().toInt();
  plan.inputSource = input_->value() - 1;
  plan.sampleRate = rate_->currentData().toInt();
  plan.sweep.seconds = length_->value();
  plan.sweep.maxLevelDbfs = maxLevel_->value();
  plan.sweep.endHz = std::min(plan.sweep.endHz, 0.45 * plan.sampleRate);
  plan.positions = positions_->value();
  if (plan.outputDevice == 0 || plan.inputDevice == 0) {
    *error = Tr(lang_, "Choose the output and the microphone.", "请选择输出设备和麦克风。");
    return plan;
  }
  const QString cal = calibration_->text().trimmed();
  if (!cal.isEmpty()) {
    auto read = acoustics::ReadCalibrationFile(cal.toStdString());
    if (const auto* e = std::get_if<acoustics::CalibrationError>(&read)) {
      *error = QString::fromStdString(acoustics::CalibrationErrorText(*e, cal.toStdString(), lang_));
      return plan;
    }
    plan.calibration = std::get<acoustics::MicCalibration>(std::move(read));
  }
  return plan;
}

void MeasurePanel::Start() {
  if (running_ || !audio_ || RtaRunning()) return;
  QString error;
  const auto plan = Plan(&error);
  if (!error.isEmpty()) {
    Log(error);
    return;
  }
  StopListening();
  running_ = true;
  cancel_.Reset();
  start_->setEnabled(false);
  rtaStart_->setEnabled(false);
  cancelButton_->setEnabled(true);
  log_->clear();
  if (acoustics::RestoreLeftover(editor_, guard_)) {
    Log(Tr(lang_, "Put back the settings an interrupted measurement had changed.",
           "已恢复上次中断的测量所更改的设置。"));
  }
  WindowMeasurementHost host = Host();
  acoustics::MeasurementRun run(editor_, *audio_, guard_, lang_);
  const auto result = run.Run(plan, host, cancel_);
  running_ = false;
  start_->setEnabled(true);
  rtaStart_->setEnabled(true);
  ListenIfWanted();
  cancelButton_->setEnabled(false);
  ShowResults(result);
}

void MeasurePanel::ShowResults(const acoustics::RunResult& result) {
  if (!result.error.empty()) Log(QString::fromStdString(result.error));
  if (result.cancelled)
    Log(Tr(lang_, "Cancelled; every setting it changed is back.", "已取消，所有更改的设置已恢复。"));
  if (result.linkLost) {
    Log(Tr(lang_, "The link to the processor was lost: the settings are put back at the next connect.",
           "与处理器的连接中断：下次连接时恢复设置。"));
  }
  table_->setRowCount(0);
  for (const auto& r : result.channels) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, 0, new QTableWidgetItem(QStringLiteral("CH%1").arg(r.channel + 1)));
    if (!r.Measured()) {
      table_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(r.refused)));
      continue;
    }
    table_->setItem(row, 1, new QTableWidgetItem(QStringLiteral("%1 ms").arg(r.arrivalMs, 0, 'f', 3)));
    table_->setItem(row, 2,
                    new QTableWidgetItem(r.inverted ? Tr(lang_, "inverted", "反相") : Tr(lang_, "normal", "正常")));
    table_->setItem(row, 3, new QTableWidgetItem(QStringLiteral("%1 dBFS").arg(r.levelDbfs, 0, 'f', 0)));
  }
  impulses_->SetResults(result.channels);
  acoustics::HandOver(result, measurements_);
  if (redraw_) redraw_();
}

void MeasurePanel::Log(const QString& line) { log_->appendPlainText(line); }

void MeasurePanel::ShowInputPeak(float peak) {
  const double db = 20.0 * std::log10(std::max(1e-6f, peak));
  meter_->setValue(static_cast<int>(std::lround(std::clamp(db, double(kMeterFloorDb), 0.0))));
  meter_->setFormat(QStringLiteral("%1 dBFS").arg(db, 0, 'f', 1));
}

void MeasurePanel::StartRta() {
  if (running_ || RtaRunning() || !audio_) return;
  QString error;
  const auto sweepPlan = Plan(&error);
  if (!error.isEmpty()) {
    Log(error);
    return;
  }
  acoustics::RtaPlan plan;
  plan.channels = sweepPlan.channels;
  plan.inputSource = sweepPlan.inputSource;
  plan.outputDevice = sweepPlan.outputDevice;
  plan.outputChannel = sweepPlan.outputChannel;
  plan.inputDevice = sweepPlan.inputDevice;
  plan.inputChannel = sweepPlan.inputChannel;
  plan.sampleRate = sweepPlan.sampleRate;
  plan.markedFullRange = sweepPlan.markedFullRange;
  plan.calibration = sweepPlan.calibration;
  plan.bandsPerOctave = rtaBands_->currentData().toInt();
  plan.averaging = static_cast<acoustics::RtaOptions::Averaging>(rtaAveraging_->currentData().toInt());
  plan.averages = rtaAverages_->value();
  plan.levelDbfs = rtaLevel_->value();
  if (acoustics::RestoreLeftover(editor_, guard_)) {
    Log(Tr(lang_, "Put back the settings an interrupted measurement had changed.",
           "已恢复上次中断的测量所更改的设置。"));
  }
  rtaStart_->setEnabled(false);
  start_->setEnabled(false);
  StopListening();
  WindowMeasurementHost host = Host();
  rta_ = std::make_unique<acoustics::RtaRun>(editor_, *audio_, guard_, lang_);
  std::string why;
  if (!rta_->Start(plan, host, &why)) {
    rta_.reset();
    Log(QString::fromStdString(why));
    rtaStart_->setEnabled(true);
    start_->setEnabled(true);
    ListenIfWanted();
    return;
  }
  rtaBandsPerOctave_ = plan.bandsPerOctave;
  for (QWidget* w : std::initializer_list<QWidget*>{rtaBands_, rtaAveraging_, rtaAverages_}) w->setEnabled(false);
  rtaStart_->setText(Tr(lang_, "Stop RTA", "停止 RTA"));
  rtaStart_->setEnabled(true);
  rtaReset_->setEnabled(true);
  QStringList names;
  for (int ch : plan.channels) names << QStringLiteral("CH%1").arg(ch + 1);
  rtaState_->setText(Tr(lang_, "Pink noise on %1", "粉红噪声播放于 %1").arg(names.join(QStringLiteral(", "))));
  rtaTimer_->start();
}

void MeasurePanel::StopRta() {
  if (!rta_) return;
  rtaTimer_->stop();
  rtaStart_->setEnabled(false);
  WindowMeasurementHost host = Host();
  const bool restored = rta_->Stop(host);
  rta_.reset();
  if (!restored) {
    Log(Tr(lang_, "The link to the processor was lost: the settings are put back at the next connect.",
           "与处理器的连接中断：下次连接时恢复设置。"));
  }
  rtaState_->setText(
      restored ? Tr(lang_, "Stopped; every setting it changed is back.", "已停止，所有更改的设置已恢复。") : QString());
  rtaStart_->setText(Tr(lang_, "Start RTA", "开始 RTA"));
  for (QWidget* w : std::initializer_list<QWidget*>{rtaBands_, rtaAveraging_, rtaAverages_}) w->setEnabled(true);
  rtaStart_->setEnabled(true);
  rtaReset_->setEnabled(false);
  start_->setEnabled(audio_ != nullptr);
  ListenIfWanted();
}

void MeasurePanel::ListenIfWanted() {
  StopListening();
  if (!listen_ || !listen_->isChecked() || !audio_ || running_ || RtaRunning()) return;
  std::string error;
  if (!listener_.Open(*audio_, inDevice_->currentData().toInt(), 0, rate_->currentData().toInt(), &error)) {
    Log(QString::fromStdString(error));
    const QSignalBlocker quiet(listen_);
    listen_->setChecked(false);
    return;
  }
  listenTimer_->start();
}

void MeasurePanel::StopListening() {
  if (listenTimer_) listenTimer_->stop();
  listener_.Close();
}

void MeasurePanel::PollRta() {
  if (!RtaRunning()) return;
  const acoustics::RtaReading r = rta_->Poll();
  ShowInputPeak(r.inputPeak);
  rtaView_->SetBands(r.bands, rtaBandsPerOctave_);
}

void MeasurePanel::reject() {
  // Closing while it measures is a cancel; the run puts everything back before it returns.
  if (running_) {
    cancel_.Cancel();
    return;
  }
  if (rta_) StopRta();
  QDialog::reject();
}

}  // namespace zelto
