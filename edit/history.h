#pragma once
// The tuning history: one entry per user action (a drag from press to release, a typed value, a
// reset, a link with its copies, a file load), each holding the whole values of the packed live
// preset that the action changed, with their values before and after, and for a link the link
// state. Undo writes back whole values only, so it never sends half of one number over another.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/device_image.h"
#include "core/encodings.h"
#include "edit/preset_fields.h"

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
    /// Read by the first form of the history; a switch is no step any more.
    AbSwitch,
    /// A copy of one A/B side into the other.
    AbCopy,
    /// The answers to a read-back that differed from edits the processor never received.
    SendMine,
    KeepProcessor,
    /// A read-back that changed values the history holds (set on the processor meanwhile).
    ProcessorSettings,
    Unlink,
  };
  static constexpr What kLastWhat = What::Unlink;
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

/// Which channels are linked: the link button's state, the pair table and the group numbers. It
/// belongs to the tuning it was made on (each A/B side has its own).
struct LinkState {
  bool on = false;
  std::array<LinkPair, 10> pairs{};
  std::array<std::int32_t, kLinkGroupEntries> groups{};
  bool operator==(const LinkState& other) const;
  /// Every channel in a group of its own, nothing paired.
  static LinkState Unlinked();
};

/// A link state as the recovery file keeps it.
inline constexpr std::size_t kLinkStateBytes = 1 + 10 * 3 + kLinkGroupEntries;
std::vector<std::uint8_t> LinkStateBytes(const LinkState& state);
/// Nothing when the bytes are short or name a channel or group that does not exist.
std::optional<LinkState> LinkStateFromBytes(std::span<const std::uint8_t> bytes);

/// One whole value a step changed: a number (a 16-bit frequency is one number), or for a text
/// field the index of its text in the step's `texts`.
struct FieldChange {
  Field field;
  std::int32_t before = 0;
  std::int32_t after = 0;
};

class History {
 public:
  /// The oldest steps are forgotten beyond this.
  static constexpr std::size_t kMaxSteps = 2000;

  /// How an undo or redo of the step reaches the processor.
  enum class SendAs : std::uint8_t {
    /// The changed items, one write each (a drag, a typed value).
    Items = 0,
    /// Whole blocks of the channels that differ (a file load, a recall, a link, an A/B copy).
    Blocks = 1,
    /// As an EQ reset goes: the channels muted, their blocks, the mute lifted.
    MutedBlocks = 2,
  };

  struct Step {
    StepLabel label;
    SendAs send = SendAs::Items;
    /// When the step was made: milliseconds since 1970 (0 when not known).
    std::int64_t timeMs = 0;
    std::vector<FieldChange> changes;
    std::vector<std::string> texts;
    /// A link or unlink: the link state before and after.
    std::optional<std::pair<LinkState, LinkState>> link;
    /// A file load: the file's title, shown while the step is applied.
    std::string fileTitle;

    /// Writes the step's values (before or after) over `image`.
    void Apply(std::span<std::uint8_t> image, bool undo) const;
    /// One range per changed field, in order.
    std::vector<ByteRange> Ranges() const;
    /// The output channels the step changed, in order.
    std::vector<int> OutputChannels() const;
    /// Whether the step changed the preset's name.
    bool ChangesName() const;
  };

  /// Records the values in which two packed images differ (and the link state, when given and
  /// changed) as a step; drops the steps that could be redone. Returns false (nothing recorded)
  /// when nothing differs.
  bool Record(const StepLabel& label, SendAs send, std::span<const std::uint8_t> before,
              std::span<const std::uint8_t> after, std::int64_t timeMs, const LinkState* linkBefore = nullptr,
              const LinkState* linkAfter = nullptr);

  bool CanUndo() const { return cursor_ > 0; }
  bool CanRedo() const { return cursor_ < steps_.size(); }
  /// The step an undo (redo) would take back (apply again); null when there is none.
  const Step* UndoStep() const { return CanUndo() ? &steps_[cursor_ - 1] : nullptr; }
  const Step* RedoStep() const { return CanRedo() ? &steps_[cursor_] : nullptr; }
  /// The last step recorded or redone gets a file title (a load learns its title after it).
  void SetLastTitle(std::string title);
  /// The last step applied is named anew (a read-back the user then chose to keep).
  void SetLastLabel(const StepLabel& label);
  void MarkUndone() {
    if (CanUndo()) --cursor_, ++revision_;
  }
  void MarkRedone() {
    if (CanRedo()) ++cursor_, ++revision_;
  }
  /// Changes with every step recorded, undone, redone or cleared (for views that follow it).
  std::uint64_t Revision() const { return revision_; }
  void Clear();
  std::size_t Size() const { return steps_.size(); }
  /// Steps 0..Cursor()-1 are applied; the rest can be redone.
  std::size_t Cursor() const { return cursor_; }
  const Step& At(std::size_t index) const { return steps_[index]; }
  /// Whether any step changed the field at `offset`.
  bool Holds(std::size_t offset) const;
  /// The title of the newest applied file load, empty when none is applied.
  std::string AppliedFileTitle() const;
  /// The heap bytes the steps hold (for the memory figure).
  std::size_t MemoryBytes() const;

  /// The steps and the cursor as bytes, for the recovery file.
  std::vector<std::uint8_t> Bytes() const;
  /// Reads what Bytes() wrote. Nothing when the bytes are not such a history: a wrong version, a
  /// count, field or label out of bounds, a byte missing or left over. The history of the first
  /// form held byte ranges; it is read again as whole values from `atCursor`, the tuning it left
  /// (steps beyond an A/B switch, which it recorded as a step, are left out).
  static std::optional<History> FromBytes(std::span<const std::uint8_t> bytes,
                                          const PresetImage& atCursor = PresetImage{});

 private:
  void Push(Step step);

  std::deque<Step> steps_;
  std::size_t cursor_ = 0;
  std::uint64_t revision_ = 0;
};

}  // namespace zelto
