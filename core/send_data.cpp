#include "core/send_data.h"

#include <algorithm>

namespace zelto {

void CSendData::SetBuffer(std::unique_ptr<std::uint8_t[]> buffer, std::int32_t length) {
  buffer_ = std::move(buffer);
  length_ = buffer_ ? std::max<std::int32_t>(length, 0) : 0;
  sendPosition = 0;
}

std::span<const std::uint8_t> CSendData::Buffer() const {
  if (!buffer_) return {};
  return {buffer_.get(), static_cast<std::size_t>(length_)};
}

bool CSendData::MakeHidReport(std::span<std::uint8_t, kHidReportSize> report) {
  sendPosition = std::max<std::int32_t>(sendPosition, 0);
  if (sendPosition >= length_) return false;
  std::ranges::fill(report, 0);
  // Report byte 0 is the report ID (always 0); the frame piece follows it.
  const auto n = std::min<std::int32_t>(length_ - sendPosition, static_cast<std::int32_t>(kHidDataSize));
  std::copy_n(buffer_.get() + sendPosition, n, report.begin() + 1);
  sendPosition += n;
  return true;
}

}  // namespace zelto
