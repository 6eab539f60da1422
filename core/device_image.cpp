#include "core/device_image.h"

#include <algorithm>

#include "core/bytes.h"

namespace zelto {
namespace {

constexpr std::array<std::uint16_t, out::kBands> kDefaultOutputBandHz = {
    20,  26,   33,   41,   51,   62,   81,   101,  124,  161,  201,  251,   316,   401,   501,  631,
    801, 1001, 1251, 1601, 2001, 2501, 3151, 4001, 5001, 6299, 8001, 10001, 12501, 16001, 20000};

constexpr std::uint16_t kInitialBandHz = 1000;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::uint8_t kInitialMasterVolume = 60;
constexpr std::uint8_t kInitialSourceVolume = 50;
constexpr std::int16_t kInitialGroupLevel = 200;
constexpr std::int32_t kDeviceInfoItemCode = static_cast<std::int32_t>(SystemItem::DeviceInfo);
constexpr std::array<std::uint8_t, 12> kInitialChannelTypes = {1, 7, 5, 11, 15, 18, 24, 0, 0, 0, 0, 0};

void WriteBandRecord(std::span<std::uint8_t> b, std::uint16_t hz, std::uint16_t gainCode, std::int16_t bw) {
  PutU16(b, band::kFrequency, hz);
  PutU16(b, band::kGainCode, gainCode);
  PutS16(b, band::kBandwidth, bw);
  b[band::kSlope] = 0;
  b[band::kType] = 0;
}

// Writes `count` start-up band records (1000 Hz, flat, bandwidth 0) at the start of `block`.
void WriteInitialBands(std::span<std::uint8_t> block, int count) {
  for (int i = 0; i < count; ++i)
    WriteBandRecord(block.subspan(static_cast<std::size_t>(i) * band::kSize, band::kSize), kInitialBandHz,
                    band::kFlatGainCode, 0);
}

void Zero(std::span<std::uint8_t> b, std::size_t first, std::size_t last) {
  std::fill(b.begin() + static_cast<std::ptrdiff_t>(first), b.begin() + static_cast<std::ptrdiff_t>(last) + 1, 0);
}

std::array<std::uint8_t, out::kSendSize> MakeOutputDefaults() {
  std::array<std::uint8_t, out::kSendSize> d{};
  for (int i = 0; i < out::kBands; ++i)
    WriteBandRecord(std::span(d).subspan(static_cast<std::size_t>(i) * band::kSize, band::kSize),
                    kDefaultOutputBandHz[static_cast<std::size_t>(i)], band::kFlatGainCode, 15);
  constexpr std::array<std::uint8_t, 48> kTail = {
      0x01, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x00,  // sound on, phase normal, 0 dB, delay 0, PEQ, level 0
      0x14, 0x00, 0x02, 0x02, 0x20, 0x4E, 0x02, 0x02,  // HP 20 Hz, LP 20000 Hz, Butterworth 24 dB
      0x64, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // mix: source 0 at 100 %
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      // Limiter (360, 106, 5) and a blank name, two bytes before the fields the channel objects
      // use; the processor receives them as stored until a channel object packs them.
      0x68, 0x01, 0x6A, 0x05, 0x00, 0x00, 0x00, 0x00, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x00};
  std::copy(kTail.begin(), kTail.end(), d.begin() + out::kSwitch);
  return d;
}

const std::array<std::uint8_t, out::kSendSize> kOutputDefaults = MakeOutputDefaults();

}  // namespace

std::span<const std::uint8_t, out::kSendSize> OutputDefaults() { return kOutputDefaults; }

std::span<std::uint8_t> DeviceImage::Preset(int slot) {
  if (slot == 0) return live;
  if (slot >= kFirstPresetSlot && slot <= kLastPresetSlot) return presetSlots[static_cast<std::size_t>(slot - 1)];
  return {};
}

std::span<const std::uint8_t> DeviceImage::Preset(int slot) const {
  return const_cast<DeviceImage*>(this)->Preset(slot);
}

std::span<std::uint8_t> DeviceImage::Source(int slot) {
  if (slot >= kFirstSourceSlot && slot <= kLastSourceSlot)
    return sourceSlots[static_cast<std::size_t>(slot - kFirstSourceSlot)];
  return {};
}

std::span<std::uint8_t> DeviceImage::Block(int slot, BlockType type, int channel) {
  auto p = Preset(slot);
  if (p.empty()) return {};
  switch (type) {
    case BlockType::MicIn: return p.subspan(preset::kMicIn, in::kSize);
    case BlockType::MusicIn:
      // Only one music input exists; it is addressed as channel 2.
      if (channel - kMusicChannelBase != 0) return {};
      return p.subspan(preset::kMusicIn, in::kSize);
    case BlockType::Output:
      if (channel < 0 || channel >= kOutputChannels) return {};
      return p.subspan(preset::kOutput + static_cast<std::size_t>(channel) * out::kSize, out::kSize);
    case BlockType::Effect: return p.subspan(preset::kEffect, fx::kSize);
    case BlockType::System: break;
  }
  return {};
}

std::span<const std::uint8_t> DeviceImage::Block(int slot, BlockType type, int channel) const {
  return const_cast<DeviceImage*>(this)->Block(slot, type, channel);
}

std::span<std::uint8_t> DeviceImage::SystemItemArea(SystemItem item) {
  switch (item) {
    case SystemItem::SourceVolumes: return sourceVolumes;
    case SystemItem::CurrentPreset: return currentPreset;
    case SystemItem::DeviceInfo: return deviceInfoText;
    case SystemItem::Settings: return SystemSettings();
    case SystemItem::ChannelTypes: return ChannelTypes();
    case SystemItem::GroupLevels: return GroupLevels();
    case SystemItem::PresetName: return std::span(live).subspan(preset::kName, preset::kNameSize);
    case SystemItem::Status:
    case SystemItem::FactoryReset: break;
  }
  return {};
}

bool DeviceImage::SameLinkGroup(int a, int b) const {
  if (a < 0 || b < 0 || a >= kOutputChannels || b >= kOutputChannels) return false;
  return linkGroups[static_cast<std::size_t>(a)] == linkGroups[static_cast<std::size_t>(b)];
}

bool DeviceImage::IsChannelLinked(int channel) const {
  for (int other = 0; other < kOutputChannels; ++other)
    if (other != channel && SameLinkGroup(channel, other)) return true;
  return false;
}

int DeviceImage::MasterVolume() const { return GetS16(systemArea, sys::kMasterVolume); }

void InitDeviceImage(DeviceImage& img) {
  // 1. Input blocks of the live image.
  auto music = img.Block(0, BlockType::MusicIn, kMusicChannelBase);
  music[in::kLevelSteps] = 0;
  music[in::kExtraSwitch] = 0;
  Zero(music, 89, 95);
  Zero(music, 100, 103);
  WriteInitialBands(music, in::kBands);
  auto mic = img.Block(0, BlockType::MicIn, 0);
  Zero(mic, 89, 95);
  Zero(mic, 100, 103);
  WriteInitialBands(mic, in::kBands);

  // 2. Live output blocks, then the defaults table over their sendable bytes.
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    auto o = img.Block(0, BlockType::Output, ch);
    o[out::kEqMode] = 0;
    Zero(o, 264, 275);
    Zero(o, 286, 289);
    WriteInitialBands(o, 9);
    std::copy(kOutputDefaults.begin(), kOutputDefaults.end(), o.begin());
  }

  // 3. Effect record.
  auto e = img.Block(0, BlockType::Effect, 0);
  for (std::size_t b : {130, 132, 133, 135, 140, 141, 142}) e[b] = 0;
  WriteInitialBands(e, 8);

  // 4. Names of the stored slots (and of the live image, which starts out the same).
  for (int slot = 0; slot <= kLastPresetSlot; ++slot) {
    auto p = img.Preset(slot);
    std::fill(p.begin(), p.begin() + 15, kSpace);
    p[15] = 0;
    std::fill(p.begin() + preset::kText, p.begin() + preset::kText + 16, kSpace);
  }
  for (auto& s : img.sourceSlots) s[15] = 0;

  // 5. Delay memory.
  img.delayMemory.fill(0);

  // 6. System items and editor state.
  auto st = img.SystemSettings();
  st[sys::kSource] = 0;
  st[1] = 0;
  PutS16(st, sys::kMasterVolume, kInitialMasterVolume);
  st[sys::kNoiseGate] = 0;
  st[sys::kMasterSwitch] = 1;
  st[6] = 0;
  std::copy(kInitialChannelTypes.begin(), kInitialChannelTypes.end(), img.ChannelTypes().begin());
  img.sourceVolumes.fill(0);
  std::fill(img.sourceVolumes.begin(), img.sourceVolumes.begin() + 5, kInitialSourceVolume);
  auto gl = img.GroupLevels();
  for (std::size_t i = 0; i < 3; ++i) PutS16(gl, i * 2, kInitialGroupLevel);
  gl[6] = gl[7] = 0;
  img.mixPageFlags.fill(0);
  img.currentPreset.fill(0);
  img.editorBytes.fill(0);

  // 7. No channel is linked at start-up: every channel is its own group.
  for (int i = 0; i < kLinkGroupEntries; ++i) img.linkGroups[static_cast<std::size_t>(i)] = i;

  // 8. Editor variables and the identity item code.
  img.editorVariables.fill(0);
  img.deviceInfoItem = kDeviceInfoItemCode;
}

}  // namespace zelto
