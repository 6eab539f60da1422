#include "update/update_file.h"

#include <algorithm>
#include <filesystem>

#include "core/file_io.h"

namespace zelto {

using namespace update_file;

std::optional<UpdateImageKind> UpdateImageKindOf(std::string_view path) {
  const std::string name = FileName(std::string(path));
  const auto dot = name.rfind('.');
  const std::string_view ext =
      dot == std::string::npos ? std::string_view(name) : std::string_view(name).substr(dot + 1);
  if (ext == kDspExtension) return UpdateImageKind::Dsp;
  if (ext == kControllerExtension) return UpdateImageKind::Controller;
  return std::nullopt;
}

std::uint8_t DspChecksum(std::span<const std::uint8_t> image) {
  std::uint8_t sum = kChecksumSeed;
  if (image.size() > kChecksumSkip)
    for (std::uint8_t b : image.subspan(kChecksumSkip)) sum ^= b;
  return sum;
}

std::span<const std::uint8_t> ByteQueue::Take(std::size_t n) {
  n = std::min(n, Remaining());
  const auto taken = std::span<const std::uint8_t>(bytes_).subspan(front_, n);
  front_ += n;
  return taken;
}

void UpdateImageFile::RestoreFromSettings(Settings& settings) {
  updateFilePath = settings.Get(kSettingsKey, kNameValue).value_or(std::string{});
}

bool UpdateImageFile::ChooseUpdateFile(Settings& settings, const std::optional<std::string>& chosen) {
  if (!chosen) return false;
  updateFilePath = *chosen;
  std::error_code ec;
  const auto folder = std::filesystem::current_path(ec) / std::string(kDataFolder) / std::string(kDataPattern);
  const auto text = folder.u8string();
  settings.Set(kSettingsKey, kNameValue, updateFilePath);
  settings.Set(kSettingsKey, kPathValue, std::string(text.begin(), text.end()));
  return true;
}

void UpdateImageFile::Reset() {
  dspImage.Clear();
  controllerImage.Clear();
  dspLoaded = false;
  controllerLoaded = false;
  updateBlockCount = 0;
}

bool UpdateImageFile::Load(UpdateView& view) {
  FileBytes file = ReadWholeFile(updateFilePath, kMaxImageSize);
  if (file.status == FileBytes::Status::CannotOpen) {
    view.ShowUpdateMessage(UpdateMessage::HexFileError);
    updateFilePath.clear();
    return false;
  }
  Reset();
  const auto kind = UpdateImageKindOf(updateFilePath);
  if (!kind) {
    view.ShowUpdateMessage(UpdateMessage::WrongFileType);
    return false;
  }
  // An empty image would queue no frame at all and the transfer could never end; an unreadable
  // one would send a truncated image.
  if (!file.ok() || file.bytes.empty()) {
    view.ShowUpdateMessage(UpdateMessage::HexFileError);
    return false;
  }
  const std::size_t length = file.bytes.size();
  std::size_t blockSize = kDspBlockSize;
  // The controller's end message carries a check value too; the same rule gives it one.
  dspChecksum = DspChecksum(file.bytes);
  if (*kind == UpdateImageKind::Dsp) {
    dspImage.Assign(std::move(file.bytes));
    dspLoaded = true;
  } else {
    view.ShowUpdateMessage(UpdateMessage::ControllerWarning);
    controllerImage.Assign(std::move(file.bytes));
    controllerLoaded = true;
    blockSize = kControllerBlockSize;
  }
  updateBlockCount = static_cast<int>(length / blockSize) + kExtraProgressSteps;
  return true;
}

}  // namespace zelto
