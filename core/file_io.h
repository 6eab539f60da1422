#pragma once
// Whole-file reads and replacing writes for every file the engine reads or keeps (PC files, update
// images, measurements, the recovery file, car files). A file is opened, fully read or written and
// closed within one call; a write that fails leaves the file it was meant to replace as it was.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelto {

/// A path given as UTF-8 text (what the dialogs and the command line hand over).
std::filesystem::path PathFromUtf8(std::string_view text);

struct FileBytes {
  enum class Status { Ok, CannotOpen, TooLarge, ReadFailed };
  Status status = Status::CannotOpen;
  std::vector<std::uint8_t> bytes;
  bool ok() const { return status == Status::Ok; }
};

/// Reads the whole file. A file longer than `maxSize` is not read (TooLarge), so a huge or
/// endless file never fills the memory.
FileBytes ReadWholeFile(const std::string& path, std::size_t maxSize);

/// Writes `bytes` to a new file beside `path` and renames it over `path`. False when anything
/// fails; then `path` is untouched and the temporary file is gone.
bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes);

/// The file's name without its folder.
std::string FileName(const std::string& path);

}  // namespace zelto
