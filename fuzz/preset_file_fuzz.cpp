// Feeds arbitrary bytes to the two PC data file loaders and traps when a refused file changed the
// image, when an accepted one did not land exactly where it belongs, or when saving what was
// loaded does not give the file back.
//
// Input: one control byte, then the data.
//   control & 3 == 0: the data is the file, as is
//   control & 3 == 1: a single-preset file: the identification, then the data, cut or padded to
//                     the exact length unless bit 2 is set
//   control & 3 == 2: the same for an all-slots file
//   control & 3 == 3: the data goes through a real file and the whole-file reader first

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/device_image.h"
#include "core/file_io.h"
#include "presets/preset_file.h"

namespace {

using namespace zelto;
using Bytes = std::vector<std::uint8_t>;

Bytes FileAreas(const DeviceImage& image) {
  Bytes b(image.systemArea.begin(), image.systemArea.end());
  for (const auto& slot : image.presetSlots) b.insert(b.end(), slot.begin(), slot.end());
  b.insert(b.end(), image.live.begin(), image.live.end());
  b.insert(b.end(), image.delayMemory.begin(), image.delayMemory.end());
  return b;
}

Bytes WithIdentification(std::span<const std::uint8_t> body, std::size_t size, bool exact) {
  Bytes file;
  file.push_back(static_cast<std::uint8_t>(preset_file::kIdentification.size()));
  file.insert(file.end(), preset_file::kIdentification.begin(), preset_file::kIdentification.end());
  file.insert(file.end(), body.begin(), body.end());
  if (exact) file.resize(size, 0);
  return file;
}

void Trap(bool ok) {
  if (!ok) std::abort();
}

void CheckSingle(const Bytes& file) {
  DeviceImage image;
  InitDeviceImage(image);
  const Bytes before = FileAreas(image);
  if (!ReadSinglePresetFile(file, image)) {
    Trap(FileAreas(image) == before);
    return;
  }
  Trap(file.size() == preset_file::kSingleSize);
  Trap(SinglePresetFileBytes(image) == file);
  // Only the live image may change.
  DeviceImage other;
  InitDeviceImage(other);
  other.live = image.live;
  Trap(FileAreas(other) == FileAreas(image));
}

void CheckAllSlots(const Bytes& file) {
  DeviceImage image;
  InitDeviceImage(image);
  const Bytes before = FileAreas(image);
  if (!ReadAllSlotsFile(file, image)) {
    Trap(FileAreas(image) == before);
    return;
  }
  Trap(file.size() == preset_file::kAllSlotsSize);
  Trap(image.delayMemory[kDelaySelector] <= preset_file::kLastDelayRecord);
  Trap(std::equal(image.live.begin(), image.live.end(), file.begin() + preset_file::kAllLive));
  // Saving gives the file back, apart from what loading and saving always set.
  DeviceImage copy = image;
  Bytes again = AllSlotsFileBytes(copy);
  Bytes expected = file;
  for (int i = 0; i < preset_file::kStoredSlots; ++i)
    expected[preset_file::kAllSlots + static_cast<std::size_t>(i) * preset::kSize + preset::kMusicSwitch] =
        preset_file::kMusicInputOn;
  auto& selector = expected[preset_file::kAllDelayMemory + kDelaySelector];
  selector = std::min(selector, preset_file::kLastDelayRecord);
  Trap(again == expected);
}

std::string TempFile() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("zelto-fuzz-" + std::to_string(::getpid()) + ".dspa")).string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  const bool exact = (control & 4) == 0;
  switch (control & 3) {
    case 0: {
      const Bytes file(rest.begin(), rest.end());
      CheckSingle(file);
      CheckAllSlots(file);
      break;
    }
    case 1: CheckSingle(WithIdentification(rest, preset_file::kSingleSize, exact)); break;
    case 2: CheckAllSlots(WithIdentification(rest, preset_file::kAllSlotsSize, exact)); break;
    case 3: {
      const Bytes written = WithIdentification(rest, preset_file::kSingleSize, exact);
      const std::string path = TempFile();
      Trap(WriteFileReplacing(path, written));
      const FileBytes single = ReadWholeFile(path, preset_file::kSingleSize);
      Trap(single.ok() == (written.size() <= preset_file::kSingleSize));
      if (single.ok()) {
        Trap(single.bytes == written);
        CheckSingle(single.bytes);
      }
      const FileBytes all = ReadWholeFile(path, preset_file::kAllSlotsSize);
      if (all.ok()) CheckAllSlots(all.bytes);
      break;
    }
  }
  return 0;
}
