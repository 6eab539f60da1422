#pragma once
// Reading frames back out of raw 313-byte HID reports, for tests that talk to a backend directly.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/bytes.h"
#include "core/protocol.h"

namespace zelto::testing {

using Bytes = std::vector<std::uint8_t>;
using Report = std::array<std::uint8_t, kHidReportSize>;

constexpr std::uint8_t Code(Command c) { return static_cast<std::uint8_t>(c); }

/// The frame at the start of a report's data bytes; empty when none starts there.
inline Bytes FrameIn(const Report& report) {
  const auto data = std::span(report).subspan(1);
  if (data[0] != kSyncByte || data[3] != kSyncEndByte) return {};
  const std::size_t length = GetU16(data, frame::kPayloadLength) + frame::kOverhead;
  return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(length, data.size())));
}

}  // namespace zelto::testing
