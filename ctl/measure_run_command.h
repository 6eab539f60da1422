#pragma once
// `zeltoctl measure devices` and `zeltoctl measure --channel ... --audio-out DEV --audio-in DEV`:
// the sound devices, and measuring the processor's channels through them with the measurement
// procedure the editor uses. Both join the `measure` group (nothing without acoustic measurement
// in the build, where the group says why). The parts other commands that measure share are here
// too.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "acoustics/measurement_run.h"
#include "ctl/measure_commands.h"

namespace zelto::ctl {

class DeviceSession;
class Terminal;

void AddMeasureRun(MeasureCommandGroup& group);

/// "ch1,ch3" or "1,3" into 0-based channels; nothing for anything else.
std::optional<std::vector<int>> ParseChannels(const std::string& text);

/// The sound system, or nothing after saying why.
std::unique_ptr<audio::AudioSystem> OpenAudio(CommandContext& c);

/// What zeltoctl does for the procedure: waits for the processor, asks on the terminal, prints.
class TerminalHost final : public acoustics::MeasurementHost {
 public:
  TerminalHost(DeviceSession& session, Terminal& term, audio::CancelFlag& cancel);
  bool Settle() override;
  bool MoveMicrophone(int position, int count) override;
  void Report(const acoustics::Progress& p) override;
  void Rejected(int channel, int position, const std::string& reason) override;
  void Done();

 private:
  DeviceSession& session_;
  Terminal& term_;
  audio::CancelFlag& cancel_;
};

}  // namespace zelto::ctl
