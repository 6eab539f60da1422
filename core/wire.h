#pragma once
// Facts of the processor's protocol that both ends need: the tool that talks to a processor and
// the simulated processor that answers it. Each is written here once.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/protocol.h"

namespace zelto {

/// The identity this tool is made for; only its first 15 characters are compared.
inline constexpr const char* kModelIdentity = "KVN-734-31EQ-V3.0";
inline constexpr std::size_t kIdentityCompared = 15;

namespace wire {

/// The status reply: master volume, master sound switch and input source in its first bytes.
inline constexpr std::size_t kStatusSize = 8;
inline constexpr std::size_t kStatusVolume = 0;
inline constexpr std::size_t kStatusSwitch = 1;
inline constexpr std::size_t kStatusSource = 2;
/// Bytes a status reply must hold at least to be read.
inline constexpr std::size_t kStatusFields = 3;

/// The number of bytes a whole parameter block occupies in a whole-block write or read; 0 for the
/// system items, which have no whole block.
std::size_t BlockWireSize(BlockType type);

/// Copies as much of `from` as fits into `to`; returns the bytes copied. A reply longer than its
/// place never writes past it, a shorter one leaves the rest as it was.
std::size_t CopyBounded(std::span<const std::uint8_t> from, std::span<std::uint8_t> to);

}  // namespace wire
}  // namespace zelto
