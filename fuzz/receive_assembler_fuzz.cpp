// Feeds arbitrary bytes to the reply receiver in chunks of arbitrary size, with a queue of
// requests in every transfer state, and traps when a reply writes outside the image areas that
// replies may change.
//
// Input: a sequence of records, each a control byte followed by its data.
//   control & 3 == 0: a chunk of (next byte) bytes, handed to Receive
//   control & 3 == 1: an input report through FeedHidReport: with bit 2 set a full one, else one
//                     carrying (next byte) data bytes
//   control & 3 == 2: queue a request; the upper bits choose its progress and update flags
//   control & 3 == 3: clear the queue, or reset the status settle count

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/command_queue.h"
#include "core/device_image.h"
#include "core/frame.h"

namespace {

using namespace zelto;

class CountingSink final : public NoticeSink {
 public:
  void Post(Notice, std::intptr_t, std::intptr_t) noexcept override { ++posted; }
  std::size_t posted = 0;
};

// Areas that belong to the editor; no reply may touch them.
struct EditorState {
  explicit EditorState(const DeviceImage& i)
      : delay(i.delayMemory),
        mix(i.mixPageFlags),
        editor(i.editorBytes),
        groups(i.linkGroups),
        vars(i.editorVariables),
        infoItem(i.deviceInfoItem) {}
  bool operator==(const EditorState&) const = default;
  decltype(DeviceImage::delayMemory) delay;
  decltype(DeviceImage::mixPageFlags) mix;
  decltype(DeviceImage::editorBytes) editor;
  decltype(DeviceImage::linkGroups) groups;
  decltype(DeviceImage::editorVariables) vars;
  std::int32_t infoItem;
};

constexpr std::size_t kMaxQueued = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DeviceImage image;
  InitDeviceImage(image);
  CountingSink sink;
  CKTVCommand queue(image, sink);
  FrameBuilder builder(image);
  int hookCalls = 0;
  queue.SetUpdateReplyHook([&](int) { ++hookCalls; });
  const EditorState before(image);

  std::span<const std::uint8_t> in(data, size);
  std::array<std::uint8_t, kHidReportSize> report{};
  while (!in.empty()) {
    const std::uint8_t control = in[0];
    in = in.subspan(1);
    switch (control & 3) {
      case 0: {
        const std::size_t n = in.empty() ? 0 : std::min<std::size_t>(in[0], in.size() - 1);
        if (!in.empty()) in = in.subspan(1);
        queue.Receive(in.first(n));
        in = in.subspan(n);
        break;
      }
      case 1: {
        // A full report, or a short read of (next byte) data bytes.
        std::size_t n = kHidDataSize;
        if (!(control & 4)) {
          n = in.empty() ? 0 : in[0];
          if (!in.empty()) in = in.subspan(1);
        }
        const std::size_t take = std::min(n, in.size());
        report.fill(0);
        std::copy_n(in.begin(), take, report.begin() + 1);
        in = in.subspan(take);
        queue.FeedHidReport(report, n + 1);
        break;
      }
      case 2: {
        if (queue.Count() >= kMaxQueued) break;
        auto m = builder.BuildStatusPoll();
        m->standalone = (control >> 2) & 1;
        m->progressStep = (control >> 3) & 3;
        m->endOfReadBatch = (control >> 5) & 1;
        m->endOfWriteBatch = (control >> 6) & 1;
        if (control & 0x80) m->updateStep = 0xB0 + ((control >> 3) & 3);
        if (control & 0x10) m->sendPosition = m->Length();
        queue.Push(std::move(m));
        break;
      }
      case 3:
        if (control & 4)
          queue.Clear();
        else
          queue.SetStatusSettleCount((control >> 3) * 4);
        break;
    }
  }
  if (!(EditorState(image) == before)) __builtin_trap();
  if (queue.StatusSettleCount() > CKTVCommand::kStatusSettleLimit) __builtin_trap();
  return 0;
}
