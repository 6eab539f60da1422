#pragma once
// The one outgoing queue and the receiver of replies. A reply always concerns the front message:
// RSP_ACK and RSP_DATA remove it, RSP_RESEND rewinds it.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
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
  /// taken byte in the report, and runs the receiver over them.
  bool FeedHidReport(std::span<std::uint8_t, kHidReportSize> report, std::size_t n);
  /// Runs the receiver over one chunk of incoming bytes.
  void Receive(std::span<const std::uint8_t> chunk);

  LinkStatusFlags& Flags() { return flags_; }
  void SetStatusSettleCount(int count) { statusSettleCount_ = count; }
  int StatusSettleCount() const { return statusSettleCount_; }
  void SetSink(NoticeSink& sink) { sink_ = &sink; }

 private:
  void Dispatch();
  void ReplyProgress();
  void StoreData();

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

  // Header fields of the frame being dispatched.
  std::uint8_t command_ = 0, slot_ = 0, blockType_ = 0, channelItem_ = 0, byte9_ = 0;
  std::size_t payloadLength_ = 0;
};

}  // namespace zelto
