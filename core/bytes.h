#pragma once
// Little-endian field access for the image blocks, frames and files. All callers pass spans
// sized to their block, so an offset past the end is a programming error caught by the assert.

#include <bit>
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

inline void PutF64(std::span<std::uint8_t> b, std::size_t off, double v) {
  assert(off + 8 <= b.size());
  const auto u = std::bit_cast<std::uint64_t>(v);
  for (std::size_t i = 0; i < 8; ++i) b[off + i] = static_cast<std::uint8_t>(u >> (8 * i));
}
inline double GetF64(std::span<const std::uint8_t> b, std::size_t off) {
  assert(off + 8 <= b.size());
  std::uint64_t u = 0;
  for (std::size_t i = 0; i < 8; ++i) u |= static_cast<std::uint64_t>(b[off + i]) << (8 * i);
  return std::bit_cast<double>(u);
}

/// Stores `value` as one byte; true when the byte changed.
inline bool StoreByte(std::uint8_t& byte, int value) {
  const auto v = static_cast<std::uint8_t>(value);
  if (byte == v) return false;
  byte = v;
  return true;
}

}  // namespace zelto
