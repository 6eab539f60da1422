#include "core/file_io.h"

#include <fstream>
#include <random>
#include <system_error>

namespace zelto {

namespace {

// Attempts at finding an unused temporary name before giving up.
constexpr int kTempNameAttempts = 16;
constexpr std::string_view kTempMarker = ".~zelto-";
constexpr std::string_view kTempSuffix = ".tmp";

std::filesystem::path TempPathBeside(const std::filesystem::path& target) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  std::filesystem::path temp = target;
  for (int i = 0; i < kTempNameAttempts; ++i) {
    char hex[17];
    const auto n = random();
    for (int d = 0; d < 16; ++d) hex[d] = "0123456789abcdef"[(n >> (4 * d)) & 0xF];
    hex[16] = '\0';
    temp = target;
    temp += std::string(kTempMarker) + hex + std::string(kTempSuffix);
    std::error_code ec;
    if (!std::filesystem::exists(temp, ec) && !ec) return temp;
  }
  return {};
}

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

FileBytes ReadWholeFile(const std::string& path, std::size_t maxSize) {
  FileBytes result;
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return result;
  // Read in pieces rather than trusting a size query: a device or a growing file may report
  // anything.
  constexpr std::size_t kPiece = 64 * 1024;
  std::vector<std::uint8_t> bytes;
  for (;;) {
    const std::size_t old = bytes.size();
    if (old > maxSize) {
      result.status = FileBytes::Status::TooLarge;
      return result;
    }
    const std::size_t want = std::min(kPiece, maxSize + 1 - old);
    bytes.resize(old + want);
    in.read(reinterpret_cast<char*>(bytes.data() + old), static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(in.gcount());
    bytes.resize(old + got);
    if (in.eof()) break;
    if (!in) {
      result.status = FileBytes::Status::ReadFailed;
      return result;
    }
  }
  if (bytes.size() > maxSize) {
    result.status = FileBytes::Status::TooLarge;
    return result;
  }
  result.status = FileBytes::Status::Ok;
  result.bytes = std::move(bytes);
  return result;
}

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::filesystem::path target = PathFromUtf8(path);
  std::error_code ec;
  // Never replace a folder (or anything else that is not a plain file) with the saved data.
  if (std::filesystem::exists(target, ec) && !std::filesystem::is_regular_file(target, ec)) return false;
  const std::filesystem::path temp = TempPathBeside(target);
  if (temp.empty()) return false;
  bool written = false;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      out.flush();
      written = static_cast<bool>(out);
      out.close();
      written = written && !out.fail();
    }
  }
  if (written) {
    std::filesystem::rename(temp, target, ec);
    if (!ec) return true;
  }
  std::filesystem::remove(temp, ec);
  return false;
}

std::string FileName(const std::string& path) {
  const auto name = PathFromUtf8(path).filename().u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace zelto
