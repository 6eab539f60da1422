#pragma once
// Frame builders: each turns a piece of the device image into one queued message.

#include <array>
#include <cstdint>
#include <span>

#include "core/device_image.h"
#include "core/protocol.h"
#include "core/send_data.h"

namespace zelto {

/// Copies the header and `length - 16` payload bytes of `frame` into `buffer`, then stores the
/// check byte (XOR of bytes 4..length-3) and the end byte.
void FinishFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> buffer);

/// XOR of the bytes from the command byte to the last payload byte of a complete frame.
std::uint8_t FrameCheck(std::span<const std::uint8_t> frame);

/// Whether `frame` is the status poll (CMD_READ of SYS_STATUS), which the worker queues by itself.
bool IsStatusPoll(std::span<const std::uint8_t> frame);

/// Builds messages from the image. Holds the shared frame under construction: payload bytes a
/// builder does not set keep what the previous frame left, as on the wire.
/// Not thread-safe: callers hold the TransferLock.
class FrameBuilder {
 public:
  explicit FrameBuilder(DeviceImage& image);

  SendDataPtr BuildItemWrite(std::uint8_t blockType, int channel, int itemIndex);
  SendDataPtr BuildBlockWrite(int slot, BlockType type, int channel, bool fromLive, bool sourceSlot);
  SendDataPtr BuildBlockRead(int slot, BlockType type, int channel, bool intoLive);
  SendDataPtr BuildSystemRead(SystemItem item, int slot);
  SendDataPtr BuildSystemWrite(SystemItem item, int slot);

  /// Convenience overload for item writes of real block types.
  SendDataPtr BuildItemWrite(BlockType type, int channel, int itemIndex) {
    return BuildItemWrite(static_cast<std::uint8_t>(type), channel, itemIndex);
  }
  /// The status poll (CMD_READ of SYS_STATUS, eight zero payload bytes).
  SendDataPtr BuildStatusPoll() { return BuildItemWrite(kStatusPollPseudoType, 0, 0); }
  /// A firmware-update frame: CMD_WRITE to the system block, slot 0, header byte 8 = `step`,
  /// byte 9 = 0, bytes 10 and 11 as the previous frame left them; `payload` of at most 300
  /// bytes (null otherwise). The message's `updateStep` is set to `step`.
  SendDataPtr BuildUpdateFrame(std::uint8_t step, std::span<const std::uint8_t> payload);

  DeviceImage& Image() { return image_; }

 private:
  DeviceImage& image_;
  std::array<std::uint8_t, frame::kMaxSize> frame_{};
};

}  // namespace zelto
