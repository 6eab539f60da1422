#include "core/wire.h"

#include <algorithm>

#include "core/device_image.h"

namespace zelto::wire {

std::size_t BlockWireSize(BlockType type) {
  switch (type) {
    case BlockType::MicIn:
    case BlockType::MusicIn: return in::kSize;
    case BlockType::Output: return out::kSendSize;
    case BlockType::Effect: return fx::kSendSize;
    case BlockType::System: break;
  }
  return 0;
}

std::size_t CopyBounded(std::span<const std::uint8_t> from, std::span<std::uint8_t> to) {
  const std::size_t n = std::min(from.size(), to.size());
  std::copy_n(from.begin(), n, to.begin());
  return n;
}

}  // namespace zelto::wire
