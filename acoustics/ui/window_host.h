#pragma once
// What the engine's measuring procedures need from a window: waiting for the processor while the
// window stays alive (and Cancel can be pressed), the modal question that asks the user to move
// the microphone, and progress and refused recordings handed to whoever shows them. Shared by the
// window's measuring dialogs, so each only says where progress goes.

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "acoustics/measurement_run.h"

class QComboBox;
class QWidget;

namespace zelto {

class Engine;

class WindowMeasurementHost final : public acoustics::MeasurementHost {
 public:
  struct Hooks {
    std::function<void(const acoustics::Progress&)> progress;
    std::function<void(int channel, int position, const std::string& reason)> rejected;
    /// Called once the user has agreed to move to `position` (0-based), before it is measured.
    std::function<void(int position)> moved;
    /// Answers the microphone question instead of asking it (where nobody is there to answer).
    std::optional<bool> answer;
  };

  WindowMeasurementHost(Engine& engine, QWidget& window, Language lang, Hooks hooks)
      : engine_(engine), window_(window), lang_(lang), hooks_(std::move(hooks)) {}

  bool Settle() override;
  bool MoveMicrophone(int position, int count) override;
  void Report(const acoustics::Progress& progress) override;
  void Rejected(int channel, int position, const std::string& reason) override;

 private:
  Engine& engine_;
  QWidget& window_;
  Language lang_;
  Hooks hooks_;
};

/// The words of a measuring stage, in the window's language.
QString StageText(acoustics::Stage stage, Language lang);

/// Fills the lists of sound devices that can feed the processor (`out`) and of microphones
/// (`in`), each standing on the system's default, or on `wantOut` / `wantIn` where given (a
/// number, a name or a part of a name only one device has, as zeltoctl takes them). Returns why a
/// wanted device was not chosen, one line each.
std::vector<std::string> FillSoundDevices(const std::vector<audio::DeviceInfo>& devices, QComboBox* out, QComboBox* in,
                                          const std::string& wantOut, const std::string& wantIn, Language lang);

/// The sound system opened and its devices in the two lists, as FillSoundDevices fills them; no
/// system when it cannot be opened. `messages` says why, or why a wanted device was not chosen.
struct SoundDevices {
  std::unique_ptr<audio::AudioSystem> audio;
  std::vector<audio::DeviceInfo> devices;
  std::vector<std::string> messages;
};
SoundDevices OpenSoundDevices(QComboBox* out, QComboBox* in, const std::string& wantOut, const std::string& wantIn,
                              Language lang);

}  // namespace zelto
