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
constexpr std::size_t kMinSize = kHeaderSize + 2 * preset::kSize + 4 + kCrcSize;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t GetU32(std::span<const std::uint8_t> in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{in[at + static_cast<std::size_t>(i)]} << (8 * i);
  return v;
}

// CRC-32 (the polynomial of zip and PNG). The engine also builds for Windows, where no zlib comes
// with the cross compiler; a few kilobytes every two seconds need no table.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

RecoveryRead Refused(RecoveryReadError error) {
  RecoveryRead r;
  r.error = error;
  return r;
}

}  // namespace

std::vector<std::uint8_t> RecoveryFileBytes(const RecoveryData& data) {
  std::vector<std::uint8_t> out;
  out.reserve(kMinSize + data.history.size());
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
  PutU32(out, Crc32(out));
  return out;
}

RecoveryRead ParseRecoveryFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMagic.size() || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
    return Refused(RecoveryReadError::NotRecovery);
  if (bytes.size() < kMinSize) return Refused(RecoveryReadError::Damaged);
  const auto body = bytes.first(bytes.size() - kCrcSize);
  if (Crc32(body) != GetU32(bytes, body.size())) return Refused(RecoveryReadError::Damaged);
  if (GetU32(bytes, kMagic.size()) != recovery::kVersion) return Refused(RecoveryReadError::NotRecovery);
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
  const std::uint32_t historySize = GetU32(bytes, at);
  at += 4;
  if (historySize != body.size() - at) return Refused(RecoveryReadError::Damaged);
  data.history.assign(body.begin() + static_cast<std::ptrdiff_t>(at), body.end());
  RecoveryRead r;
  r.data = std::move(data);
  r.error = RecoveryReadError::None;
  return r;
}

RecoveryRead ReadRecoveryFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Refused(RecoveryReadError::Missing);
  const FileBytes file = ReadWholeFile(path, kMinSize + recovery::kMaxHistory);
  if (!file.ok()) return Refused(RecoveryReadError::Unreadable);
  return ParseRecoveryFile(file.bytes);
}

RecoveryFile::RecoveryFile(Engine& engine, AbCompare& ab, std::string path)
    : engine_(engine), ab_(ab), path_(std::move(path)) {}

RecoveryData RecoveryFile::Collect() {
  RecoveryData data;
  data.ab = ab_.Snapshot();
  if (history_) data.history = history_->SaveHistory();
  return data;
}

void RecoveryFile::MarkWritten() { lastWritten_ = RecoveryFileBytes(Collect()); }

bool RecoveryFile::Tick(Clock::time_point now) {
  if (lastWrite_ && now - *lastWrite_ < recovery::kThrottle) return false;
  std::vector<std::uint8_t> bytes = RecoveryFileBytes(Collect());
  if (bytes == lastWritten_) return false;
  return Write(std::move(bytes), now);
}

bool RecoveryFile::WriteNow(Clock::time_point now) { return Write(RecoveryFileBytes(Collect()), now); }

bool RecoveryFile::Write(std::vector<std::uint8_t> bytes, Clock::time_point now) {
  lastWrite_ = now;
  std::error_code ec;
  const auto folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (!WriteFileReplacing(path_, bytes)) {
    ++failedWrites_;
    return false;
  }
  lastWritten_ = std::move(bytes);
  return true;
}

void RecoveryFile::Remove() {
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  lastWritten_.clear();
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
  if (history_ && !history_->RestoreHistory(data.history)) history_->RestoreHistory({});
  // Sent as a loaded file is; without a processor the objects keep it until one connects.
  if (PresetLinkOpen(engine_)) StoreToSlot(engine_, 0, true);
  engine_.View().RefreshAll();
  MarkWritten();
}

}  // namespace zelto
