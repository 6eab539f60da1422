// Built where no audio library was found (the Windows cross build): everything else of the engine
// works, and measuring says why it cannot.

#include "acoustics/audio/audio_device.h"

namespace zelto::audio {

bool AudioBuilt() { return false; }

std::unique_ptr<AudioSystem> MakeAudioSystem(std::string* error, const std::string& /*api*/, Language lang) {
  if (error)
    *error = lang == Language::Chinese ? "此版本的 Zelto 不支持音频（构建时没有 RtAudio）"
                                       : "this build of Zelto has no audio support (it was built without RtAudio)";
  return nullptr;
}

}  // namespace zelto::audio
