#include "core/batch.h"

namespace zelto {

bool Batch::Push(SendDataPtr message) {
  if (!message) return false;
  message->counted = 1;
  message->progressStep = count_++;
  if (held_) queue_.Push(std::move(held_));
  held_ = std::move(message);
  return true;
}

std::int32_t Batch::Finish() {
  if (held_) {
    if (kind_ == Kind::Read)
      held_->endOfReadBatch = 1;
    else
      held_->endOfWriteBatch = 1;
    queue_.Push(std::move(held_));
  }
  return count_;
}

}  // namespace zelto
