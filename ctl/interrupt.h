#pragma once
// Keeps Ctrl-C and SIGTERM from cutting a transfer in half. A preset push mutes every output
// first and restores them at its end, and a firmware image written halfway may leave the
// processor unable to start: the editor's progress and update windows cannot be closed while
// they run, and the command line keeps the same promise.
//
// While a guard lives, the two signals are blocked in the thread that made it and in every
// thread started after (the link worker among them), so they stay pending instead of ending the
// process, and no blocking call is cut short. The tool's loop takes them with TakeRequest. A
// deferred request ends the process when the guard goes, once the transfer is over; a swallowed
// one (during a firmware update) is only answered.
//
// On Windows there are no signals to block: while a guard lives, a console handler takes Ctrl-C
// and Ctrl-Break as requests instead. Each system's way is in interrupt_posix.cpp or
// interrupt_windows.cpp.

#include <memory>

namespace zelto::ctl {

class InterruptGuard {
 public:
  InterruptGuard();
  /// Takes what is still pending, restores the thread's signal mask (or console handling) and then
  /// raises a deferred request again.
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  /// The signal (SIGINT, SIGTERM) that arrived since the last call (and takes it), or 0. Unless swallowing, the
  /// first one is raised again when the guard goes.
  int TakeRequest();
  /// From now on requests are only answered, never raised again (a firmware update).
  void SwallowRequests() {
    swallow_ = true;
    deferred_ = 0;
  }

 private:
  struct State;  // what the system needs kept while the guard lives
  std::unique_ptr<State> state_;
  bool swallow_ = false;
  int deferred_ = 0;
};

}  // namespace zelto::ctl
