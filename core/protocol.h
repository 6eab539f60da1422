#pragma once
// Wire codes of the processor's frame protocol. Every opcode, offset and length used by the
// builders, the receiver, the simulated processor and the file code is named here.

#include <cstddef>
#include <cstdint>

namespace zelto {

enum class Command : std::uint8_t {
  Write = 0xB3,   // CMD_WRITE: store the payload at the addressed block, item or system item
  Read = 0xB4,    // CMD_READ: return the addressed data (or the status for SYS_STATUS)
  Ack = 0x64,     // RSP_ACK: the front message was accepted
  Resend = 0x65,  // RSP_RESEND: send the front message again from its first byte
  Data = 0x66,    // RSP_DATA: returned data; header bytes 6..9 echo the request
};

enum class BlockType : std::uint8_t {
  MicIn = 1,
  MusicIn = 2,
  Output = 3,
  System = 4,
  Effect = 10,
};

/// Pseudo block type accepted by BuildItemWrite: builds the status poll instead of an item write.
inline constexpr std::uint8_t kStatusPollPseudoType = 7;

enum class SystemItem : std::uint8_t {
  Status = 3,
  SourceVolumes = 48,
  CurrentPreset = 64,
  PresetName = 134,
  DeviceInfo = 136,
  FactoryReset = 137,
  Settings = 144,
  ChannelTypes = 145,
  GroupLevels = 146,
};

inline constexpr std::uint8_t kSyncByte = 0xA2;      // sent kSyncRun times
inline constexpr std::uint8_t kSyncEndByte = 0xA3;   // ends the sync run
inline constexpr std::uint8_t kAltStartByte = 0xEE;  // also starts a frame, without any sync bytes
inline constexpr std::uint8_t kEndByte = 0xAA;
inline constexpr std::uint8_t kReadIntoSlot = 0xAB;  // header byte 9 of a block read into a stored slot
inline constexpr std::uint8_t kDeviceId = 1;         // device ID byte of every connection

// Frame layout: offsets from the first sync byte.
namespace frame {
inline constexpr std::size_t kCommand = 4;
inline constexpr std::size_t kDeviceId = 5;
inline constexpr std::size_t kSlot = 6;
inline constexpr std::size_t kBlockType = 7;
inline constexpr std::size_t kChannel = 8;    // channel index, or the system item code
inline constexpr std::size_t kItemIndex = 9;  // ItemIndex, or the READ_INTO_SLOT marker
inline constexpr std::size_t kLinkFlag = 10;
inline constexpr std::size_t kReserved = 11;
inline constexpr std::size_t kPayloadLength = 12;  // u16 little-endian
inline constexpr std::size_t kHeaderSize = 14;
inline constexpr std::size_t kMaxPayload = 300;
inline constexpr std::size_t kOverhead = 16;  // header, check byte and end byte
inline constexpr std::size_t kMaxSize = kHeaderSize + kMaxPayload + 2;
inline constexpr std::size_t kItemSize = 8;  // one item write carries 8 bytes
// A frame starts after exactly this many sync bytes (or with kAltStartByte alone), so a receiver
// that collects from the byte ending the run finds frame byte i at collected byte i - kSyncRun.
inline constexpr std::size_t kSyncRun = 3;
}  // namespace frame

// HID reports: report ID byte 0, then 312 data bytes.
inline constexpr std::size_t kHidReportSize = 313;
inline constexpr std::size_t kHidDataSize = 312;

// The processor's USB identity.
inline constexpr std::uint16_t kVendorId = 0x0483;
inline constexpr std::uint16_t kProductId = 0x5750;
inline constexpr std::uint16_t kVersionNumber = 0x0200;

}  // namespace zelto
