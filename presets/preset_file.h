#pragma once
// The two PC data file formats: byte images of parts of the device image behind a length-prefixed
// identification string. These files travel between installations, so the layout is fixed.
//
// Single preset (".dsps", 2809 bytes): identification, live preset image.
// All slots (".dspa", 58731 bytes): identification, the 32-byte system area, stored preset slots
// 1..20, the live preset image, the 50-byte delay memory.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_image.h"

namespace zelto {

namespace preset_file {
inline constexpr std::string_view kIdentification = "KVN-615T-MAX-1.0";
// The archive's string form: one length byte, then the characters.
inline constexpr std::size_t kIdentificationLength = 0;
inline constexpr std::size_t kIdentificationSize = 1 + 16;
static_assert(kIdentification.size() == kIdentificationSize - 1);

inline constexpr std::size_t kSingleLive = kIdentificationSize;          // 17
inline constexpr std::size_t kSingleSize = kSingleLive + preset::kSize;  // 2809

inline constexpr std::size_t kAllSystemArea = kIdentificationSize;                 // 17
inline constexpr std::size_t kAllSlots = kAllSystemArea + sys::kSystemAreaSize;    // 49
inline constexpr int kStoredSlots = kLastPresetSlot - kFirstPresetSlot + 1;        // 20
inline constexpr std::size_t kAllLive = kAllSlots + kStoredSlots * preset::kSize;  // 55889
inline constexpr std::size_t kAllDelayMemory = kAllLive + preset::kSize;           // 58681
inline constexpr std::size_t kAllSlotsSize = kAllDelayMemory + kDelayMemorySize;   // 58731

inline constexpr std::string_view kSingleExtension = "dsps";
inline constexpr std::string_view kAllSlotsExtension = "dspa";

/// Highest selectable delay-memory record: a loaded selector above it is limited to it.
inline constexpr std::uint8_t kLastDelayRecord = 3;
/// Characters of a file's name shown in the main view's file-name field.
inline constexpr std::size_t kTitleChars = 13;
/// The music input switch is set in every preset image that is saved.
inline constexpr std::uint8_t kMusicInputOn = 1;
}  // namespace preset_file

enum class PresetFileKind { Single, AllSlots };

/// Single or all-slots by the text after the last dot of `path` (exact case); nothing for any
/// other extension.
std::optional<PresetFileKind> PresetFileKindOf(std::string_view path);
/// `path` with ".dsps" or ".dspa" appended unless it already ends with it.
std::string WithPresetExtension(std::string_view path, PresetFileKind kind);
/// The file's name without its folder, cut to its first 13 characters, as the main view shows it.
std::string PresetFileTitle(const std::string& path);

/// The single-preset file of the live image as it stands.
std::vector<std::uint8_t> SinglePresetFileBytes(const DeviceImage& image);
/// The all-slots file. Sets byte 371 (music input switch) of every stored slot, as saving always
/// has; the caller sets the live one after packing the objects.
std::vector<std::uint8_t> AllSlotsFileBytes(DeviceImage& image);

/// Whether `bytes` is a complete file of `kind`: exact length and identification string.
bool IsPresetFile(std::span<const std::uint8_t> bytes, PresetFileKind kind);
/// Copies a single-preset file into the live image. False (and the image untouched) unless the
/// whole file checks out.
bool ReadSinglePresetFile(std::span<const std::uint8_t> bytes, DeviceImage& image);
/// Copies an all-slots file into the system area, the stored slots, the live image and the delay
/// memory, with the delay selector limited to 3. False (and the image untouched) unless the
/// whole file checks out.
bool ReadAllSlotsFile(std::span<const std::uint8_t> bytes, DeviceImage& image);

}  // namespace zelto
