#include "ctl/measure_commands.h"

#include "ctl/ctl.h"

namespace zelto::ctl {

MeasureGroup::MeasureGroup(CLI::App& app, const std::function<void(CLI::App*)>& addCommon) {
  measure_ = app.add_subcommand(
      "measure", "measure the processor's channels through a sound card and a microphone (or list the sound devices)");
  addCommon(measure_);
  measure_->require_subcommand(0, 1);
#ifdef ZELTO_HAVE_ACOUSTICS
  devices_ = AddMeasureRun(measure_, run_);
  addCommon(devices_);
#endif
}

std::optional<int> MeasureGroup::Run(CommandContext& c) {
  if (!measure_->parsed()) return std::nullopt;
#ifdef ZELTO_HAVE_ACOUSTICS
  if (devices_->parsed()) return MeasureDevicesCommand(c);
  return MeasureRunCommand(c, run_);
#else
  c.view.Fail(c.Lang() == Language::Chinese ? "此版本不含声学测量（构建时未找到 FFTW3、libsndfile 和 RtAudio）"
                                            : "this build has no acoustic measurement (FFTW3, libsndfile and RtAudio "
                                              "were not found when it was built)");
  return kExitFailure;
#endif
}

}  // namespace zelto::ctl
