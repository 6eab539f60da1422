#include "sim/twin/twin_feed.h"

#include <algorithm>

namespace zelto::twin {

TwinFeed::Snapshot TwinFeed::Take(const DeviceImage& memory) {
  Snapshot s{};
  auto at = s.begin();
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto block = memory.Block(0, BlockType::Output, ch);
    at = std::copy(block.begin(), block.end(), at);
  }
  const auto system = memory.SystemSettings();
  std::copy(system.begin(), system.end(), at);
  return s;
}

void TwinFeed::Update(const DeviceImage& memory) {
  const Snapshot now = Take(memory);
  if (any_ && now == last_) return;
  last_ = now;
  any_ = true;
  twin_.Publish(reader_.Read(memory));
}

void TwinFeed::OnFrame(const sim::SimFrameRecord& record, const sim::SimProcessor& processor) {
  if (!record.valid) return;
  Update(processor.Memory());
}

}  // namespace zelto::twin
