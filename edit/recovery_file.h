#pragma once
// The work since the last save, kept on disk so that a crash of the editor loses none of it: the
// live tuning, both A/B sides, the undo history and the measurements with their targets (opaque
// blobs their owners write and read), with the time and the processor it was made on.
// Every running editor has a file of its own in the per-user state folder ("recovery-N.zrec"),
// held by a lock ("recovery-N.lock") for as long as the editor runs: a file whose lock is free was
// left by an editor that did not exit cleanly, and only such a file is offered. The file is
// written beside itself, forced to the disk and renamed over the old one (the folder forced too),
// at most once per throttle period while something changes, and removed on a clean exit.
//
// All of this runs on the window thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/platform.h"
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
  /// When the work was written, in seconds since 1970 (UTC); 0 in files before the third version.
  std::int64_t savedAt = 0;
  /// The identity the processor connected then gave of itself; empty when none was connected.
  std::string processor;

  const PresetImage& Live() const { return ab.Side(ab.active); }
  bool operator==(const RecoveryData&) const = default;
};

/// Newer: written by a later version of Zelto, which this one cannot read; it is left untouched.
enum class RecoveryReadError { None, Missing, Unreadable, NotRecovery, Damaged, Newer };

struct RecoveryRead {
  std::optional<RecoveryData> data;
  RecoveryReadError error = RecoveryReadError::Missing;
  /// The version the file says it is (0 when it is no recovery file at all).
  std::uint32_t version = 0;
};

namespace recovery {
inline constexpr std::size_t kMagicSize = 8;
inline constexpr std::uint32_t kVersion = 3;
/// Files of this version and later are read.
inline constexpr std::uint32_t kOldestVersion = 1;
/// The largest file read: the history and the measurements together.
inline constexpr std::size_t kMaxParts = 64u << 20;
inline constexpr std::chrono::milliseconds kThrottle{2000};
/// The longest processor identity kept.
inline constexpr std::size_t kMaxProcessorText = 64;
/// How many editors may run side by side, each with its own file.
inline constexpr int kMaxSlots = 32;
/// The CRC-32 that ends the file.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

/// Slot `n` (1-based) of `folder`: its recovery file and its lock file.
std::string SlotFile(const std::string& folder, int n);
std::string SlotLock(const std::string& folder, int n);

/// A slot this editor holds: its lock and the path of its recovery file.
struct Slot {
  FileLock lock;
  std::string path;
};
/// This editor's own slot: the first one whose lock is free and which holds no file (a left file
/// is never overwritten). Makes the folder. Nothing, with `error` in the system's words, when the
/// folder cannot be made or every slot is taken.
std::optional<Slot> ClaimOwnSlot(const std::string& folder, std::string* error);

/// A file left by an editor that ended without a clean exit, with its slot locked so that no
/// other editor offers it too. Files of a newer version are left alone and listed in `newer`.
struct LeftFile {
  Slot slot;
  RecoveryRead read;
};
std::optional<LeftFile> ClaimLeftFile(const std::string& folder, std::vector<std::string>* newer);
/// Moves a damaged left file out of its slot, beside it, so it is kept but offered no more.
/// Returns the new path, or empty when it could not be moved.
std::string SetAsideDamaged(const std::string& path);
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

  /// `path` is this editor's file; the folder is made on the first write. `lock` keeps other
  /// editors from taking the file while this one runs (none in tests that need no other editor).
  RecoveryFile(Engine& engine, AbCompare& ab, std::string path, std::optional<FileLock> lock = std::nullopt);

  void SetHistory(RecoveryPart* history) { history_ = history; }
  void SetMeasurements(RecoveryPart* measurements) { measurements_ = measurements; }
  const std::string& Path() const { return path_; }
  /// The identity of the processor connected now (empty: none); written with the work.
  void SetProcessor(std::string identity) { processor_ = std::move(identity); }

  /// A file left by a crashed editor whose work this one has taken over (restored): it goes, and
  /// its slot is freed, once this editor's own file holds the work.
  void TakeOverLeft(recovery::Slot left) { left_ = std::move(left); }

  /// The window's timer calls this often. Writes the file when the work differs from what was
  /// written last and the last write is at least a throttle period ago. True when it wrote.
  /// Never waits for the link: while the link worker runs it packs the tuning between two
  /// exchanges, and the write follows at a later call.
  bool Tick(Clock::time_point now);
  /// Writes now, whatever changed. False when the file could not be written, or the tuning is
  /// not to be had without waiting for the link (a later Tick writes it).
  bool WriteNow(Clock::time_point now = Clock::now());
  /// The present work counts as written (after a read-back or when the user declined a restore)
  /// without writing it.
  void MarkWritten();
  /// The clean exit: the work is saved or deliberately left, so the file goes.
  void Remove();
  /// The exit that keeps the work for the next start: the file stays, as a crash would leave it.
  /// False when the work could not be written.
  bool KeepForNextStart();

  /// The history and the measurements take their blobs back (a blob they refuse leaves them
  /// empty). The tuning is the editor's to apply, as a step (Editor::RestoreRecovered).
  void RestoreParts(const RecoveryData& data);

  /// Writes that failed since the start (a full disk, a folder that cannot be made).
  int FailedWrites() const { return failedWrites_; }
  /// Why the writes fail, once per run of failures: the window tells the user that the crash
  /// protection is off. Nothing while writes succeed or the failure was told already.
  std::optional<std::string> TakeFailureToTell();

 private:
  std::optional<RecoveryData> Collect();
  bool Write(RecoveryData data, Clock::time_point now);

  Engine& engine_;
  AbCompare& ab_;
  RecoveryPart* history_ = nullptr;
  RecoveryPart* measurements_ = nullptr;
  std::string path_;
  std::optional<FileLock> lock_;
  std::optional<recovery::Slot> left_;
  std::string processor_;
  std::optional<RecoveryData> lastWritten_;
  std::optional<Clock::time_point> lastWrite_;
  int failedWrites_ = 0;
  std::string failure_;
  bool failureTold_ = false;
};

}  // namespace zelto
