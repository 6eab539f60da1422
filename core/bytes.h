#pragma once
// Little-endian field access for the image blocks, frames and files. All callers pass spans
// sized to their block, so an offset past the end is a programming error caught by the assert.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zelto {

inline std::uint16_t GetU16(std::span<const std::uint8_t> b, std::size_t off) {
  assert(off + 2 <= b.size());
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}
inline std::int16_t GetS16(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::int16_t>(GetU16(b, off));
}
inline std::int32_t GetS32(std::span<const std::uint8_t> b, std::size_t off) {
  assert(off + 4 <= b.size());
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
                                   (static_cast<std::uint32_t>(b[off + 2]) << 16) |
                                   (static_cast<std::uint32_t>(b[off + 3]) << 24));
}
inline void PutU16(std::span<std::uint8_t> b, std::size_t off, std::uint16_t v) {
  assert(off + 2 <= b.size());
  b[off] = static_cast<std::uint8_t>(v & 0xFF);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutS16(std::span<std::uint8_t> b, std::size_t off, std::int16_t v) {
  PutU16(b, off, static_cast<std::uint16_t>(v));
}
inline void PutS32(std::span<std::uint8_t> b, std::size_t off, std::int32_t v) {
  assert(off + 4 <= b.size());
  const auto u = static_cast<std::uint32_t>(v);
  for (std::size_t i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

}  // namespace zelto
