#pragma once
// The decisions of the main window that need no window: which speaker position a channel type
// lights on the car picture, which channel a position edits, which delay box belongs to which
// position, the fixed lists of the top bar, and how a top-bar edit lands in the device image and
// reaches the processor. The window only asks and shows.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_image.h"
#include "core/encodings.h"
#include "core/protocol.h"
#include "core/settings.h"

namespace zelto {

class CKTV_Data;
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


// ---- Linking ---------------------------------------------------------------------------------

/// The channel types one link pair entry joins: left and right counterparts of one speaker.
struct PairTypes {
  std::uint8_t left;
  std::uint8_t right;
};
inline constexpr int kLinkPairEntries = 10;
const std::array<PairTypes, kLinkPairEntries>& LinkPairTypes();

/// Fills the pair table from the channel types of the eight output channels: an entry is active
/// when both of its types have a channel (a later channel of a type replaces an earlier one).
/// Returns the number of active entries.
int BuildLinkPairs(DeviceImage& image);
/// Every channel its own group again and every pair entry cleared (what switching linking off does).
void ClearLinks(DeviceImage& image);
/// The channels of `channel`'s link group, in channel order; `channel` itself is always one of them.
std::vector<int> LinkGroup(const DeviceImage& image, int channel);

/// Which side of a pair is the reference whose settings the other takes.
enum class CopyDirection { LeftToRight = 0, RightToLeft = 1 };
struct ChannelCopy {
  int source;
  int target;
  bool operator==(const ChannelCopy&) const = default;
};
/// Makes `channel` a member of group `group`; returns the copies that brings (every other member
/// of the group into `channel`), none when it was a member already.
std::vector<ChannelCopy> JoinLinkGroup(DeviceImage& image, int group, int channel);
/// Joins the two channels of every active pair, the reference side first; the copies in order.
std::vector<ChannelCopy> LinkActivePairs(DeviceImage& image, CopyDirection direction);

// ---- Crossover limits ------------------------------------------------------------------------

/// The main form's crossover boxes: a high-pass above the low-pass stops at it, and vice versa.
int LimitHighPass(int highPassHz, int lowPassHz);
int LimitLowPass(int highPassHz, int lowPassHz);
/// The output page also keeps channel 5's high-pass at 100 Hz or below.
inline constexpr int kLimitedHighPassChannel = 5;
inline constexpr int kLimitedHighPassHz = 100;
int LimitPageHighPass(int channel, int highPassHz, int lowPassHz);

// ---- Whole-block sends -----------------------------------------------------------------------

/// One message of a command that sends whole output blocks.
struct BlockSend {
  enum class Kind { Mute, Block, Restore };
  Kind kind;
  int channel;
  /// The message carries the transfer-finished flag: its reply closes the progress window.
  bool finishesTransfer = false;
  bool operator==(const BlockSend&) const = default;
};
/// EQ resets, mode switches and the EQ bypass: a muting item for every channel of `muted`, the
/// block of every channel of `sent`, then the item restoring every muted channel's switch. With
/// `flagLast` (the link button is on) the last block carries the transfer-finished flag.
std::vector<BlockSend> BracketedBlockSends(std::span<const int> muted, std::span<const int> sent, bool flagLast);
/// Channel copies: the block of every target in order, the last one flagged with `flagLast`.
std::vector<BlockSend> CopyBlockSends(std::span<const ChannelCopy> copies, bool flagLast);

/// Runs `edit` on the parameter objects and, when a processor is connected, queues `plan`: muting
/// items as the plan reaches them, then `edit`, then the blocks and the restoring items, each
/// packed from the objects when it is queued. Takes the TransferLock, then the model lock, so the
/// link worker sends nothing of its own in between. Without a connection only `edit` runs (a
/// connection reads the processor back over it later). Returns whether a queued message carries
/// the transfer-finished flag, so the caller shows the progress window.
bool RunBlockSends(Engine& engine, std::span<const BlockSend> plan, const std::function<void(CKTV_Data&)>& edit);

/// The 31 centres every EQ reset puts the bands back to, at 0 dB and 0.2 octave.
void ResetBands(CKTV_Data& data, int channel);
/// True when every band of the channel is switched off or bypassed (the channel's EQ bypass).
bool EqBypassOn(const CKTV_Data& data, int channel);

// ---- Mix page --------------------------------------------------------------------------------

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

// ---- Source volumes --------------------------------------------------------------------------

inline constexpr int kSourceVolumeMax = 100;
/// Stores a source volume slot (0..4, value limited to 0..100); true when it changed.
bool StoreSourceVolume(DeviceImage& image, int slot, int volume);
/// The column the Enter key moves to from `column` (0 -> 1 -> 2 -> 3 -> 4 -> 0).
int NextSourceVolumeColumn(int column);

}  // namespace view_rules
}  // namespace zelto
