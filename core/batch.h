#pragma once
// Queues the messages of one batch shown in the transfer progress window: each is counted and
// numbered in order, and the last one marks the end of the batch.

#include <cstdint>

#include "core/command_queue.h"

namespace zelto {

class Batch {
 public:
  enum class Kind { Read, Write };

  /// The caller holds the TransferLock for the whole life of the batch.
  Batch(CKTVCommand& queue, Kind kind) : queue_(queue), kind_(kind) {}
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;
  ~Batch() { Finish(); }

  /// Numbers `message` with the next step and queues it. The newest message is held back until
  /// the next Push or Finish, so that the last one can be marked as the end of the batch. A null
  /// message (a request the builders refused) is skipped and returns false.
  bool Push(SendDataPtr message);
  /// Marks the last message as the end of the batch and queues it. Returns the number of
  /// messages in the batch (the progress range). Later calls change nothing.
  std::int32_t Finish();

  std::int32_t Count() const { return count_; }

 private:
  CKTVCommand& queue_;
  Kind kind_;
  SendDataPtr held_;
  std::int32_t count_ = 0;
};

}  // namespace zelto
