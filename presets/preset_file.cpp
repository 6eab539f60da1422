#include "presets/preset_file.h"

#include <algorithm>

#include "core/file_io.h"

namespace zelto {

using namespace preset_file;

namespace {

void AppendIdentification(std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(kIdentification.size()));
  out.insert(out.end(), kIdentification.begin(), kIdentification.end());
}

bool IdentificationMatches(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kIdentificationSize) return false;
  if (bytes[kIdentificationLength] != kIdentification.size()) return false;
  return std::ranges::equal(bytes.subspan(1, kIdentification.size()), kIdentification,
                            [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); });
}

std::size_t FileSize(PresetFileKind kind) { return kind == PresetFileKind::Single ? kSingleSize : kAllSlotsSize; }

// Counts UTF-8 characters by their lead bytes.
std::size_t CutToChars(std::string_view text, std::size_t chars) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen == chars) return i;
    ++seen;
  }
  return text.size();
}

}  // namespace

std::optional<PresetFileKind> PresetFileKindOf(std::string_view path) {
  const auto dot = path.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view ext = path.substr(dot + 1);
  if (ext == kSingleExtension) return PresetFileKind::Single;
  if (ext == kAllSlotsExtension) return PresetFileKind::AllSlots;
  return std::nullopt;
}

std::string WithPresetExtension(std::string_view path, PresetFileKind kind) {
  const std::string suffix = "." + std::string(kind == PresetFileKind::Single ? kSingleExtension : kAllSlotsExtension);
  std::string out(path);
  if (!out.ends_with(suffix)) out += suffix;
  return out;
}

std::string PresetFileTitle(const std::string& path) {
  const std::string name = FileName(path);
  return name.substr(0, CutToChars(name, kTitleChars));
}

std::vector<std::uint8_t> SinglePresetFileBytes(const DeviceImage& image) {
  std::vector<std::uint8_t> out;
  out.reserve(kSingleSize);
  AppendIdentification(out);
  out.insert(out.end(), image.live.begin(), image.live.end());
  return out;
}

std::vector<std::uint8_t> AllSlotsFileBytes(DeviceImage& image) {
  std::vector<std::uint8_t> out;
  out.reserve(kAllSlotsSize);
  AppendIdentification(out);
  out.insert(out.end(), image.systemArea.begin(), image.systemArea.end());
  for (auto& slot : image.presetSlots) {
    slot[preset::kMusicSwitch] = kMusicInputOn;
    out.insert(out.end(), slot.begin(), slot.end());
  }
  out.insert(out.end(), image.live.begin(), image.live.end());
  out.insert(out.end(), image.delayMemory.begin(), image.delayMemory.end());
  return out;
}

bool IsPresetFile(std::span<const std::uint8_t> bytes, PresetFileKind kind) {
  return bytes.size() == FileSize(kind) && IdentificationMatches(bytes);
}

bool ReadSinglePresetFile(std::span<const std::uint8_t> bytes, DeviceImage& image) {
  if (!IsPresetFile(bytes, PresetFileKind::Single)) return false;
  std::ranges::copy(bytes.subspan(kSingleLive, preset::kSize), image.live.begin());
  return true;
}

bool ReadAllSlotsFile(std::span<const std::uint8_t> bytes, DeviceImage& image) {
  if (!IsPresetFile(bytes, PresetFileKind::AllSlots)) return false;
  std::ranges::copy(bytes.subspan(kAllSystemArea, sys::kSystemAreaSize), image.systemArea.begin());
  for (int i = 0; i < kStoredSlots; ++i) {
    const std::size_t at = kAllSlots + static_cast<std::size_t>(i) * preset::kSize;
    std::ranges::copy(bytes.subspan(at, preset::kSize), image.presetSlots[static_cast<std::size_t>(i)].begin());
  }
  std::ranges::copy(bytes.subspan(kAllLive, preset::kSize), image.live.begin());
  std::ranges::copy(bytes.subspan(kAllDelayMemory, kDelayMemorySize), image.delayMemory.begin());
  auto& selector = image.delayMemory[kDelaySelector];
  selector = std::min(selector, kLastDelayRecord);
  return true;
}

}  // namespace zelto
