// Setting a channel's whole band set at once: the REW import and the automatic EQ of both front
// ends come through here.

#include "edit/editor.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto {

Editor::BandSetResult Editor::SetBands(int channel, std::span<const BandValues> bands, StepLabel label) {
  BandSetResult result;
  if (channel < 0 || channel >= kOutputChannels) {
    result.status = BandSetResult::Status::NoSuchChannel;
    return result;
  }
  if (BandsFixed(channel)) {
    result.status = BandSetResult::Status::GraphicMode;
    return result;
  }
  const std::vector<int> group = Group(channel);
  StepScope step(*this, label.what == StepLabel::What::None ? StepLabel{StepLabel::What::Edits, channel} : label);
  const bool changed = engine_.Data().Edit([&](CKTV_Data& d) {
    bool any = false;
    for (int ch : group) {
      CKTVEQ& eq = d.Output(ch).Eq();
      for (int k = 0; k < eq.BandCount() && k < static_cast<int>(bands.size()); ++k) {
        const BandValues& b = bands[static_cast<std::size_t>(k)];
        CFilter& f = eq.Filter(k);
        if (f.frequency() != b.hz) {
          f.SetFrequency(b.hz, true);
          any = true;
        }
        if (f.bandwidthIndex() != b.bandwidthIndex) {
          f.SetBandwidthIndex(b.bandwidthIndex);
          any = true;
        }
        // An off band shows 0 dB, so 0 dB asked of it is no edit.
        const int now = f.IsFlat() ? kBandGainFlatCode : f.gainCode();
        if (now != b.gainCode) {
          f.SetGainCode(b.gainCode);
          any = true;
        }
      }
    }
    return any;
  });
  result.status = changed ? BandSetResult::Status::Set : BandSetResult::Status::Unchanged;
  result.channels = group;
  return result;
}

bool Editor::BandsFixed(int channel) {
  if (channel < 0 || channel >= kOutputChannels) return false;
  const std::vector<int> group = Group(channel);
  // Graphic EQ mode fixes frequencies and widths; a group shares its bands, so one such channel
  // fixes them all.
  return engine_.Data().Edit([&](CKTV_Data& d) {
    for (int ch : group)
      if (d.Output(ch).EqMode() != 0) return true;
    return false;
  });
}

}  // namespace zelto
