#pragma once
// Two complete tunings to compare by ear. A tuning is the live preset: every output channel, both
// inputs, the effect and the mix; the master volume and the source stay as they are. The parameter
// objects always hold the active side; the engine keeps the other one here. Switching stores the
// active side from the objects, loads the other into them and sends one whole block for each
// output (and input or effect) that differs, nothing for the rest.
//
// All of this runs on the window thread.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/device_image.h"
#include "core/encodings.h"

namespace zelto {

class CKTV_Data;
class ChangeTracking;
class Engine;

enum class AbSide : std::uint8_t { A = 0, B = 1 };

inline AbSide OtherSide(AbSide side) { return side == AbSide::A ? AbSide::B : AbSide::A; }

/// The blocks in which two tunings differ, as the processor receives them.
struct TuningDifference {
  std::array<bool, kOutputChannels> outputs{};
  bool mic = false;
  bool music = false;
  bool effect = false;

  int OutputCount() const;
  /// Blocks a switch between the two tunings sends.
  int BlockCount() const;
  bool operator==(const TuningDifference&) const = default;
};

/// Compares the bytes of each block that travel to the processor (296 of an output block, the
/// whole input block, the first 96 bytes of the effect record).
TuningDifference DiffTunings(std::span<const std::uint8_t, preset::kSize> from,
                             std::span<const std::uint8_t, preset::kSize> to);

/// One value in which two tunings differ, in engineering units, for people to read.
struct ValueDifference {
  /// The output channel (0-based), or -1 for the inputs, the effect and the preset's name.
  int channel = -1;
  /// What the value is ("band 18 frequency", "high-pass", "gain").
  std::string value;
  std::string from;
  std::string to;
  bool operator==(const ValueDifference&) const = default;
};

/// Every value the processor hears that differs between `from` and `to`, channel by channel, as
/// the objects read them (unpacked as a load would).
std::vector<ValueDifference> DiffTuningValues(const PresetImage& from, const PresetImage& to, Language lang);

/// Both sides as the recovery file keeps them.
struct AbSnapshot {
  AbSide active = AbSide::A;
  /// False until the first switch or copy made the other side.
  bool started = false;
  PresetImage a{};
  PresetImage b{};
  PresetImage& Side(AbSide side) { return side == AbSide::A ? a : b; }
  const PresetImage& Side(AbSide side) const { return side == AbSide::A ? a : b; }
  bool operator==(const AbSnapshot&) const = default;
};

class AbCompare {
 public:
  explicit AbCompare(Engine& engine);
  ~AbCompare();
  AbCompare(const AbCompare&) = delete;
  AbCompare& operator=(const AbCompare&) = delete;

  struct Outcome {
    TuningDifference changed;
    /// Blocks queued for the processor (0 without an open link).
    int queued = 0;
  };

  AbSide Active() const { return active_; }
  bool Started() const { return started_; }

  /// Makes the other side active. The first switch starts B as a copy of A, so nothing differs.
  Outcome Switch();
  /// Makes side `to` a copy of side `from`. Copying into the active side loads it into the
  /// objects and sends what differs; copying into the other side sends nothing.
  Outcome Copy(AbSide from, AbSide to);

  /// The tuning of the side that is not active (a copy of the active one before B exists).
  PresetImage OtherTuning();
  /// Replaces the side that is not active (nothing is sent: it is not heard).
  void SetOtherTuning(const PresetImage& tuning);
  /// Both sides, the active one packed from the objects.
  AbSnapshot Snapshot();
  /// Both sides with `active` as the active one's tuning (packed elsewhere); takes no lock.
  AbSnapshot SnapshotAround(const PresetImage& active) const;
  /// Takes both sides from a recovered snapshot and loads its active side into the objects,
  /// queuing the blocks that differ from what the processor holds (nothing without a link).
  Outcome Restore(const AbSnapshot& snapshot);
  /// Takes both sides from a snapshot; the active side's tuning is loaded into the objects
  /// (without sending anything) by the caller.
  void Adopt(const AbSnapshot& snapshot);

  /// The other side's tuning in objects of its own, for drawing its curves (the graph fits them
  /// to its plot). Rebuilt from OtherTuning() on every call.
  CKTV_Data& OtherModel();

 private:
  /// Packs the objects into the live image and returns a copy of it. Caller holds the
  /// TransferLock.
  PresetImage PackLive();
  /// The objects packed as PackLive would, leaving the live image as it was.
  PresetImage PackedCopy();
  /// Loads `tuning` into the live image and the objects and queues the blocks that differ from
  /// what the live image held. Caller holds the TransferLock.
  Outcome LoadIntoLive(const PresetImage& tuning);

  Engine& engine_;
  AbSide active_ = AbSide::A;
  bool started_ = false;
  /// Only the side that is not active is current; the active side lives in the objects.
  AbSnapshot sides_;
  // The other side's objects for the graph, on an image of their own that nothing sends from.
  std::unique_ptr<DeviceImage> otherImage_;
  std::unique_ptr<ChangeTracking> otherTracking_;
  std::unique_ptr<CKTV_Data> otherModel_;
};

}  // namespace zelto
