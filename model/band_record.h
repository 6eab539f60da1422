#pragma once
// The 8-byte band record every EQ band travels in (output, input and effect blocks alike).

#include <cstdint>
#include <span>

#include "core/bytes.h"
#include "core/device_image.h"

namespace zelto {

/// Record gain codes are the filter's gain code (0..400, 200 = 0 dB) shifted up by this much.
inline constexpr int kRecordGainOffset = 400;

struct EqBandRecord {
  std::uint16_t frequency = 0;
  std::uint16_t gainCode = band::kFlatGainCode;
  std::int16_t bandwidthIndex = 0;
  std::uint8_t slope = 0;
  std::uint8_t type = 0;

  static EqBandRecord Read(std::span<const std::uint8_t> b) {
    EqBandRecord r;
    r.frequency = GetU16(b, band::kFrequency);
    r.gainCode = GetU16(b, band::kGainCode);
    r.bandwidthIndex = GetS16(b, band::kBandwidth);
    r.slope = b[band::kSlope];
    r.type = b[band::kType];
    return r;
  }

  void Write(std::span<std::uint8_t> b) const {
    PutU16(b, band::kFrequency, frequency);
    PutU16(b, band::kGainCode, gainCode);
    PutS16(b, band::kBandwidth, bandwidthIndex);
    b[band::kSlope] = slope;
    b[band::kType] = type;
  }

  bool operator==(const EqBandRecord&) const = default;
};

/// Band record k of a block.
inline std::span<std::uint8_t> BandSlot(std::span<std::uint8_t> block, int k) {
  return block.subspan(static_cast<std::size_t>(k) * band::kSize, band::kSize);
}
inline std::span<const std::uint8_t> BandSlot(std::span<const std::uint8_t> block, int k) {
  return block.subspan(static_cast<std::size_t>(k) * band::kSize, band::kSize);
}

}  // namespace zelto
