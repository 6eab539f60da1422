#pragma once
// Rules of one output channel's values that need no window: the crossover limits, the EQ reset and
// bypass, and the mix page.

#include "core/device_image.h"

namespace zelto {

class CKTV_Data;

namespace rules {

/// The main form's crossover boxes: a high-pass above the low-pass stops at it, and vice versa.
int LimitHighPass(int highPassHz, int lowPassHz);
int LimitLowPass(int highPassHz, int lowPassHz);
/// The output page also keeps channel 5's high-pass at 100 Hz or below.
inline constexpr int kLimitedHighPassChannel = 5;
inline constexpr int kLimitedHighPassHz = 100;
int LimitPageHighPass(int channel, int highPassHz, int lowPassHz);

/// The 31 centres every EQ reset puts the bands back to, at 0 dB and 0.2 octave.
void ResetBands(CKTV_Data& data, int channel);
/// True when every band of the channel is switched off or bypassed (the channel's EQ bypass).
bool EqBypassOn(const CKTV_Data& data, int channel);

// ---- Mix page ----

inline constexpr int kMixRows = 12;     // one per link-group entry; the first eight are channels
inline constexpr int kMixColumns = 12;  // input sources 0..11
inline constexpr int kMixMax = 100;
/// Stores one mix share; true when it changed (the change scan then sends the item holding it).
bool StoreMixShare(CKTV_Data& data, int channel, int source, int percent);
/// The mix page's top fields 2391 and 2392 live in bytes 1 and 2 of the mix page flags; true when
/// the stored byte changed. Nothing is sent: the processor keeps no such item.
bool StoreMixPageField(DeviceImage& image, int field, int value);
inline constexpr int kMixPageFieldCount = 2;
inline constexpr int kMixPageFieldMax = 255;  // each is one byte

}  // namespace rules
}  // namespace zelto
