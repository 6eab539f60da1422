#pragma once
// The work since the last save, kept on disk so that a crash of the editor loses none of it: the
// live tuning, both A/B sides, the undo history and the measurements with their targets (opaque
// blobs their owners write and read).
// The file is written beside itself and renamed over the old one, at most once per throttle
// period while something changes, and removed on a clean exit.
//
// All of this runs on the window thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "edit/ab_compare.h"

namespace zelto {

class Engine;

/// A part of the work (the history, the measurements) that its owner gives to the recovery file
/// and takes back from it.
class RecoveryPart {
 public:
  virtual ~RecoveryPart() = default;
  virtual std::vector<std::uint8_t> SaveRecoveryPart() = 0;
  /// False when the blob cannot be used; the part is then left empty. An empty blob empties it.
  virtual bool RestoreRecoveryPart(std::span<const std::uint8_t> blob) = 0;
};

/// The contents of a recovery file. The live tuning is the active side of `ab`.
struct RecoveryData {
  AbSnapshot ab;
  std::vector<std::uint8_t> history;
  /// Empty in a file of the first version, which had none.
  std::vector<std::uint8_t> measurements;

  const PresetImage& Live() const { return ab.Side(ab.active); }
  bool operator==(const RecoveryData&) const = default;
};

enum class RecoveryReadError { None, Missing, Unreadable, NotRecovery, Damaged };

struct RecoveryRead {
  std::optional<RecoveryData> data;
  RecoveryReadError error = RecoveryReadError::Missing;
};

namespace recovery {
inline constexpr std::size_t kMagicSize = 8;
inline constexpr std::uint32_t kVersion = 2;
/// Files of this version and later are read.
inline constexpr std::uint32_t kOldestVersion = 1;
/// The largest file read: the history and the measurements together.
inline constexpr std::size_t kMaxParts = 64u << 20;
inline constexpr std::chrono::milliseconds kThrottle{2000};
inline constexpr const char* kFileName = "recovery.zrec";
/// The CRC-32 that ends the file.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);
}  // namespace recovery

/// The file's bytes: magic, version, active side, both sides, the history, the measurements, a
/// CRC-32 of it all.
std::vector<std::uint8_t> RecoveryFileBytes(const RecoveryData& data);
/// Reads the bytes back; a short, altered or foreign file gives nothing and says why.
RecoveryRead ParseRecoveryFile(std::span<const std::uint8_t> bytes);
RecoveryRead ReadRecoveryFile(const std::string& path);

class RecoveryFile {
 public:
  using Clock = std::chrono::steady_clock;

  /// `path` is the file in the per-user data folder; the folder is made on the first write.
  RecoveryFile(Engine& engine, AbCompare& ab, std::string path);

  void SetHistory(RecoveryPart* history) { history_ = history; }
  void SetMeasurements(RecoveryPart* measurements) { measurements_ = measurements; }
  const std::string& Path() const { return path_; }

  /// The window's timer calls this often. Writes the file when the work differs from what was
  /// written last and the last write is at least a throttle period ago. True when it wrote.
  bool Tick(Clock::time_point now);
  /// Writes now, whatever changed. False when the file could not be written.
  bool WriteNow(Clock::time_point now = Clock::now());
  /// The present work counts as written (after a read-back, a file load or a restore) without
  /// writing it.
  void MarkWritten();
  /// The clean exit: the work is saved or deliberately left, so the file goes.
  void Remove();

  /// Loads `data` into the A/B sides and the objects and sends it as a file load does; the
  /// history and the measurements take their blobs back (a blob they refuse leaves them empty).
  /// The new state counts as written.
  void Restore(const RecoveryData& data);

  /// Writes that failed since the start (a full disk, a folder that cannot be made).
  int FailedWrites() const { return failedWrites_; }

 private:
  RecoveryData Collect();
  bool Write(RecoveryData data, Clock::time_point now);

  Engine& engine_;
  AbCompare& ab_;
  RecoveryPart* history_ = nullptr;
  RecoveryPart* measurements_ = nullptr;
  std::string path_;
  std::optional<RecoveryData> lastWritten_;
  std::optional<Clock::time_point> lastWrite_;
  int failedWrites_ = 0;
};

}  // namespace zelto
