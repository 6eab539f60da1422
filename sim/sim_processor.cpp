#include "sim/sim_processor.h"

#include <algorithm>
#include <cstdio>

#include "core/bytes.h"
#include "core/frame.h"
#include "core/wire.h"

namespace zelto::sim {
namespace {

using Clock = std::chrono::steady_clock;

using frame::kSyncRun;
// Collected bytes start with the byte that began the frame, i.e. frame byte kSyncRun.
constexpr std::size_t kCollectedHeader = frame::kHeaderSize - kSyncRun;
constexpr std::size_t kCollectedLength = frame::kPayloadLength - kSyncRun;
// Room for the largest frame; anything declaring more is broken.
constexpr std::size_t kCollectCapacity = frame::kMaxSize;

using wire::kStatusSize;
using wire::kStatusSource;
using wire::kStatusSwitch;
using wire::kStatusVolume;
constexpr std::size_t kDeviceInfoSize = 17;
constexpr std::size_t kCurrentPresetReplySize = 1;
constexpr std::uint8_t kCorruptMask = 0xFF;

constexpr std::uint8_t Code(Command c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t Code(BlockType b) { return static_cast<std::uint8_t>(b); }
constexpr std::uint8_t Code(SystemItem i) { return static_cast<std::uint8_t>(i); }
constexpr std::uint8_t Code(UpdateStep s) { return static_cast<std::uint8_t>(s); }

std::optional<BlockType> ParameterBlock(std::uint8_t code) {
  switch (code) {
    case Code(BlockType::MicIn): return BlockType::MicIn;
    case Code(BlockType::MusicIn): return BlockType::MusicIn;
    case Code(BlockType::Output): return BlockType::Output;
    case Code(BlockType::Effect): return BlockType::Effect;
    default: return std::nullopt;
  }
}

bool IsSourceSlot(int slot) { return slot >= kFirstSourceSlot && slot <= kLastSourceSlot; }

using wire::CopyBounded;

std::vector<std::uint8_t> BuildReply(const SimFrameRecord& request, Command command,
                                     std::span<const std::uint8_t> payload) {
  std::array<std::uint8_t, frame::kMaxSize> work{};
  for (std::size_t i = 0; i < kSyncRun; ++i) work[i] = kSyncByte;
  work[kSyncRun] = kSyncEndByte;
  work[frame::kCommand] = Code(command);
  work[frame::kDeviceId] = request.bytes.size() > frame::kDeviceId ? request.bytes[frame::kDeviceId] : kDeviceId;
  // Bytes 6..9 echo the request: the tool routes data replies by them.
  work[frame::kSlot] = request.Slot();
  work[frame::kBlockType] = request.BlockTypeCode();
  work[frame::kChannel] = request.ChannelOrItem();
  work[frame::kItemIndex] = request.Byte9();
  const std::size_t n = std::min(payload.size(), frame::kMaxPayload);
  PutU16(work, frame::kPayloadLength, static_cast<std::uint16_t>(n));
  std::copy_n(payload.begin(), n, work.begin() + frame::kHeaderSize);
  std::vector<std::uint8_t> reply(n + frame::kOverhead);
  FinishFrame(work, reply);
  return reply;
}

std::string Hex(std::uint8_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", v);
  return text;
}

std::string CommandName(std::uint8_t c) {
  switch (c) {
    case Code(Command::Write): return "WRITE";
    case Code(Command::Read): return "READ";
    case Code(Command::Ack): return "ACK";
    case Code(Command::Resend): return "RESEND";
    case Code(Command::Data): return "DATA";
    default: return "CMD " + Hex(c);
  }
}

std::string BlockName(std::uint8_t b) {
  switch (b) {
    case Code(BlockType::MicIn): return "MIC_IN";
    case Code(BlockType::MusicIn): return "MUSIC_IN";
    case Code(BlockType::Output): return "OUTPUT";
    case Code(BlockType::System): return "SYSTEM";
    case Code(BlockType::Effect): return "EFFECT";
    default: return "BLOCK " + Hex(b);
  }
}

std::string SystemItemName(std::uint8_t item) {
  switch (item) {
    case Code(SystemItem::Status): return "STATUS";
    case Code(SystemItem::SourceVolumes): return "SOURCE_VOLUMES";
    case Code(SystemItem::CurrentPreset): return "CURRENT_PRESET";
    case Code(SystemItem::PresetName): return "PRESET_NAME";
    case Code(SystemItem::DeviceInfo): return "DEVICE_INFO";
    case Code(SystemItem::FactoryReset): return "FACTORY_RESET";
    case Code(SystemItem::Settings): return "SETTINGS";
    case Code(SystemItem::ChannelTypes): return "CHANNEL_TYPES";
    case Code(SystemItem::GroupLevels): return "GROUP_LEVELS";
    case Code(UpdateStep::DspStart): return "DSP_START";
    case Code(UpdateStep::DspHeader): return "DSP_HEADER";
    case Code(UpdateStep::DspBlock): return "DSP_BLOCK";
    case Code(UpdateStep::DspEnd): return "DSP_END";
    case Code(UpdateStep::CtrlBegin1): return "CTRL_BEGIN1";
    case Code(UpdateStep::CtrlBegin2): return "CTRL_BEGIN2";
    case Code(UpdateStep::CtrlBlock): return "CTRL_BLOCK";
    case Code(UpdateStep::CtrlEnd): return "CTRL_END";
    default: return "ITEM " + Hex(item);
  }
}

std::string ReplyName(Reply r) {
  switch (r) {
    case Reply::None: return "no reply";
    case Reply::Ack: return "ACK";
    case Reply::Resend: return "RESEND";
    case Reply::Data: return "DATA";
    case Reply::EmptyData: return "EMPTY DATA";
  }
  return "?";
}

}  // namespace

bool IsUpdateStep(std::uint8_t item) {
  return (item >= Code(UpdateStep::DspStart) && item <= Code(UpdateStep::DspEnd)) ||
         (item >= Code(UpdateStep::CtrlBegin1) && item <= Code(UpdateStep::CtrlEnd));
}

std::size_t SimFrameRecord::PayloadLength() const {
  return bytes.size() >= frame::kHeaderSize ? GetU16(bytes, frame::kPayloadLength) : 0;
}

std::span<const std::uint8_t> SimFrameRecord::Payload() const {
  const std::size_t n = PayloadLength();
  if (bytes.size() < frame::kHeaderSize + n) return {};
  return std::span(bytes).subspan(frame::kHeaderSize, n);
}

std::string DescribeFrame(const SimFrameRecord& r) {
  // Built by appending: GCC 12 warns (wrongly) about "literal" + std::string temporaries.
  std::string line = "#";
  line += std::to_string(r.number);
  line += r.valid ? " " : " BAD ";
  line += CommandName(r.Command());
  line += " slot ";
  line += std::to_string(r.Slot());
  line += ' ';
  line += BlockName(r.BlockTypeCode());
  if (r.BlockTypeCode() == Code(BlockType::System)) {
    line += ' ';
    line += SystemItemName(r.ChannelOrItem());
  } else {
    line += " ch ";
    line += std::to_string(r.ChannelOrItem());
  }
  if (r.Byte9() == kReadIntoSlot) {
    line += " into-slot";
  } else if (r.Byte9() != 0) {
    line += " idx ";
    line += std::to_string(r.Byte9());
  }
  if (r.LinkFlag() != 0) line += " linked";
  line += " len ";
  line += std::to_string(r.PayloadLength());
  line += " -> ";
  line += ReplyName(r.reply);
  return line;
}

SimProcessor::SimProcessor() { FactoryResetLocked(); }

// ---- The device side of a link ----

bool SimProcessor::PresentLocked(Clock::time_point now) const { return now >= absentUntil_; }

bool SimProcessor::Present() const {
  std::lock_guard lock(mutex_);
  return PresentLocked(Clock::now());
}

std::uint64_t SimProcessor::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

void SimProcessor::VanishLocked(std::chrono::milliseconds away) {
  ++generation_;
  // Every host's link goes with the device. The sessions stay (a frame being handled holds one);
  // only what they held goes.
  for (auto& [id, session] : sessions_) {
    session.inFrame = false;
    session.syncCount = 0;
    session.collected.clear();
    session.pending.clear();
  }
  absentUntil_ = away == kForever ? Clock::time_point::max() : Clock::now() + away;
}

SimProcessor::Session& SimProcessor::SessionLocked(SessionId id) {
  auto [it, added] = sessions_.try_emplace(id);
  if (added) it->second.collected.reserve(kCollectCapacity);
  return it->second;
}

bool SimProcessor::WriteOutputReport(std::span<const std::uint8_t, kHidReportSize> report, std::uint64_t generation,
                                     SessionId session) {
  std::vector<SimFrameRecord> done;
  std::function<void(const SimFrameRecord&)> observer;
  {
    std::lock_guard lock(mutex_);
    if (generation != generation_ || !PresentLocked(Clock::now())) return false;
    ScanLocked(report.subspan(1), SessionLocked(session), done);
    observer = observer_;
  }
  if (!done.empty()) framesChanged_.notify_all();
  if (observer)
    for (const auto& r : done) observer(r);
  return true;
}

bool SimProcessor::ReadInputReport(std::span<std::uint8_t, kHidReportSize> report, std::uint64_t generation,
                                   SessionId session) {
  std::lock_guard lock(mutex_);
  const auto now = Clock::now();
  if (generation != generation_ || !PresentLocked(now)) return false;
  std::fill(report.begin(), report.end(), 0);
  auto& pending = SessionLocked(session).pending;
  if (pending.empty() || pending.front().due > now) return true;
  Pending p = std::move(pending.front());
  pending.pop_front();
  std::copy_n(p.frame.begin(), std::min(p.frame.size(), kHidDataSize), report.begin() + 1);
  // The reply has left; only now may the device go (the host must see the acknowledgement of
  // STEP_DSP_START before the processor restarts).
  if (p.after == After::Restart) {
    ++update_.restarts;
    VanishLocked(restartTime_);
  } else if (p.after == After::Disconnect) {
    VanishLocked(disconnectAway_);
  }
  return true;
}

void SimProcessor::ResetLink(SessionId session) {
  std::lock_guard lock(mutex_);
  sessions_.erase(session);
}

void SimProcessor::ScanLocked(std::span<const std::uint8_t> bytes, Session& session,
                              std::vector<SimFrameRecord>& done) {
  bool& inFrame = session.inFrame;
  int& syncCount = session.syncCount;
  std::vector<std::uint8_t>& collected = session.collected;
  for (const std::uint8_t b : bytes) {
    if (!inFrame) {
      if (b == kSyncByte) {
        ++syncCount;
      } else if (b == kAltStartByte || syncCount == static_cast<int>(kSyncRun)) {
        inFrame = true;
        syncCount = 0;
        collected.assign(1, b);
      } else {
        syncCount = 0;
      }
      continue;
    }
    collected.push_back(b);
    if (collected.size() < kCollectedHeader) continue;
    const std::size_t payload = GetU16(collected, kCollectedLength);
    const std::size_t expected = payload + frame::kOverhead - kSyncRun;
    const bool oversized = payload > frame::kMaxPayload;
    if (!oversized && collected.size() < expected) continue;

    std::vector<std::uint8_t> whole(kSyncRun + collected.size(), kSyncByte);
    std::copy(collected.begin(), collected.end(), whole.begin() + kSyncRun);
    const bool valid = !oversized && whole.back() == kEndByte && whole[whole.size() - 2] == FrameCheck(whole);
    inFrame = false;
    collected.clear();
    SimFrameRecord record = HandleFrameLocked(std::move(whole), valid, session);
    ++frameCount_;
    if (logKept_) log_.push_back(record);
    done.push_back(std::move(record));
  }
}

bool SimProcessor::FaultHitsLocked(Fault fault, std::uint64_t frameNumber) const {
  const ActiveFault& f = faults_[static_cast<std::size_t>(fault)];
  return f.armed && frameNumber >= f.first && frameNumber <= f.last && (frameNumber - f.first) % f.every == 0;
}

SimFrameRecord SimProcessor::HandleFrameLocked(std::vector<std::uint8_t> bytes, bool valid, Session& session) {
  const auto now = Clock::now();
  SimFrameRecord record{++framesReceived_, std::move(bytes), valid, Reply::None, now};
  const std::uint64_t n = record.number;
  const bool isUpdate = valid && record.Command() == Code(Command::Write) &&
                        record.BlockTypeCode() == Code(BlockType::System) && IsUpdateStep(record.ChannelOrItem());
  if (isUpdate) {
    ++updateFramesReceived_;
    if (vanishAtUpdateFrame_ != 0 && updateFramesReceived_ >= vanishAtUpdateFrame_) {
      vanishAtUpdateFrame_ = 0;
      VanishLocked(kForever);
      return record;
    }
  }

  std::vector<std::uint8_t> payload;
  Reply reply = Reply::Resend;  // a broken frame is asked for again
  if (valid && !FaultHitsLocked(Fault::Resend, n)) {
    if (record.Command() == Code(Command::Read) && FaultHitsLocked(Fault::EmptyData, n))
      reply = Reply::EmptyData;
    else
      reply = ExecuteLocked(record, payload);
  }

  After after = After::Nothing;
  if (isUpdate && reply == Reply::Ack && record.ChannelOrItem() == Code(UpdateStep::DspStart)) after = After::Restart;
  if (disconnectAtFrame_ != 0 && n >= disconnectAtFrame_) {
    disconnectAtFrame_ = 0;
    after = After::Disconnect;
  }

  if (reply == Reply::None || FaultHitsLocked(Fault::DropReply, n)) {
    // The request was handled but its answer is lost; what follows it happens all the same.
    if (after == After::Restart) {
      ++update_.restarts;
      VanishLocked(restartTime_);
    } else if (after == After::Disconnect) {
      VanishLocked(disconnectAway_);
    }
    return record;
  }

  Command command = Command::Ack;
  switch (reply) {
    case Reply::Resend: command = Command::Resend; break;
    case Reply::Data:
    case Reply::EmptyData: command = Command::Data; break;
    default: break;
  }
  if (reply == Reply::EmptyData) payload.clear();
  std::vector<std::uint8_t> frame = BuildReply(record, command, payload);
  if (FaultHitsLocked(Fault::CorruptCheck, n)) frame[frame.size() - 2] ^= kCorruptMask;
  const auto delay =
      replyDelay_ + (FaultHitsLocked(Fault::SlowReply, n) ? slowReplyDelay_ : std::chrono::milliseconds{0});
  session.pending.push_back(Pending{std::move(frame), now + delay, after});
  record.reply = reply;
  return record;
}

Reply SimProcessor::ExecuteLocked(const SimFrameRecord& request, std::vector<std::uint8_t>& payload) {
  switch (request.Command()) {
    case Code(Command::Write):
      if (request.BlockTypeCode() == Code(BlockType::System) && IsUpdateStep(request.ChannelOrItem())) {
        RecordUpdateLocked(request);
        return Reply::Ack;
      }
      return ExecuteWriteLocked(request);
    case Code(Command::Read): return ExecuteReadLocked(request, payload);
    default: return Reply::None;  // the processor has nothing to say to a command it does not know
  }
}

Reply SimProcessor::ExecuteWriteLocked(const SimFrameRecord& request) {
  const auto payload = request.Payload();
  const int slot = request.Slot();
  if (request.BlockTypeCode() == Code(BlockType::System)) {
    const auto item = static_cast<SystemItem>(request.ChannelOrItem());
    switch (item) {
      case SystemItem::FactoryReset: FactoryResetLocked(); break;
      case SystemItem::PresetName: {
        auto preset = memory_.Preset(slot);
        if (!preset.empty()) CopyBounded(payload, preset.subspan(preset::kName, preset::kNameSize));
        break;
      }
      case SystemItem::SourceVolumes:
      case SystemItem::CurrentPreset:
      case SystemItem::Settings:
      case SystemItem::ChannelTypes:
      case SystemItem::GroupLevels: CopyBounded(payload, memory_.SystemItemArea(item)); break;
      default: break;  // status and identity are read-only; unknown items change nothing
    }
    return Reply::Ack;
  }
  const auto type = ParameterBlock(request.BlockTypeCode());
  if (!type) return Reply::Ack;
  if (payload.size() == frame::kItemSize) {
    auto block = memory_.Block(slot, *type, request.ChannelOrItem());
    const std::size_t offset = static_cast<std::size_t>(request.Byte9()) * frame::kItemSize;
    if (offset + frame::kItemSize <= block.size()) CopyBounded(payload, block.subspan(offset));
  } else if (payload.size() == wire::BlockWireSize(*type)) {
    if (*type == BlockType::Effect && IsSourceSlot(slot))
      CopyBounded(payload, memory_.Source(slot).subspan(source::kEffect));
    else
      CopyBounded(payload, memory_.Block(slot, *type, request.ChannelOrItem()));
  }
  return Reply::Ack;
}

Reply SimProcessor::ExecuteReadLocked(const SimFrameRecord& request, std::vector<std::uint8_t>& payload) {
  const int slot = request.Slot();
  if (request.BlockTypeCode() == Code(BlockType::System)) {
    const auto item = static_cast<SystemItem>(request.ChannelOrItem());
    switch (item) {
      case SystemItem::Status:
        payload.assign(kStatusSize, 0);
        payload[kStatusVolume] = static_cast<std::uint8_t>(std::clamp(memory_.MasterVolume(), 0, 0xFF));
        payload[kStatusSwitch] = memory_.MasterSwitch();
        payload[kStatusSource] = memory_.InputSource();
        return Reply::Data;
      case SystemItem::DeviceInfo:
        payload.assign(kDeviceInfoSize, 0);
        std::copy_n(identity_.begin(), std::min(identity_.size(), kDeviceInfoSize), payload.begin());
        return Reply::Data;
      case SystemItem::PresetName: {
        const auto preset = memory_.Preset(slot);
        if (preset.empty()) return Reply::EmptyData;
        const auto name = preset.subspan(preset::kName, preset::kNameSize);
        payload.assign(name.begin(), name.end());
        return Reply::Data;
      }
      case SystemItem::CurrentPreset:
        payload.assign(memory_.currentPreset.begin(), memory_.currentPreset.begin() + kCurrentPresetReplySize);
        return Reply::Data;
      case SystemItem::SourceVolumes:
      case SystemItem::Settings:
      case SystemItem::ChannelTypes:
      case SystemItem::GroupLevels: {
        const auto area = memory_.SystemItemArea(item);
        payload.assign(area.begin(), area.end());
        return Reply::Data;
      }
      default: return Reply::EmptyData;  // an item this firmware does not know
    }
  }
  const auto type = ParameterBlock(request.BlockTypeCode());
  if (!type) return Reply::EmptyData;
  const std::size_t size = wire::BlockWireSize(*type);
  std::span<std::uint8_t> area;
  if (*type == BlockType::Effect && IsSourceSlot(slot))
    area = memory_.Source(slot).subspan(source::kEffect, size);
  else if (auto block = memory_.Block(slot, *type, request.ChannelOrItem()); !block.empty())
    area = block.first(size);
  if (area.empty()) return Reply::EmptyData;
  payload.assign(area.begin(), area.end());
  // A read of a stored slot without the into-slot marker is a recall: the processor starts
  // running that slot, as the tool's live image will.
  if (slot != 0 && request.Byte9() != kReadIntoSlot) {
    auto live = memory_.Block(0, *type, request.ChannelOrItem());
    CopyBounded(payload, live);
    if (slot <= kLastPresetSlot) memory_.currentPreset[0] = static_cast<std::uint8_t>(slot);
  }
  return Reply::Data;
}

void SimProcessor::RecordUpdateLocked(const SimFrameRecord& request) {
  const auto payload = request.Payload();
  const std::uint8_t step = request.ChannelOrItem();
  update_.steps.push_back(step);
  switch (static_cast<UpdateStep>(step)) {
    case UpdateStep::DspStart:
      update_.dspHeader.clear();
      update_.dspImage.clear();
      update_.dspChecksum.reset();
      break;
    case UpdateStep::DspHeader: update_.dspHeader.assign(payload.begin(), payload.end()); break;
    case UpdateStep::DspBlock: update_.dspImage.insert(update_.dspImage.end(), payload.begin(), payload.end()); break;
    case UpdateStep::DspEnd:
      if (!payload.empty()) update_.dspChecksum = payload[0];
      break;
    case UpdateStep::CtrlBegin1:
      update_.controllerImage.clear();
      update_.controllerChecksum.reset();
      break;
    case UpdateStep::CtrlBegin2: break;
    case UpdateStep::CtrlBlock:
      update_.controllerImage.insert(update_.controllerImage.end(), payload.begin(), payload.end());
      break;
    case UpdateStep::CtrlEnd:
      if (!payload.empty()) update_.controllerChecksum = payload[0];
      break;
  }
}

void SimProcessor::FactoryResetLocked() {
  memory_ = DeviceImage{};
  InitDeviceImage(memory_);
  memory_.deviceInfoText.fill(0);
  std::copy_n(identity_.begin(), std::min(identity_.size(), memory_.deviceInfoText.size()),
              memory_.deviceInfoText.begin());
}

// ---- Identity ----

report_stream::Attributes SimProcessor::UsbAttributes() const {
  std::lock_guard lock(mutex_);
  return attributes_;
}

void SimProcessor::SetUsbAttributes(const report_stream::Attributes& attributes) {
  std::lock_guard lock(mutex_);
  attributes_ = attributes;
}

void SimProcessor::SetIdentity(std::string_view text) {
  std::lock_guard lock(mutex_);
  identity_ = std::string(text);
  memory_.deviceInfoText.fill(0);
  std::copy_n(identity_.begin(), std::min(identity_.size(), memory_.deviceInfoText.size()),
              memory_.deviceInfoText.begin());
}

// ---- Faults ----

void SimProcessor::InjectFault(Fault fault, FaultWindow window) {
  std::lock_guard lock(mutex_);
  ActiveFault& f = faults_[static_cast<std::size_t>(fault)];
  f.armed = window.count != 0;
  f.first = framesReceived_ + 1 + static_cast<std::uint64_t>(std::max(window.skip, 0));
  f.last = window.count < 0 ? UINT64_MAX : f.first + static_cast<std::uint64_t>(window.count) - 1;
  f.every = static_cast<std::uint64_t>(std::max(window.every, 1));
}

void SimProcessor::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_ = {};
  replyDelay_ = std::chrono::milliseconds{0};
  slowReplyDelay_ = std::chrono::milliseconds{0};
  disconnectAtFrame_ = 0;
  vanishAtUpdateFrame_ = 0;
  restartTime_ = kLoaderRestartTime;
}

void SimProcessor::SetReplyDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  replyDelay_ = std::max(delay, std::chrono::milliseconds{0});
}

void SimProcessor::SetSlowReplyDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  slowReplyDelay_ = std::max(delay, std::chrono::milliseconds{0});
}

void SimProcessor::DisconnectAfter(int frames, std::chrono::milliseconds away) {
  std::lock_guard lock(mutex_);
  disconnectAtFrame_ = frames > 0 ? framesReceived_ + static_cast<std::uint64_t>(frames) : 0;
  disconnectAway_ = away;
}

void SimProcessor::SetRestartTime(std::chrono::milliseconds away) {
  std::lock_guard lock(mutex_);
  restartTime_ = away;
}

void SimProcessor::VanishDuringUpdate(int updateFrames) {
  std::lock_guard lock(mutex_);
  vanishAtUpdateFrame_ = updateFrames > 0 ? updateFramesReceived_ + static_cast<std::uint64_t>(updateFrames) : 0;
}

void SimProcessor::Unplug() {
  std::lock_guard lock(mutex_);
  VanishLocked(kForever);
}

void SimProcessor::Replug() {
  std::lock_guard lock(mutex_);
  absentUntil_ = Clock::time_point{};
}

// ---- Inspection ----

DeviceImage SimProcessor::Memory() const {
  std::lock_guard lock(mutex_);
  return memory_;
}

void SimProcessor::EditMemory(const std::function<void(DeviceImage&)>& edit) {
  std::lock_guard lock(mutex_);
  edit(memory_);
}

void SimProcessor::FactoryReset() {
  std::lock_guard lock(mutex_);
  FactoryResetLocked();
}

std::vector<SimFrameRecord> SimProcessor::Frames() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::size_t SimProcessor::FrameCount() const {
  std::lock_guard lock(mutex_);
  return frameCount_;
}

void SimProcessor::SetFrameLogKept(bool kept) {
  std::lock_guard lock(mutex_);
  logKept_ = kept;
  if (!kept) log_.clear();
}

bool SimProcessor::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return framesChanged_.wait_for(lock, timeout, [&] { return frameCount_ >= count; });
}

void SimProcessor::ClearFrameLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
  frameCount_ = 0;
}

SimUpdateRecord SimProcessor::UpdateRecord() const {
  std::lock_guard lock(mutex_);
  return update_;
}

void SimProcessor::SetFrameObserver(std::function<void(const SimFrameRecord&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

}  // namespace zelto::sim
