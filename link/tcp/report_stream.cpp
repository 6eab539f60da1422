#include "link/tcp/report_stream.h"

#include <algorithm>

#include "core/bytes.h"

namespace zelto::report_stream {

std::array<std::uint8_t, kHelloSize> EncodeHello(const Attributes& attributes) {
  std::array<std::uint8_t, kHelloSize> hello{};
  std::copy(kHelloMagic.begin(), kHelloMagic.end(), hello.begin());
  PutU16(hello, kHelloVendor, attributes.vendorId);
  PutU16(hello, kHelloProduct, attributes.productId);
  PutU16(hello, kHelloVersion, attributes.versionNumber);
  return hello;
}

std::optional<Attributes> DecodeHello(std::span<const std::uint8_t> hello) {
  if (hello.size() != kHelloSize) return std::nullopt;
  if (!std::equal(kHelloMagic.begin(), kHelloMagic.end(), hello.begin())) return std::nullopt;
  return Attributes{GetU16(hello, kHelloVendor), GetU16(hello, kHelloProduct), GetU16(hello, kHelloVersion)};
}

std::optional<std::size_t> RequestSize(std::span<const std::uint8_t> pending) {
  if (pending.empty()) return 0;
  switch (static_cast<Op>(pending[0])) {
    case Op::SetOutputReport: return pending.size() < kSetRequestSize ? 0 : kSetRequestSize;
    case Op::GetInputReport: return 1;
  }
  return std::nullopt;
}

}  // namespace zelto::report_stream
