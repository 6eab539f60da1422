#pragma once
// Reads a built message back into its header fields and payload, so tests check what goes on the
// wire rather than how it was made.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "core/protocol.h"
#include "core/send_data.h"

namespace zelto::test {

struct DecodedFrame {
  std::uint8_t command = 0;
  std::uint8_t block = 0;
  std::uint8_t channel = 0;  // or the system item code
  std::uint8_t item = 0;
  std::uint8_t link = 0;
  std::vector<std::uint8_t> payload;

  std::uint16_t U16(std::size_t off) const { return GetU16(payload, off); }
};

inline DecodedFrame Decode(const SendDataPtr& message) {
  DecodedFrame f;
  EXPECT_NE(message, nullptr);
  if (!message) return f;
  const auto b = message->Buffer();
  EXPECT_GE(b.size(), frame::kOverhead);
  if (b.size() < frame::kOverhead) return f;
  EXPECT_EQ(b[3], kSyncEndByte);
  EXPECT_EQ(b.back(), kEndByte);
  const std::size_t n = GetU16(b, frame::kPayloadLength);
  EXPECT_EQ(b.size(), n + frame::kOverhead);
  f.command = b[frame::kCommand];
  f.block = b[frame::kBlockType];
  f.channel = b[frame::kChannel];
  f.item = b[frame::kItemIndex];
  f.link = b[frame::kLinkFlag];
  f.payload.assign(b.begin() + frame::kHeaderSize, b.begin() + frame::kHeaderSize + static_cast<std::ptrdiff_t>(n));
  return f;
}

inline bool IsStatusPoll(const DecodedFrame& f) {
  return f.command == static_cast<std::uint8_t>(Command::Read) &&
         f.block == static_cast<std::uint8_t>(BlockType::System) &&
         f.channel == static_cast<std::uint8_t>(SystemItem::Status) && f.payload.size() == frame::kItemSize;
}

}  // namespace zelto::test
