#pragma once
// Keeps Ctrl-C and SIGTERM from ending the tool while a firmware image is being written: a
// processor cut off halfway may not start again. The editor refuses to close its update window
// for the same reason.
//
// While a guard lives, the two signals are blocked in the thread that made it and in every
// thread started after (the link worker among them), so they stay pending instead of ending the
// process; the update loop takes them and says that the update must not be interrupted. No
// handler runs and no blocking call is cut short.

#include <csignal>

namespace zelto::ctl {

class InterruptGuard {
 public:
  InterruptGuard();
  /// Takes what is still pending, then restores the thread's signal mask.
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  /// True when one of the signals arrived since the last call (and takes it).
  bool TakeRequest();

 private:
  sigset_t guarded_{};
  sigset_t previous_{};
};

}  // namespace zelto::ctl
