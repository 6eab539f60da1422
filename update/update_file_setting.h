#pragma once
// The last firmware update file, kept between runs in the settings store.

#include <cstddef>
#include <string>

#include "core/settings.h"

namespace zelto {

namespace update_file {

inline constexpr const char* kUpdateFileKey = "Software\\QRT-271-ULT.exe\\USB";
inline constexpr const char* kUpdateFileName = "Name";
inline constexpr const char* kUpdateFilePath = "Path";
// The stored texts are read into buffers of these sizes (one byte for the terminating zero).
inline constexpr std::size_t kUpdateNameBuffer = 300;
inline constexpr std::size_t kUpdatePathBuffer = 260;
struct UpdateFile {
  std::string name;
  std::string path;
  bool operator==(const UpdateFile&) const = default;
};
/// At start-up: when the key does not exist yet it is created with `current`, which is returned;
/// otherwise the stored values are read (a missing value reads as empty) and cut to their buffers.
UpdateFile LoadOrCreateUpdateFile(Settings& settings, const UpdateFile& current);

}  // namespace update_file
}  // namespace zelto
