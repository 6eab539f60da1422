#pragma once
// The program's copy of the processor's parameter memory, held in exactly the byte layout in
// which blocks travel in frames and in which the PC files store them. Parameter objects pack
// into it and unpack from it; the receiver stores replies into it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/protocol.h"

namespace zelto {

inline constexpr int kOutputChannels = 8;
inline constexpr int kLinkGroupEntries = 12;  // eight used, one per output channel
inline constexpr int kFirstPresetSlot = 1;
inline constexpr int kLastPresetSlot = 20;
inline constexpr int kFirstSourceSlot = 21;
inline constexpr int kLastSourceSlot = 40;
inline constexpr int kMusicChannelBase = 2;  // BLOCK_MUSIC_IN addresses block channel - 2

// PresetImage: the live settings and every stored preset slot.
namespace preset {
inline constexpr std::size_t kSize = 2792;
inline constexpr std::size_t kName = 0;  // 16 bytes, 15 characters and a zero
inline constexpr std::size_t kNameSize = 16;
inline constexpr std::size_t kText = 16;                    // 16 bytes
inline constexpr std::size_t kEffect = 32;                  // EffectRecord, 152 bytes
inline constexpr std::size_t kMicIn = 184;                  // InputBlock, 112 bytes
inline constexpr std::size_t kMusicIn = 296;                // InputBlock, 112 bytes
inline constexpr std::size_t kOutput = 408;                 // 8 x OutputBlock of 298 bytes
inline constexpr std::size_t kMusicSwitch = kMusicIn + 75;  // byte 371: music input switch
}  // namespace preset

// EqBandRecord, 8 bytes.
namespace band {
inline constexpr std::size_t kSize = 8;
inline constexpr std::size_t kFrequency = 0;  // u16 Hz
inline constexpr std::size_t kGainCode = 2;   // u16, 600 = 0 dB
inline constexpr std::size_t kBandwidth = 4;  // s16 Q table index
inline constexpr std::size_t kSlope = 6;      // u8
inline constexpr std::size_t kType = 7;       // u8: 0 peaking, 1 low shelf, 2 high shelf, 3 HP, 4 LP
inline constexpr std::uint16_t kFlatGainCode = 600;
}  // namespace band

// Crossover record, 8 bytes.
namespace xover {
inline constexpr std::size_t kSize = 8;
inline constexpr std::size_t kHpFrequency = 0;  // u16
inline constexpr std::size_t kHpFamily = 2;
inline constexpr std::size_t kHpSlope = 3;
inline constexpr std::size_t kLpFrequency = 4;  // u16
inline constexpr std::size_t kLpFamily = 6;
inline constexpr std::size_t kLpSlope = 7;
}  // namespace xover

// OutputBlock, 298 bytes (296 travel as a block).
namespace out {
inline constexpr std::size_t kSize = 298;
inline constexpr std::size_t kSendSize = 296;
inline constexpr int kBands = 31;
inline constexpr std::size_t kBands0 = 0;
inline constexpr std::size_t kSwitch = 248;  // item 31
inline constexpr std::size_t kPhase = 249;
inline constexpr std::size_t kGain = 250;   // u16
inline constexpr std::size_t kDelay = 252;  // s16
inline constexpr std::size_t kEqMode = 254;
inline constexpr std::size_t kLevel = 255;
inline constexpr std::size_t kCrossover = 256;  // item 32
inline constexpr std::size_t kMix = 264;        // items 33, 34: 12 bytes
inline constexpr std::size_t kMixSize = 12;
inline constexpr std::size_t kLimThreshold = 282;  // item 35, s16
inline constexpr std::size_t kLimAttack = 284;
inline constexpr std::size_t kLimRelease = 285;
inline constexpr std::size_t kName = 290;  // item 36, 8 characters
inline constexpr int kItemSwitch = 31;
inline constexpr int kItemCrossover = 32;
inline constexpr int kItemMixA = 33;
inline constexpr int kItemMixB = 34;
inline constexpr int kItemLimiter = 35;
inline constexpr int kItemName = 36;
}  // namespace out

// InputBlock, 112 bytes (microphone and music share the layout).
namespace in {
inline constexpr std::size_t kSize = 112;
inline constexpr int kBands = 9;
inline constexpr std::size_t kLevelSteps = 72;  // microphone only
inline constexpr std::size_t kPhase = 73;
inline constexpr std::size_t kExtraSwitch = 74;  // microphone only
inline constexpr std::size_t kSwitch = 75;
inline constexpr std::size_t kDelay = 76;      // s16
inline constexpr std::size_t kGain = 78;       // s16
inline constexpr std::size_t kCrossover = 80;  // item 10
inline constexpr std::size_t kLevel = 88;      // item 11
inline constexpr std::size_t kSetting96 = 96;  // item 12: s16, then bytes 98, 99
inline constexpr std::size_t kName = 104;      // item 13
}  // namespace in

// EffectRecord, 152 bytes (96 travel as BLOCK_EFFECT).
namespace fx {
inline constexpr std::size_t kSize = 152;
inline constexpr std::size_t kSendSize = 96;
inline constexpr int kBands = 3;
inline constexpr std::size_t kCrossover = 120;
inline constexpr std::size_t kParams = 128;  // 16 bytes
inline constexpr std::size_t kName = 144;
}  // namespace fx

// SourceRecord, 168 bytes (stored source slots 21..40).
namespace source {
inline constexpr std::size_t kSize = 168;
inline constexpr std::size_t kEffect = 16;  // the 96 bytes of a BLOCK_EFFECT
}  // namespace source

inline constexpr std::size_t kDelayMemorySize = 50;
inline constexpr std::size_t kDelaySelector = 48;

// SystemSettings bytes.
namespace sys {
inline constexpr std::size_t kSource = 0;
inline constexpr std::size_t kMasterVolume = 2;  // s16, 0..60
inline constexpr std::size_t kNoiseGate = 4;
inline constexpr std::size_t kMasterSwitch = 5;  // 1 = sound on
inline constexpr std::size_t kDspSwitch = 7;
inline constexpr std::size_t kSystemAreaSize = 32;  // settings, channel types, spare, group levels
}  // namespace sys

using PresetImage = std::array<std::uint8_t, preset::kSize>;
using SourceRecord = std::array<std::uint8_t, source::kSize>;

struct LinkPair {
  std::int32_t active = 0;
  std::uint8_t first = 0;
  std::uint8_t second = 0;
};

/// One instance per running program (and per test); nothing here is global.
struct DeviceImage {
  // The 32-byte system area is contiguous because the all-slots file stores it as one run.
  std::array<std::uint8_t, sys::kSystemAreaSize> systemArea{};
  // SourceVolumes keeps its own eight bytes. (Letting its byte 7 share storage with the first
  // identity character made a source-volume reply overwrite the model name.)
  std::array<std::uint8_t, 8> sourceVolumes{};
  std::array<std::uint8_t, 17> deviceInfoText{};
  std::array<std::uint8_t, kDelayMemorySize> delayMemory{};
  std::array<std::uint8_t, 3> mixPageFlags{};
  std::array<std::uint8_t, 5> currentPreset{};
  std::array<std::uint8_t, 8> editorBytes{};
  PresetImage live{};
  std::array<LinkPair, 10> linkPairs{};
  std::array<std::int32_t, kLinkGroupEntries> linkGroups{};
  std::array<std::int32_t, 12> editorVariables{};
  std::int32_t deviceInfoItem = 0;
  std::array<SourceRecord, kLastSourceSlot - kFirstSourceSlot + 1> sourceSlots{};
  std::array<PresetImage, kLastPresetSlot> presetSlots{};

  // Views of the system area.
  std::span<std::uint8_t, 8> SystemSettings() { return std::span(systemArea).subspan<0, 8>(); }
  std::span<std::uint8_t, 12> ChannelTypes() { return std::span(systemArea).subspan<8, 12>(); }
  std::span<std::uint8_t, 4> SystemSpare() { return std::span(systemArea).subspan<20, 4>(); }
  std::span<std::uint8_t, 8> GroupLevels() { return std::span(systemArea).subspan<24, 8>(); }
  std::span<const std::uint8_t, 8> SystemSettings() const { return std::span(systemArea).subspan<0, 8>(); }
  std::span<const std::uint8_t, 12> ChannelTypes() const { return std::span(systemArea).subspan<8, 12>(); }
  std::span<const std::uint8_t, 8> GroupLevels() const { return std::span(systemArea).subspan<24, 8>(); }

  /// The PresetImage of `slot`: 0 = live, 1..20 = stored preset slot. Empty span otherwise.
  std::span<std::uint8_t> Preset(int slot);
  std::span<const std::uint8_t> Preset(int slot) const;
  /// The stored source record of slot 21..40. Empty span otherwise.
  std::span<std::uint8_t> Source(int slot);

  /// Whole image block of a preset slot: OutputBlock (298), InputBlock (112) or EffectRecord
  /// (152). Music input is addressed with channel 2. Empty span for anything else.
  std::span<std::uint8_t> Block(int slot, BlockType type, int channel);
  std::span<const std::uint8_t> Block(int slot, BlockType type, int channel) const;

  /// The bytes a system item reads or replaces, sized to the item's area. Empty for
  /// items that have no storage (status, factory reset).
  std::span<std::uint8_t> SystemItemArea(SystemItem item);

  /// A channel is linked when another output channel has the same link-group number.
  bool IsChannelLinked(int channel) const;
  bool SameLinkGroup(int a, int b) const;

  int MasterVolume() const;
  std::uint8_t InputSource() const { return systemArea[sys::kSource]; }
  std::uint8_t MasterSwitch() const { return systemArea[sys::kMasterSwitch]; }
};

/// Writes every initial value of the image, in the processor tool's start-up order.
void InitDeviceImage(DeviceImage& image);

/// The 296 bytes every live output block starts with.
std::span<const std::uint8_t, out::kSendSize> OutputDefaults();

}  // namespace zelto
