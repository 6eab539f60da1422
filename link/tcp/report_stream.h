#pragma once
// The report stream: how a processor that is not on USB (zelto-sim, or any other implementation)
// is reached over TCP. The device side listens; on accepting it sends a 10-byte hello
// ("ZHID", vendor, product, version, each u16 little-endian). The tool then sends requests, each
// starting with one operation byte; only a get-input-report request is answered, with exactly
// one report. A closed connection is the removal of the device.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "link/hid_transport.h"

namespace zelto::report_stream {

inline constexpr std::array<std::uint8_t, 4> kHelloMagic = {'Z', 'H', 'I', 'D'};
inline constexpr std::size_t kHelloSize = 10;
inline constexpr std::size_t kHelloVendor = 4;
inline constexpr std::size_t kHelloProduct = 6;
inline constexpr std::size_t kHelloVersion = 8;

enum class Op : std::uint8_t {
  SetOutputReport = 0x01,  // followed by one 313-byte report; never answered
  GetInputReport = 0x02,   // answered by one 313-byte report, all zero when nothing is pending
};

/// Output-report request on the wire: the operation byte, then the report.
inline constexpr std::size_t kSetRequestSize = 1 + kHidReportSize;

/// The HID attributes a hello carries.
struct Attributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t versionNumber = 0;
  friend bool operator==(const Attributes&, const Attributes&) = default;
};

std::array<std::uint8_t, kHelloSize> EncodeHello(const Attributes& attributes);
/// The attributes of a well-formed hello; nothing when the size or the magic is wrong.
std::optional<Attributes> DecodeHello(std::span<const std::uint8_t> hello);

/// How the device side splits what it received: the size of the complete request at the front
/// of `pending` (0 while it is still incomplete or `pending` is empty); nothing when the bytes are
/// not a report stream (an unknown operation).
std::optional<std::size_t> RequestSize(std::span<const std::uint8_t> pending);

}  // namespace zelto::report_stream
