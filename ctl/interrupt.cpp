#include "ctl/interrupt.h"

#include <pthread.h>

#include <ctime>

namespace zelto::ctl {

InterruptGuard::InterruptGuard() {
  sigemptyset(&guarded_);
  sigaddset(&guarded_, SIGINT);
  sigaddset(&guarded_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &guarded_, &previous_);
}

InterruptGuard::~InterruptGuard() {
  // Left pending, a request would strike the moment the mask is restored: take it first.
  while (TakeRequest() != 0) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  if (deferred_ != 0) std::raise(deferred_);
}

int InterruptGuard::TakeRequest() {
  const timespec noWait{0, 0};
  const int signal = sigtimedwait(&guarded_, nullptr, &noWait);
  if (signal <= 0) return 0;
  if (!swallow_ && deferred_ == 0) deferred_ = signal;
  return signal;
}

}  // namespace zelto::ctl
