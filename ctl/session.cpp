#include "ctl/session.h"

#include <algorithm>
#include <cstring>

#include "core/encodings.h"
#include "ctl/text_safety.h"
#include "ctl/texts.h"
#include "link/refused_open_text.h"
#include "presets/preset_files.h"
#include "presets/preset_texts.h"
#include "transports/device_url.h"
#include "update/update_transfer.h"

namespace zelto::ctl {

using namespace session_timing;
using Clock = std::chrono::steady_clock;

// ---- NoticeQueue ----------------------------------------------------------------------------

void NoticeQueue::Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept {
  {
    std::lock_guard lock(mutex_);
    items_.push_back({notice, wParam, lParam});
  }
  cv_.notify_all();
}

std::optional<NoticeQueue::Item> NoticeQueue::Take(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [this] { return !items_.empty(); })) return std::nullopt;
  Item item = items_.front();
  items_.pop_front();
  return item;
}

// ---- DeviceSession --------------------------------------------------------------------------

std::unique_ptr<DeviceSession> DeviceSession::Open(const std::string& url, TerminalView& view, UsbWrite usbWrite) {
  std::string error;
  auto transport = MakeTransport(url, &error, usbWrite);
  if (!transport) {
    view.Fail(error);
    return nullptr;
  }
  return std::make_unique<DeviceSession>(std::move(transport), view);
}

DeviceSession::DeviceSession(std::unique_ptr<HidTransport> transport, TerminalView& view)
    : view_(view), runtime_(std::move(transport), settings_, notices_, view_, view_.Term().HeldLanguage()) {
  view_.SetConnectReason([this] {
    const auto refused = engine_.Link().TakeRefusedOpen();
    const ConnectFailure cause =
        engine_.TakeConnectFailure().value_or(refused ? ConnectFailure::Refused : ConnectFailure::NotFound);
    // A TCP device says why nothing answered (refused, no hello, not a report stream); after a
    // lost link those words are about an earlier search.
    const std::string detail = cause == ConnectFailure::NotFound ? engine_.TransportDetail() : std::string();
    return ConnectFailureText(cause, refused, detail, engine_.language);
  });
  NoticeRouter& router = runtime_.router();
  router.Add([this](Notice notice, std::intptr_t, std::intptr_t) {
    if (notice == Notice::LiveReadDone) ++liveReadsDone_;
    if (notice == Notice::PresetsReadDone) ++presetsReadsDone_;
  });
  // The preset files and the update act only on the notices of a save or an update they began.
  router.Add([this](Notice notice, std::intptr_t, std::intptr_t) {
    PresetFileResult result;
    if (runtime_.files().HandleNotice(notice, &result)) {
      if (result.status == PresetFileResult::Status::Saved) lastSaveWritten_ = true;
      if (result.status == PresetFileResult::Status::Failed && result.message)
        view_.Fail(PresetMessageText(*result.message, engine_.language));
    }
  });
  router.Add([this](Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
    runtime_.update().HandleNotice(notice, wParam, lParam);
  });
}

DeviceSession::~DeviceSession() {
  Disconnect();
  view_.SetConnectReason({});
}

bool DeviceSession::Connect() {
  const int before = liveReadsDone_;
  engine_.OnConnectButton();
  if (!engine_.Connected()) return false;  // "unable to connect" was shown
  if (PumpUntil([&] { return liveReadsDone_ > before && AllSent(); }, kConnectLimit)) return true;
  if (!view_.Failed()) {
    // The editor drops a processor of another model without a word; a script needs to know why.
    view_.Fail(UserMessageText(UserMessage::UnableToConnect, engine_.language));
    if (!reportedIdentity_.empty())
      view_.Term().Message(Fill(TextOf(Text::OtherModel, engine_.language), {PrintableText(reportedIdentity_)}));
  }
  Disconnect();
  return false;
}

void DeviceSession::Disconnect() { engine_.Disconnect(); }

bool DeviceSession::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                              bool needsConnection) {
  const auto end = Clock::now() + limit;
  for (;;) {
    if (interrupts_.TakeRequest() != 0) OnInterrupt();
    if (view_.Failed()) return false;
    if (needsConnection && !engine_.Connected()) return false;
    if (done()) {
      // A notice posted before the state was reached may still wait in the queue.
      DrainNotices();
      if (view_.Failed()) return false;
      if (done()) return true;
      continue;
    }
    if (Clock::now() >= end) {
      view_.Fail(TextOf(Text::TimedOut, engine_.language));
      return false;
    }
    if (auto item = notices_.Take(kPumpSlice)) Dispatch(*item);
  }
}

void DeviceSession::BeginUpdate() {
  updating_ = true;
  interrupts_.SwallowRequests();
}

void DeviceSession::OnInterrupt() {
  if (updating_) {
    // The editor's answer to closing its update window.
    view_.ShowUpdateMessage(UpdateMessage::DontClose);
    return;
  }
  if (interruptNoted_) return;
  interruptNoted_ = true;
  view_.Term().Message(TextOf(Text::FinishingFirst, engine_.language));
}

void DeviceSession::DrainNotices() {
  while (auto item = notices_.Take(std::chrono::milliseconds(0))) Dispatch(*item);
}

bool DeviceSession::WaitUntilSent(std::chrono::milliseconds limit) {
  return PumpUntil([&] { return AllSent(); }, limit);
}

bool DeviceSession::AllSent() { return engine_.EverythingSent(); }

void DeviceSession::Dispatch(const NoticeQueue::Item& item) {
  switch (item.notice) {
    case Notice::DeviceInfo: {
      // Kept before the engine looks at it: a mismatch blanks the text.
      const auto& text = engine_.Image().deviceInfoText;
      const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
      reportedIdentity_.assign(text.begin(), end);
      break;
    }
    case Notice::TransferPosition: view_.TransferPosition(static_cast<int>(item.wParam)); break;
    default: break;
  }
  runtime_.router().Route(item.notice, item.wParam, item.lParam);
}

}  // namespace zelto::ctl
