#include "edit/recovery_file.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "link/engine.h"
#include "core/file_io.h"

namespace zelto {

namespace {

constexpr std::array<std::uint8_t, recovery::kMagicSize> kMagic = {'Z', 'E', 'L', 'T', 'O', 'R', 'E', 'C'};
// magic, version, active side, started, two spare bytes
constexpr std::size_t kHeaderSize = recovery::kMagicSize + 4 + 4;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kPartSizeBytes = 4;
constexpr std::uint32_t kFirstVersionWithMeasurements = 2;
constexpr std::uint32_t kFirstVersionWithAbout = 3;
// The third part, "about": the time written (i64) and the processor's identity (u8 length, text).
constexpr std::size_t kAboutFixedSize = 8 + 1;
// The first version ends after the history; the measurements came with the second.
constexpr std::size_t kMinSize = kHeaderSize + 2 * preset::kSize + kPartSizeBytes + kCrcSize;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t GetU32(std::span<const std::uint8_t> in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{in[at + static_cast<std::size_t>(i)]} << (8 * i);
  return v;
}

std::vector<std::uint8_t> AboutBytes(const RecoveryData& data) {
  std::vector<std::uint8_t> out;
  const auto t = static_cast<std::uint64_t>(data.savedAt);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(t >> (8 * i)));
  const std::size_t n = std::min(data.processor.size(), recovery::kMaxProcessorText);
  out.push_back(static_cast<std::uint8_t>(n));
  out.insert(out.end(), data.processor.begin(), data.processor.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

bool ReadAbout(std::span<const std::uint8_t> about, RecoveryData& data) {
  if (about.size() < kAboutFixedSize) return false;
  std::uint64_t t = 0;
  for (int i = 0; i < 8; ++i) t |= std::uint64_t{about[static_cast<std::size_t>(i)]} << (8 * i);
  const std::size_t n = about[8];
  if (n > recovery::kMaxProcessorText || about.size() != kAboutFixedSize + n) return false;
  data.savedAt = static_cast<std::int64_t>(t);
  data.processor.assign(about.begin() + kAboutFixedSize, about.end());
  return true;
}

RecoveryRead Refused(RecoveryReadError error) {
  RecoveryRead r;
  r.error = error;
  return r;
}

}  // namespace

// The polynomial of zip and PNG. The engine also builds for Windows, where no zlib comes with the
// cross compiler; a few kilobytes every two seconds need no table.
std::uint32_t recovery::Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::vector<std::uint8_t> RecoveryFileBytes(const RecoveryData& data) {
  std::vector<std::uint8_t> out;
  out.reserve(kMinSize + kPartSizeBytes + data.history.size() + data.measurements.size());
  out.insert(out.end(), kMagic.begin(), kMagic.end());
  PutU32(out, recovery::kVersion);
  out.push_back(static_cast<std::uint8_t>(data.ab.active));
  out.push_back(data.ab.started ? 1 : 0);
  out.push_back(0);
  out.push_back(0);
  out.insert(out.end(), data.ab.a.begin(), data.ab.a.end());
  out.insert(out.end(), data.ab.b.begin(), data.ab.b.end());
  PutU32(out, static_cast<std::uint32_t>(data.history.size()));
  out.insert(out.end(), data.history.begin(), data.history.end());
  PutU32(out, static_cast<std::uint32_t>(data.measurements.size()));
  out.insert(out.end(), data.measurements.begin(), data.measurements.end());
  const std::vector<std::uint8_t> about = AboutBytes(data);
  PutU32(out, static_cast<std::uint32_t>(about.size()));
  out.insert(out.end(), about.begin(), about.end());
  PutU32(out, recovery::Crc32(out));
  return out;
}

RecoveryRead ParseRecoveryFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMagic.size() || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
    return Refused(RecoveryReadError::NotRecovery);
  // A later version may lay out everything after the version number differently: it is told
  // apart before anything else is judged, so its file is never called damaged.
  if (bytes.size() >= kMagic.size() + 4 && GetU32(bytes, kMagic.size()) > recovery::kVersion) {
    RecoveryRead newer = Refused(RecoveryReadError::Newer);
    newer.version = GetU32(bytes, kMagic.size());
    return newer;
  }
  if (bytes.size() < kMinSize) return Refused(RecoveryReadError::Damaged);
  const auto body = bytes.first(bytes.size() - kCrcSize);
  if (recovery::Crc32(body) != GetU32(bytes, body.size())) return Refused(RecoveryReadError::Damaged);
  const std::uint32_t version = GetU32(bytes, kMagic.size());
  if (version < recovery::kOldestVersion) return Refused(RecoveryReadError::NotRecovery);
  const std::uint8_t active = bytes[kMagic.size() + 4];
  const std::uint8_t started = bytes[kMagic.size() + 5];
  if (active > 1 || started > 1) return Refused(RecoveryReadError::Damaged);

  std::size_t at = kHeaderSize;
  RecoveryData data;
  data.ab.active = static_cast<AbSide>(active);
  data.ab.started = started != 0;
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), preset::kSize, data.ab.a.begin());
  at += preset::kSize;
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), preset::kSize, data.ab.b.begin());
  at += preset::kSize;
  // Each part: its size, then its bytes; the size is checked against what is left.
  const auto part = [&](std::vector<std::uint8_t>& into) {
    if (body.size() - at < kPartSizeBytes) return false;
    const std::uint32_t size = GetU32(body, at);
    at += kPartSizeBytes;
    if (size > body.size() - at) return false;
    into.assign(body.begin() + static_cast<std::ptrdiff_t>(at), body.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
    return true;
  };
  if (!part(data.history)) return Refused(RecoveryReadError::Damaged);
  if (version >= kFirstVersionWithMeasurements && !part(data.measurements)) return Refused(RecoveryReadError::Damaged);
  if (version >= kFirstVersionWithAbout) {
    std::vector<std::uint8_t> about;
    if (!part(about) || !ReadAbout(about, data)) return Refused(RecoveryReadError::Damaged);
  }
  if (at != body.size()) return Refused(RecoveryReadError::Damaged);
  RecoveryRead r;
  r.data = std::move(data);
  r.error = RecoveryReadError::None;
  r.version = version;
  return r;
}

RecoveryRead ReadRecoveryFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Refused(RecoveryReadError::Missing);
  const FileBytes file = ReadWholeFile(
      path, kMinSize + 2 * kPartSizeBytes + recovery::kMaxParts + kAboutFixedSize + recovery::kMaxProcessorText);
  if (!file.ok()) return Refused(RecoveryReadError::Unreadable);
  return ParseRecoveryFile(file.bytes);
}

std::string recovery::SlotFile(const std::string& folder, int n) {
  return (PathFromUtf8(folder) / ("recovery-" + std::to_string(n) + ".zrec")).string();
}

std::string recovery::SlotLock(const std::string& folder, int n) {
  return (PathFromUtf8(folder) / ("recovery-" + std::to_string(n) + ".lock")).string();
}

std::optional<recovery::Slot> recovery::ClaimOwnSlot(const std::string& folder, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(PathFromUtf8(folder), ec);
  if (ec) {
    if (error) *error = folder + ": " + ec.message();
    return std::nullopt;
  }
  for (int n = 1; n <= kMaxSlots; ++n) {
    const std::string path = SlotFile(folder, n);
    if (std::filesystem::exists(PathFromUtf8(path), ec)) continue;
    auto lock = FileLock::TryLock(PathFromUtf8(SlotLock(folder, n)));
    if (!lock) continue;
    // Another editor may have left its file here between the look and the lock.
    if (std::filesystem::exists(PathFromUtf8(path), ec)) continue;
    return Slot{std::move(*lock), path};
  }
  if (error) *error = folder + ": no free recovery slot (" + std::to_string(kMaxSlots) + " editors running?)";
  return std::nullopt;
}

std::optional<recovery::LeftFile> recovery::ClaimLeftFile(const std::string& folder, std::vector<std::string>* newer) {
  std::error_code ec;
  for (int n = 1; n <= kMaxSlots; ++n) {
    const std::string path = SlotFile(folder, n);
    if (!std::filesystem::exists(PathFromUtf8(path), ec)) continue;
    // A running editor holds its lock: its file is its live work, never a crash's.
    auto lock = FileLock::TryLock(PathFromUtf8(SlotLock(folder, n)));
    if (!lock) continue;
    RecoveryRead read = ReadRecoveryFile(path);
    if (read.error == RecoveryReadError::Missing) continue;  // its editor exited cleanly meanwhile
    if (read.error == RecoveryReadError::Newer) {
      if (newer) newer->push_back(path);
      continue;
    }
    return LeftFile{Slot{std::move(*lock), path}, std::move(read)};
  }
  return std::nullopt;
}

std::string recovery::SetAsideDamaged(const std::string& path) {
  const std::filesystem::path from = PathFromUtf8(path);
  std::error_code ec;
  for (int n = 1; n < 1000; ++n) {
    std::filesystem::path to = from;
    to.replace_extension(".damaged-" + std::to_string(n) + ".zrec");
    if (std::filesystem::exists(to, ec)) continue;
    std::filesystem::rename(from, to, ec);
    return ec ? std::string() : to.string();
  }
  return {};
}

RecoveryFile::RecoveryFile(Engine& engine, AbCompare& ab, std::string path, std::optional<FileLock> lock)
    : engine_(engine), ab_(ab), path_(std::move(path)), lock_(std::move(lock)) {}

std::optional<RecoveryData> RecoveryFile::Collect() {
  // The live tuning without the TransferLock: the window must never wait for an exchange.
  std::optional<PresetImage> live = engine_.LiveSnapshot();
  if (!live) return std::nullopt;
  RecoveryData data;
  data.ab = ab_.SnapshotAround(*live);
  if (history_) data.history = history_->SaveRecoveryPart();
  if (measurements_) data.measurements = measurements_->SaveRecoveryPart();
  data.processor = processor_;
  return data;
}

void RecoveryFile::MarkWritten() {
  if (auto data = Collect()) lastWritten_ = std::move(*data);
}

bool RecoveryFile::Tick(Clock::time_point now) {
  if (lastWrite_ && now - *lastWrite_ < recovery::kThrottle) return false;
  // Compared before the bytes are made: the file's checksum is only worth computing for a write.
  std::optional<RecoveryData> data = Collect();
  if (!data || *data == lastWritten_) return false;
  return Write(std::move(*data), now);
}

bool RecoveryFile::WriteNow(Clock::time_point now) {
  std::optional<RecoveryData> data = Collect();
  return data && Write(std::move(*data), now);
}

bool RecoveryFile::Write(RecoveryData data, Clock::time_point now) {
  lastWrite_ = now;
  std::error_code ec;
  const auto target = PathFromUtf8(path_);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  // The time goes into the file only: comparing it would make every tick a write.
  RecoveryData stamped = data;
  stamped.savedAt = static_cast<std::int64_t>(std::time(nullptr));
  std::string error;
  if (!WriteFileDurably(target, RecoveryFileBytes(stamped), &error)) {
    ++failedWrites_;
    failure_ = error.empty() ? path_ : error;
    return false;
  }
  failure_.clear();
  failureTold_ = false;
  lastWritten_ = std::move(data);
  // The work taken over from a crashed editor is safe in this file now.
  if (left_) {
    std::filesystem::remove(PathFromUtf8(left_->path), ec);
    left_.reset();
  }
  return true;
}

std::optional<std::string> RecoveryFile::TakeFailureToTell() {
  if (failure_.empty() || failureTold_) return std::nullopt;
  failureTold_ = true;
  return failure_;
}

void RecoveryFile::Remove() {
  std::error_code ec;
  std::filesystem::remove(PathFromUtf8(path_), ec);
  // Work taken over from a crashed editor is this editor's work now: a clean exit ends it too,
  // even before this editor's own file first held it.
  if (left_) {
    std::filesystem::remove(PathFromUtf8(left_->path), ec);
    left_.reset();
  }
  lastWritten_.reset();
  lastWrite_.reset();
}

bool RecoveryFile::KeepForNextStart() {
  if (!WriteNow()) return false;
  // The lock goes with the editor; the file stays as a crash would leave it.
  lock_.reset();
  return true;
}

void RecoveryFile::RestoreParts(const RecoveryData& data) {
  const auto giveBack = [](RecoveryPart* part, const std::vector<std::uint8_t>& blob) {
    if (part && !part->RestoreRecoveryPart(blob)) part->RestoreRecoveryPart({});
  };
  giveBack(history_, data.history);
  giveBack(measurements_, data.measurements);
}

}  // namespace zelto
