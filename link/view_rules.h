#pragma once
// The decisions of the main window that need no window: which speaker position a channel type
// lights on the car picture, which channel a position edits, which delay box belongs to which
// position, the fixed lists of the top bar, and how a top-bar edit lands in the device image and
// reaches the processor. The window only asks and shows.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/device_image.h"
#include "core/encodings.h"
#include "core/protocol.h"
#include "core/settings.h"

namespace zelto {

class Engine;

namespace view_rules {

/// One speaker position of the car picture: its button, its code, its delay box and the channel
/// types it stands for.
struct PositionSpot {
  int buttonId;
  int code;
  int delayBoxId;
  std::array<std::uint8_t, 3> types;
  int typeCount;

  bool Has(int type) const;
};

inline constexpr int kPositionCount = 16;
/// The spin of a delay box is the box id + 30, except for box 2597 whose spin is 2627.
inline constexpr int kDelaySpinOffset = 30;
inline constexpr int kLastDelayBox = 2597;
inline constexpr int kLastDelaySpin = 2627;

/// The sixteen positions in the order the picture lists them.
const std::array<PositionSpot, kPositionCount>& PositionSpots();
/// The position with this code, or null.
const PositionSpot* SpotOfCode(int code);
/// The position with this button id, or null.
const PositionSpot* SpotOfButton(int buttonId);
/// The position a channel type is shown on, or null (type 0 and unknown types have none).
const PositionSpot* SpotOfType(int type);
int DelaySpinOfBox(int boxId);

/// The channel a position edits: for codes 1, 3, 7, 9, 14 and 17 the first channel whose type is
/// in the position's group; for every other code the last channel whose type equals the code.
/// `types` are the channel types of the output channels (the first eight bytes of the table).
std::optional<int> ChannelForPosition(std::span<const std::uint8_t> types, int code);
/// A position (and its delay box) is shown while some channel has a type it stands for.
bool PositionShown(std::span<const std::uint8_t> types, int code);
/// Name of a position for tool tips: the channel-type name of its code.
std::string_view PositionName(int code, Language lang);

// Channel strips and curve buttons.
inline constexpr int kStripCount = 7;        // channels 0..6 have a strip, channel 7 none
inline constexpr int kCurveButtonCount = 7;  // "CH1".."CH6", "CH7/8"
/// The one strip whose select button re-selects its channel even when it is already current.
inline constexpr int kAlwaysReselectChannel = 1;
/// Whether pressing the select button of `pressed` runs a selection while `current` is current.
bool SelectButtonActs(int current, int pressed);
/// Whether curve button `button` may flip its channel's flag (never for the current channel).
bool CurveButtonActs(int current, int button);
/// The partner of `channel` in an active link pair, if it is in one.
std::optional<int> PairPartner(const DeviceImage& image, int channel);

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

// The last firmware update file, kept between runs.
inline constexpr const char* kUpdateFileKey = "Software\\QRT-271-ULT.exe\\USB";
inline constexpr const char* kUpdateFileName = "Name";
inline constexpr const char* kUpdateFilePath = "Path";
// The stored texts are read into buffers of these sizes (one byte for the terminating zero).
inline constexpr std::size_t kUpdateNameBuffer = 300;
inline constexpr std::size_t kUpdatePathBuffer = 260;
struct UpdateFile {
  std::string name;
  std::string path;
  bool operator==(const UpdateFile&) const = default;
};
/// At start-up: when the key does not exist yet it is created with `current`, which is returned;
/// otherwise the stored values are read (a missing value reads as empty) and cut to their buffers.
UpdateFile LoadOrCreateUpdateFile(Settings& settings, const UpdateFile& current);

/// Queues BuildSystemWrite(item, slot 0) under the transfer lock when a processor is connected;
/// returns whether it was queued (nothing is sent later by itself when not connected).
bool QueueSystemWrite(Engine& engine, SystemItem item);

}  // namespace view_rules
}  // namespace zelto
