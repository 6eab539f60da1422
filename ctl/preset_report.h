#pragma once
// PC data files read for the offline commands (show, diff, curve). A file is checked and read
// into an image of its own by the preset-file code; its presets are unpacked into parameter
// objects of their own, so every value is the one the editor would show after loading the file.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/change_tracking.h"
#include "core/device_image.h"
#include "core/encodings.h"
#include "ctl/report_tree.h"
#include "model/ktv_data.h"
#include "presets/preset_file.h"

namespace zelto::ctl {

struct PresetFileContents {
  std::string path;
  PresetFileKind kind = PresetFileKind::Single;
  std::vector<std::uint8_t> bytes;
  std::unique_ptr<DeviceImage> image;

  /// Slots the file holds a preset for: 0 (live) in both kinds, 1..20 in an all-slots file.
  bool HasSlot(int slot) const;
};

/// Reads and checks a ".dsps" or ".dspa" file. Nothing when it is not one; `error` then holds
/// the editor's message for the format and, on a second line, what was wrong.
std::optional<PresetFileContents> ReadPresetFile(const std::string& path, Language lang, std::string* error);

/// The parameter objects of one preset of a file, unpacked as a load would.
class PresetObjects {
 public:
  PresetObjects(const PresetFileContents& file, int slot);
  CKTV_Data& Data() { return *data_; }

 private:
  std::unique_ptr<DeviceImage> image_;
  ChangeTracking tracking_{false};
  std::unique_ptr<CKTV_Data> data_;
};

/// The file in engineering units: the system items and slot names of an all-slots file, and the
/// preset of `slot` (0 = live). With `everySlot` (an all-slots file) every stored preset too,
/// under "slot1".."slot20", for comparing whole files.
Node DescribeFile(const PresetFileContents& file, int slot, bool everySlot);

/// The readable table of `show`.
void PrintFile(const PresetFileContents& file, int slot, Language lang, std::ostream& out);

/// The response of output `channel` (0..7) of the preset of `slot` on the 241-point grid, in dB,
/// as the editor's graph sums it.
std::array<double, kGridPoints> ChannelCurveOf(const PresetFileContents& file, int slot, int channel);

/// One line per difference between two files ("path: a -> b", "+ path: b", "- path: a").
std::vector<std::string> DiffFiles(const PresetFileContents& a, const PresetFileContents& b, Language lang);

}  // namespace zelto::ctl
