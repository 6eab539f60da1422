#include "presets/preset_name.h"

#include <algorithm>
#include <cassert>

#include "core/encodings.h"

namespace zelto {

namespace {

std::string_view TrimSpaces(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

}  // namespace

PresetNameField NameToField(std::string_view text) {
  PresetNameField field{};
  NameToField(text, field);
  return field;
}

void NameToField(std::string_view text, std::span<std::uint8_t> field) {
  assert(field.size() >= preset::kNameSize);
  if (field.size() < preset::kNameSize) return;
  auto name = field.first(preset::kNameSize);
  std::ranges::fill(name, std::uint8_t{0});
  // A zero inside the text would end the name on the device; what follows it is not kept.
  text = text.substr(0, text.find('\0'));
  const std::string_view kept = TruncateText(text, kPresetNameChars);
  std::ranges::copy(kept, name.begin());
}

std::string NameFromField(std::span<const std::uint8_t> field) {
  const auto chars = field.first(std::min(field.size(), kPresetNameChars));
  const auto end = std::ranges::find(chars, std::uint8_t{0});
  const std::string text(chars.begin(), end);
  return std::string(TrimSpaces(text));
}

bool IsBlankName(std::string_view text) { return TrimSpaces(text).empty(); }

}  // namespace zelto
