#pragma once
// The tuning history: one entry per user action (a drag from press to release, a typed value, a
// reset, a link with its copies, a file load), each holding only the byte ranges of the packed
// live preset that the action changed, with their values before and after.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/encodings.h"

namespace zelto {

/// What a step did, for its menu entry. `channel` and `band` are 0-based; -1 when they don't apply.
struct StepLabel {
  enum class What {
    None,
    BandGain,
    BandFrequency,
    BandWidth,
    BandSwitch,
    Band,
    EqBypass,
    EqMode,
    EqReset,
    HighPass,
    LowPass,
    Gain,
    Mute,
    Phase,
    Delay,
    Limiter,
    Name,
    Mix,
    Link,
    /// A preset file loaded, or a slot recalled, from the load dialog or zeltoctl push.
    FileLoad,
    Edits,
    /// The A/B switch, and a copy of one side into the other.
    AbSwitch,
    AbCopy,
    /// The answers to a read-back that differed from edits the processor never received.
    SendMine,
    KeepProcessor,
  };
  static constexpr What kLastWhat = What::KeepProcessor;
  What what = What::None;
  int channel = -1;
  int band = -1;
  bool operator==(const StepLabel&) const = default;
};

/// "CH1 band 13 gain" / "CH1 第13段 增益".
std::string StepText(const StepLabel& label, Language lang);

/// The byte ranges where two equally long images differ.
struct ByteRange {
  std::uint16_t offset = 0;
  std::uint16_t length = 0;
  bool operator==(const ByteRange&) const = default;
};
std::vector<ByteRange> DiffRanges(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after);

/// What a step that no call named changed, read from its ranges of the packed live preset (a band
/// dragged on the graph, a channel's gain slider).
StepLabel LabelOfChange(std::span<const ByteRange> ranges);

class History {
 public:
  /// The oldest steps are forgotten beyond this.
  static constexpr std::size_t kMaxSteps = 2000;

  /// What a step's bytes are written over. Steps are over the live tuning; the A/B switch is a
  /// step of its own that swaps the sides (and so the live tuning) back and forth, and a copy
  /// into the side that is not active changes only that side.
  enum class Target : std::uint8_t { Live = 0, OtherSide = 1, Switch = 2 };

  struct Step {
    StepLabel label;
    Target target = Target::Live;
    /// A file load: undo and redo send whole blocks.
    bool wholeBlocks = false;
    std::vector<ByteRange> ranges;
    /// The bytes of every range in order, as they were before and after the step.
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;

    /// Writes the step's bytes (before or after) over `image`.
    void Apply(std::span<std::uint8_t> image, bool undo) const;
  };

  /// Records the difference of two packed images as a step; drops the steps that could be redone.
  /// Returns false (nothing recorded) when the images are equal.
  bool Record(const StepLabel& label, bool wholeBlocks, std::span<const std::uint8_t> before,
              std::span<const std::uint8_t> after, Target target = Target::Live);
  /// Records an A/B switch (it holds no bytes: undo and redo switch again).
  void RecordSwitch();

  bool CanUndo() const { return cursor_ > 0; }
  bool CanRedo() const { return cursor_ < steps_.size(); }
  /// The step an undo (redo) would take back (apply again); null when there is none.
  const Step* UndoStep() const { return CanUndo() ? &steps_[cursor_ - 1] : nullptr; }
  const Step* RedoStep() const { return CanRedo() ? &steps_[cursor_] : nullptr; }
  void MarkUndone() {
    if (CanUndo()) --cursor_;
  }
  void MarkRedone() {
    if (CanRedo()) ++cursor_;
  }
  void Clear();
  std::size_t Size() const { return steps_.size(); }
  /// The heap bytes the steps hold (for the memory figure).
  std::size_t MemoryBytes() const;

  /// The steps and the cursor as bytes, for the recovery file.
  std::vector<std::uint8_t> Bytes() const;
  /// Reads what Bytes() wrote. Nothing when the bytes are not such a history: a wrong version, a
  /// count, range or label out of bounds, a byte missing or left over.
  static std::optional<History> FromBytes(std::span<const std::uint8_t> bytes);

 private:
  void Push(Step step);

  std::deque<Step> steps_;
  std::size_t cursor_ = 0;
};

}  // namespace zelto
