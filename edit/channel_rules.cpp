#include "edit/channel_rules.h"

#include <algorithm>

#include "core/bytes.h"
#include "model/ktv_data.h"

namespace zelto::rules {

int LimitHighPass(int highPassHz, int lowPassHz) { return std::min(highPassHz, lowPassHz); }

int LimitLowPass(int highPassHz, int lowPassHz) { return std::max(highPassHz, lowPassHz); }

int LimitPageHighPass(int channel, int highPassHz, int lowPassHz) {
  if (channel == kLimitedHighPassChannel && highPassHz > kLimitedHighPassHz)
    return std::min(kLimitedHighPassHz, lowPassHz);
  return LimitHighPass(highPassHz, lowPassHz);
}

void ResetBands(CKTV_Data& data, int channel) {
  CKTVEQ& eq = data.Output(channel).Eq();
  const auto centres = OutputBandCentres();
  const int bands = std::min<int>(eq.BandCount(), static_cast<int>(centres.size()));
  for (int k = 0; k < bands; ++k) eq.Filter(k).ResetBand(centres[static_cast<std::size_t>(k)]);
}

bool EqBypassOn(const CKTV_Data& data, int channel) {
  const CKTVEQ& eq = data.Output(channel).Eq();
  if (eq.BandCount() == 0) return false;
  for (int k = 0; k < eq.BandCount(); ++k)
    if (!eq.Filter(k).IsFlat()) return false;
  return true;
}

bool StoreMixShare(CKTV_Data& data, int channel, int source, int percent) {
  if (channel < 0 || channel >= kOutputChannels || source < 0 || source >= kMixColumns) return false;
  percent = std::clamp(percent, 0, kMixMax);
  CKTV_OutData& out = data.Output(channel);
  if (out.InputMix()[static_cast<std::size_t>(source)] == percent) return false;
  // The share's own setter marks the item that carries its byte (sources 0..7 ride in item 33,
  // 8..11 in item 34), so every column reaches the processor.
  out.SetInputShare(source, percent);
  return true;
}

bool StoreMixPageField(DeviceImage& image, int field, int value) {
  if (field < 0 || field >= kMixPageFieldCount) return false;
  return StoreByte(image.mixPageFlags[static_cast<std::size_t>(field) + 1], std::clamp(value, 0, kMixPageFieldMax));
}

}  // namespace zelto::rules
