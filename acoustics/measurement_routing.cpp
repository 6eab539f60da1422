#include "acoustics/measurement_routing.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/command_queue.h"
#include "core/frame.h"
#include "core/protocol.h"
#include "core/send_data.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto::acoustics {

namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {'Z', 'R', 'U', 'N'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kBodySize = kOutputChannels * (1 + kMixSources);
constexpr std::size_t kFileSize = kMagic.size() + 1 + kBodySize + 4;
// A share is a percentage; anything larger is not ours.
constexpr std::uint8_t kMaxShare = 100;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

RoutingSnapshot TakeRouting(Engine& engine) {
  return engine.Data().Edit([](CKTV_Data& d) {
    RoutingSnapshot s;
    for (int ch = 0; ch < kOutputChannels; ++ch) {
      const auto i = static_cast<std::size_t>(ch);
      s.soundOn[i] = d.Output(ch).OutputSwitch();
      s.mix[i] = d.Output(ch).InputMix();
    }
    return s;
  });
}

void RouteTo(Editor& editor, std::span<const Route> routes) {
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    std::array<bool, kMixSources> feeds{};
    bool sounds = false;
    for (const auto& r : routes) {
      if (r.channel != ch || r.source < 0 || r.source >= kMixSources) continue;
      feeds[static_cast<std::size_t>(r.source)] = true;
      sounds = true;
    }
    if (!sounds) {
      editor.SetSoundOnTemporarily(ch, false);
      continue;
    }
    for (int src = 0; src < kMixSources; ++src) {
      editor.SetMixShareTemporarily(ch, src, feeds[static_cast<std::size_t>(src)] ? 100 : 0);
    }
    editor.SetSoundOnTemporarily(ch, true);
  }
}

void RestoreRouting(Editor& editor, const RoutingSnapshot& before) {
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    for (int src = 0; src < kMixSources; ++src) {
      editor.SetMixShareTemporarily(ch, src, before.mix[i][static_cast<std::size_t>(src)]);
    }
    editor.SetSoundOnTemporarily(ch, before.soundOn[i]);
  }
}

std::vector<std::uint8_t> RoutingBytes(const RoutingSnapshot& s) {
  std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
  out.push_back(kVersion);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    out.push_back(s.soundOn[i] ? 1 : 0);
    out.insert(out.end(), s.mix[i].begin(), s.mix[i].end());
  }
  PutU32(out, recovery::Crc32(out));
  return out;
}

std::optional<RoutingSnapshot> RoutingFromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kFileSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) ||
      bytes[kMagic.size()] != kVersion) {
    return std::nullopt;
  }
  const auto body = bytes.first(bytes.size() - 4);
  std::uint32_t crc = 0;
  for (int i = 0; i < 4; ++i)
    crc |= static_cast<std::uint32_t>(bytes[body.size() + static_cast<std::size_t>(i)]) << (8 * i);
  if (crc != recovery::Crc32(body)) return std::nullopt;
  RoutingSnapshot s;
  std::size_t at = kMagic.size() + 1;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    if (bytes[at] > 1) return std::nullopt;
    s.soundOn[i] = bytes[at++] != 0;
    for (auto& share : s.mix[i]) {
      if (bytes[at] > kMaxShare) return std::nullopt;
      share = bytes[at++];
    }
  }
  return s;
}

bool MeasurementGuard::Begin(const RoutingSnapshot& before, std::string* error) {
  namespace fs = std::filesystem;
  const fs::path path(path_);
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  // Written beside itself and renamed, so a crash while writing never leaves half a record.
  const fs::path temp = path.string() + ".tmp";
  const auto bytes = RoutingBytes(before);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      if (error) *error = "cannot write " + temp.string();
      return false;
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    if (error) *error = "cannot write " + path.string() + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

void MeasurementGuard::End() {
  std::error_code ec;
  std::filesystem::remove(path_, ec);
}

std::optional<RoutingSnapshot> MeasurementGuard::Pending() const {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  char c;
  while (bytes.size() <= kFileSize && in.get(c)) bytes.push_back(static_cast<std::uint8_t>(c));
  return RoutingFromBytes(bytes);
}

std::vector<std::uint8_t> MeasurementGuard::SaveRecoveryPart() {
  const auto pending = Pending();
  return pending ? RoutingBytes(*pending) : std::vector<std::uint8_t>{};
}

bool MeasurementGuard::RestoreRecoveryPart(std::span<const std::uint8_t> blob) {
  if (blob.empty()) {
    End();
    return true;
  }
  const auto snapshot = RoutingFromBytes(blob);
  if (!snapshot) return false;
  return Begin(*snapshot, nullptr);
}

bool RestoreLeftover(Editor& editor, const MeasurementGuard& guard) {
  const auto pending = guard.Pending();
  if (!pending) return false;
  RestoreRouting(editor, *pending);
  return true;
}

}  // namespace zelto::acoustics
