#include "acoustics/ui/window_host.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>

#include "acoustics/measurement_routing.h"
#include "link/engine.h"

namespace zelto {

namespace {

// How long the processor may take to acknowledge the routing before the link counts as lost.
constexpr int kSettleMs = 10000;

QString Tr(Language lang, const char* en, const char* zh) {
  return lang == Language::Chinese ? QString::fromUtf8(zh) : QString::fromUtf8(en);
}

}  // namespace

bool WindowMeasurementHost::Settle() {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < kSettleMs) {
    if (!engine_.Connected()) return false;
    if (engine_.EverythingSent()) return true;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return false;
}

bool WindowMeasurementHost::MoveMicrophone(int position, int count) {
  bool agreed = false;
  if (hooks_.answer) {
    agreed = *hooks_.answer;
  } else {
    const auto answer = QMessageBox::question(
        &window_, Tr(lang_, "Microphone", "麦克风"),
        Tr(lang_, "Move the microphone to position %1 of %2, then press OK.", "请把麦克风移到位置 %1/%2，然后按确定。")
            .arg(position + 1)
            .arg(count),
        QMessageBox::Ok | QMessageBox::Cancel);
    agreed = answer == QMessageBox::Ok;
  }
  if (agreed && hooks_.moved) hooks_.moved(position);
  return agreed;
}

void WindowMeasurementHost::Report(const acoustics::Progress& progress) {
  if (hooks_.progress) hooks_.progress(progress);
  // The window stays alive (and Cancel can be pressed) while the sound plays.
  QApplication::processEvents(QEventLoop::AllEvents, 5);
}

void WindowMeasurementHost::Rejected(int channel, int position, const std::string& reason) {
  if (hooks_.rejected) hooks_.rejected(channel, position, reason);
}

QString StageText(acoustics::Stage s, Language lang) {
  switch (s) {
    case acoustics::Stage::Routing: return Tr(lang, "routing", "切换路由");
    case acoustics::Stage::LevelCheck: return Tr(lang, "level check", "电平检查");
    case acoustics::Stage::Sweep: return Tr(lang, "sweep", "扫频");
    case acoustics::Stage::Analysis: return Tr(lang, "analysis", "分析");
    case acoustics::Stage::Restoring: return Tr(lang, "restoring the settings", "恢复设置");
  }
  return {};
}

std::vector<std::string> FillSoundDevices(const std::vector<audio::DeviceInfo>& devices, QComboBox* out, QComboBox* in,
                                          const std::string& wantOut, const std::string& wantIn, Language lang) {
  for (const auto& d : devices) {
    const QString text = QStringLiteral("%1  %2").arg(d.number).arg(QString::fromStdString(d.name));
    if (d.outputs > 0) out->addItem(text, d.number);
    if (d.inputs > 0) in->addItem(text, d.number);
    if (d.defaultOutput && d.outputs > 0) out->setCurrentIndex(out->count() - 1);
    if (d.defaultInput && d.inputs > 0) in->setCurrentIndex(in->count() - 1);
  }
  std::vector<std::string> problems;
  const auto choose = [&](QComboBox* box, const std::string& want, audio::Direction direction) {
    if (want.empty()) return;
    const auto choice = audio::FindDevice(devices, want, direction, lang);
    if (!choice.device) {
      problems.push_back(choice.error);
      return;
    }
    box->setCurrentIndex(box->findData(choice.device->number));
  };
  choose(out, wantOut, audio::Direction::Output);
  choose(in, wantIn, audio::Direction::Input);
  return problems;
}

SoundDevices OpenSoundDevices(QComboBox* out, QComboBox* in, const std::string& wantOut, const std::string& wantIn,
                              Language lang) {
  SoundDevices d;
  std::string error;
  d.audio = audio::MakeAudioSystem(&error, {}, lang);
  if (!d.audio) {
    d.messages.push_back(error);
    return d;
  }
  d.devices = d.audio->Devices();
  d.messages = FillSoundDevices(d.devices, out, in, wantOut, wantIn, lang);
  return d;
}

}  // namespace zelto
