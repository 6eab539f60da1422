#pragma once
// The one outgoing queue and the receiver of replies. A reply always concerns the front message:
// RSP_ACK and RSP_DATA remove it, RSP_RESEND rewinds it.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>

#include "core/device_image.h"
#include "core/notice.h"
#include "core/send_data.h"

namespace zelto {

/// Flags the receiver raises for the link worker, which waits on them from its own thread.
struct LinkStatusFlags {
  std::atomic<bool> frameComplete{false};
  std::atomic<bool> badFrame{false};
  std::atomic<bool> syncSeen{false};
  std::atomic<bool> emptyReply{false};
  void Clear() {
    frameComplete = false;
    badFrame = false;
    syncSeen = false;
  }
};

class CKTVCommand {
 public:
  static constexpr std::size_t kCollectionSize = 400;
  static constexpr std::size_t kClearedBytes = 300;
  static constexpr int kStatusSettleLimit = 100;  // device-side changes apply only after this
  static constexpr int kStatusSettleAfterStart = 80;

  CKTVCommand(DeviceImage& image, NoticeSink& sink);
  ~CKTVCommand();

  std::size_t Count() const { return queue_.size(); }
  CSendData* Front() const { return queue_.empty() ? nullptr : queue_.front().get(); }
  void Push(SendDataPtr message);
  /// Destroys the front message and clears the link status flags. Returns false on an empty queue.
  bool PopFront();
  void Clear();
  void ClearReceiver();
  void RewindFront();

  /// Takes data bytes 1..n-1 of the last input report (byte 0 is the report ID), clearing each
  /// taken byte in the report, and runs the receiver over them. True when a complete, valid
  /// frame was handled (acknowledgement, resend, data or an unknown command).
  bool FeedHidReport(std::span<std::uint8_t, kHidReportSize> report, std::size_t n);
  /// Runs the receiver over one chunk of incoming bytes. True when a complete, valid frame was
  /// handled during this call.
  bool Receive(std::span<const std::uint8_t> chunk);

  /// Called on the receiving thread with the front message's update step whenever a valid reply
  /// arrives for a firmware-update message, before the reply is acted on. It must not touch the
  /// queue. Notice::UpdateStatus is posted as well (wParam = step, lParam = 1 when the step's
  /// status text is due, 0 when only the progress moves).
  void SetUpdateReplyHook(std::function<void(int updateStep)> hook) { updateReplyHook_ = std::move(hook); }

  LinkStatusFlags& Flags() { return flags_; }
  void SetStatusSettleCount(int count) { statusSettleCount_ = std::clamp(count, 0, kStatusSettleLimit); }
  int StatusSettleCount() const { return statusSettleCount_; }
  void SetSink(NoticeSink& sink) { sink_ = &sink; }

 private:
  void Dispatch();
  void ReplyProgress();
  void UpdateProgress(const CSendData& front);
  void StoreData();
  void StoreBlock(std::span<const std::uint8_t> payload);
  void StoreEffect(std::span<const std::uint8_t> payload);
  void StoreSystem(std::span<const std::uint8_t> payload);
  void SettleStatus(std::span<const std::uint8_t> payload);
  void Post(Notice notice, std::intptr_t wParam = 0, std::intptr_t lParam = 0) { sink_->Post(notice, wParam, lParam); }

  DeviceImage& image_;
  NoticeSink* sink_;
  LinkStatusFlags flags_;
  std::deque<SendDataPtr> queue_;

  std::array<std::uint8_t, kCollectionSize> collection_{};
  std::array<std::uint8_t, kCollectionSize> scratch_{};
  std::size_t expectedLength_ = 0;
  std::size_t collected_ = 0;
  int syncCount_ = 0;
  bool inFrame_ = false;
  std::uint8_t check_ = 0;
  std::atomic<int> statusSettleCount_{0};
  bool updateTextShown_ = false;
  std::function<void(int)> updateReplyHook_;

  // Header fields of the frame being dispatched.
  std::uint8_t command_ = 0, slot_ = 0, blockType_ = 0, channelItem_ = 0, byte9_ = 0;
  std::size_t payloadLength_ = 0;
};

}  // namespace zelto
