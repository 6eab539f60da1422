// The firmware image loader on arbitrary files: a DSP image (.mva), a controller image (.contr)
// or a file of another type. Traps when a loaded image's blocks, check value or progress range
// disagree with the bytes, or a refused file leaves anything loaded.
//
// Input: the first byte chooses the extension, the rest is the file.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "core/settings.h"
#include "update/update_file.h"

namespace {

using namespace zelto;

class QuietView final : public UpdateView {
 public:
  void ShowUpdateMessage(UpdateMessage) override { ++messages; }
  int messages = 0;
};

std::string ScratchPath(const char* extension) {
  const auto name = "zelto-update-fuzz-" + std::to_string(::getpid()) + "." + extension;
  return (std::filesystem::temp_directory_path() / name).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const kExtensions[] = {"mva", "contr", "MVA", "bin"};
  const char* extension = kExtensions[data[0] % 4];
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  const std::string path = ScratchPath(extension);
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  } else {
    return 0;
  }

  UpdateImageFile file;
  file.updateFilePath = path;
  QuietView view;
  const bool loaded = file.Load(view);
  std::remove(path.c_str());

  if (!loaded) {
    if (file.dspLoaded || file.controllerLoaded || !file.dspImage.Empty() || !file.controllerImage.Empty())
      __builtin_trap();
    return 0;
  }
  if (file.dspLoaded == file.controllerLoaded) __builtin_trap();  // exactly one image
  if (bytes.empty()) __builtin_trap();                            // an empty file is no image
  if (file.dspLoaded) {
    if (file.dspImage.Remaining() != bytes.size()) __builtin_trap();
    if (file.dspChecksum != DspChecksum(bytes)) __builtin_trap();
  } else if (file.controllerImage.Remaining() != bytes.size()) {
    __builtin_trap();
  }
  if (file.updateBlockCount <= 0) __builtin_trap();
  return 0;
}
