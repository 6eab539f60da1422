#include "edit/recovery_file.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "link/engine.h"
#include "presets/file_io.h"
#include "presets/preset_slots.h"

namespace zelto {

namespace {

constexpr std::array<std::uint8_t, recovery::kMagicSize> kMagic = {'Z', 'E', 'L', 'T', 'O', 'R', 'E', 'C'};
// magic, version, active side, started, two spare bytes
constexpr std::size_t kHeaderSize = recovery::kMagicSize + 4 + 4;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kPartSizeBytes = 4;
constexpr std::uint32_t kFirstVersionWithMeasurements = 2;
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
  PutU32(out, recovery::Crc32(out));
  return out;
}

RecoveryRead ParseRecoveryFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMagic.size() || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
    return Refused(RecoveryReadError::NotRecovery);
  if (bytes.size() < kMinSize) return Refused(RecoveryReadError::Damaged);
  const auto body = bytes.first(bytes.size() - kCrcSize);
  if (recovery::Crc32(body) != GetU32(bytes, body.size())) return Refused(RecoveryReadError::Damaged);
  const std::uint32_t version = GetU32(bytes, kMagic.size());
  if (version < recovery::kOldestVersion || version > recovery::kVersion)
    return Refused(RecoveryReadError::NotRecovery);
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
  if (at != body.size()) return Refused(RecoveryReadError::Damaged);
  RecoveryRead r;
  r.data = std::move(data);
  r.error = RecoveryReadError::None;
  return r;
}

RecoveryRead ReadRecoveryFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Refused(RecoveryReadError::Missing);
  const FileBytes file = ReadWholeFile(path, kMinSize + kPartSizeBytes + recovery::kMaxParts);
  if (!file.ok()) return Refused(RecoveryReadError::Unreadable);
  return ParseRecoveryFile(file.bytes);
}

RecoveryFile::RecoveryFile(Engine& engine, AbCompare& ab, std::string path)
    : engine_(engine), ab_(ab), path_(std::move(path)) {}

RecoveryData RecoveryFile::Collect() {
  RecoveryData data;
  data.ab = ab_.Snapshot();
  if (history_) data.history = history_->SaveRecoveryPart();
  if (measurements_) data.measurements = measurements_->SaveRecoveryPart();
  return data;
}

void RecoveryFile::MarkWritten() { lastWritten_ = Collect(); }

bool RecoveryFile::Tick(Clock::time_point now) {
  if (lastWrite_ && now - *lastWrite_ < recovery::kThrottle) return false;
  // Compared before the bytes are made: the file's checksum is only worth computing for a write.
  RecoveryData data = Collect();
  if (data == lastWritten_) return false;
  return Write(std::move(data), now);
}

bool RecoveryFile::WriteNow(Clock::time_point now) { return Write(Collect(), now); }

bool RecoveryFile::Write(RecoveryData data, Clock::time_point now) {
  lastWrite_ = now;
  std::error_code ec;
  const auto folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (!WriteFileReplacing(path_, RecoveryFileBytes(data))) {
    ++failedWrites_;
    return false;
  }
  lastWritten_ = std::move(data);
  return true;
}

void RecoveryFile::Remove() {
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  lastWritten_.reset();
  lastWrite_.reset();
}

void RecoveryFile::Restore(const RecoveryData& data) {
  {
    std::lock_guard lock(engine_.Transfer());
    engine_.Image().live = data.Live();
    engine_.Data().UnpackAll(engine_.Image().live, CKTV_Data::kEffectPartLive);
    engine_.Queue().SetStatusSettleCount(CKTVCommand::kStatusSettleAfterStart);
  }
  ab_.Adopt(data.ab);
  const auto giveBack = [](RecoveryPart* part, const std::vector<std::uint8_t>& blob) {
    if (part && !part->RestoreRecoveryPart(blob)) part->RestoreRecoveryPart({});
  };
  giveBack(history_, data.history);
  giveBack(measurements_, data.measurements);
  // Sent as a loaded file is; without a processor the objects keep it until one connects.
  if (PresetLinkOpen(engine_)) StoreToSlot(engine_, 0, true);
  engine_.View().RefreshAll();
  MarkWritten();
}

}  // namespace zelto
