// Built where no audio library was found (the Windows cross build): everything else of the engine
// works, and measuring says why it cannot.

#include "acoustics/audio/audio_device.h"

namespace zelto::audio {

bool AudioBuilt() { return false; }

std::unique_ptr<AudioSystem> MakeAudioSystem(std::string* error, const std::string& /*api*/) {
  if (error) *error = "this build of Zelto has no audio support (it was built without RtAudio)";
  return nullptr;
}

}  // namespace zelto::audio
