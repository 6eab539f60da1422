#pragma once
// Which values of the eight output blocks the user changed that the processor may not hold: edits
// made while no processor was connected, and edits still queued or waiting for their reply when a
// link failed. A connection's read-back replaces the output blocks; these values are laid over it
// again instead of being lost.
//
// Values, not bytes: a change of one byte of a frequency marks the whole frequency, so laying it
// over another image never mixes the halves of two numbers.

#include <bitset>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "core/device_image.h"
#include "edit/history.h"

namespace zelto {

/// The value of an output block that byte `offset` (0..297) belongs to: its first byte and length.
std::pair<std::size_t, std::size_t> OutputValueAt(std::size_t offset);

/// The output channels whose blocks (the bytes that travel) differ between two preset images.
std::vector<int> DifferingChannels(const PresetImage& a, const PresetImage& b);

class UnsentEdits {
 public:
  bool Empty() const { return marked_.none(); }
  void Forget() { marked_.reset(); }
  /// Marks the values of the output blocks that `ranges` (of a packed preset) touch. A whole-block
  /// change (a loaded file) marks all eight blocks: the file is the user's whole tuning, even
  /// where it happens to equal what was shown before.
  void Mark(std::span<const ByteRange> ranges, bool wholeBlocks);
  /// Whether the value at `offset` of a packed preset is marked.
  bool Marked(std::size_t offset) const;
  /// Every output block.
  void MarkAll() { marked_.set(); }
  /// `processor` with the marked values taken from `mine`.
  PresetImage Merge(const PresetImage& processor, const PresetImage& mine) const;

 private:
  std::bitset<kOutputChannels * out::kSize> marked_;
};

}  // namespace zelto
