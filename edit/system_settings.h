#pragma once
// The top bar's lists (sources, noise gate), the master volume and the source volumes, and how
// each lands in the system settings of the device image.

#include <cstddef>
#include <string_view>

#include "core/device_image.h"
#include "core/encodings.h"

namespace zelto {

namespace rules {

// Input sources.
inline constexpr int kSourceCount = 6;
inline constexpr int kMaxSource = kSourceCount - 1;
inline constexpr int kSourceVolumeSlots = 5;
std::string_view SourceName(int index, Language lang);
/// Source volume slot of a source: the two digital inputs (3, 4) share slot 3, the player is 4.
int SourceVolumeSlot(int source);
/// Where the editor keeps its own copy of the chosen source (the first editor byte).
inline constexpr std::size_t kEditorSourceCopy = 0;

// Noise gate.
inline constexpr int kNoiseGateCount = 9;
std::string_view NoiseGateName(int index, Language lang);

// Master volume, 0..60 shown as value - 60 dB.
inline constexpr int kMasterVolumeMax = 60;
inline constexpr int kMasterVolumeOffsetDb = 60;

// How top-bar edits land in the image. Each returns whether the stored value changed.
/// Master volume: SystemSettings bytes 2..3 and the volume slot of the current source.
bool StoreMasterVolume(DeviceImage& image, int volume);
/// Input source (clamped to 0..5): SystemSettings byte 0 and the editor's copy.
bool StoreInputSource(DeviceImage& image, int source);
bool StoreNoiseGate(DeviceImage& image, int index);
bool StoreMasterSwitch(DeviceImage& image, bool soundOn);
bool StoreDspSwitch(DeviceImage& image, bool on);
/// The source a device reports or a file holds, limited to the last source.
int ShownSource(const DeviceImage& image);

inline constexpr int kSourceVolumeMax = 100;
/// Stores a source volume slot (0..4, value limited to 0..100); true when it changed.
bool StoreSourceVolume(DeviceImage& image, int slot, int volume);
/// The column the Enter key moves to from `column` (0 -> 1 -> 2 -> 3 -> 4 -> 0).
int NextSourceVolumeColumn(int column);

}  // namespace rules
}  // namespace zelto
