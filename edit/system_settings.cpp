#include "edit/system_settings.h"

#include <algorithm>
#include <array>

#include "core/bytes.h"

namespace zelto::rules {

namespace {

constexpr std::array<std::string_view, kSourceCount> kSourcesZh = {"高电平", "低电平", "蓝牙",
                                                                   "光纤",   "同轴",   "播放器"};
constexpr std::array<std::string_view, kSourceCount> kSourcesEn = {"High level", "RCA",     "Bluetooth",
                                                                   "Optical",    "Coaxial", "Player"};
constexpr std::array<int, kSourceCount> kSourceSlots = {0, 1, 2, 3, 3, 4};

constexpr std::array<std::string_view, kNoiseGateCount> kGates = {"",      "-110dB", "-98dB", "-95dB", "-92dB",
                                                                  "-89dB", "-86dB",  "-83dB", "-80dB"};
constexpr std::string_view kGateOffZh = "关闭";
constexpr std::string_view kGateOffEn = "Close";

}  // namespace

std::string_view SourceName(int index, Language lang) {
  if (index < 0 || index >= kSourceCount) return {};
  const auto i = static_cast<std::size_t>(index);
  return lang == Language::Chinese ? kSourcesZh[i] : kSourcesEn[i];
}

int SourceVolumeSlot(int source) { return kSourceSlots[static_cast<std::size_t>(std::clamp(source, 0, kMaxSource))]; }

std::string_view NoiseGateName(int index, Language lang) {
  if (index < 0 || index >= kNoiseGateCount) return {};
  if (index == 0) return lang == Language::Chinese ? kGateOffZh : kGateOffEn;
  return kGates[static_cast<std::size_t>(index)];
}

bool StoreMasterVolume(DeviceImage& image, int volume) {
  volume = std::clamp(volume, 0, kMasterVolumeMax);
  const bool changed = image.MasterVolume() != volume;
  PutS16(image.systemArea, sys::kMasterVolume, static_cast<std::int16_t>(volume));
  // A plain byte copy into the current source's slot; the source volume range is wider (0..100).
  image.sourceVolumes[static_cast<std::size_t>(SourceVolumeSlot(ShownSource(image)))] =
      static_cast<std::uint8_t>(volume);
  return changed;
}

bool StoreInputSource(DeviceImage& image, int source) {
  source = std::clamp(source, 0, kMaxSource);
  image.editorBytes[kEditorSourceCopy] = static_cast<std::uint8_t>(source);
  return StoreByte(image.systemArea[sys::kSource], source);
}

bool StoreNoiseGate(DeviceImage& image, int index) {
  return StoreByte(image.systemArea[sys::kNoiseGate], std::clamp(index, 0, kNoiseGateCount - 1));
}

bool StoreMasterSwitch(DeviceImage& image, bool soundOn) {
  return StoreByte(image.systemArea[sys::kMasterSwitch], soundOn ? 1 : 0);
}

bool StoreDspSwitch(DeviceImage& image, bool on) { return StoreByte(image.systemArea[sys::kDspSwitch], on ? 1 : 0); }

int ShownSource(const DeviceImage& image) { return std::min<int>(image.InputSource(), kMaxSource); }

bool StoreSourceVolume(DeviceImage& image, int slot, int volume) {
  if (slot < 0 || slot >= kSourceVolumeSlots) return false;
  return StoreByte(image.sourceVolumes[static_cast<std::size_t>(slot)], std::clamp(volume, 0, kSourceVolumeMax));
}

int NextSourceVolumeColumn(int column) {
  return (std::clamp(column, 0, kSourceVolumeSlots - 1) + 1) % kSourceVolumeSlots;
}

}  // namespace zelto::rules
