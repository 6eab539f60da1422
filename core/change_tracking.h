#pragma once
// The change-tracking switch: while it is on, setters mark what they changed so that the change
// scan sends it. It is on while a processor is connected and no preset is being read into the live
// image. One instance lives as long as the program; the link turns it on and off from its own
// thread while the editor reads it, hence the atomic.

#include <atomic>

namespace zelto {

class ChangeTracking {
 public:
  ChangeTracking() = default;
  explicit ChangeTracking(bool on) : on_(on) {}
  ChangeTracking(const ChangeTracking&) = delete;
  ChangeTracking& operator=(const ChangeTracking&) = delete;

  bool IsOn() const noexcept { return on_.load(std::memory_order_acquire); }
  void Set(bool on) noexcept { on_.store(on, std::memory_order_release); }

 private:
  std::atomic<bool> on_{false};
};

}  // namespace zelto
