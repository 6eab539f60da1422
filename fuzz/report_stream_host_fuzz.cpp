// The host end of the report stream: what a device side sends back — a hello, then input
// reports — taken as the TCP backend takes it and handed to the reply receiver while requests are
// queued. Traps when a hello that is not one is accepted or a reply escapes the image areas
// replies may change.
//
// Input: 10 hello bytes, then input reports of 313 bytes (the last may be short; the rest of a
// report stays zero, as after a short read). Every second report is answered by a queued read.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/command_queue.h"
#include "core/device_image.h"
#include "core/frame.h"
#include "link/tcp/report_stream.h"

namespace {

using namespace zelto;

class CountingSink final : public NoticeSink {
 public:
  void Post(Notice, std::intptr_t, std::intptr_t) noexcept override { ++posted; }
  std::size_t posted = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> in(data, size);
  const auto helloBytes = in.first(std::min(in.size(), report_stream::kHelloSize));
  const auto hello = report_stream::DecodeHello(helloBytes);
  const bool wellFormed =
      helloBytes.size() == report_stream::kHelloSize &&
      std::equal(report_stream::kHelloMagic.begin(), report_stream::kHelloMagic.end(), helloBytes.begin());
  if (hello.has_value() != wellFormed) __builtin_trap();
  if (!hello) return 0;
  // Round trip: what was decoded encodes back to the same bytes.
  const auto again = report_stream::EncodeHello(*hello);
  if (!std::equal(again.begin(), again.end(), helloBytes.begin())) __builtin_trap();
  in = in.subspan(report_stream::kHelloSize);

  DeviceImage image;
  InitDeviceImage(image);
  const auto linkGroups = image.linkGroups;
  const auto editorBytes = image.editorBytes;
  CountingSink sink;
  CKTVCommand queue(image, sink);
  FrameBuilder builder(image);
  std::array<std::uint8_t, kHidReportSize> report{};
  for (int turn = 0; !in.empty(); ++turn) {
    if (turn % 2 == 0 && queue.Count() < 8)
      queue.Push(turn % 4 == 0 ? builder.BuildStatusPoll()
                               : builder.BuildBlockRead(0, BlockType::Output, turn % 8, true));
    const std::size_t n = std::min(in.size(), kHidReportSize);
    report.fill(0);
    std::copy_n(in.begin(), n, report.begin());
    in = in.subspan(n);
    queue.FeedHidReport(report, kHidReportSize);
  }
  if (image.linkGroups != linkGroups || image.editorBytes != editorBytes) __builtin_trap();
  return 0;
}
