#include "edit/unsent_edits.h"

#include <algorithm>

#include "edit/preset_fields.h"

namespace zelto {

namespace {

constexpr std::size_t kOutputsSize = kOutputChannels * out::kSize;

}  // namespace

std::pair<std::size_t, std::size_t> OutputValueAt(std::size_t offset) {
  const Field field = OutputFieldAt(offset);
  return {field.offset, field.size};
}

std::vector<int> DifferingChannels(const PresetImage& a, const PresetImage& b) {
  std::vector<int> channels;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const std::size_t base = preset::kOutput + static_cast<std::size_t>(ch) * out::kSize;
    if (!std::equal(a.begin() + base, a.begin() + base + out::kSendSize, b.begin() + base)) channels.push_back(ch);
  }
  return channels;
}

void UnsentEdits::Mark(std::span<const ByteRange> ranges, bool wholeBlocks) {
  if (wholeBlocks) {
    MarkAll();
    return;
  }
  for (const ByteRange& r : ranges) {
    const std::size_t begin = std::max<std::size_t>(r.offset, preset::kOutput);
    const std::size_t end = std::min<std::size_t>(r.offset + r.length, preset::kOutput + kOutputsSize);
    for (std::size_t at = begin; at < end; ++at) {
      const std::size_t inOutputs = at - preset::kOutput;
      const std::size_t base = inOutputs - inOutputs % out::kSize;
      const auto [first, length] = OutputValueAt(inOutputs % out::kSize);
      for (std::size_t i = 0; i < length; ++i) marked_.set(base + first + i);
    }
  }
}

bool UnsentEdits::Marked(std::size_t offset) const {
  return offset >= preset::kOutput && offset < preset::kOutput + kOutputsSize && marked_.test(offset - preset::kOutput);
}

PresetImage UnsentEdits::Merge(const PresetImage& processor, const PresetImage& mine) const {
  PresetImage merged = processor;
  for (std::size_t i = 0; i < kOutputsSize; ++i)
    if (marked_.test(i)) merged[preset::kOutput + i] = mine[preset::kOutput + i];
  return merged;
}

}  // namespace zelto
