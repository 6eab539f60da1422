#pragma once
// What a measurement changes on the processor, and the record that lets it always take it back:
// the outputs' mutes and input mixes before it began. While a measurement runs the record sits in
// a file of its own beside the recovery file, written before the first change, so that a start
// after a crash (or a reconnect after a lost link) puts the settings back before anything else.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/device_image.h"
#include "edit/recovery_file.h"

namespace zelto {
class Editor;
class Engine;
}  // namespace zelto

namespace zelto::acoustics {

inline constexpr int kMixSources = 12;

/// The settings a measurement's routing touches, as they were.
struct RoutingSnapshot {
  std::array<bool, kOutputChannels> soundOn{};
  std::array<std::array<std::uint8_t, kMixSources>, kOutputChannels> mix{};
  bool operator==(const RoutingSnapshot&) const = default;
};

RoutingSnapshot TakeRouting(Engine& engine);
/// An output channel that sounds during a measurement, and the processor input it hears.
struct Route {
  int channel = 0;
  int source = 0;
};
/// Only the routes' channels sound, each fed from its routes' sources alone. Temporary: no step
/// of the history.
void RouteTo(Editor& editor, std::span<const Route> routes);
/// Puts every setting of `before` back (temporary, as the routing was).
void RestoreRouting(Editor& editor, const RoutingSnapshot& before);

std::vector<std::uint8_t> RoutingBytes(const RoutingSnapshot& snapshot);
/// Nothing for bytes that are not a snapshot (short, foreign, altered).
std::optional<RoutingSnapshot> RoutingFromBytes(std::span<const std::uint8_t> bytes);

/// The file name beside the recovery file.
inline constexpr const char* kGuardFileName = "measurement.zrun";

/// The running measurement's record on disk. A recovery part: its blob is the snapshot (empty
/// while no measurement runs).
class MeasurementGuard : public RecoveryPart {
 public:
  explicit MeasurementGuard(std::string path) : path_(std::move(path)) {}

  /// Writes the record before the measurement changes anything. False (with the reason) when it
  /// cannot be written: then the measurement must not start.
  bool Begin(const RoutingSnapshot& before, std::string* error);
  /// Everything was put back and the processor has it: the record goes.
  void End();
  /// The record a crashed or cut-off measurement left (read from the file).
  std::optional<RoutingSnapshot> Pending() const;
  const std::string& Path() const { return path_; }

  std::vector<std::uint8_t> SaveRecoveryPart() override;
  bool RestoreRecoveryPart(std::span<const std::uint8_t> blob) override;

 private:
  std::string path_;
};

/// Puts back what a measurement left behind (the guard's record), if any; the record stays until
/// End. True when there was something to put back.
bool RestoreLeftover(Editor& editor, const MeasurementGuard& guard);

}  // namespace zelto::acoustics
