#pragma once
// The values of the packed live preset as the processor reads them: a 16-bit frequency is one
// value, a channel name another. The history and the unsent-edit marks work in these, so laying a
// value over an image never mixes the halves of two numbers.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/device_image.h"

namespace zelto {

enum class FieldKind : std::uint8_t { U8 = 0, U16 = 1, S16 = 2, Text = 3 };

/// One value of the packed preset: where it starts, how many bytes it takes and how they read.
struct Field {
  std::uint16_t offset = 0;
  std::uint8_t size = 1;
  FieldKind kind = FieldKind::U8;
  bool operator==(const Field&) const = default;
};

/// The longest field (the preset's name and text).
inline constexpr std::size_t kMaxFieldSize = 16;

/// The field that byte `offset` (0..preset::kSize-1) of a packed preset belongs to.
Field PresetFieldAt(std::size_t offset);
/// The field that byte `offset` (0..out::kSize-1) of an output block belongs to, relative to
/// the block.
Field OutputFieldAt(std::size_t offset);

/// The number a numeric field holds in `image`.
std::int32_t ReadNumber(std::span<const std::uint8_t> image, const Field& field);
void WriteNumber(std::span<std::uint8_t> image, const Field& field, std::int32_t value);

/// Calls `f(field)` for every field of the packed preset where `a` and `b` differ, in order.
template <class F>
void ForEachDifferingField(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, F&& f) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t at = 0; at < n;) {
    const Field field = PresetFieldAt(at);
    const std::size_t end = std::size_t{field.offset} + field.size;
    bool differs = false;
    for (std::size_t i = field.offset; i < end && i < n; ++i) differs = differs || a[i] != b[i];
    if (differs) f(field);
    at = end;
  }
}

}  // namespace zelto
