#include "edit/channel_rules.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

bool Editor::SetSoundOnTemporarily(int channel, bool soundOn) {
  if (channel < 0 || channel >= kOutputChannels || StepOpen()) return false;
  return engine_.Data().Edit([&](CKTV_Data& d) {
    CKTV_OutData& o = d.Output(channel);
    if (o.OutputSwitch() == soundOn) return false;
    o.SetOutputSwitch(soundOn);
    return true;
  });
}

bool Editor::SetMixShareTemporarily(int channel, int source, int percent) {
  if (StepOpen()) return false;
  return engine_.Data().Edit([&](CKTV_Data& d) { return rules::StoreMixShare(d, channel, source, percent); });
}

}  // namespace zelto
