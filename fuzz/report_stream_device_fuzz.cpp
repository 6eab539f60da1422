// The device end of the report stream: arbitrary bytes from a host, split into requests the way
// zelto-sim splits them and carried out on a simulated processor. Traps when a reply is not a
// whole report or the split reads past what arrived.
//
// Input: the bytes a host sent, delivered in chunks: each record is a length byte and that many
// bytes, so a request may arrive in pieces.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "link/tcp/report_stream.h"
#include "sim/sim_processor.h"

namespace {

using namespace zelto;

// Stands for the server's host buffer: how much a host can leave unanswered before it is dropped.
constexpr std::size_t kMaxPending = 64 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static sim::SimProcessor processor;  // its memory carries over, as a device's does between hosts
  processor.ResetLink();
  processor.ClearFrameLog();  // the log is for tests; across millions of inputs it only grows
  const std::uint64_t generation = processor.Generation();

  std::span<const std::uint8_t> in(data, size);
  std::vector<std::uint8_t> pending;
  while (!in.empty()) {
    const std::size_t n = std::min<std::size_t>(in[0], in.size() - 1);
    pending.insert(pending.end(), in.begin() + 1, in.begin() + 1 + static_cast<std::ptrdiff_t>(n));
    in = in.subspan(1 + n);
    if (pending.size() > kMaxPending) return 0;
    for (;;) {
      const auto request = report_stream::RequestSize(pending);
      if (!request) return 0;  // not a report stream: the host is dropped
      if (*request == 0) break;
      if (*request > pending.size()) __builtin_trap();
      const auto op = static_cast<report_stream::Op>(pending[0]);
      std::array<std::uint8_t, kHidReportSize> report{};
      if (op == report_stream::Op::SetOutputReport) {
        if (*request != report_stream::kSetRequestSize) __builtin_trap();
        std::copy_n(pending.begin() + 1, kHidReportSize, report.begin());
        if (!processor.WriteOutputReport(report, generation)) return 0;
      } else {
        if (!processor.ReadInputReport(report, generation)) return 0;
        if (report[0] != 0) __builtin_trap();  // report ID 0 only
      }
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(*request));
    }
  }
  return 0;
}
