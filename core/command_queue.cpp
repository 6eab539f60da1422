#include "core/command_queue.h"

#include <algorithm>

#include "core/bytes.h"
#include "core/protocol.h"
#include "core/update_steps.h"
#include "core/wire.h"

namespace zelto {
namespace {

// Offsets into the collection buffer, whose byte 0 is the A3 (or EE) byte.
using frame::kSyncRun;
constexpr std::size_t CollectedAt(std::size_t frameOffset) { return frameOffset - kSyncRun; }
constexpr std::size_t kCmd = CollectedAt(frame::kCommand);
constexpr std::size_t kSlotAt = CollectedAt(frame::kSlot);
constexpr std::size_t kBlockTypeAt = CollectedAt(frame::kBlockType);
constexpr std::size_t kChannelAt = CollectedAt(frame::kChannel);
constexpr std::size_t kByte9At = CollectedAt(frame::kItemIndex);
constexpr std::size_t kLengthAt = CollectedAt(frame::kPayloadLength);
constexpr std::size_t kPayloadAt = CollectedAt(frame::kHeaderSize);
// Bytes needed before the declared length can be read, and the frame bytes around the payload.
constexpr std::size_t kLengthKnown = kLengthAt + 2;
constexpr std::size_t kCollectedOverhead = frame::kOverhead - kSyncRun;
// More than three A2 bytes in a row never start a frame; counting stops here.
constexpr int kSyncCountCap = static_cast<int>(kSyncRun) + 1;

using wire::kStatusFields;
using wire::kStatusSource;
using wire::kStatusSwitch;
using wire::kStatusVolume;

constexpr int kPresetsReadDoneSlot = 6;  // the last slot of a read of all preset slots
constexpr std::size_t kPresetNameChars = 15;
constexpr std::size_t kBlankedNameFirst = 13;  // name bytes 13 and 14 are stored as spaces
constexpr std::size_t kBlankedNameLast = 14;
constexpr std::uint8_t kSpace = 0x20;

constexpr std::intptr_t kWriteBatch = 1;
constexpr std::intptr_t kReadBatch = 0;
constexpr std::intptr_t kTextDue = 1;
constexpr std::intptr_t kProgressOnly = 0;

using wire::CopyBounded;

}  // namespace

CKTVCommand::CKTVCommand(DeviceImage& image, NoticeSink& sink) : image_(image), sink_(&sink) {}

CKTVCommand::~CKTVCommand() = default;

void CKTVCommand::Push(SendDataPtr message) {
  if (message) queue_.push_back(std::move(message));
}

bool CKTVCommand::PopFront() {
  if (queue_.empty()) return false;
  queue_.pop_front();
  flags_.Clear();
  return true;
}

void CKTVCommand::Clear() {
  queue_.clear();
  ClearReceiver();
  updateTextShown_ = false;
}

void CKTVCommand::ClearReceiver() {
  collected_ = 0;
  expectedLength_ = 0;
  inFrame_ = false;
  std::fill_n(collection_.begin(), kClearedBytes, 0);
}

void CKTVCommand::RewindFront() {
  if (!queue_.empty()) queue_.front()->Rewind();
}

bool CKTVCommand::FeedHidReport(std::span<std::uint8_t, kHidReportSize> report, std::size_t n) {
  if (n == 0) return false;
  n = std::min(n, kHidReportSize);
  // Every data byte is taken and cleared, so a report read again without new data is empty.
  std::copy_n(report.begin() + 1, kHidDataSize, scratch_.begin());
  std::fill(report.begin() + 1, report.end(), 0);
  return Receive(std::span<const std::uint8_t>(scratch_).first(n - 1));
}

bool CKTVCommand::Receive(std::span<const std::uint8_t> chunk) {
  check_ = 0;
  if (chunk.empty()) return false;
  std::size_t i = 0;
  if (!inFrame_) {
    for (; i < chunk.size(); ++i) {
      const std::uint8_t b = chunk[i];
      if (b == kSyncByte) {
        syncCount_ = std::min(syncCount_ + 1, kSyncCountCap);
        flags_.syncSeen = true;
        continue;
      }
      const bool starts = b == kAltStartByte || syncCount_ == static_cast<int>(kSyncRun);
      syncCount_ = 0;
      if (starts) {
        inFrame_ = true;
        collected_ = 0;
        break;
      }
    }
    if (!inFrame_) return false;
  }

  collected_ += CopyBounded(chunk.subspan(i), std::span(collection_).subspan(collected_));
  if (collected_ < kLengthKnown) return false;
  expectedLength_ = GetU16(collection_, kLengthAt) + kCollectedOverhead;
  if (expectedLength_ > kCollectionSize) {
    // No reply is this long; whatever declares it cannot be a frame of ours.
    ClearReceiver();
    flags_.badFrame = true;
    return false;
  }
  if (collected_ < expectedLength_) return false;

  // Bytes past the expected length belong to nothing we asked for and are dropped with the frame.
  flags_.frameComplete = true;
  for (std::size_t k = 1; k + 2 < expectedLength_; ++k) check_ ^= collection_[k];
  if (collection_[expectedLength_ - 1] != kEndByte || collection_[expectedLength_ - 2] != check_) {
    ClearReceiver();
    flags_.badFrame = true;
    return false;
  }
  command_ = collection_[kCmd];
  slot_ = collection_[kSlotAt];
  blockType_ = collection_[kBlockTypeAt];
  channelItem_ = collection_[kChannelAt];
  byte9_ = collection_[kByte9At];
  payloadLength_ = expectedLength_ - kCollectedOverhead;
  Dispatch();
  return true;
}

void CKTVCommand::Dispatch() {
  ReplyProgress();
  switch (static_cast<Command>(command_)) {
    case Command::Ack:
      ClearReceiver();
      PopFront();
      return;
    case Command::Resend:
      ClearReceiver();
      RewindFront();
      return;
    case Command::Data: StoreData(); return;
    case Command::Write:
    case Command::Read: break;
  }
  ClearReceiver();
}

void CKTVCommand::ReplyProgress() {
  const CSendData* front = Front();
  if (!front) return;
  if (front->standalone) {
    Post(Notice::TransferDone, 0, kReadBatch);
    return;
  }
  if (front->updateStep != 0) {
    if (front->progressStep != 0) UpdateProgress(*front);
    return;
  }
  const std::int32_t writeEnd = front->WriteBatchEnded();
  const std::int32_t readEnd = front->ReadBatchEnded();
  // The first message of a batch has step 0 and moves nothing. A batch of a single message ends
  // on that message all the same: without its notice the progress window would never close.
  if (front->progressStep == 0 && !writeEnd && !readEnd) return;
  Post(Notice::TransferPosition, front->progressStep);
  if (writeEnd) Post(Notice::TransferDone, 0, kWriteBatch);
  if (readEnd) Post(Notice::TransferDone, 0, kReadBatch);
}

void CKTVCommand::UpdateProgress(const CSendData& front) {
  const int step = front.updateStep;
  if (updateReplyHook_) updateReplyHook_(step);
  // "Programming......" stays on screen through a run of DSP blocks; it is shown again only after
  // a start, header or end reply has replaced it.
  bool textDue = false;
  switch (static_cast<UpdateStep>(step)) {
    case UpdateStep::DspBlock:
      textDue = !updateTextShown_;
      updateTextShown_ = true;
      break;
    case UpdateStep::CtrlBegin2:
    case UpdateStep::CtrlBlock:
      textDue = true;
      updateTextShown_ = true;
      break;
    case UpdateStep::DspStart:
    case UpdateStep::DspEnd:
    case UpdateStep::CtrlEnd:
      textDue = true;
      updateTextShown_ = false;
      break;
    case UpdateStep::DspHeader: updateTextShown_ = false; break;
    case UpdateStep::CtrlBegin1: break;
  }
  Post(Notice::UpdateStatus, step, textDue ? kTextDue : kProgressOnly);
}

void CKTVCommand::StoreData() {
  const auto payload = std::span<const std::uint8_t>(collection_).subspan(kPayloadAt, payloadLength_);
  if (payload.empty()) {
    flags_.emptyReply = true;
    Post(Notice::EmptyReply);
    ClearReceiver();
    return;
  }
  switch (static_cast<BlockType>(blockType_)) {
    case BlockType::MicIn:
    case BlockType::MusicIn:
    case BlockType::Output: StoreBlock(payload); break;
    case BlockType::Effect: StoreEffect(payload); break;
    case BlockType::System: StoreSystem(payload); break;
    default:
      // Nothing of ours has this block type: the reply answers no request.
      ClearReceiver();
      return;
  }
  // A data reply is the acknowledgement of the request it answers.
  ClearReceiver();
  PopFront();
}

void CKTVCommand::StoreBlock(std::span<const std::uint8_t> payload) {
  const auto type = static_cast<BlockType>(blockType_);
  const bool intoSlot = byte9_ == kReadIntoSlot;
  const int slot = (intoSlot && slot_ != 0) ? slot_ : 0;
  auto block = image_.Block(slot, type, channelItem_);
  if (!block.empty()) CopyBounded(payload, block.first(wire::BlockWireSize(type)));
  constexpr int kLastOutputChannel = kOutputChannels - 1;
  if (type != BlockType::Output || channelItem_ != kLastOutputChannel) return;
  if (!intoSlot) {
    Post(Notice::LiveReadDone, slot_);
  } else if (slot_ == kPresetsReadDoneSlot) {
    Post(Notice::PresetsReadDone, slot_);
  } else if (slot_ == 0) {
    Post(Notice::LiveReadDone, slot_);
  }
}

void CKTVCommand::StoreEffect(std::span<const std::uint8_t> payload) {
  const int slot = slot_;
  const std::size_t n = wire::BlockWireSize(BlockType::Effect);
  if (byte9_ != kReadIntoSlot) {
    CopyBounded(payload, image_.Block(0, BlockType::Effect, 0).first(n));
    if (slot >= kFirstSourceSlot) Post(Notice::SourceRead, slot);
    return;
  }
  if (auto rec = image_.Source(slot); !rec.empty()) {
    CopyBounded(payload, rec.subspan(source::kEffect, n));
    if (slot == kLastSourceSlot) Post(Notice::SourcesReadDone, slot);
  } else if (auto fx = image_.Block(slot, BlockType::Effect, 0); !fx.empty()) {
    CopyBounded(payload, fx.first(n));  // slot 0 is the live record, 1..20 the stored presets
  }
}

void CKTVCommand::StoreSystem(std::span<const std::uint8_t> payload) {
  const auto item = static_cast<SystemItem>(channelItem_);
  switch (item) {
    case SystemItem::Status: SettleStatus(payload); break;
    case SystemItem::SourceVolumes:
    case SystemItem::Settings:
    case SystemItem::ChannelTypes:
    case SystemItem::GroupLevels:
    case SystemItem::CurrentPreset: CopyBounded(payload, image_.SystemItemArea(item)); break;
    case SystemItem::PresetName: {
      auto p = image_.Preset(slot_);
      if (p.empty()) break;
      auto name = p.subspan(preset::kName, kPresetNameChars);
      CopyBounded(payload, name);
      name[kBlankedNameFirst] = kSpace;
      name[kBlankedNameLast] = kSpace;
      Post(Notice::PresetName, slot_);
      break;
    }
    case SystemItem::DeviceInfo: {
      auto text = std::span(image_.deviceInfoText);
      // A short identity must not leave the tail of an earlier one behind.
      const std::size_t n = CopyBounded(payload, text);
      std::fill(text.begin() + static_cast<std::ptrdiff_t>(n), text.end(), 0);
      Post(Notice::DeviceInfo);
      break;
    }
    case SystemItem::FactoryReset: break;
  }
}

void CKTVCommand::SettleStatus(std::span<const std::uint8_t> payload) {
  // Right after a local change the processor may still report the old value; only once enough
  // replies have passed is a difference taken as a change made at the processor.
  // The user-interface thread may reset the count at any time; a compare-and-swap keeps that reset.
  int count = statusSettleCount_.load();
  while (count < kStatusSettleLimit && !statusSettleCount_.compare_exchange_weak(count, count + 1)) {
  }
  if (count < kStatusSettleLimit) return;
  if (count > kStatusSettleLimit) statusSettleCount_.compare_exchange_strong(count, kStatusSettleLimit);
  if (payload.size() < kStatusFields) return;
  if (payload[kStatusSource] != image_.InputSource()) {
    Post(Notice::DeviceSource, payload[kStatusSource]);
  } else if (payload[kStatusVolume] != image_.MasterVolume()) {
    Post(Notice::DeviceVolume, payload[kStatusVolume]);
  } else if (payload[kStatusSwitch] != image_.MasterSwitch()) {
    Post(Notice::DeviceMute, payload[kStatusSwitch]);
  }
}

}  // namespace zelto
