#pragma once
// The firmware image chosen for an update: which file, its bytes waiting to be sent, the check
// value that ends the transfer and the size of the progress bar. A DSP image (".mva") goes to the
// processor itself in 296-byte blocks; a controller image (".contr") to the hand controller in
// 48-byte blocks. Only one image is loaded at a time.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "update/update_view.h"

namespace zelto {

namespace update_file {
/// Where the last chosen image is remembered.
inline constexpr const char* kSettingsKey = "Software\\QRT-271-ULT.exe\\USB";
inline constexpr const char* kNameValue = "Name";  // the chosen image's full path
inline constexpr const char* kPathValue = "Path";  // working folder + DataFile + "*.bin"
inline constexpr std::string_view kDataFolder = "DataFile";
inline constexpr std::string_view kDataPattern = "*.bin";

inline constexpr std::string_view kDspExtension = "mva";
inline constexpr std::string_view kControllerExtension = "contr";
inline constexpr std::size_t kDspBlockSize = 296;
inline constexpr std::size_t kControllerBlockSize = 48;
/// Progress positions beyond the blocks: start, header, end and the replies around them.
inline constexpr int kExtraProgressSteps = 6;

inline constexpr std::uint8_t kChecksumSeed = 0x12;
/// The first bytes of an image do not take part in its check value.
inline constexpr std::size_t kChecksumSkip = 4;
/// No firmware image comes near this; a bigger file is not one.
inline constexpr std::size_t kMaxImageSize = 64u * 1024u * 1024u;
}  // namespace update_file

enum class UpdateImageKind { Dsp, Controller };

/// The image kind by the text after the last "." of the file's name (the whole name without
/// one), compared with exact case; nothing for any other extension.
std::optional<UpdateImageKind> UpdateImageKindOf(std::string_view path);

/// 0x12 XORed with every byte from offset 4 to the end.
std::uint8_t DspChecksum(std::span<const std::uint8_t> image);

/// Bytes consumed from the front while the transfer runs.
class ByteQueue {
 public:
  void Assign(std::vector<std::uint8_t> bytes) {
    bytes_ = std::move(bytes);
    front_ = 0;
  }
  void Clear() { Assign({}); }
  bool Empty() const { return front_ >= bytes_.size(); }
  std::size_t Remaining() const { return bytes_.size() - front_; }
  /// The first byte still waiting (0 when empty).
  std::uint8_t Peek() const { return Empty() ? 0 : bytes_[front_]; }
  /// Takes up to `n` bytes off the front.
  std::span<const std::uint8_t> Take(std::size_t n);

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t front_ = 0;
};

class UpdateImageFile {
 public:
  /// The path remembered from the last run, read at start-up.
  void RestoreFromSettings(Settings& settings);
  /// The browse dialog's result: with a chosen path, remembers it (and the data folder) in the
  /// settings and returns true; a cancelled dialog (nothing) changes nothing and returns false.
  bool ChooseUpdateFile(Settings& settings, const std::optional<std::string>& chosen);

  /// Reads the image at `UpdateFilePath`. Clears the loaded state first. Messages go to `view`:
  /// a file that cannot be read, or is empty, gives HexFileError (the path is forgotten when it
  /// could not be opened); a wrong extension WrongFileType; a controller image shows the
  /// ControllerWarning before it loads. Returns whether an image is loaded.
  bool Load(UpdateView& view);
  /// Forgets the loaded image (both queues empty, flags and count cleared).
  void Reset();

  std::string updateFilePath;
  ByteQueue dspImage;
  ByteQueue controllerImage;
  std::uint8_t dspChecksum = 0;
  bool dspLoaded = false;
  bool controllerLoaded = false;
  int updateBlockCount = 0;
};

}  // namespace zelto
