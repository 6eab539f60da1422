#pragma once
// The 16-byte name field at the start of every preset image: at most 15 characters and a zero.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/device_image.h"

namespace zelto {

/// Characters a preset name keeps; byte 15 of the field is always zero.
inline constexpr std::size_t kPresetNameChars = preset::kNameSize - 1;

using PresetNameField = std::array<std::uint8_t, preset::kNameSize>;

/// The field for `text`: its first 15 bytes (never half a UTF-8 character), zero-filled.
PresetNameField NameToField(std::string_view text);
/// Writes NameToField(text) into the first 16 bytes of `field` (which must hold at least 16).
void NameToField(std::string_view text, std::span<std::uint8_t> field);
/// Bytes 0..14 up to the first zero, spaces trimmed at both ends.
std::string NameFromField(std::span<const std::uint8_t> field);
/// True when `text` is empty once spaces are trimmed from both ends.
bool IsBlankName(std::string_view text);

}  // namespace zelto
