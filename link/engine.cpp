#include "link/engine.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <thread>
#include <utility>

#include "core/batch.h"

namespace zelto {

namespace {

bool SamePathIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

constexpr SystemItem kReadBackSystemItems[] = {SystemItem::Settings, SystemItem::GroupLevels, SystemItem::ChannelTypes,
                                               SystemItem::CurrentPreset, SystemItem::SourceVolumes};
constexpr int kReadBackNameSlots = 6;

}  // namespace

std::string_view UserMessageText(UserMessage message, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (message) {
    case UserMessage::UnableToConnect: return zh ? "无法连接设备" : "unable to connect";
    case UserMessage::UpdateFirmware: return zh ? "数据回传错误!" : "Please Update the Firmware!";
  }
  return {};
}

Engine::Engine(std::unique_ptr<HidTransport> transport, Settings& settings, NoticeSink& sink, LinkView& view,
               Language& lang)
    : language(lang),
      transport_(std::move(transport)),
      settings_(settings),
      sink_(sink),
      view_(view),
      queue_(image_, sink),
      builder_(image_),
      link_(*transport_, settings_, flags_),
      worker_(link_, queue_, flags_, transferLock_, sink_,
              [this] {
                ServeLiveSnapshot();
                return data_->NextChangeMessage(builder_);
              }),
      watcher_(*transport_, sink_, timing_.watcherPeriod) {
  InitDeviceImage(image_);
  data_ = std::make_unique<CKTV_Data>(image_, tracking_);
}

Engine::~Engine() {
  watcher_.Stop();
  worker_.StopWorker(false);
}

void Engine::SetLinkTiming(const LinkTiming& timing) {
  timing_ = timing;
  worker_.SetTiming(timing);
  watcher_.SetPeriod(timing.watcherPeriod);
}

void Engine::StartDeviceWatcher() { watcher_.Start(); }
void Engine::StopDeviceWatcher() { watcher_.Stop(); }

void Engine::BeginConnection(bool underLock, bool trackingOn) {
  queue_.Clear();
  data_->ClearAllDirty();
  batchCounter = 0;
  flags_.connected = true;
  {
    std::unique_lock<TransferLock> lock(transferLock_, std::defer_lock);
    if (underLock) lock.lock();
    queue_.Push(builder_.BuildSystemRead(SystemItem::DeviceInfo, 0));
  }
  if (trackingOn) tracking_.Set(true);
  view_.ShowConnectedState(true);
  worker_.StartWorker();
}

void Engine::AutoConnect() {
  queue_.SetStatusSettleCount(CKTVCommand::kStatusSettleAfterStart);
  if (!link_.OpenFirstFreeDevice()) return;
  BeginConnection(true, false);
}

void Engine::OnConnectButton() {
  if (flags_.connected) {
    worker_.StopWorker(true);
    std::this_thread::sleep_for(timing_.afterStopOnFailure);
    CloseUsbConnection();
    return;
  }
  if (!link_.OpenFirstFreeDevice()) {
    UnableToConnect(link_.HasRefusedOpen() ? ConnectFailure::Refused : ConnectFailure::NotFound);
    return;
  }
  BeginConnection(false, false);
}

void Engine::ArrivalConnect(const std::string& path) {
  if (flags_.connected) return;
  if (!link_.IsDeviceFree(path)) return;
  if (!link_.OpenDevicePath(path)) return;
  BeginConnection(true, true);
}

void Engine::OnDeviceInfo() {
  const bool match = std::memcmp(image_.deviceInfoText.data(), kModelIdentity, kIdentityCompared) == 0;
  if (!match) {
    // Another model: close silently and forget what it said it was.
    OnConnectButton();
    queue_.Clear();
    image_.deviceInfoText.fill(' ');
    return;
  }
  std::lock_guard lock(transferLock_);
  QueueReadBack();
}

void Engine::QueueReadBack() {
  std::lock_guard lock(transferLock_);
  Batch batch(queue_, Batch::Kind::Read);
  for (SystemItem item : kReadBackSystemItems) batch.Push(builder_.BuildSystemRead(item, 0));
  for (int slot = 1; slot <= kReadBackNameSlots; ++slot)
    batch.Push(builder_.BuildSystemRead(SystemItem::PresetName, slot));
  // Edits made while the live blocks come back would be overwritten by them: don't remember them.
  tracking_.Set(false);
  readBackPending_ = true;
  for (int ch = 0; ch < kOutputChannels; ++ch) batch.Push(builder_.BuildBlockRead(0, BlockType::Output, ch, true));
  // The last block takes the last step without advancing the counter: the range is one less.
  batchCounter = batch.Finish() - 1;
  view_.SetTransferRange(batchCounter);
  view_.ShowTransferWindow(false);
}

void Engine::OnLiveReadDone(int slot) {
  // A live read that is not the connection's read-back is a slot recalled.
  const bool readBack = std::exchange(readBackPending_, false);
  if (observer_) {
    if (readBack)
      observer_->BeforeReadBackApplied();
    else
      observer_->BeforeRecallApplied();
  }
  {
    auto lock = data_->Lock();
    data_->UnpackAll(image_.live, slot);
  }
  view_.RefreshAll();
  tracking_.Set(true);
  if (observer_) {
    if (readBack)
      observer_->AfterReadBackApplied();
    else
      observer_->AfterRecallApplied();
  }
}

void Engine::Disconnect() {
  if (!flags_.connected) return;
  worker_.StopWorker(true);
  CloseUsbConnection();
}

void Engine::CloseUsbConnection() {
  readBackPending_ = false;
  if (observer_) observer_->ConnectionClosing();
  link_.CloseDevice();
  flags_.connected = false;
  tracking_.Set(false);
  data_->ClearAllDirty();
  view_.ResetNameDisplays();
  view_.HideTransferWindow();
  view_.ShowConnectedState(false);
}

void Engine::OnTransferDone() { view_.HideTransferWindow(); }

void Engine::LeaveUpdateMode() { flags_.updateMode = false; }

void Engine::OnLinkFailed() {
  if (!flags_.connected) return;
  worker_.StopWorker(true);
  std::this_thread::sleep_for(timing_.afterStopOnFailure);
  LeaveUpdateMode();
  CloseUsbConnection();
  queue_.Clear();
  UnableToConnect(ConnectFailure::NoReply);
}

PresetImage Engine::PackedLiveCopy() {
  // The live image is also what the change scan believes the processor holds (it steps a pending
  // frequency from there): pack, copy, and put it back as it was.
  auto model = data_->Lock();
  const PresetImage held = image_.live;
  data_->PackAll();
  PresetImage packed = image_.live;
  image_.live = held;
  return packed;
}

std::optional<PresetImage> Engine::LiveSnapshot() {
  // Without a running worker the window thread is the only one that writes the live image.
  if (!worker_.Running()) {
    {
      std::lock_guard lock(snapshotMutex_);
      snapshotWanted_ = false;
      snapshot_.reset();
    }
    return PackedLiveCopy();
  }
  // The receiver stores read blocks into the live image under the TransferLock only, so with the
  // worker running the copy is made on its side, between exchanges, and taken at the next call.
  std::lock_guard lock(snapshotMutex_);
  if (snapshot_) return std::exchange(snapshot_, std::nullopt);
  snapshotWanted_ = true;
  return std::nullopt;
}

bool Engine::EverythingSent() {
  // The worker holds the TransferLock for each whole exchange: holding it here sees the queue
  // between two exchanges, where a sent message has either been acknowledged or not sent yet.
  std::lock_guard transfer(transferLock_);
  if (queue_.Count() > 1) return false;
  if (queue_.Count() == 1 && !IsStatusPoll(queue_.Front()->Buffer())) return false;
  return data_->NothingToSend();
}

void Engine::ServeLiveSnapshot() {
  {
    std::lock_guard lock(snapshotMutex_);
    if (!snapshotWanted_) return;
    snapshotWanted_ = false;
  }
  PresetImage packed = PackedLiveCopy();
  std::lock_guard lock(snapshotMutex_);
  snapshot_ = std::move(packed);
}

void Engine::UnableToConnect(ConnectFailure why) {
  connectFailure_ = why;
  view_.ShowMessage(UserMessage::UnableToConnect);
}

void Engine::OnEmptyReply() {
  if (flags_.connected) {
    worker_.StopWorker(true);
    CloseUsbConnection();
  }
  view_.ShowMessage(UserMessage::UpdateFirmware);
}

void Engine::OnDeviceChange(bool failedReport) {
  const std::string inUse = link_.DevicePath();
  // A failed report is a removal only when the device is gone too; otherwise the reply deadline
  // decides, and the next report may well succeed.
  bool removed = failedReport && !link_.DevicePresent();
  std::string arrival;
  for (auto& e : watcher_.TakeEvents()) {
    if (!e.arrived && SamePathIgnoringCase(e.path, inUse)) removed = true;
    if (e.arrived && arrival.empty()) arrival = e.path;
  }
  // After the start of a DSP update the processor restarts into its loader: its leaving is expected.
  if (removed && flags_.linkActive && link_.currentUpdateStep != kStepDspStart) {
    flags_.linkActive = false;
    LeaveUpdateMode();
    Disconnect();
    UnableToConnect(ConnectFailure::Removed);
  }
  if (!arrival.empty() && !flags_.connected) ArrivalConnect(arrival);
}

bool Engine::HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t) {
  switch (notice) {
    case Notice::LiveReadDone: OnLiveReadDone(static_cast<int>(wParam)); return true;
    case Notice::TransferDone: OnTransferDone(); return true;
    case Notice::LinkFailed: OnLinkFailed(); return true;
    case Notice::EmptyReply: OnEmptyReply(); return true;
    case Notice::DeviceInfo: OnDeviceInfo(); return true;
    case Notice::DeviceRemoved: OnDeviceChange(wParam != 0); return true;
    case Notice::DeviceArrived: OnDeviceChange(false); return true;
    default: return false;
  }
}

}  // namespace zelto
