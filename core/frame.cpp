#include "core/frame.h"

#include <algorithm>
#include <cassert>

#include "core/bytes.h"

namespace zelto {
namespace {

constexpr std::size_t kCheckFromEnd = 2;  // the check byte sits before the end byte
constexpr std::uint8_t kNoItemIndex = 0;
constexpr std::uint8_t kNoLink = 0;

// Payload sizes of the whole-block writes and of the system items.
constexpr std::size_t kInputBlockPayload = in::kSize;
constexpr std::size_t kOutputBlockPayload = out::kSendSize;
constexpr std::size_t kEffectBlockPayload = fx::kSendSize;
constexpr std::size_t kReadRequestPayload = frame::kItemSize;
constexpr std::size_t kPresetNameChars = 15;
constexpr std::size_t kPresetNamePayload = preset::kNameSize;
constexpr std::size_t kFactoryResetPayload = 7;

// The item write of the output block's switch/gain item and of anything past the first mix item
// goes to this channel alone: switching or tuning one channel must not drag its link partner.
bool ItemCarriesLinkFlag(int itemIndex) { return itemIndex != out::kItemSwitch && itemIndex <= out::kItemMixA; }

}  // namespace

std::uint8_t FrameCheck(std::span<const std::uint8_t> frame) {
  std::uint8_t check = 0;
  if (frame.size() < frame::kOverhead) return check;
  for (std::size_t i = frame::kCommand; i < frame.size() - kCheckFromEnd; ++i) check ^= frame[i];
  return check;
}

bool IsStatusPoll(std::span<const std::uint8_t> frame) {
  return frame.size() > frame::kChannel && frame[frame::kCommand] == static_cast<std::uint8_t>(Command::Read) &&
         frame[frame::kBlockType] == static_cast<std::uint8_t>(BlockType::System) &&
         frame[frame::kChannel] == static_cast<std::uint8_t>(SystemItem::Status);
}

void FinishFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> buffer) {
  const std::size_t length = buffer.size();
  assert(length >= frame::kOverhead && length - kCheckFromEnd <= frame.size());
  if (length < frame::kOverhead || length - kCheckFromEnd > frame.size()) return;
  std::copy_n(frame.begin(), length - kCheckFromEnd, buffer.begin());
  buffer[length - kCheckFromEnd] = FrameCheck(buffer);
  buffer[length - 1] = kEndByte;
}

FrameBuilder::FrameBuilder(DeviceImage& image) : image_(image) {
  frame_[0] = frame_[1] = frame_[2] = kSyncByte;
  frame_[3] = kSyncEndByte;
  frame_[frame_.size() - 1] = kEndByte;
}

namespace {

// Header bytes 4..10 and the length; byte 11 stays as it is (always zero).
void SetHeader(std::span<std::uint8_t> f, Command cmd, int slot, std::uint8_t blockType, int channel,
               std::uint8_t byte9, std::uint8_t linkFlag, std::size_t payload) {
  f[frame::kCommand] = static_cast<std::uint8_t>(cmd);
  f[frame::kDeviceId] = kDeviceId;
  f[frame::kSlot] = static_cast<std::uint8_t>(slot);
  f[frame::kBlockType] = blockType;
  f[frame::kChannel] = static_cast<std::uint8_t>(channel);
  f[frame::kItemIndex] = byte9;
  f[frame::kLinkFlag] = linkFlag;
  PutU16(f, frame::kPayloadLength, static_cast<std::uint16_t>(payload));
}

// Slot, channel and item numbers travel as single header bytes.
bool FitsHeaderByte(int v) { return v >= 0 && v <= 0xFF; }

std::span<std::uint8_t> Payload(std::span<std::uint8_t> f, std::size_t n) { return f.subspan(frame::kHeaderSize, n); }

SendDataPtr MakeMessage(std::span<const std::uint8_t> f, std::size_t payload) {
  const std::size_t length = payload + frame::kOverhead;
  auto buffer = std::make_unique<std::uint8_t[]>(length);
  FinishFrame(f, std::span(buffer.get(), length));
  auto msg = std::make_unique<CSendData>();
  msg->SetBuffer(std::move(buffer), static_cast<std::int32_t>(length));
  return msg;
}

}  // namespace

SendDataPtr FrameBuilder::BuildItemWrite(std::uint8_t blockType, int channel, int itemIndex) {
  if (!FitsHeaderByte(channel) || !FitsHeaderByte(itemIndex)) return nullptr;
  if (blockType == kStatusPollPseudoType) {
    SetHeader(frame_, Command::Read, 0, static_cast<std::uint8_t>(BlockType::System),
              static_cast<int>(SystemItem::Status), kNoItemIndex, kNoLink, frame::kItemSize);
    // The processor ignores the poll's payload; zeros keep the frame independent of its predecessor.
    std::ranges::fill(Payload(frame_, frame::kItemSize), 0);
    return MakeMessage(frame_, frame::kItemSize);
  }
  const auto type = static_cast<BlockType>(blockType);
  std::span<std::uint8_t> block;
  std::uint8_t link = kNoLink;
  switch (type) {
    case BlockType::MicIn:
    case BlockType::MusicIn:
    case BlockType::Effect: block = image_.Block(0, type, channel); break;
    case BlockType::Output:
      // Only the first 296 bytes of an output block exist on the processor.
      block = image_.Block(0, type, channel);
      if (!block.empty()) block = block.first(out::kSendSize);
      if (ItemCarriesLinkFlag(itemIndex) && image_.IsChannelLinked(channel)) link = 1;
      break;
    case BlockType::System: break;
  }
  const std::size_t offset = static_cast<std::size_t>(itemIndex) * frame::kItemSize;
  if (itemIndex < 0 || block.empty() || offset + frame::kItemSize > block.size()) return nullptr;
  SetHeader(frame_, Command::Write, 0, blockType, channel, static_cast<std::uint8_t>(itemIndex), link,
            frame::kItemSize);
  std::ranges::copy(block.subspan(offset, frame::kItemSize), Payload(frame_, frame::kItemSize).begin());
  return MakeMessage(frame_, frame::kItemSize);
}

SendDataPtr FrameBuilder::BuildBlockWrite(int slot, BlockType type, int channel, bool fromLive, bool sourceSlot) {
  if (!FitsHeaderByte(slot) || !FitsHeaderByte(channel)) return nullptr;
  const int from = fromLive ? 0 : slot;
  std::span<const std::uint8_t> src;
  std::uint8_t link = kNoLink;
  switch (type) {
    case BlockType::MicIn: src = image_.Block(from, type, channel); break;
    case BlockType::MusicIn: {
      auto music = image_.Block(from, type, channel);
      // Storing the live settings into a device slot always stores the music input switched on.
      if (fromLive && slot != 0 && !music.empty()) music[in::kSwitch] = 1;
      src = music;
      break;
    }
    case BlockType::Output:
      src = image_.Block(from, type, channel);
      if (!src.empty()) src = src.first(kOutputBlockPayload);
      if (image_.IsChannelLinked(channel)) link = 1;
      break;
    case BlockType::Effect:
      if (fromLive || sourceSlot) {
        src = image_.Block(from, type, channel);
      } else {
        auto rec = image_.Source(slot);
        if (!rec.empty()) src = rec.subspan(source::kEffect, kEffectBlockPayload);
      }
      if (!src.empty()) src = src.first(kEffectBlockPayload);
      break;
    case BlockType::System: break;
  }
  if (src.empty()) return nullptr;
  const std::size_t n = src.size();
  static_assert(kInputBlockPayload <= frame::kMaxPayload && kOutputBlockPayload <= frame::kMaxPayload);
  SetHeader(frame_, Command::Write, slot, static_cast<std::uint8_t>(type), channel, kNoItemIndex, link, n);
  std::ranges::copy(src, Payload(frame_, n).begin());
  return MakeMessage(frame_, n);
}

SendDataPtr FrameBuilder::BuildBlockRead(int slot, BlockType type, int channel, bool intoLive) {
  if (!FitsHeaderByte(slot) || !FitsHeaderByte(channel)) return nullptr;
  const std::uint8_t marker = (intoLive && slot != 0) ? 0 : kReadIntoSlot;
  SetHeader(frame_, Command::Read, slot, static_cast<std::uint8_t>(type), channel, marker, kNoLink,
            kReadRequestPayload);
  std::ranges::fill(Payload(frame_, kReadRequestPayload), 0);
  return MakeMessage(frame_, kReadRequestPayload);
}

SendDataPtr FrameBuilder::BuildSystemRead(SystemItem item, int slot) {
  if (!FitsHeaderByte(slot)) return nullptr;
  SetHeader(frame_, Command::Read, slot, static_cast<std::uint8_t>(BlockType::System), static_cast<int>(item),
            kNoItemIndex, kNoLink, kReadRequestPayload);
  std::ranges::fill(Payload(frame_, kReadRequestPayload), 0);
  return MakeMessage(frame_, kReadRequestPayload);
}

SendDataPtr FrameBuilder::BuildSystemWrite(SystemItem item, int slot) {
  if (!FitsHeaderByte(slot)) return nullptr;
  std::size_t n = 0;
  switch (item) {
    case SystemItem::SourceVolumes:
    case SystemItem::Settings:
    case SystemItem::ChannelTypes:
    case SystemItem::GroupLevels: {
      auto area = image_.SystemItemArea(item);
      n = area.size();
      std::ranges::copy(area, Payload(frame_, n).begin());
      break;
    }
    case SystemItem::PresetName: {
      auto p = image_.Preset(slot);
      if (p.empty()) return nullptr;
      n = kPresetNamePayload;
      auto pl = Payload(frame_, n);
      std::copy_n(p.begin() + preset::kName, kPresetNameChars, pl.begin());
      pl[kPresetNameChars] = 0;
      break;
    }
    case SystemItem::FactoryReset:
      n = kFactoryResetPayload;
      std::ranges::fill(Payload(frame_, n), 0);
      break;
    // The current preset is a reply-only item: a write would carry nothing the processor stores,
    // so none is built. Status and identity are requested with reads.
    case SystemItem::CurrentPreset:
    case SystemItem::Status:
    case SystemItem::DeviceInfo: return nullptr;
  }
  if (n == 0) return nullptr;
  SetHeader(frame_, Command::Write, slot, static_cast<std::uint8_t>(BlockType::System), static_cast<int>(item),
            kNoItemIndex, kNoLink, n);
  return MakeMessage(frame_, n);
}

SendDataPtr FrameBuilder::BuildUpdateFrame(std::uint8_t step, std::span<const std::uint8_t> payload) {
  if (payload.size() > frame::kMaxPayload) return nullptr;
  auto f = std::span(frame_);
  f[frame::kCommand] = static_cast<std::uint8_t>(Command::Write);
  f[frame::kDeviceId] = kDeviceId;
  f[frame::kSlot] = 0;
  f[frame::kBlockType] = static_cast<std::uint8_t>(BlockType::System);
  f[frame::kChannel] = step;
  f[frame::kItemIndex] = kNoItemIndex;
  // The link flag byte stays as the previous frame left it; the processor ignores it here.
  PutU16(f, frame::kPayloadLength, static_cast<std::uint16_t>(payload.size()));
  std::ranges::copy(payload, Payload(f, payload.size()).begin());
  auto m = MakeMessage(frame_, payload.size());
  m->updateStep = step;
  return m;
}

}  // namespace zelto
